// QtEnvironment: the real special folders, settings store, shell and screen on Qt.
#pragma once

#include "platform/Environment.h"

namespace platform {

/// 26 → the generic application data folder (~/.local/share on Linux, %APPDATA% on Windows),
/// 5 → the documents folder, 9 → Send To (on Linux the file manager's scripts folder,
/// ~/.local/share/nautilus/scripts, where a launcher appears in the file manager's context menu).
class QtSpecialFolders final : public ISpecialFolders {
public:
    QString path(qint32 nFlg) const override;
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
