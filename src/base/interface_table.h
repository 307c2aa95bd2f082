// One way to answer QueryInterface: each class lists the interfaces it hands
// out in a table, and states how it treats a null out-pointer and a miss.
// The rules differ per class because callers of each depend on them (the
// desktop folder is reached only as IShellFolder and counts no references; the
// drag helper is an ordinary counted object).
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <initializer_list>

namespace vtls {

struct InterfaceEntry {
    const IID& iid;
    IUnknown* pointer;  // the object seen through that interface
};

struct QueryRules {
    HRESULT nullOutPointer;  // what a null out-pointer gets
    bool clearOnMiss;        // whether a miss writes null to *object
    bool countReference;     // whether a hit takes a reference
};

[[nodiscard]] inline HRESULT QueryFromTable(std::initializer_list<InterfaceEntry> table, const QueryRules& rules,
                                            REFIID iid, void** object) noexcept {
    if (object == nullptr) {
        return rules.nullOutPointer;
    }
    for (const InterfaceEntry& entry : table) {
        if (IsEqualIID(iid, entry.iid)) {
            if (rules.countReference) {
                entry.pointer->AddRef();
            }
            *object = entry.pointer;
            return S_OK;
        }
    }
    if (rules.clearOnMiss) {
        *object = nullptr;
    }
    return E_NOINTERFACE;
}

}  // namespace vtls
