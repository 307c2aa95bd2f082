// A small linguistic order in the manner of the platform's, for checking the
// name fast path natively: primary weights compared over the whole string first
// (case folded, digits after letters, '-' ignored at that level), then the code
// units as the tie-break; a combining diaeresis (U+0308) after 'a' or 'o' makes
// one letter that sorts after 'z'. Optionally "ch" is joined into one letter
// after 'h' (as in Czech), or '.' is ignored at the first level, to show orders
// the fast path must refuse to learn; or a hyphen before a digit turns the
// digit's order round, so that the hyphen may not be passed over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vtls::test {

struct MiniCollation {
    bool joinCh = false;
    bool ignoreDot = false;
    bool hyphenTurnsDigits = false;

    std::vector<std::uint32_t> Primary(const char16_t* s) const {
        std::vector<std::uint32_t> weights;
        for (std::size_t i = 0; s[i] != 0; ++i) {
            const std::uint32_t c = s[i];
            const std::uint32_t lower = (c >= u'A' && c <= u'Z') ? c + 32 : c;
            if (hyphenTurnsDigits && c == u'-' && s[i + 1] >= u'0' && s[i + 1] <= u'9') {
                weights.push_back(4000 - s[++i]);
                continue;
            }
            if (c == u'-' || c == 0x0308 || (ignoreDot && c == u'.')) {
                continue;
            }
            if (joinCh && lower == u'c' && (s[i + 1] == u'h' || s[i + 1] == u'H')) {
                weights.push_back(2000 + u'h' * 2 + 1);  // right after 'h'
                ++i;
                continue;
            }
            if ((lower == u'a' || lower == u'o') && s[i + 1] == 0x0308) {
                weights.push_back(3000 + lower);  // after 'z'
                continue;
            }
            if (lower >= u'a' && lower <= u'z') {
                weights.push_back(2000 + lower * 2);
            } else if (c >= u'0' && c <= u'9') {
                weights.push_back(2500 + c);  // digits after letters
            } else {
                weights.push_back(c);  // marks and everything else first, by code
            }
        }
        return weights;
    }

    int operator()(const char16_t* a, const char16_t* b) const {
        const auto pa = Primary(a);
        const auto pb = Primary(b);
        for (std::size_t i = 0; i < pa.size() || i < pb.size(); ++i) {
            if (i >= pa.size()) return -1;
            if (i >= pb.size()) return 1;
            if (pa[i] != pb[i]) return pa[i] < pb[i] ? -1 : 1;
        }
        // Tie-break: the code units, case folded (so case alone is equal).
        for (std::size_t i = 0;; ++i) {
            const auto fold = [](char16_t c) -> std::uint32_t { return (c >= u'A' && c <= u'Z') ? c + 32 : c; };
            const std::uint32_t x = fold(a[i]);
            const std::uint32_t y = fold(b[i]);
            if (x != y) return x < y ? -1 : 1;
            if (x == 0) return 0;
        }
    }
};

}  // namespace vtls::test
