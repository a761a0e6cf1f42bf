// The base every graphics object shares: one count whichever face is used,
// identities by interface id, faces on condition and the references objects
// hold on one another. (Handing out another object's interface is checked
// where DirectDraw hands out its Direct3D object.)
#include "platform/win/unknown.h"

#include <gtest/gtest.h>

namespace kv::testing {
namespace {

const GUID kFirstId{1, 1, 1, {1}}, kSecondId{2, 2, 2, {2}};

struct IFirst : IUnknown {
  static constexpr const GUID& iid = kFirstId;
  virtual int first() = 0;
};
struct ISecond : IUnknown {
  static constexpr const GUID& iid = kSecondId;
  virtual int second() = 0;
};

class Object final : public win::Unknown<IFirst, ISecond> {
 public:
  explicit Object(int& destroyed) : destroyed_(destroyed) {}
  int first() override { return 1; }
  int second() override { return 2; }

  bool offerSecond = true, releaseSelfOnDestruction = false;

 private:
  ~Object() override {
    ++destroyed_;
    if (releaseSelfOnDestruction) {
      EXPECT_EQ(Release(), 0u);
    }  // a cycle coming back round
  }
  bool offers(REFIID riid) const override { return riid != kSecondId || offerSecond; }
  int& destroyed_;
};

TEST(SharedObjectBase, OneCountAcrossFacesAndIdentitiesById) {
  int destroyed = 0;
  auto* object = new Object(destroyed);
  IFirst* first = nullptr;
  ISecond* second = nullptr;
  IUnknown* unknown = nullptr;
  ASSERT_EQ(object->QueryInterface(kSecondId, reinterpret_cast<void**>(&second)), S_OK);
  ASSERT_EQ(object->QueryInterface(kFirstId, reinterpret_cast<void**>(&first)), S_OK);
  ASSERT_EQ(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  // Each id reaches its own face; IUnknown is the first face.
  EXPECT_EQ(second->second() + first->first(), 3);
  EXPECT_EQ(unknown, static_cast<IUnknown*>(first));
  EXPECT_EQ(object->QueryInterface(kFirstId, nullptr), E_POINTER);

  // A face on condition is refused while withheld; the refusal clears the out pointer.
  object->offerSecond = false;
  void* face = &destroyed;
  EXPECT_EQ(object->QueryInterface(kSecondId, &face), E_NOINTERFACE);
  EXPECT_EQ(face, nullptr);

  // Any face releases the one count; the object goes exactly once, at 0, even
  // when a cycle of references comes back round while it goes.
  EXPECT_EQ(second->Release(), 3u);
  EXPECT_EQ(unknown->Release(), 2u);
  EXPECT_EQ(first->Release(), 1u);
  EXPECT_EQ(destroyed, 0);
  object->releaseSelfOnDestruction = true;
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(destroyed, 1);
}

TEST(SharedObjectBase, HeldReferencesMoveAndHandOutAddsOne) {
  int destroyed = 0;
  auto *a = new Object(destroyed), *b = new Object(destroyed);
  Object* held = nullptr;
  win::hold(held, a);
  EXPECT_EQ(a->Release(), 1u);  // the holder's is left
  win::hold(held, a);           // holding the same object again must not let it go in between
  EXPECT_EQ(destroyed, 0);
  win::hold(held, b);
  EXPECT_EQ(destroyed, 1);

  IFirst* out = nullptr;
  EXPECT_EQ(win::handOut(held, &out, E_FAIL), S_OK);
  EXPECT_EQ(out, static_cast<IFirst*>(b));
  EXPECT_EQ(b->Release(), 2u);  // the caller's and the holder's
  EXPECT_EQ(win::handOut(held, static_cast<IFirst**>(nullptr), E_FAIL), E_INVALIDARG);
  win::hold(held, static_cast<Object*>(nullptr));
  EXPECT_EQ(b->Release(), 0u);
  EXPECT_EQ(win::handOut(held, &out, E_FAIL), E_FAIL);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(destroyed, 2);
}

}  // namespace
}  // namespace kv::testing
