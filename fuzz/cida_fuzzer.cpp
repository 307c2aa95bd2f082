// A CIDA received from another process: the checks must keep every later read
// inside the block, and what passes must pack again into an equal block. The
// one-walk checks must answer as the checks made of a parsed view do.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "channel/portable/content_message.h"
#include "itemid/portable/cida_layout.h"
#include "itemid/portable/id_list.h"

using vtls::itemid::CidaView;

namespace {

// The packed size as a parsed view gives it: the reference for the one walk.
std::optional<std::size_t> PackedByView(const std::uint8_t* block, std::size_t available) {
    const auto view = CidaView::Parse(block, available);
    if (!view) return std::nullopt;
    std::size_t size = vtls::itemid::kCidaChildOffsets + 4 * static_cast<std::size_t>(view->Count());
    const auto fits = [&](const std::uint8_t* list) {
        const std::size_t bytes = vtls::itemid::ListSize(list) + 2;
        if (bytes > available - size) return false;
        size += bytes;
        return true;
    };
    if (const std::uint8_t* parent = view->Parent(); parent != nullptr && !fits(parent)) return std::nullopt;
    for (std::uint32_t i = 0; i < view->Count(); ++i) {
        if (!fits(view->Child(i))) return std::nullopt;
    }
    return size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> block(data, data + size);  // exact size: reads beyond trip ASan
    const auto view = CidaView::Parse(block.data(), block.size());
    const auto packed = vtls::channel::PackedCidaSize(block.data(), block.size());
    if (packed.has_value() && (!view || *packed > block.size())) std::abort();
    if (packed != PackedByView(block.data(), block.size())) std::abort();
    // The reply check against a parsed view: about the root, or about a folder
    // taken from the block's first bytes, or about the block's own parent.
    const std::uint8_t* own = view ? view->Parent() : nullptr;
    const std::size_t ownSize = own != nullptr ? vtls::itemid::ListSize(own) : 0;
    const auto namedByView = [&](const std::uint8_t* folder, std::size_t folderSize) {
        return packed && view && ownSize == folderSize && (folderSize == 0 || std::memcmp(own, folder, folderSize) == 0);
    };
    const std::size_t folderSize = size > 2 ? (data[0] % 8) * 2 : 0;
    const std::uint8_t* folder = folderSize != 0 && folderSize <= size ? data : nullptr;
    const std::size_t askedSize = folder != nullptr ? folderSize : 0;
    for (const auto& [asked, askedBytes] : {std::pair{folder, askedSize}, std::pair{own, ownSize},
                                            std::pair{static_cast<const std::uint8_t*>(nullptr), std::size_t{0}}}) {
        if (vtls::channel::ReplyAnswers(block.data(), block.size(), asked, askedBytes) != namedByView(asked, askedBytes)) {
            std::abort();
        }
    }
    if (!view) return 0;

    std::vector<const std::uint8_t*> children;
    for (std::uint32_t i = 0; i < view->Count(); ++i) {
        children.push_back(view->Child(i));
    }
    const std::uint8_t* parent = view->Parent();
    const auto measure = [](const std::uint8_t* list) { return vtls::itemid::ListSize(list); };
    const auto repackedSize = vtls::itemid::CidaSize(
        parent ? std::optional<std::size_t>(measure(parent)) : std::nullopt, view->Count(),
        [&](std::uint32_t i) { return measure(children[i]); });
    if (!repackedSize) std::abort();
    std::vector<std::uint8_t> repacked(*repackedSize);
    vtls::itemid::WriteCida(repacked.data(), parent, view->Count(), children.data());
    const auto again = CidaView::Parse(repacked.data(), repacked.size());
    if (!again || again->Count() != view->Count()) std::abort();
    for (std::uint32_t i = 0; i < view->Count(); ++i) {
        const std::size_t bytes = measure(children[i]) + 2;
        if (std::memcmp(again->Child(i), children[i], bytes) != 0) std::abort();
    }
    return 0;
}
