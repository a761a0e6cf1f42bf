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
int32_t kvFreeSurfaceGroup(int32_t group);
HRESULT kvFwDestroyObjects(DeviceFramework* framework);
void kvFreeDrivers();

// ---------------------------------------------------------------------------
// Image loaders (kvImage). SEAM: kvImage/ImageSeams.cpp answers "none" until the
// loaders land; the image-loader work deletes it.
// ---------------------------------------------------------------------------

Surface* kvLoadBmp(const char* path);
int16_t kvLoadBmpEx(const char* path, Surface** out);
Surface* kvLoadBmpVFlip(const char* path);
int16_t kvLoadBmpVFlipEx(const char* path, Surface** out);
Surface* kvLoadGif(const char* path);
int16_t kvLoadGifEx(const char* path, Surface** out);
Surface* kvLoadPcx(const char* path);
int16_t kvLoadPcxEx(const char* path, Surface** out);
