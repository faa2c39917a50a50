// DesktopRegistration: registry entries on Windows, freedesktop files elsewhere.
#include "platform/DesktopRegistration.h"

#include "platform/AppIcon.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>
#endif

namespace platform {

namespace {

QString readText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

bool writeWhole(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return false;
    return f.commit();
}

QString dataHome() {
    const QString env = qEnvironmentVariable("XDG_DATA_HOME");
    return env.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share") : env;
}

/// The system's data folders (XDG_DATA_DIRS), where packages put their entries and icons.
QStringList systemDataDirs() {
    QString env = qEnvironmentVariable("XDG_DATA_DIRS");
    if (env.isEmpty())
        env = QStringLiteral("/usr/local/share:/usr/share");
    QStringList dirs;
    for (const QString& d : env.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (QDir(d) != QDir(dataHome()))
            dirs << d;
    return dirs;
}

/// The program a desktop entry starts: its Exec key's first word, found on the PATH when bare.
QString entryProgram(const QString& entryPath) {
    QFile f(entryPath);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    for (const QString& line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1String("Exec=")))
            continue;
        QString word = line.mid(5).section(QLatin1Char(' '), 0, 0);
        if (word.startsWith(QLatin1Char('"')))
            return {}; // a quoted path: not one the package writes
        if (!word.contains(QLatin1Char('/')))
            word = QStandardPaths::findExecutable(word);
        return word.isEmpty() ? QString() : QFileInfo(word).canonicalFilePath();
    }
    return {};
}

/// Whether an icon of that name is installed in the hicolor theme of a system data folder.
bool systemIconExists(const QString& name) {
    for (const QString& d : systemDataDirs()) {
        const QDir sizes(d + QStringLiteral("/icons/hicolor"));
        for (const QString& size : sizes.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            if (QFile::exists(sizes.filePath(size + QStringLiteral("/apps/") + name + QStringLiteral(".png"))))
                return true;
    }
    return false;
}

QString configHome() {
    const QString env = qEnvironmentVariable("XDG_CONFIG_HOME");
    return env.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : env;
}

/// Runs a desktop tool; a tool that is not installed is no failure of ours.
void runTool(const QString& program, const QStringList& arguments) {
    if (QStandardPaths::findExecutable(program).isEmpty())
        return;
    QProcess p;
    p.start(program, arguments);
    p.waitForFinished(30000);
}

/// A text as one word of a POSIX shell: in single quotes, a quote inside written as '\''.
QString shellWord(const QString& s) {
    QString q = s;
    q.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Windows: the registry's file classes
// ---------------------------------------------------------------------------------------------

bool RegistryAssociation::registerExtension(const QString& progId, const QString& exePath, const QString& extension) {
    const QString exe = QLatin1Char('"') + exePath + QLatin1Char('"');
    m_registry.writeKey(QLatin1Char('.') + extension, progId);
    m_registry.writeKey(progId, std::nullopt);
    m_registry.writeKey(progId + QStringLiteral("\\DefaultIcon"), exe + QStringLiteral(",0"));
    m_registry.writeKey(progId + QStringLiteral("\\Shell"), QStringLiteral("Open"));
    m_registry.writeKey(progId + QStringLiteral("\\Shell\\Open"), QStringLiteral("Open"));
    const bool ok =
        m_registry.writeKey(progId + QStringLiteral("\\Shell\\Open\\Command"), exe + QStringLiteral(" \"%1\""));
    m_registry.notifyAssociationsChanged();
    return ok;
}

QString RegistryAssociation::sendToFile(const QString& folder, const QString& name) const {
    return folder + QLatin1Char('\\') + name + QStringLiteral(".lnk");
}

bool RegistryAssociation::createSendTo(const QString& folder, const QString& name, const QString& target) {
#ifdef Q_OS_WIN
    const bool init = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    bool ok = false;
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        link->SetPath(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(target).utf16()));
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            const QString lnk = QDir::toNativeSeparators(sendToFile(folder, name));
            ok = SUCCEEDED(file->Save(reinterpret_cast<LPCOLESTR>(lnk.utf16()), TRUE));
            file->Release();
        }
        link->Release();
    }
    if (init)
        CoUninitialize();
    return ok;
#else
    Q_UNUSED(folder)
    Q_UNUSED(name)
    Q_UNUSED(target)
    return false;
#endif
}

