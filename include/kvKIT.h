/// \file
/// kvKIT: the one public header. Every public kv* operation, record and constant.
///
/// Plain functions over plain records and process-wide state. Nothing throws:
/// operations that succeed or fail return a 16-bit 1 or 0, loaders and allocators
/// a pointer or null, device operations a 32-bit result (0 success, negative failure).
/// Sections follow the kit's modules; each is owned by the module named in it.
/// Everything runs on the program's one thread.
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

/// \defgroup system Application, start-up and shutdown
/// The entry point, the start-up sequence every application goes through, the
/// shutdown sequence after it, and the application's settings block.
/// @{

/// Supplied by the application; the entry point runs it once start-up succeeded.
/// Everything the application does (screen mode, loading, its frame loop)
/// happens inside it; kvSystemExit runs when it returns.
void kvMain();

/// The kit's entry point: the platform's launcher calls it with the instance handle.
/// Stores \p instance in kvFramework, runs kvSystemInit, and only when that
/// succeeds kvMain and then kvSystemExit. The other three arguments are not
/// used. Always returns 0.
int WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

/// Start-up: logs the banner, enumerates drivers, devices and modes
/// (kvEnumerateDrivers), restores the choice saved in kvKIT.vid
/// (kvLoadVideoConfig), sets kvCaption to "kvKIT v1.0", reserves the 4096 KiB
/// memory pool, clears kvFramework (keeping its instance handle) and sets 60
/// frames per second. Called only by WinMain.
/// \return 1 on success; 0 when the enumeration fails (after logging
/// "D3D Driver enumeration error" and showing the KVERR_ENUM_FAILED message
/// box) or the pool cannot be reserved.
int32_t kvSystemInit();
/// Shutdown, once per process (a second call does nothing): frees the eight
/// surface groups, writes kvKIT.vid, releases the framework's objects and the
/// enumerated records, releases the memory pool and logs "kvKIT Exit\\n".
/// Called only by WinMain after kvMain returns.
void kvSystemExit();
/// Logs the five banner lines, one kvDebugPrint each.
void kvPrintBanner();
/// Writes \p size bytes of the caller's \p block, and nothing else, to kvKIT.dat
/// in the working directory (created or truncated).
/// \return 1 when the file could be created (the write itself is not checked);
/// 0, with a log line, when it could not.
int16_t kvSaveConfig(void* block, int32_t size);
/// Reads \p size bytes of kvKIT.dat into the caller's \p block. Without the
/// file the block is filled with zeros; a shorter file leaves the bytes past
/// its end as they were.
void kvLoadConfig(void* block, int32_t size);

/// Capacity of kvCaption, terminating zero included.
constexpr int KV_CAPTION_SIZE = 64;
/// Title of the render window and caption of every message box.
/// Set to "kvKIT v1.0" by start-up.
extern char kvCaption[KV_CAPTION_SIZE];

/// @}

// ---------------------------------------------------------------------------
// Memory pool (kvSys/Memory)
// ---------------------------------------------------------------------------

/// \defgroup memory Memory pool
/// One fixed pool, reserved once at start-up, from which the kit takes every
/// record, buffer, model, motion, camera path, light table and Surface record.
/// Blocks carry a 4-byte header and no alignment; shutdown releases the pool
/// whole, so blocks still held then are not freed one by one.
/// @{

/// Reserves the pool: \p sizeKiB KiB from the process heap; it must be below
/// 1 GiB (block headers hold twice a length). The kit sets its pool up once per
/// process: every call after the first is refused, with a log line, even after
/// kvReleaseSystemMemory.
/// \return 1 when the pool exists; 0 on a second call, for a size of 0 or of
/// 1 GiB, or when the heap refuses it.
int16_t kvSetSystemMemory(uint32_t sizeKiB);
/// Takes \p bytes data bytes from the pool: the first free block of exactly
/// that size, else the smallest larger one, split when the rest can hold a
/// header. The block belongs to the caller until kvFree or the end of the pool.
/// \return the data bytes (at any byte address), or null without a message
/// when \p bytes is not positive, there is no pool or no block is large enough.
void* kvAlloc(int32_t bytes);
/// Gives a block from kvAlloc back to the pool and merges it with free
/// neighbours. Null is ignored; any other pointer not from kvAlloc, or freed
/// already, is outside the contract.
void kvFree(void* data);
/// Gives the whole pool back to the process heap; every block in it is gone.
void kvReleaseSystemMemory();

/// @}

// ---------------------------------------------------------------------------
// Debug log (kvSys/kvDebug)
// ---------------------------------------------------------------------------

/// \defgroup debug Debug log
/// The kit's only diagnostic channel: one line per call, tagged with the call
/// site, sent to the platform's debugger output (stderr, in UTF-8, and the
/// launcher's --log file). Kit messages carry their own "\\n".
/// @{

/// Source file of the call site of the next log line; set by kvDebugPrint.
extern const char* kvDebugFile;
/// Source line of the call site of the next log line; set by kvDebugPrint.
extern int32_t kvDebugLine;
/// Formats "%s(%ld): " with kvDebugFile and kvDebugLine, then the message, into a
/// 260-byte line, and sends it to the debugger channel. Call it through kvDebugPrint.
/// A longer line is cut at 259 bytes. No line feed is added.
void kvDebugPrintLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
/// Tags the line with the call site, as every log call in the kit does.
/// Takes a printf format and its values.
#define kvDebugPrint(...) \
  (kvDebugFile = __FILE__, kvDebugLine = __LINE__, kvDebugPrintLine(__VA_ARGS__))
/// Size of one log line, prefix and terminating zero included.
constexpr int KV_DEBUG_LINE_SIZE = 260;

/// @}

// ---------------------------------------------------------------------------
// File access (kvSys/kvFile): one standard stream call each
// ---------------------------------------------------------------------------

/// \defgroup file File access
/// Thin wrappers over the standard buffered streams, used by every loader.
/// Names are in the kit's code page (CP949) and relative to the working
/// directory; the platform turns them into the UTF-8 names on disk. Each
/// reports exactly what its standard operation reports and logs nothing.
/// @{

/// Opens \p name with the fopen \p mode ("rb", "wb", ...).
/// \return the stream, which the caller closes with kvFileClose; null on failure.
FILE* kvFileOpen(const char* name, const char* mode);
/// Closes a stream from kvFileOpen. \return fclose's result.
int kvFileClose(FILE* file);
/// Reads up to \p itemCount items of \p itemSize bytes into \p destination.
/// \return the number of whole items read.
size_t kvFileRead(void* destination, size_t itemSize, size_t itemCount, FILE* file);
/// Moves to \p offset from \p origin (SEEK_SET, SEEK_CUR or SEEK_END).
/// \return 1 on success, 0 on failure (the inverse of fseek's result).
int16_t kvFileSeek(FILE* file, int32_t offset, int origin);
/// \return the current position, or -1 on failure.
int32_t kvFileTell(FILE* file);
/// \return the next byte as 0..255, or EOF.
int kvFileGetc(FILE* file);
/// Reads one line (fgets) of at most \p capacity - 1 bytes into \p destination.
/// \return \p destination, or null at the end of the file or on failure.
char* kvFileGets(char* destination, int16_t capacity, FILE* file);

/// @}

// ---------------------------------------------------------------------------
// Frame pacing (kvSys/Frame)
// ---------------------------------------------------------------------------

/// \defgroup frame Frame pacing
/// Keeps a loop at a fixed rate with a time debt over a 15-bit millisecond
/// tick: kvFrameSkip waits when the loop is early and asks it to skip drawing
/// when it is a whole frame late, so the world advances at the set rate.
/// @{

/// \return the platform's millisecond count reduced to its low 15 bits
/// (0..32767; it wraps every 32.768 s).
int32_t kvGetTick();
/// \return the same value as kvGetTick.
int32_t kvGetTime();
/// Busy-waits (no sleep) for \p milliseconds with a grain well below a
/// millisecond; returns at once for 0 or less. Blocks the whole program.
void kvWait(int32_t milliseconds);
/// Sets \p framesPerSecond (period 1000 / rate ms, integer division) and
/// restarts the schedule: the debt becomes 0 and the next kvFrameSkip opens it.
/// A rate below 1 is refused with a log line and changes nothing.
/// \return the tick stored as the schedule point.
int32_t kvSetFrameRate(int32_t framesPerSecond);
/// Paces one loop iteration; call it once per iteration, after advancing the
/// world and before drawing. Busy-waits while the loop is early.
/// \return 1 to draw this frame, 0 to skip drawing it (the loop is at least
/// one whole period behind).
int32_t kvFrameSkip();

/// @}

// ---------------------------------------------------------------------------
// Keyboard pad (kvSys/kvPad)
// ---------------------------------------------------------------------------

/// \defgroup pad Keyboard pad
/// Two game pads read from the keyboard (four directions and five buttons
/// each, as bit sets), Escape and F2, and a counter of releases of one key.
/// Reads are levels, taken from the key state at the moment of the call. A
/// non-zero selector means pad 1 (at start: the arrows; keypad 5, 6, 2, 3, 4),
/// zero pad 2 (at start: E, S, F, D for up, left, right, down; U, I, J, K, Y).
/// @{

