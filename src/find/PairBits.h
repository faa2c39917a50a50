// PairBits: which pairs of ASCII letters and digits a text holds, side by side and with one
// character between them. The find index keeps them for every page: they rule out pages for the
// pieces of a word too short for trigrams, and across its "_".
#pragma once

#include <QtGlobal>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace find::pairbits {

// Letters and digits: 36 characters, so 36 x 36 pairs, a bit each; a page has two such sets, of
// the pairs side by side and of the pairs with one character (any) between them.
constexpr int kPairChars = 36, kPairSet = kPairChars * kPairChars / 8, kPairBytes = 2 * kPairSet;

/// Sets the bits of the pairs in a run of folded characters (UTF-8, every "_" one character of
/// any kind) in bits (kPairBytes).
void addPairs(std::string_view text, uchar* bits);
/// The pair bits a page must have for the (folded) words, as the bytes that have bits, each with
/// its bits.
std::vector<std::pair<int, uchar>> pairsNeeded(const std::vector<std::string>& words);

} // namespace find::pairbits