namespace {
#ifdef Q_OS_WIN
class WindowsRegistry final : public IRegistry {
public:
    bool writeKey(const QString& key, const std::optional<QString>& value) override {
        HKEY h = nullptr;
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, reinterpret_cast<LPCWSTR>(key.utf16()), 0, nullptr, 0,
                            KEY_CREATE_SUB_KEY | KEY_SET_VALUE, nullptr, &h, nullptr) != ERROR_SUCCESS)
            return false;
        bool ok = true;
        if (value)
            ok = RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value->utf16()),
                                DWORD((value->size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
        RegCloseKey(h);
        return ok;
    }
    void notifyAssociationsChanged() override { SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr); }
};

class WindowsRegistration final : public IDesktopRegistration {
public:
    bool registerExtension(const QString& p, const QString& e, const QString& x) override {
        return m_assoc.registerExtension(p, e, x);
    }
    bool createSendTo(const QString& f, const QString& n, const QString& t) override {
        return m_assoc.createSendTo(f, n, t);
    }
    QString sendToFile(const QString& f, const QString& n) const override { return m_assoc.sendToFile(f, n); }

private:
    WindowsRegistry m_registry;
    RegistryAssociation m_assoc{m_registry};
};
#endif
} // namespace

std::unique_ptr<IRegistry> systemRegistry() {
#ifdef Q_OS_WIN
    return std::make_unique<WindowsRegistry>();
#else
    return nullptr;
#endif
}

std::unique_ptr<IDesktopRegistration> desktopRegistration() {
#ifdef Q_OS_WIN
    return std::make_unique<WindowsRegistration>();
#else
    return std::make_unique<FreedesktopAssociation>();
#endif
}

// ---------------------------------------------------------------------------------------------
// Freedesktop: MIME type, desktop entry, default application, file manager script
// ---------------------------------------------------------------------------------------------

QString FreedesktopAssociation::mimeType(const QString& extension) {
    return QStringLiteral("application/x-") + extension.toLower();
}

QString FreedesktopAssociation::desktopFileName(const QString& exePath) {
    return QFileInfo(exePath).completeBaseName() + QStringLiteral(".desktop");
}

QString FreedesktopAssociation::execArgument(const QString& path) {
    // A path without a character the desktop-entry rules reserve is written as it is: some openers
    // (xdg-open outside a known desktop) do not take quotes off.
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`%");
    bool plain = !path.isEmpty();
    for (const QChar c : path)
        plain = plain && !reserved.contains(c);
    if (plain)
        return path;
    // In double quotes, ", `, $ and \ are escaped with a backslash; the key's value is a string,
    // whose own escaping doubles every backslash again; "%" is written "%%".
    QString quoted;
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    if (!quoted.contains(QLatin1Char('%')))
        return QLatin1Char('"') + quoted + QLatin1Char('"');
    // Desktops look for the program as written, before "%%" becomes "%": such a path is started
    // through env, whose arguments get the field codes expanded.
    quoted.replace(QLatin1Char('%'), QLatin1String("%%"));
    return QStringLiteral("env \"") + quoted + QLatin1Char('"');
}

