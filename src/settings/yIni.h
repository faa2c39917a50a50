// yIni: the user environment (user data folder, special folders, shell) and the settings document.
#pragma once

#include "platform/DesktopRegistration.h"
#include "platform/Environment.h"
#include "platform/MessageBox.h"

#include <QString>
#include <QStringList>
#include <QVariant>

namespace settings {

/// One group of a settings document as its shape check reads it.
struct SettingsGroup {
    QString name;
    QString body; // the text between its start and end tags, exactly
    QStringList keys;
};

/// yIni: the environment class. One shared instance from start-up to the end procedure.
/// It resolves and creates the user data folder, registers the program path, and owns the settings
/// document "User.xml": the whole text in memory plus one current group edited key by key. The
/// document is read and written by plain text search and splicing, in the exact layout below,
/// never by an XML parser:
///   <?xml version='1.0' encoding='Shift-JIS' ?>CRLF<運用>CRLF   <Group>CRLF      <Key>value</Key>CRLF
///   …   </Group>CRLF</運用>        (CP932, CR LF, no final line break)
class yIni {
public:
    yIni(platform::IMessageBox& messages, platform::ISpecialFolders& folders, platform::IAppSettings& appSettings,
         platform::IShell& shell);
    Q_DISABLE_COPY_MOVE(yIni)

    // --- user data folder and special folders ---------------------------------------------------
    /// Keeps the owner window, registers the program path under "VantreTools"/"Path"/program name
    /// (only when it differs), reads the choice file "UserData.ini" beside the executable (writing
    /// "%applicaion data%" when it is missing or empty), and resolves and creates the user data
    /// folder. Uses the program folder and name of the process state; sets its user data folder.
    /// Never stops the program: a folder that cannot be made or written falls back to the
    /// application data folder.
    void W_UserData(quintptr nWhnd);
    /// The special folder nFlg (26, 5, 9) without trailing separator, or "".
    QString FsGtSpFld(qint32 nFlg) const;
    /// Whether a folder belongs to the system (a package's prefix, or not the user's to write).
    static bool isSystemFolder(const QString& folder);
    /// Creates sFd and every missing folder above it; failures are ignored.
    void F_CreateFld(const QString& sFd) const;
    /// Creates each named subfolder of sPh (ending with the separator) that is missing, one level.
    /// Throws util::VbError when one cannot be made.
    void F_ChkSb(const QString& sPh, const QStringList& Ary) const;
    /// Asks the shell to open sFld (bOpn True) or to explore it when it is an existing folder.
    void W_ExpFd(const QString& sFld, bool bOpn);

    /// Puts the Send To launcher for the program into special folder 9 and confirms it with a message;
    /// any failure ends it quietly.
    void W_SendTo(platform::IDesktopRegistration& registration);

    /// The user data folder chosen by W_UserData (ends with the separator).
    QString userDataFolder() const { return m_userDataFolder; }
    /// The application data folder: special folder 26 + "Vantre" + program name, with separators.
    QString appDataFolder() const;

    // --- settings document ---------------------------------------------------------------------
    /// Loads the document from sFL ("_DV.xml" in any case is read as ".xml"); a missing file is
    /// created empty. Blank lines before the document are skipped; an empty or blank file gives the
    /// empty document. A document whose shape the text edits could damage is read but not written.
    void GetTxt(const QString& sFL, bool& bOk);
    /// Makes sGp the current group and extracts its body.
    void GetGtx(const QString& sGp);
    /// One value of the current group; vDef gives the default and the type (text, Boolean, date,
    /// or any number: then the stored text's leading number as a double). Throws util::VbError for
    /// a Boolean that does not convert.
    QVariant vGtVal(const QString& sKy, const QVariant& vDef);
    /// Writes the document to the settings file. Does nothing before GetTxt, and never overwrites a
    /// file that GetTxt could not read or could not edit safely (bOk False then).
    void SetTxt(bool& bOk);
    /// Puts the current group's body back into the document.
    void SetGtx();
    /// Sets one value of the current group (appends a line for a new key).
    void SetVal(const QString& sKy, const QVariant& vVL);

    /// Content of a group (mode 0) or of a key of the current group (mode 1); "" when absent; shows
    /// the damaged-element message when only one tag is found or the end tag comes first.
    QString sGtElm(qint16 mode, const QString& name);
    /// Formats a whole empty document (0), a group (1) or a value line (2); "‡" becomes CR LF.
    static QString sMkElm(qint16 mode, const QString& name, const QVariant& content);

    QString settingsPath() const { return m_settingsPath; }
    QString documentText() const { return m_document; }
    QString groupText() const { return m_group; }
    QString groupName() const { return m_groupName; }

private:
    QString sep() const;
    /// The choice in the choice file: its first line that holds anything; fallback when there is none.
    static QString readChoice(const QString& choiceFile, const QString& fallback);
    /// Whether the document may be written: it keeps the editable shape, every group read is still
    /// there, each group and each key of a group occurs once, and the groups no window stored are
    /// exactly as they were read.
    bool safeToWrite() const;

    platform::IMessageBox& m_messages;
    platform::ISpecialFolders& m_folders;
    platform::IAppSettings& m_appSettings;
    platform::IShell& m_shell;

    /// The user's configuration folder (XDG_CONFIG_HOME, ~/.config; the roaming application data on Windows).
    QString userConfigFolder() const;
    quintptr m_ownerWnd = 0;       // owner window of the shell calls
    QString m_settingsPath;        // file last loaded by GetTxt
    QString m_document;            // the whole document, CR LF line ends
    QString m_group;               // body of the current group
    QString m_groupName;           // name of the current group
    bool m_unreadable = false;     // the last GetTxt met a file it could not read
    bool m_uneditable = false;     // the last GetTxt met a document that edits could damage
    QList<SettingsGroup> m_loaded; // the groups as the last GetTxt read them
    QStringList m_touched;         // the groups stored back (SetGtx) since
    QString m_userDataFolder;
};

} // namespace settings