constexpr uint8_t KV_PAD_UP = 0x01;       ///< Direction bit: up.
constexpr uint8_t KV_PAD_DOWN = 0x02;     ///< Direction bit: down.
constexpr uint8_t KV_PAD_LEFT = 0x04;     ///< Direction bit: left.
constexpr uint8_t KV_PAD_RIGHT = 0x08;    ///< Direction bit: right.
constexpr uint8_t KV_PAD_BUTTON1 = 0x10;  ///< Button bit: button 1.
constexpr uint8_t KV_PAD_BUTTON2 = 0x20;  ///< Button bit: button 2.
constexpr uint8_t KV_PAD_BUTTON3 = 0x40;  ///< Button bit: button 3.
constexpr uint8_t KV_PAD_BUTTON4 = 0x80;  ///< Button bit: button 4.
/// Button bit: button 5. It shares its value with KV_PAD_UP; buttons and
/// directions come in separate results.
constexpr uint8_t KV_PAD_BUTTON5 = 0x01;

/// Assigns the virtual-key codes of the four directions of the pad chosen by
/// \p selector.
void kvSetPadKeys(uint16_t selector, uint16_t up, uint16_t left, uint16_t right, uint16_t down);
/// Assigns the virtual-key codes of the five buttons of the pad chosen by
/// \p selector.
void kvSetPadButtons(uint16_t selector, uint16_t button1, uint16_t button2, uint16_t button3,
                     uint16_t button4, uint16_t button5);
/// \return the KV_PAD_UP .. KV_PAD_RIGHT bits of the pad's direction keys held
/// now; opposite directions may be set together.
uint8_t kvGetPadDirection(uint16_t selector);
/// \return the KV_PAD_BUTTON1 .. KV_PAD_BUTTON5 bits of the pad's buttons held now.
uint8_t kvGetPadButtons(uint16_t selector);
/// \return 0x80 while Escape is held, else 0.
int16_t kvKeyEscape();
/// \return 0x80 while F2 is held, else 0.
int16_t kvKeyF2();
/// Chooses the counted key by virtual-key code (F1 at start).
void kvSetCountKey(uint16_t virtualKey);
/// Samples the counted key and adds 1 to the counter when it was held at the
/// previous sample and is up now. kvFlip calls it once per presented frame, so
/// a press and release between two presents is not counted.
/// \return 0x80 while the key is held, else 0.
int16_t kvPollCountKey();
/// Adds 1 to the counter. \return the new count.
int32_t kvIncCount();
/// Subtracts 1 from the counter. \return the new count.
int32_t kvDecCount();
/// \return the counter (0 at start).
int32_t kvGetCount();

/// @}

// ---------------------------------------------------------------------------
// Device framework (kvSys/d3dframe): DirectDraw and Direct3D objects for one
// driver, device and display mode, built in stages and torn down in order.
// ---------------------------------------------------------------------------

/// \defgroup framework Device framework
/// Everything the device needs before the first triangle (display object,
/// cooperative level, display mode, front and back buffers, clipper,
/// z-buffer, device, viewport), built in that order for one driver, device
/// and mode, presented, restored after loss and torn down in order. Results
/// are 0 on success, a KVERR_FW_* code, or a platform code passed through
/// (E_INVALIDARG, DDERR_OUTOFVIDEOMEMORY, DDERR_SURFACELOST, the results of
/// presenting). Diagnostics go to the debugger channel (kvFwDebugMsg).
/// @{

constexpr uint32_t KVFW_FULLSCREEN = 0x01;     ///< Exclusive full screen with a mode change.
constexpr uint32_t KVFW_BACKBUFFER = 0x02;     ///< A back buffer (flip chain or off-screen).
constexpr uint32_t KVFW_ZBUFFER = 0x04;        ///< A z-buffer attached to the render target.
constexpr uint32_t KVFW_STENCILBUFFER = 0x08;  ///< The z-buffer format must carry stencil bits.
constexpr uint32_t KVFW_NO_FPUSETUP = 0x10;    ///< Leave the floating-point unit as it is.

/// A set-up step failed with E_FAIL.
constexpr HRESULT KVERR_FW_INIT_FAILED = static_cast<HRESULT>(0x82000000u);
/// The display object could not be created or queried.
constexpr HRESULT KVERR_FW_NO_DIRECTDRAW = static_cast<HRESULT>(0x82000001u);
/// The cooperative level could not be set.
constexpr HRESULT KVERR_FW_COOP_LEVEL = static_cast<HRESULT>(0x82000002u);
/// The 3D interface could not be queried or the device was not found.
constexpr HRESULT KVERR_FW_NO_DIRECT3D = static_cast<HRESULT>(0x82000003u);
/// The device could not be created.
constexpr HRESULT KVERR_FW_NO_3D_DEVICE = static_cast<HRESULT>(0x82000004u);
/// No depth format, or the z-buffer could not be made or attached.
constexpr HRESULT KVERR_FW_NO_ZBUFFER = static_cast<HRESULT>(0x82000005u);
/// A viewport step failed.
constexpr HRESULT KVERR_FW_NO_VIEWPORT = static_cast<HRESULT>(0x82000006u);
/// The primary surface could not be made (other than for video memory).
constexpr HRESULT KVERR_FW_NO_PRIMARY = static_cast<HRESULT>(0x82000007u);
/// The clipper could not be made.
constexpr HRESULT KVERR_FW_NO_CLIPPER = static_cast<HRESULT>(0x82000008u);
/// The display mode could not be set.
constexpr HRESULT KVERR_FW_BAD_DISPLAY_MODE = static_cast<HRESULT>(0x82000009u);
/// The back buffer could not be had (other than for video memory).
constexpr HRESULT KVERR_FW_NO_BACKBUFFER = static_cast<HRESULT>(0x8200000Au);
/// Teardown found the device or the display object still referenced.
constexpr HRESULT KVERR_FW_NONZERO_REFCOUNT = static_cast<HRESULT>(0x8200000Bu);
/// The device refused the new render target, or there is no device.
constexpr HRESULT KVERR_FW_NO_RENDER_TARGET = static_cast<HRESULT>(0x8200000Cu);
/// The display mode has 8 bits a pixel or fewer.
constexpr HRESULT KVERR_FW_INVALID_MODE = static_cast<HRESULT>(0x8200000Du);
/// The framework is not set up (or has no device, viewport or front surface).
constexpr HRESULT KVERR_FW_NOT_INITIALIZED = static_cast<HRESULT>(0x8200000Eu);

/// The device objects of one set-up; the process has one, kvFramework.
struct DeviceFramework {
  int32_t initialised;                ///< 1 from the end of kvFwInitialize to kvFwDestroyObjects
  HINSTANCE instance;                 ///< the application instance, stored by WinMain
  HWND window;                        ///< the render window
  int32_t fullscreen;                 ///< 1 when set up with KVFW_FULLSCREEN
  uint32_t renderWidth;               ///< size of the render target in pixels
  uint32_t renderHeight;              ///< size of the render target in pixels
  RECT screenRect;                    ///< where the picture shows, screen coordinates
  RECT viewportRect;                  ///< the render target's area
  IDirectDrawSurface4* front;         ///< the primary surface
  IDirectDrawSurface4* back;          ///< the back buffer, or null without KVFW_BACKBUFFER
  IDirectDrawSurface4* renderTarget;  ///< holds one reference of its own
  IDirectDrawSurface4* zBuffer;       ///< attached to the render target, or null
  IDirect3DDevice3* device;           ///< the device every draw and texture call goes to
  IDirect3DViewport3* viewport;       ///< the device's current viewport; clears go through it
  IDirectDraw4* directDraw;           ///< the display object
  IDirect3D3* direct3D;               ///< the 3D interface
  /// The hardware description of a hardware device, else the software one.
  D3DDEVICEDESC deviceDesc;
  uint32_t deviceMemoryType;    ///< DDSCAPS_VIDEOMEMORY or DDSCAPS_SYSTEMMEMORY
  DDPIXELFORMAT zBufferFormat;  ///< dwSize is 32 only when a format was found
};
/// The framework record of the process, zero-filled by start-up.
extern DeviceFramework kvFramework;

/// Builds every object for the driver, the device and the display mode, in
/// order, stopping at the first failure, whose objects are then released.
/// Driver, device and mode are the enumerated records' GUIDs and mode description
/// (&driver->guid, &device->guid, &mode->desc); a null device builds DirectDraw only.
/// Whatever the outcome it sets initialised to 1 and rebuilds every texture
/// (kvRestoreAllSurfaces).
/// \return 0; E_INVALIDARG, with nothing changed, for a null \p window or full
/// screen without a \p mode; else the failing stage's KVERR_FW_* code or
/// DDERR_OUTOFVIDEOMEMORY.
HRESULT kvFwInitialize(DeviceFramework* framework, HWND window, const GUID* driver,
                       const GUID* device, const DDSURFACEDESC2* mode, uint32_t flags);
