// Item lists built byte by byte for the namespace tests.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <initializer_list>

#include "list_bytes.h"
#include "peers/peer_ids.h"

namespace vtls::test {

inline Bytes RootItem(const CLSID& classId) {
    Bytes item(18, 0);
    item[0] = 18;
    std::memcpy(item.data() + 2, &classId, sizeof classId);
    return item;
}

// The namespace root's list (its bytes in detail: portable/root_item_test.cpp).
inline const Bytes kNamespaceRootList = List({RootItem(kRootClassId)});

inline Bytes RawItem(std::initializer_list<std::uint8_t> payload) {
    Bytes item{static_cast<std::uint8_t>(payload.size() + 2), 0};
    item.insert(item.end(), payload);
    return item;
}

inline LPCITEMIDLIST Pidl(const Bytes& list) { return reinterpret_cast<LPCITEMIDLIST>(list.data()); }

}  // namespace vtls::test
