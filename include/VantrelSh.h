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
VTLSAPI void WINAPI SHGetVersion(_Out_ DWORD* platform, _Out_ DWORD* major, _Out_ DWORD* minor);

/* Ordinals 11, 12, 13. Flags fixed when the library was loaded: NT platform,
 * shell 4.71 or later, shell 5 or later. Each returns 0 or 1. */
VTLSAPI BOOL WINAPI SHIsNT(void);
VTLSAPI BOOL WINAPI SHIsIntegratedIE(void);
VTLSAPI BOOL WINAPI SHIsWin2000(void);

/* Ordinal 21. Fills *state with the shell's folder settings; a shell that cannot
 * report them leaves the classic style (fWin95Classic) and nothing else. */
VTLSAPI void WINAPI SHGetSettings2(_Out_ LPSHELLFLAGSTATE state);

/* ---- Item identifiers ----------------------------------------------------- */

/* The library's item: signature 0x25031972, then kind, type, GUID, data and
 * name or value (see VTLS_ITEM_*). Every list the library creates comes from the
 * shell's task allocator; free it with VtlsSHFree. */
#define VTLS_ITEM_SIGNATURE 0x25031972
#define VTLS_ITEM_KIND_WAIT 0
#define VTLS_ITEM_KIND_ERROR 1
#define VTLS_ITEM_KIND_ERROR_FLAGGED 2
#define VTLS_ITEM_KIND_REAL 3

/* Exported as SHAlloc (ordinal 1) and SHFree (ordinal 2). <shlobj.h> declares
 * functions of those names with other signatures, so C callers use these names;
 * the import library binds them to the exports. */
VTLSAPI void* WINAPI VtlsSHAlloc(ULONG bytes);
VTLSAPI void WINAPI VtlsSHFree(_In_opt_ void* memory);

/* Ordinal 70. A one-item list holding a real item. name may be NULL; guid must
 * not be; extraCount bytes are copied from extra. NULL on failure, also when
 * the name and extra bytes together exceed 65,493 bytes or extraCount < 0. */
VTLSAPI LPITEMIDLIST WINAPI VtlsCreateID(_In_opt_z_ LPCWSTR name, INT type, DWORD data, _In_ const GUID* guid,
                                         INT extraCount, _In_reads_bytes_opt_(extraCount) const void* extra);
/* Ordinal 71. A one-item list holding a wait placeholder. */
VTLSAPI LPITEMIDLIST WINAPI VtlsCreateWaitID(void);
/* Ordinal 72. A one-item list holding an error placeholder with the error value;
 * its kind tells whether flag was non-zero. */
VTLSAPI LPITEMIDLIST WINAPI VtlsCreateErrorID(DWORD error, BOOL flag);

/* Ordinal 73. Orders two lists as IShellFolder::CompareIDs answers: the low 16
 * bits are 0 (equal), 1 (first after second) or 0xFFFF (first before second).
 * E_INVALIDARG for a NULL, empty or unreadable list or one of 32,767 bytes or
 * more. */
VTLSAPI HRESULT WINAPI VtlsComparePIDLs(_In_ LPCITEMIDLIST first, _In_ LPCITEMIDLIST second);

/* Ordinal 16. Packs the parent (may be NULL) and count children (none NULL) into
 * a CIDA in fixed global memory, owned by the caller (GlobalFree). NULL on
 * failure. */
VTLSAPI HGLOBAL WINAPI SHCreateCIDA(_In_opt_ LPCITEMIDLIST parent, UINT count,
                                    _In_reads_(count) LPCITEMIDLIST* children);

/* Ordinal 41. Writes the marker "v8GE" and the list's items at the stream's
 * position. Stream failures come back unchanged; a short write gives
 * STG_E_WRITEFAULT. */
VTLSAPI HRESULT WINAPI ILStgWrite(_In_ IStream* stream, _In_ LPCITEMIDLIST list);
/* Ordinal 40. Reads such a record back: the first item, as a new one-item list
 * (free it with VtlsSHFree). E_FAIL for a wrong marker or an item size below 2,
 * STG_E_READFAULT for a short read; *list is NULL after any failure. */
