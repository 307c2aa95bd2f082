// A content request as another process sends it: whatever is accepted must be a
// terminated list inside the bytes received, and writing it again gives the same
// request.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "channel/portable/content_message.h"
#include "itemid/portable/id_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);  // exact size: reads beyond trip ASan
    const auto request = vtls::channel::ParseContentRequest(bytes.data(), bytes.size());
    if (!request) return 0;
    const std::uint8_t* list = bytes.data() + vtls::channel::kRequestListOffset;
    const auto listSize = vtls::itemid::BoundedListSize(list, bytes.size() - vtls::channel::kRequestListOffset);
    if (!listSize) std::abort();
    if ((request->parent == nullptr) != (*listSize == 0)) std::abort();
    std::vector<std::uint8_t> again(vtls::channel::ContentRequestSize(*listSize));
    vtls::channel::WriteContentRequest(again.data(), request->value, request->parent, *listSize);
    if (std::memcmp(again.data(), bytes.data(), vtls::channel::kRequestListOffset + *listSize + 2) != 0) std::abort();
    return 0;
}
