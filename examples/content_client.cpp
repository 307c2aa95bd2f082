// The client role: asks the server process for a folder's content.
//
//   content_client [value]
//
// Takes the client role, asks with VtlsGetContentInSync for the content of the
// root folder, passing value (default 7) through to the server's callback, and
// prints the name of each child that the server answered. Then asks for the
// first child's content, which content_server refuses. Start content_server
// first, in another process.
#include <windows.h>

#include <VantrelSh.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

// The answer is a copy in task-allocator memory, freed with CoTaskMemFree.
struct TaskMemFree {
    void operator()(CIDA* cida) const noexcept { CoTaskMemFree(cida); }
};
using Answer = std::unique_ptr<CIDA, TaskMemFree>;

// The role, left however the program leaves its scope.
struct ClientRole {
    ClientRole() : result(VtlsCliInitialize()) {}
    ~ClientRole() { VtlsTerminate(); }
    ClientRole(const ClientRole&) = delete;
    ClientRole& operator=(const ClientRole&) = delete;
    const HRESULT result;
};

// The list at the CIDA's offset number index (0: the parent, 1 on: the children).
LPCITEMIDLIST CidaList(const CIDA* cida, UINT index) {
    UINT offset = 0;
    std::memcpy(&offset, reinterpret_cast<const BYTE*>(cida) + offsetof(CIDA, aoffset) + 4 * index, 4);
    return reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<const BYTE*>(cida) + offset);
}

// The name of a list's first item if it is one of the library's real items:
// signature 0x25031972 at byte 2, kind at byte 10, the UTF-16 name from byte
// 38 (items are packed, so nothing in them is aligned).
std::string ItemName(LPCITEMIDLIST list) {
    const auto* item = reinterpret_cast<const BYTE*>(list);
    std::uint16_t size = 0;
    std::uint32_t signature = 0;
    std::int32_t kind = 0;
    std::memcpy(&size, item, 2);
    std::memcpy(&signature, item + 2, 4);
    std::memcpy(&kind, item + 10, 4);
    if (size < 42 || signature != VTLS_ITEM_SIGNATURE || kind != VTLS_ITEM_KIND_REAL) {
        return "(not a real item of the library)";
    }
    std::string name;
    for (std::size_t at = 38; at + 2 <= size; at += 2) {
        wchar_t c = 0;
        std::memcpy(&c, item + at, 2);
        if (c == 0) {
            break;
        }
        name += c < 128 ? static_cast<char>(c) : '?';  // this example prints ASCII only
    }
    return name;
}

}  // namespace

int main(int argc, char** argv) {
    const DWORD value = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 7;
    const ClientRole role;
    if (FAILED(role.result)) {
        std::fprintf(stderr, "content_client: VtlsCliInitialize failed: 0x%08lX\n", role.result);
        return 1;
    }
    CIDA* received = nullptr;
    HRESULT hr = VtlsGetContentInSync(nullptr, value, &received);
    const Answer root(received);
    if (FAILED(hr)) {
        std::fprintf(stderr, "content_client: no answer (0x%08lX); is content_server running?\n", hr);
        return 1;
    }
    std::printf("content_client: the root holds %u item(s):\n", root->cidl);
    for (UINT i = 1; i <= root->cidl; ++i) {
        std::printf("  %s\n", ItemName(CidaList(root.get(), i)).c_str());
    }
    if (root->cidl != 0) {
        // A child's list, relative to the root, names it as a folder to ask about.
        received = nullptr;
        hr = VtlsGetContentInSync(CidaList(root.get(), 1), value, &received);
        const Answer child(received);
        std::printf("content_client: content of %s: 0x%08lX%s\n", ItemName(CidaList(root.get(), 1)).c_str(), hr,
                    hr == E_FAIL ? " (refused, or no answer)" : "");
    }
    return 0;
}