VTLSAPI HRESULT WINAPI ILStgRead(_In_ IStream* stream, _Outptr_result_maybenull_ LPITEMIDLIST* list);

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
/* The pair of the registered format VTLS_CFSTR_SERVER ("Vantrel OPCServer"). */
VTLSAPI UINT WINAPI VtlsGetServerFormat(FORMATETC* formatEtc);          /* 113 */
VTLSAPI HRESULT WINAPI VtlsIsServerFormat(const FORMATETC* formatEtc);  /* 114 */

/* ---- Message texts and copies --------------------------------------------- */

/* Ordinal 74. FormatMessageW, with the same arguments and result, falling back
 * to the library's message table (English and German texts for the OPC Data
 * Access results and the namespace's own codes) when the first call fails. A
 * request with FORMAT_MESSAGE_FROM_STRING returns 0 at once and leaves the last
 * error alone. With FORMAT_MESSAGE_ALLOCATE_BUFFER, free the text with LocalFree. */
VTLSAPI DWORD WINAPI VtlsFormatMessage(DWORD flags, _In_opt_ LPCVOID source, DWORD messageId, DWORD languageId,
                                       _Out_ LPWSTR buffer, DWORD size, _In_opt_ va_list* arguments);

/* Ordinal 75, C calling convention. Formats the inserts of FormatMessageW (%1,
 * %2!d!, ...) from the values that follow format. Returns a new string that the
 * caller frees with LocalFree, or NULL on failure. */
VTLSAPI LPWSTR WINAPIV VtlsFormat(_In_z_ LPCWSTR format, ...);

/* Ordinal 111. A copy of the block in new fixed global memory, owned by the
 * caller (GlobalFree); the source keeps its bytes and its lock count. NULL for
 * an empty, freed or unlockable handle or when memory runs out. */
VTLSAPI HGLOBAL WINAPI VtlsCopyHGlobal(_In_ HGLOBAL source);

/* Ordinal 112. Copies the whole source stream, from its first byte, into a new
 * stream on global memory; *copy receives it at position 0 with one reference
 * (Release it), and the source is left at its end. A failure of the source's
 * Stat or CopyTo comes back unchanged with *copy NULL; E_INVALIDARG for a NULL
 * source or copy. */
VTLSAPI HRESULT WINAPI VtlsCopyStream(_In_ IStream* source, _Outptr_result_maybenull_ IStream** copy);

/* ---- Roles and the cross-process channel ------------------------------------ */

/* Names other processes find: the client role's named event, the two window
 * classes and the window names. */
#define VTLS_ALIVE_EVENT_NAME L"Vantrel_ALIVE"
#define VTLS_SRVCHANNEL_CLASS L"Vantrel_SrvChannelWndClass"
#define VTLS_FSNOTIFY_CLASS L"Vantrel_FsNotifyWndClass"
#define VTLS_SERVER_WINDOW_NAME L"SrvWndName"
#define VTLS_CLIENT_WINDOW_NAME L"CliWndName"

/* COPYDATASTRUCT.dwData of content requests and replies, and of change batches. */
#define VTLS_COPYDATA_CONTENT 0x1400
#define VTLS_COPYDATA_CHANGES 0x17254231

/* Private messages of the library's windows; listener windows keep these free. */
#define WM_VTLS_UPDATEICONS (WM_USER + 0x100) /* 0x0500, notify manager window */
#define WM_VTLS_FSNOTIFY 0x5A45
#define WM_VTLS_FSNOTIFY_PRIVATE 0x5A46

/* The most one WM_COPYDATA of the library carries, on both architectures: a
 * 32-bit receiver under WoW64 dies on a message of 1 MiB, so every pair of 32-
 * and 64-bit processes interoperates below this. Change batches above it are
 * split; a content answer above it is refused rather than sent. */
#define VTLS_MAX_COPYDATA_BYTES (512u * 1024u)

/* Bounds, in milliseconds, of every send that waits on another thread or
 * process. A window that lets its bound pass is treated as hung: later sends
 * to it first ask it a WM_NULL within VTLS_HUNG_PEER_TIMEOUT_MS and skip it
 * when it does not answer, until it answers again. What a hung peer misses
 * while it is hung is not sent again. */
