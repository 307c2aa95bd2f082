// Binding through a root item to a real namespace extension: the tests' folder
// DLL, registered in the test prefix under the namespace root's class id (with
// IPersistFolder) and under a class id of the tests' own (without it).
#include <gtest/gtest.h>

#include <memory>

#include "VantrelSh.h"
#include "com_registration.h"
#include "base/com_ptr.h"
#include "namespace_lists.h"
#include "peers/test_folder_ids.h"

namespace {

using vtls::ComPtr;
using vtls::test::Bytes;
using vtls::test::ComApartment;
using vtls::test::Copy;
using vtls::test::Hex;
using vtls::test::kNamespaceRootList;
using vtls::test::List;
using vtls::test::Pidl;
using vtls::test::RawItem;
using vtls::test::ResultItem;
using vtls::test::RootItem;

constexpr wchar_t kFolderDll[] = L"vtls_test_folder.dll";

class FolderBinding : public testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::wstring dll = vtls::test::ProgramFolder() + L"\\" + kFolderDll;
        root_ = std::make_unique<vtls::test::ClassRegistration>(kRootClassId, L"InprocServer32", dll);
        plain_ = std::make_unique<vtls::test::ClassRegistration>(kPlainClassId, L"InprocServer32", dll);
    }
    static void TearDownTestSuite() {
        root_.reset();
        plain_.reset();
    }

    void SetUp() override {
        ASSERT_TRUE(root_->ok() && plain_->ok()) << "registering the test folder failed";
        ASSERT_EQ(com_.result(), S_OK);
        GetDesktopFolderInstance(&desktop_);
    }

    // Folders of the test DLL still alive in this process.
    static LONG LiveFolders() {
        const HMODULE module = GetModuleHandleW(kFolderDll);
        if (module == nullptr) {
            return -1;
        }
        using Count = LONG(WINAPI*)();
        return reinterpret_cast<Count>(reinterpret_cast<void*>(GetProcAddress(module, "TestFolderLiveObjects")))();
    }

    // What a test folder reports of itself: "init=... path=... bc=...".
    static std::string Report(IShellFolder* folder) {
        STRRET name{};
        if (FAILED(folder->GetDisplayNameOf(nullptr, SHGDN_FORPARSING, &name)) || name.uType != STRRET_WSTR) {
            return "<no report>";
        }
        const std::wstring text = name.pOleStr;
        CoTaskMemFree(name.pOleStr);
        return std::string(text.begin(), text.end());
    }

    static std::string Pointer(const void* pointer) {
        wchar_t text[32];
        std::swprintf(text, 32, L"%p", pointer);
        const std::wstring wide = text;
        return std::string(wide.begin(), wide.end());
    }

    static inline std::unique_ptr<vtls::test::ClassRegistration> root_;
    static inline std::unique_ptr<vtls::test::ClassRegistration> plain_;
    ComApartment com_;
    IShellFolder* desktop_ = nullptr;
};

TEST_F(FolderBinding, ARootItemAloneGivesTheExtensionsFolderInitialisedWithIt) {
    ComPtr<IShellFolder> folder;
    ASSERT_EQ(desktop_->BindToObject(Pidl(kNamespaceRootList), nullptr, IID_IShellFolder,
                                     reinterpret_cast<void**>(folder.put())),
              S_OK);
    ASSERT_TRUE(folder);
    EXPECT_EQ(Report(folder.get()), "init=" + Hex(Bytes(kNamespaceRootList.begin(), kNamespaceRootList.end() - 2)) +
                                        " path= bc=" + Pointer(nullptr));
    // The extension's own answer to QueryInterface, for any interface it has.
    ComPtr<IPersistFolder> persist;
    ASSERT_EQ(desktop_->BindToObject(Pidl(kNamespaceRootList), nullptr, IID_IPersistFolder,
                                     reinterpret_cast<void**>(persist.put())),
              S_OK);
    CLSID classId{};
    EXPECT_EQ(persist->GetClassID(&classId), S_OK);
    EXPECT_TRUE(IsEqualCLSID(classId, kRootClassId));
    persist.reset();
    folder.reset();
    EXPECT_EQ(LiveFolders(), 0) << "a reference to a folder was not given back";
}

