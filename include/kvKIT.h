// kvKIT: the one public header. Every public kv* operation, record and constant.
//
// Plain functions over plain records and process-wide state. Nothing throws:
// operations that succeed or fail return a 16-bit 1 or 0, loaders and allocators
// a pointer or null, device operations a 32-bit result (0 success, negative failure).
// Sections follow the kit's modules; each is owned by the module named in it.
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/win/win32.h"

// ---------------------------------------------------------------------------
// Application and entry (kvSys/kvSystem)
// ---------------------------------------------------------------------------

// Supplied by the application; the entry point runs it once start-up succeeded.
void kvMain();

// The kit's entry point: the platform's launcher calls it with the instance handle.
int WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

int32_t kvSystemInit();
void kvSystemExit();
void kvPrintBanner();
int16_t kvSaveConfig(void* block, int32_t size);
void kvLoadConfig(void* block, int32_t size);

// Title of the render window and caption of every message box.
constexpr int KV_CAPTION_SIZE = 64;
extern char kvCaption[KV_CAPTION_SIZE];

// ---------------------------------------------------------------------------
// Memory pool (kvSys/Memory)
// ---------------------------------------------------------------------------

int16_t kvSetSystemMemory(uint32_t sizeKiB);
void* kvAlloc(int32_t bytes);
void kvFree(void* data);
void kvReleaseSystemMemory();

// ---------------------------------------------------------------------------
// Debug log (kvSys/kvDebug)
// ---------------------------------------------------------------------------

extern const char* kvDebugFile;
extern int32_t kvDebugLine;
// Formats "%s(%ld): " with kvDebugFile and kvDebugLine, then the message, into a
// 260-byte line, and sends it to the debugger channel. Call it through kvDebugPrint.
void kvDebugPrintLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Tags the line with the call site, as every log call in the kit does.
#define kvDebugPrint(...) \
  (kvDebugFile = __FILE__, kvDebugLine = __LINE__, kvDebugPrintLine(__VA_ARGS__))
constexpr int KV_DEBUG_LINE_SIZE = 260;

// ---------------------------------------------------------------------------
// File access (kvSys/kvFile): one standard stream call each
// ---------------------------------------------------------------------------

FILE* kvFileOpen(const char* name, const char* mode);
int kvFileClose(FILE* file);
size_t kvFileRead(void* destination, size_t itemSize, size_t itemCount, FILE* file);
int16_t kvFileSeek(FILE* file, int32_t offset, int origin);
int32_t kvFileTell(FILE* file);
int kvFileGetc(FILE* file);
char* kvFileGets(char* destination, int16_t capacity, FILE* file);

// ---------------------------------------------------------------------------
// Frame pacing (kvSys/Frame)
// ---------------------------------------------------------------------------

int32_t kvGetTick();
int32_t kvGetTime();
void kvWait(int32_t milliseconds);
int32_t kvSetFrameRate(int32_t framesPerSecond);
int32_t kvFrameSkip();

// ---------------------------------------------------------------------------
// Keyboard pad (kvSys/kvPad)
// ---------------------------------------------------------------------------

constexpr uint8_t KV_PAD_UP = 0x01;
constexpr uint8_t KV_PAD_DOWN = 0x02;
constexpr uint8_t KV_PAD_LEFT = 0x04;
constexpr uint8_t KV_PAD_RIGHT = 0x08;
constexpr uint8_t KV_PAD_BUTTON1 = 0x10;
constexpr uint8_t KV_PAD_BUTTON2 = 0x20;
constexpr uint8_t KV_PAD_BUTTON3 = 0x40;
constexpr uint8_t KV_PAD_BUTTON4 = 0x80;
constexpr uint8_t KV_PAD_BUTTON5 = 0x01;

void kvSetPadKeys(uint16_t selector, uint16_t up, uint16_t left, uint16_t right, uint16_t down);
void kvSetPadButtons(uint16_t selector, uint16_t button1, uint16_t button2, uint16_t button3,
                     uint16_t button4, uint16_t button5);
uint8_t kvGetPadDirection(uint16_t selector);
uint8_t kvGetPadButtons(uint16_t selector);
int16_t kvKeyEscape();
int16_t kvKeyF2();
void kvSetCountKey(uint16_t virtualKey);
int16_t kvPollCountKey();
int32_t kvIncCount();
int32_t kvDecCount();
int32_t kvGetCount();

// ---------------------------------------------------------------------------
// Seams filled by the device layer (kvSys/d3dframe, d3denum, kvScreen, kvSurface).
// Until it lands, kvSys/DeviceSeams.cpp gives start-up and shutdown these steps
// with no device behind them.
// ---------------------------------------------------------------------------

