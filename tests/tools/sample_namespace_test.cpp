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

// A list's bytes with its terminator; reads only inside each item's size.
Bytes ListBytes(const std::uint8_t* list) {
    std::size_t size = 0;
    while (itemid::LoadU16(list + size) != 0) {
        size += itemid::LoadU16(list + size);
    }
    return Bytes(list, list + size + itemid::kTerminatorSize);
}

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

struct ReadAnswer {
    Bytes parent;                 // empty when the block names no parent
    std::vector<Bytes> children;  // each with its terminator
};

// Checks the block as a CIDA received from elsewhere, inside its global size.
::testing::AssertionResult ReadCida(const ContentAnswer& answer, ReadAnswer& read) {
    if (answer.result != S_OK || !answer.block) {
        return ::testing::AssertionFailure() << "no answer: 0x" << std::hex << answer.result;
    }
    const SIZE_T size = GlobalSize(answer.block.get());
    const GlobalLockScope lock(answer.block.get());
    if (lock.address() == nullptr) {
        return ::testing::AssertionFailure() << "the block cannot be locked";
    }
    const auto view = itemid::CidaView::Parse(static_cast<const std::uint8_t*>(lock.address()), size);
    if (!view) {
        return ::testing::AssertionFailure() << "not a valid CIDA within " << size << " bytes";
    }
    if (view->Count() != answer.children) {
        return ::testing::AssertionFailure() << "count " << view->Count() << ", answer says " << answer.children;
    }
    read.parent = view->Parent() != nullptr ? ListBytes(view->Parent()) : Bytes{};
    read.children.clear();
    for (std::uint32_t i = 0; i < view->Count(); ++i) {
        read.children.push_back(ListBytes(view->Child(i)));
    }
    return ::testing::AssertionSuccess();
}

// The children must be exactly the given nodes' one-item lists, in order.
void ExpectChildren(const ReadAnswer& read, const std::vector<const SampleNode*>& expected) {
    ASSERT_EQ(read.children.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(read.children[i], PathOf({expected[i]})) << "child " << i << ": " << expected[i]->name;
    }
}

std::vector<const SampleNode*> All(const SampleNode& node) {
    std::vector<const SampleNode*> nodes;
    for (const SampleNode& child : node.children) nodes.push_back(&child);
    return nodes;
}

class SampleNamespaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        sample_ = SampleNamespace::Create();
        ASSERT_NE(sample_, nullptr);
    }
    const SampleNode& Network() const { return sample_->Network(); }
    // The first child of `node` of the given type.
    static const SampleNode* FirstOfType(const SampleNode& node, INT type) {
        for (const SampleNode& child : node.children) {
            if (child.type == type) return &child;
        }
        return nullptr;
    }

    std::unique_ptr<SampleNamespace> sample_;
};

TEST_F(SampleNamespaceTest, ShapeIsThatOfAnOpcNetwork) {
    EXPECT_EQ(Network().type, kSampleNetwork);
    ASSERT_GE(Network().children.size(), 2u);
    for (const SampleNode& host : Network().children) {
        EXPECT_EQ(host.type, kSampleHost);
        EXPECT_GE(host.children.size(), 2u);
        EXPECT_LE(host.children.size(), 4u);
        for (const SampleNode& server : host.children) {
            EXPECT_EQ(server.type, kSampleServer);
            EXPECT_FALSE(server.children.empty());
        }
    }
    const SampleCounts& counts = sample_->Counts();
    EXPECT_EQ(counts.hosts, Network().children.size());
    EXPECT_GT(counts.items, counts.servers);
    EXPECT_GT(counts.branches, 0u);
}

TEST_F(SampleNamespaceTest, ItemsAreTheLibrarysRealItems) {
    const SampleNode& host = Network().children.front();
    const SampleNode& server = host.children.front();
    for (const SampleNode* node : {&Network(), &host, &server}) {
        const std::uint8_t* item = node->ItemBytes();
        ASSERT_GE(node->ItemSize(), itemid::kFixedSize);
        EXPECT_EQ(itemid::LoadU32(item + itemid::kSignatureOffset), itemid::kSignature);
        EXPECT_EQ(itemid::LoadI32(item + itemid::kKindOffset), static_cast<std::int32_t>(itemid::Kind::kReal));
        EXPECT_EQ(itemid::LoadI32(item + itemid::kTypeOffset), node->type);
        EXPECT_EQ(itemid::LoadU16(item + node->ItemSize()), 0) << "one-item list";
    }
    // A server's GUID is its class id stand-in: set, and the same for one ProgID.
    const Bytes zeroGuid(itemid::kGuidSize, 0);
    const Bytes guid(server.ItemBytes() + itemid::kGuidOffset,
                     server.ItemBytes() + itemid::kGuidOffset + itemid::kGuidSize);
    EXPECT_NE(guid, zeroGuid);
    int sameProgId = 0;
    for (const SampleNode& otherHost : Network().children) {
        for (const SampleNode& other : otherHost.children) {
            const Bytes otherGuid(other.ItemBytes() + itemid::kGuidOffset,
                                  other.ItemBytes() + itemid::kGuidOffset + itemid::kGuidSize);
            EXPECT_EQ(other.name == server.name, otherGuid == guid) << other.name;
            sameProgId += other.name == server.name ? 1 : 0;
        }
    }
    EXPECT_GE(sameProgId, 2) << "the sample repeats a ProgID on another host";
}

