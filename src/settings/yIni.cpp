// yIni: user data folder, special folders, shell requests and the settings document.
#include "settings/yIni.h"

#include "platform/TextCodec.h"
#include "util/ProcessState.h"
#include "util/Vb.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace settings {

namespace {

const QString kRoot = QStringLiteral("運用");
const QString kRootEnd = QStringLiteral("</運用>");
const QString kCrLf = QStringLiteral("\r\n");
const QString kDefaultChoice = QStringLiteral("%applicaion data%");

bool blank(QStringView text) {
    for (QChar c : text)
        if (!c.isSpace())
            return false;
    return true;
}

using Group = SettingsGroup;

/// Whether the program can edit a settings document by its text splicing without losing anything:
/// an optional declaration, the root element holding groups, each group holding key elements whose
/// values contain no "<", every element closed in order, and nothing but blanks between them. Only
/// the root's end may be missing (it is added again on saving). A document of any other shape (a
/// group inside a group, a missing end tag, "</運用>" inside a value …) is read, but not written.
/// groups (when given) receives each group's name, the text between its tags and its keys.
bool editableShape(const QString& text, QList<Group>* groups = nullptr) {
    QStringList open; // element names from the root down
    qsizetype i = 0, textFrom = 0, groupFrom = 0;
    const qsizetype n = text.size();
    bool rootSeen = false, rootClosed = false;
    while (i < n) {
        const qsizetype lt = text.indexOf(QLatin1Char('<'), i);
        const qsizetype end = lt < 0 ? n : lt;
        // Text between tags: a value inside a key element, blanks anywhere else.
        if (open.size() != 3 && !blank(QStringView(text).mid(textFrom, end - textFrom)))
            return false;
        if (lt < 0)
            break;
        if (text.mid(lt, 2) == QLatin1String("<?")) { // the declaration, before the root only
            const qsizetype q = text.indexOf(QLatin1String("?>"), lt);
            if (q < 0 || rootSeen)
                return false;
            const QStringView inside = QStringView(text).mid(lt + 2, q - lt - 2);
            if (inside.contains(QLatin1Char('<')) || inside.contains(QLatin1Char('>')))
                return false; // tags hidden in it would be found by the edits' text search
            i = textFrom = q + 2;
            continue;
        }
        const qsizetype gt = text.indexOf(QLatin1Char('>'), lt);
        if (gt < 0)
            return false;
        const bool closing = lt + 1 < n && text.at(lt + 1) == QLatin1Char('/');
        const QString name = text.mid(lt + (closing ? 2 : 1), gt - lt - (closing ? 2 : 1));
        if (name.isEmpty() || name.contains(QLatin1Char('<')) || name.contains(QLatin1Char('/')))
            return false; // a "<" that is no tag: in a value it would be taken for one
        if (closing) {
            if (open.isEmpty() || open.last() != name)
                return false;
            if (open.size() == 2 && groups)
                groups->back().body = text.mid(groupFrom, lt - groupFrom);
            open.removeLast();
            if (open.isEmpty())
                rootClosed = true;
        } else {
            if (rootClosed || open.size() >= 3 || (open.isEmpty() && (rootSeen || name != kRoot)))
                return false;
            rootSeen = true;
            open << name;
            if (open.size() == 2 && groups) {
                groups->append({name, QString(), {}});
                groupFrom = gt + 1;
            } else if (open.size() == 3 && groups) {
                groups->back().keys << name;
            }
        }
        i = textFrom = gt + 1;
    }
    return rootSeen && (open.isEmpty() || (open.size() == 1 && !rootClosed));
}

/// Where the body of a group lies in the document, given its start tag at o and its end tag at c:
/// from after the start tag and the line break that ends its line, to the indentation of the end
/// tag's own line. For the layout the program writes, that is exactly the lines between the two
/// tags; a hand-edited group whose first key stands on its start line keeps that key in its body,
/// and a document with LF line ends is read as one with CR LF.
void groupSpan(const QString& text, qsizetype afterStart, qsizetype c, qsizetype& from, qsizetype& to) {
    from = afterStart;
    if (!QStringView(text).mid(afterStart, c - afterStart).contains(QLatin1Char('<'))) {
        to = from; // tags that hold no tags hold a value, no group body ("<Zoom>3</Zoom>", "<G></G>")
        return;
    }
    if (text.mid(from, 2) == kCrLf)
        from += 2;
    else if (from < text.size() && (text.at(from) == QLatin1Char('\n') || text.at(from) == QLatin1Char('\r')))
        from += 1;
    qsizetype k = c;
    while (k > from && (text.at(k - 1) == QLatin1Char(' ') || text.at(k - 1) == QLatin1Char('\t')))
        --k;
    to = k == from || text.at(k - 1) == QLatin1Char('\n') || text.at(k - 1) == QLatin1Char('\r') ? k : c;
    if (to < from)
        to = from;
}

} // namespace

