// Initialising and clearing the four property records: the clearing functions
// hand the records' task-allocator memory back.
#include <cstddef>
#include <cstring>

#include "VantrelSh.h"

namespace {

// The records pass between modules, so their layout is fixed: on 32-bit Windows
// exactly as the other modules expect it; on 64-bit the owned pointers widen to
// 8 bytes and every field keeps its order and natural alignment.
#if defined(_WIN64)
constexpr std::size_t kNetSize = 24, kHostSize = 32, kServerSize = 120, kBrowseSize = 24;
constexpr std::size_t kServerOwned[] = {16, 24, 80, 88, 104, 112};
constexpr std::size_t kHostCaller = 24, kServerCaller2 = 32, kServerCaller3 = 96;
constexpr std::size_t kBrowseOwned = 8, kBrowseCaller2 = 16;
#else
constexpr std::size_t kNetSize = 12, kHostSize = 20, kServerSize = 92, kBrowseSize = 16;
constexpr std::size_t kServerOwned[] = {16, 20, 72, 76, 84, 88};
constexpr std::size_t kHostCaller = 12, kServerCaller2 = 24, kServerCaller3 = 80;
constexpr std::size_t kBrowseOwned = 4, kBrowseCaller2 = 8;
#endif

static_assert(sizeof(NetProperty) == kNetSize);
static_assert(sizeof(HostProperty) == kHostSize);
static_assert(sizeof(ServerProperty) == kServerSize);
static_assert(sizeof(BrowseProperty) == kBrowseSize);

static_assert(offsetof(HostProperty, owned3) == 2 * sizeof(void*));
static_assert(offsetof(HostProperty, caller1) == kHostCaller);
static_assert(offsetof(ServerProperty, owned1) == kServerOwned[0]);
static_assert(offsetof(ServerProperty, owned2) == kServerOwned[1]);
static_assert(offsetof(ServerProperty, caller2) == kServerCaller2);
static_assert(offsetof(ServerProperty, owned3) == kServerOwned[2]);
static_assert(offsetof(ServerProperty, owned4) == kServerOwned[3]);
static_assert(offsetof(ServerProperty, caller3) == kServerCaller3);
static_assert(offsetof(ServerProperty, owned5) == kServerOwned[4]);
static_assert(offsetof(ServerProperty, owned6) == kServerOwned[5]);
static_assert(offsetof(BrowseProperty, owned1) == kBrowseOwned);
static_assert(offsetof(BrowseProperty, caller2) == kBrowseCaller2);

// Every byte, the padding of the 64-bit layout included.
template <typename Record>
void Zero(Record* record) noexcept {
    std::memset(record, 0, sizeof(Record));
}

}  // namespace

extern "C" void WINAPI VtlsInitNetProperty(NetProperty* record) { Zero(record); }

extern "C" void WINAPI VtlsClearNetProperty(NetProperty* record) {
    CoTaskMemFree(record->owned1);
    CoTaskMemFree(record->owned2);
    CoTaskMemFree(record->owned3);
    Zero(record);
}

extern "C" void WINAPI VtlsInitHostProperty(HostProperty* record) { Zero(record); }

// The freed addresses stay in the record: callers initialise it again before
// they reuse it.
extern "C" void WINAPI VtlsClearHostProperty(HostProperty* record) {
    CoTaskMemFree(record->owned1);
    CoTaskMemFree(record->owned3);
    CoTaskMemFree(record->owned2);
}

extern "C" void WINAPI VtlsInitServerProperty(ServerProperty* record) { Zero(record); }

extern "C" void WINAPI VtlsClearServerProperty(ServerProperty* record) {
    CoTaskMemFree(record->owned1);
    CoTaskMemFree(record->owned2);
    CoTaskMemFree(record->owned3);
    CoTaskMemFree(record->owned4);
    CoTaskMemFree(record->owned5);
    CoTaskMemFree(record->owned6);
    Zero(record);
}

extern "C" void WINAPI VtlsInitBrowseProperty(BrowseProperty* record) { Zero(record); }

extern "C" void WINAPI VtlsClearBrowseProperty(BrowseProperty* record) {
    CoTaskMemFree(record->owned1);
    VtlsInitBrowseProperty(record);
}
