/* The IUnknown proxy functions of rpcrt4, which a generated proxy's vtables
 * name. The system headers declare them for C++ only; proxies compile as C. */
#pragma once

#include <windows.h>
#include <unknwn.h>

#ifndef __cplusplus
HRESULT STDMETHODCALLTYPE IUnknown_QueryInterface_Proxy(IUnknown* This, REFIID riid, void** object);
ULONG STDMETHODCALLTYPE IUnknown_AddRef_Proxy(IUnknown* This);
ULONG STDMETHODCALLTYPE IUnknown_Release_Proxy(IUnknown* This);
#endif
