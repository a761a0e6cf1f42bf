// SEAM (image loaders): every loader answers "none" until kvImage's loaders land;
// the image-loader work deletes this file.
#include "kvKIT.h"

static int16_t none(Surface** out) {
  if (out != nullptr) *out = nullptr;
  return 0;
}

Surface* kvLoadBmp(const char*) { return nullptr; }
int16_t kvLoadBmpEx(const char*, Surface** out) { return none(out); }
Surface* kvLoadBmpVFlip(const char*) { return nullptr; }
int16_t kvLoadBmpVFlipEx(const char*, Surface** out) { return none(out); }
Surface* kvLoadGif(const char*) { return nullptr; }
int16_t kvLoadGifEx(const char*, Surface** out) { return none(out); }
Surface* kvLoadPcx(const char*) { return nullptr; }
int16_t kvLoadPcxEx(const char*, Surface** out) { return none(out); }
