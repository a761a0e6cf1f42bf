// kvKIT: the one public header. Every public kv* operation, record and constant.
//
// Plain functions over plain records and process-wide state. Nothing throws:
// operations that succeed or fail return a 16-bit 1 or 0, loaders and allocators
// a pointer or null, device operations a 32-bit result (0 success, negative failure).
// Sections follow the kit's modules; each is owned by the module named in it.
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win/win32.h"
#include "platform/win/winuser.h"

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
// Device framework (kvSys/d3dframe): DirectDraw and Direct3D objects for one
// driver, device and display mode, built in stages and torn down in order.
// ---------------------------------------------------------------------------

constexpr uint32_t KVFW_FULLSCREEN = 0x01;
constexpr uint32_t KVFW_BACKBUFFER = 0x02;
constexpr uint32_t KVFW_ZBUFFER = 0x04;
constexpr uint32_t KVFW_STENCILBUFFER = 0x08;
constexpr uint32_t KVFW_NO_FPUSETUP = 0x10;

constexpr HRESULT KVERR_FW_INIT_FAILED = static_cast<HRESULT>(0x82000000u);
constexpr HRESULT KVERR_FW_NO_DIRECTDRAW = static_cast<HRESULT>(0x82000001u);
constexpr HRESULT KVERR_FW_COOP_LEVEL = static_cast<HRESULT>(0x82000002u);
constexpr HRESULT KVERR_FW_NO_DIRECT3D = static_cast<HRESULT>(0x82000003u);
constexpr HRESULT KVERR_FW_NO_3D_DEVICE = static_cast<HRESULT>(0x82000004u);
constexpr HRESULT KVERR_FW_NO_ZBUFFER = static_cast<HRESULT>(0x82000005u);
constexpr HRESULT KVERR_FW_NO_VIEWPORT = static_cast<HRESULT>(0x82000006u);
constexpr HRESULT KVERR_FW_NO_PRIMARY = static_cast<HRESULT>(0x82000007u);
constexpr HRESULT KVERR_FW_NO_CLIPPER = static_cast<HRESULT>(0x82000008u);
constexpr HRESULT KVERR_FW_BAD_DISPLAY_MODE = static_cast<HRESULT>(0x82000009u);
constexpr HRESULT KVERR_FW_NO_BACKBUFFER = static_cast<HRESULT>(0x8200000Au);
constexpr HRESULT KVERR_FW_NONZERO_REFCOUNT = static_cast<HRESULT>(0x8200000Bu);
constexpr HRESULT KVERR_FW_NO_RENDER_TARGET = static_cast<HRESULT>(0x8200000Cu);
constexpr HRESULT KVERR_FW_INVALID_MODE = static_cast<HRESULT>(0x8200000Du);
constexpr HRESULT KVERR_FW_NOT_INITIALIZED = static_cast<HRESULT>(0x8200000Eu);

struct DeviceFramework {
  int32_t initialised;  // 1 from the end of kvFwInitialize to kvFwDestroyObjects
  HINSTANCE instance;
  HWND window;
  int32_t fullscreen;
  uint32_t renderWidth;
  uint32_t renderHeight;
  RECT screenRect;    // where the picture shows, screen coordinates
  RECT viewportRect;  // the render target's area
  IDirectDrawSurface4* front;
  IDirectDrawSurface4* back;
  IDirectDrawSurface4* renderTarget;  // holds one reference of its own
  IDirectDrawSurface4* zBuffer;
  IDirect3DDevice3* device;
  IDirect3DViewport3* viewport;
  IDirectDraw4* directDraw;
  IDirect3D3* direct3D;
  D3DDEVICEDESC deviceDesc;
  uint32_t deviceMemoryType;    // DDSCAPS_VIDEOMEMORY or DDSCAPS_SYSTEMMEMORY
  DDPIXELFORMAT zBufferFormat;  // dwSize is 32 only when a format was found
};
extern DeviceFramework kvFramework;

// Driver, device and mode are the enumerated records' GUIDs and mode description
// (&driver->guid, &device->guid, &mode->desc); a null device builds DirectDraw only.
HRESULT kvFwInitialize(DeviceFramework* framework, HWND window, const GUID* driver,
                       const GUID* device, const DDSURFACEDESC2* mode, uint32_t flags);
