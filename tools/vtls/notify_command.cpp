// vtls notify: posts one change, with item ids from the sample namespace, to
// the listeners of every process (or, private, of this one).
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "VantrelSh.h"
#include "arguments.h"
#include "change_events.h"
#include "change_listener.h"
#include "client_support.h"
#include "commands.h"
#include "console.h"
#include "itemid/portable/item_layout.h"
#include "sample_namespace.h"
#include "sample_names.h"
#include "base/portable/byte_order.h"

namespace vtls::tool {
namespace {

constexpr const char* kUsage =
    "usage: vtls notify <event> [--path P] [--path2 P] [--private] [--nowait]\n"
    "\n"
    "Posts a change with SHChangeNotify2 and flushes it to the notify windows\n"
    "of all processes, whose registered listeners (vtls watch) receive it.\n"
    "\n"
    "  <event>      a number (decimal or 0x hex) or a name, with or without\n"
    "               SHCNE_: %s\n"
    "  --path P     list 1: a path in the sample namespace of vtls serve, names\n"
    "               joined by '/' from a host down, e.g.\n"
    "               %s/%s/%s;\n"
    "               \"\" is the empty list (the network itself)\n"
    "  --path2 P    list 2, the same way (the new name of a rename); its last\n"
    "               name may be one the sample does not hold: that item is\n"
    "               list 1's last item under the new name\n"
    "  --private    a private event: delivered at once, and only to this\n"
    "               process's listeners; the command listens itself and prints\n"
    "               what its listener received\n"
    "  --nowait     flush 500 ms after the post (VTLS_SHCNF_FLUSHNOWAIT) instead\n"
    "               of at once; the command holds the client role until then\n";

// The timer flush follows 500 ms after the post; this leaves room for a slow machine.
constexpr DWORD kDeferredFlushWaitMs = 3000;

struct Options {
    LONG event = 0;
    bool haveEvent = false;
    std::optional<std::wstring> path1;
    std::optional<std::wstring> path2;
    bool privateEvent = false;
    bool noWait = false;
};

std::string Usage() {
    return Format(kUsage, EventNameList().c_str(), ToUtf8(samples::kHostScada).c_str(),
                  ToUtf8(samples::kServerSimulation).c_str(), ToUtf8(samples::kBranchRamps).c_str());
}

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

// The items along path, from the network down, with the terminator. Names may
// hold '/' themselves (PLC addresses do), so each step takes the longest
// child name that the rest of the path begins with, up to a separator or the end.
// With renamed, a rest that names no child is a new name: the item is renamed's
// own (type, data, class) under that name, as a rename's list 2 names it.
bool Resolve(const SampleNamespace& sample, std::wstring_view path, std::vector<std::uint8_t>& list,
             std::string& error, const SampleNode** last = nullptr, const SampleNode* renamed = nullptr) {
    const SampleNode* node = &sample.Network();
    std::wstring_view rest = path;
    while (!rest.empty() && IsSeparator(rest.front())) {
        rest.remove_prefix(1);
    }
    while (!rest.empty()) {
        const SampleNode* next = nullptr;
        for (const SampleNode& child : node->children) {
            const std::size_t length = child.name.size();
            if (rest.compare(0, length, child.name) == 0 && (rest.size() == length || IsSeparator(rest[length])) &&
                (next == nullptr || length > next->name.size())) {
                next = &child;
            }
        }
        if (next == nullptr && renamed != nullptr) {
            GUID guid{};
            std::memcpy(&guid, renamed->ItemBytes() + itemid::kGuidOffset, sizeof(guid));
            const UniqueIDList item(VtlsCreateID(std::wstring(rest).c_str(), renamed->type, renamed->data, &guid, 0,
                                                 nullptr));
            if (!item) {
                error = "VtlsCreateID failed for the new name";
                return false;
            }
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(item.get());
            list.insert(list.end(), bytes, bytes + itemid::LoadU16(bytes));
            list.resize(list.size() + itemid::kTerminatorSize, 0);
            return true;
        }
        if (next == nullptr) {
            std::size_t end = 0;
            while (end < rest.size() && !IsSeparator(rest[end])) {
                ++end;
            }
            std::string names;
            for (const SampleNode& child : node->children) {
                names += (names.empty() ? "" : ", ") + ToUtf8(child.name);
            }
            error = Format("no entry '%s' in '%s'; it holds: %s", ToUtf8(rest.substr(0, end)).c_str(),
                           ToUtf8(node->name).c_str(), names.empty() ? "nothing" : names.c_str());
            return false;
        }
        list.insert(list.end(), next->ItemBytes(), next->ItemBytes() + next->ItemSize());
        rest.remove_prefix(next->name.size());
        if (!rest.empty()) {
            rest.remove_prefix(1);
        }
        node = next;
    }
    list.resize(list.size() + itemid::kTerminatorSize, 0);
    if (last != nullptr) {
        *last = node;
    }
    return true;
}

LPCITEMIDLIST AsList(const std::vector<std::uint8_t>& bytes) {
    return bytes.empty() ? nullptr : reinterpret_cast<LPCITEMIDLIST>(bytes.data());
}

std::string Shown(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) {
        return "-";
    }
    const std::wstring names = PathNames(AsList(bytes));
    return names.empty() ? "(empty list)" : ToUtf8(names);
}

// Notify windows of other processes: where an immediate flush sends its batch.
unsigned CountOtherNotifyWindows() {
    const DWORD self = GetCurrentProcessId();
    unsigned count = 0;
    for (HWND window = FindWindowExW(nullptr, nullptr, VTLS_FSNOTIFY_CLASS, nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, VTLS_FSNOTIFY_CLASS, nullptr)) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        count += process != self ? 1 : 0;
    }
    return count;
}