/// Takes every texture off the device, then releases the objects in teardown
/// order and clears their references; initialised becomes 0. Does nothing when
/// not initialised.
/// \return 0, or KVERR_FW_NONZERO_REFCOUNT when the device or the display
/// object was still referenced elsewhere.
HRESULT kvFwDestroyObjects(DeviceFramework* framework);
/// Presents the finished frame: a flip in full screen, a copy of the back
/// buffer to the window's place on the screen otherwise; \p wait non-zero
/// waits until the device can take it. A lost surface is restored, with every
/// texture, before the loss is returned.
/// \return the flip's or copy's result; KVERR_FW_NOT_INITIALIZED (logged) when
/// not set up; DDERR_SURFACELOST (logged "Surface Lost") without a back buffer.
HRESULT kvFwShowFrame(DeviceFramework* framework, int32_t wait);
/// In full screen, shows the desktop's surface so that a dialog can be seen,
/// and with \p redrawMenu redraws the window's frame. Nothing in a window or
/// without a display object. \return 0.
HRESULT kvFwFlipToGDISurface(DeviceFramework* framework, int32_t redrawMenu);
/// Restores each of front, back and zBuffer that reports itself lost. \return 0.
HRESULT kvFwRestoreSurfaces(DeviceFramework* framework);
/// In a window, follows a move of the client area to (\p x, \p y): the screen
/// rectangle moves, and without a back buffer the viewport rectangle with it.
/// Nothing in full screen.
void kvFwMove(DeviceFramework* framework, int32_t x, int32_t y);
/// Makes \p surface the render target (the framework takes a reference) and
/// the render size its size; a z-buffer, when there is one, is rebuilt at the
/// new size. The viewport is not changed.
/// \return 0; E_INVALIDARG for a null surface; KVERR_FW_NO_ZBUFFER when the
/// new z-buffer fails; KVERR_FW_NO_RENDER_TARGET when the device refuses it or
/// there is no device.
HRESULT ChangeRenderTarget(DeviceFramework* framework, IDirectDrawSurface4* surface);
/// Writes "source(line): " + message [+ "(hr=%08lx)\\n"] + "\\n" to the debugger channel.
/// The code part is written only for a non-zero \p code. \return \p code.
HRESULT kvFwDebugMsg(const char* source, int32_t line, HRESULT code, const char* message);
/// Zeroes \p desc and sets its sizes, \p flags (dwFlags) and \p caps (ddsCaps.dwCaps).
void kvInitSurfaceDesc(DDSURFACEDESC2* desc, uint32_t flags, uint32_t caps);
/// Zeroes \p viewport and fills it for a \p width x \p height target at (0, 0)
/// with the clip volume x -1..1, y -1..1, z 0..1.
void kvInitViewport(D3DVIEWPORT2* viewport, uint32_t width, uint32_t height);

/// @}

// ---------------------------------------------------------------------------
// Device enumeration, driver choice and video configuration (kvSys/d3denum)
// ---------------------------------------------------------------------------

/// \defgroup enumeration Drivers, devices, modes and the saved choice
/// The machine's display drivers, the 3D devices of each and the display modes
/// each device can render into, listed once at start-up; the current choice
/// (current driver, its currentDevice, that device's currentMode and windowed
/// flag); the driver-selection dialog; and kvKIT.vid, which keeps the choice
/// between runs. The records come from the general heap, in enumeration order,
/// and live until kvFreeDrivers.
/// @{

constexpr uint32_t KVSEL_SOFTWARE_ONLY = 0x01;    ///< Skip the hardware passes.
constexpr uint32_t KVSEL_FULLSCREEN_ONLY = 0x02;  ///< Skip the windowed passes.
constexpr uint32_t KVSEL_RGB_DEVICE = 0x04;       ///< Pick the RGB software device.
constexpr uint32_t KVSEL_REF_DEVICE = 0x08;       ///< Pick the reference rasterizer.
/// Pick a device other than the RGB and reference devices on the first driver.
constexpr uint32_t KVSEL_PRIMARY_HARDWARE = 0x10;
/// Pick a device other than the RGB and reference devices on a later driver.
constexpr uint32_t KVSEL_SECONDARY_HARDWARE = 0x20;

/// No 3D device at all, or no current driver.
constexpr HRESULT KVERR_ENUM_FAILED = static_cast<HRESULT>(0x81000001u);
/// No device fits and the reference rasterizer was not seen.
constexpr HRESULT KVERR_ENUM_SUGGEST_REFRAST = static_cast<HRESULT>(0x81000002u);
/// No device fits although the reference rasterizer was seen.
constexpr HRESULT KVERR_ENUM_NO_COMPATIBLE = static_cast<HRESULT>(0x81000003u);
/// The display driver's module is missing.
constexpr HRESULT KVERR_ENUM_NO_DDRAW = static_cast<HRESULT>(0x81000004u);
/// No device of the kind kvSelectDefaultDriver was asked for.
constexpr HRESULT KVERR_ENUM_NO_SUCH_DRIVER = static_cast<HRESULT>(0x81000005u);

constexpr int KV_ENUM_TEXT_SIZE = 40;  ///< 39 characters and a terminating zero

/// One display mode a device can render into.
struct ModeInfo {
  DDSURFACEDESC2 desc;           ///< the mode as enumerated: width, height, bit count, refresh rate
  char text[KV_ENUM_TEXT_SIZE];  ///< "640 x 480 x 16"
  ModeInfo* next;                ///< the device's next mode, or null
};

/// One 3D device of a driver.
struct DeviceInfo {
  GUID guid;                     ///< the device's GUID
  GUID* guidRef;                 ///< always &guid
  char name[KV_ENUM_TEXT_SIZE];  ///< shown in the dialog
  D3DDEVICEDESC desc;         ///< hardware description of a hardware device, else the software one
  int32_t isHardware;         ///< 1 when the hardware description's flags are non-zero
  int32_t desktopCompatible;  ///< has a mode of the desktop's depth
  int32_t windowed;           ///< 1 to run in a window, 0 full screen
  ModeInfo* currentMode;      ///< the chosen mode
  ModeInfo* modes;            ///< the first mode
  DeviceInfo* next;           ///< the driver's next device, or null
};

/// One display driver and its devices.
struct DriverInfo {
  GUID guid;                            ///< all zero for the primary display driver
  GUID* guidRef;                        ///< &guid, or null for the primary display driver
  char description[KV_ENUM_TEXT_SIZE];  ///< shown in the dialog
  char name[KV_ENUM_TEXT_SIZE];         ///< the driver's name
  DDCAPS hwCaps;                        ///< hardware capabilities
  DDCAPS helCaps;                       ///< emulation capabilities
  int32_t isPrimary;                    ///< 1 for the primary display driver
  DeviceInfo* currentDevice;            ///< the device chosen on this driver
  DeviceInfo* devices;                  ///< the first device
  DriverInfo* next;                     ///< the next driver, or null
};

/// Gets the driver's hardware caps and the description that will be kept; a
/// negative result drops the device.
using kvDeviceConfirmFn = HRESULT (*)(DDCAPS* hwCaps, D3DDEVICEDESC* deviceDesc);

/// Lists every driver, its devices and their modes (devices without a mode,
/// and drivers without a device, are left out), calling \p confirm, when not
/// null, for each device; then makes the default choice.
/// \return the result of kvSelectDefaultDriver(0), or KVERR_ENUM_NO_DDRAW.
HRESULT kvEnumerateDrivers(kvDeviceConfirmFn confirm);
/// Makes the default choice. With KVSEL_RGB_DEVICE, KVSEL_REF_DEVICE or a
/// hardware flag, the first device of a kind asked for; otherwise the first of
/// four passes that finds a device: hardware in a window, software in a window,
/// hardware full screen, software full screen (KVSEL_SOFTWARE_ONLY and
/// KVSEL_FULLSCREEN_ONLY skip passes). The device becomes its driver's
/// currentDevice and the driver the current one; the passes also set its
/// windowed flag. Modes are not chosen here.
/// \return 0; KVERR_ENUM_NO_SUCH_DRIVER, or one of KVERR_ENUM_FAILED,
/// KVERR_ENUM_NO_COMPATIBLE, KVERR_ENUM_SUGGEST_REFRAST, when nothing fits.
HRESULT kvSelectDefaultDriver(uint32_t flags);
/// Sets every device's desktopCompatible from the desktop's current depth.
void kvUpdateDesktopCompatibility();
/// Hands out the current driver and its current device; either out pointer
/// may be null. The records stay the enumeration's.
/// \return 0, or KVERR_ENUM_FAILED without a current driver.
HRESULT kvGetSelectedDriver(DriverInfo** driver, DeviceInfo** device);
/// \return the first driver of the list (null before enumeration and after
/// kvFreeDrivers); the records stay the enumeration's.
DriverInfo* kvGetDriverList();
/// Runs the modal driver-selection dialog (driver, device, and a mode or
/// "Windowed mode") over \p window, first setting the current device's
/// windowed flag to \p windowed. OK with a new choice makes it current.
/// \return 1 when the choice changed, 2 when not (OK without change, or Cancel),
/// -1 without a current driver or memory.
INT_PTR kvSelectDriverDialog(HWND window, int32_t windowed);
/// Fills the dialog's three boxes: every driver, the devices of \p driver and
/// the modes of \p device (with "Windowed mode" first where the primary
/// driver and device can render in a window), selecting the given choice. A
/// null driver or device means the first one.
void kvFillDriverDialog(HWND dialog, DriverInfo* driver, DeviceInfo* device, ModeInfo* mode,
                        int32_t windowed);
/// The driver-selection dialog's procedure (WM_INITDIALOG, OK, Cancel and the
/// boxes' CBN_SELENDOK). \return TRUE for the messages it handles, else FALSE.
INT_PTR CALLBACK kvDriverDialogProc(HWND dialog, UINT message, WPARAM w, LPARAM l);
/// Writes the current driver, device and mode to kvKIT.vid (1344 bytes) in the
/// working directory, through a temporary file flushed to disk and renamed over
/// the old one. A write that fails is logged with its reason and leaves the
/// previous file. Writes nothing without a current choice.
void kvSaveVideoConfig();
/// Reads kvKIT.vid and, when the same driver, device and mode are still
/// listed with the same capabilities, makes them the current choice with the
/// saved windowed flag. A missing or foreign file changes nothing; a short one
/// is logged and changes nothing.
void kvLoadVideoConfig();
/// Frees every mode, device and driver record and empties the list; there is
/// no current choice afterwards.
void kvFreeDrivers();

