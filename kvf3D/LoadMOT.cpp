// MOT motions: one track of keyframes per pivot, evaluated with a four-key
// cubic spline that allows unevenly spaced keys. Counts are checked against
// the file before anything is allocated.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

#include "kvSys/Memory.h"
#include "kvf3D/Math.h"
#include "kvf3D/Reader.h"

namespace kv3d {

bool readKey(FileReader& reader, Key* key, bool* finite) {
  int32_t time;
  float values[9];
  if (!reader.readValue(&time) || !reader.read(values, sizeof values)) return false;
  *finite = std::all_of(std::begin(values), std::end(values),
                        [](float value) { return std::isfinite(value); });
  key->time = static_cast<uint32_t>(time);
  key->position = Vector{values[0], values[1], values[2]};
  for (int k = 0; k < 3; ++k) key->angles[k] = truncate(double{values[3 + k]} * 4096.0 / 360.0);
  key->scale = Vector{values[6], values[7], values[8]};
  return true;
}

bool readTrack(FileReader& reader, Key* keys, int32_t count, const char* loader, const char* path,
               int32_t track) {
  for (int32_t k = 0; k < count; ++k) {
    bool finite = true;
    if (!readKey(reader, &keys[k], &finite)) {
      kvDebugPrint("%s: truncated in track %d; refused (%s)\n", loader, track, path);
      return false;
    }
    if (!finite) {
      kvDebugPrint("%s: track %d key %d holds a value that is not a finite number; refused (%s)\n",
                   loader, track, k, path);
      return false;
    }
    // Times are compared unsigned, as the key choice compares them.
    if (k > 0 && keys[k].time < keys[k - 1].time) {
      kvDebugPrint("%s: track %d key %d at time %u goes back before %u; refused (%s)\n", loader,
                   track, k, keys[k].time, keys[k - 1].time, path);
      return false;
    }
  }
  return true;
}

}  // namespace kv3d

namespace {

constexpr int64_t kKeyBytes = 40;

// Frees the key arrays of the first `filled` tracks and the motion.
void releaseMotion(Motion* motion, int32_t filled) {
  for (int32_t i = 0; i < filled; ++i) kvFreeRecord(motion->tracks[i].keys);
  kvFreeRecord(motion);
}

}  // namespace

Motion* kv3dLoadMOT(const char* path) {
  kv3d::FileReader file(path);
  if (!file.isOpen()) {
    kvDebugPrint("kv3dLoadMOT: %s 를 열수 없습니다.\n", path);
    return nullptr;
  }
  int32_t header, trackCount;
  if (!file.readValue(&header) || !file.readValue(&trackCount)) {
    kvDebugPrint("kv3dLoadMOT: shorter than its 8-byte header; refused (%s)\n", path);
    return nullptr;
  }
  // Each track needs at least its 4-byte key count.
  if (!file.has(trackCount, 4)) {
    kvDebugPrint("kv3dLoadMOT: %d tracks cannot fit its %lld bytes; refused (%s)\n", trackCount,
                 static_cast<long long>(file.remaining() + 8), path);
    return nullptr;
  }
  const int64_t tracksAt = kv3d::alignUp(sizeof(Motion));
  const int64_t size = tracksAt + int64_t{trackCount} * sizeof(Track);
  auto* motion = static_cast<Motion*>(kvAllocRecord(size));
  if (motion == nullptr) {
    kvDebugPrint("kv3dLoadMOT: Memory allocation error (%dbyte)\n", static_cast<int>(size));
    return nullptr;
  }
  motion->header = header;
  motion->trackCount = trackCount;
  motion->tracks = reinterpret_cast<Track*>(reinterpret_cast<uint8_t*>(motion) + tracksAt);

  for (int32_t i = 0; i < trackCount; ++i) {
    Track& track = motion->tracks[i];
    track = Track{0, nullptr};
    if (!file.readValue(&track.keyCount) || !file.has(track.keyCount, kKeyBytes)) {
      kvDebugPrint("kv3dLoadMOT: track %d is truncated or has a bad key count; refused (%s)\n", i,
                   path);
      releaseMotion(motion, i);
      return nullptr;
    }
    if (track.keyCount > 0) {
      track.keys = static_cast<Key*>(kvAllocRecord(int64_t{track.keyCount} * sizeof(Key)));
      if (track.keys == nullptr) {
        kvDebugPrint("kv3dLoadMOT: Memory allocation error\n");
        releaseMotion(motion, i);
        return nullptr;
      }
    }
    if (!kv3d::readTrack(file, track.keys, track.keyCount, "kv3dLoadMOT", path, i)) {
      releaseMotion(motion, i + 1);
      return nullptr;
    }
  }
  return motion;
}