yIni::yIni(platform::IMessageBox& messages, platform::ISpecialFolders& folders, platform::IAppSettings& appSettings,
           platform::IShell& shell)
    : m_messages(messages), m_folders(folders), m_appSettings(appSettings), m_shell(shell) {}

QString yIni::sep() const {
    return QString(platform::pathSeparator());
}

// ---------------------------------------------------------------------------------------------
// User data folder and special folders
// ---------------------------------------------------------------------------------------------

QString yIni::appDataFolder() const {
    return FsGtSpFld(26) + sep() + QStringLiteral("Vantre") + sep() + util::processState().programName + sep();
}

bool yIni::isSystemFolder(const QString& folder) {
#ifdef Q_OS_WIN
    // Under Program Files (or anywhere the user may not write): the installer's, not the user's.
    return !QFileInfo(folder).isWritable() ||
           QDir::cleanPath(folder).startsWith(QDir::cleanPath(qEnvironmentVariable("ProgramFiles")), Qt::CaseInsensitive);
#else
    // The system's prefixes belong to the package manager, whoever runs the program (root too).
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    for (const char* prefix : {"/usr", "/bin", "/sbin", "/opt", "/lib", "/snap"})
        if (path == QLatin1String(prefix) || path.startsWith(QLatin1String(prefix) + QLatin1Char('/')))
            return true;
    return !QFileInfo(folder).isWritable();
#endif
}

QString yIni::userConfigFolder() const {
#ifdef Q_OS_WIN
    return FsGtSpFld(26);
#else
    const QString env = qEnvironmentVariable("XDG_CONFIG_HOME");
    return env.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : env;
#endif
}

void yIni::W_UserData(quintptr nWhnd) {
    m_ownerWnd = nWhnd;
    util::ProcessState& ps = util::processState();
    QString P = ps.programFolder;
    if (!P.endsWith(sep()))
        P += sep();
    util::F_ChkFso();
    util::FileSystem& fs = util::fso();

    // The program's path for companion tools, written only when it changed.
    const QString E = ps.programFolder + sep() + ps.programName + platform::executableSuffix();
    const QString stored = m_appSettings.get(QStringLiteral("VantreTools"), QStringLiteral("Path"), ps.programName);
    const Qt::CaseSensitivity cs = platform::fileNamesCaseSensitive() ? Qt::CaseSensitive : Qt::CaseInsensitive;
    if (stored.compare(E, cs) != 0)
        m_appSettings.set(QStringLiteral("VantreTools"), QStringLiteral("Path"), ps.programName, E);

    const QString A = appDataFolder();
    QString choice = kDefaultChoice;
    QString choiceFile = P + QStringLiteral("UserData.ini");
    const bool systemProgram = isSystemFolder(ps.programFolder);
    if (systemProgram && !QFileInfo::exists(choiceFile)) {
        // A program installed for everyone keeps no file of a user beside it: the choice lives in
        // the user's configuration folder (one put beside the program by the administrator is read).
        choiceFile = userConfigFolder() + sep() + QStringLiteral("Vantre") + sep() + ps.programName + sep() +
                     QStringLiteral("UserData.ini");
        QDir().mkpath(QFileInfo(choiceFile).absolutePath());
    }
    bool needsWriting = true;
    if (const QFileInfo fi(choiceFile); fi.exists() || fi.isSymLink()) {
        // Only an empty file is written; anything else there (a file of other lines, one that is
        // no ANSI text, a folder or a pipe) is left as it is.
        needsWriting = fi.isFile() && fi.size() == 0 && !(systemProgram && choiceFile.startsWith(P));
        if (fi.isFile() && fi.size() > 0)
            choice = readChoice(choiceFile, choice);
    }

    const QString lower = choice.toLower();
    QString folder;
    if (lower == QLatin1String("%app%")) {
        // Beside the program, unless the program lies in the system's folders: the user's own then.
        folder = systemProgram ? A : P + QStringLiteral("usData") + sep();
    } else if (lower == QLatin1String("%usr%") || lower == kDefaultChoice) {
        folder = A;
    } else if (lower == QLatin1String("%doc") || lower == QLatin1String("%my document%")) {
        folder = FsGtSpFld(5) + sep() + QStringLiteral("Vantre") + sep() + ps.programName + sep();
    } else if (lower.startsWith(QLatin1Char('%'))) {
        folder = A;
    } else {
        // Windows compares folder names without case and the choice is used lower-cased; where file
        // names differ by case the choice is used as written, or a folder with capitals is never found.
        const QString named = platform::fileNamesCaseSensitive() ? choice : lower;
        if (fs.folderExists(named)) {
            folder = named;
            if (!folder.endsWith(sep()))
                folder += sep();
        } else {
            // A choice no path could be is shown cut, so that the message stays readable.
            const QString shown = named.size() > 200 ? named.left(200) + QChar(0x2026) : named;
            m_messages.show(QStringLiteral("ﾌｫﾙﾀﾞ ") + shown + QStringLiteral(" が見つかりません") + QLatin1Char('\r') +
                            QStringLiteral("ﾕｰｻﾞｰﾃﾞｰﾀｰﾌｫﾙﾀﾞは　") + A + QStringLiteral(" を使用します"));
            folder = A;
        }
    }

    // A choice file that cannot be written (a read-only program folder) is no reason to stop.
    if (needsWriting)
        fs.writeAnsiText(choiceFile, choice);

    if (!fs.folderExists(folder))
        F_CreateFld(folder);
    // A folder that could not be made or cannot be written falls back to the application data folder.
    if (!fs.folderExists(folder) || !QFileInfo(folder).isWritable()) {
        if (folder != A) {
            folder = A;
            if (!fs.folderExists(folder))
                F_CreateFld(folder);
        }
    }
    m_userDataFolder = folder;
    ps.userDataFolder = folder;
}

