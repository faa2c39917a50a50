// zClt: the client utility class (file existence with wildcards, whole-text writes, list trimming).
#pragma once

#include <QString>

namespace util {

/// zClt: file and text operations shared by the windows. One shared instance lives from first use
/// to program end; the operations keep no state of their own.
class zClt {
public:
    /// Whether sFL names an existing file (folders do not count). With bLike True and a "?" or "*"
    /// in the name, whether any ordinary (not hidden) file in that folder matches the pattern;
    /// wildcards apply to the file name only, "?" one character, "*" any run.
    bool FbExFile(const QString& sFL, bool bLike = false) const;

    /// Writes sTx to sFL in the ANSI code page, replacing the file (a new file takes its name) or
    /// appending when bApn is True; no line break is added. A link of that name is never written
    /// through. Throws util::VbError when the file cannot be written.
    void F_StTxtFL(const QString& sFL, const QString& sTx, bool bApn) const;
    /// Writes bytes as they are to a new file that then replaces sFL (never through a link of that
    /// name, never into a folder, a pipe or a device).
    void F_StBytesFL(const QString& sFL, const QByteArray& bytes) const;

    /// Removes every trailing delimiter sW2 from sW1. An empty sW2 becomes ","; with "," the blanks
    /// beside the commas are removed first (", " and " ," become ",").
    static void T_DelRwd(QString& sW1, QString& sW2);
};

} // namespace util