HRESULT kvFwDestroyObjects(DeviceFramework* framework);
HRESULT kvFwShowFrame(DeviceFramework* framework, int32_t wait);
HRESULT kvFwFlipToGDISurface(DeviceFramework* framework, int32_t redrawMenu);
HRESULT kvFwRestoreSurfaces(DeviceFramework* framework);
void kvFwMove(DeviceFramework* framework, int32_t x, int32_t y);
HRESULT ChangeRenderTarget(DeviceFramework* framework, IDirectDrawSurface4* surface);
// Writes "source(line): " + message [+ "(hr=%08lx)\n"] + "\n" to the debugger channel.
HRESULT kvFwDebugMsg(const char* source, int32_t line, HRESULT code, const char* message);
void kvInitSurfaceDesc(DDSURFACEDESC2* desc, uint32_t flags, uint32_t caps);
void kvInitViewport(D3DVIEWPORT2* viewport, uint32_t width, uint32_t height);

// ---------------------------------------------------------------------------
// Device enumeration, driver choice and video configuration (kvSys/d3denum)
// ---------------------------------------------------------------------------

constexpr uint32_t KVSEL_SOFTWARE_ONLY = 0x01;
constexpr uint32_t KVSEL_FULLSCREEN_ONLY = 0x02;
constexpr uint32_t KVSEL_RGB_DEVICE = 0x04;
constexpr uint32_t KVSEL_REF_DEVICE = 0x08;
constexpr uint32_t KVSEL_PRIMARY_HARDWARE = 0x10;
constexpr uint32_t KVSEL_SECONDARY_HARDWARE = 0x20;

constexpr HRESULT KVERR_ENUM_FAILED = static_cast<HRESULT>(0x81000001u);
constexpr HRESULT KVERR_ENUM_SUGGEST_REFRAST = static_cast<HRESULT>(0x81000002u);
constexpr HRESULT KVERR_ENUM_NO_COMPATIBLE = static_cast<HRESULT>(0x81000003u);
constexpr HRESULT KVERR_ENUM_NO_DDRAW = static_cast<HRESULT>(0x81000004u);
constexpr HRESULT KVERR_ENUM_NO_SUCH_DRIVER = static_cast<HRESULT>(0x81000005u);

constexpr int KV_ENUM_TEXT_SIZE = 40;  // 39 characters and a terminating zero

struct ModeInfo {
  DDSURFACEDESC2 desc;
  char text[KV_ENUM_TEXT_SIZE];  // "640 x 480 x 16"
  ModeInfo* next;
};

struct DeviceInfo {
  GUID guid;
  GUID* guidRef;  // always &guid
  char name[KV_ENUM_TEXT_SIZE];
  D3DDEVICEDESC desc;  // hardware description of a hardware device, else the software one
  int32_t isHardware;
  int32_t desktopCompatible;  // has a mode of the desktop's depth
  int32_t windowed;
  ModeInfo* currentMode;
  ModeInfo* modes;
  DeviceInfo* next;
};

struct DriverInfo {
  GUID guid;      // all zero for the primary display driver
  GUID* guidRef;  // &guid, or null for the primary display driver
  char description[KV_ENUM_TEXT_SIZE];
  char name[KV_ENUM_TEXT_SIZE];
  DDCAPS hwCaps;
  DDCAPS helCaps;
  int32_t isPrimary;
  DeviceInfo* currentDevice;
  DeviceInfo* devices;
  DriverInfo* next;
};

// Gets the driver's hardware caps and the description that will be kept; a
// negative result drops the device.
using kvDeviceConfirmFn = HRESULT (*)(DDCAPS* hwCaps, D3DDEVICEDESC* deviceDesc);

HRESULT kvEnumerateDrivers(kvDeviceConfirmFn confirm);
HRESULT kvSelectDefaultDriver(uint32_t flags);
void kvUpdateDesktopCompatibility();
HRESULT kvGetSelectedDriver(DriverInfo** driver, DeviceInfo** device);
DriverInfo* kvGetDriverList();
// 1 when the choice changed, 2 when not, -1 without a current driver or memory.
INT_PTR kvSelectDriverDialog(HWND window, int32_t windowed);
void kvFillDriverDialog(HWND dialog, DriverInfo* driver, DeviceInfo* device, ModeInfo* mode,
                        int32_t windowed);
INT_PTR CALLBACK kvDriverDialogProc(HWND dialog, UINT message, WPARAM w, LPARAM l);
void kvSaveVideoConfig();
void kvLoadVideoConfig();
void kvFreeDrivers();

