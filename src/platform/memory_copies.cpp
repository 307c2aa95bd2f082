// VtlsCopyHGlobal and VtlsCopyStream: independent copies that the caller owns.
#include <cstring>

#include "VantrelSh.h"
#include "base/com_ptr.h"
#include "base/unique_resource.h"

extern "C" HGLOBAL WINAPI VtlsCopyHGlobal(HGLOBAL source) {
    // Size 0 also stands for a freed or discarded handle.
    const SIZE_T size = GlobalSize(source);
    if (size == 0) {
        return nullptr;
    }
    const vtls::GlobalLockScope locked(source);
    if (locked.address() == nullptr) {
        return nullptr;
    }
    // Fixed memory: the handle is the address, so the copy needs no lock.
    vtls::UniqueGlobal copy(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size));
    if (copy) {
        std::memcpy(copy.get(), locked.address(), size);
    }
    return copy.release();
}

namespace {

HRESULT SeekToStart(IStream* stream) noexcept {
    return stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
}

// Copies all of source into target from byte 0, whatever the source's position,
// and leaves target at its start.
HRESULT CopyWholeStream(IStream* source, IStream* target) noexcept {
    STATSTG stat{};
    HRESULT result = source->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(result)) {
        return result;
    }
    // Not examined: a source that cannot seek is copied from where it stands.
    static_cast<void>(SeekToStart(source));
    result = source->CopyTo(target, stat.cbSize, nullptr, nullptr);
    if (FAILED(result)) {
        return result;
    }
    return SeekToStart(target);
}

}  // namespace

extern "C" HRESULT WINAPI VtlsCopyStream(IStream* source, IStream** copy) {
    if (copy == nullptr) {
        return E_INVALIDARG;
    }
    *copy = nullptr;
    if (source == nullptr) {
        return E_INVALIDARG;
    }
    vtls::ComPtr<IStream> target;
    HRESULT result = CreateStreamOnHGlobal(nullptr, TRUE, target.put());
    if (FAILED(result)) {
        return result;
    }
    result = CopyWholeStream(source, target.get());
    if (FAILED(result)) {
        return result;
    }
    *copy = target.detach();
    return S_OK;
}
