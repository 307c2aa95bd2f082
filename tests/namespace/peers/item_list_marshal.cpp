// The list argument of IItemObjectFactory::CreateItemObject on the wire (see
// namespace/portable/item_list_wire.h). The sender walks its own list; the receiver
// takes nothing on trust: the bytes it reads must lie inside the message.
#include <windows.h>
#include <rpc.h>
#include <rpcndr.h>

#include <cstring>

#include "item_object_factory.h"
#include "namespace/portable/item_list_wire.h"

namespace {

const std::uint8_t* Bytes(const ITEMIDLIST* list) { return reinterpret_cast<const std::uint8_t*>(list); }

// The bytes of the message from `buffer` on, as the stub message knows them.
bool RemainingBytes(ULONG* flags, const unsigned char* buffer, std::size_t* remaining) {
    NDR_USER_MARSHAL_INFO info{};
    if (NdrGetUserMarshalInfo(flags, 1, &info) != RPC_S_OK) {
        return false;
    }
    const auto* start = static_cast<const unsigned char*>(info.Level1.Buffer);
    if (start == nullptr || buffer < start || static_cast<std::size_t>(buffer - start) > info.Level1.BufferSize) {
        return false;
    }
    *remaining = info.Level1.BufferSize - static_cast<std::size_t>(buffer - start);
    return true;
}

}  // namespace

extern "C" ULONG __RPC_USER MarshalledItemList_UserSize(ULONG* /*flags*/, ULONG start, MarshalledItemList* list) {
    return start + static_cast<ULONG>(vtls::ns::WireSize(Bytes(*list)));
}

extern "C" unsigned char* __RPC_USER MarshalledItemList_UserMarshal(ULONG* /*flags*/, unsigned char* buffer,
                                                                   MarshalledItemList* list) {
    return vtls::ns::WriteWire(buffer, Bytes(*list));
}

// Malformed data ends the call with RPC_X_BAD_STUB_DATA before anything of it
// reaches the server's method.
extern "C" unsigned char* __RPC_USER MarshalledItemList_UserUnmarshal(ULONG* flags, unsigned char* buffer,
                                                                     MarshalledItemList* list) {
    *list = nullptr;
    std::size_t remaining = 0;
    if (!RemainingBytes(flags, buffer, &remaining)) {
        RpcRaiseException(RPC_X_BAD_STUB_DATA);
    }
    const auto wire = vtls::ns::ReadWire(buffer, remaining);
    if (!wire) {
        RpcRaiseException(RPC_X_BAD_STUB_DATA);
    }
    if (wire->list != nullptr) {
        void* copy = CoTaskMemAlloc(wire->listBytes);
        if (copy == nullptr) {
            RpcRaiseException(ERROR_OUTOFMEMORY);
        }
        std::memcpy(copy, wire->list, wire->listBytes);
        *list = static_cast<const ITEMIDLIST*>(copy);
    }
    return buffer + wire->wireBytes;
}

extern "C" void __RPC_USER MarshalledItemList_UserFree(ULONG* /*flags*/, MarshalledItemList* list) {
    CoTaskMemFree(const_cast<ITEMIDLIST*>(*list));
    *list = nullptr;
}
