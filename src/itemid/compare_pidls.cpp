// VtlsComparePIDLs: the namespace's order, as IShellFolder::CompareIDs answers it.
#include <cstring>

#include "VantrelSh.h"
#include "itemid/portable/compare_rules.h"
#include "itemid/portable/name_weights.h"
#include "itemid/id_lists.h"
#include "base/unique_resource.h"

namespace vtls {
namespace {

// Lists come straight from callers, so each page is probed before its first size
// field is read; a list reaches over at most nine pages before the limit.
class ReadableProbe {
public:
    explicit ReadableProbe(const std::uint8_t* list) noexcept : m_list(list) {}

    bool operator()(std::size_t bytes) noexcept {
        if (bytes <= m_checked) {
            return true;
        }
        const auto start = reinterpret_cast<std::uintptr_t>(m_list);
        const std::uintptr_t pageEnd = ((start + bytes + kPage - 1) / kPage) * kPage;
        const std::size_t upToPageEnd = static_cast<std::size_t>(pageEnd - start);
        if (IsBadReadPtr(m_list + m_checked, upToPageEnd - m_checked)) {
            return false;
        }
        m_checked = upToPageEnd;
        return true;
    }

private:
    static constexpr std::uintptr_t kPage = 4096;
    const std::uint8_t* m_list;
    std::size_t m_checked = 0;
};

std::optional<std::size_t> ComparableSize(LPCITEMIDLIST list) noexcept {
    if (list == nullptr) {
        return std::nullopt;
    }
    return itemid::ComparableListSize(Bytes(list), ReadableProbe(Bytes(list)));
}

int PlatformOrder(const char16_t* a, const char16_t* b) noexcept {
    return lstrcmpiW(reinterpret_cast<LPCWSTR>(a), reinterpret_cast<LPCWSTR>(b));
}

// lstrcmpiW's order learnt for the thread locale the first comparison ran
// under (lstrcmpiW compares in the calling thread's locale): in a sort almost
// every name pair is then decided without the platform, whose linguistic
// comparison costs microseconds under Wine. Threads in another locale ask the
// platform, as do the pairs the weights cannot decide.
class LearntNameOrder {
public:
    [[nodiscard]] const itemid::NameWeights* ForThisThread() noexcept {
        const LCID thread = GetThreadLocale();
        LONG state = __atomic_load_n(&m_state, __ATOMIC_ACQUIRE);
        if (state == kNotLearnt && InterlockedCompareExchange(&m_state, kLearning, kNotLearnt) == kNotLearnt) {
            m_threadLocale = thread;
            m_weights = itemid::NameWeights::Learn(PlatformOrder);
            __atomic_store_n(&m_state, kLearnt, __ATOMIC_RELEASE);
            state = kLearnt;
        }
        if (state != kLearnt || thread != m_threadLocale) {
            return nullptr;  // being learnt by another thread meanwhile, or another locale
        }
        return &m_weights;
    }

private:
    static constexpr LONG kNotLearnt = 0;
    static constexpr LONG kLearning = 1;
    static constexpr LONG kLearnt = 2;
    LONG m_state = kNotLearnt;
    LCID m_threadLocale = 0;  // written once, before the state says learnt
    itemid::NameWeights m_weights;
};

LearntNameOrder g_learntNameOrder;

// lstrcmpiW needs terminated strings; a name that runs to its item's end without
// one is copied out with a terminator first.
int CompareNames(const itemid::NameView& a, const itemid::NameView& b) noexcept {
    if (const itemid::NameWeights* weights = g_learntNameOrder.ForThisThread()) {
        if (const auto order = weights->Compare(a, b)) {
            return *order;
        }
    }
    if (a.terminated && b.terminated) {
        return lstrcmpiW(reinterpret_cast<LPCWSTR>(a.chars), reinterpret_cast<LPCWSTR>(b.chars));
    }
    const auto terminatedCopy = [](const itemid::NameView& name) {
        const std::size_t bytes = (name.length + 1) * sizeof(WCHAR);
        auto* copy = static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes));
        if (copy != nullptr) {
            std::memcpy(copy, name.chars, name.length * sizeof(WCHAR));
        }
        return copy;
    };
    const UniqueHeapMemory copyA(terminatedCopy(a));
    const UniqueHeapMemory copyB(terminatedCopy(b));
    return copyA && copyB ? lstrcmpiW(static_cast<LPCWSTR>(copyA.get()), static_cast<LPCWSTR>(copyB.get())) : 0;
}

}  // namespace
}  // namespace vtls

extern "C" HRESULT WINAPI VtlsComparePIDLs(LPCITEMIDLIST first, LPCITEMIDLIST second) {
    // An empty list has no first item to order by; it is refused like an invalid one.
    const auto sizeA = vtls::ComparableSize(first);
    const auto sizeB = vtls::ComparableSize(second);
    if (!sizeA || !sizeB || *sizeA == 0 || *sizeB == 0) {
        return E_INVALIDARG;
    }
    return vtls::itemid::CompareValidLists(vtls::Bytes(first), vtls::Bytes(second), vtls::CompareNames);
}
