#include "pidl_decoder.h"

#include <cstdio>
#include <cstring>

#include "console.h"
#include "base/portable/byte_order.h"
#include "itemid/portable/item_layout.h"
#include "itemid/portable/stream_record.h"

namespace vtls::tool {
namespace {

using namespace vtls::itemid;

const char* KindName(std::int32_t kind) {
    switch (kind) {
        case 0: return "wait placeholder";
        case 1: return "error placeholder";
        case 2: return "error placeholder, flagged";
        case 3: return "real item";
        default: return "unknown kind";
    }
}

std::string Guid(const std::uint8_t* bytes) {
    return Format("{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", LoadU32(bytes), LoadU16(bytes + 4),
                  LoadU16(bytes + 6), bytes[8], bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14],
                  bytes[15]);
}

std::string HexBytes(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += Format(i == 0 ? "%02X" : " %02X", bytes[i]);
    }
    return text;
}

// The name runs from its offset to its zero character, inside the item.
bool ReadName(const std::uint8_t* item, std::size_t size, std::wstring& name, std::size_t& nameBytes) {
    for (std::size_t at = kNameOffset; at + 2 <= size; at += 2) {
        const std::uint16_t unit = LoadU16(item + at);
        if (unit == 0) {
            nameBytes = at - kNameOffset;
            return true;
        }
        name.push_back(static_cast<wchar_t>(unit));
    }
    return false;
}

std::string DescribeItem(const std::uint8_t* item, std::size_t size) {
    if (size < kFixedSize || LoadU32(item + kSignatureOffset) != kSignature) {
        return "  foreign item: " + HexBytes(item + 2, size - 2) + "\n";
    }
    const std::int32_t kind = LoadI32(item + kKindOffset);
    std::string text = Format("  kind   %d (%s)\n", kind, KindName(kind));
    if (kind != static_cast<std::int32_t>(Kind::kReal)) {
        return text + Format("  value  0x%08X\n", LoadU32(item + kValueOffset));
    }
    text += Format("  type   %d\n", LoadI32(item + kTypeOffset));
    text += "  guid   " + Guid(item + kGuidOffset) + "\n";
    text += Format("  data   0x%08X\n", LoadU32(item + kDataOffset));
    std::wstring name;
    std::size_t nameBytes = 0;
    if (!ReadName(item, size, name, nameBytes)) {
        return text + "  name   (not terminated inside the item)\n";
    }
    text += "  name   \"" + ToUtf8(name) + "\"\n";
    const std::size_t extraAt = kExtraOffsetBase + nameBytes;
    if (extraAt > size) {
        return text + "  extra  (item ends inside the gap after the name)\n";
    }
    text += Format("  extra  %zu bytes", size - extraAt);
    if (size > extraAt) {
        text += ": " + HexBytes(item + extraAt, size - extraAt);
    }
    return text + "\n";
}

// Walks items from `start`; with `terminated`, a zero size must end the list
// inside the bytes, else the items must end exactly at the end.
DecodeResult DecodeItems(const std::vector<std::uint8_t>& bytes, std::size_t start, bool terminated) {
    std::string text;
    std::size_t at = start;
    for (int index = 1;; ++index) {
        if (!terminated && at == bytes.size()) {
            return {true, text + Format("record ends at offset %zu\n", at)};
        }
        if (at + 2 > bytes.size()) {
            return {false, Format("offset %zu: the list ends without a terminator", at)};
        }
        const std::uint16_t size = LoadU16(bytes.data() + at);
        if (size == 0) {
            if (!terminated) {
                return {false, Format("offset %zu: a zero item size inside a record", at)};
            }
            return {true, text + Format("terminator at offset %zu; list size %zu bytes%s\n", at, at - start,
                                        at + 2 < bytes.size() ? " (bytes follow the terminator)" : "")};
        }
        if (size < 2) {
            return {false, Format("offset %zu: item size %u cannot hold its own size field", at, size)};
        }
        if (size > bytes.size() - at) {
            return {false, Format("offset %zu: item of %u bytes, only %zu remain", at, size, bytes.size() - at)};
        }
        text += Format("item %d at offset %zu: %u bytes\n", index, at, size);
        text += DescribeItem(bytes.data() + at, size);
        at += size;
    }
}

}  // namespace

DecodeResult DecodeList(const std::vector<std::uint8_t>& bytes) { return DecodeItems(bytes, 0, true); }

DecodeResult DecodeRecord(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < sizeof(kRecordMarker) || std::memcmp(bytes.data(), kRecordMarker, sizeof(kRecordMarker)) != 0) {
        return {false, "the record does not begin with the marker \"v8GE\""};
    }
    DecodeResult result = DecodeItems(bytes, sizeof(kRecordMarker), false);
    if (result.ok) {
        result.text = "marker \"v8GE\"\n" + result.text;
    }
    return result;
}

bool ParseHex(const std::string& text, std::vector<std::uint8_t>& bytes, std::string& error) {
    int pending = -1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == ':' || c == '-' || c == '\t' || c == '\n' || c == '\r') {
            if (pending >= 0) {
                error = Format("position %zu: odd number of hex digits before a separator", i);
                return false;
            }
            continue;
        }
        int value = -1;
        if (c >= '0' && c <= '9') value = c - '0';
        if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
        if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
        if (value < 0) {
            error = Format("position %zu: '%c' is not a hex digit", i, c);
            return false;
        }
        if (pending < 0) {
            pending = value;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(pending * 16 + value));
            pending = -1;
        }
    }
    if (pending >= 0) {
        error = "odd number of hex digits";
        return false;
    }
    return true;
}

}  // namespace vtls::tool
