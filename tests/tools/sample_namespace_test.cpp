// The sample namespace of `vtls serve`: its answers are CIDAs a client can read,
// and its lookup follows only the paths it holds.
#include "sample_namespace.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/unique_resource.h"
#include "base/portable/byte_order.h"
#include "itemid/portable/cida_layout.h"
#include "itemid/portable/item_layout.h"
#include "list_bytes.h"

namespace vtls::tool {
namespace {

using test::Bytes;
using test::ListBytes;

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

// The answer read as a CIDA received from elsewhere, inside its global size:
// the parent's bytes (empty for none), then each child's.
std::vector<Bytes> ReadCida(const ContentAnswer& answer) {
    EXPECT_EQ(answer.result, S_OK);
    if (answer.result != S_OK || !answer.block) return {};
    const GlobalLockScope lock(answer.block.get());
    const auto view = itemid::CidaView::Parse(static_cast<const std::uint8_t*>(lock.address()),
                                              GlobalSize(answer.block.get()));
    EXPECT_TRUE(view.has_value());
    if (!view) return {};
    EXPECT_EQ(view->Count(), answer.children);
    std::vector<Bytes> lists{view->Parent() != nullptr ? ListBytes(view->Parent()) : Bytes{}};
    for (std::uint32_t i = 0; i < view->Count(); ++i) lists.push_back(ListBytes(view->Child(i)));
    return lists;
}

class SampleNamespaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        sample_ = SampleNamespace::Create();
        ASSERT_NE(sample_, nullptr);
    }
    const SampleNode& Network() const { return sample_->Network(); }
    static const SampleNode* FirstOfType(const SampleNode& node, INT type) {
        for (const SampleNode& child : node.children) {
            if (child.type == type) return &child;
        }
        return nullptr;
    }
    // The parent's bytes, then each child's one-item list, of the nodes that pass.
    static std::vector<Bytes> Expected(const Bytes& parent, const SampleNode& node, bool foldersOnly = false) {
        std::vector<Bytes> lists{parent};
        for (const SampleNode& child : node.children) {
            if (!foldersOnly || child.type != kSampleItem) lists.push_back(PathOf({&child}));
        }
        return lists;
    }

    std::unique_ptr<SampleNamespace> sample_;
};

TEST_F(SampleNamespaceTest, ServersAreRealItemsWithAClassIdPerProgId) {
    const SampleCounts& counts = sample_->Counts();
    EXPECT_EQ(counts.hosts, Network().children.size());
    EXPECT_GT(counts.items, counts.servers);
    const SampleNode& server = Network().children.front().children.front();
    const std::uint8_t* item = server.ItemBytes();
    EXPECT_EQ(itemid::LoadU32(item + itemid::kSignatureOffset), itemid::kSignature);
    EXPECT_EQ(itemid::LoadI32(item + itemid::kTypeOffset), kSampleServer);
    EXPECT_EQ(itemid::LoadU16(item + server.ItemSize()), 0) << "one-item list";
    const auto guid = [](const SampleNode& node) {
        return Bytes(node.ItemBytes() + itemid::kGuidOffset, node.ItemBytes() + itemid::kGuidOffset + itemid::kGuidSize);
    };
    EXPECT_NE(guid(server), Bytes(itemid::kGuidSize, 0));
    int sameProgId = 0;
    for (const SampleNode& host : Network().children) {
        for (const SampleNode& other : host.children) {
            EXPECT_EQ(other.name == server.name, guid(other) == guid(server)) << other.name;
            sameProgId += other.name == server.name ? 1 : 0;
        }
    }
    EXPECT_GE(sameProgId, 2) << "the sample repeats a ProgID on another host";
}

TEST_F(SampleNamespaceTest, EachLevelAnswersWithTheWholePathAsParent) {
    const Bytes empty{0, 0};
    EXPECT_EQ(ReadCida(sample_->Content(nullptr, kAllChildren)), Expected(empty, Network()));
    EXPECT_EQ(ReadCida(sample_->Content(AsList(empty), kAllChildren)), Expected(empty, Network()));
    for (const SampleNode& host : Network().children) {
        const Bytes path = PathOf({&host});
        EXPECT_EQ(ReadCida(sample_->Content(AsList(path), kAllChildren)), Expected(path, host));
    }
    const SampleNode& host = Network().children.front();
    const SampleNode& server = host.children.front();
    const SampleNode* branch = FirstOfType(server, kSampleBranch);
    ASSERT_NE(branch, nullptr);
    const SampleNode* leaf = FirstOfType(*branch, kSampleItem);
    ASSERT_NE(leaf, nullptr);
    const Bytes deep = PathOf({&host, &server, branch});
    EXPECT_EQ(ReadCida(sample_->Content(AsList(deep), kAllChildren)), Expected(deep, *branch));
    EXPECT_EQ(PathNames(AsList(deep)), host.name + L"\\" + server.name + L"\\" + branch->name);
    // Folders only leaves out the items: a branch of items only has no folders
    // to offer; an item has no children.
    EXPECT_EQ(ReadCida(sample_->Content(AsList(deep), kFoldersOnly)), Expected(deep, *branch, true));
    const Bytes leafPath = PathOf({&host, &server, branch, leaf});
    EXPECT_EQ(ReadCida(sample_->Content(AsList(leafPath), kAllChildren)), std::vector<Bytes>{leafPath});
    for (const SampleNode& someHost : Network().children) {
        for (const SampleNode& someServer : someHost.children) {
            const Bytes path = PathOf({&someHost, &someServer});
            EXPECT_EQ(ReadCida(sample_->Content(AsList(path), kFoldersOnly)), Expected(path, someServer, true));
        }
    }
}