// ---------------------------------------------------------------------------
// Render device operations (kvSys/kvRender)
// ---------------------------------------------------------------------------

constexpr int32_t KV_RF_ALPHA = 0x001;
constexpr int32_t KV_RF_ZBUFFER = 0x002;
constexpr int32_t KV_RF_COLOR = 0x004;
constexpr int32_t KV_RF_TEXTURE = 0x008;
constexpr int32_t KV_RF_AUX = 0x010;
constexpr int32_t KV_RF_COLORKEY = 0x020;
constexpr int32_t KV_RF_PERSPECTIVE = 0x040;
constexpr int32_t KV_RF_FILTER = 0x080;
constexpr int32_t KV_RF_ADDITIVE = 0x100;

extern int32_t kvRenderFlags;

int16_t kvBeginScene();
void kvEndScene();
void kvFlip();
void kvFlipNoWait();
HRESULT kvClear(int32_t red, int32_t green, int32_t blue);
HRESULT kvClearTarget(int32_t red, int32_t green, int32_t blue);
HRESULT kvClearZ();
HRESULT kvSetFogColor(int32_t red, int32_t green, int32_t blue);
void kvSetRenderFlags(int32_t flags);
int32_t kvGetRenderFlags();
// 1 selects the front buffer, anything else the back buffer (low 8 bits count).
HRESULT kvSetRenderTarget(int32_t which);

// ---------------------------------------------------------------------------
// Surfaces and textures (kvSys/kvSurface)
// ---------------------------------------------------------------------------

constexpr int KV_SURFACE_GROUPS = 8;
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

// An image with its own pixel copy and a device texture that can be rebuilt at
// any time from it. The record is from the kit pool, the pixels from the heap.
struct Surface {
  int32_t group;
  int32_t width;
  int32_t height;
  uint8_t format;
  uint8_t palette[256][3];
  IDirectDrawSurface4* ddSurface;  // null while off the device
  IDirect3DTexture2* texture;      // null while off the device
  // The creation description, then the locked one (its bit count picks the key form).
  DDSURFACEDESC2 desc;
  void* pixels;
  Surface* next;
};

// The group loaders put into their requests (kvSetSurfaceGroup changes it).
extern int32_t kvSurfaceGroup;

Surface* kvCreateSurface(ImageDesc* request);
HRESULT kvRestoreSurface(Surface* surface);
void kvRestoreAllSurfaces();
void kvReleaseAllSurfaces();
int32_t kvFreeSurfaceGroup(int32_t group);
void kvSetSurfaceGroup(int32_t group);
void kvReplaceSurfacePixels(Surface* surface, const void* pixels, const uint8_t* palette);
int32_t kvGetSurfaceInfo(Surface* surface, uint8_t selector);
int32_t kvGetTextureInfo(uint8_t selector);
HRESULT kvSetTexture(Surface* surface);
void kvSetColorKey(uint8_t red, uint8_t green, uint8_t blue);
void kvApplyColorKey();
IDirectDraw4* kvGetDirectDraw(IDirect3DDevice3* device);

// ---------------------------------------------------------------------------
// Screen modes, window and message pump (kvSys/kvScreen)
// ---------------------------------------------------------------------------

constexpr int32_t KVMSG_EXIT = 1;
constexpr int32_t KVMSG_SOFTWARE = 2;

// Size of the current screen mode; the view rectangle is clamped to it.
extern int32_t kvScreenWidth;
extern int32_t kvScreenHeight;

int16_t kvSetScreenMode(uint32_t mode);
LRESULT CALLBACK kvWindowProc(HWND window, UINT message, WPARAM w, LPARAM l);
void kvPumpMessages();
void kvChangeDevice();
HRESULT kvRebuildDevice(HWND window);
HRESULT kvInitDevice(HWND window);
int32_t kvShowError(HRESULT code, int32_t type);

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
  uint32_t time;  // frames
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

// Entries in each work buffer; the renderer refuses models larger than that.
extern int32_t kv3dWorkCapacity;
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

// ---------------------------------------------------------------------------
// 3D library: polygon clipping and submission (kvf3D/KV3DDraw)
// ---------------------------------------------------------------------------