/// @}

// ---------------------------------------------------------------------------
// Render device operations (kvSys/kvRender)
// ---------------------------------------------------------------------------

/// \defgroup render Render device operations
/// The frame bracket (clear, begin scene, end scene, present), the render
/// flags every material selects, the fog colour and the render target. A frame
/// is: a clear, kvBeginScene and, only when it returns 1, the draws,
/// kvEndScene and kvFlip. Colour arguments keep their low 8 bits.
/// @{

constexpr int32_t KV_RF_ALPHA = 0x001;    ///< Alpha blending with the inverse source alpha.
constexpr int32_t KV_RF_ZBUFFER = 0x002;  ///< Depth test (greater or equal) and write.
/// Corner colours are interpolated and sent; without it corners are white.
constexpr int32_t KV_RF_COLOR = 0x004;
constexpr int32_t KV_RF_TEXTURE = 0x008;  ///< Texturing with the current texture.
/// The clippers carry each corner's aux value (when KV_RF_ALPHA is clear).
constexpr int32_t KV_RF_AUX = 0x010;
constexpr int32_t KV_RF_COLORKEY = 0x020;     ///< With KV_RF_TEXTURE: the texture's colour key.
constexpr int32_t KV_RF_PERSPECTIVE = 0x040;  ///< Perspective-correct texturing.
constexpr int32_t KV_RF_FILTER = 0x080;       ///< Bilinear filtering; without it nearest texel.
/// Without KV_RF_ALPHA: additive blending. It also makes a material's faces
/// two-sided.
constexpr int32_t KV_RF_ADDITIVE = 0x100;

/// The current render flags (KV_RF_COLOR at start); set it with kvSetRenderFlags.
extern int32_t kvRenderFlags;

/// Begins the frame's drawing.
/// \return 1 when the framework has a device that began the scene, else 0: the
/// caller then skips the frame (no kvEndScene, no flip).
int16_t kvBeginScene();
/// Ends the frame's drawing; nothing without a framework device.
void kvEndScene();
/// Presents the frame (waiting for the device), then handles window messages
/// (kvPumpMessages) and samples the counted key (kvPollCountKey). Results are
/// not examined.
void kvFlip();
/// kvFlip without waiting for the device to take the frame.
void kvFlipNoWait();
/// Clears the whole render target to (\p red, \p green, \p blue) and the
/// depth buffer to 0.
/// \return the device's result, or KVERR_FW_NOT_INITIALIZED without a viewport.
HRESULT kvClear(int32_t red, int32_t green, int32_t blue);
/// Clears the whole render target to (\p red, \p green, \p blue).
/// \return the device's result, or KVERR_FW_NOT_INITIALIZED without a viewport.
HRESULT kvClearTarget(int32_t red, int32_t green, int32_t blue);
/// Clears the depth buffer to 0 (the farthest depth: nearer is larger).
/// \return the device's result, or KVERR_FW_NOT_INITIALIZED without a viewport.
HRESULT kvClearZ();
/// Sets the device's fog colour.
/// \return the device's result, or KVERR_FW_NOT_INITIALIZED without a device.
HRESULT kvSetFogColor(int32_t red, int32_t green, int32_t blue);
/// Makes \p flags (KV_RF_*) current and sets the device states they select;
/// a change of KV_RF_TEXTURE or KV_RF_COLORKEY selects the current texture
/// again. Without a device the flags are only kept; kvInitDevice applies them.
void kvSetRenderFlags(int32_t flags);
/// \return kvRenderFlags.
int32_t kvGetRenderFlags();
/// 1 selects the front buffer, anything else the back buffer (low 8 bits count).
/// The choice remembered starts at 1.
/// \return the low 8 bits of \p which, without any device call, when they are
/// the current choice; otherwise ChangeRenderTarget's result.
HRESULT kvSetRenderTarget(int32_t which);

/// @}

// ---------------------------------------------------------------------------
// Surfaces and textures (kvSys/kvSurface)
// ---------------------------------------------------------------------------

/// \defgroup surface Surfaces and textures
/// A Surface is an image the kit can draw as a texture. It keeps its own copy
/// of the pixels and a device texture rebuilt from them whenever the device
/// changes or is lost. Every Surface lives in one of KV_SURFACE_GROUPS groups
/// and is freed with its group (kvFreeSurfaceGroup, and every group at
/// shutdown); no operation frees a single Surface.
/// @{

constexpr int KV_SURFACE_GROUPS = 8;         ///< Groups 0..7.
constexpr uint8_t SURFACE_FORMAT_16BPP = 0;  ///< RGB565 pixels
constexpr uint8_t SURFACE_FORMAT_8BPP = 1;   ///< palette indices

/// The request a loader hands to kvCreateSurface; the caller keeps its buffers.
struct ImageDesc {
  int32_t group;            ///< the surface group, 0..7
  int32_t width;            ///< 8, 16, 32, 64, 128 or 256
  int32_t height;           ///< 8, 16, 32, 64, 128 or 256, within 8 times the width either way
  uint8_t format;           ///< SURFACE_FORMAT_8BPP; any other value means SURFACE_FORMAT_16BPP
  uint8_t palette[256][3];  ///< red, green, blue; read for the 8-bit format only
  const void* pixels;       ///< row 0 (top) first, rows packed
};

/// An image with its own pixel copy and a device texture that can be rebuilt at
/// any time from it. The record is from the kit pool, the pixels from the heap.
struct Surface {
  int32_t group;                   ///< the group the Surface is linked into
  int32_t width;                   ///< width in pixels
  int32_t height;                  ///< height in pixels
  uint8_t format;                  ///< SURFACE_FORMAT_8BPP or SURFACE_FORMAT_16BPP (as requested)
  uint8_t palette[256][3];         ///< red, green, blue; zero for a 16-bit image
  IDirectDrawSurface4* ddSurface;  ///< null while off the device
  IDirect3DTexture2* texture;      ///< null while off the device
  /// The creation description, then the locked one (its bit count picks the key form).
  DDSURFACEDESC2 desc;
  void* pixels;   ///< the image, row 0 first; width x height bytes, doubled for 16 bits
  Surface* next;  ///< the next (older) Surface of the same group
};

/// The group loaders put into their requests (kvSetSurfaceGroup changes it).
extern int32_t kvSurfaceGroup;

/// Makes a Surface of \p request: copies its size, format, palette and pixels,
/// links the Surface at the head of its group and puts it on the device. A
/// Surface that could not be put on the device is still returned; it draws
/// untextured until a later restore succeeds.
/// \return the Surface, owned by its group; null, with a log line and nothing
/// allocated, for a side not a power of two in 8..256, sides more than 8 times
/// apart, a group outside 0..7, no pixels, or no memory.
Surface* kvCreateSurface(ImageDesc* request);
/// Rebuilds the Surface's device texture from its pixel copy, dropping any old
/// one; on failure logs the reason and "Texture Restore error!!" and leaves the
/// Surface off the device (null texture), ready for the next attempt.
/// \return the unlock's result (0), or kvSetTexture's for the current
/// texture; 0 on failure too, which shows only as the null texture.
HRESULT kvRestoreSurface(Surface* surface);
/// kvRestoreSurface on every Surface of groups 0 to 7.
void kvRestoreAllSurfaces();
/// Takes every Surface off the device (its texture released); pixels stay.
void kvReleaseAllSurfaces();
/// Frees every Surface of \p group: texture, pixels and record. If the current
/// texture was among them there is none afterwards. Groups outside 0..7 are
/// ignored. \return \p group.
int32_t kvFreeSurfaceGroup(int32_t group);
/// Makes \p group (0..7) the group loaders put new Surfaces into; other values
/// change nothing.
void kvSetSurfaceGroup(int32_t group);
/// Copies new \p pixels (the Surface's size and format) and, when not null, a
/// 768-byte \p palette over the Surface's own, and rebuilds its texture when it
/// is on the device. A null pixel pointer keeps the pixels; a null Surface is
/// ignored.
void kvReplaceSurfacePixels(Surface* surface, const void* pixels, const uint8_t* palette);
/// \return for \p selector 0 the width, 1 the height, 2 the format, 3 the
/// group; -1 for other selectors or a null Surface.
int32_t kvGetSurfaceInfo(Surface* surface, uint8_t selector);
/// kvGetSurfaceInfo of the current texture; -1 when there is none.
int32_t kvGetTextureInfo(uint8_t selector);
/// Makes \p surface the current texture and, under KV_RF_TEXTURE, binds it to
/// the device with its colour key; without KV_RF_TEXTURE it binds none. A
/// null Surface changes nothing. A Surface off the device binds no texture.
/// \return the device's result; 0 for null; KVERR_FW_NOT_INITIALIZED without a
/// device, the choice being kept for when the textures are restored.
HRESULT kvSetTexture(Surface* surface);
/// Sets the colour key (black at start) and applies it to the current texture.
void kvSetColorKey(uint8_t red, uint8_t green, uint8_t blue);
/// Applies the colour key to the current texture under KV_RF_TEXTURE and
/// KV_RF_COLORKEY; an 8-bit image keys its first palette entry of that colour
/// and, without one, keys nothing. Otherwise colour keying is switched off.
void kvApplyColorKey();
/// \return the display object behind \p device's render target, without a
/// reference of its own (the framework's keeps it alive); null without one.
IDirectDraw4* kvGetDirectDraw(IDirect3DDevice3* device);