struct DeviceFramework {
  int32_t initialised;
  HINSTANCE instance;
  // The device layer adds the remaining fields in their designed order.
};
extern DeviceFramework kvFramework;

constexpr int32_t KVERR_ENUM_FAILED = static_cast<int32_t>(0x81000001u);
constexpr int32_t KVMSG_EXIT = 1;
constexpr int32_t KVMSG_SOFTWARE = 2;
constexpr int KV_SURFACE_GROUPS = 8;

// Surfaces and textures (kvSys/kvSurface). SEAM: the device layer defines the
// records (fields as designed) and replaces the stand-ins in DeviceSeams.cpp.
constexpr uint8_t SURFACE_FORMAT_16BPP = 0;  // RGB565 pixels
constexpr uint8_t SURFACE_FORMAT_8BPP = 1;   // palette indices

// The request a loader hands to kvCreateSurface; the caller keeps its buffers.
struct ImageDesc {
  int32_t group;
  int32_t width;
  int32_t height;
  uint8_t format;
  uint8_t palette[256][3];  // red, green, blue; read for the 8-bit format only
  const void* pixels;       // row 0 (top) first, rows packed
};
struct Surface;
Surface* kvCreateSurface(ImageDesc* request);
int32_t kvSetTexture(Surface* surface);

using kvDeviceConfirmFn = HRESULT (*)(const void* deviceDesc);
HRESULT kvEnumerateDrivers(kvDeviceConfirmFn confirm);
void kvLoadVideoConfig();
void kvSaveVideoConfig();
int32_t kvShowError(int32_t code, int32_t type);
// Size of the current screen mode (kvSys/kvScreen); kvSetViewRect clamps to it.
extern int32_t kvScreenWidth;
extern int32_t kvScreenHeight;
int32_t kvFreeSurfaceGroup(int32_t group);
HRESULT kvFwDestroyObjects(DeviceFramework* framework);
void kvFreeDrivers();

// ---------------------------------------------------------------------------
// Image loaders (kvImage): BMP, GIF and PCX files into Surfaces in the current
// surface group. Each logs one line naming the file when it refuses it; the Ex
// forms return 1 with *out = the Surface, or 0 with *out = none.
// ---------------------------------------------------------------------------

Surface* kvLoadBmp(const char* path);
int16_t kvLoadBmpEx(const char* path, Surface** out);
Surface* kvLoadBmpVFlip(const char* path);
int16_t kvLoadBmpVFlipEx(const char* path, Surface** out);
Surface* kvLoadGif(const char* path);
int16_t kvLoadGifEx(const char* path, Surface** out);
Surface* kvLoadPcx(const char* path);
int16_t kvLoadPcxEx(const char* path, Surface** out);

// ---------------------------------------------------------------------------
// 3D library: math (kvf3D/Math)
//
// Row-vector convention: p' = p x M, rows 0..2 are the images of the axes and
// elements 12..14 the translation. Angles are 4096 units per turn and only the
// low 12 bits count, so angle arithmetic wraps by itself.
// Outputs come first and must not share storage with an input of the same call.
// ---------------------------------------------------------------------------

using Angle = uint16_t;

struct Vector {
  float x, y, z;
};

struct Matrix {
  float m[16];
};

// The head of any record that places an object in the scene.
struct Placement {
  Vector position;
  int16_t yaw;    // about Y
  int16_t pitch;  // about X
  int16_t roll;   // about Z
};

float kv3dSin(Angle a);
float kv3dCos(Angle a);
// Heading of (x, z) from +z towards +x, 0..4096 inclusive; 0 inside the dead zone.
int32_t kv3dAtan2(float x, float z);

Vector* kv3dCross(Vector* out, const Vector* a, const Vector* b);
float kv3dDot(const Vector* a, const Vector* b);
Vector* kv3dAdd(Vector* out, const Vector* a, const Vector* b);
Vector* kv3dSub(Vector* out, const Vector* a, const Vector* b);
float kv3dLength(const Vector* v);
Vector* kv3dTransform(Vector* out, const Vector* p, const Matrix* m);
Vector* kv3dRotate(Vector* out, const Vector* v, const Matrix* m);
void kv3dTransformArray(Vector* out, const Vector* in, int32_t count, const Matrix* m);
void kv3dRotateArray(Vector* out, const Vector* in, int32_t count, const Matrix* m);