#define VTLS_LISTENER_TIMEOUT_MS 1000      /* one change to one listener window */
#define VTLS_BROADCAST_TIMEOUT_MS 5000     /* one batch to another process, its delivery included */
#define VTLS_CONTENT_TIMEOUT_MS 10000      /* a content request, the server's callback included */
#define VTLS_CONTENT_REPLY_TIMEOUT_MS 2000 /* the server's reply to the requester */
#define VTLS_HUNG_PEER_TIMEOUT_MS 20

/* The server's content callback: parent is the item whose children are asked
 * for (NULL for the root), value is the requester's value, passed through. To
 * answer, store a global memory block holding a packed CIDA (as SHCreateCIDA
 * makes) in *content and return S_OK; the library frees the block. Any other
 * result refuses and *content is not read. Runs on the library's channel thread
 * in the multithreaded apartment. */
typedef HRESULT(WINAPI* VTLSCONTENTPROC)(_In_opt_ LPCITEMIDLIST parent, DWORD value, _Out_ HGLOBAL* content);

/* Ordinal 94. Takes the server role: starts the notify manager and the server
 * channel that answers content requests through content. E_INVALIDARG for a
 * NULL callback; on failure the role is left again. */
VTLSAPI HRESULT WINAPI VtlsSrvInitialize(_In_ VTLSCONTENTPROC content);
/* Ordinal 93. Takes the client role: holds the named event that marks a live
 * shell and starts the notify manager. */
VTLSAPI HRESULT WINAPI VtlsCliInitialize(void);
/* Ordinal 96. Leaves whichever role the process holds; harmless without one. */
VTLSAPI void WINAPI VtlsTerminate(void);
/* Ordinal 95. Whether any process holds the client role's event. */
VTLSAPI BOOL WINAPI VtlsSrvIsShellAlive(void);

/* ---- Change notification and content requests ------------------------------ */

/* SHChangeNotify2 flags: the type bits (mask 7) must be SHCNF_IDLIST (0). These
 * are the library's values; some <shlobj.h> versions define SHCNF_FLUSHNOWAIT
 * as 0x3000. */
#define VTLS_SHCNF_IDLIST 0x0000
#define VTLS_SHCNF_FLUSH 0x1000
#define VTLS_SHCNF_FLUSHNOWAIT 0x2000
/* An event code with this bit set is private: delivered at once, and only to the
 * listeners of the posting process, as WM_VTLS_FSNOTIFY_PRIVATE. */
#define VTLS_SHCNE_PRIVATE 0x80000000u

/* What a listener window receives with WM_VTLS_FSNOTIFY (lParam): valid only
 * until the listener returns; copy what you keep. */
typedef struct VTLSCHANGEINFO {
    LONG event;
    LPCITEMIDLIST list1; /* NULL when the event carries none */
    LPCITEMIDLIST list2;
    const void* extra;   /* NULL when there are no extra bytes */
    UINT cbExtra;
} VTLSCHANGEINFO;

/* Ordinal 7, exported as SHChangeNotifyRegister (<shlobj.h> declares another
 * function of that name). Registers a window of this process to receive every
 * change delivered in the process. E_INVALIDARG in the server role, for NULL,
 * for a handle that is no window, and for a window of another process. */
VTLSAPI HRESULT WINAPI VtlsSHChangeNotifyRegister(_In_ HWND window);
/* Ordinal 8, exported as SHChangeNotifyRevoke. S_OK for NULL and in the server
 * role; E_INVALIDARG when the window is not registered. */
VTLSAPI HRESULT WINAPI VtlsSHChangeNotifyRevoke(_In_opt_ HWND window);

/* Ordinal 9. Posts a change: event code, flags (VTLS_SHCNF_*), up to two item
 * identifier lists and extra bytes. Ordinary events wait for a flush
 * (VTLS_SHCNF_FLUSH now, VTLS_SHCNF_FLUSHNOWAIT 500 ms after the last post) and
 * then reach the listeners of every process. A private event needs at least 12
 * extra bytes: bytes 8 to 11 (a pointer's width on 64-bit: 8 to 15) receive the
 * address of its list 1. */
