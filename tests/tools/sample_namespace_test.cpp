// The sample namespace of `vtls serve`: its lookup follows only the paths it
// holds, and it names what it cannot name.
#include "sample_namespace.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/portable/byte_order.h"
#include "itemid/portable/item_layout.h"
#include "list_bytes.h"

namespace vtls::tool {
namespace {

using test::Bytes;

// Bytes of a path built from the nodes' own items.
Bytes PathOf(std::initializer_list<const SampleNode*> nodes) {
    Bytes list;
    for (const SampleNode* node : nodes) {
        list.insert(list.end(), node->ItemBytes(), node->ItemBytes() + node->ItemSize());
    }
    list.push_back(0);
    list.push_back(0);
    return list;
}

LPCITEMIDLIST AsList(const Bytes& bytes) { return reinterpret_cast<LPCITEMIDLIST>(bytes.data()); }

class SampleNamespaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        sample_ = SampleNamespace::Create();
        ASSERT_NE(sample_, nullptr);
        host_ = &Network().children.front();
        server_ = &host_->children.front();
        for (const SampleNode& child : server_->children) {
            if (branch_ == nullptr && child.type == kSampleBranch) branch_ = &child;
        }
        ASSERT_NE(branch_, nullptr);
        leaf_ = &branch_->children.front();
        ASSERT_EQ(leaf_->type, kSampleItem);
    }
    const SampleNode& Network() const { return sample_->Network(); }

    std::unique_ptr<SampleNamespace> sample_;
    const SampleNode *host_ = nullptr, *server_ = nullptr, *branch_ = nullptr, *leaf_ = nullptr;
};

// Folders only leaves out the items; an item has no children. (What the answers
// hold, level by level, vtls_client_commands reads through the library.)
TEST_F(SampleNamespaceTest, FoldersOnlyLeavesOutTheItems) {
    UINT folders = 0;
    for (const SampleNode& child : branch_->children) folders += child.type != kSampleItem ? 1 : 0;
    ASSERT_LT(folders, branch_->children.size()) << "the branch holds items";
    const Bytes branch = PathOf({host_, server_, branch_});
    for (const DWORD value : {kAllChildren, kFoldersOnly}) {
        const ContentAnswer answer = sample_->Content(AsList(branch), value);
        EXPECT_TRUE(answer.result == S_OK && answer.block);
        EXPECT_EQ(answer.children, value == kFoldersOnly ? folders : branch_->children.size());
    }
    EXPECT_EQ(sample_->Content(AsList(PathOf({host_, server_, branch_, leaf_})), kAllChildren).children, 0u);
}

// Items are matched by their bytes, so a client's own copy of a host item is
// that host; anything else on the way is refused, also requests of other values.
TEST_F(SampleNamespaceTest, PathsThroughUnknownItemsAndUnknownRequestsAreRefused) {
    const Bytes hostBytes(host_->ItemBytes(), host_->ItemBytes() + host_->ItemSize());
    ASSERT_EQ(test::EncodeReal(kSampleHost, u"PLANT-SCADA01"), hostBytes);
    EXPECT_EQ(sample_->Content(AsList(test::List({hostBytes})), kAllChildren).result, S_OK);
    Bytes truncatedHost = hostBytes;  // one byte short, its size field says so
    truncatedHost.pop_back();
    itemid::StoreU16(truncatedHost.data(), static_cast<std::uint16_t>(truncatedHost.size()));
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"unknown item below a host", test::List({hostBytes, test::EncodeReal(kSampleHost, u"NO-SUCH-HOST")})},
        {"known item at the wrong level", PathOf({server_})},
        {"same name, other type", test::List({test::EncodeReal(kSampleBranch, u"PLANT-SCADA01")})},
        {"foreign item", test::List({Bytes{6, 0, 1, 2, 3, 4}})},
        {"item of size 1", Bytes{1, 0, 0, 0}},
        {"damaged item", test::List({truncatedHost})},
        {"below a leaf", PathOf({host_, server_, branch_, leaf_, leaf_})},
    };
    for (const auto& [what, list] : cases) {
        const ContentAnswer answer = sample_->Content(AsList(list), kAllChildren);
        EXPECT_EQ(answer.result, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) << what;
        EXPECT_FALSE(answer.block) << what;
    }
    for (const DWORD value : {2ul, 0xFFFFFFFFul}) {
        const ContentAnswer answer = sample_->Content(nullptr, value);
        EXPECT_EQ(answer.result, E_INVALIDARG) << value;
        EXPECT_FALSE(answer.block);
    }
}

// Reads no item beyond its own size, and stops after the limit.
TEST(PathNames, DescribesWhatItCannotName) {
    const Bytes list = test::List({test::EncodeReal(kSampleHost, u"HOST"), test::EncodePlaceholder(1, 5),
                                   Bytes{4, 0, 9, 9}, test::EncodeReal(kSampleItem, u"")});
    EXPECT_EQ(PathNames(AsList(list)), L"HOST\\<error placeholder 5>\\<foreign item, 4 bytes>\\<unnamed>");
    EXPECT_EQ(PathNames(nullptr), L"");
    const Bytes badSize{1, 0, 0, 0};
    EXPECT_EQ(PathNames(AsList(badSize)), L"<item size 1>");
    Bytes unterminated = test::EncodeReal(kSampleHost, u"AB");
    unterminated.resize(itemid::kNameOffset + 4);
    itemid::StoreU16(unterminated.data(), static_cast<std::uint16_t>(unterminated.size()));
    EXPECT_EQ(PathNames(AsList(test::List({unterminated}))), L"<name not terminated inside its item>");
    const Bytes item = test::EncodeReal(kSampleBranch, u"B");
    EXPECT_EQ(PathNames(AsList(test::List({item, item, item, item})), 2), L"B\\B\\...");
}

}  // namespace
}  // namespace vtls::tool