void kv3dFreeMOT(Motion* motion) {
  if (motion != nullptr) releaseMotion(motion, motion->trackCount);
}

int32_t kv3dMotionHeader(const Motion* motion) { return motion != nullptr ? motion->header : -1; }

void kv3dInterpolateKey(Key* out, const Key keys[4], float t) {
  const Key &k0 = keys[0], &k1 = keys[1], &k2 = keys[2], &k3 = keys[3];
  const float t1 = static_cast<float>(k1.time);
  if (t1 == t || k1.time == k2.time) {
    *out = k1;
    return;
  }
  if (static_cast<float>(k2.time) == t) {
    *out = k2;
    return;
  }
  // Differences of the unsigned times, taken as signed as the kit does.
  const auto span = [](uint32_t later, uint32_t earlier) {
    return static_cast<float>(static_cast<int32_t>(later - earlier));
  };
  const float s = (t - t1) / span(k2.time, k1.time);
  const float a = span(k2.time, k1.time) / span(k2.time, k0.time);
  const float b = span(k2.time, k1.time) / span(k3.time, k1.time);
  const float w0 = ((s - 2.0f) * s + 1.0f) * s * -a;
  const float w1 = ((2.0f - b) * s + (b - 3.0f)) * s * s + 1.0f;
  const float w2 = (((a - 2.0f) * s + (3.0f - 2.0f * a)) * s + a) * s;
  const float w3 = b * s * s * (s - 1.0f);
  const auto blend = [&](const Vector& p0, const Vector& p1, const Vector& p2, const Vector& p3) {
    return Vector{w0 * p0.x + w1 * p1.x + w2 * p2.x + w3 * p3.x,
                  w0 * p0.y + w1 * p1.y + w2 * p2.y + w3 * p3.y,
                  w0 * p0.z + w1 * p1.z + w2 * p2.z + w3 * p3.z};
  };
  out->time = static_cast<uint32_t>(kv3d::truncate(t));
  out->position = blend(k0.position, k1.position, k2.position, k3.position);
  out->scale = blend(k0.scale, k1.scale, k2.scale, k3.scale);
  for (int i = 0; i < 3; ++i) {
    // Integer angles blend as numbers, without wrapping at a full turn.
    const float angle =
        w0 * static_cast<float>(k0.angles[i]) + w1 * static_cast<float>(k1.angles[i]) +
        w2 * static_cast<float>(k2.angles[i]) + w3 * static_cast<float>(k3.angles[i]);
    out->angles[i] = kv3d::truncate(angle);
  }
}

void kv3dTrackKey(Key* out, const Key* keys, int32_t keyCount, float t) {
  const int32_t n = keyCount;
  if (n <= 0) return;  // no key to give: out is left as it was
  int32_t j = 0;
  while (j < n && !(static_cast<float>(keys[j].time) > t)) ++j;
  const Key chosen[4] = {keys[j >= 2 ? j - 2 : 0], keys[j >= 1 ? j - 1 : 0],
                         keys[j < n ? j : n - 1], keys[j + 1 < n ? j + 1 : n - 1]};
  kv3dInterpolateKey(out, chosen, t);
}

void kv3dSetMotionFrame(Pivot* pivots, uint32_t count, const Motion* motion, float t) {
  if (motion == nullptr) {
    for (uint32_t i = 0; i < count; ++i) {
      pivots[i].position = Vector{0.0f, 0.0f, 0.0f};
      pivots[i].angles[0] = pivots[i].angles[1] = pivots[i].angles[2] = 0;
      pivots[i].scale = Vector{1.0f, 1.0f, 1.0f};
    }
    return;
  }
  // Pivots without a track, or with an empty one, keep their pose.
  const uint32_t tracks = motion->trackCount > 0 ? static_cast<uint32_t>(motion->trackCount) : 0;
  for (uint32_t i = 0; i < count && i < tracks; ++i) {
    const Track& track = motion->tracks[i];
    if (track.keyCount <= 0) continue;
    Key key;
    kv3dTrackKey(&key, track.keys, track.keyCount, t);
    pivots[i].position = key.position;
    pivots[i].angles[0] = key.angles[1];  // pitch, about X
    pivots[i].angles[1] = key.angles[0];  // yaw, about Y
    pivots[i].angles[2] = key.angles[2];  // roll, about Z
    pivots[i].scale = key.scale;
  }
}
