// vtls browse: takes the client role and prints the namespace the server
// process answers content requests from, as an indented tree.
#include <windows.h>
#include <objbase.h>
#include <wtypes.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "VantrelSh.h"
#include "arguments.h"
#include "client_support.h"
#include "commands.h"
#include "console.h"
#include "base/com_ptr.h"
#include "base/unique_resource.h"
#include "base/portable/byte_order.h"
#include "itemid/portable/cida_layout.h"
#include "itemid/portable/id_list.h"
#include "itemid/portable/item_layout.h"
#include "sample_namespace.h"

namespace vtls::tool {
namespace {

using namespace vtls::itemid;

constexpr unsigned long kDefaultDepth = 10;
// Every level is one more request and a longer path; a server that keeps
// answering with children (a cycle in its own data) stops here.
constexpr unsigned long kMaxDepth = 32;
// Guards against a server with an enormous tree.
constexpr std::size_t kMaxEntries = 100000;

constexpr const char* kUsage =
    "usage: vtls browse [--value N] [--depth D]\n"
    "\n"
    "Takes the library's client role, asks the server process (vtls serve) for\n"
    "the content of the root and then of every entry it answers, and prints\n"
    "the tree: each entry's name and type, indented by its level.\n"
    "\n"
    "  --value N  the request value passed to the server's content callback\n"
    "             (vtls serve: 0 all children, 1 folders only; default 0)\n"
    "  --depth D  levels below the root to list, 1 to 32 (default 10)\n"
    "\n"
    "Exits with 1 when no server answers the first request, or when any later\n"
    "request fails.\n";

struct Options {
    DWORD value = 0;
    unsigned long depth = kDefaultDepth;
};

void FreeTaskMemory(CIDA* block) noexcept { CoTaskMemFree(block); }
using UniqueReply = UniqueResource<CIDA*, FreeTaskMemory>;


const char* VarTypeName(std::uint32_t type) {
    switch (type) {
        case VT_I2: return "VT_I2";
        case VT_I4: return "VT_I4";
        case VT_R4: return "VT_R4";
        case VT_R8: return "VT_R8";
        case VT_DATE: return "VT_DATE";
        case VT_BSTR: return "VT_BSTR";
        case VT_BOOL: return "VT_BOOL";
        case VT_UI2: return "VT_UI2";
        case VT_UI4: return "VT_UI4";
        default: return nullptr;
    }
}

std::string GuidText(const std::uint8_t* bytes) {
    return Format("{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", static_cast<unsigned>(LoadU32(bytes)),
                  LoadU16(bytes + 4), LoadU16(bytes + 6), bytes[8], bytes[9], bytes[10], bytes[11], bytes[12],
                  bytes[13], bytes[14], bytes[15]);
}

// The item types are the namespace's own; these are the ones vtls serve uses.
std::string TypeText(std::int32_t type, std::uint32_t data, const std::uint8_t* guid) {
    switch (type) {
        case kSampleNetwork: return "network";
        case kSampleHost: return "host";
        case kSampleBranch: return "branch";
        case kSampleServer: return "server " + GuidText(guid);
        case kSampleItem: {
            const char* name = VarTypeName(data);
            return name != nullptr ? Format("item, %s", name) : Format("item, VARTYPE %u", static_cast<unsigned>(data));
        }
        default: return Format("type %d, data 0x%08X", static_cast<int>(type), static_cast<unsigned>(data));
    }
}

struct Entry {
    std::string text;
    bool folder = false;  // a real item, which the server may have children for
};

// One item, read only inside its own size.
Entry DescribeItem(const std::uint8_t* item, std::size_t size) {
    if (size < kFixedSize || LoadU32(item + kSignatureOffset) != kSignature) {
        return {Format("<foreign item, %zu bytes>", size), false};
    }
    const std::int32_t kind = LoadI32(item + kKindOffset);
    if (kind == static_cast<std::int32_t>(Kind::kWait)) {
        return {"<wait placeholder>", false};
    }
    if (kind == static_cast<std::int32_t>(Kind::kError) || kind == static_cast<std::int32_t>(Kind::kErrorFlagged)) {
        return {Format("<error placeholder 0x%08X>", static_cast<unsigned>(LoadU32(item + kValueOffset))), false};
    }
    if (kind != static_cast<std::int32_t>(Kind::kReal)) {
        return {Format("<item of unknown kind %d>", static_cast<int>(kind)), false};
    }
    std::wstring name;
    bool terminated = false;
    for (std::size_t at = kNameOffset; at + 2 <= size; at += 2) {
        const std::uint16_t unit = LoadU16(item + at);
        if (unit == 0) {
            terminated = true;
            break;
        }
        name.push_back(static_cast<wchar_t>(unit));
    }
    const std::string shown = !terminated ? "<name not terminated inside its item>"
                              : name.empty() ? "<unnamed>"
                                             : ToUtf8(name);
    const std::string type = TypeText(LoadI32(item + kTypeOffset), LoadU32(item + kDataOffset), item + kGuidOffset);
    return {shown + "  [" + type + "]", true};
}

// A child list is relative to its folder, normally one item; several items are
// shown joined, and only a list of real items is opened further.
Entry DescribeList(const std::vector<std::uint8_t>& list) {
    Entry entry{"", true};
    for (std::size_t at = 0; at < list.size();) {
        // An item too small for its own size field ends the walk.
        const std::size_t size = list.size() - at >= 2 ? LoadU16(list.data() + at) : 1;
        const Entry item = size >= 2 ? DescribeItem(list.data() + at, size)
                                     : Entry{Format("<item of %zu byte>", size), false};
        entry.text += (entry.text.empty() ? "" : "\\") + item.text;
        entry.folder = entry.folder && item.folder;
        at += size;
    }
    if (entry.text.empty()) {
        return {"<empty list>", false};
    }
    return entry;
}

// The reply does not carry its size; the task allocator knows it, so the block
// can be checked as a CIDA received from elsewhere before anything is read.
std::optional<std::size_t> ReplySize(const void* block) {
    ComPtr<IMalloc> allocator;
    if (FAILED(CoGetMalloc(MEMCTX_TASK, allocator.put()))) {
        return std::nullopt;
    }
    const SIZE_T size = allocator->GetSize(const_cast<void*>(block));
    if (size == static_cast<SIZE_T>(-1)) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(size);
}

// A list's bytes without the terminator; only for lists a checked CIDA holds.
std::vector<std::uint8_t> ListBytes(const std::uint8_t* list) {
    return std::vector<std::uint8_t>(list, list + ListSize(list));
}

struct Answer {
    HRESULT result = E_FAIL;
    std::string problem;  // set when the reply came but cannot be read
    bool otherParent = false;
    std::vector<std::vector<std::uint8_t>> children;
};

// Asks for the content of path (its items without terminator; empty: the root).
Answer Ask(const std::vector<std::uint8_t>& path, DWORD value) {
    Answer answer;
    std::vector<std::uint8_t> list(path);
    list.resize(path.size() + kTerminatorSize, 0);
    UniqueReply reply;
    answer.result = VtlsGetContentInSync(path.empty() ? nullptr : reinterpret_cast<LPCITEMIDLIST>(list.data()),
                                         value, reply.put());
    if (FAILED(answer.result)) {
        return answer;
    }
    if (!reply) {
        answer.problem = "the library reported success without a reply";
        return answer;
    }
    const auto* block = reinterpret_cast<const std::uint8_t*>(reply.get());
    const std::optional<std::size_t> size = ReplySize(block);
    if (!size) {
        answer.problem = "the reply's size is unknown";
        return answer;
    }
    const std::optional<CidaView> view = CidaView::Parse(block, *size);
    if (!view) {
        answer.problem = Format("the reply (%zu bytes) is not a well-formed CIDA", *size);
        return answer;
    }
    // The parent list names the folder the children belong to: the one asked for.
    const std::uint8_t* parent = view->Parent();
    answer.otherParent = parent == nullptr || ListBytes(parent) != path;
    for (std::uint32_t i = 0; i < view->Count(); ++i) {
        answer.children.push_back(ListBytes(view->Child(i)));
    }
    return answer;
}

class Browser {
public:
    explicit Browser(const Options& options) : options_(options) {}