std::unique_ptr<ChangeListener> OwnListener(const char* what) {
    std::string error;
    std::unique_ptr<ChangeListener> listener = ChangeListener::Create(
        [what](const std::string& line) { OutLine(Format("vtls notify: %s: %s\n", what, line.c_str())); }, error);
    if (!listener) {
        Err("vtls notify: " + error + "\n");
    }
    return listener;
}

// A private event never leaves the process and is delivered on the posting
// thread, so this process's own listener shows what listeners get.
int PostPrivate(const Options& options, const std::vector<std::uint8_t>& list1,
                const std::vector<std::uint8_t>& list2) {
    const std::unique_ptr<ChangeListener> listener = OwnListener("this process's listener received");
    if (!listener) {
        return kExitFailure;
    }
    // The extra bytes are the poster's own structure: two words of its choosing,
    // then the slot the library writes list 1's address into.
    std::uint8_t extra[8 + 8] = {};
    static_assert(sizeof(extra) >= 8 + sizeof(void*), "room for the list address");
    const std::uint32_t words[2] = {GetCurrentProcessId(), GetTickCount()};
    std::memcpy(extra, words, sizeof(words));
    const LONG event = static_cast<LONG>(static_cast<unsigned long>(options.event) | VTLS_SHCNE_PRIVATE);
    OutLine(Format("vtls notify: posting private event 0x%08lX list1 %s list2 %s extra %zu bytes\n",
                static_cast<unsigned long>(event), Shown(list1).c_str(), Shown(list2).c_str(), sizeof(extra)));
    SHChangeNotify2(event, VTLS_SHCNF_IDLIST, AsList(list1), AsList(list2), extra, sizeof(extra));
    if (listener->Received() == 0) {
        Err("vtls notify: the private event did not reach this process's listener\n");
        return kExitFailure;
    }
    return kExitOk;
}

// The immediate flush runs on this thread and sends the batch straight to the
// other processes' notify windows: no role and no window of its own needed.
int PostFlush(const Options& options, const std::vector<std::uint8_t>& list1,
              const std::vector<std::uint8_t>& list2) {
    const unsigned receivers = CountOtherNotifyWindows();
    SHChangeNotify2(options.event, VTLS_SHCNF_IDLIST | VTLS_SHCNF_FLUSH, AsList(list1), AsList(list2), nullptr,
                    0);
    if (options.event == 0) {
        OutLine(Format("vtls notify: event 0 posts nothing; flushed to %u notify window%s of other processes\n",
                    receivers, receivers == 1 ? "" : "s"));
        return kExitOk;
    }
    OutLine(Format("vtls notify: posted 0x%08lX %s list1 %s list2 %s and flushed; %u notify window%s of other "
                "processes found\n",
                static_cast<unsigned long>(options.event), EventName(options.event).c_str(), Shown(list1).c_str(),
                Shown(list2).c_str(), receivers, receivers == 1 ? "" : "s"));
    return kExitOk;
}