QString FreedesktopAssociation::withDefault(const QString& mimeapps, const QString& key, const QString& value) {
    QStringList lines = mimeapps.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    const QString entry = key + QLatin1Char('=') + value;
    qsizetype section = -1;
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (lines[i].trimmed() == QLatin1String("[Default Applications]"))
            section = i;
    if (section < 0) {
        if (!lines.isEmpty())
            lines << QString();
        lines << QStringLiteral("[Default Applications]") << entry;
        return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    }
    qsizetype end = section + 1;
    while (end < lines.size() && !lines[end].trimmed().startsWith(QLatin1Char('[')))
        ++end;
    for (qsizetype i = section + 1; i < end; ++i) {
        if (lines[i].section(QLatin1Char('='), 0, 0).trimmed() == key) {
            lines[i] = entry;
            return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
        }
    }
    lines.insert(section + 1, entry);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

bool FreedesktopAssociation::registerExtension(const QString& /*progId*/, const QString& exePath,
                                               const QString& extension) {
    const QString type = mimeType(extension);
    const QString data = dataHome();
    const QByteArray mime =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                       "  <mime-type type=\"%1\">\n"
                       "    <comment>DB Text document database</comment>\n"
                       "    <comment xml:lang=\"ja\">文書データーベース</comment>\n"
                       "    <sub-class-of type=\"application/vnd.sqlite3\"/>\n"
                       "    <glob pattern=\"*.%2\"/>\n"
                       "  </mime-type>\n"
                       "</mime-info>\n")
            .arg(type, extension.toLower())
            .toUtf8();
    if (!writeWhole(data + QStringLiteral("/mime/packages/dbtext-") + extension.toLower() + QStringLiteral(".xml"),
                    mime))
        return false;
    runTool(QStringLiteral("update-mime-database"), {data + QStringLiteral("/mime")});

    // A package's entry under the program's name stays visible: when it starts this very program it
    // is the one made the default (an entry of ours under its name, from before, goes); otherwise
    // ours takes a name of its own.
    QString desktopFile = desktopFileName(exePath);
    const QString ours = QStringLiteral("Comment=Reader for document databases\n");
    const QString program = QFileInfo(exePath).canonicalFilePath();
    bool packaged = false;
    for (const QString& d : systemDataDirs()) {
        const QString entryPath = d + QStringLiteral("/applications/") + desktopFile;
        if (!QFile::exists(entryPath))
            continue;
        // An entry of ours under the package's name, from before, would hide the package's.
        const QString shadow = data + QStringLiteral("/applications/") + desktopFile;
        if (QFile::exists(shadow) && readText(shadow).contains(ours))
            QFile::remove(shadow);
        if (!program.isEmpty() && entryProgram(entryPath) == program)
            packaged = true;
        else
            desktopFile = QFileInfo(exePath).completeBaseName() + QStringLiteral("-user.desktop");
        break;
    }
    const QString userEntry = data + QStringLiteral("/applications/") + desktopFile;
    if (!packaged) {
        // A path that needs quotes is started through a launcher of a plain path: some openers
        // (xdg-open outside a known desktop) take the Exec key's first word as it stands.
        QString started = exePath;
        const QString launcher = data + QStringLiteral("/dbtext/") + QFileInfo(exePath).completeBaseName();
        if (execArgument(exePath) != exePath && execArgument(launcher) == launcher) {
            const QString script = QStringLiteral("#!/bin/sh\n# Starts DB Text, whose path needs quoting.\n"
                                                  "exec %1 \"$@\"\n")
                                       .arg(shellWord(exePath));
            if (writeWhole(launcher, script.toUtf8()) &&
                QFile::setPermissions(launcher, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
                started = launcher;
        }
        // The icon the entry names: the package's, else drawn into the user's own icon folder.
        if (!systemIconExists(QStringLiteral("dbtext"))) {
            for (int size : {48, 256}) {
                const QString icon = data + QStringLiteral("/icons/hicolor/%1x%1/apps/dbtext.png").arg(size);
                QDir().mkpath(QFileInfo(icon).absolutePath());
                appIcon(size).save(icon);
            }
        }
        const QString entry = QStringLiteral("[Desktop Entry]\nType=Application\nName=DB Text\n") + ours +
                              QStringLiteral("Comment[ja]=文書データーベースを読む\n"
                                             "Exec=%1 %f\n"
                                             "Icon=dbtext\n"
                                             "MimeType=%2;\n"
                                             "Terminal=false\n"
                                             "Categories=Office;Viewer;\n")
                                  .arg(execArgument(started), type);
        if (!writeWhole(userEntry, entry.toUtf8()))
            return false;
    }
    runTool(QStringLiteral("update-desktop-database"), {data + QStringLiteral("/applications")});

    // The default application: what "xdg-mime default" writes, kept beside the user's other choices.
    const QString list = configHome() + QStringLiteral("/mimeapps.list");
    QFile existing(list);
    QString text;
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly))
            return false;
        text = QString::fromUtf8(existing.readAll());
        existing.close();
    }
    return writeWhole(list, withDefault(text, type, desktopFile).toUtf8());
}

QString FreedesktopAssociation::sendToFile(const QString& folder, const QString& name) const {
    return folder + QLatin1Char('/') + name;
}

bool FreedesktopAssociation::createSendTo(const QString& folder, const QString& name, const QString& target) {
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return false;
    // The file manager runs its scripts in the folder of the chosen files, with their names as
    // arguments: the name is made a whole path, so that one starting with "-" is no option.
    const QString script = QStringLiteral("#!/bin/sh\n"
                                          "# Sends the chosen file to DB Text.\n"
                                          "case \"$1\" in\n"
                                          "/*) ;;\n"
                                          "*) set -- \"$PWD/$1\" ;;\n"
                                          "esac\n"
                                          "exec %1 \"$1\"\n")
                               .arg(shellWord(target));
    const QString path = sendToFile(folder, name);
    if (!writeWhole(path, script.toUtf8()))
        return false;
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                           QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
}

} // namespace platform
