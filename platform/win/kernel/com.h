// Component identities and object creation: GUID / IID / CLSID and CoCreateInstance over the classes
// the stand-ins provide (the DirectDraw 7 object, DirectInput, the DirectShow filter graph and
// multimedia stream). No COM machinery: objects are plain C++ classes with AddRef / Release, and
// CoCreateInstance is a lookup in a fixed table of creators.
#pragma once

#include <cstring>

#include "platform/win/kernel/win_types.h"

namespace plat {

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_ALL = 0x7;

// Makes an object of a known class and hands out the asked-for interface (*out null on failure).
// REGDB_E_CLASSNOTREG for an unknown class, CLASS_E_NOAGGREGATION with an outer object,
// E_NOINTERFACE when the class has no such interface.
HRESULT CoCreateInstance(REFCLSID clsid, void* outer, DWORD context, REFIID iid, void** out);

}  // namespace plat
