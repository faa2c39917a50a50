// TextCodec: the system's ANSI code page for every text file the program reads or writes.
#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

/// Converts between text and the bytes of the system's ANSI code page (CP932 by default).
/// CP932 rather than "Shift_JIS": the latter cannot encode ～, －, ① or 髙.
class TextCodec {
public:
    /// The code page name in use ("CP932" unless changed).
    static QString ansiName();
    /// Changes the code page (used where the platform reports another ANSI code page).
    static void setAnsiName(const QString& name);

    /// Text to ANSI bytes. Characters that Windows writes in their code page's form are written so
    /// (the JIS forms 〜 − ‖ — ¢ £ ¬ ¦ become the bytes of ～ － ∥ ― ￠ ￡ ￢ ￤; ¥ and ‾ become \ and ~).
    /// What the code page still cannot hold becomes "?"; *lossy tells whether that happened and
    /// *unmappable (when given) how many characters it was.
    static QByteArray toAnsi(const QString& text, bool* lossy = nullptr, qsizetype* unmappable = nullptr);
    /// ANSI bytes to text; *invalid (when given) tells whether some bytes were not valid in the code page.
    static QString fromAnsi(const QByteArray& bytes, bool* invalid = nullptr);
    /// Whether the bytes are valid UTF-8 (used to tell stored plain text apart).
    static bool isValidUtf8(const QByteArray& bytes);
};

} // namespace platform
