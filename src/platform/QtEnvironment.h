// QtEnvironment: the real special folders, settings store, shell and screen on Qt.
#pragma once

#include <functional>
#include <optional>

#include "platform/Environment.h"

namespace platform {

/// 26 → the generic application data folder (~/.local/share on Linux, %APPDATA% on Windows),
/// 5 → the documents folder, 9 → Send To (on Linux the file manager's scripts folder,
/// ~/.local/share/nautilus/scripts, where a launcher appears in the file manager's context menu).
/// The known folders the special-folder numbers stand for.
enum class KnownFolder { RoamingAppData, Documents, SendTo };

/// Special folders by their numbers (26 application data, 5 documents, 9 Send To), each resolved as
/// the known folder it stands for: on Windows the shell's (the roaming application data, where
/// Send To lives too); elsewhere the desktop's (XDG data home, documents, the file manager's scripts).
class QtSpecialFolders final : public ISpecialFolders {
public:
    using Resolver = std::function<QString(KnownFolder)>;
    explicit QtSpecialFolders(Resolver resolve = systemKnownFolder) : m_resolve(std::move(resolve)) {}
    QString path(qint32 nFlg) const override;
    /// The known folder a number stands for; none for other numbers.
    static std::optional<KnownFolder> knownFolderOf(qint32 nFlg);
    /// This system's path of a known folder ("" when it has none).
    static QString systemKnownFolder(KnownFolder folder);

private:
    Resolver m_resolve;
};

/// On Windows the registry area where VB keeps such settings ("VB and VBA Program Settings"); elsewhere
/// an INI file per application under the user's configuration folder (~/.config/VB and VBA Program
/// Settings/APP.ini), one group per section.
class QtAppSettings final : public IAppSettings {
public:
    QString get(const QString& app, const QString& section, const QString& key,
                const QString& def = QString()) const override;
    bool set(const QString& app, const QString& section, const QString& key, const QString& value) override;
};

/// QDesktopServices and QProcess.
class QtShell final : public IShell {
public:
    void open(const QString& target) override;
    void explore(const QString& folder) override;
    bool startDetached(const QString& program, const QStringList& arguments) override;
};

/// The primary screen's logical resolution; QApplication's override cursor for the busy pointer.
class QtScreen final : public IScreen {
public:
    double twipsPerPixelX() const override;
    double twipsPerPixelY() const override;
    void setBusy(bool busy) override;

private:
    int m_busyDepth = 0;
};

} // namespace platform