Matrix* kv3dMulMatrix(Matrix* out, const Matrix* a, const Matrix* b);
Matrix* kv3dIdentityMatrix(Matrix* out);
// Rz(a) x Rx(b) x Ry(c): turned about Z, then X, then Y.
Matrix* kv3dRotationMatrix(Matrix* out, Angle a, Angle b, Angle c);
// Ry(-c) x Rx(-b) x Rz(-a), the exact inverse of kv3dRotationMatrix.
Matrix* kv3dInvRotationMatrix(Matrix* out, Angle a, Angle b, Angle c);
Matrix* kv3dPlacementMatrix(Matrix* out, Angle a, Angle b, Angle c, const Vector* position);
// T(-eye) x the inverse rotation: world to view.
Matrix* kv3dViewMatrix(Matrix* out, Angle a, Angle b, Angle c, const Vector* eye);
// Local matrix of a pivot: ((p - pivot) * scale) x R(angles Z, X, Y) + position.
Matrix* kv3dPivotMatrix(Matrix* out, const Vector* pivot, const Vector* position,
                        const int32_t angles[3], const Vector* scale);

// ---------------------------------------------------------------------------
// 3D library: objects (kvf3D/KVO), motions (kvf3D/LoadMOT)
// ---------------------------------------------------------------------------

// Shading modes as stored in a KVO file; a model with pivots adds KV_SHADING_PIVOTS.
constexpr int32_t KV_SHADING_NONE = 0;
constexpr int32_t KV_SHADING_GOURAUD = 1;
constexpr int32_t KV_SHADING_FLAT = 2;
constexpr int32_t KV_SHADING_CORNER_COLOURS = 3;
constexpr int32_t KV_SHADING_FACE_COLOURS = 4;
constexpr int32_t KV_SHADING_PIVOTS = 5;

// Exactly the 44-byte face of the file.
struct Face {
  int32_t cornerCount;  // 3 or 4
  uint16_t vertexIndex[4];
  float u[4];  // 1/256 of the texture's width
  float v[4];  // 1/256 of the texture's height
};

struct Material {
  Surface* texture;  // none when untextured
  float colour[4];   // file bytes c0..c3 as 0..255; c3 is the faces' alpha
  uint32_t renderFlags;
  int32_t faceCount;  // consecutive faces using this material
};

struct Pivot {
  Vector position;    // pose
  int32_t angles[3];  // pose: about X, Y, Z (low 16 bits read)
  Vector scale;       // pose
  Vector worldPivotPoint;
  Vector pivotPoint;
  Matrix viewMatrix;
  Matrix worldMatrix;
  int16_t boundVertexCount;
  uint8_t evaluated;
  Pivot* parent;
};

// A loaded object: the record and every array in one pool block.
struct Model {
  int32_t vertexCount;
  Vector* vertices;
  int32_t faceCount;
  Face* faces;
  int32_t materialCount;
  Material* materials;
  uint32_t pivotCount;
  Pivot* pivots;
  int32_t shading;  // file mode, + KV_SHADING_PIVOTS when there are pivots
  Vector* vertexNormals;
  Vector* faceNormals;
  uint8_t* cornerColours;  // 12 bytes a face: red 0..3, green 0..3, blue 0..3
  uint8_t* faceColours;    // 4 bytes a face: red, green, blue, unused
};

// The 28-byte header of a KVO file.
struct KVOHeader {
  int32_t version;  // 16: version 1.0
  int32_t imageCount;
  int32_t materialCount;
  int32_t vertexCount;
  int32_t faceCount;
  int32_t pivotCount;
  int32_t shading;
};

// Textures of the object being loaded, by image number in its file.
constexpr int KV_IMAGE_TABLE_SIZE = 256;
extern Surface* kvImageTable[KV_IMAGE_TABLE_SIZE];

Model* kv3dLoadKVO(const char* path);
void kv3dFreeKVO(Model* model);
void kv3dPrintKVOHeader(const KVOHeader* header);

// A keyframe, and the result of the spline.
struct Key {
  uint32_t time;      // frames
  Vector position;
  int32_t angles[3];  // yaw, pitch, roll
  Vector scale;
};

struct Track {
  int32_t keyCount;
  Key* keys;
};

struct Motion {
  int32_t header;  // kept, not interpreted
  int32_t trackCount;
  Track* tracks;
};