QString yIni::readChoice(const QString& choiceFile, const QString& fallback) {
    // The choice is one line: the first that holds anything, without its line break (an editor
    // may end it with one). A longer file is not read beyond what a path could take.
    constexpr qint64 kMaxBytes = 8192;
    QFile f(choiceFile);
    if (!f.open(QIODevice::ReadOnly))
        return fallback;
    const QByteArray head = f.read(kMaxBytes);
    qsizetype at = 0;
    while (at < head.size() && (head.at(at) == '\r' || head.at(at) == '\n'))
        ++at;
    qsizetype end = at;
    while (end < head.size() && head.at(end) != '\r' && head.at(end) != '\n')
        ++end;
    if (at == end)
        return fallback; // nothing but line breaks
    bool invalid = false;
    const QString line = platform::TextCodec::fromAnsi(head.mid(at, end - at), &invalid);
    const bool cut = end == head.size() && head.size() == kMaxBytes; // a line longer than any path
    if (invalid && !cut)
        return fallback; // no ANSI text: the file is left as it is and the default used
    return line;
}

QString yIni::FsGtSpFld(qint32 nFlg) const {
    QString p = m_folders.path(nFlg);
    const qsizetype nul = p.indexOf(QChar(0));
    if (nul >= 0)
        p.truncate(nul);
    return p;
}

void yIni::F_CreateFld(const QString& sFd) const {
    util::FileSystem& fs = util::fso();
    if (sFd.isEmpty() || fs.folderExists(sFd))
        return;
    QString path = sFd;
    if (!path.endsWith(sep()))
        path += sep();
    bool first = true;
    for (qsizetype b = 0; b < path.size(); ++b) {
        if (path.at(b) != sep().at(0))
            continue;
        if (first) { // the separator after the drive (or the root)
            first = false;
            continue;
        }
        const QString level = path.left(b);
        if (!level.isEmpty() && !fs.folderExists(level))
            fs.createFolder(level); // a level that fails is simply missing afterwards
    }
}

void yIni::F_ChkSb(const QString& sPh, const QStringList& Ary) const {
    util::FileSystem& fs = util::fso();
    for (const QString& name : Ary) {
        const QString path = sPh + name;
        if (!fs.folderExists(path) && !fs.createFolder(path))
            throw util::VbError(QStringLiteral("Path not found: %1").arg(path));
    }
}

void yIni::W_SendTo(platform::IDesktopRegistration& registration) {
    const util::ProcessState& ps = util::processState();
    const QString S = FsGtSpFld(9);
    const QString target = ps.programFolder + sep() + ps.programName + platform::executableSuffix();
    if (S.isEmpty() || !registration.createSendTo(S, ps.programName, target))
        return;
    m_messages.show(target + QStringLiteral(" のｼｮｰﾄｶｯﾄを ") + S + QStringLiteral(" に作成しました"));
}