VTLSAPI void WINAPI SHChangeNotify2(LONG event, UINT flags, _In_opt_ LPCITEMIDLIST list1, _In_opt_ LPCITEMIDLIST list2,
                                    _In_reads_bytes_opt_(cbExtra) const void* extra, UINT cbExtra);

/* Ordinal 97. Client role: asks the server process for the content of folder
 * (NULL for the root) and waits for the answer, at most
 * VTLS_CONTENT_TIMEOUT_MS. S_OK and a CIDA in *content, freed with
 * CoTaskMemFree; E_FAIL when no request could be admitted within 1000 ms, no
 * server runs, the server refused or did not answer in time, or no valid answer
 * for this folder came from it; *content is NULL then. */
VTLSAPI HRESULT WINAPI VtlsGetContentInSync(_In_opt_ LPCITEMIDLIST folder, DWORD value,
                                            _Outptr_result_maybenull_ CIDA** content);
/* Ordinal 98. Whether this process's notify window is refreshing icons. */
VTLSAPI BOOL WINAPI VtlsInUpdateIcon(void);
/* Ordinal 92. Does nothing; S_OK. */
VTLSAPI HRESULT WINAPI VtlsUpdateOpcServerIcons(DWORD reserved);

/* ---- Registry keys and values ------------------------------------------------ */

/* Every result comes from one set: S_OK, S_FALSE (where stated),
 * STG_E_FILENOTFOUND (missing, or a key deleted under its handle),
 * STG_E_ACCESSDENIED, STG_E_FILEALREADYEXISTS and E_UNEXPECTED (anything else,
 * an unreachable machine too). */

/* Ordinal 52. A root key of machine (null or empty: this process's own root,
 * handed back as it is). For HKEY_CLASSES_ROOT of a named machine the handle is
 * its HKEY_LOCAL_MACHINE\Software\Classes. Close with VtlsRegCloseKey. */
VTLSAPI HRESULT WINAPI VtlsRegConnectRegistry(_In_opt_z_ LPCWSTR machine, HKEY root, _Out_ HKEY* key);
/* Ordinal 50. Opens key\path with the given access. */
VTLSAPI HRESULT WINAPI VtlsRegOpenKey(_In_ HKEY key, _In_opt_z_ LPCWSTR path, _Out_ HKEY* opened, REGSAM access);
/* Ordinal 51. Creates key\path only if it is new; an existing key is left as it
 * was and gives STG_E_FILEALREADYEXISTS with *created null. keyClass (may be
 * null) is stored as the key's class string in registry GUID form. */
VTLSAPI HRESULT WINAPI VtlsRegCreateKey(_In_ HKEY key, _In_z_ LPCWSTR path, _Out_ HKEY* created, REGSAM access,
                                        _In_opt_ const GUID* keyClass);
/* Ordinal 53. Closes a key; null and the three predefined roots are left open.
 * A failed close gives E_INVALIDARG. */
VTLSAPI HRESULT WINAPI VtlsRegCloseKey(_In_opt_ HKEY key);
/* Ordinal 57. Reads a value (name null: the default value). type 0 accepts any
 * stored type, another type must match (else STG_E_FILENOTFOUND). data null asks
 * only for the size; a buffer too small gives S_FALSE and the size needed. */
VTLSAPI HRESULT WINAPI VtlsRegQueryValue(_In_ HKEY key, _In_opt_z_ LPCWSTR name, DWORD type,
                                         _Out_writes_bytes_opt_(*size) void* data, _Inout_ DWORD* size);
/* Ordinal 56. Writes a value; size 0 deletes it (S_OK if it was not there). */
VTLSAPI HRESULT WINAPI VtlsRegSetValue(_In_ HKEY key, _In_opt_z_ LPCWSTR name, DWORD type,
                                       _In_reads_bytes_opt_(size) const void* data, DWORD size);
/* Ordinal 58. Deletes a value; a missing one gives STG_E_FILENOTFOUND. */
VTLSAPI HRESULT WINAPI VtlsRegDeleteValue(_In_ HKEY key, _In_opt_z_ LPCWSTR name);
/* Ordinal 59. Name of subkey index (capacity in characters with the terminator)
 * and, if keyClass is given, its class string as a GUID (GUID_NULL when empty or
 * not a GUID). S_FALSE past the last subkey; E_UNEXPECTED if the name does not fit. */
