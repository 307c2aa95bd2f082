// The content request and its reply as they cross processes in WM_COPYDATA.
//
// Request (little-endian):
//   0        u32  the requester's value, passed to the content callback
//   4        the parent's item identifier list with its terminator (the root
//            is the empty list)
//   len + 6  4 bytes, unused
//
// Reply: a packed CIDA, its lists following the offset table without gaps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vtls::channel {

inline constexpr std::size_t kRequestValueOffset = 0;
inline constexpr std::size_t kRequestListOffset = 4;
inline constexpr std::size_t kRequestTrailerSize = 4;

struct ContentRequestView {
    std::uint32_t value;
    const std::uint8_t* parent;  // null for the root (an empty list)
};

// Checks a request received from another process: the value and a terminated
// list must lie inside the bytes received; the unused trailer may be missing.
[[nodiscard]] std::optional<ContentRequestView> ParseContentRequest(const std::uint8_t* data,
                                                                    std::size_t size) noexcept;

// Bytes of a request for a parent list of listSize bytes (without terminator).
[[nodiscard]] constexpr std::size_t ContentRequestSize(std::size_t listSize) noexcept {
    return kRequestListOffset + listSize + 2 + kRequestTrailerSize;
}

// Writes a request into out (ContentRequestSize bytes); list may be null.
void WriteContentRequest(std::uint8_t* out, std::uint32_t value, const std::uint8_t* list,
                         std::size_t listSize) noexcept;

// The size of a reply built from a CIDA of `available` bytes: the offset table,
// then each list with its terminator, as if packed. Nothing when the CIDA does not
// hold together inside the bytes or its lists would not fit the packed size.
[[nodiscard]] std::optional<std::size_t> PackedCidaSize(const std::uint8_t* block,
                                                        std::size_t available) noexcept;

// Whether a reply answers the request for `folder` (folderSize bytes, without
// terminator; 0 for the root), in one walk: PackedCidaSize holds, and its
// parent list is that folder, byte for byte. A reply that names no parent
// answers only a request for the root.
[[nodiscard]] bool ReplyAnswers(const std::uint8_t* reply, std::size_t size, const std::uint8_t* folder,
                                std::size_t folderSize) noexcept;

}  // namespace vtls::channel