/// @}

// ---------------------------------------------------------------------------
// Screen modes, window and message pump (kvSys/kvScreen)
// ---------------------------------------------------------------------------

/// \defgroup screen Screen modes, window and message pump
/// The render window and the device set up on it, the window procedure, the
/// message pump (run once per presented frame, with F3 for the driver dialog)
/// and the one message box through which device failures reach the user.
/// @{

constexpr int32_t KVMSG_EXIT = 1;  ///< kvShowError: an error box saying the program will exit.
/// kvShowError: a warning box saying the software rasterizer takes over.
constexpr int32_t KVMSG_SOFTWARE = 2;

/// Size of the current screen mode; the view rectangle is clamped to it.
extern int32_t kvScreenWidth;
/// \var kvScreenHeight
/// Height of the current screen mode (see kvScreenWidth).
extern int32_t kvScreenHeight;

/// Creates the render window for screen \p mode (0: 256 x 200, 1: 320 x 200,
/// 2: 320 x 240, 3: 512 x 240, 4: 512 x 384, 5: 640 x 400, 6: 640 x 480,
/// 7: 320 x 240 client area), captioned kvCaption, sets the device up on it
/// for the current choice (kvInitDevice), and resets the view rectangle, the
/// render flags (0), the colour key and the fog colour (black).
/// \return 1 on success; 0 for a mode above 7 (logged, no window), or when the
/// device cannot be set up (after the error box; the window stays).
int16_t kvSetScreenMode(uint32_t mode);
/// The render window's procedure: keeps the framework in step with moves,
/// paints and activation, hides the cursor in full screen, fixes the window's
/// size, and ends the pump on close. \return the message's result.
LRESULT CALLBACK kvWindowProc(HWND window, UINT message, WPARAM w, LPARAM l);
/// Handles window messages; kvFlip calls it after each present. With F3 held
/// it first runs kvChangeDevice and restarts frame pacing. While the program
/// is not the active one it waits for messages, which pauses the program. Does
/// nothing before kvSetScreenMode or after the window is gone.
void kvPumpMessages();
/// F3: runs the driver dialog and, when the choice changed, rebuilds the
/// device (kvRebuildDevice). Nothing while inactive or without a framework.
void kvChangeDevice();
/// Tears the framework down and sets it up again on \p window for the current
/// choice. A failure is shown with the exit ending and destroys the window.
/// \return 0, or the failing step's result.
HRESULT kvRebuildDevice(HWND window);
/// Sets the framework up on \p window for the current driver, device and mode
/// (full screen unless the device is windowed), then applies the render flags
/// and the base render states. A hardware device that fails is reported with
/// the software ending and replaced by the default software device.
/// \return 0; the set-up's failure; KVERR_ENUM_FAILED without a current choice.
HRESULT kvInitDevice(HWND window);
/// Shows the message box for a result \p code (a KVERR_* code, E_OUTOFMEMORY,
/// DDERR_OUTOFVIDEOMEMORY, else a generic text), captioned kvCaption: an error
/// with the exit ending for KVMSG_EXIT, else a warning, with the software ending
/// for KVMSG_SOFTWARE. It ends nothing itself. \return the message box's result.
int32_t kvShowError(HRESULT code, int32_t type);

/// @}

// ---------------------------------------------------------------------------
// Image loaders (kvImage)
// ---------------------------------------------------------------------------

/// \defgroup image Image loaders
/// BMP, GIF and PCX files into Surfaces in the current surface group
/// (kvSetSurfaceGroup). The Surface belongs to its group. A file that is
/// missing, of another format, truncated, of a size kvCreateSurface refuses,
/// or that the pool has no room for, is refused with one log line naming the
/// file (kvLoadGif leaves a missing file to its caller).
/// @{

/// An uncompressed 8-bit (palette) or 16-bit (RGB565) Windows bitmap, rows top
/// first (the picture as seen). \return the Surface, or null.
Surface* kvLoadBmp(const char* path);
/// kvLoadBmp. \return 1 with *\p out = the Surface, or 0 with *\p out = null.
int16_t kvLoadBmpEx(const char* path, Surface** out);
/// kvLoadBmp with the rows in file order (bottom row first for an ordinary
/// bitmap), as object textures expect them. \return the Surface, or null.
Surface* kvLoadBmpVFlip(const char* path);
/// kvLoadBmpVFlip. \return 1 with *\p out = the Surface, or 0 with *\p out = null.
int16_t kvLoadBmpVFlipEx(const char* path, Surface** out);
/// The first image of a GIF file into an 8-bit Surface: its local colour table,
/// else the global one, as the palette; extensions skipped; interlaced rows put
/// in their places. \return the Surface, or null.
Surface* kvLoadGif(const char* path);
/// kvLoadGif. \return 1 with *\p out = the Surface, or 0 with *\p out = null.
int16_t kvLoadGifEx(const char* path, Surface** out);
/// An 8-bit single-plane PCX (run-length or raw, the palette in the last 768
/// bytes) into an 8-bit Surface. \return the Surface, or null.
Surface* kvLoadPcx(const char* path);
/// kvLoadPcx. \return 1 with *\p out = the Surface, or 0 with *\p out = null.
int16_t kvLoadPcxEx(const char* path, Surface** out);

/// @}

// ---------------------------------------------------------------------------
// 3D library: math (kvf3D/Math)
// ---------------------------------------------------------------------------

/// \defgroup math 3D math
/// Row-vector convention: p' = p x M, rows 0..2 are the images of the axes and
/// elements 12..14 the translation. Angles are 4096 units per turn and only the
/// low 12 bits count, so angle arithmetic wraps by itself. Outputs come first
/// and must not share storage with an input of the same call. Nothing here
/// allocates or fails.
/// @{

/// An angle of 4096 units per turn (1024 = 90 degrees); only the low 12 bits count.
using Angle = uint16_t;

/// A point or a direction.
struct Vector {
  /// @{
  /// Components.
  float x, y, z;
  /// @}
};

/// An affine transform: element r x 4 + c is row r, column c; elements 3, 7
/// and 11 are 0 and element 15 is 1 in every matrix the library builds.
struct Matrix {
  float m[16];  ///< rows 0..2 the images of the axes, 12..14 the translation
};

/// The head of any record that places an object in the scene.
struct Placement {
  Vector position;  ///< where the object's origin goes
  int16_t yaw;      ///< about Y
  int16_t pitch;    ///< about X
  int16_t roll;     ///< about Z
};

/// \return the sine of \p a, from a quarter-wave table.
float kv3dSin(Angle a);
/// \return the cosine of \p a, from the same table.
float kv3dCos(Angle a);
/// Heading of (x, z) from +z towards +x, 0..4096 inclusive; 0 inside the dead zone.
/// A component of exactly 0 counts with the negative side: (0, 1) gives 4096.
int32_t kv3dAtan2(float x, float z);

/// \p out = \p a x \p b (cross product). \return \p out.
Vector* kv3dCross(Vector* out, const Vector* a, const Vector* b);
/// \return the dot product of \p a and \p b.
float kv3dDot(const Vector* a, const Vector* b);
/// \p out = \p a + \p b. \return \p out.
Vector* kv3dAdd(Vector* out, const Vector* a, const Vector* b);
/// \p out = \p a - \p b. \return \p out.
Vector* kv3dSub(Vector* out, const Vector* a, const Vector* b);
/// \return the length of \p v (square root taken in double precision).
float kv3dLength(const Vector* v);
/// \p out = \p p x \p m, translation included. \return \p out.
Vector* kv3dTransform(Vector* out, const Vector* p, const Matrix* m);
/// \p out = \p v x the 3 x 3 part of \p m (no translation). \return \p out.
Vector* kv3dRotate(Vector* out, const Vector* v, const Matrix* m);
/// kv3dTransform of \p count packed Vectors; nothing for a count of 0 or less.
void kv3dTransformArray(Vector* out, const Vector* in, int32_t count, const Matrix* m);
/// kv3dRotate of \p count packed Vectors; nothing for a count of 0 or less.
void kv3dRotateArray(Vector* out, const Vector* in, int32_t count, const Matrix* m);

/// \p out = \p a x \p b: apply \p a, then \p b. Fourth columns are not read;
/// the result's is (0, 0, 0, 1). \return \p out.
Matrix* kv3dMulMatrix(Matrix* out, const Matrix* a, const Matrix* b);
/// \p out = the identity. \return \p out.
Matrix* kv3dIdentityMatrix(Matrix* out);
/// Rz(a) x Rx(b) x Ry(c): turned about Z, then X, then Y.
/// \return \p out.
Matrix* kv3dRotationMatrix(Matrix* out, Angle a, Angle b, Angle c);
/// Ry(-c) x Rx(-b) x Rz(-a), the exact inverse of kv3dRotationMatrix.
/// \return \p out.
Matrix* kv3dInvRotationMatrix(Matrix* out, Angle a, Angle b, Angle c);
/// kv3dRotationMatrix(\p a, \p b, \p c) with the translation \p position. A
/// Placement's matrix is kv3dPlacementMatrix(roll, pitch, yaw, position).
/// \return \p out.
Matrix* kv3dPlacementMatrix(Matrix* out, Angle a, Angle b, Angle c, const Vector* position);
/// T(-eye) x the inverse rotation: world to view.
/// \return \p out.
Matrix* kv3dViewMatrix(Matrix* out, Angle a, Angle b, Angle c, const Vector* eye);
/// Local matrix of a pivot: ((p - pivot) * scale) x R(angles Z, X, Y) + position.
/// \p angles are about X, Y and Z (low 16 bits read). \return \p out.
Matrix* kv3dPivotMatrix(Matrix* out, const Vector* pivot, const Vector* position,
                        const int32_t angles[3], const Vector* scale);

