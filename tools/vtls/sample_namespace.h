// A small OPC namespace that `vtls serve` answers content requests from: a
// network, its hosts, their OPC servers, and the servers' branches and items.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "VantrelSh.h"
#include "base/item_list_owner.h"
#include "base/unique_resource.h"

namespace vtls::tool {

// Item types of the sample. The numbers are this sample's own choice: the
// library stores an item's type without giving it a meaning.
inline constexpr INT kSampleNetwork = 1;
inline constexpr INT kSampleHost = 2;
inline constexpr INT kSampleBranch = 5;
inline constexpr INT kSampleItem = 6;
inline constexpr INT kSampleServer = 9;  // the type whose GUID is the server's class id

// Request values the sample understands; any other is refused with E_INVALIDARG.
inline constexpr DWORD kAllChildren = 0;
inline constexpr DWORD kFoldersOnly = 1;  // hosts, servers and branches; no items

using vtls::UniqueIDList;

struct SampleNode {
    std::wstring name;
    INT type = 0;
    DWORD data = 0;      // items: their canonical VARTYPE; 0 elsewhere
    UniqueIDList id;   // a one-item list made by VtlsCreateID
    std::vector<SampleNode> children;

    [[nodiscard]] const std::uint8_t* ItemBytes() const noexcept {
        return reinterpret_cast<const std::uint8_t*>(id.get());
    }
    [[nodiscard]] std::size_t ItemSize() const noexcept;
    // Folders are the nodes a client can open further; items are the leaves.
    [[nodiscard]] bool IsFolder() const noexcept { return type != kSampleItem; }
};

struct SampleCounts {
    unsigned hosts = 0;
    unsigned servers = 0;
    unsigned branches = 0;
    unsigned items = 0;
};

struct ContentAnswer {
    HRESULT result = E_FAIL;  // S_OK, or why the request is refused
    UINT children = 0;
    UniqueGlobal block;       // on S_OK: the packed CIDA
};

class SampleNamespace {
public:
    // Null when the library cannot create one of the items.
    [[nodiscard]] static std::unique_ptr<SampleNamespace> Create();

    // The children of the node that parent leads to from the network (null or
    // an empty list: the network itself). The answer's parent list is the
    // requested one, an empty list for the network, so the block always names
    // the folder its children belong to. A path through an item the sample
    // does not hold is refused with HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND).
    [[nodiscard]] ContentAnswer Content(LPCITEMIDLIST parent, DWORD value) const;

    [[nodiscard]] const SampleNode& Network() const noexcept { return network_; }
    [[nodiscard]] const SampleCounts& Counts() const noexcept { return counts_; }

private:
    SampleNamespace() = default;
    [[nodiscard]] const SampleNode* Find(LPCITEMIDLIST parent) const noexcept;

    SampleNode network_;
    SampleCounts counts_;
};

// The names along a list, joined by backslashes, for logs: items of another
// format, placeholders and damaged items are described instead of named.
// Reads each item only inside its own size, and at most maxItems items.
[[nodiscard]] std::wstring PathNames(LPCITEMIDLIST list, std::size_t maxItems = 16);

}  // namespace vtls::tool
