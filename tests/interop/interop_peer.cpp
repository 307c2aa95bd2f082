// One side of the 32/64-bit exchanges: built for i686 and x86_64 from this one
// source, and run as two processes of different widths in one prefix. Every
// command builds the same sample data locally and compares what crossed the
// process boundary with it byte for byte; it also prints the bytes in hex, so
// the calling script can compare the two sides' logs.
//
//   interop_peer arch                        prints the pointer width
//   interop_peer ids-write FILE              item lists as stream records into FILE
//   interop_peer ids-read FILE               reads FILE's records, checks each list
//   interop_peer regstream-save KEY VALUE    the records saved as HKCU\KEY value VALUE
//   interop_peer regstream-open KEY VALUE    that value opened as a stream, records checked
//   interop_peer serve SECONDS               server role: answers the sample content
//   interop_peer request                     client role: asks for the root and a folder
//   interop_peer listen SECONDS              client role: waits for the sample change
//   interop_peer post                        posts the sample change with a flush
//
// Exit codes: 0 all checks held, 1 a check failed, 2 usage.
#include <windows.h>

#include <VantrelSh.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct ItemListFree {
    void operator()(ITEMIDLIST* list) const noexcept { VtlsSHFree(list); }
};
using ItemList = std::unique_ptr<ITEMIDLIST, ItemListFree>;
using Bytes = std::vector<unsigned char>;

constexpr GUID kSiteClass = {0x51C0FFEE, 0x7A21, 0x4E0B, {0x93, 0x11, 0x0C, 0xA5, 0xE7, 0x2D, 0x64, 0x19}};
constexpr GUID kNodeClass = {0x0DD5A1E7, 0x3B44, 0x4F6C, {0xA0, 0x72, 0x58, 0x1E, 0x9B, 0x03, 0xCD, 0x8E}};

int Fail(const char* what) {
    std::printf("FAIL: %s\n", what);
    return 1;
}

std::string Hex(const unsigned char* data, std::size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 15];
    }
    return text.empty() ? "-" : text;
}
std::string Hex(const Bytes& bytes) { return Hex(bytes.data(), bytes.size()); }

// The bytes of a list with its terminator; empty for NULL.
Bytes ListBytes(LPCITEMIDLIST list) {
    if (list == nullptr) return {};
    const auto* at = reinterpret_cast<const unsigned char*>(list);
    std::size_t size = 0;
    for (;;) {
        USHORT cb = 0;
        std::memcpy(&cb, at + size, sizeof cb);
        if (cb == 0) break;
        size += cb;
    }
    return Bytes(at, at + size + 2);
}

ItemList Real(const wchar_t* name, INT type, DWORD data, const GUID& guid, const Bytes& extra) {
    return ItemList(VtlsCreateID(name, type, data, &guid, static_cast<INT>(extra.size()),
                                 extra.empty() ? nullptr : extra.data()));
}

// Several one-item lists joined into one list, in the library's allocator.
ItemList Join(const std::vector<const ITEMIDLIST*>& parts) {
    Bytes joined;
    for (const ITEMIDLIST* part : parts) {
        const Bytes bytes = ListBytes(part);
        joined.insert(joined.end(), bytes.begin(), bytes.end() - 2);
    }
    joined.push_back(0);
    joined.push_back(0);
    auto* list = static_cast<ITEMIDLIST*>(VtlsSHAlloc(static_cast<ULONG>(joined.size())));
    if (list != nullptr) std::memcpy(list, joined.data(), joined.size());
    return ItemList(list);
}

