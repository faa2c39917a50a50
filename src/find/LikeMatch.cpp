// LikeMatch: SQLite's LIKE on texts as the find index keeps them, scanned by their rarest bytes.
#include "find/LikeMatch.h"

#include <QByteArray>

#include <array>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace find {

namespace {

/// One character as SQLite's LIKE steps over it: a lead byte and its continuation bytes.
size_t charLength(std::string_view s, size_t at) {
    size_t n = 1;
    if (static_cast<unsigned char>(s[at]) >= 0xC0)
        while (at + n < s.size() && (static_cast<unsigned char>(s[at + n]) & 0xC0) == 0x80)
            ++n;
    return n;
}

/// Whether n bytes agree; pieces are short, too short for a call to pay.
inline bool sameBytes(const char* a, const char* b, size_t n) {
    if (n > 16)
        return std::memcmp(a, b, n) == 0;
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

/// Whether segment (no "%", maybe "_") matches text at `at`; on success `end` is where it ends.
bool matchAt(std::string_view text, size_t at, std::string_view seg, size_t& end) {
    for (size_t i = 0; i < seg.size();) {
        if (at >= text.size())
            return false;
        if (seg[i] == '_') {
            at += charLength(text, at);
            ++i;
        } else {
            const size_t n = charLength(seg, i);
            if (n > text.size() - at || !sameBytes(text.data() + at, seg.data() + i, n))
                return false;
            at += n;
            i += n;
        }
    }
    end = at;
    return true;
}

/// How often a byte turns up in Japanese and English text, roughly (higher is more often): without
/// the texts' own counts a word's pieces are looked for by their least frequent bytes.
int byteFrequency(unsigned char b) {
    static const std::array<quint8, 256> table = [] {
        std::array<quint8, 256> t{};
        for (int c = 0; c < 256; ++c) {
            if (c == ' ' || c == 0xE3)
                t[c] = 100; // blanks, and the lead byte of kana and common punctuation
            else if (c >= 0xE4 && c <= 0xE9)
                t[c] = 60; // lead bytes of kanji
            else if (c >= 0x80 && c <= 0xBF)
                t[c] = 12; // continuation bytes spread over 64 values
            else if (c && std::strchr("etaoinsrhl", c))
                t[c] = 50;
            else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
                t[c] = 20;
            else
                t[c] = 8;
        }
        return t;
    }();
    return table[b];
}

#if defined(__x86_64__) && defined(__GNUC__)
/// The scan below, thirty-two places at a time, for processors that have AVX2; returns the first
/// place where the piece starts and `accept` agrees, or where the caller goes on looking (fewer
/// than 32 places left).
template <typename Accept>
__attribute__((target("avx2"))) size_t scanWide(const char* base, size_t at, size_t last, const char* needle, size_t n,
                                                size_t k1, size_t k2, const Accept& accept, bool& found) {
    const __m256i c1 = _mm256_set1_epi8(needle[k1]), c2 = _mm256_set1_epi8(needle[k2]);
    for (; at + 32 <= last + 1; at += 32) {
        if ((at & 63) < 32)
            _mm_prefetch(base + at + 1024, _MM_HINT_T0);
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base + at + k1));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base + at + k2));
        auto mask =
            unsigned(_mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(a, c1), _mm256_cmpeq_epi8(b, c2))));
        for (; mask; mask &= mask - 1) {
            const size_t start = at + size_t(__builtin_ctz(mask));
            if (sameBytes(base + start, needle, n) && accept(start)) {
                found = true;
                return start;
            }
        }
    }
    return at;
}

// Asked while static objects are made, perhaps before the compiler's own CPU check has run: run it.
const bool kWide = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
#endif

} // namespace

namespace {

/// Appends a character value in UTF-8. Values past Unicode (which SQLite makes of long runs of
/// continuation bytes) all become one sequence that no typed character can equal.
void appendChar(std::string& out, quint32 v) {
    if (v < 0x80) {
        out += char(v);
    } else if (v < 0x800) {
        out += char(0xC0 | (v >> 6));
        out += char(0x80 | (v & 0x3F));
    } else if (v < 0x10000) {
        out += char(0xE0 | (v >> 12));
        out += char(0x80 | ((v >> 6) & 0x3F));
        out += char(0x80 | (v & 0x3F));
    } else if (v < 0x110000) {
        out += char(0xF0 | (v >> 18));
        out += char(0x80 | ((v >> 12) & 0x3F));
        out += char(0x80 | ((v >> 6) & 0x3F));
        out += char(0x80 | (v & 0x3F));
    } else {
        out += "\xF8\x88\x80\x80\x80";
    }
}

} // namespace

/// Copies SQLite text as LIKE sees it: up to its first NUL, ASCII letters lower-cased, and every
/// character as LIKE reads it. LIKE compares character values, not bytes: a lead byte takes all the
/// continuation bytes after it, a value that is no proper character (a shortened or overlong form,
/// a surrogate, U+FFFE, U+FFFF) reads as U+FFFD, and a stray continuation byte is the character of
/// its own value. Each character is written back in proper UTF-8, so that comparing bytes is
/// comparing characters. Proper UTF-8 comes out as it went in.
void foldInto(std::string& out, const unsigned char* text, int bytes) {
    const auto* end = static_cast<const unsigned char*>(std::memchr(text, 0, size_t(bytes)));
    const size_t n = end ? size_t(end - text) : size_t(bytes);
    out.reserve(out.size() + n);
    for (size_t i = 0; i < n;) {
        const unsigned char c = text[i];
        if (c < 0x80) {
            out += char(c >= 'A' && c <= 'Z' ? c + 32 : c);
            ++i;
            continue;
        }
        if (c < 0xC0) {
            appendChar(out, c); // a stray continuation byte
            ++i;
            continue;
        }
        // The lead byte's own bits: five, four, three, two, one, none (as SQLite's table has them).
        static constexpr quint8 kLeadBits[64] = {
            0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f,
            0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x1b, 0x1c, 0x1d, 0x1e, 0x1f,
            0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f,
            0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x00, 0x01, 0x02, 0x03, 0x00, 0x01, 0x00, 0x00};
        quint32 v = kLeadBits[c - 0xC0];
        size_t j = i + 1;
        for (; j < n && (text[j] & 0xC0) == 0x80; ++j)
            v = (v << 6) + (text[j] & 0x3F);
        if (v < 0x80 || (v & 0xFFFFF800) == 0xD800 || (v & 0xFFFFFFFE) == 0xFFFE)
            v = 0xFFFD;
        appendChar(out, v);
        i = j;
    }
}

