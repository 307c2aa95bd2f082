// Turns the bytes of an item identifier list into a readable account of its items.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vtls::tool {

struct DecodeResult {
    bool ok;
    std::string text;   // the dump, or the reason the bytes are not a list
};

// A list: items led by their 16-bit sizes, ended by a 16-bit zero.
[[nodiscard]] DecodeResult DecodeList(const std::vector<std::uint8_t>& bytes);

// A stream record: the marker "v8GE", then items up to the end, no terminator.
[[nodiscard]] DecodeResult DecodeRecord(const std::vector<std::uint8_t>& bytes);

// Hex digits, optionally separated by spaces, colons or dashes.
[[nodiscard]] bool ParseHex(const std::string& text, std::vector<std::uint8_t>& bytes, std::string& error);

}  // namespace vtls::tool
