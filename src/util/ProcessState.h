// ProcessState: the process-wide state of the reader and the shared file-system object.
#pragma once

#include <QString>

#include <memory>

namespace util {

/// The shared file-system service: existence tests, folders and whole ANSI text files.
class FileSystem {
public:
    bool fileExists(const QString& path) const;
    bool folderExists(const QString& path) const;
    /// Creates one folder level; false when it could not be made.
    bool createFolder(const QString& path) const;
    /// Reads a whole file as ANSI text; ok tells whether it could be read, *invalid (when given)
    /// whether it held bytes that are not text in the ANSI code page.
    QString readAnsiText(const QString& path, bool& ok, bool* invalid = nullptr) const;
    /// Writes a whole file as ANSI text, replacing it safely (a failed write leaves the old file).
    bool writeAnsiText(const QString& path, const QString& text) const;
};

/// Process-wide state: one instance from start-up to the end procedure.
struct ProcessState {
    bool runFlag = false;            // set at start-up; the navigator lays itself out only while it is set
    QString programName;             // executable base name without a trailing "_dv"
    QString programFolder;           // folder of the executable, without a trailing separator
    QString userDataFolder;          // ends with the separator
    QString workFolder;              // user data folder + "Wrk" + separator
    bool busy = false;               // set while a database is being opened
    std::unique_ptr<FileSystem> fso; // created by F_ChkFso
};

/// The one process state. Tests reset it with resetProcessState().
ProcessState& processState();
void resetProcessState();

/// Creates the shared file-system object if it does not exist yet.
void F_ChkFso();
/// The shared file-system object (created on first use).
FileSystem& fso();

} // namespace util