/// @}

// ---------------------------------------------------------------------------
// 3D library: objects (kvf3D/KVO), motions (kvf3D/LoadMOT)
// ---------------------------------------------------------------------------

/// \defgroup objects Objects and motions
/// KVO objects loaded into Models, MOT motions loaded into Motions, and the
/// four-key spline that poses a Model's pivots from a Motion. A loader refuses
/// a file that is missing, of another version, truncated, whose counts or
/// indices do not hold, or (MOT, CAM) whose key times go back or whose values
/// are not finite numbers, with one log line naming the file, and then keeps
/// nothing.
/// @{

// Shading modes as stored in a KVO file; a model with pivots adds KV_SHADING_PIVOTS.
// A model's shading outside 0..9 draws nothing.
constexpr int32_t KV_SHADING_NONE = 0;     ///< No light: faces drawn white (or textured).
constexpr int32_t KV_SHADING_GOURAUD = 1;  ///< Realtime light per vertex from vertex normals.
constexpr int32_t KV_SHADING_FLAT = 2;     ///< Realtime light per face from face normals.
constexpr int32_t KV_SHADING_CORNER_COLOURS = 3;  ///< Stored colour per face corner.
constexpr int32_t KV_SHADING_FACE_COLOURS = 4;    ///< Stored colour per face.
constexpr int32_t KV_SHADING_PIVOTS = 5;          ///< Added to the mode of a model with pivots.

/// Exactly the 44-byte face of the file.
struct Face {
  int32_t cornerCount;      ///< 3 or 4
  uint16_t vertexIndex[4];  ///< the corners' vertices; the first cornerCount are used
  float u[4];               ///< 1/256 of the texture's width
  float v[4];               ///< 1/256 of the texture's height
};

/// The look of consecutive faces.
struct Material {
  Surface* texture;      ///< none when untextured; the application may replace it
  float colour[4];       ///< file bytes c0..c3 as 0..255; c3 is the faces' alpha
  uint32_t renderFlags;  ///< KV_RF_* selected before the faces are drawn
  int32_t faceCount;     ///< consecutive faces using this material
};

/// A node of an object's hierarchy: a pose from the motion, matrices from the
/// renderer.
struct Pivot {
  Vector position;           ///< pose
  int32_t angles[3];         ///< pose: about X, Y, Z (low 16 bits read)
  Vector scale;              ///< pose
  Vector worldPivotPoint;    ///< the pivot point in world space; filled by kv3dPosePivotsWorld
  Vector pivotPoint;         ///< the point the pivot scales and turns about, model space
  Matrix viewMatrix;         ///< model to view, filled by the renderer
  Matrix worldMatrix;        ///< model to world, filled by the renderer
  int16_t boundVertexCount;  ///< vertices bound to this pivot, following the previous pivot's
  uint8_t evaluated;         ///< the renderer's mark while it evaluates the hierarchy
  Pivot* parent;             ///< the parent in the same array, or null
};

/// A loaded object: the record and every array in one pool block.
struct Model {
  int32_t vertexCount;     ///< number of vertices
  Vector* vertices;        ///< model space, grouped by pivot when there are pivots
  int32_t faceCount;       ///< number of faces
  Face* faces;             ///< grouped by material
  int32_t materialCount;   ///< number of materials
  Material* materials;     ///< in file order
  uint32_t pivotCount;     ///< number of pivots
  Pivot* pivots;           ///< null without pivots
  int32_t shading;         ///< file mode, + KV_SHADING_PIVOTS when there are pivots
  Vector* vertexNormals;   ///< one a vertex for KV_SHADING_GOURAUD, else null
  Vector* faceNormals;     ///< one a face for KV_SHADING_FLAT, else null
  uint8_t* cornerColours;  ///< 12 bytes a face: red 0..3, green 0..3, blue 0..3
  uint8_t* faceColours;    ///< 4 bytes a face: red, green, blue, unused
};

/// The 28-byte header of a KVO file.
struct KVOHeader {
  int32_t version;        ///< 16: version 1.0
  int32_t imageCount;     ///< image names (128 bytes each) after the header
  int32_t materialCount;  ///< materials (12 bytes each)
  int32_t vertexCount;    ///< vertices (12 bytes each)
  int32_t faceCount;      ///< faces (44 bytes each)
  int32_t pivotCount;     ///< pivots (16 bytes each)
  int32_t shading;        ///< KV_SHADING_NONE .. KV_SHADING_FACE_COLOURS
};

/// Capacity of kvImageTable; a KVO with more images is refused.
constexpr int KV_IMAGE_TABLE_SIZE = 256;
/// Textures of the object being loaded, by image number in its file. Each
/// load writes the slots of its own images; materials keep what they took.
extern Surface* kvImageTable[KV_IMAGE_TABLE_SIZE];

/// Loads the KVO file \p path into one Model. Its images, named relative to
/// the file's folder (a backslash separates folders), are loaded by their last
/// letter (x: kvLoadPcx, p: kvLoadBmpVFlip, f: kvLoadGif; others load nothing)
/// into kvImageTable and the current surface group; an absolute image name is
/// refused with a log line, and an image that fails leaves its materials
/// untextured. A model with pivots logs "Pivot: %d" and
/// starts at rest.
/// \return the Model, owned by the caller until kv3dFreeKVO; null once refused.
Model* kv3dLoadKVO(const char* path);
/// Gives a Model's block back to the pool; null is ignored. Its textures stay
/// with their surface group.
void kv3dFreeKVO(Model* model);
/// Logs \p header: version, the five counts and the shading mode's name.
void kv3dPrintKVOHeader(const KVOHeader* header);

/// A keyframe, and the result of the spline.
struct Key {
  uint32_t time;      ///< frames
  Vector position;    ///< translation
  int32_t angles[3];  ///< yaw, pitch, roll
  Vector scale;       ///< scale factors
};

/// The keys of one pivot, times in increasing order.
struct Track {
  int32_t keyCount;  ///< number of keys
  Key* keys;         ///< the keys, or null when there are none
};

/// One track per pivot of the models it animates.
struct Motion {
  int32_t header;      ///< kept, not interpreted
  int32_t trackCount;  ///< number of tracks
  Track* tracks;       ///< track i poses pivot i
};

/// Loads the MOT file \p path; degrees become Angles (truncated).
/// \return the Motion, owned by the caller until kv3dFreeMOT; null once refused.
Motion* kv3dLoadMOT(const char* path);
/// Gives a Motion and its key arrays back to the pool; null is ignored.
void kv3dFreeMOT(Motion* motion);
/// \return the file's header value, or -1 for a null Motion.
int32_t kv3dMotionHeader(const Motion* motion);
/// Four-key cubic spline over keys[0..3] that allows unevenly spaced keys.
/// At \p t equal to the second key's time, or when the middle keys share a
/// time, the result is the second key; at the third key's time, the third.
/// Angles blend as numbers, without wrapping at a full turn.
void kv3dInterpolateKey(Key* out, const Key keys[4], float t);
/// The track evaluated at t (keys chosen around t; the ends hold). An empty
/// track leaves out as it was.
void kv3dTrackKey(Key* out, const Key* keys, int32_t keyCount, float t);
/// Poses pivots 0..count-1 from tracks 0..count-1; with no motion, resets them.
/// Resting is position 0, angles 0, scale 1. A pivot without a track, or with
/// an empty one, keeps its pose. Only the pose fields change.
void kv3dSetMotionFrame(Pivot* pivots, uint32_t count, const Motion* motion, float t);

/// @}

// ---------------------------------------------------------------------------
// 3D library: camera (kvf3D/Camera)
// ---------------------------------------------------------------------------

/// \defgroup camera Camera
/// A viewer that orbits a target, follows a goal on a damped spring, aims at
/// the target and builds the view matrix the renderer uses; or one played
/// from a CAM path. The kv3dCamera* operations return the Camera they were given.
/// @{

/// The viewer; a plain record owned by the application.
struct Camera {
  Vector target;      ///< the point looked at
  Vector eye;         ///< the viewer's position
  Vector velocity;    ///< the eye's velocity, for kv3dCameraSmooth
  Vector goal;        ///< where kv3dCameraSmooth pulls the eye
  int32_t pitch;      ///< about X (low 16 bits read)
  int32_t yaw;        ///< about Y (low 16 bits read)
  int32_t roll;       ///< about Z (low 16 bits read)
  int32_t distance;   ///< orbit distance from the target
  Matrix viewMatrix;  ///< world to view, for the renderer
};

/// A recorded camera: three key tracks and the target's offset.
struct CameraPath {
  int32_t keyCount[3];  ///< eye, carrier, target carrier; as read
  Key* keys[3];         ///< none for an empty track
  Vector targetOffset;  ///< the target, carried by track 2; zero when track 2 is empty
};

