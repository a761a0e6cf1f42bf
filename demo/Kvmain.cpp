// SEAM (demo issue): the demonstration's scene lands here. Until then kvMain
// paces an empty loop at 30 per second and ends on Escape.
#include "kvKIT.h"

void kvMain() {
  kvSetFrameRate(30);
  while (kvKeyEscape() == 0) kvFrameSkip();
}