// The one-item lists of the stream records: a real item with extra bytes, one
// without a name, a wait and two error placeholders.
std::vector<ItemList> SampleRecords() {
    std::vector<ItemList> lists;
    lists.push_back(Real(L"KESTREL-GW1", 2, 0x11223344, kSiteClass, {0x01, 0x02, 0x03, 0xFE, 0xFF}));
    lists.push_back(Real(nullptr, 7, 0xA5A5A5A5u, kNodeClass, {}));
    lists.push_back(ItemList(VtlsCreateWaitID()));
    lists.push_back(ItemList(VtlsCreateErrorID(0x80070005u, FALSE)));
    lists.push_back(ItemList(VtlsCreateErrorID(0x8000FFFFu, TRUE)));
    return lists;
}

// The children of the sample content: names, types, data and extra bytes of several sizes.
std::vector<ItemList> SampleChildren() {
    std::vector<ItemList> lists;
    lists.push_back(Real(L"Boiler House", 3, 1, kNodeClass, {0xAA}));
    lists.push_back(Real(L"Pump.Station-7", 4, 0xFFFFFFFFu, kNodeClass, {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70}));
    lists.push_back(Real(L"\u00C4u\u00DFenlager", 5, 0, kSiteClass, {}));
    return lists;
}

// The folder the second request asks for: two items deep.
ItemList SampleFolder() {
    const ItemList site = Real(L"KESTREL-GW1", 2, 7, kSiteClass, {0x5A});
    const ItemList node = Real(L"Line 4", 3, 9, kNodeClass, {0x01, 0x00, 0x02});
    return Join({site.get(), node.get()});
}

// The bytes of a packed CIDA: count, offsets, and the lists up to the end of the last one.
Bytes CidaBytes(const CIDA* cida) {
    std::size_t end = sizeof(UINT) * (cida->cidl + 2);
    for (UINT i = 0; i <= cida->cidl; ++i) {
        const auto* list = reinterpret_cast<const ITEMIDLIST*>(reinterpret_cast<const unsigned char*>(cida) +
                                                               cida->aoffset[i]);
        end = (std::max)(end, static_cast<std::size_t>(cida->aoffset[i]) + ListBytes(list).size());
    }
    const auto* at = reinterpret_cast<const unsigned char*>(cida);
    return Bytes(at, at + end);
}

// The sample content of a folder as SHCreateCIDA packs it (parent NULL: the root).
Bytes SampleCida(LPCITEMIDLIST parent) {
    const std::vector<ItemList> children = SampleChildren();
    std::vector<LPCITEMIDLIST> pointers;
    for (const ItemList& child : children) pointers.push_back(child.get());
    const HGLOBAL cida = SHCreateCIDA(parent, static_cast<UINT>(pointers.size()), pointers.data());
    if (cida == nullptr) return {};
    const Bytes bytes = CidaBytes(static_cast<const CIDA*>(GlobalLock(cida)));
    GlobalUnlock(cida);
    GlobalFree(cida);
    return bytes;
}

struct ComInit {
    ComInit() : result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComInit() {
        if (SUCCEEDED(result)) CoUninitialize();
    }
    const HRESULT result;
};

IStream* NewMemoryStream() {
    IStream* stream = nullptr;
    return SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) ? stream : nullptr;
}

// The sample records written into a new memory stream; NULL on failure.
IStream* RecordsStream() {
    IStream* stream = NewMemoryStream();
    if (stream == nullptr) return nullptr;
    for (const ItemList& list : SampleRecords()) {
        const HRESULT hr = ILStgWrite(stream, list.get());
        if (hr != S_OK) {
            std::printf("ILStgWrite: 0x%08lX\n", static_cast<unsigned long>(hr));
            stream->Release();
            return nullptr;
        }
    }
    return stream;
}

Bytes WholeStream(IStream* stream) {
    STATSTG stat{};
    Bytes bytes;
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return bytes;
    bytes.resize(static_cast<std::size_t>(stat.cbSize.QuadPart));
    LARGE_INTEGER zero{};
    ULONG read = 0;
    if (FAILED(stream->Seek(zero, STREAM_SEEK_SET, nullptr)) ||
        FAILED(stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read)) || read != bytes.size()) {
        bytes.clear();
    }
    return bytes;
}