std::string fold(const QString& s) {
    const QByteArray u = s.toUtf8();
    std::string out;
    foldInto(out, reinterpret_cast<const unsigned char*>(u.constData()), int(u.size()));
    return out;
}

LikeWord::Literal::Literal(std::string_view piece, const ByteCounts* counts) : text(piece) {
    if (piece.size() < 2)
        return;
    // The byte right after a lead byte varies little (kana are E3 81/82/83 xx): it counts as frequent.
    auto score = [&](size_t i) -> quint64 {
        const auto b = static_cast<unsigned char>(piece[i]);
        if (counts)
            return (*counts)[b];
        const bool second = i > 0 && static_cast<unsigned char>(piece[i - 1]) >= 0xE0 && (b & 0xC0) == 0x80;
        return quint64(byteFrequency(b) + (second ? 40 : 0));
    };
    k1 = 0;
    for (size_t i = 1; i < piece.size(); ++i)
        if (score(i) < score(k1))
            k1 = i;
    k2 = k1 == 0 ? 1 : 0;
    for (size_t i = 0; i < piece.size(); ++i)
        if (i != k1 && score(i) < score(k2))
            k2 = i;
}

size_t LikeWord::Literal::in(std::string_view text, size_t from) const {
    return scan(text, from, [](size_t) { return true; });
}

template <typename Accept>
size_t LikeWord::Literal::scan(std::string_view text, size_t from, const Accept& accept) const {
    const size_t n = this->text.size();
    if (from > text.size() || n > text.size() - from)
        return std::string_view::npos;
    if (n < 2) {
        for (size_t at = text.find(this->text, from); at != std::string_view::npos; at = text.find(this->text, at + 1))
            if (accept(at))
                return at;
        return std::string_view::npos;
    }
    const char* base = text.data();
    const char* needle = this->text.data();
    const size_t last = text.size() - n; // the last place the piece can start
    size_t at = from;
#if defined(__x86_64__) && defined(__GNUC__)
    if (kWide) {
        bool found = false;
        at = scanWide(base, at, last, needle, n, k1, k2, accept, found);
        if (found)
            return at;
    }
#endif
#ifdef __SSE2__
    // Sixteen places at a time: those where both chosen bytes agree go on to a full comparison.
    const __m128i c1 = _mm_set1_epi8(needle[k1]), c2 = _mm_set1_epi8(needle[k2]);
    for (; at + 16 <= last + 1; at += 16) {
        // Texts are read once, straight through: fetch well ahead, past the memory pages the
        // processor would fetch by itself.
        if ((at & 63) < 16)
            _mm_prefetch(base + at + 4096, _MM_HINT_T0);
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + at + k1));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + at + k2));
        auto mask = unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, c1), _mm_cmpeq_epi8(b, c2))));
        for (; mask; mask &= mask - 1) {
            const size_t start = at + size_t(__builtin_ctz(mask));
            if (sameBytes(base + start, needle, n) && accept(start))
                return start;
        }
    }
#endif
    for (; at <= last; ++at)
        if (base[at + k1] == needle[k1] && base[at + k2] == needle[k2] && sameBytes(base + at, needle, n) && accept(at))
            return at;
    return std::string_view::npos;
}

LikeWord::LikeWord(std::string_view word, const ByteCounts* counts) {
    size_t start = 0;
    while (start <= word.size()) {
        const size_t pct = word.find('%', start);
        const std::string_view seg = word.substr(start, pct == std::string_view::npos ? word.npos : pct - start);
        if (!seg.empty()) {
            const size_t wild = seg.find('_');
            m_segments.push_back({seg, wild, Literal(seg.substr(0, wild), counts)});
        }
        if (pct == std::string_view::npos)
            break;
        start = pct + 1;
    }
}

bool LikeWord::in(std::string_view text) const {
    size_t at = 0;
    for (const Segment& s : m_segments) {
        at = s.find(text, at);
        if (at == std::string_view::npos)
            return false;
    }
    return true;
}

size_t LikeWord::Segment::find(std::string_view in, size_t from) const {
    if (wild == std::string_view::npos) {
        const size_t hit = head.in(in, from);
        return hit == std::string_view::npos ? hit : hit + text.size();
    }
    // With "_": the places where the literal run before it occurs, each tried as the scan finds it;
    // without such a run, every character.
    size_t end = 0;
    if (wild > 0) {
        const size_t at = head.scan(in, from, [&](size_t start) { return matchAt(in, start, text, end); });
        return at == std::string_view::npos ? at : end;
    }
    for (size_t at = from; at < in.size(); at += charLength(in, at))
        if (matchAt(in, at, text, end))
            return end;
    return std::string_view::npos;
}

bool likeContains(std::string_view text, std::string_view word, const ByteCounts* counts) {
    return LikeWord(word, counts).in(text);
}

} // namespace find