// The deferred flush runs from a timer on this process's notify window, so the
// client role must hold it until then. In that role the flush also delivers to
// this process's own listeners, which tells when it went out.
int PostDeferred(const Options& options, const std::vector<std::uint8_t>& list1,
                 const std::vector<std::uint8_t>& list2) {
    const ClientRole role;
    if (FAILED(role.Result())) {
        Err(Format("vtls notify: VtlsCliInitialize failed: 0x%08lX\n", static_cast<unsigned long>(role.Result())));
        return kExitFailure;
    }
    if (!role.WaitForNotifyWindow()) {
        Err(Format("vtls notify: the notify window did not appear within %lu ms\n", kNotifyWindowWaitMs));
        return kExitFailure;
    }
    const std::unique_ptr<ChangeListener> listener = OwnListener("flushed; this process's listener received");
    if (!listener) {
        return kExitFailure;
    }
    const ULONGLONG posted = GetTickCount64();
    SHChangeNotify2(options.event, VTLS_SHCNF_IDLIST | VTLS_SHCNF_FLUSHNOWAIT, AsList(list1), AsList(list2),
                    nullptr, 0);
    OutLine(Format("vtls notify: posted 0x%08lX %s list1 %s list2 %s; the flush follows in 500 ms\n",
                static_cast<unsigned long>(options.event), EventName(options.event).c_str(), Shown(list1).c_str(),
                Shown(list2).c_str()));
    // The own delivery is sent to the listener on this thread: pump until it came.
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        const ULONGLONG elapsed = GetTickCount64() - posted;
        if (listener->Received() != 0) {
            OutLine(Format("vtls notify: the flush went out %llu ms after the post\n", elapsed));
            // Leaving the role waits for the notify thread, so a broadcast still
            // running to other processes completes first.
            return kExitOk;
        }
        if (elapsed >= kDeferredFlushWaitMs) {
            Err(Format("vtls notify: no flush within %lu ms of the post\n", kDeferredFlushWaitMs));
            return kExitFailure;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(kDeferredFlushWaitMs - elapsed), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
    }
}

int Notify(const Options& options) {
    const std::unique_ptr<SampleNamespace> sample = SampleNamespace::Create();
    if (!sample) {
        Err("vtls notify: cannot build the sample namespace: VtlsCreateID failed\n");
        return kExitFailure;
    }
    std::vector<std::uint8_t> list1;
    std::vector<std::uint8_t> list2;
    std::string error;
    // A rename's new name is new to the sample: list 2 may end in it when list 1
    // ends in an item of the sample (not the network itself).
    const SampleNode* last1 = nullptr;
    if ((options.path1 && !Resolve(*sample, *options.path1, list1, error, &last1)) ||
        (options.path2 && !Resolve(*sample, *options.path2, list2, error, nullptr,
                                   last1 != &sample->Network() ? last1 : nullptr))) {
        Err("vtls notify: " + error + "\n");
        return kExitUsage;
    }
    if (options.privateEvent) {
        return PostPrivate(options, list1, list2);
    }
    return options.noWait ? PostDeferred(options, list1, list2) : PostFlush(options, list1, list2);
}

}  // namespace

int RunNotify(int argc, wchar_t** argv) {
    Options options;
    const std::string usage = Usage();
    ArgumentReader arguments("notify", usage);
    const auto path = [](std::optional<std::wstring>& target) {
        return [&target](const wchar_t* value) {
            target = value;
            return true;
        };
    };
    arguments.Value(L"--path", "a path", path(options.path1));
    arguments.Value(L"--path2", "a path", path(options.path2));
    arguments.Flag(L"--private", options.privateEvent);
    arguments.Flag(L"--nowait", options.noWait);
    arguments.Positional([&](const wchar_t* argument) -> std::string {
        if (options.haveEvent) {
            return "unexpected argument '" + ToUtf8(argument) + "'";
        }
        if (!ParseEvent(argument, options.event)) {
            return "'" + ToUtf8(argument) + "' is no event code nor one of: " + EventNameList();
        }
        options.haveEvent = true;
        return "";
    });
    arguments.Check([&]() -> std::string { return options.haveEvent ? "" : "which event?"; }, true);
    // This process queues nothing but its own event, so a deferred flush of
    // event 0 would flush an empty queue.
    arguments.Check([&]() -> std::string {
        return options.event == 0 && options.noWait && !options.privateEvent
                   ? "event 0 only flushes, and with --nowait it would flush nothing"
                   : "";
    });
    return arguments.Run(argc, argv, [&] { return Notify(options); });
}

}  // namespace vtls::tool
