// Feeds arbitrary bytes to the motion loader, then poses more pivots than the
// motion may have tracks at times around and beyond its keys.
#include <initializer_list>

#include "fuzz/f3d_common/loader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Motion* motion = kv3dLoadMOT(kvfuzz::serveInput(data, size, "fuzz.mot"));
  if (motion != nullptr) {
    Pivot pivots[8]{};
    for (float t : {-1.0f, 0.0f, 2.5f, 15.0f, 31.5f, 1e9f})
      kv3dSetMotionFrame(pivots, 8, motion, t);
    kvfuzz::keep(pivots[0].position.x + static_cast<float>(pivots[7].angles[1]));
    kv3dFreeMOT(motion);
  }
  kvfuzz::expectPoolWhole();
  return 0;
}
