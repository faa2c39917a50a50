// LikeMatch: SQLite's LIKE '%word%' on texts as the find index keeps them (UTF-8, ASCII letters
// lower-cased, cut at the first NUL), with each word taken apart once and scanned by its rarest bytes.
#pragma once

#include <QString>
#include <QtGlobal>

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace find {

/// How often each byte value occurs in a body of text.
using ByteCounts = std::array<quint64, 256>;

/// Appends SQLite text as LIKE sees it: up to its first NUL, ASCII letters lower-cased, each
/// character as LIKE reads it written back in proper UTF-8 (so that bytes compare as LIKE compares).
void foldInto(std::string& out, const unsigned char* text, int bytes);
/// A find word as LIKE compares it.
std::string fold(const QString& s);

/// A word as LIKE '%word%' reads it, taken apart once: its "%"-separated segments, each with the
/// literal run before its first "_" (where a scan starts looking). The word's bytes must outlive it.
class LikeWord {
public:
    /// With the texts' byte counts given, pieces are looked for by their rarest bytes.
    LikeWord(std::string_view word, const ByteCounts* counts);
    /// Whether text (folded) matches: "%" any run of characters, "_" one character, everything
    /// else itself.
    bool in(std::string_view text) const;

private:
    /// A literal piece and the two places in it whose bytes a scan compares first: its two rarest
    /// bytes, so that few places pass on to a full comparison.
    struct Literal {
        std::string_view text;
        size_t k1 = 0, k2 = 0;
        Literal() = default;
        Literal(std::string_view piece, const ByteCounts* counts);
        /// The leftmost place of the piece in text from `from`, or npos.
        size_t in(std::string_view text, size_t from) const;
        /// The leftmost place of the piece from `from` that accept(place) also takes, or npos.
        template <typename Accept> size_t scan(std::string_view text, size_t from, const Accept& accept) const;
    };
    struct Segment {
        std::string_view text;
        size_t wild; // the first "_", or npos
        Literal head;
        /// Leftmost match of the segment in text from `from`; its end, or npos.
        size_t find(std::string_view in, size_t from) const;
    };
    std::vector<Segment> m_segments;
};

/// Whether `text` matches LIKE '%word%' the way SQLite compares (both already folded).
bool likeContains(std::string_view text, std::string_view word, const ByteCounts* counts = nullptr);

} // namespace find
