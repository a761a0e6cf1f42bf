// What every graphics object of the stand-ins does the same way: one
// reference count whichever of its interfaces is used, QueryInterface by
// interface id, and the references objects hold on one another.
#pragma once

#include <tuple>

#include "platform/win/com.h"

namespace kv::win {

// An object that implements the interfaces Faces (each names its id in a
// static `iid`). IID_IUnknown answers with the first face. The object starts
// with one reference and deletes itself when the last one goes.
template <class... Faces>
class Unknown : public Faces... {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) final {
    if (object == nullptr) return E_POINTER;
    *object = face(riid);
    if (*object == nullptr) return queryOther(riid, object);
    AddRef();
    return S_OK;
  }

  ULONG AddRef() final { return ++references_; }

  ULONG Release() final {
    // A cycle of references coming back round while the object goes, or a
    // Release too many: answer 0 and touch nothing.
    if (references_ == 0) return 0;
    if (--references_ > 0) return references_;
    delete this;
    return 0;
  }

 protected:
  Unknown() = default;
  ~Unknown() override = default;

  // Whether a face the object has by type is on offer (a surface is a
  // texture only when it was made as one).
  virtual bool offers(REFIID riid) const { return true; }
  // Interfaces beyond the faces, such as another object's; what this hands
  // out carries its own reference.
  virtual HRESULT queryOther(REFIID riid, void** object) { return E_NOINTERFACE; }

 private:
  using Primary = std::tuple_element_t<0, std::tuple<Faces...>>;

  void* face(REFIID riid) {
    if (riid == IID_IUnknown) return static_cast<Primary*>(this);
    void* found = nullptr;
    ((riid == Faces::iid && (found = static_cast<Faces*>(this))) || ...);
    return found != nullptr && offers(riid) ? found : nullptr;
  }

  ULONG references_ = 1;
};

// Makes `held` hold `value` instead, moving the references with it.
template <class T>
void hold(T*& held, T* value) {
  if (value != nullptr) value->AddRef();
  if (held != nullptr) held->Release();
  held = value;
}

// Hands out what `held` points to with a reference added; when it is null,
// hands out null and answers `none`.
template <class T, class Face>
HRESULT handOut(T* held, Face** out, HRESULT none) {
  if (out == nullptr) return E_INVALIDARG;
  *out = held;
  if (held == nullptr) return none;
  held->AddRef();
  return S_OK;
}

}  // namespace kv::win
