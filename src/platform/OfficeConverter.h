// OfficeConverter: Word and RTF files through LibreOffice running headless.
#pragma once

#include <QString>

namespace platform {

/// Converts an HTML file into Word 97-2003 (".doc"), Word 2007+ (".docx") or RTF with LibreOffice
/// ("soffice --headless --convert-to"), using a private profile under the caller's work folder so
/// that a running LibreOffice of the user is neither needed nor disturbed.
class OfficeConverter {
public:
    /// The LibreOffice executable, or "" when none is installed.
    static QString executable();

    /// Converts htmlFile to outFile in the format given by filter ("MS Word 97", "MS Word 2007 XML",
    /// "Rich Text Format"). Returns false with a reason (Japanese, for the user) when LibreOffice is
    /// missing, times out, fails, or writes no file. outFile is written only when all went well.
    static bool convert(const QString& htmlFile, const QString& outFile, const QString& filter,
                        const QString& workFolder, QString& reason, int timeoutMs = 90000);

    /// Converts any document LibreOffice reads into HTML (used to read saved files back).
    static bool toHtml(const QString& inFile, const QString& outHtml, const QString& workFolder, QString& reason,
                       int timeoutMs = 90000);
};

} // namespace platform
