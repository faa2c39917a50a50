// Environment: special folders, the per-user application settings store, the shell and the screen.
#pragma once

#include <QString>
#include <QStringList>

namespace platform {

/// Folder separator of paths the program builds ("\" on Windows, "/" elsewhere).
QChar pathSeparator();
/// Suffix of executable files (".exe" on Windows, "" elsewhere).
QString executableSuffix();
/// Whether file names differ by case on this platform.
bool fileNamesCaseSensitive();

/// Special folders by the shell's numbers: 26 per-user application data, 5 documents, 9 Send To.
class ISpecialFolders {
public:
    virtual ~ISpecialFolders() = default;
    /// The folder's path without a trailing separator, or "" when it cannot be resolved.
    virtual QString path(qint32 nFlg) const = 0;
};

/// The per-user application settings store: (application, section, key) → text.
class IAppSettings {
public:
    virtual ~IAppSettings() = default;
    virtual QString get(const QString& app, const QString& section, const QString& key,
                        const QString& def = QString()) const = 0;
    /// Stores a value; false when the store cannot be written.
    virtual bool set(const QString& app, const QString& section, const QString& key, const QString& value) = 0;
};

/// The shell: open documents, folders and addresses; explore folders; start programs.
class IShell {
public:
    virtual ~IShell() = default;
    /// Opens a file, folder or internet address with the desktop's handler; the result is not reported.
    virtual void open(const QString& target) = 0;
    /// Shows a folder in the file manager.
    virtual void explore(const QString& folder) = 0;
    /// Starts a program with its arguments, detached; false when it could not be started.
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
};

/// The screen: twips per pixel and the busy pointer.
class IScreen {
public:
    virtual ~IScreen() = default;
    virtual double twipsPerPixelX() const = 0;
    virtual double twipsPerPixelY() const = 0;
    /// Shows (true) or ends (false) the hourglass pointer.
    virtual void setBusy(bool busy) = 0;
};

} // namespace platform
