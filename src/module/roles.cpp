// Taking and leaving the server and client roles.
#include "VantrelSh.h"
#include "channel/role_state.h"
#include "channel/srv_advise_manager.h"
#include "base/unique_resource.h"
#include "notify/manager/fs_notify_manager.h"

namespace vtls {

VTLSCONTENTPROC g_pfnContent = nullptr;
BOOL g_bFsNotifyServer = FALSE;

namespace {

// The client role's named event: only its existence carries meaning.
UniqueHandle g_hAliveEvent;
// Set once the server channel has been started; the channel is stopped on
// terminate only then.
BOOL g_bSrvAdviseStarted = FALSE;

}  // namespace
}  // namespace vtls

extern "C" HRESULT WINAPI VtlsSrvInitialize(VTLSCONTENTPROC content) {
    using namespace vtls;
    // Without a callback every request would fault on the channel thread.
    if (content == nullptr) {
        return E_INVALIDARG;
    }
    g_bFsNotifyServer = TRUE;
    g_pfnContent = content;
    HRESULT hr = g_FsNotifyManager.Start();
    if (hr == S_OK) {
        g_bSrvAdviseStarted = TRUE;
        hr = g_SrvAdviseManager.Start();
    }
    if (FAILED(hr)) {
        VtlsTerminate();
    }
    return hr;
}

extern "C" HRESULT WINAPI VtlsCliInitialize() {
    using namespace vtls;
    // A second call replaces the handle; the earlier one is closed with it, so the
    // process holds the event once.
    g_hAliveEvent.reset(CreateEventW(nullptr, FALSE, FALSE, VTLS_ALIVE_EVENT_NAME));
    HRESULT hr = E_OUTOFMEMORY;
    if (g_hAliveEvent) {
        g_bFsNotifyServer = FALSE;
        hr = g_FsNotifyManager.Start();
    }
    if (FAILED(hr)) {
        VtlsTerminate();
    }
    return hr;
}

extern "C" void WINAPI VtlsTerminate() {
    using namespace vtls;
    g_hAliveEvent.reset();
    if (g_bSrvAdviseStarted) {
        g_SrvAdviseManager.Stop();
    }
    g_FsNotifyManager.Stop();
}

extern "C" BOOL WINAPI VtlsSrvIsShellAlive() {
    const vtls::UniqueHandle event(OpenEventW(MAXIMUM_ALLOWED, FALSE, VTLS_ALIVE_EVENT_NAME));
    return event ? TRUE : FALSE;
}