TEST_F(FolderBinding, ItemsBelowTheRootItemAreBoundByTheExtension) {
    const Bytes below = List({RawItem({0xA1, 0xA2}), RawItem({0xB1, 0xB2, 0xB3, 0xB4})});
    Bytes list = List({RootItem(kRootClassId)});
    list.insert(list.end() - 2, below.begin(), below.end() - 2);
    ComPtr<IBindCtx> context;
    ASSERT_EQ(CreateBindCtx(0, context.put()), S_OK);
    ComPtr<IShellFolder> folder;
    ASSERT_EQ(desktop_->BindToObject(Pidl(list), context.get(), IID_IShellFolder,
                                     reinterpret_cast<void**>(folder.put())),
              S_OK);
    // Initialised with the root item alone, bound with the rest and the caller's
    // bind context.
    EXPECT_EQ(Report(folder.get()), "init=" + Hex(Bytes(kNamespaceRootList.begin(), kNamespaceRootList.end() - 2)) +
                                        " path=" + Hex(Bytes(below.begin(), below.end() - 2)) +
                                        " bc=" + Pointer(context.get()));
    folder.reset();
    EXPECT_EQ(LiveFolders(), 0);
}

TEST_F(FolderBinding, TheSpecialFolderLocationBindsToTheNamespaceRoot) {
    LPITEMIDLIST root = nullptr;
    ASSERT_EQ(VtlsGetSpecialFolderLocation(VTLS_FOLDER_ROOT, &root), S_OK);
    ComPtr<IShellFolder> folder;
    EXPECT_EQ(desktop_->BindToObject(root, nullptr, IID_IShellFolder, reinterpret_cast<void**>(folder.put())), S_OK);
    ASSERT_TRUE(folder);
    EXPECT_EQ(Report(folder.get()).rfind("init=" + Hex(Bytes(kNamespaceRootList.begin(), kNamespaceRootList.end() - 2)), 0), 0u);
    VtlsSHFree(root);
}

TEST_F(FolderBinding, AFolderWithoutIPersistFolderIsBoundUninitialised) {
    Bytes list = List({RootItem(kPlainClassId), RawItem({7})});
    ComPtr<IShellFolder> folder;
    ASSERT_EQ(desktop_->BindToObject(Pidl(list), nullptr, IID_IShellFolder, reinterpret_cast<void**>(folder.put())),
              S_OK);
    EXPECT_EQ(Report(folder.get()), "init=none path=030007 bc=" + Pointer(nullptr));
    folder.reset();
    EXPECT_EQ(LiveFolders(), 0);
}

TEST_F(FolderBinding, TheExtensionsAndCOMsFailuresComeBackUnchanged) {
    const HRESULT custom = static_cast<HRESULT>(0x80041234);
    struct Case {
        const char* what;
        Bytes list;
        IID riid;
        HRESULT expected;
    };
    constexpr CLSID kUnregistered{0x0BADC1A5, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
    const Case cases[] = {
        {"extension's BindToObject", List({RootItem(kRootClassId), ResultItem(custom)}), IID_IShellFolder, custom},
        {"extension's QueryInterface", List({RootItem(kRootClassId)}), IID_IDropTarget, E_NOINTERFACE},
        {"COM's CoCreateInstance", List({RootItem(kUnregistered)}), IID_IShellFolder, REGDB_E_CLASSNOTREG},
    };
    for (const Case& c : cases) {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(desktop_->BindToObject(Pidl(c.list), nullptr, c.riid, &object), c.expected) << c.what;
        EXPECT_EQ(object, nullptr) << c.what;
    }
    EXPECT_EQ(LiveFolders(), 0);
}

TEST_F(FolderBinding, RefusesListsThatDoNotBeginWithARootItem) {
    Bytes seventeen = List({Bytes(17, 0)});
    seventeen[0] = 17;
    for (const Bytes& list : {List({}), seventeen, List({vtls::test::EncodeReal(5, u"Alpha")})}) {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(desktop_->BindToObject(Pidl(list), nullptr, IID_IShellFolder, &object), E_INVALIDARG);
        EXPECT_EQ(object, nullptr);
    }
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(desktop_->BindToObject(nullptr, nullptr, IID_IShellFolder, &object), E_INVALIDARG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(desktop_->BindToObject(Pidl(kNamespaceRootList), nullptr, IID_IShellFolder, nullptr), E_INVALIDARG);
}

}  // namespace
