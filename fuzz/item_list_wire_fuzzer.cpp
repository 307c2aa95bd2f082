// An item list as the local server's stub receives it from another process:
// what the reader accepts must be walkable inside the bytes it was given, and
// must be written back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "itemid/portable/id_list.h"
#include "namespace/portable/item_list_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> wire(data, data + size);  // exact size: reads beyond trip ASan
    const auto read = vtls::ns::ReadWire(wire.data(), wire.size());
    if (!read) return 0;
    if (read->wireBytes > wire.size()) std::abort();
    if (read->list == nullptr) return 0;
    // Walked without a bound, as the server does: must end where the count says.
    if (vtls::itemid::ListSize(read->list) + 2 != read->listBytes) std::abort();
    std::vector<std::uint8_t> again(vtls::ns::WireSize(read->list));
    vtls::ns::WriteWire(again.data(), read->list);
    if (again.size() != read->wireBytes || std::memcmp(again.data(), wire.data(), again.size()) != 0) std::abort();
    return 0;
}
