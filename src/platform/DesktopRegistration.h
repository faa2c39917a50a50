// DesktopRegistration: the program as the handler of a file type, and the Send To launcher, written
// the way the desktop in use keeps them (the registry's file classes, or freedesktop files).
#pragma once

#include <QString>

#include <memory>
#include <optional>

namespace platform {

/// Registers the program with the desktop.
class IDesktopRegistration {
public:
    virtual ~IDesktopRegistration() = default;
    /// Makes exePath the program that opens files of the extension (file class progId); a file opened
    /// from the desktop starts it with the file's path as its one argument. True when it worked.
    virtual bool registerExtension(const QString& progId, const QString& exePath, const QString& extension) = 0;
    /// Puts a launcher named name into the Send To folder that starts target with the file sent.
    virtual bool createSendTo(const QString& folder, const QString& name, const QString& target) = 0;
    /// The launcher's file for a name (what the user sees in the folder).
    virtual QString sendToFile(const QString& folder, const QString& name) const = 0;
};

/// The root of registered file classes: keys written with their default text value.
class IRegistry {
public:
    virtual ~IRegistry() = default;
    /// Creates or opens key and, when value is given, sets its default text value. False when refused.
    virtual bool writeKey(const QString& key, const std::optional<QString>& value) = 0;
    /// Tells the shell that file associations have changed.
    virtual void notifyAssociationsChanged() = 0;
};

/// The Windows form: six entries under the file classes, then the association-changed notification.
/// Paths are quoted, so a program folder with blanks neither starts another program nor breaks names.
class RegistryAssociation final : public IDesktopRegistration {
public:
    explicit RegistryAssociation(IRegistry& registry) : m_registry(registry) {}
    bool registerExtension(const QString& progId, const QString& exePath, const QString& extension) override;
    /// A shell link (.lnk); on other systems there are none and it fails.
    bool createSendTo(const QString& folder, const QString& name, const QString& target) override;
    QString sendToFile(const QString& folder, const QString& name) const override;

private:
    IRegistry& m_registry;
};

/// The freedesktop form, for the user only (no root needed): a MIME type for the extension under
/// $XDG_DATA_HOME/mime/packages (then update-mime-database), a desktop entry under
/// $XDG_DATA_HOME/applications whose Exec line quotes the program and takes %f, and that entry as the
/// type's default application in $XDG_CONFIG_HOME/mimeapps.list. The Send To launcher is an executable
/// script in the file manager's scripts folder that starts the program on the chosen file.
class FreedesktopAssociation final : public IDesktopRegistration {
public:
    bool registerExtension(const QString& progId, const QString& exePath, const QString& extension) override;
    bool createSendTo(const QString& folder, const QString& name, const QString& target) override;
    QString sendToFile(const QString& folder, const QString& name) const override;

    /// The MIME type of an extension ("application/x-txdb") and the desktop entry's file name.
    static QString mimeType(const QString& extension);
    static QString desktopFileName(const QString& exePath);
    /// A program path as the start of a desktop entry's Exec key (quoted and escaped; a path with
    /// "%" is started through env, as desktops look for the program before expanding "%%").
    static QString execArgument(const QString& path);
    /// Sets key in [Default Applications] of a mimeapps.list text, keeping everything else.
    static QString withDefault(const QString& mimeapps, const QString& key, const QString& value);
};

/// The registry of this machine's file classes (HKEY_CLASSES_ROOT on Windows; none elsewhere).
std::unique_ptr<IRegistry> systemRegistry();
/// The registration for the desktop this program runs on.
std::unique_ptr<IDesktopRegistration> desktopRegistration();

} // namespace platform
