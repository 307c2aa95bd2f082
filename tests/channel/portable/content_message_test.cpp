#include "channel/portable/content_message.h"

#include <gtest/gtest.h>

#include "itemid/portable/cida_layout.h"
#include "itemid/portable/id_list.h"
#include "list_bytes.h"

namespace vtls::channel {
namespace {

using test::Bytes;
using test::List;

// The request's bytes as every process reads them; parsing them back is the
// fuzzer's and the server tests'.
TEST(ContentMessage, RequestIsTheValueThenTheList) {
    const Bytes parent = List({test::EncodeReal(2, u"host")});
    Bytes request(ContentRequestSize(itemid::ListSize(parent.data())));
    WriteContentRequest(request.data(), 0xA1B2C3D4, parent.data(), itemid::ListSize(parent.data()));
    ASSERT_EQ(request.size(), 4 + parent.size() + 4);  // the value, the list, 4 unused bytes
    EXPECT_EQ(Bytes(request.begin(), request.begin() + 4), (Bytes{0xD4, 0xC3, 0xB2, 0xA1}));
    EXPECT_EQ(Bytes(request.begin() + 4, request.end() - 4), parent);
    Bytes root(ContentRequestSize(0));
    WriteContentRequest(root.data(), 5, nullptr, 0);
    EXPECT_EQ(root, (Bytes{5, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(ContentMessage, PackedSizeFollowsTheLists) {
    const Bytes parent = List({test::EncodeReal(5, u"Template")});
    const Bytes child = List({test::EncodePlaceholder(0, 0)});
    std::vector<const std::uint8_t*> children{child.data(), child.data()};
    Bytes block(164);
    itemid::WriteCida(block.data(), parent.data(), 2, children.data());
    EXPECT_EQ(PackedCidaSize(block.data(), block.size()), std::optional<std::size_t>(164));
    // A block with room to spare: the packed size is the lists', not the block's.
    Bytes roomy = block;
    roomy.resize(400, 0xEE);
    EXPECT_EQ(PackedCidaSize(roomy.data(), roomy.size()), std::optional<std::size_t>(164));
    // Two children naming one list: valid offsets, but the packed size would reach
    // past the block, so the block cannot be sent as it is.
    Bytes shared(8 + 8 + child.size());
    itemid::StoreU32(shared.data(), 2);
    itemid::StoreU32(shared.data() + 8, 16);
    itemid::StoreU32(shared.data() + 12, 16);
    std::copy(child.begin(), child.end(), shared.begin() + 16);
    EXPECT_FALSE(PackedCidaSize(shared.data(), shared.size()));
    EXPECT_EQ(PackedCidaSize(Bytes(8, 0).data(), 8), std::optional<std::size_t>(8));
}

// A reply answers a request only when its parent list is the folder asked for,
// byte for byte; one without a parent answers only the root.
TEST(ContentMessage, ReplyNamesOnlyTheFolderAskedFor) {
    const Bytes host = List({test::EncodeReal(2, u"host")});
    const Bytes other = List({test::EncodeReal(2, u"hosT")});
    const Bytes deeper = List({test::EncodeReal(2, u"host"), test::EncodeReal(3, u"srv")});
    const Bytes child = List({test::EncodePlaceholder(0, 0)});
    const auto reply = [&](const std::uint8_t* parent) {
        const std::uint8_t* children[] = {child.data()};
        const auto size = itemid::CidaSize(parent == nullptr ? std::nullopt
                                                             : std::optional<std::size_t>(itemid::ListSize(parent)),
                                           1, [&](std::uint32_t) { return itemid::ListSize(child.data()); });
        Bytes block(*size);
        itemid::WriteCida(block.data(), parent, 1, children);
        return block;
    };
    const auto names = [](const Bytes& block, const Bytes* folder) {
        return ReplyAnswers(block.data(), block.size(), folder ? folder->data() : nullptr,
                            folder ? itemid::ListSize(folder->data()) : 0);
    };
    const Bytes aboutHost = reply(host.data());
    EXPECT_TRUE(names(aboutHost, &host));
    EXPECT_FALSE(names(aboutHost, &other));   // same length, one byte apart
    EXPECT_FALSE(names(aboutHost, &deeper));  // a prefix of the folder asked for
    EXPECT_FALSE(names(reply(deeper.data()), &host));
    EXPECT_FALSE(names(aboutHost, nullptr));
    const Bytes empty = List({});
    EXPECT_TRUE(names(reply(empty.data()), nullptr));
    EXPECT_TRUE(names(reply(nullptr), nullptr));
    EXPECT_FALSE(names(reply(nullptr), &host));
    // Bytes that are no CIDA name nothing.
    EXPECT_FALSE(ReplyAnswers(aboutHost.data(), 6, host.data(), itemid::ListSize(host.data())));
    // A block whose last child runs past its end is no answer.
    EXPECT_FALSE(ReplyAnswers(aboutHost.data(), aboutHost.size() - 1, host.data(), itemid::ListSize(host.data())));
}

}  // namespace
}  // namespace vtls::channel