// Reads the records from the stream's position and compares each with the sample.
int CheckRecords(IStream* stream) {
    const std::vector<ItemList> expected = SampleRecords();
    int index = 0;
    for (const ItemList& want : expected) {
        LPITEMIDLIST got = nullptr;
        const HRESULT hr = ILStgRead(stream, &got);
        const ItemList owned(got);
        if (hr != S_OK) {
            std::printf("record %d: ILStgRead 0x%08lX\n", index, static_cast<unsigned long>(hr));
            return 1;
        }
        const Bytes gotBytes = ListBytes(got);
        std::printf("record %d %s\n", index, Hex(gotBytes).c_str());
        if (gotBytes != ListBytes(want.get())) {
            std::printf("record %d differs; expected %s\n", index, Hex(ListBytes(want.get())).c_str());
            return 1;
        }
        ++index;
    }
    LPITEMIDLIST extra = nullptr;
    const HRESULT after = ILStgRead(stream, &extra);
    VtlsSHFree(extra);
    if (after == S_OK) return Fail("a record more than written");
    std::printf("records: %d match\n", index);
    return 0;
}

int IdsWrite(const char* path) {
    IStream* stream = RecordsStream();
    if (stream == nullptr) return Fail("records stream");
    const Bytes bytes = WholeStream(stream);
    stream->Release();
    if (bytes.empty()) return Fail("stream content");
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return Fail("open the file for writing");
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) return Fail("write the file");
    std::printf("wrote %u bytes %s\n", static_cast<unsigned>(bytes.size()), Hex(bytes).c_str());
    return 0;
}

int IdsRead(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return Fail("open the file for reading");
    Bytes bytes;
    unsigned char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(file);
    IStream* stream = NewMemoryStream();
    if (stream == nullptr) return Fail("memory stream");
    ULONG written = 0;
    LARGE_INTEGER zero{};
    if (FAILED(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written)) ||
        written != bytes.size() || FAILED(stream->Seek(zero, STREAM_SEEK_SET, nullptr))) {
        stream->Release();
        return Fail("fill the memory stream");
    }
    const int result = CheckRecords(stream);
    stream->Release();
    return result;
}

std::wstring Wide(const char* text) { return std::wstring(text, text + std::strlen(text)); }

int RegStreamSave(const char* keyPath, const char* value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, Wide(keyPath).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return Fail("create the key");
    }
    IStream* stream = RecordsStream();
    if (stream == nullptr) {
        RegCloseKey(key);
        return Fail("records stream");
    }
    const Bytes bytes = WholeStream(stream);
    const HRESULT hr = VtlsRegSaveStream(key, Wide(value).c_str(), stream);
    stream->Release();
    RegCloseKey(key);
    std::printf("VtlsRegSaveStream 0x%08lX, %u bytes %s\n", static_cast<unsigned long>(hr),
                static_cast<unsigned>(bytes.size()), Hex(bytes).c_str());
    return hr == S_OK ? 0 : 1;
}

int RegStreamOpen(const char* keyPath, const char* value) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(keyPath).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return Fail("open the key");
    }
    IStream* stream = nullptr;
    const HRESULT hr = VtlsRegOpenStream(key, Wide(value).c_str(), &stream);
    RegCloseKey(key);
    std::printf("VtlsRegOpenStream 0x%08lX\n", static_cast<unsigned long>(hr));
    if (hr != S_OK || stream == nullptr) return 1;
    const Bytes bytes = WholeStream(stream);
    std::printf("opened %u bytes %s\n", static_cast<unsigned>(bytes.size()), Hex(bytes).c_str());
    LARGE_INTEGER zero{};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    const int result = CheckRecords(stream);
    stream->Release();
    return result;
}

// ---- Content requests ------------------------------------------------------

int g_answered = 0;
bool g_requestsMatched = true;