    // False when the root request itself failed.
    bool Run() {
        const Answer root = Ask({}, options_.value);
        ++requests_;
        if (FAILED(root.result)) {
            Report(root.result);
            return false;
        }
        Out("(root)\n");
        List(root, {}, 1);
        return true;
    }

    void Summary() const {
        Out(Format("vtls browse: %zu entr%s, %zu request%s, %zu failed%s\n", entries_, entries_ == 1 ? "y" : "ies",
                   requests_, requests_ == 1 ? "" : "s", failed_,
                   truncated_ ? Format("; stopped at %zu entries", kMaxEntries).c_str() : ""));
    }
    [[nodiscard]] bool AllAnswered() const noexcept { return failed_ == 0 && !truncated_; }

private:
    static std::string Indent(unsigned long level) { return std::string(2 * level, ' '); }

    void Report(HRESULT result) const {
        if (result != E_FAIL) {
            Err(Format("vtls browse: VtlsGetContentInSync failed: 0x%08lX\n", static_cast<unsigned long>(result)));
        } else if (FindWindowW(VTLS_SRVCHANNEL_CLASS, VTLS_SERVER_WINDOW_NAME) == nullptr) {
            Err("vtls browse: no server answered: no process holds the server role (start vtls serve)\n");
        } else {
            Err("vtls browse: no server answered: the server refused the request or sent no reply\n");
        }
    }

