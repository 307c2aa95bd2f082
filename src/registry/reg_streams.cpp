// VtlsRegOpenStream, VtlsRegSaveStream: a stream's bytes kept as one REG_BINARY
// value, exactly, with no header of their own.
#include "VantrelSh.h"
#include "base/com_ptr.h"
#include "base/unique_resource.h"

namespace {

// Streams are kept small; a larger value is refused on reading rather than
// handed to a caller that expects a settings-sized object.
constexpr DWORD kMaxStreamValueBytes = 0x8000;

}  // namespace

extern "C" HRESULT WINAPI VtlsRegOpenStream(HKEY key, LPCWSTR name, IStream** stream) {
    if (stream == nullptr) {
        return E_POINTER;
    }
    *stream = nullptr;
    DWORD size = 0;
    HRESULT hr = VtlsRegQueryValue(key, name, REG_BINARY, nullptr, &size);
    if (FAILED(hr)) {
        return hr;
    }
    if (size > kMaxStreamValueBytes) {
        return E_FAIL;
    }
    vtls::UniqueGlobal block(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size));
    if (!block) {
        return E_OUTOFMEMORY;
    }
    // A fixed block's handle is its address.
    hr = VtlsRegQueryValue(key, name, REG_BINARY, block.get(), &size);
    if (hr != S_OK) {
        return hr;  // S_FALSE too: the value grew between the two reads
    }
    vtls::ComPtr<IStream> created;
    hr = CreateStreamOnHGlobal(block.get(), TRUE, created.put());
    if (FAILED(hr)) {
        return hr;
    }
    static_cast<void>(block.release());  // the stream frees it with its last reference
    // The stream takes the block's size, which the heap may round up (an empty
    // value gets a one-byte block): pin it to the value's own length.
    ULARGE_INTEGER length = {};
    length.QuadPart = size;
    hr = created->SetSize(length);
    if (FAILED(hr)) {
        return hr;
    }
    *stream = created.detach();
    return S_OK;
}

extern "C" HRESULT WINAPI VtlsRegSaveStream(HKEY key, LPCWSTR name, IStream* stream) {
    if (stream == nullptr) {
        return E_POINTER;
    }
    STATSTG stat = {};
    HRESULT hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr)) {
        return hr;
    }
    if (stat.cbSize.HighPart != 0) {
        return E_OUTOFMEMORY;
    }
    const DWORD size = stat.cbSize.LowPart;
    // One byte at least, so an empty stream still gets a buffer to read into.
    const vtls::UniqueHeapMemory buffer(HeapAlloc(GetProcessHeap(), 0, size == 0 ? 1 : size));
    if (!buffer) {
        return E_OUTOFMEMORY;
    }
    // The whole stream is kept, whatever its position.
    const LARGE_INTEGER start = {};
    hr = stream->Seek(start, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) {
        return hr;
    }
    ULONG read = 0;
    hr = stream->Read(buffer.get(), size, &read);
    if (hr != S_OK) {
        return hr;
    }
    if (read < size) {
        return E_FAIL;  // the registry is left as it was
    }
    return VtlsRegSetValue(key, name, REG_BINARY, buffer.get(), size);
}
