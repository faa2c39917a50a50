// fmDoc: links and hints in the page text: page links, hints, attached XML documents, files and addresses.
#include "mainwin/fmDoc.h"

#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "navigator/uTrX.h"
#include "platform/Environment.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/TextCodec.h"
#include "richtext/RichTextView.h"
#include "settings/yIni.h"
#include "util/ProcessState.h"
#include "util/Vb.h"
#include "util/zClt.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QUrl>

Q_DECLARE_LOGGING_CATEGORY(lcMainwin)

namespace mainwin {

void fmDoc::splitLink(const QString& data, QString& kind, QString& target) {
    const QString prefix = data.left(3).toUpper();
    if (prefix == QLatin1String("TG_")) {
        kind = QStringLiteral("TG");
        target = data.mid(3);
        const qsizetype u = target.indexOf(QLatin1Char('_'));
        if (u >= 0)
            target = target.mid(u + 1);
    } else if (prefix == QLatin1String("TP_") || prefix == QLatin1String("DX_")) {
        kind = prefix.left(2);
        target = data.mid(3);
    } else {
        kind = QStringLiteral("LK");
        target = data;
    }
}

void fmDoc::GetLink(int field, QString& kind, QString& target) const {
    kind.clear();
    target.clear();
    if (m_txDc->fieldType(field) != 2)
        return;
    splitLink(m_txDc->fieldData(field), kind, target);
}

void fmDoc::onFieldClicked(int field) {
    if (util::processState().busy)
        return;
    QString text = m_txDc->fieldText(field);
    text.remove(QChar(1));
    text.remove(QChar(11));
    text = util::Trim(text);
    if (text.isEmpty())
        return;
    QString kind, target;
    GetLink(field, kind, target);
    if (kind == QLatin1String("TG")) {
        // A target that is no page number names no page: said, and no tag node that leads nowhere.
        const std::optional<qint32> no = util::pageNumber(target);
        if (!no || *no <= 0) {
            m_s.messages.show(QStringLiteral("Read Err  文書No:") + target);
            return;
        }
        m_tree->TagTree(text, QString::number(*no));
        ShowDoc(QString::number(*no), text, 0); // the new page starts at its top
    } else if (kind == QLatin1String("DX")) {
        OpenDxml(text, target);
    } else if (kind == QLatin1String("LK")) {
        const QString path = linkTarget(target);
        // A link that would start a program (a page may come from anyone) runs only when the user
        // says so.
        if (startsAProgram(path) &&
            m_s.messages.show(path + QStringLiteral(" はプログラムとして実行されます。開きますか?"),
                              platform::MsgButtons::YesNo) != platform::MsgAnswer::Yes)
            return;
        m_s.ini.W_ExpFd(path, true);
    }
}

void fmDoc::onFieldEntered(int field) {
    if (util::processState().busy && m_hintCountdown > 0)
        return;
    if (m_txDc->fieldType(field) != 2)
        return;
    if (field != m_hintField)
        hideHint(); // another link reached: the hint of the one left goes
    m_txDc->setCurrentField(field);
    const QString data = m_txDc->fieldData(m_txDc->currentField());
    // The hint's place: 250 twips below the field, as the page is scrolled; at a zoom whose lines are
    // taller than that, below the field's line, so that the hint never covers its own link.
    const QPoint f = m_txDc->fieldPosition(m_txDc->currentField());
    const QPoint scroll = m_txDc->scrollPosition();
    const double below = std::max(250, m_txDc->fieldLineHeight(m_txDc->currentField()));
    const double x = m_tw.fromPxX(m_txDc->x() + m_txDc->viewport()->x()) + (f.x() - scroll.x());
    const double y = m_tw.fromPxY(m_txDc->y() + m_txDc->viewport()->y()) + (f.y() - scroll.y()) + below;
    if (data.isEmpty() || !data.startsWith(QLatin1String("TP")))
        return;
    // The hint's text grows and shrinks with the page's zoom.
    QFont font = this->font();
    font.setPointSizeF(font.pointSizeF() * zoomFactor(m_zoomStep) / 100.0);
    m_rtex->setFont(font);
    m_rtex->setText(QLatin1Char(' ') + data.mid(3) + QLatin1Char(' '));
    // Inside the page's view: moved left where it would run past its right edge, and above the
    // link's line where it would run past its bottom.
    const QRect page(m_txDc->mapTo(this, m_txDc->viewport()->geometry().topLeft()), m_txDc->viewport()->size());
    int left = m_tw.toPxX(x), top = m_tw.toPxY(y);
    // A hint wider than the page wraps at the page's width.
    m_rtex->setWordWrap(false);
    m_rtex->setMinimumWidth(0);
    m_rtex->setMaximumWidth(QWIDGETSIZE_MAX);
    m_rtex->adjustSize();
    if (m_rtex->width() > page.width() && page.width() > 0) {
        m_rtex->setWordWrap(true);
        m_rtex->setFixedWidth(page.width());
        m_rtex->setFixedHeight(m_rtex->heightForWidth(page.width()));
    } else {
        m_rtex->setMinimumHeight(0);
        m_rtex->setMaximumHeight(QWIDGETSIZE_MAX);
        m_rtex->adjustSize();
    }
    if (left + m_rtex->width() > page.right() + 1)
        left = std::max(page.left(), page.right() + 1 - m_rtex->width());
    if (top + m_rtex->height() > page.bottom() + 1)
        top = std::max(page.top(), m_tw.toPxY(y - below) - m_rtex->height());
    m_rtex->move(left, top);
    m_rtex->show();
    m_rtex->raise();
    m_rtex->update();
    m_hintCountdown = 2;
    m_hintField = field;
}

void fmDoc::hideHint() {
    if (m_rtex->isHidden())
        return;
    m_txDc->raise();
    m_rtex->hide();
    m_hintCountdown = 0;
    m_hintField = 0;
}

void fmDoc::onMouseMoved(int /*x*/, int /*y*/) {
    if (util::processState().busy || m_hintCountdown == 0)
        return;
    if (m_hintCountdown == 1) {
        m_txDc->raise();
        m_rtex->hide();
        m_hintField = 0;
    }
    --m_hintCountdown;
}

QString fmDoc::safeFileName(const QString& text) {
    // Characters no file name may hold (on any system), separators and control characters become
    // "_", so that the name stays one file inside its folder; a name of dots only is no name.
    QString name;
    for (const QChar c : text) {
        const bool bad = c.unicode() < 0x20 || c.unicode() == 0x7F || QStringLiteral("/\\:*?\"<>|").contains(c) ||
                         c.category() == QChar::Other_Format;
        name += bad ? QLatin1Char('_') : c;
    }
    // Well inside every file system's limit of 255 bytes, counted as UTF-8; a pair is kept whole.
    while (name.toUtf8().size() > 200)
        name.chop(name.size() >= 2 && name.back().isLowSurrogate() ? 2 : 1);
    while (name.endsWith(QLatin1Char(' ')) || name.endsWith(QLatin1Char('.')))
        name.chop(1); // Windows drops them
    bool dotsOnly = true;
    for (const QChar c : name)
        dotsOnly = dotsOnly && c == QLatin1Char('.');
    return name.isEmpty() || dotsOnly ? QStringLiteral("_") : name;
}

QString fmDoc::dxmlFileName(const QString& workFolder, const QString& fieldText) {
    return workFolder + safeFileName(fieldText) + QStringLiteral(".dxml");
}

bool fmDoc::startsAProgram(const QString& target) {
    QString path = target;
    if (path.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        const QUrl url(path);
        // "file://localhost/…" is this machine's file too, as the desktop reads it.
        path =
            url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ? url.path() : url.toLocalFile();
    } else if (QRegularExpression(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:")).match(path).hasMatch() &&
               !(path.size() >= 2 && path.at(1) == QLatin1Char(':')))
        return false; // an address, which the desktop gives to a browser or the like
    // Programs, scripts and desktop entries of every system a database may come from; and any file
    // this system would run.
    static const QStringList kinds = {
        QStringLiteral("desktop"), QStringLiteral("sh"),  QStringLiteral("bash"),     QStringLiteral("run"),
        QStringLiteral("bin"),     QStringLiteral("exe"), QStringLiteral("com"),      QStringLiteral("bat"),
        QStringLiteral("cmd"),     QStringLiteral("scr"), QStringLiteral("msi"),      QStringLiteral("lnk"),
        QStringLiteral("ps1"),     QStringLiteral("vbs"), QStringLiteral("vbe"),      QStringLiteral("js"),
        QStringLiteral("jse"),     QStringLiteral("wsf"), QStringLiteral("hta"),      QStringLiteral("jar"),
        QStringLiteral("py"),      QStringLiteral("pl"),  QStringLiteral("appimage"), QStringLiteral("deb")};
    const QFileInfo fi(path);
    if (kinds.contains(fi.suffix().toLower()))
        return true;
    return fi.isFile() && fi.isExecutable();
}

QString fmDoc::linkTarget(const QString& target) const {
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    const bool drive = target.size() >= 2 && target.at(1) == QLatin1Char(':'); // C:\… on Windows
    if (target.isEmpty() || scheme.match(target).hasMatch() || drive || QDir::isAbsolutePath(target) ||
        m_dbPath.isEmpty())
        return target;
    return QDir::cleanPath(QFileInfo(m_dbPath).absoluteDir().filePath(target));
}

QByteArray fmDoc::xmlBytes(const QString& xml) {
    // The encoding the declaration names, if it can hold every character; otherwise UTF-8, XML's own
    // default, with the declaration saying so. The tool always gets what it is told it gets.
    static const QRegularExpression declaration(
        QStringLiteral(R"(^\s*<\?xml[^>]*?\bencoding\s*=\s*(["'])([A-Za-z][A-Za-z0-9._-]*)\1)"));
    const QRegularExpressionMatch m = declaration.match(xml);
    if (!m.hasMatch())
        return xml.toUtf8();
    const QString name = m.captured(2).toLower();
    static const QStringList shiftJis = {QStringLiteral("shift_jis"), QStringLiteral("shift-jis"),
                                         QStringLiteral("sjis"), QStringLiteral("x-sjis"), QStringLiteral("ms_kanji")};
    static const QStringList windows31j = {QStringLiteral("windows-31j"), QStringLiteral("cp932")};
    if (name == QLatin1String("utf-8") || name == QLatin1String("utf8"))
        return xml.toUtf8();
    if (shiftJis.contains(name) || windows31j.contains(name)) {
        bool lossy = false;
        const QByteArray bytes = platform::TextCodec::toAnsi(xml, &lossy);
        // Shift_JIS proper has none of Windows' additions (NEC and IBM rows, user areas), and a few
        // characters Windows maps elsewhere (～ ∥ － ￠ ￡ ￢) would be read back as others.
        bool strict = true;
        if (shiftJis.contains(name)) {
            static const QString moved = QStringLiteral("\uFF5E\u2225\uFF0D\uFFE0\uFFE1\uFFE2");
            for (const QChar c : xml)
                strict = strict && !moved.contains(c);
            for (qsizetype i = 0; strict && i < bytes.size(); ++i) {
                const auto b = quint8(bytes[i]);
                if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
                    strict = b != 0x87 && b != 0xED && b != 0xEE && b < 0xF0;
                    ++i; // the trail byte
                }
            }
        }
        if (!lossy && strict)
            return bytes;
    } else if (QStringEncoder encoder(m.captured(2).toLatin1().constData()); encoder.isValid()) {
        const QByteArray bytes = encoder.encode(xml);
        if (!encoder.hasError())
            return bytes;
    }
    QString utf8 = xml;
    utf8.replace(m.capturedStart(2), m.capturedLength(2), QStringLiteral("UTF-8"));
    return utf8.toUtf8();
}

void fmDoc::OpenDxml(const QString& text, const QString& noDxml) {
    util::F_ChkFso();
    QString tool =
        m_s.appSettings.get(QStringLiteral("VantreTools"), QStringLiteral("Path"), QStringLiteral("Oblen"), QString());
    if (tool.isEmpty()) {
        // On Linux the tool is an executable named Oblen; the Windows name is accepted too.
        const QString filter = QDir::separator() == QLatin1Char('/')
                                   ? QStringLiteral("Oblen実行ﾌｧｲﾙ (Oblen.exe)|Oblen.exe;Oblen|")
                                   : QStringLiteral("Oblen実行ﾌｧｲﾙ (Oblen.exe)|Oblen.exe|");
        tool = m_s.fileDialog.open(QStringLiteral("Oblen.exe"), filter, this);
        if (tool.isEmpty() || !m_s.clt.FbExFile(tool))
            return; // cancelled, or no such file: nothing happens and nothing is stored
        m_s.appSettings.set(QStringLiteral("VantreTools"), QStringLiteral("Path"), QStringLiteral("Oblen"), tool);
    }
    const QString file = dxmlFileName(util::processState().workFolder, text);
    const std::optional<qint32> no = util::pageNumber(noDxml);
    if (!no)
        return; // no document number: no row
    docdb::Recordset rs;
    bool ok = false;
    m_s.svr.R_Rset(docdb::sql::kDxml + QString::number(*no), rs, ok, 0);
    if (!ok || rs.eof()) {
        rs.close();
        return;
    }
    QString xml;
    try {
        xml = util::CStr(rs.field(QStringLiteral("smDxml")));
        rs.close();
        m_s.clt.F_StBytesFL(file, xmlBytes(xml));
    } catch (const util::VbError& e) {
        qCDebug(lcMainwin) << "OpenDxml:" << e.what();
        return; // the file is not there: the tool is not started on it
    }
    // One argument, never through a shell: blanks and quotes in the name are safe.
    m_s.shell.startDetached(tool, {file});
}

} // namespace mainwin