TEST_F(SampleNamespaceTest, PathsThroughUnknownItemsAreRefused) {
    const HRESULT notFound = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    const SampleNode& host = Network().children.front();
    const SampleNode& server = host.children.front();
    const SampleNode& otherHost = Network().children.back();
    const Bytes unknownHost = test::EncodeReal(kSampleHost, u"NO-SUCH-HOST");
    // The right name with another type is another item.
    const Bytes hostAsBranch = test::EncodeReal(kSampleBranch, u"PLANT-SCADA01");
    const Bytes hostBytes(host.ItemBytes(), host.ItemBytes() + host.ItemSize());
    const Bytes serverBytes(server.ItemBytes(), server.ItemBytes() + server.ItemSize());
    const Bytes otherHostBytes(otherHost.ItemBytes(), otherHost.ItemBytes() + otherHost.ItemSize());
    Bytes truncatedHost = hostBytes;  // one byte short, its size field says so
    truncatedHost.pop_back();
    itemid::StoreU16(truncatedHost.data(), static_cast<std::uint16_t>(truncatedHost.size()));

    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"unknown host", test::List({unknownHost})},
        {"unknown item below a host", test::List({hostBytes, unknownHost})},
        {"known item at the wrong level", test::List({serverBytes})},
        {"host below a host", test::List({hostBytes, otherHostBytes})},
        {"same name, other type", test::List({hostAsBranch})},
        {"wait placeholder", test::List({test::EncodePlaceholder(0, 0)})},
        {"foreign item", test::List({Bytes{6, 0, 1, 2, 3, 4}})},
        {"item of size 1", Bytes{1, 0, 0, 0}},
        {"damaged item", test::List({truncatedHost})},
    };
    // Items are matched by their bytes, so a client's own copy of a host item is that host.
    ASSERT_EQ(test::EncodeReal(kSampleHost, u"PLANT-SCADA01"), hostBytes);
    EXPECT_EQ(sample_->Content(AsList(test::List({test::EncodeReal(kSampleHost, u"PLANT-SCADA01")})), kAllChildren)
                  .result,
              S_OK);
    for (const auto& [what, list] : cases) {
        const ContentAnswer answer = sample_->Content(AsList(list), kAllChildren);
        EXPECT_EQ(answer.result, notFound) << what;
        EXPECT_FALSE(answer.block) << what;
    }

    // Below a leaf there is nothing.
    const SampleNode* branch = FirstOfType(server, kSampleBranch);
    ASSERT_NE(branch, nullptr);
    const SampleNode* leaf = FirstOfType(*branch, kSampleItem);
    ASSERT_NE(leaf, nullptr);
    const Bytes belowLeaf = PathOf({&host, &server, branch, leaf, leaf});
    EXPECT_EQ(sample_->Content(AsList(belowLeaf), kAllChildren).result, notFound);
}

TEST_F(SampleNamespaceTest, UnknownRequestValuesAreRefused) {
    for (const DWORD value : {2ul, 7ul, 0xFFFFFFFFul}) {
        const ContentAnswer answer = sample_->Content(nullptr, value);
        EXPECT_EQ(answer.result, E_INVALIDARG) << value;
        EXPECT_FALSE(answer.block);
    }
}

TEST(PathNames, DescribesWhatItCannotName) {
    const Bytes list = test::List({test::EncodeReal(kSampleHost, u"HOST"), test::EncodePlaceholder(1, 5),
                                   Bytes{4, 0, 9, 9}, test::EncodeReal(kSampleItem, u"")});
    EXPECT_EQ(PathNames(AsList(list)), L"HOST\\<error placeholder 5>\\<foreign item, 4 bytes>\\<unnamed>");
    EXPECT_EQ(PathNames(nullptr), L"");
    const Bytes empty{0, 0};
    EXPECT_EQ(PathNames(AsList(empty)), L"");
    const Bytes badSize{1, 0, 0, 0};
    EXPECT_EQ(PathNames(AsList(badSize)), L"<item size 1>");
    // A name whose zero would lie past the item's end is not read beyond it.
    Bytes unterminated = test::EncodeReal(kSampleHost, u"AB");
    unterminated.resize(itemid::kNameOffset + 4);
    itemid::StoreU16(unterminated.data(), static_cast<std::uint16_t>(unterminated.size()));
    EXPECT_EQ(PathNames(AsList(test::List({unterminated}))), L"<name not terminated inside its item>");
}

TEST(PathNames, StopsAfterTheLimit) {
    const Bytes item = test::EncodeReal(kSampleBranch, u"B");
    const Bytes list = test::List({item, item, item, item});
    EXPECT_EQ(PathNames(AsList(list), 2), L"B\\B\\...");
}

}  // namespace
}  // namespace vtls::tool