VTLSAPI HRESULT WINAPI VtlsRegEnumKey(_In_ HKEY key, DWORD index, _Out_writes_z_(capacity) LPWSTR name, DWORD capacity,
                                      _Out_opt_ GUID* keyClass);

/* Ordinal 55. Copies parent\source with its subkeys, values and class strings
 * to the new key parent\destination and hands it back open in *copy. Values
 * above 4096 bytes and names or classes of 260 characters or more cannot be
 * copied (E_UNEXPECTED). A failed copy leaves no destination behind; an
 * existing destination gives STG_E_FILEALREADYEXISTS and is not touched. */
VTLSAPI HRESULT WINAPI VtlsRegCopyKey(_In_ HKEY parent, _In_z_ LPCWSTR source, _In_z_ LPCWSTR destination,
                                      _Out_ HKEY* copy);
/* Ordinal 54. Deletes parent\name and everything below it, as much as it can:
 * a branch that cannot be deleted is skipped and the first error returned.
 * E_INVALIDARG for a null parent or a null or empty name. */
VTLSAPI HRESULT WINAPI VtlsRegDeleteKey(_In_ HKEY parent, _In_z_ LPCWSTR name);

/* Ordinal 61. Keeps the whole content of stream, from its first byte whatever
 * its position, as the REG_BINARY value name; an empty stream deletes the
 * value. The stream is left at its end. A stream that reads fewer bytes than it
 * announces gives E_FAIL and leaves the value as it was; 4 GiB or more gives
 * E_OUTOFMEMORY. */
VTLSAPI HRESULT WINAPI VtlsRegSaveStream(_In_ HKEY key, _In_opt_z_ LPCWSTR name, _In_ IStream* stream);
/* Ordinal 60. A memory stream at position 0 over the bytes of the REG_BINARY
 * value name (the caller releases it). A missing value or one of another type
 * gives STG_E_FILENOTFOUND; one above 32768 bytes gives E_FAIL. */
VTLSAPI HRESULT WINAPI VtlsRegOpenStream(_In_ HKEY key, _In_opt_z_ LPCWSTR name,
                                         _Outptr_result_maybenull_ IStream** stream);

/* ---- Shell icons -------------------------------------------------------------- */

/* Ordinal 26. GetSystemMetrics, except that SM_CXICON gives the shell's large
 * icon size when the user has set one from 16 to 72 pixels (as the text value
 * "Shell Icon Size" under HKEY_CURRENT_USER\Control Panel\Desktop\WindowMetrics),
 * read afresh on every call. */
VTLSAPI int WINAPI SHGetSystemMetrics(int index);
/* Ordinal 27. Whether the shell's icons are loaded in full colour ("Shell Icon
 * BPP" above 4), as read when the library was loaded into this process. */
VTLSAPI BOOL WINAPI SHUseHighColorIcons(void);

/* Ordinal 20. Where the icon of a COM class is, from its registration under
 * HKEY_CLASSES_ROOT\CLSID\{class}: the text value "DefaultIcon" ("path,index";
 * the index after the comma as %lu reads it, so "-3" gives -3), else the path
 * in "LocalServer32", else in "InprocServer32", both whole and with index 0.
 * Only REG_SZ values count. The path is cut to capacity - 1 characters. S_OK;
 * S_FALSE when the first value found is longer than 1024 characters (nothing
 * is filled in then); else the failure of the last source tried, such as
 * STG_E_FILENOTFOUND when no server is registered (a "DefaultIcon" text with a
 * path but no number may have copied its path by then). E_INVALIDARG for a
 * NULL index, or a NULL path with a capacity. */
VTLSAPI HRESULT WINAPI SHGetIconLocationFromClass(_In_ REFCLSID classId, _Out_writes_opt_(capacity) LPWSTR path,
                                                  UINT capacity, _Out_ INT* index);

