#include "sample_namespace.h"

#include <wtypes.h>

#include <cstring>
#include <string_view>
#include <utility>

#include "base/portable/byte_order.h"
#include "itemid/portable/item_layout.h"
#include "sample_names.h"

namespace vtls::tool {
namespace {

using namespace vtls::itemid;
using namespace vtls::samples;

// The tree as written down, before the library turns each node into an item.
struct Blueprint {
    std::wstring name;
    INT type;
    DWORD data;
    std::vector<Blueprint> children;
};

Blueprint Item(std::wstring name, VARTYPE canonical) { return {std::move(name), kSampleItem, canonical, {}}; }
Blueprint Branch(std::wstring name, std::vector<Blueprint> children) {
    return {std::move(name), kSampleBranch, 0, std::move(children)};
}
Blueprint Server(std::wstring progId, std::vector<Blueprint> children) {
    return {std::move(progId), kSampleServer, 0, std::move(children)};
}
Blueprint Host(std::wstring name, std::vector<Blueprint> servers) { return {std::move(name), kSampleHost, 0, std::move(servers)}; }

// Leaves carry the fully qualified item id a client would read, as browsing
// servers report them. The names come from samples/sample_names.txt.
Blueprint Simulation() {
    return Server(kServerSimulation,
                  {Branch(kBranchRamps, {Item(kItemRampsInt, VT_I4), Item(kItemRampsReal, VT_R8),
                                         Item(kItemRampsText, VT_BSTR), Item(kItemRampsFlag, VT_BOOL)}),
                   Branch(kBranchRelay, {Item(kItemRelayInt, VT_I4), Item(kItemRelayReal, VT_R8)}),
                   Branch(kBranchWaves, {Branch(kBranchPulse, {Item(kItemPulseReal, VT_R4), Item(kItemPulseWord, VT_UI2)}),
                                         Branch(kBranchSweep, {Item(kItemSweepInt, VT_I2)})})});
}

Blueprint Gateway() {
    return Server(kServerGateway,
                  {Branch(kBranchFeedwater, {Branch(kBranchPump, {Item(kItemPumpSpeed, VT_UI2),
                                                                  Item(kItemPumpRunning, VT_BOOL)})}),
                   Branch(kBranchDiagnostics, {Item(kItemClockTime, VT_BSTR), Item(kItemClockDate, VT_BSTR)})});
}

Blueprint PlcBridge() {
    return Server(kServerPlcBridge, {Branch(kBranchKiln, {Item(kItemKilnWord, VT_I2), Item(kItemKilnReal, VT_R4),
                                                          Item(kItemKilnBit, VT_BOOL)})});
}

Blueprint Demo() {
    return Server(kServerDemo, {Branch(kBranchCounters, {Item(kItemCountersInt, VT_I4), Item(kItemCountersReal, VT_R8)}),
                                Item(kItemLocalClock, VT_DATE)});
}

Blueprint Simulator() {
    return Server(kServerSimulator, {Branch(kBranchAnalog, {Item(kItemAnalogSine, VT_R8), Item(kItemAnalogRamp, VT_I4)}),
                                     Item(kItemWatchdog, VT_BOOL)});
}

Blueprint SampleNetwork() {
    return {kNetwork,
            kSampleNetwork,
            0,
            {Host(kHostScada, {Simulation(), Gateway(), PlcBridge()}),
             Host(kHostHistorian, {Demo(), Simulation()}),
             Host(kHostLab, {Simulator(), Gateway(), Demo(), Simulation()})}};
}

// A stand-in for a server's class id: FNV-1a over the ProgID, so one ProgID
// gets one GUID on every host and in every run.
GUID ServerGuid(std::wstring_view progId) {
    std::uint64_t halves[2] = {0xCBF29CE484222325ull, 0x84222325CBF29CE4ull};
    for (std::uint64_t& hash : halves) {
        for (const wchar_t c : progId) {
            hash ^= static_cast<std::uint16_t>(c);
            hash *= 0x100000001B3ull;
        }
    }
    std::uint8_t bytes[16];
    for (int i = 0; i < 16; ++i) {
        bytes[i] = static_cast<std::uint8_t>(halves[i / 8] >> (8 * (i % 8)));
    }
    GUID guid{};
    static_assert(sizeof(guid) == sizeof(bytes));
    std::memcpy(&guid, bytes, sizeof(guid));
    return guid;
}

void Count(INT type, SampleCounts& counts) {
    switch (type) {
        case kSampleHost: ++counts.hosts; break;
        case kSampleServer: ++counts.servers; break;
        case kSampleBranch: ++counts.branches; break;
        case kSampleItem: ++counts.items; break;
        default: break;
    }
}

bool Build(const Blueprint& blueprint, SampleNode& node, SampleCounts& counts) {
    node.name = blueprint.name;
    node.type = blueprint.type;
    node.data = blueprint.data;
    const GUID guid = blueprint.type == kSampleServer ? ServerGuid(blueprint.name) : GUID{};
    node.id.reset(VtlsCreateID(node.name.c_str(), node.type, node.data, &guid, 0, nullptr));
    if (!node.id) {
        return false;
    }
    Count(blueprint.type, counts);
    node.children.resize(blueprint.children.size());
    for (std::size_t i = 0; i < blueprint.children.size(); ++i) {
        if (!Build(blueprint.children[i], node.children[i], counts)) {
            return false;
        }
    }
    return true;
}

// The root's answer names the empty list as its parent.
constexpr std::uint8_t kEmptyList[kTerminatorSize] = {};

std::wstring DescribeItem(const std::uint8_t* item, std::size_t size) {
    if (size < kFixedSize || LoadU32(item + kSignatureOffset) != kSignature) {
        return L"<foreign item, " + std::to_wstring(size) + L" bytes>";
    }
    switch (static_cast<Kind>(LoadI32(item + kKindOffset))) {
        case Kind::kReal: break;
        case Kind::kWait: return L"<wait placeholder>";
        case Kind::kError:
        case Kind::kErrorFlagged: return L"<error placeholder " + std::to_wstring(LoadU32(item + kValueOffset)) + L">";
        default: return L"<item of unknown kind>";
    }
    std::wstring name;
    for (std::size_t at = kNameOffset; at + 2 <= size; at += 2) {
        const std::uint16_t unit = LoadU16(item + at);
        if (unit == 0) {
            return name.empty() ? L"<unnamed>" : name;
        }
        name.push_back(static_cast<wchar_t>(unit));
    }
    return L"<name not terminated inside its item>";
}

}  // namespace

std::size_t SampleNode::ItemSize() const noexcept { return id ? LoadU16(ItemBytes()) : 0; }

std::unique_ptr<SampleNamespace> SampleNamespace::Create() {
    std::unique_ptr<SampleNamespace> sample(new SampleNamespace());
    if (!Build(SampleNetwork(), sample->network_, sample->counts_)) {
        return nullptr;
    }
    return sample;
}

// Each item of the request is compared, size first, with the stored items of
// the children; nothing past an item's own size is read, and every step goes
// one level down the finite tree, so any list ends the walk.
const SampleNode* SampleNamespace::Find(LPCITEMIDLIST parent) const noexcept {
    const SampleNode* node = &network_;
    if (parent == nullptr) {
        return node;
    }
    for (auto at = reinterpret_cast<const std::uint8_t*>(parent);;) {
        const std::size_t size = LoadU16(at);
        if (size == 0) {
            return node;
        }
        const SampleNode* next = nullptr;
        for (const SampleNode& child : node->children) {
            if (child.ItemSize() == size && std::memcmp(child.ItemBytes(), at, size) == 0) {
                next = &child;
                break;
            }
        }
        if (next == nullptr) {
            return nullptr;
        }
        node = next;
        at += size;
    }
}

ContentAnswer SampleNamespace::Content(LPCITEMIDLIST parent, DWORD value) const {
    ContentAnswer answer;
    if (value != kAllChildren && value != kFoldersOnly) {
        answer.result = E_INVALIDARG;
        return answer;
    }
    const SampleNode* node = Find(parent);
    if (node == nullptr) {
        answer.result = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        return answer;
    }
    std::vector<LPCITEMIDLIST> children;
    for (const SampleNode& child : node->children) {
        if (value == kAllChildren || child.IsFolder()) {
            children.push_back(child.id.get());
        }
    }
    const LPCITEMIDLIST answerParent = parent != nullptr ? parent : reinterpret_cast<LPCITEMIDLIST>(kEmptyList);
    answer.block.reset(SHCreateCIDA(answerParent, static_cast<UINT>(children.size()), children.data()));
    if (!answer.block) {
        answer.result = E_OUTOFMEMORY;
        return answer;
    }
    answer.result = S_OK;
    answer.children = static_cast<UINT>(children.size());
    return answer;
}

std::wstring PathNames(LPCITEMIDLIST list, std::size_t maxItems) {
    std::wstring path;
    if (list == nullptr) {
        return path;
    }
    auto at = reinterpret_cast<const std::uint8_t*>(list);
    for (std::size_t index = 0;; ++index) {
        const std::size_t size = LoadU16(at);
        if (size == 0) {
            return path;
        }
        if (!path.empty()) {
            path += L'\\';
        }
        if (index == maxItems) {
            return path + L"...";
        }
        if (size < 2) {
            return path + L"<item size " + std::to_wstring(size) + L">";
        }
        path += DescribeItem(at, size);
        at += size;
    }
}

}  // namespace vtls::tool