void yIni::W_ExpFd(const QString& sFld, bool bOpn) {
    if (sFld.isEmpty())
        return;
    if (bOpn) {
        m_shell.open(sFld);
        return;
    }
    if (util::fso().folderExists(sFld))
        m_shell.explore(sFld);
}

// ---------------------------------------------------------------------------------------------
// Settings document
// ---------------------------------------------------------------------------------------------

QString yIni::sMkElm(qint16 mode, const QString& name, const QVariant& content) {
    static const QString mark = QString(QChar(0x2021)); // ‡, the line-break marker
    const QString c = util::CStr(content);
    QString out;
    switch (mode) {
    case 0:
        out = QStringLiteral("<?xml version='1.0' encoding='Shift-JIS' ?>") + mark + QLatin1Char('<') + name +
              QLatin1Char('>') + c + QStringLiteral("</") + name + QLatin1Char('>');
        break;
    case 1:
        out = QStringLiteral("   <") + name + QLatin1Char('>') + mark + c + QStringLiteral("   </") + name +
              QLatin1Char('>') + mark;
        break;
    default:
        out = QStringLiteral("      <") + name + QLatin1Char('>') + c + QStringLiteral("</") + name + QLatin1Char('>') +
              mark;
        break;
    }
    return out.replace(mark, kCrLf);
}

QString yIni::sGtElm(qint16 mode, const QString& name) {
    const QString& text = mode == 0 ? m_document : m_group;
    const QString open = QLatin1Char('<') + name + QLatin1Char('>');
    const QString close = QStringLiteral("</") + name + QLatin1Char('>');
    const qsizetype o = text.indexOf(open);
    const qsizetype c = text.indexOf(close);
    if (text.isEmpty() || (o < 0 && c < 0))
        return {};
    if (o >= 0 && c >= 0 && c >= o) {
        const qsizetype s = o + name.size() + 2; // first character after the start tag
        if (mode == 0) {
            qsizetype from = 0, to = 0;
            groupSpan(text, s, c, from, to);
            return text.mid(from, to - from);
        }
        return c - s < 0 ? QString() : text.mid(s, c - s);
    }
    m_messages.show(open + QStringLiteral(" の設定が読み込めません") + QLatin1Char('\r') +
                    QStringLiteral("ﾕｰｻﾞｰ環境ﾌｧｲﾙ(") + m_settingsPath + QStringLiteral(") が破損しています"));
    return {};
}

void yIni::GetTxt(const QString& sFL, bool& bOk) {
    m_document.clear();
    m_unreadable = false;
    m_uneditable = false;
    m_loaded.clear();
    m_touched.clear();
    QString path = sFL;
    const qsizetype dv = path.indexOf(QStringLiteral("_DV.xml"), 0, Qt::CaseInsensitive);
    if (dv >= 0)
        path.replace(dv, 7, QStringLiteral(".xml"));
    m_settingsPath = path;
    util::F_ChkFso();
    util::FileSystem& fs = util::fso();
    const QFileInfo fi(path);
    if ((fi.exists() || fi.isSymLink()) && !fi.isFile()) {
        // A folder, a pipe or a device of that name (or a link to nothing) is neither read nor
        // written: a pipe would hold the start for ever.
        m_unreadable = true;
        m_document = sMkElm(0, kRoot, kCrLf);
        bOk = false;
        return;
    }
    if (fs.fileExists(path)) {
        bool ok = false;
        bool invalid = false;
        const QString text = fs.readAnsiText(path, ok, &invalid);
        // A file that cannot be read, or whose bytes are not ANSI text, is never written over.
        if (!ok || invalid) {
            m_unreadable = true;
            m_document = sMkElm(0, kRoot, kCrLf);
            bOk = false;
            return;
        }
        // Blank lines before the declaration are skipped; the document after them is kept.
        qsizetype start = 0;
        while (start < text.size() && text.at(start).isSpace())
            ++start;
        if (start < text.size())
            m_document = text.mid(start);
        m_uneditable = !m_document.isEmpty() && !editableShape(m_document, &m_loaded);
    } else {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            bOk = false;
            return;
        }
    }
    if (m_document.isEmpty())
        m_document = sMkElm(0, kRoot, kCrLf);
    bOk = true;
}

void yIni::GetGtx(const QString& sGp) {
    m_groupName = sGp;
    m_group = sGtElm(0, sGp);
}