/* Ordinal 23. Makes icons from icon group number index (from 0, in the order in
 * which the module's icon group names are enumerated: string names first) of a
 * module file, loaded as data only. The large icon has the shell's icon size as
 * read when the library was loaded into the process (SHUseHighColorIcons tells
 * the colour depth: else the 16-colour palette is asked for); the small icon
 * the system's small-icon size. Either out pointer may be NULL; with both NULL
 * the result tells only whether the group exists. S_OK with icons the caller
 * destroys (DestroyIcon); E_FAIL when the module, the group (an index that
 * names none, negative too) or an image cannot be read; E_OUTOFMEMORY when an
 * icon cannot be made. The out pointers are NULL after any failure. */
VTLSAPI HRESULT WINAPI SHExtractIcon(_In_z_ LPCWSTR path, INT index, _Out_opt_ HICON* largeIcon,
                                     _Out_opt_ HICON* smallIcon);

/* Ordinal 22. Rebuilds an icon from a metafile picture (global memory holding a
 * METAFILEPICT) whose metafile draws it as two bitmap records
 * (META_DIBSTRETCHBLT or META_DIBBITBLT): the first is the mask, the second the
 * colour image. The icon's size comes from the second record's parameter
 * words (source height and width for META_DIBSTRETCHBLT; words 1 and 2 for
 * META_DIBBITBLT); a size larger than either bitmap is refused. A second
 * bitmap of one bit per pixel makes a monochrome icon. Returns the icon, which
 * the caller destroys, or NULL. The picture is only read. */
VTLSAPI HICON WINAPI SHMetafilePictExtractIcon(_In_ HGLOBAL picture);
/* Ordinal 24. Deletes the picture's metafile and frees the picture. NULL and a
 * block that cannot be locked are left alone. Returns 0. */
VTLSAPI DWORD WINAPI SHDestroyMetafilePict(_In_opt_ HGLOBAL picture);

/* ---- Menu helpers ----------------------------------------------------------- */

/* SHMergeMenu flags. SHMM_ADDSEPARATOR: put a separator above the merged items
 * when neither side has one there. SHMM_SUBMENUSHAVEIDS: items that open a
 * submenu carry a command id, shifted and range-checked like any other. */
#define SHMM_ADDSEPARATOR 0x1
#define SHMM_SUBMENUSHAVEIDS 0x2

/* Ordinal 5. The submenu of the item whose command id is the low 16 bits of id
 * (searched by command, submenus included); NULL if none. */
VTLSAPI HMENU WINAPI SHGetMenuFromID(_In_ HMENU menu, UINT id);
/* Ordinal 6. Position of the first item of menu itself whose command id is the
 * low 16 bits of id; -1 if none. */
VTLSAPI INT WINAPI SHGetMenuPos(_In_ HMENU menu, UINT id);
/* Ordinal 4. Whether the item at position is a separator; FALSE if no item. */
VTLSAPI BOOL WINAPI SHIsMenuSeparator(_In_ HMENU menu, UINT position);
/* Ordinal 3. Copies the items of source (only read) into destination at
 * position insert, adding idAdjust to each command id and leaving out items
 * whose shifted id exceeds idAdjustMax; texts are cut to 127 characters.
 * Returns one more than the highest id inserted, at least idAdjust; idAdjust
 * and nothing done when either menu is NULL. */
VTLSAPI UINT WINAPI SHMergeMenu(_In_ HMENU destination, _In_ HMENU source, UINT insert, UINT idAdjust,
                                UINT idAdjustMax, UINT flags);
/* Ordinal 17. Removes separators at the bottom and the top and all but one of
 * each run of adjacent separators. */
VTLSAPI void WINAPI SHPrettyMenu(_In_ HMENU menu);
/* Ordinal 18. Loads the menu resource name of module and returns its submenu at
 * position, which the caller then owns (DestroyMenu); the rest is destroyed.
 * NULL if the resource cannot be loaded or no submenu is at position. */
VTLSAPI HMENU WINAPI SHLoadSubMenu(_In_opt_ HINSTANCE module, _In_ LPCWSTR name, INT position);

/* ---- Namespace objects -------------------------------------------------------- */

/* The namespace extension, whose root item names it; the local server that hands
 * out objects for item identifier lists; that server's class object interface.
 * Define them in one source file by including <initguid.h> before this header. */
