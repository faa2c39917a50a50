// OfficeConverter: Word and RTF files through LibreOffice running headless.
#pragma once

#include <QString>

#include <atomic>

namespace richtext {

/// Converts HTML into Word 97-2003 (".doc"), Word 2007+ (".docx") or RTF with LibreOffice
/// ("soffice --headless --convert-to"), using a private profile under the caller's work folder so
/// that a running LibreOffice of the user is neither needed nor disturbed. Every conversion runs in
/// a process group of its own; on time-out or cancel the whole group is ended, so no soffice.bin
/// runs on holding the profile.
class OfficeConverter {
public:
    static constexpr int kTimeoutMs = 90000;

    /// The LibreOffice executable, or "" when none is installed.
    static QString executable();

    /// Writes html into folder (a fresh temporary folder of the caller) and converts it there into a
    /// file with extension ext ("doc", "docx", "rtf") through filter ("MS Word 97", "MS Word 2007
    /// XML", "Rich Text Format"). Returns the written file's path, or "" with a reason (Japanese, for
    /// the user) when LibreOffice is missing, times out, is cancelled (*cancel set from another
    /// thread), fails or writes no file.
    static QString convertHtml(const QString& html, const QString& folder, const QString& ext, const QString& filter,
                               const QString& workFolder, QString& reason, const std::atomic<bool>* cancel = nullptr,
                               int timeoutMs = kTimeoutMs);

    /// Converts any file LibreOffice reads into target ("html", "doc:MS Word 97", …) in outDir;
    /// the written file's path or "" with a reason.
    static QString convertFile(const QString& inFile, const QString& outDir, const QString& target,
                               const QString& workFolder, QString& reason, const std::atomic<bool>* cancel = nullptr,
                               int timeoutMs = kTimeoutMs);
};

} // namespace richtext