HRESULT WINAPI AnswerContent(LPCITEMIDLIST parent, DWORD value, HGLOBAL* content) {
    const Bytes parentBytes = ListBytes(parent);
    std::printf("request value %lu parent %s\n", static_cast<unsigned long>(value), Hex(parentBytes).c_str());
    if (parent != nullptr) {
        const ItemList folder = SampleFolder();
        if (parentBytes != ListBytes(folder.get())) {
            std::printf("the requested folder differs from the sample folder\n");
            g_requestsMatched = false;
            return E_FAIL;
        }
    }
    const std::vector<ItemList> children = SampleChildren();
    std::vector<LPCITEMIDLIST> pointers;
    for (const ItemList& child : children) pointers.push_back(child.get());
    const HGLOBAL cida = SHCreateCIDA(parent, static_cast<UINT>(pointers.size()), pointers.data());
    if (cida == nullptr) return E_OUTOFMEMORY;
    std::printf("answer %s\n", Hex(CidaBytes(static_cast<const CIDA*>(GlobalLock(cida)))).c_str());
    GlobalUnlock(cida);
    *content = cida;
    ++g_answered;
    return S_OK;
}

int Serve(DWORD seconds) {
    const HRESULT hr = VtlsSrvInitialize(AnswerContent);
    if (FAILED(hr)) {
        std::printf("VtlsSrvInitialize 0x%08lX\n", static_cast<unsigned long>(hr));
        return 1;
    }
    std::printf("serving; ready\n");
    // Ends early once both requests were answered; the library's threads answer meanwhile.
    for (DWORD waited = 0; waited < seconds * 1000 && g_answered < 2; waited += 50) Sleep(50);
    Sleep(200);
    VtlsTerminate();
    std::printf("answered %d\n", g_answered);
    return g_answered == 2 && g_requestsMatched ? 0 : 1;
}

int RequestOne(LPCITEMIDLIST folder, DWORD value) {
    CIDA* content = nullptr;
    const HRESULT hr = VtlsGetContentInSync(folder, value, &content);
    if (hr != S_OK || content == nullptr) {
        std::printf("VtlsGetContentInSync 0x%08lX\n", static_cast<unsigned long>(hr));
        return 1;
    }
    const Bytes got = CidaBytes(content);
    CoTaskMemFree(content);
    const Bytes want = SampleCida(folder);
    std::printf("content %s\n", Hex(got).c_str());
    if (want.empty() || got != want) {
        std::printf("the content differs; expected %s\n", Hex(want).c_str());
        return 1;
    }
    std::printf("content of %s: %u bytes match\n", folder == nullptr ? "the root" : "the folder",
                static_cast<unsigned>(got.size()));
    return 0;
}

int Request() {
    const HRESULT hr = VtlsCliInitialize();
    if (FAILED(hr)) {
        std::printf("VtlsCliInitialize 0x%08lX\n", static_cast<unsigned long>(hr));
        return 1;
    }
    const ItemList folder = SampleFolder();
    const int result = RequestOne(nullptr, 1201) | RequestOne(folder.get(), 1202);
    VtlsTerminate();
    return result;
}

// ---- Change notification ---------------------------------------------------

constexpr LONG kSampleEvent = SHCNE_RENAMEFOLDER;
const Bytes kSampleExtra = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA};

struct SampleChange {
    ItemList list1;
    ItemList list2;
};
SampleChange MakeSampleChange() {
    const ItemList site = Real(L"KESTREL-GW1", 2, 0, kSiteClass, {});
    const ItemList node = Real(L"Old Name", 3, 42, kNodeClass, {0xC3, 0x3C});
    const ItemList renamed = Real(L"New Name", 3, 42, kNodeClass, {0xC3, 0x3C, 0x7E});
    return {Join({site.get(), node.get()}), Join({site.get(), renamed.get()})};
}

int g_changes = 0;
bool g_changeMatched = false;