DEFINE_GUID(CLSID_VtlsNamespace, 0xBC99C20F, 0x9257, 0x11D3, 0xA2, 0x8A, 0x08, 0x00, 0x21, 0x32, 0x25, 0x81);
DEFINE_GUID(CLSID_VtlsItemServer, 0x41356770, 0xCBD0, 0x11D2, 0xA0, 0x34, 0x08, 0x00, 0x21, 0x32, 0x25, 0x81);
DEFINE_GUID(IID_IItemObjectFactory, 0x41356772, 0xCBD0, 0x11D2, 0xA0, 0x34, 0x08, 0x00, 0x21, 0x32, 0x25, 0x81);

/* The local server's class object. The library calls only CreateItemObject:
 * the object for the item identifier list (free of the library's own format
 * rules; the server alone reads it) under the interface riid. */
#undef INTERFACE
#define INTERFACE IItemObjectFactory
DECLARE_INTERFACE_(IItemObjectFactory, IUnknown) {
    STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** object) PURE;
    STDMETHOD_(ULONG, AddRef)(THIS) PURE;
    STDMETHOD_(ULONG, Release)(THIS) PURE;
    STDMETHOD(Reserved1)(THIS) PURE;
    STDMETHOD(Reserved2)(THIS) PURE;
    STDMETHOD(CreateItemObject)(THIS_ LPCITEMIDLIST list, REFIID riid, void** object) PURE;
};
#undef INTERFACE

/* The root item: cb = 18, then the class id of a namespace extension. */
#define VTLS_ROOT_ITEM_SIZE 18

/* Ordinal 42, exported by ordinal only (the import library binds this name to
 * it). The process's one desktop folder, which knows only root items: it parses
 * "::{class id}" into a root item, binds through a root item to the extension's
 * folder (created in-process as IShellFolder, given the root item through
 * IPersistFolder::Initialize, which takes that copy over) and orders root items;
 * the rest of IShellFolder gives E_NOTIMPL. It is never destroyed and counts no
 * references: AddRef and Release return 1, QueryInterface answers only
 * IID_IShellFolder. Always S_OK; folder is required.
 *
 * Left open by the folder's contract and refused with E_INVALIDARG here: a null
 * or shorter than two-character display name or null out-list in
 * ParseDisplayName, a null out-pointer anywhere, null lists, and in BindToObject
 * a list whose first item is not 18 bytes. CompareIDs answers E_FAIL for a first
 * item of any other size. */
VTLSAPI HRESULT WINAPI GetDesktopFolderInstance(_Outptr_ IShellFolder** folder);

/* Ordinal 43. A new root-item list for classId (20 bytes with the terminator;
 * free it with VtlsSHFree). E_OUTOFMEMORY leaves *list untouched. */
VTLSAPI HRESULT WINAPI ILGetNamespacePIDL(_In_ const CLSID* classId, _Outptr_ LPITEMIDLIST* list);

/* Special folder numbers that stand for the namespace root. */
#define VTLS_FOLDER_ROOT 0
#define VTLS_FOLDER_ROOT_ALT 0x8002

/* Ordinal 76. The root-item list of CLSID_VtlsNamespace for VTLS_FOLDER_ROOT or
 * VTLS_FOLDER_ROOT_ALT (free it with VtlsSHFree); E_INVALIDARG for any other
 * number. *list is NULL after a failure. */
VTLSAPI HRESULT WINAPI VtlsGetSpecialFolderLocation(INT folder, _Outptr_result_maybenull_ LPITEMIDLIST* list);

/* Ordinal 77. With list NULL: the class object of CLSID_VtlsItemServer from its
 * local server, under riid. With a list: that class object's
 * IItemObjectFactory::CreateItemObject(list, riid, object). COM's and the
 * server's results come back unchanged (REGDB_E_CLASSNOTREG when no server is
 * registered); *object is NULL unless they set it. COM must be initialised on
 * the calling thread. */
VTLSAPI HRESULT WINAPI VtlsGetObject(_In_opt_ LPCITEMIDLIST list, REFIID riid,
                                     _Outptr_result_maybenull_ void** object);

/* ---- Property records ------------------------------------------------------ */