Motion* kv3dLoadMOT(const char* path);
void kv3dFreeMOT(Motion* motion);
int32_t kv3dMotionHeader(const Motion* motion);
// Four-key cubic spline over keys[0..3] that allows unevenly spaced keys.
void kv3dInterpolateKey(Key* out, const Key keys[4], float t);
// The track evaluated at t (keys chosen around t; the ends hold). An empty
// track leaves out as it was.
void kv3dTrackKey(Key* out, const Key* keys, int32_t keyCount, float t);
// Poses pivots 0..count-1 from tracks 0..count-1; with no motion, resets them.
void kv3dSetMotionFrame(Pivot* pivots, uint32_t count, const Motion* motion, float t);

// ---------------------------------------------------------------------------
// 3D library: camera (kvf3D/Camera)
// ---------------------------------------------------------------------------

struct Camera {
  Vector target;
  Vector eye;
  Vector velocity;
  Vector goal;
  int32_t pitch;  // low 16 bits read
  int32_t yaw;
  int32_t roll;
  int32_t distance;
  Matrix viewMatrix;
};

struct CameraPath {
  int32_t keyCount[3];  // eye, carrier, target carrier; as read
  Key* keys[3];         // none for an empty track
  Vector targetOffset;
};

Camera* kv3dCameraOrbit(Camera* camera);
Camera* kv3dCameraOrbitGoal(Camera* camera);
Camera* kv3dCameraSmooth(Camera* camera);
Camera* kv3dCameraLookAt(Camera* camera);
Camera* kv3dCameraView(Camera* camera);
CameraPath* kv3dLoadCAM(const char* path);
void kv3dFreeCAM(CameraPath* path);
void kv3dSetCameraFrame(Camera* camera, const CameraPath* path, float t);

// ---------------------------------------------------------------------------
// 3D library: projection and vertex work buffers (kvf3D/Projection)
// ---------------------------------------------------------------------------

extern Vector* kv3dWorkVertices;
extern float* kv3dWorkRed;
extern float* kv3dWorkGreen;
extern float* kv3dWorkBlue;
extern float kv3dProjDistance;
extern float kv3dNearZ;
extern float kv3dFarZ;
extern float kvViewLeft, kvViewTop, kvViewRight, kvViewBottom;
extern float kvViewCenterX, kvViewCenterY;

int16_t kv3dInitWorkBuffers(int32_t count);
void kv3dSetProjection(int32_t distance);
void kv3dSetNearZ(float z);
void kv3dSetFarZ(float z);
void kvSetViewRect(int32_t x, int32_t y, int32_t width, int32_t height);
void kv3dProjectPoint(const Matrix* m, const Vector* p, int32_t size, int32_t* sx, int32_t* sy,
                      int32_t* ssize);
void kv3dProjectVector(Vector* s, const Vector* c);

// ---------------------------------------------------------------------------
// 3D library: light tables (kvf3D/Light)
// ---------------------------------------------------------------------------

// Intensities 0..255 by normal direction: 32 rows (from y) of 64 columns (from z,
// the right half for x > 0), one plane per channel.
struct LightTable {
  uint8_t red[2048];
  uint8_t green[2048];
  uint8_t blue[2048];
};

extern LightTable* kv3dCurrentLight;
extern const int16_t kvLightRowAngles[32];
extern const int16_t kvLightColumnAngles[32];

LightTable* kv3dCreateLight(int32_t a, int32_t b, int32_t lr, int32_t lg, int32_t lb, int32_t ar,
                            int32_t ag, int32_t ab);
void kv3dInitLight(LightTable* table, int32_t a, int32_t b, int32_t lr, int32_t lg, int32_t lb,
                   int32_t ar, int32_t ag, int32_t ab);
void kv3dAddLight(LightTable* table, int32_t a, int32_t b, int32_t lr, int32_t lg, int32_t lb);
void kv3dSetLight(LightTable* table);
void kv3dFreeLight(LightTable* table);
void kv3dSumLights(LightTable* out, const LightTable* a, const LightTable* b);
void kv3dBlendLights(LightTable* out, const LightTable* const* tables, const int32_t* weights,
                     int32_t count);

// The table cell (row x 64 + column) that lights a normal; inline because the
// renderer asks once per vertex. Limits are applied before the conversion so
// that a wild normal (huge, NaN) still picks an edge cell.
inline int32_t kv3dLightCell(float component) {
  const float scaled = (1.0f - component) * 16.0f;
  if (!(scaled >= 1.0f)) return 0;  // below 1, or NaN
  if (scaled >= 31.0f) return 31;
  return static_cast<int32_t>(scaled);
}
inline int32_t kv3dLightIndex(const Vector* normal) {
  const int32_t column = kv3dLightCell(normal->z) + (normal->x > 0.0f ? 32 : 0);
  return kv3dLightCell(normal->y) * 64 + column;
}