    // Prints the children of the answer for path, at level, and opens each.
    void List(const Answer& answer, const std::vector<std::uint8_t>& path, unsigned long level) {
        if (!answer.problem.empty()) {
            ++failed_;
            Out(Indent(level) + "<" + answer.problem + ">\n");
            return;
        }
        if (answer.otherParent) {
            Out(Indent(level) + "<note: the reply names another folder as its parent>\n");
        }
        for (const std::vector<std::uint8_t>& child : answer.children) {
            if (entries_ == kMaxEntries) {
                truncated_ = true;
                return;
            }
            ++entries_;
            const Entry entry = DescribeList(child);
            Out(Indent(level) + entry.text + "\n");
            if (!entry.folder || level >= options_.depth) {
                continue;
            }
            std::vector<std::uint8_t> childPath(path);
            childPath.insert(childPath.end(), child.begin(), child.end());
            const Answer below = Ask(childPath, options_.value);
            ++requests_;
            if (FAILED(below.result)) {
                ++failed_;
                Out(Indent(level + 1) + Format("<no answer: 0x%08lX>\n", static_cast<unsigned long>(below.result)));
                continue;
            }
            List(below, childPath, level + 1);
        }
    }

    const Options& options_;
    std::size_t entries_ = 0;
    std::size_t requests_ = 0;
    std::size_t failed_ = 0;
    bool truncated_ = false;
};

int Browse(const Options& options) {
    const ClientRole role;
    if (FAILED(role.Result())) {
        Err(Format("vtls browse: VtlsCliInitialize failed: 0x%08lX\n", static_cast<unsigned long>(role.Result())));
        return kExitFailure;
    }
    // Replies come back to the notify window; a request sent before it exists
    // would name no window to answer to.
    if (!role.WaitForNotifyWindow()) {
        Err(Format("vtls browse: the notify window did not appear within %lu ms\n", kNotifyWindowWaitMs));
        return kExitFailure;
    }
    Browser browser(options);
    if (!browser.Run()) {
        return kExitFailure;
    }
    browser.Summary();
    std::fflush(stdout);
    return browser.AllAnswered() ? kExitOk : kExitFailure;
}

}  // namespace

int RunBrowse(int argc, wchar_t** argv) {
    Options options;
    ArgumentReader arguments("browse", kUsage);
    arguments.Whole(L"--value", 0, 0xFFFFFFFFul, [&](unsigned long n) { options.value = static_cast<DWORD>(n); });
    arguments.Whole(L"--depth", 1, kMaxDepth, [&](unsigned long n) { options.depth = n; });
    return arguments.Run(argc, argv, [&] { return Browse(options); });
}

}  // namespace vtls::tool
