// The small part of COM that the graphics interfaces are built on: interface
// identities, reference counting and the QueryInterface contract.
#pragma once

#include <cstring>

#include "platform/win/win32.h"

using REFIID = const GUID&;
using REFCLSID = const GUID&;
using REFGUID = const GUID&;
using LPGUID = GUID*;

inline bool operator==(const GUID& a, const GUID& b) {
  return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }

constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);

extern const GUID IID_IUnknown;

// AddRef and Release return the new count; an object deletes itself when the
// count reaches 0. QueryInterface adds a reference to what it hands out.
class IUnknown {
 public:
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  // Objects are destroyed only through Release.
  virtual ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;
