// ConnectionString: parsing of connection strings and data-link files.
#include "dbengine/ConnectionString.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace dbengine {

QMap<QString, QString> ConnectionString::parse(const QString& text) {
    QMap<QString, QString> out;
    const qsizetype n = text.size();
    qsizetype i = 0;
    QString lastKey;         // the key of the last pair read
    bool lastQuoted = false; // whether its value was quoted
    while (i < n) {
        // Separators and blanks between pairs; ";;" is an empty pair.
        while (i < n && (text.at(i) == QLatin1Char(';') || text.at(i).isSpace()))
            ++i;
        if (i >= n)
            break;
        // The key runs to the first single "="; "==" stands for an "=" inside the key.
        QString key;
        bool hasValue = false;
        const qsizetype keyStart = i;
        while (i < n && text.at(i) != QLatin1Char(';')) {
            if (text.at(i) == QLatin1Char('=')) {
                if (i + 1 < n && text.at(i + 1) == QLatin1Char('=')) {
                    key += QLatin1Char('=');
                    i += 2;
                    continue;
                }
                hasValue = true;
                ++i;
                break;
            }
            key += text.at(i++);
        }
        if (!hasValue) {
            // A piece without "=": the rest of an unquoted value that held a ";" (a path such as
            // C:\a;b.txdb written without quotes). It goes back onto that value.
            const QString piece = text.mid(keyStart, i - keyStart).trimmed();
            if (!lastKey.isEmpty() && !lastQuoted)
                out[lastKey] += QLatin1Char(';') + piece;
            continue;
        }
        key = key.trimmed().toLower();
        while (i < n && text.at(i).isSpace() && text.at(i) != QLatin1Char(';'))
            ++i;
        QString value;
        bool quoted = false;
        if (i < n && (text.at(i) == QLatin1Char('"') || text.at(i) == QLatin1Char('\''))) {
            // A quoted value: everything up to the matching quote; a doubled quote is one quote.
            const QChar q = text.at(i++);
            quoted = true;
            while (i < n) {
                if (text.at(i) == q) {
                    if (i + 1 < n && text.at(i + 1) == q) {
                        value += q;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += text.at(i++);
            }
            // Anything between the closing quote and the next ";" is not part of a well-formed
            // string; it is kept rather than lost.
            const qsizetype semi = text.indexOf(QLatin1Char(';'), i);
            const QString rest = text.mid(i, (semi < 0 ? n : semi) - i).trimmed();
            value += rest;
            i = semi < 0 ? n : semi;
        } else {
            const qsizetype semi = text.indexOf(QLatin1Char(';'), i);
            value = text.mid(i, (semi < 0 ? n : semi) - i).trimmed();
            i = semi < 0 ? n : semi;
        }
        if (key.isEmpty()) {
            lastKey.clear();
            continue;
        }
        out.insert(key, value); // a repeated key: the last value counts
        lastKey = key;
        lastQuoted = quoted;
    }
    return out;
}

QString ConnectionString::quoteValue(const QString& value) {
    // Values that the parser would read differently unquoted are put in double quotes, with any
    // double quote inside doubled.
    bool plain = !value.isEmpty() && !value.front().isSpace() && !value.back().isSpace();
    for (QChar c : value)
        if (c == QLatin1Char(';') || c == QLatin1Char('"') || c == QLatin1Char('\'') || c == QLatin1Char('='))
            plain = false;
    if (plain)
        return value;
    QString v = value;
    v.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + v + QLatin1Char('"');
}

QString ConnectionString::udlInitString(const QByteArray& bytes) {
    QString text;
    if (bytes.startsWith("\xFF\xFE")) {
        QStringDecoder dec(QStringConverter::Utf16LE);
        text = dec.decode(bytes.mid(2));
    } else if (bytes.startsWith("\xFE\xFF")) {
        QStringDecoder dec(QStringConverter::Utf16BE);
        text = dec.decode(bytes.mid(2));
    } else if (bytes.startsWith("\xEF\xBB\xBF")) {
        text = QString::fromUtf8(bytes.mid(3));
    } else {
        text = QString::fromUtf8(bytes);
    }
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\\r\\n|\\n|\\r")));
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('[')))
            continue;
        if (line.contains(QLatin1Char('=')))
            return line;
    }
    return {};
}

} // namespace dbengine