LRESULT CALLBACK ListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_VTLS_FSNOTIFY) {
        const auto* change = reinterpret_cast<const VTLSCHANGEINFO*>(lParam);
        const Bytes list1 = ListBytes(change->list1);
        const Bytes list2 = ListBytes(change->list2);
        const Bytes extra = change->extra == nullptr
                                ? Bytes{}
                                : Bytes(static_cast<const unsigned char*>(change->extra),
                                        static_cast<const unsigned char*>(change->extra) + change->cbExtra);
        std::printf("change event 0x%08lX list1 %s list2 %s extra %s\n", static_cast<unsigned long>(change->event),
                    Hex(list1).c_str(), Hex(list2).c_str(), Hex(extra).c_str());
        const SampleChange want = MakeSampleChange();
        g_changeMatched = change->event == kSampleEvent && list1 == ListBytes(want.list1.get()) &&
                          list2 == ListBytes(want.list2.get()) && extra == kSampleExtra;
        ++g_changes;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int Listen(DWORD seconds) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ListenerProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"InteropPeerListener";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                        windowClass.hInstance, nullptr);
    if (window == nullptr) return Fail("listener window");
    HRESULT hr = VtlsCliInitialize();
    if (SUCCEEDED(hr)) hr = VtlsSHChangeNotifyRegister(window);
    if (hr != S_OK) {
        std::printf("listener set-up 0x%08lX\n", static_cast<unsigned long>(hr));
        DestroyWindow(window);
        VtlsTerminate();
        return 1;
    }
    std::printf("listening; ready\n");
    const ULONGLONG end = GetTickCount64() + seconds * 1000ull;
    for (ULONGLONG now = GetTickCount64(); g_changes == 0 && now < end; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    VtlsSHChangeNotifyRevoke(window);
    DestroyWindow(window);
    VtlsTerminate();
    if (g_changes == 0) return Fail("no change arrived");
    if (!g_changeMatched) return Fail("the change differs from the sample");
    std::printf("change: event, both lists and %u extra bytes match\n", static_cast<unsigned>(kSampleExtra.size()));
    return 0;
}

int Post() {
    const SampleChange change = MakeSampleChange();
    if (!change.list1 || !change.list2) return Fail("sample lists");
    SHChangeNotify2(kSampleEvent, VTLS_SHCNF_IDLIST | VTLS_SHCNF_FLUSH, change.list1.get(), change.list2.get(),
                    kSampleExtra.data(), static_cast<UINT>(kSampleExtra.size()));
    std::printf("posted event 0x%08lX list1 %s list2 %s extra %s\n", static_cast<unsigned long>(kSampleEvent),
                Hex(ListBytes(change.list1.get())).c_str(), Hex(ListBytes(change.list2.get())).c_str(),
                Hex(kSampleExtra).c_str());
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: interop_peer arch | ids-write FILE | ids-read FILE | regstream-save KEY VALUE |\n"
                 "       regstream-open KEY VALUE | serve SECONDS | request | listen SECONDS | post\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    std::printf("interop_peer %d-bit: %s\n", static_cast<int>(sizeof(void*) * 8), command.c_str());
    const ComInit com;
    if (command == "arch" && argc == 2) return 0;
    if (command == "ids-write" && argc == 3) return IdsWrite(argv[2]);
    if (command == "ids-read" && argc == 3) return IdsRead(argv[2]);
    if (command == "regstream-save" && argc == 4) return RegStreamSave(argv[2], argv[3]);
    if (command == "regstream-open" && argc == 4) return RegStreamOpen(argv[2], argv[3]);
    if (command == "serve" && argc == 3) return Serve(std::strtoul(argv[2], nullptr, 10));
    if (command == "request" && argc == 2) return Request();
    if (command == "listen" && argc == 3) return Listen(std::strtoul(argv[2], nullptr, 10));
    if (command == "post" && argc == 2) return Post();
    return Usage();
}