QVariant yIni::vGtVal(const QString& sKy, const QVariant& vDef) {
    const QString T = sGtElm(1, sKy);
    switch (vDef.metaType().id()) {
    case QMetaType::QString:
        return T.isEmpty() ? vDef : QVariant(T);
    case QMetaType::Bool: {
        const QString s = T.isEmpty() ? util::CStr(vDef) : T;
        const QString t = util::Trim(s);
        if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
            return QVariant(true);
        if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
            return QVariant(false);
        bool isNumber = false;
        const double d = t.toDouble(&isNumber);
        if (!isNumber)
            throw util::VbError(QStringLiteral("Type mismatch"));
        return QVariant(d != 0);
    }
    case QMetaType::QDateTime:
    case QMetaType::QDate: {
        if (T.isEmpty())
            return vDef;
        for (const char* fmt : {"yyyy/MM/dd HH:mm:ss", "yyyy/MM/dd H:mm:ss", "yyyy/MM/dd"}) {
            const QDateTime t = QDateTime::fromString(util::Trim(T), QString::fromLatin1(fmt));
            if (t.isValid())
                return vDef.metaType().id() == QMetaType::QDate ? QVariant(t.date()) : QVariant(t);
        }
        return vDef;
    }
    default:
        return T.isEmpty() ? vDef : QVariant(util::Val(T));
    }
}

void yIni::SetVal(const QString& sKy, const QVariant& vVL) {
    const QString open = QLatin1Char('<') + sKy + QLatin1Char('>');
    const qsizetype o = m_group.indexOf(open);
    if (o >= 0) {
        const qsizetype p = o + sKy.size() + 2; // characters up to and including the start tag's ">"
        const qsizetype c = m_group.indexOf(QStringLiteral("</") + sKy + QLatin1Char('>'), p);
        if (c >= 0) {
            m_group = m_group.left(p) + util::CStr(vVL) + m_group.mid(c);
            return;
        }
    }
    m_group += sMkElm(2, sKy, vVL);
}

void yIni::SetGtx() {
    if (m_document.isEmpty())
        m_document = sMkElm(0, kRoot, kCrLf);
    const QString open = QLatin1Char('<') + m_groupName + QLatin1Char('>');
    const QString close = QStringLiteral("</") + m_groupName + QLatin1Char('>');
    m_touched << m_groupName;
    const qsizetype o = m_document.indexOf(open);
    if (o >= 0) {
        const qsizetype s = o + open.size();
        const qsizetype c = m_document.indexOf(close, s);
        if (c >= 0) {
            qsizetype from = 0, to = 0;
            groupSpan(m_document, s, c, from, to);
            if (from == s && to == from) {
                // Tags with nothing but blanks between them (a hand-edited "<G></G>"): rebuild the
                // element whole, in the program's layout.
                m_document = m_document.left(o) + open + kCrLf + m_group + QStringLiteral("   ") + close +
                             m_document.mid(c + close.size());
                return;
            }
            m_document = m_document.left(from) + m_group + m_document.mid(to);
            return;
        }
    }
    const qsizetype r = m_document.indexOf(kRootEnd);
    if (r < 0) {
        // A hand-edited document without the root end: keep all it holds and close it again.
        if (!m_document.endsWith(kCrLf))
            m_document += kCrLf;
        m_document += sMkElm(1, m_groupName, m_group) + kRootEnd;
        return;
    }
    m_document = m_document.left(r) + sMkElm(1, m_groupName, m_group) + m_document.mid(r);
}

bool yIni::safeToWrite() const {
    // What is written holds every group that was read, each group once and each key once in it, and
    // the groups no window changed exactly as they were read.
    QList<Group> now;
    if (!editableShape(m_document, &now))
        return false;
    QStringList names;
    for (const Group& g : now) {
        QStringList keys = g.keys;
        if (names.contains(g.name) || keys.removeDuplicates() > 0)
            return false;
        names << g.name;
    }
    for (const Group& g : m_loaded) {
        const qsizetype at = names.indexOf(g.name);
        if (at < 0 || (!m_touched.contains(g.name) && now[at].body != g.body))
            return false;
        for (const QString& key : g.keys) // a stored group keeps every key it had
            if (!now[at].keys.contains(key))
                return false;
    }
    return true;
}

void yIni::SetTxt(bool& bOk) {
    if (m_settingsPath.isEmpty())
        return;
    // A file that could not be read, or whose shape the edits cannot keep whole, is never written
    // over; neither is a document that the edits left in such a shape.
    if (m_unreadable || m_uneditable || !safeToWrite()) {
        bOk = false;
        return;
    }
    util::F_ChkFso();
    bOk = util::fso().writeAnsiText(m_settingsPath, m_document);
}

} // namespace settings
