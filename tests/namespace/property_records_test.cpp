// The property records: what initialising sets, and what clearing frees (seen
// through a malloc spy on the task allocator) and leaves.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "VantrelSh.h"

namespace {

// Records the addresses CoTaskMemFree frees while it is registered (Wine does
// not show the spy a null one).
class FreeRecorder final : public IMallocSpy {
public:
    FreeRecorder() { registered_ = SUCCEEDED(CoRegisterMallocSpy(this)); }
    ~FreeRecorder() {
        if (registered_) {
            CoRevokeMallocSpy();
        }
    }
    FreeRecorder(const FreeRecorder&) = delete;
    FreeRecorder& operator=(const FreeRecorder&) = delete;

    [[nodiscard]] bool registered() const { return registered_; }
    // The addresses freed, null ones left out.
    [[nodiscard]] std::vector<void*> Freed() const {
        std::vector<void*> freed;
        for (void* address : seen_) {
            if (address != nullptr) {
                freed.push_back(address);
            }
        }
        return freed;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IMallocSpy) {
            *object = static_cast<IMallocSpy*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP_(SIZE_T) PreAlloc(SIZE_T request) override { return request; }
    STDMETHODIMP_(void*) PostAlloc(void* actual) override { return actual; }
    STDMETHODIMP_(void*) PreFree(void* request, BOOL) override {
        seen_.push_back(request);
        return request;
    }
    STDMETHODIMP_(void) PostFree(BOOL) override {}
    STDMETHODIMP_(SIZE_T) PreRealloc(void* request, SIZE_T bytes, void** newRequest, BOOL) override {
        *newRequest = request;
        return bytes;
    }
    STDMETHODIMP_(void*) PostRealloc(void* actual, BOOL) override { return actual; }
    STDMETHODIMP_(void*) PreGetSize(void* request, BOOL) override { return request; }
    STDMETHODIMP_(SIZE_T) PostGetSize(SIZE_T actual, BOOL) override { return actual; }
    STDMETHODIMP_(void*) PreDidAlloc(void* request, BOOL) override { return request; }
    STDMETHODIMP_(int) PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    STDMETHODIMP_(void) PreHeapMinimize() override {}
    STDMETHODIMP_(void) PostHeapMinimize() override {}

private:
    bool registered_ = false;
    std::vector<void*> seen_;
};

template <typename Record>
std::vector<unsigned char> BytesOf(const Record& record) {
    const auto* first = reinterpret_cast<const unsigned char*>(&record);
    return std::vector<unsigned char>(first, first + sizeof(Record));
}

template <typename Record>
bool AllZero(const Record& record) {
    for (const unsigned char byte : BytesOf(record)) {
        if (byte != 0) {
            return false;
        }
    }
    return true;
}

void* Block() { return CoTaskMemAlloc(16); }

// Initialising sets every byte; clearing what was just initialised frees
// nothing and leaves every byte zero.
template <typename Record>
void CheckInitAndEmptyClear(void(WINAPI* init)(Record*), void(WINAPI* clear)(Record*)) {
    Record record;
    std::memset(&record, 0xCD, sizeof record);
    init(&record);
    EXPECT_TRUE(AllZero(record));
    FreeRecorder recorder;
    ASSERT_TRUE(recorder.registered());
    clear(&record);
    EXPECT_TRUE(recorder.Freed().empty());
    EXPECT_TRUE(AllZero(record));
}

TEST(PropertyRecords, InitialisingZeroesAndClearingAnEmptyRecordFreesNothing) {
    CheckInitAndEmptyClear(VtlsInitNetProperty, VtlsClearNetProperty);
    CheckInitAndEmptyClear(VtlsInitHostProperty, VtlsClearHostProperty);
    CheckInitAndEmptyClear(VtlsInitServerProperty, VtlsClearServerProperty);
    CheckInitAndEmptyClear(VtlsInitBrowseProperty, VtlsClearBrowseProperty);
}

TEST(PropertyRecords, ClearingNetFreesItsThreePointersInOrderAndEmptiesIt) {
    NetProperty record;
    VtlsInitNetProperty(&record);
    record = {Block(), Block(), Block()};
    const std::vector<void*> expected = {record.owned1, record.owned2, record.owned3};
    FreeRecorder recorder;
    ASSERT_TRUE(recorder.registered());
    VtlsClearNetProperty(&record);
    EXPECT_EQ(recorder.Freed(), expected);
    EXPECT_TRUE(AllZero(record));
}

TEST(PropertyRecords, ClearingHostFreesOneThreeTwoAndLeavesTheRecordAsItWas) {
    HostProperty record;
    VtlsInitHostProperty(&record);
    record = {Block(), Block(), Block(), {0x11223344, 0x55667788}};
    const std::vector<void*> expected = {record.owned1, record.owned3, record.owned2};
    const auto before = BytesOf(record);
    FreeRecorder recorder;
    ASSERT_TRUE(recorder.registered());
    VtlsClearHostProperty(&record);
    EXPECT_EQ(recorder.Freed(), expected);
    EXPECT_EQ(BytesOf(record), before);
}

TEST(PropertyRecords, ClearingServerFreesExactlyItsSixPointersAndEmptiesIt) {
    ServerProperty record;
    VtlsInitServerProperty(&record);
    // A caller's field that holds task memory is the caller's to free.
    void* callers = Block();
    std::memcpy(record.caller1, &callers, sizeof callers);
    for (DWORD& field : record.caller2) {
        field = 0xC0FFEE;
    }
    record.caller3 = 0xBEEF;
    record.owned1 = Block();
    record.owned2 = Block();
    record.owned3 = Block();
    record.owned4 = Block();
    record.owned5 = Block();
    record.owned6 = Block();
    const std::vector<void*> expected = {record.owned1, record.owned2, record.owned3,
                                         record.owned4, record.owned5, record.owned6};
    {
        FreeRecorder recorder;
        ASSERT_TRUE(recorder.registered());
        VtlsClearServerProperty(&record);
        EXPECT_EQ(recorder.Freed(), expected);
    }
    EXPECT_TRUE(AllZero(record));
    CoTaskMemFree(callers);
}

TEST(PropertyRecords, ClearingBrowseFreesItsPointerAndEmptiesIt) {
    BrowseProperty record;
    VtlsInitBrowseProperty(&record);
    record = {0x1234, Block(), {0x5678, 0x9ABC}};
    const std::vector<void*> expected = {record.owned1};
    FreeRecorder recorder;
    ASSERT_TRUE(recorder.registered());
    VtlsClearBrowseProperty(&record);
    EXPECT_EQ(recorder.Freed(), expected);
    EXPECT_TRUE(AllZero(record));
}

}  // namespace
