// The six clipboard formats: registered at attach, handed out by the Get
// functions and checked by the Is functions.
#include "platform/clipboard_formats.h"

#include "VantrelSh.h"
#include "platform/portable/format_rules.h"

namespace vtls {

UINT cfItemID = 0;
UINT cfItemIDArray = 0;
UINT cfDataSource = 0;
UINT cfDataSourceArray = 0;
UINT cfStmFormatDataTime = 0;
UINT cfServer = 0;

void InitClipboardFormats() noexcept {
    // The window station gives every process the same id for the same name, so
    // ids compare across processes. A failed registration leaves 0.
    cfItemID = RegisterClipboardFormatW(VTLS_CFSTR_ITEMID);
    cfItemIDArray = RegisterClipboardFormatW(VTLS_CFSTR_ITEMIDARRAY);
    cfDataSource = RegisterClipboardFormatW(VTLS_CFSTR_DATASOURCE);
    cfDataSourceArray = RegisterClipboardFormatW(VTLS_CFSTR_DATASOURCEARRAY);
    cfStmFormatDataTime = RegisterClipboardFormatW(VTLS_CFSTR_STMFORMATDATATIME);
    cfServer = RegisterClipboardFormatW(VTLS_CFSTR_SERVER);
}

namespace {

UINT FillFormatEtc(UINT formatId, FORMATETC* formatEtc) noexcept {
    if (formatEtc != nullptr) {
        formatEtc->cfFormat = static_cast<CLIPFORMAT>(formatId);
        formatEtc->ptd = nullptr;
        formatEtc->dwAspect = DVASPECT_CONTENT;
        formatEtc->lindex = -1;
        formatEtc->tymed = TYMED_HGLOBAL;
    }
    return formatId;
}

HRESULT CheckFormatEtc(UINT formatId, const FORMATETC* formatEtc) noexcept {
    // Callers must pass a structure; refuse null instead of reading through it.
    if (formatEtc == nullptr) {
        return E_INVALIDARG;
    }
    return frame::CheckFormatEtc(formatId, {formatEtc->cfFormat, formatEtc->dwAspect,
                                            formatEtc->lindex, formatEtc->tymed});
}

static_assert(sizeof(CLIPFORMAT) == 2);
static_assert(frame::kTymedHGlobal == TYMED_HGLOBAL);
static_assert(frame::kAspectContent == DVASPECT_CONTENT);
static_assert(frame::kClipboardText == CF_TEXT);
#ifndef _WIN64
static_assert(sizeof(FORMATETC) == 20);
#endif

}  // namespace
}  // namespace vtls

extern "C" UINT WINAPI VtlsGetDataSourceFormat(FORMATETC* formatEtc) {
    return vtls::FillFormatEtc(vtls::cfDataSource, formatEtc);
}

extern "C" HRESULT WINAPI VtlsIsDataSourceFormat(const FORMATETC* formatEtc) {
    return vtls::CheckFormatEtc(vtls::cfDataSource, formatEtc);
}

extern "C" UINT WINAPI VtlsGetDataSourceListFormat(FORMATETC* formatEtc) {
    return vtls::FillFormatEtc(vtls::cfDataSourceArray, formatEtc);
}

extern "C" HRESULT WINAPI VtlsIsDataSourceListFormat(const FORMATETC* formatEtc) {
    return vtls::CheckFormatEtc(vtls::cfDataSourceArray, formatEtc);
}

extern "C" UINT WINAPI VtlsGetItemIDFormat(FORMATETC* formatEtc) {
    return vtls::FillFormatEtc(vtls::cfItemID, formatEtc);
}

extern "C" HRESULT WINAPI VtlsIsItemIDFormat(const FORMATETC* formatEtc) {
    return vtls::CheckFormatEtc(vtls::cfItemID, formatEtc);
}

extern "C" UINT WINAPI VtlsGetItemIDListFormat(FORMATETC* formatEtc) {
    return vtls::FillFormatEtc(vtls::cfItemIDArray, formatEtc);
}

extern "C" HRESULT WINAPI VtlsIsItemIDListFormat(const FORMATETC* formatEtc) {
    return vtls::CheckFormatEtc(vtls::cfItemIDArray, formatEtc);
}

extern "C" UINT WINAPI VtlsGetTextFormat(FORMATETC* formatEtc) {
    return vtls::FillFormatEtc(vtls::frame::kClipboardText, formatEtc);
}

extern "C" HRESULT WINAPI VtlsIsTextFormat(const FORMATETC* formatEtc) {
    return vtls::CheckFormatEtc(vtls::frame::kClipboardText, formatEtc);
}

extern "C" UINT WINAPI VtlsGetServerFormat(FORMATETC* formatEtc) {
    return vtls::FillFormatEtc(vtls::cfServer, formatEtc);
}

extern "C" HRESULT WINAPI VtlsIsServerFormat(const FORMATETC* formatEtc) {
    return vtls::CheckFormatEtc(vtls::cfServer, formatEtc);
}