/* Records of the network, a host, a server and browsing. ownedN fields hold
 * memory from CoTaskMemAlloc (or NULL) that the record owns and the clearing
 * function frees; callerN fields belong to the callers and are never read or
 * freed here. Sizes on 32-bit Windows: 12, 20, 92 and 16 bytes; on 64-bit the
 * owned pointers are 8 bytes, every field in order at its natural alignment. */
/* Natural alignment, whatever packing the including code has set. */
#pragma pack(push, 8)
typedef struct NetProperty {
    LPVOID owned1;
    LPVOID owned2;
    LPVOID owned3;
} NetProperty;

typedef struct HostProperty {
    LPVOID owned1;
    LPVOID owned2;
    LPVOID owned3;
    DWORD caller1[2];
} HostProperty;

typedef struct ServerProperty {
    DWORD caller1[4];
    LPVOID owned1;
    LPVOID owned2;
    DWORD caller2[12];
    LPVOID owned3;
    LPVOID owned4;
    DWORD caller3;
    LPVOID owned5;
    LPVOID owned6;
} ServerProperty;

typedef struct BrowseProperty {
    DWORD caller1;
    LPVOID owned1;
    DWORD caller2[2];
} BrowseProperty;
#pragma pack(pop)

/* Init functions set the whole record to zero. Clear functions free the owned
 * memory with CoTaskMemFree: Net (owned 1, 2, 3), Server (1 to 6) and Browse (1)
 * then set the whole record to zero; Host frees owned 1, 3, 2 and leaves the
 * record as it was, freed addresses included, so it must be initialised again
 * before it is filled or cleared. No record may be NULL. */
VTLSAPI void WINAPI VtlsInitNetProperty(_Out_ NetProperty* record);         /* 99 */
VTLSAPI void WINAPI VtlsClearNetProperty(_Inout_ NetProperty* record);        /* 100 */
VTLSAPI void WINAPI VtlsInitHostProperty(_Out_ HostProperty* record);       /* 101 */
VTLSAPI void WINAPI VtlsClearHostProperty(_Inout_ HostProperty* record);      /* 102 */
VTLSAPI void WINAPI VtlsInitServerProperty(_Out_ ServerProperty* record);   /* 105 */
VTLSAPI void WINAPI VtlsClearServerProperty(_Inout_ ServerProperty* record);  /* 106 */
VTLSAPI void WINAPI VtlsInitBrowseProperty(_Out_ BrowseProperty* record);   /* 107 */
VTLSAPI void WINAPI VtlsClearBrowseProperty(_Inout_ BrowseProperty* record);  /* 108 */

/* ---- Drag-and-drop images --------------------------------------------------- */

/* Ordinal 25. An IDropTargetHelper for a drop target, with one reference for the
 * caller. On a shell of version 5 or later (SHIsWin2000) it is the system's
 * drag-and-drop helper and CoCreateInstance's result comes back unchanged (the
 * object is apartment-threaded, so a multithreaded apartment may be refused);
 * otherwise it is the library's own, which drives the older shell's drag image:
 * DragEnter and DragOver give E_FAIL when the shell cannot show it, DragLeave,
 * Drop and Show always S_OK. E_POINTER for a NULL helper. */
VTLSAPI HRESULT WINAPI SHGetDropTargetHelper(_Outptr_result_maybenull_ IDropTargetHelper** helper);

/* Ordinal 14, exported as SHDoDragDrop (<shlobj.h> declares the shell's own
 * function of that name), so C callers use this name. Runs a whole drag of data
 * from window with a drag image: point is where the drag starts, in the window's
 * client coordinates; source decides when the drag ends (NULL lets an older
 * shell use its own); the result and *effect are the drag loop's. On an older
 * shell E_FAIL when it lacks the drag exports or faults in them. */
VTLSAPI HRESULT WINAPI VtlsSHDoDragDrop(_In_ HWND window, POINT point, _In_ IDataObject* data,
                                        _In_opt_ IDropSource* source, DWORD allowedEffects, _Out_ DWORD* effect);

/* Ordinal 15. Shows or hides the shell's drag image; nothing happens where the
 * shell has no such export or fails in it. */
VTLSAPI void WINAPI SHShowDragImage(BOOL show);

#ifdef __cplusplus
}
#endif

#endif /* VANTRELSH_H */