/// Puts the eye \p camera->distance behind the target along the camera's z
/// axis turned by roll, pitch and yaw.
Camera* kv3dCameraOrbit(Camera* camera);
/// kv3dCameraOrbit into the goal; the eye does not move.
Camera* kv3dCameraOrbitGoal(Camera* camera);
/// One spring step of the eye towards the goal: the eye moves by the
/// velocity, which then gains 1/1024 of the remaining distance and is damped.
Camera* kv3dCameraSmooth(Camera* camera);
/// Sets yaw and pitch so the eye faces the target, keeping roll; the view
/// matrix left behind is not yet the new one: call kv3dCameraView next.
Camera* kv3dCameraLookAt(Camera* camera);
/// Builds viewMatrix from roll, pitch, yaw and the eye.
Camera* kv3dCameraView(Camera* camera);
/// Loads the CAM file \p path (three key tracks, then the target offset when
/// track 2 has keys). \return the path, owned by the caller until
/// kv3dFreeCAM; null once refused.
CameraPath* kv3dLoadCAM(const char* path);
/// Gives a path and its key arrays back to the pool; null is ignored.
void kv3dFreeCAM(CameraPath* path);
/// Plays \p path at time \p t into \p camera: track 0 gives the eye and angles,
/// track 1 carries the whole camera, track 2 carries the target offset, which
/// the camera then aims at. A track without keys plays no part. Without a
/// path the view only moves the world 200 units along -z and the angles are 0.
void kv3dSetCameraFrame(Camera* camera, const CameraPath* path, float t);

/// @}

// ---------------------------------------------------------------------------
// 3D library: projection and vertex work buffers (kvf3D/Projection)
// ---------------------------------------------------------------------------

/// \defgroup projection Projection and work buffers
/// The perspective projection (distance, centre, near plane, far distance),
/// the view rectangle the clipping planes come from, and the work buffers the
/// renderer fills for the object being drawn. A camera-space point (x, y, z)
/// with z at least kv3dNearZ lands at x d / z + centre x, centre y - y d / z.
/// @{

/// Entries in each work buffer; the renderer refuses models larger than that.
extern int32_t kv3dWorkCapacity;
/// Camera-space vertices of the object being drawn (pool block, or null).
extern Vector* kv3dWorkVertices;
/// Light per vertex or face, red channel 0..255 (pool block, or null).
extern float* kv3dWorkRed;
/// Light per vertex or face, green channel 0..255 (pool block, or null).
extern float* kv3dWorkGreen;
/// Light per vertex or face, blue channel 0..255 (pool block, or null).
extern float* kv3dWorkBlue;
/// Projection distance d: a point at depth z is scaled by d / z (256 at start).
extern float kv3dProjDistance;
/// Near plane: points nearer than this are behind the view (1 at start).
extern float kv3dNearZ;
/// Far distance: faces wholly beyond it are not drawn (32000 at start).
extern float kv3dFarZ;
/// Left edge of the view rectangle on the screen, never negative (0 at start).
extern float kvViewLeft, kvViewTop, kvViewRight, kvViewBottom;
/// \var kvViewTop
/// Top edge of the view rectangle, never negative (0 at start).
/// \var kvViewRight
/// Right edge of the view rectangle, never beyond the screen mode (320 at start).
/// It does not bound clipping: the sides are symmetric about the centre.
/// \var kvViewBottom
/// Bottom edge of the view rectangle, never beyond the screen mode (240 at start).

/// Projection centre on the screen, x (160 at start).
extern float kvViewCenterX, kvViewCenterY;
/// \var kvViewCenterY
/// Projection centre on the screen, y (120 at start).

/// Frees the previous work buffers, then takes four from the pool with room
/// for \p count entries: a Vector each in kv3dWorkVertices and a float each in
/// the three colour buffers.
/// \return 1 with kv3dWorkCapacity = \p count; 0, with every buffer null and
/// the capacity 0, when any of the four could not be had (nothing is logged).
int16_t kv3dInitWorkBuffers(int32_t count);
/// kv3dProjDistance = \p distance, or 0 for a negative one.
void kv3dSetProjection(int32_t distance);
/// kv3dNearZ = \p z; it must be positive.
void kv3dSetNearZ(float z);
/// kv3dFarZ = \p z.
void kv3dSetFarZ(float z);
/// Sets the view rectangle to \p width x \p height at (\p x, \p y) and the
/// centre to its middle (halves truncated), then limits the rectangle to the
/// screen mode; the centre does not move with the limits.
void kvSetViewRect(int32_t x, int32_t y, int32_t width, int32_t height);
/// Projects \p p, transformed by \p m into camera space, and a size \p size at
/// its depth, to whole pixels (truncated): *\p sx, *\p sy, *\p ssize; (-1000,
/// -1000, -1) when the point is nearer than kv3dNearZ.
void kv3dProjectPoint(const Matrix* m, const Vector* p, int32_t size, int32_t* sx, int32_t* sy,
                      int32_t* ssize);
/// Projects the camera-space \p c to *\p s: screen x, y and the depth z
/// unchanged; (-1000, -1000, -1) when nearer than kv3dNearZ.
void kv3dProjectVector(Vector* s, const Vector* c);

/// @}

// ---------------------------------------------------------------------------
// 3D library: light tables (kvf3D/Light)
// ---------------------------------------------------------------------------

/// \defgroup light Light tables
/// Red, green and blue intensity by normal direction, precomputed so that
/// realtime shading costs one lookup per vertex. A light shines from elevation
/// a (1024 straight overhead) and heading b (0 towards +z, 1024 towards +x);
/// angles keep their low 16 bits, colours their low 8 bits. Tables are built
/// at set-up time; the one made current with kv3dSetLight lights the draws.
/// @{

/// Intensities 0..255 by normal direction: 32 rows (from y) of 64 columns (from z,
/// the right half for x > 0), one plane per channel.
struct LightTable {
  uint8_t red[2048];    ///< the red plane
  uint8_t green[2048];  ///< the green plane
  uint8_t blue[2048];   ///< the blue plane
};

/// The table realtime shading reads; null at start, set only by kv3dSetLight.
extern LightTable* kv3dCurrentLight;
/// The latitude (an Angle) at which each row is evaluated.
extern const int16_t kvLightRowAngles[32];
/// The angle at which each column is evaluated (column j of the x <= 0 half
/// uses entry 31 - j).
extern const int16_t kvLightColumnAngles[32];

/// A new table lit by one light of colour (\p lr, \p lg, \p lb) from (\p a,
/// \p b) over an ambient (\p ar, \p ag, \p ab) (kv3dInitLight).
/// \return the table, a 6144-byte pool block owned by the caller until
/// kv3dFreeLight; null, without a message, when the pool has no room.
LightTable* kv3dCreateLight(int32_t a, int32_t b, int32_t lr, int32_t lg, int32_t lb, int32_t ar,
                            int32_t ag, int32_t ab);
/// Overwrites \p table with one light over an ambient; each cell is the light
/// times the cosine between it and the cell's direction (0 when facing away),
/// plus the ambient, limited to 0..255.
void kv3dInitLight(LightTable* table, int32_t a, int32_t b, int32_t lr, int32_t lg, int32_t lb,
                   int32_t ar, int32_t ag, int32_t ab);
/// Adds one light to \p table in place, saturating at 255.
void kv3dAddLight(LightTable* table, int32_t a, int32_t b, int32_t lr, int32_t lg, int32_t lb);
/// Makes \p table current (no copy, no check); it must stay alive while current.
void kv3dSetLight(LightTable* table);
/// Gives a table back to the pool; null is ignored.
void kv3dFreeLight(LightTable* table);
/// \p out = \p a + \p b byte by byte, saturating at 255; \p out may be \p a or \p b.
void kv3dSumLights(LightTable* out, const LightTable* a, const LightTable* b);
/// \p out = the sum of \p count tables times their \p weights (8.8 fixed point,
/// 256 = 1.0), limited to 0..255; 0 everywhere for a count of 0.
void kv3dBlendLights(LightTable* out, const LightTable* const* tables, const int32_t* weights,
                     int32_t count);

// The table cell (row x 64 + column) that lights a normal; inline because the
// renderer asks once per vertex. Limits are applied before the conversion so
// that a wild normal (huge, NaN) still picks an edge cell.

/// \return the row (from y) or the column within a half (from z) of a normal
/// \p component: trunc((1 - component) x 16), limited to 0..31.
inline int32_t kv3dLightCell(float component) {
  const float scaled = (1.0f - component) * 16.0f;
  if (!(scaled >= 1.0f)) return 0;  // below 1, or NaN
  if (scaled >= 31.0f) return 31;
  return static_cast<int32_t>(scaled);
}
/// \return the cell of a LightTable plane that lights \p normal.
inline int32_t kv3dLightIndex(const Vector* normal) {
  const int32_t column = kv3dLightCell(normal->z) + (normal->x > 0.0f ? 32 : 0);
  return kv3dLightCell(normal->y) * 64 + column;
}

/// @}

// ---------------------------------------------------------------------------
// 3D library: polygon clipping and submission (kvf3D/KV3DDraw)
// ---------------------------------------------------------------------------

/// \defgroup clipping Polygon clipping and submission
/// One convex polygon in camera space clipped against the near plane and the
/// four sides of the view, projected, culled and sent to the device as one
/// triangle fan; and small helpers that send already projected corners. Only
/// the corner attributes the render flags send are interpolated. All of it
/// runs between kvBeginScene and kvEndScene.
/// @{

/// One polygon corner: camera space in, screen pixels (x, y) and camera depth
/// (z) after projection.
struct ClipVertex {
  /// @{
  /// Camera space before projection; screen pixels (x, y) and depth (z) after.
  float x, y, z;
  /// @}
  /// @{
  /// Texture coordinates in texels; 256 spans the texture once.
  float u, v;
  /// @}
  /// @{
  /// Corner colour, 0..255 a channel.
  float r, g, b;
  /// @}
  float alpha;  ///< corner alpha, 0..255
  float aux;    ///< carried by the clippers under KV_RF_AUX, never sent
};

