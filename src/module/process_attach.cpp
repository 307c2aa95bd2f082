#include "module/process_attach.h"

#include "VantrelSh.h"
#include "platform/clipboard_formats.h"
#include "base/module_record.h"
#include "platform/process_flags.h"
#include "platform/portable/version_rules.h"
#include "icons/shell_icon_metrics.h"

namespace vtls {
namespace {

void InitModuleRecord(HINSTANCE instance) noexcept {
    g_Module.instance = instance;
    // No debug information: the lock then owns no memory, so the record needs no
    // teardown, which it must not have while threads of the library may still run.
    InitializeCriticalSectionEx(&g_Module.windowCreationLock, 0, CRITICAL_SECTION_NO_DEBUG_INFO);
    g_Module.pendingCreations = nullptr;
}

void InitVersionFlags() noexcept {
    DWORD platform = 0;
    DWORD major = 0;
    DWORD minor = 0;
    SHGetVersion(&platform, &major, &minor);
    const frame::ProcessFlags flags = frame::DeriveProcessFlags({platform, major, minor});
    g_bIsNT = flags.isNT;
    g_bIsIntegratedIE = flags.isIntegratedIE;
    g_bIsWin2000 = flags.isWin2000;
}

}  // namespace

void OnProcessAttach(HINSTANCE instance) noexcept {
    InitModuleRecord(instance);
    InitVersionFlags();
    InitClipboardFormats();
    InitShellIconMetrics();
}

}  // namespace vtls
