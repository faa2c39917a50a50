// PairBits: the pairs of letters and digits of a text, as LIKE steps over its characters.
#include "find/PairBits.h"

#include <array>

namespace find::pairbits {

namespace {

/// A folded byte's place among the letters and digits, or -1 (anything else, "_" included).
int pairClass(unsigned char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return 10 + (c - 'a');
    return -1;
}

} // namespace

/// Sets the bits of the pairs in a run of characters (UTF-8, every "_" one character of any
/// kind): letters and digits side by side, and two of them with one character between.
void addPairs(std::string_view text, uchar* bits) {
    auto set = [bits](int set, int a, int b) {
        const int bit = a * kPairChars + b;
        bits[set * kPairSet + (bit >> 3)] |= uchar(1u << (bit & 7));
    };
    int before = -1, twoBefore = -1;
    bool inChar = false;
    for (const char c : text) {
        // Characters as LIKE steps over them: a lead byte takes the continuation bytes after it;
        // any other byte, a stray continuation byte too, is a character of its own.
        const auto u = static_cast<unsigned char>(c);
        if (inChar && (u & 0xC0) == 0x80)
            continue;
        inChar = u >= 0xC0;
        const int now = pairClass(u);
        if (now >= 0) {
            if (before >= 0)
                set(0, before, now);
            if (twoBefore >= 0)
                set(1, twoBefore, now);
        }
        twoBefore = before;
        before = now;
    }
}

/// The pair bits a page must have for the words: those of each "%"-separated segment, in which
/// every other character stands for itself and "_" for one character of any kind. Kept as the
/// bytes that have bits, each with its bits.
std::vector<std::pair<int, uchar>> pairsNeeded(const std::vector<std::string>& words) {
    std::array<uchar, kPairBytes> need{};
    for (const std::string& w : words) {
        size_t start = 0;
        while (start < w.size()) {
            const size_t stop = std::min(w.find('%', start), w.size());
            addPairs(std::string_view(w).substr(start, stop - start), need.data());
            start = stop + 1;
        }
    }
    std::vector<std::pair<int, uchar>> out;
    for (int i = 0; i < kPairBytes; ++i)
        if (need[size_t(i)])
            out.emplace_back(i, need[size_t(i)]);
    return out;
}

} // namespace find::pairbits
