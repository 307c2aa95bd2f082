// Binding through a root item to a real namespace extension: the tests' folder
// DLL, registered under the namespace root's class id (with IPersistFolder) and
// under a class id of the tests' own (without it).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "VantrelSh.h"
#include "base/com_ptr.h"
#include "namespace_helpers.h"
#include "peers/test_folder_ids.h"

namespace {

using namespace vtls::test;
using vtls::ComPtr;

class FolderBinding : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root_.ok() && plain_.ok()) << "registering the test folder failed";
        ASSERT_EQ(com_.result(), S_OK);
        GetDesktopFolderInstance(&desktop_);
    }
    void TearDown() override {
        // Every reference taken on a folder's behalf was given back.
        const HMODULE module = GetModuleHandleW(L"vtls_test_folder.dll");
        if (module != nullptr) {
            const auto live = reinterpret_cast<LONG(WINAPI*)()>(
                reinterpret_cast<void*>(GetProcAddress(module, "TestFolderLiveObjects")));
            EXPECT_EQ(live(), 0);
        }
    }

    // Binds list and returns what the test folder reports of itself:
    // "init=<root list> path=<items below> bc=<bind context's address>".
    std::string Report(const Bytes& list, IBindCtx* context = nullptr) const {
        ComPtr<IShellFolder> folder;
        STRRET name{};
        if (desktop_->BindToObject(Pidl(list), context, IID_IShellFolder, reinterpret_cast<void**>(folder.put())) !=
                S_OK ||
            FAILED(folder->GetDisplayNameOf(nullptr, SHGDN_FORPARSING, &name)) || name.uType != STRRET_WSTR) {
            return "<no report>";
        }
        const std::wstring text = name.pOleStr;
        CoTaskMemFree(name.pOleStr);
        return std::string(text.begin(), text.end());
    }
    const std::wstring dll_ = ProgramFolder() + L"\\vtls_test_folder.dll";
    const ServerRegistration root_{kRootClassId, L"InprocServer32", dll_};
    const ServerRegistration plain_{kPlainClassId, L"InprocServer32", dll_};
    ComApartment com_;
    IShellFolder* desktop_ = nullptr;
};

const std::string kRootInit = "init=" + Hex(Bytes(kNamespaceRootList.begin(), kNamespaceRootList.end() - 2));

// The special folder location is the namespace root's list; without
// IPersistFolder the folder is bound uninitialised.
TEST_F(FolderBinding, TheExtensionIsInitialisedWithTheRootItemAndBindsTheRest) {
    LPITEMIDLIST root = nullptr;
    ASSERT_EQ(VtlsGetSpecialFolderLocation(VTLS_FOLDER_ROOT, &root), S_OK);
    EXPECT_EQ(Report(ListBytes(root)), kRootInit + " path= bc=0");
    VtlsSHFree(root);
    const Bytes below = List({RawItem({0xA1, 0xA2}), RawItem({0xB1, 0xB2, 0xB3, 0xB4})});
    Bytes list = List({RootItem(kRootClassId)});
    list.insert(list.end() - 2, below.begin(), below.end() - 2);
    ComPtr<IBindCtx> context;
    ASSERT_EQ(CreateBindCtx(0, context.put()), S_OK);
    EXPECT_EQ(Report(list, context.get()),
              kRootInit + " path=" + Hex(Bytes(below.begin(), below.end() - 2)) + " bc=" +
                  std::to_string(reinterpret_cast<std::uintptr_t>(context.get())));
    EXPECT_EQ(Report(List({RootItem(kPlainClassId), RawItem({7})})), "init=none path=030007 bc=0");
}

TEST_F(FolderBinding, FailuresComeBackUnchangedAndListsWithoutARootItemAreRefused) {
    const HRESULT custom = static_cast<HRESULT>(0x80041234);
    constexpr CLSID kUnregistered{0x0BADC1A5, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
    const struct {
        Bytes list;
        IID riid;
        HRESULT expected;
    } cases[] = {
        {List({RootItem(kRootClassId), ResultItem(custom)}), IID_IShellFolder, custom},  // extension's bind
        {List({RootItem(kRootClassId)}), IID_IDropTarget, E_NOINTERFACE},               // its QueryInterface
        {List({RootItem(kUnregistered)}), IID_IShellFolder, REGDB_E_CLASSNOTREG},        // COM's creation
        {List({}), IID_IShellFolder, E_INVALIDARG},
        {List({SizedItem(17)}), IID_IShellFolder, E_INVALIDARG},
        {List({EncodeReal(5, u"Alpha")}), IID_IShellFolder, E_INVALIDARG},
    };
    for (const auto& c : cases) {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(desktop_->BindToObject(Pidl(c.list), nullptr, c.riid, &object), c.expected) << Hex(c.list);
        EXPECT_EQ(object, nullptr);
    }
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(desktop_->BindToObject(nullptr, nullptr, IID_IShellFolder, &object), E_INVALIDARG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(desktop_->BindToObject(Pidl(kNamespaceRootList), nullptr, IID_IShellFolder, nullptr), E_INVALIDARG);
}

}  // namespace
