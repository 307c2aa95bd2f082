// ILStgWrite and ILStgRead: an item identifier list behind the "v8GE" marker in a stream.
#include "VantrelSh.h"
#include "itemid/id_lists.h"
#include "itemid/portable/stream_record.h"

extern "C" HRESULT WINAPI ILStgWrite(IStream* stream, LPCITEMIDLIST list) {
    if (stream == nullptr) {
        return E_INVALIDARG;
    }
    const auto write = [stream](const std::uint8_t* data, std::uint32_t count) {
        ULONG written = 0;
        const HRESULT hr = stream->Write(data, count, &written);
        return vtls::itemid::Transfer{hr, written};
    };
    return vtls::itemid::WriteRecord(write, vtls::Bytes(list), vtls::GetIDListSize(list));
}

extern "C" HRESULT WINAPI ILStgRead(IStream* stream, LPITEMIDLIST* list) {
    if (list == nullptr) {
        return E_INVALIDARG;
    }
    *list = nullptr;
    if (stream == nullptr) {
        return E_INVALIDARG;
    }
    const auto read = [stream](std::uint8_t* into, std::uint32_t count) {
        ULONG got = 0;
        const HRESULT hr = stream->Read(into, count, &got);
        return vtls::itemid::Transfer{hr, got};
    };
    const auto allocate = [](std::size_t bytes) { return static_cast<std::uint8_t*>(VtlsSHAlloc(static_cast<ULONG>(bytes))); };
    const auto release = [](std::uint8_t* memory) { VtlsSHFree(memory); };
    std::uint8_t* item = nullptr;
    const HRESULT hr = vtls::itemid::ReadRecord(read, allocate, release, &item);
    *list = reinterpret_cast<LPITEMIDLIST>(item);
    return hr;
}