// One polygon corner: camera space in, screen pixels (x, y) and camera depth
// (z) after projection.
struct ClipVertex {
  float x, y, z;
  float u, v;  // texels; 256 spans the texture once
  float r, g, b;
  float alpha;
  float aux;  // carried by the clippers under KV_RF_AUX, never sent
};

// The largest corner count any stage may hold is MAX_POLY_VERTS - 1; a clip
// destination must hold MAX_POLY_VERTS corners.
constexpr int32_t MAX_POLY_VERTS = 100;

// Non-zero: polygons are drawn whichever way they wind on the screen.
extern int32_t kv3dDoubleSided;

// Clips against the view (near plane and the four sides), projects, culls back
// faces and submits one fan; the array is projected in place.
void kv3dDrawPolygon(ClipVertex* corners, int32_t count);
// kv3dDrawPolygon for three corners.
void kv3dDrawTriangle(ClipVertex* corners);
// One plane each: the corner count left in destination, or 0 below three.
int32_t kv3dClipNear(const ClipVertex* source, ClipVertex* destination, int32_t count);
int32_t kv3dClipTop(const ClipVertex* source, ClipVertex* destination, int32_t count);
int32_t kv3dClipBottom(const ClipVertex* source, ClipVertex* destination, int32_t count);
int32_t kv3dClipRight(const ClipVertex* source, ClipVertex* destination, int32_t count);
int32_t kv3dClipLeft(const ClipVertex* source, ClipVertex* destination, int32_t count);

// Submission of projected corners; each returns the device's result.
HRESULT kvDrawFan(int32_t count, const ClipVertex* corners);       // depth 1/z
HRESULT kvDrawFanDepth(int32_t count, const ClipVertex* corners);  // depth z as given
HRESULT kvDrawTriangle3(const ClipVertex* c0, const ClipVertex* c1, const ClipVertex* c2);
void kvSetTriangle(const ClipVertex* c0, const ClipVertex* c1, const ClipVertex* c2);
HRESULT kvDrawTriangleAt(float x, float y, float u, float v);
HRESULT kvDrawRectangle(const ClipVertex* c1, const ClipVertex* c2);
void kvSetRectangle(const ClipVertex* c1, const ClipVertex* c2);
HRESULT kvDrawRectangleAt(float x, float y, float u, float v);

// ---------------------------------------------------------------------------
// 3D library: object rendering pipeline (kvf3D/Render)
//
// Draws need work buffers of at least the model's vertex count (and face
// count for realtime flat shading) and, for realtime shading, a current light
// table; they run between kvBeginScene and kvEndScene.
// ---------------------------------------------------------------------------

void kv3dDrawModel(const Matrix* view, Model* model);
void kv3dDrawModelAt(const Matrix* view, Model* model, const Placement* placement);
void kv3dDrawShadow(const Matrix* view, Model* model, Angle a, Angle b, int32_t red, int32_t green,
                    int32_t blue, int32_t alpha, float height);
void kv3dDrawShadowAt(const Matrix* view, Model* model, Angle a, Angle b, int32_t red,
                      int32_t green, int32_t blue, int32_t alpha, float height,
                      const Placement* placement);

// Posing: every pivot's worldMatrix and viewMatrix (placement may be none).
void kv3dPosePivots(const Matrix* view, Pivot* pivots, uint32_t count, const Placement* placement);
void kv3dEvaluatePivot(Pivot* pivot);
void kv3dPosePivotsWorld(Pivot* pivots, uint32_t count, const Placement* placement);
void kv3dTransformPivotVertices(const Model* model);

// Light steps into kv3dWorkRed/Green/Blue: per vertex, or per face for
// realtime flat shading.
void kv3dLightVertices(const Model* model);
void kv3dLightVerticesRotated(const Matrix* rotation, const Model* model);
void kv3dLightPivotVertices(const Model* model);
void kv3dLightFaces(const Model* model);
void kv3dLightFacesRotated(const Matrix* rotation, const Model* model);
void kv3dLightPivotFaces(const Model* model);

// Face drawers, by shading.
void kv3dDrawFacesColour(const Model* model, int32_t red, int32_t green, int32_t blue,
                         int32_t alpha);
void kv3dDrawFacesUnshaded(const Model* model);
void kv3dDrawFacesCornerColours(const Model* model);
void kv3dDrawFacesFaceColours(const Model* model);
void kv3dDrawFacesLit(const Model* model);
void kv3dDrawFacesLitFlat(const Model* model);
