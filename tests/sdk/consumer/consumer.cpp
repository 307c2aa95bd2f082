// Uses the library from C++ with the shell's own headers included first: the
// library's header must sit beside <shlobj.h> in either order.
#include <windows.h>
#include <shlobj.h>

#include "VantrelSh.h"

#include <cstdio>
#include <memory>

namespace {

struct ItemListDeleter {
    void operator()(ITEMIDLIST* list) const noexcept { VtlsSHFree(list); }
};
using ItemList = std::unique_ptr<ITEMIDLIST, ItemListDeleter>;

}  // namespace

int main() {
    const ItemList wait(VtlsCreateWaitID());
    const ItemList error(VtlsCreateErrorID(E_ACCESSDENIED, FALSE));
    const bool built = wait && error;
    const HRESULT order = built ? VtlsComparePIDLs(wait.get(), error.get()) : E_FAIL;
    std::printf("%s placeholders built and compared (0x%08lX)\n", built && SUCCEEDED(order) ? "ok  " : "FAIL",
                static_cast<unsigned long>(order));
    return built && SUCCEEDED(order) ? 0 : 1;
}
