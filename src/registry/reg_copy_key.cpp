// VtlsRegCopyKey: a whole key tree duplicated under a new name beside it.
#include "VantrelSh.h"
#include "base/unique_resource.h"
#include "registry/copy_key_tree.h"

extern "C" HRESULT WINAPI VtlsRegCopyKey(HKEY parent, LPCWSTR source, LPCWSTR destination, HKEY* out) {
    *out = nullptr;
    vtls::UniqueRegKey sourceKey;
    const HRESULT opened = VtlsRegOpenKey(parent, source, sourceKey.put(), MAXIMUM_ALLOWED);
    if (FAILED(opened)) {
        return opened;
    }
    return vtls::registry::CopyKeyTree(sourceKey.get(), parent, destination, out);
}
