// SHAlloc and SHFree: the shell's task allocator, asked for on every call as the
// shell hands it out.
#include "itemid/shell_allocator.h"

#include "VantrelSh.h"
#include "base/com_ptr.h"

extern "C" void* WINAPI VtlsSHAlloc(ULONG bytes) {
    vtls::ComPtr<IMalloc> allocator;
    if (FAILED(SHGetMalloc(allocator.put()))) {
        return nullptr;
    }
    return allocator->Alloc(bytes);
}

extern "C" void WINAPI VtlsSHFree(void* memory) {
    if (memory == nullptr) {
        return;
    }
    vtls::ComPtr<IMalloc> allocator;
    if (SUCCEEDED(SHGetMalloc(allocator.put()))) {
        allocator->Free(memory);
    }
}

namespace vtls {

void ShellMemoryDeleter::operator()(void* memory) const noexcept { VtlsSHFree(memory); }

}  // namespace vtls
