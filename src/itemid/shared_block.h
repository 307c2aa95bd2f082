// A block of memory handed between processes or to a caller: fixed global memory
// when the name is null, else a mapping backed by the paging file. The name
// argument travels with the handle; reaching and releasing a block only look at
// whether it is null.
#pragma once

#include <windows.h>

namespace vtls {

// "pagefile" (exact case) asks for an unnamed mapping; any other name names it.
inline constexpr wchar_t kUnnamedMapping[] = L"pagefile";

// The new block's handle, or null with the thread's last error set.
[[nodiscard]] HANDLE CreateSharedBlock(DWORD bytes, LPCWSTR name) noexcept;

// The address of the block's contents, or null.
[[nodiscard]] void* LockSharedBlock(HANDLE block, LPCWSTR name) noexcept;

void UnlockSharedBlock(HANDLE block, void* contents, LPCWSTR name) noexcept;

// A block's contents, reachable for one scope; contents() is null when they
// could not be reached, and then nothing is released.
class SharedBlockView {
public:
    SharedBlockView(HANDLE block, LPCWSTR name) noexcept
        : m_block(block), m_name(name), m_contents(block != nullptr ? LockSharedBlock(block, name) : nullptr) {}
    ~SharedBlockView() {
        if (m_contents != nullptr) {
            UnlockSharedBlock(m_block, m_contents, m_name);
        }
    }
    SharedBlockView(const SharedBlockView&) = delete;
    SharedBlockView& operator=(const SharedBlockView&) = delete;

    [[nodiscard]] void* contents() const noexcept { return m_contents; }

private:
    HANDLE m_block;
    LPCWSTR m_name;
    void* m_contents;
};

}  // namespace vtls