/// The largest corner count any stage may hold is MAX_POLY_VERTS - 1; a clip
/// destination must hold MAX_POLY_VERTS corners.
constexpr int32_t MAX_POLY_VERTS = 100;

/// Non-zero: polygons are drawn whichever way they wind on the screen.
/// The face drawers set it for each material (1 under KV_RF_ADDITIVE, and for
/// shadows); 0 at start.
extern int32_t kv3dDoubleSided;

/// Clips against the view (near plane and the four sides), projects, culls back
/// faces and submits one fan; the array is projected in place.
/// A polygon wholly outside one plane, or nearer than kv3dNearZ + 0.1 at every
/// corner, is dropped whole. Polygons must be convex. Fewer than 3 corners
/// draw nothing; MAX_POLY_VERTS or more are logged and dropped.
void kv3dDrawPolygon(ClipVertex* corners, int32_t count);
/// kv3dDrawPolygon for three corners.
void kv3dDrawTriangle(ClipVertex* corners);
/// Clips the \p count corners of \p source against the near plane into
/// \p destination (room for MAX_POLY_VERTS corners): corners in front are
/// kept, and an edge that crosses gets a new corner on the plane, with the
/// attributes the render flags send interpolated. The other four clippers do
/// the same for their side plane.
/// \return the corner count left in destination, or 0 below three.
int32_t kv3dClipNear(const ClipVertex* source, ClipVertex* destination, int32_t count);
/// kv3dClipNear for the top side plane. \return the corners left, or 0 below three.
int32_t kv3dClipTop(const ClipVertex* source, ClipVertex* destination, int32_t count);
/// kv3dClipNear for the bottom side plane. \return the corners left, or 0 below three.
int32_t kv3dClipBottom(const ClipVertex* source, ClipVertex* destination, int32_t count);
/// kv3dClipNear for the right side plane. \return the corners left, or 0 below three.
int32_t kv3dClipRight(const ClipVertex* source, ClipVertex* destination, int32_t count);
/// kv3dClipNear for the left side plane. \return the corners left, or 0 below three.
int32_t kv3dClipLeft(const ClipVertex* source, ClipVertex* destination, int32_t count);

// Submission of projected corners; each returns the device's result.

/// Sends \p count projected corners as one triangle fan with depth 1/z, the
/// colour and texture coordinates the render flags select.
/// \return the device's result; E_INVALIDARG, logged, for fewer than 3 or
/// more than 128 corners.
HRESULT kvDrawFan(int32_t count, const ClipVertex* corners);  // depth 1/z
/// kvDrawFan with each corner's z sent as the depth unchanged.
/// \return the device's result; E_INVALIDARG, logged, for fewer than 3 or
/// more than 128 corners.
HRESULT kvDrawFanDepth(int32_t count, const ClipVertex* corners);  // depth z as given
/// Sends one projected triangle, depth 1/z. \return the device's result.
HRESULT kvDrawTriangle3(const ClipVertex* c0, const ClipVertex* c1, const ClipVertex* c2);
/// Keeps a copy of three projected corners as the stored triangle.
void kvSetTriangle(const ClipVertex* c0, const ClipVertex* c1, const ClipVertex* c2);
/// Moves the stored triangle (it stays moved) so that its first corner is at
/// (\p x, \p y) with texture coordinates (\p u, \p v), and sends it.
/// \return the device's result.
HRESULT kvDrawTriangleAt(float x, float y, float u, float v);
/// Sends the screen-aligned rectangle between the projected corners \p c1 and
/// \p c2 as one fan of four: the two corners of c1's row take c1's depth and
/// colour, the others c2's. No clipping, no culling.
/// \return the device's result.
HRESULT kvDrawRectangle(const ClipVertex* c1, const ClipVertex* c2);
/// Keeps a copy of two projected corners as the stored rectangle.
void kvSetRectangle(const ClipVertex* c1, const ClipVertex* c2);
/// Moves the stored rectangle (it stays moved) so that its first corner is at
/// (\p x, \p y) with texture coordinates (\p u, \p v), and sends it.
/// \return the device's result.
HRESULT kvDrawRectangleAt(float x, float y, float u, float v);

/// @}

// ---------------------------------------------------------------------------
// 3D library: object rendering pipeline (kvf3D/Render)
// ---------------------------------------------------------------------------

/// \defgroup pipeline Object rendering pipeline
/// Draws need work buffers of at least the model's vertex count (and face
/// count for realtime flat shading) and, for realtime shading, a current light
/// table; they run between kvBeginScene and kvEndScene. A draw poses the pivot
/// hierarchy, lights the vertices, transforms them into kv3dWorkVertices and
/// walks the faces material by material: each material selects its texture
/// (when it has one) and its render flags, and each face not wholly beyond
/// kv3dFarZ or wholly nearer than kv3dNearZ goes to kv3dDrawPolygon. There is
/// no depth sorting; faces go in file order. The render flags and the current
/// texture stay as the last material left them.
/// @{

/// Draws \p model with its coordinates taken as world coordinates, through the
/// camera's \p view matrix. A model larger than the work buffers is refused
/// with a log line; a shading outside 0..9 draws nothing.
void kv3dDrawModel(const Matrix* view, Model* model);
/// Draws \p model at \p placement through \p view; the light stays fixed in
/// world orientation. A model larger than the work buffers is refused with a
/// log line.
void kv3dDrawModelAt(const Matrix* view, Model* model, const Placement* placement);
/// Draws \p model flattened onto the plane y = \p height along a light from
/// elevation \p a and heading \p b, in one colour (\p red, \p green,
/// \p blue, \p alpha; low 8 bits), depth-tested, two-sided, untextured. A
/// horizontal light (\p a of 0 or 2048) casts no shadow and is logged.
void kv3dDrawShadow(const Matrix* view, Model* model, Angle a, Angle b, int32_t red, int32_t green,
                    int32_t blue, int32_t alpha, float height);
/// kv3dDrawShadow of \p model placed at \p placement.
void kv3dDrawShadowAt(const Matrix* view, Model* model, Angle a, Angle b, int32_t red,
                      int32_t green, int32_t blue, int32_t alpha, float height,
                      const Placement* placement);

// Posing.

/// Posing: every pivot's worldMatrix and viewMatrix (placement may be none).
/// Each pivot's local matrix (kv3dPivotMatrix of its pose) is chained through
/// its parents; worldMatrix then maps its bound vertices to the world and
/// viewMatrix to camera space through \p view.
void kv3dPosePivots(const Matrix* view, Pivot* pivots, uint32_t count, const Placement* placement);
/// One step of kv3dPosePivots: evaluates the parent first when it is not yet,
/// then sets \p pivot's model matrix (in viewMatrix) and marks it evaluated.
void kv3dEvaluatePivot(Pivot* pivot);
/// Sets every pivot's worldMatrix and worldPivotPoint for the model placed at
/// \p placement (which must be given), without a view; viewMatrix keeps the
/// model matrix.
void kv3dPosePivotsWorld(Pivot* pivots, uint32_t count, const Placement* placement);
/// Transforms each pivot's bound vertices by its viewMatrix into kv3dWorkVertices.
void kv3dTransformPivotVertices(const Model* model);

// Light steps into kv3dWorkRed/Green/Blue: per vertex, or per face for
// realtime flat shading. Each reads kv3dCurrentLight, which must be set.

/// Lights each vertex from its stored normal with kv3dCurrentLight, into
/// kv3dWorkRed/Green/Blue (the light is fixed to the model).
void kv3dLightVertices(const Model* model);
/// kv3dLightVertices with the normals turned by \p rotation's 3 x 3 part.
void kv3dLightVerticesRotated(const Matrix* rotation, const Model* model);
/// kv3dLightVertices with each vertex's normal turned by its pivot's worldMatrix.
void kv3dLightPivotVertices(const Model* model);
/// Lights each face from its stored normal, entry f for face f.
void kv3dLightFaces(const Model* model);
/// kv3dLightFaces with the normals turned by \p rotation's 3 x 3 part.
void kv3dLightFacesRotated(const Matrix* rotation, const Model* model);
/// kv3dLightFaces with each normal turned by the worldMatrix of the pivot of
/// the face's first corner.
void kv3dLightPivotFaces(const Model* model);

// Face drawers, by shading.

/// Face drawer for shadows: every face in one colour (low 8 bits), with
/// KV_RF_ZBUFFER | KV_RF_COLOR and kv3dDoubleSided set; materials are ignored.
void kv3dDrawFacesColour(const Model* model, int32_t red, int32_t green, int32_t blue,
                         int32_t alpha);
/// Face drawer for KV_SHADING_NONE: white corners, so textures show as they are.
void kv3dDrawFacesUnshaded(const Model* model);
/// Face drawer for KV_SHADING_CORNER_COLOURS: each corner's stored colour.
void kv3dDrawFacesCornerColours(const Model* model);
/// Face drawer for KV_SHADING_FACE_COLOURS: the face's stored colour at every corner.
void kv3dDrawFacesFaceColours(const Model* model);
/// Face drawer for KV_SHADING_GOURAUD: each corner's vertex light.
void kv3dDrawFacesLit(const Model* model);
/// Face drawer for KV_SHADING_FLAT: the face's light at every corner.
void kv3dDrawFacesLitFlat(const Model* model);

/// @}
