// OfficeLinks: placeholders in the HTML, and the targets put back into .docx, .rtf and .doc files.
#include "richtext/OfficeLinks.h"

#include <QBuffer>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QtGui/private/qzipreader_p.h>
#include <QtGui/private/qzipwriter_p.h>

namespace richtext::officelinks {

namespace {

// The text of an HTML attribute value with its character references resolved.
QString attributeText(const QString& value) {
    static const QRegularExpression ref(QStringLiteral("&(#[0-9]+|#[xX][0-9a-fA-F]+|amp|lt|gt|quot|apos|nbsp);"));
    QString out;
    qsizetype last = 0;
    for (auto it = ref.globalMatch(value); it.hasNext();) {
        const auto m = it.next();
        out += QStringView(value).mid(last, m.capturedStart() - last);
        const QString name = m.captured(1);
        char32_t c = 0;
        if (name.startsWith(QLatin1String("#x")) || name.startsWith(QLatin1String("#X")))
            c = name.mid(2).toUInt(nullptr, 16);
        else if (name.startsWith(QLatin1Char('#')))
            c = name.mid(1).toUInt();
        else
            c = name == QLatin1String("amp")    ? U'&'
                : name == QLatin1String("lt")   ? U'<'
                : name == QLatin1String("gt")   ? U'>'
                : name == QLatin1String("quot") ? U'"'
                : name == QLatin1String("apos") ? U'\''
                                                : U'\u00A0';
        out += c ? QString::fromUcs4(&c, 1) : m.captured(0);
        last = m.capturedEnd();
    }
    out += QStringView(value).mid(last);
    return out;
}

QString xmlAttribute(const QString& text) {
    QString out = text.toHtmlEscaped(); // & < > "
    // Blanks other than the space would be read back as spaces unless written as references.
    out.replace(QLatin1Char('\''), QLatin1String("&apos;"))
        .replace(QLatin1Char('\t'), QLatin1String("&#9;"))
        .replace(QLatin1Char('\n'), QLatin1String("&#10;"))
        .replace(QLatin1Char('\r'), QLatin1String("&#13;"));
    return out;
}

// RTF text as LibreOffice writes it: \ { } escaped, printable ASCII as it is, the rest as \uN?.
QByteArray rtfText(const QString& text) {
    QByteArray out;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            out += '\\';
            out += char(u);
        } else if (u >= 0x20 && u < 0x7F) {
            out += char(u);
        } else {
            out += "\\u" + QByteArray::number(u >= 0x8000 ? int(u) - 0x10000 : int(u)) + '?';
        }
    }
    return out;
}

} // namespace

QString fieldArgument(const QString& target) {
    QString t = target;
    t.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + t + QLatin1Char('"');
}

QString map(const QString& html, Map& links, bool wideForDoc) {
    static const QRegularExpression anchor(
        QStringLiteral("(<a\\s(?:[^>\"']|\"[^\"]*\"|'[^']*')*?\\bhref\\s*=\\s*)(\"([^\"]*)\"|'([^']*)'|([^\\s>]+))"),
        QRegularExpression::CaseInsensitiveOption);
    QString out;
    qsizetype last = 0;
    for (auto it = anchor.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        int group = 3;
        while (group < 5 && m.capturedStart(group) < 0)
            ++group;
        const QString target = attributeText(m.captured(group));
        if (target.isEmpty() || target.startsWith(QLatin1Char('#')))
            continue;
        QString placeholder =
            QStringLiteral("https://dbtext.invalid/L%1").arg(links.targets.size() + 1, 6, 10, QLatin1Char('0'));
        const qsizetype need = fieldArgument(target).size() - 2;
        if (wideForDoc && need > placeholder.size())
            placeholder += QLatin1Char('/') + QString(need - placeholder.size() - 1, QLatin1Char('x'));
        links.placeholders << placeholder;
        links.targets << target;
        out += QStringView(html).mid(last, m.capturedStart(2) - last);
        out += QLatin1Char('"') + placeholder + QLatin1Char('"');
        last = m.capturedEnd(2);
    }
    out += QStringView(html).mid(last);
    return out;
}

bool mendDocx(const QString& file, const Map& links) {
    QZipReader reader(file);
    if (!reader.isReadable())
        return false;
    const QVector<QZipReader::FileInfo> entries = reader.fileInfoList();
    QVector<QByteArray> contents;
    for (const QZipReader::FileInfo& e : entries) {
        QByteArray data = reader.fileData(e.filePath);
        if (e.filePath.startsWith(QLatin1String("word/_rels/")) && e.filePath.endsWith(QLatin1String(".rels"))) {
            QString xml = QString::fromUtf8(data);
            for (int i = 0; i < links.targets.size(); ++i)
                xml.replace(QStringLiteral("Target=\"%1\"").arg(links.placeholders[i]),
                            QStringLiteral("Target=\"%1\"").arg(xmlAttribute(links.targets[i])));
            data = xml.toUtf8();
        }
        contents << data;
    }
    reader.close();
    QByteArray zipped;
    QBuffer buffer(&zipped);
    buffer.open(QIODevice::WriteOnly);
    QZipWriter writer(&buffer); // closes the device it writes to, so it writes to memory first
    writer.setCompressionPolicy(QZipWriter::AutoCompress);
    for (int i = 0; i < entries.size(); ++i) {
        if (entries[i].isDir)
            writer.addDirectory(entries[i].filePath);
        else
            writer.addFile(entries[i].filePath, contents[i]);
    }
    writer.close();
    if (writer.status() != QZipWriter::NoError)
        return false;
    QSaveFile out(file);
    return out.open(QIODevice::WriteOnly) && out.write(zipped) == zipped.size() && out.commit();
}

QByteArray mendRtf(const QByteArray& rtf, const Map& links) {
    QByteArray out = rtf;
    for (int i = 0; i < links.targets.size(); ++i)
        out.replace("HYPERLINK \"" + links.placeholders[i].toLatin1() + '"',
                    "HYPERLINK " + rtfText(fieldArgument(links.targets[i])));
    return out;
}

bool mendDoc(QByteArray& doc, const Map& links) {
    QByteArray mended = doc;
    auto utf16 = [](const QString& s) {
        return QByteArray(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
    };
    for (int i = 0; i < links.targets.size(); ++i) {
        // The field text: "placeholder" becomes "target" padded with blanks to the same length.
        const QByteArray quoted = utf16(QLatin1Char('"') + links.placeholders[i] + QLatin1Char('"'));
        const QByteArray argument = utf16(fieldArgument(links.targets[i]));
        const qsizetype at = mended.indexOf(quoted);
        if (at < 0 || mended.indexOf(quoted, at + 1) >= 0 || argument.size() > quoted.size())
            return false;
        mended.replace(at, quoted.size(),
                       argument + utf16(QString((quoted.size() - argument.size()) / 2, QLatin1Char(' '))));
        // The hyperlink's data: the placeholder and its end mark become the target padded with NULs.
        const QByteArray moniker = utf16(links.placeholders[i]) + QByteArray(2, '\0');
        const QByteArray target = utf16(links.targets[i]);
        if (target.size() + 2 > moniker.size())
            return false;
        for (qsizetype m = mended.indexOf(moniker); m >= 0; m = mended.indexOf(moniker, m + moniker.size()))
            mended.replace(m, moniker.size(), target + QByteArray(moniker.size() - target.size(), '\0'));
    }
    doc = mended;
    return true;
}

} // namespace richtext::officelinks
