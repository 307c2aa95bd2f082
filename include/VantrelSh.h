/*
 * VantrelSh: shared machinery of the Vantrel shell namespace extension and of the
 * OPC Data Access browsing dialogs. Every function here is an export of
 * VantrelSh.dll and uses the standard Windows calling convention (WINAPI).
 *
 * Link with the import library libVantrelSh.dll.a (MinGW). On 32-bit Windows the
 * exports carry undecorated names; the import library binds the decorated
 * stdcall symbols your compiler emits to them.
 */
#ifndef VANTRELSH_H
#define VANTRELSH_H

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#ifdef VANTRELSH_BUILD
/* The library's own sources: exports come from the module definition only. */
#define VTLSAPI
#else
#define VTLSAPI __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Platform and shell version ------------------------------------------ */

/* Platform codes reported by SHGetVersion (those of DLLVERSIONINFO). */
#define VTLS_PLATFORM_WINDOWS 1
#define VTLS_PLATFORM_NT 2

/* Ordinal 10. Reports the platform code and the shell's version. The shell is
 * asked only if shell32.dll is already loaded in the process; otherwise, or if it
 * cannot tell, the shell is reported as 4.0 and the platform comes from the
 * system. All three pointers are required. */
VTLSAPI void WINAPI SHGetVersion(DWORD* platform, DWORD* major, DWORD* minor);

/* Ordinals 11, 12, 13. Flags fixed when the library was loaded: NT platform,
 * shell 4.71 or later, shell 5 or later. Each returns 0 or 1. */
VTLSAPI BOOL WINAPI SHIsNT(void);
VTLSAPI BOOL WINAPI SHIsIntegratedIE(void);
VTLSAPI BOOL WINAPI SHIsWin2000(void);

/* Ordinal 21. Fills *state with the shell's folder settings; a shell that cannot
 * report them leaves the classic style (fWin95Classic) and nothing else. */
VTLSAPI void WINAPI SHGetSettings2(LPSHELLFLAGSTATE state);

/* ---- Clipboard formats ---------------------------------------------------- */

/* Names of the formats registered when the library is loaded. */
#define VTLS_CFSTR_ITEMID L"Vantrel ItemID"
#define VTLS_CFSTR_ITEMIDARRAY L"Vantrel ItemID Array"
#define VTLS_CFSTR_DATASOURCE L"Vantrel DataSource"
#define VTLS_CFSTR_DATASOURCEARRAY L"Vantrel DataSource Array"
#define VTLS_CFSTR_STMFORMATDATATIME L"OPCSTMFORMATDATATIME"
#define VTLS_CFSTR_SERVER L"Vantrel OPCServer"

/* Get functions return the format's id (0 if its registration failed) and, when
 * formatEtc is not NULL, fill it for global memory: cfFormat = id, ptd = NULL,
 * dwAspect = DVASPECT_CONTENT, lindex = -1, tymed = TYMED_HGLOBAL.
 *
 * Is functions check a FORMATETC (never NULL) against the format and return, the
 * first failure winning: DV_E_FORMATETC (wrong cfFormat), DV_E_TYMED (no
 * TYMED_HGLOBAL bit), DV_E_DVASPECT (dwAspect not exactly DVASPECT_CONTENT),
 * DV_E_LINDEX (lindex not -1), else S_OK. ptd is not examined. */
VTLSAPI UINT WINAPI VtlsGetDataSourceFormat(FORMATETC* formatEtc);          /* 80 */
VTLSAPI HRESULT WINAPI VtlsIsDataSourceFormat(const FORMATETC* formatEtc);  /* 81 */
VTLSAPI UINT WINAPI VtlsGetDataSourceListFormat(FORMATETC* formatEtc);          /* 82 */
VTLSAPI HRESULT WINAPI VtlsIsDataSourceListFormat(const FORMATETC* formatEtc);  /* 83 */
VTLSAPI UINT WINAPI VtlsGetItemIDFormat(FORMATETC* formatEtc);          /* 84 */
VTLSAPI HRESULT WINAPI VtlsIsItemIDFormat(const FORMATETC* formatEtc);  /* 85 */
VTLSAPI UINT WINAPI VtlsGetItemIDListFormat(FORMATETC* formatEtc);          /* 86 */
VTLSAPI HRESULT WINAPI VtlsIsItemIDListFormat(const FORMATETC* formatEtc);  /* 87 */
/* The text pair works on the built-in CF_TEXT. */
VTLSAPI UINT WINAPI VtlsGetTextFormat(FORMATETC* formatEtc);          /* 90 */
VTLSAPI HRESULT WINAPI VtlsIsTextFormat(const FORMATETC* formatEtc);  /* 91 */
VTLSAPI UINT WINAPI VtlsGetServerFormat(FORMATETC* formatEtc);          /* 113 */
VTLSAPI HRESULT WINAPI VtlsIsServerFormat(const FORMATETC* formatEtc);  /* 114 */

#ifdef __cplusplus
}
#endif

#endif /* VANTRELSH_H */