TEST_F(SampleNamespaceTest, RootAnswerListsTheHosts) {
    const ContentAnswer answer = sample_->Content(nullptr, kAllChildren);
    ReadAnswer read;
    ASSERT_TRUE(ReadCida(answer, read));
    EXPECT_EQ(read.parent, Bytes({0, 0})) << "the network's answer names the empty list";
    ExpectChildren(read, All(Network()));
    for (const Bytes& child : read.children) {
        EXPECT_EQ(itemid::LoadI32(child.data() + itemid::kTypeOffset), kSampleHost);
    }
    EXPECT_EQ(PathNames(AsList(read.children.front())), L"PLANT-SCADA01");
}

TEST_F(SampleNamespaceTest, EmptyListIsTheRootToo) {
    const Bytes empty{0, 0};
    const ContentAnswer answer = sample_->Content(AsList(empty), kAllChildren);
    ReadAnswer read;
    ASSERT_TRUE(ReadCida(answer, read));
    EXPECT_EQ(read.parent, empty);
    ExpectChildren(read, All(Network()));
}

TEST_F(SampleNamespaceTest, HostAnswerListsItsServersUnderTheRequestedParent) {
    // The host's list as a client gets it: from the root's answer.
    ReadAnswer root;
    ASSERT_TRUE(ReadCida(sample_->Content(nullptr, kAllChildren), root));
    for (std::size_t h = 0; h < Network().children.size(); ++h) {
        const Bytes& hostList = root.children[h];
        const ContentAnswer answer = sample_->Content(AsList(hostList), kAllChildren);
        ReadAnswer read;
        ASSERT_TRUE(ReadCida(answer, read));
        EXPECT_EQ(read.parent, hostList);
        ExpectChildren(read, All(Network().children[h]));
        for (const Bytes& child : read.children) {
            EXPECT_EQ(itemid::LoadI32(child.data() + itemid::kTypeOffset), kSampleServer);
        }
    }
}

TEST_F(SampleNamespaceTest, DeepPathsAnswerWithTheWholePathAsParent) {
    const SampleNode& host = Network().children.front();
    const SampleNode* server = &host.children.front();
    const SampleNode* branch = FirstOfType(*server, kSampleBranch);
    ASSERT_NE(branch, nullptr);
    const Bytes path = PathOf({&host, server, branch});
    const ContentAnswer answer = sample_->Content(AsList(path), kAllChildren);
    ReadAnswer read;
    ASSERT_TRUE(ReadCida(answer, read));
    EXPECT_EQ(read.parent, path);
    ExpectChildren(read, All(*branch));
    EXPECT_EQ(PathNames(AsList(path)), host.name + L"\\" + server->name + L"\\" + branch->name);
}

TEST_F(SampleNamespaceTest, FoldersOnlyLeavesOutTheItems) {
    // A server that holds both branches and items of its own.
    const SampleNode* host = nullptr;
    const SampleNode* mixed = nullptr;
    std::vector<const SampleNode*> folders;
    for (const SampleNode& candidateHost : Network().children) {
        for (const SampleNode& server : candidateHost.children) {
            std::vector<const SampleNode*> found;
            for (const SampleNode& child : server.children) {
                if (child.type != kSampleItem) found.push_back(&child);
            }
            if (mixed == nullptr && !found.empty() && found.size() < server.children.size()) {
                host = &candidateHost;
                mixed = &server;
                folders = found;
            }
        }
    }
    ASSERT_NE(mixed, nullptr) << "the sample has a server with branches and items side by side";
    const Bytes path = PathOf({host, mixed});
    ReadAnswer read;
    ASSERT_TRUE(ReadCida(sample_->Content(AsList(path), kFoldersOnly), read));
    EXPECT_EQ(read.parent, path);
    ExpectChildren(read, folders);
    ASSERT_TRUE(ReadCida(sample_->Content(AsList(path), kAllChildren), read));
    ExpectChildren(read, All(*mixed));

    // A branch that holds only items has no folders to offer.
    const SampleNode& firstHost = Network().children.front();
    const SampleNode& server = firstHost.children.front();
    const SampleNode* branch = FirstOfType(server, kSampleBranch);
    ASSERT_NE(branch, nullptr);
    ASSERT_FALSE(branch->children.empty());
    for (const SampleNode& child : branch->children) {
        ASSERT_EQ(child.type, kSampleItem) << child.name;
    }
    const Bytes branchPath = PathOf({&firstHost, &server, branch});
    ASSERT_TRUE(ReadCida(sample_->Content(AsList(branchPath), kFoldersOnly), read));
    EXPECT_TRUE(read.children.empty());
    EXPECT_EQ(read.parent, branchPath);
}

TEST_F(SampleNamespaceTest, AnItemHasNoChildren) {
    const SampleNode& host = Network().children.front();
    const SampleNode& server = host.children.front();
    const SampleNode* branch = FirstOfType(server, kSampleBranch);
    ASSERT_NE(branch, nullptr);
    const SampleNode* leaf = FirstOfType(*branch, kSampleItem);
    ASSERT_NE(leaf, nullptr);
    const Bytes path = PathOf({&host, &server, branch, leaf});
    ReadAnswer read;
    ASSERT_TRUE(ReadCida(sample_->Content(AsList(path), kAllChildren), read));
    EXPECT_EQ(read.parent, path);
    EXPECT_TRUE(read.children.empty());
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
