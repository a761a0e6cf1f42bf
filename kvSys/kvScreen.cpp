// Screen modes, the render window, its window procedure, the message pump with
// the device-change key, and the one message box through which device failures
// reach the user.
#include "kvSys/kvScreen.h"

#include <cstring>

#include "kvKIT.h"
#include "kvSys/Frame.h"

int32_t kvScreenWidth = 0;
int32_t kvScreenHeight = 0;

RenderWindowState kvWindow;

void kvResetScreenState() {
  kvScreenWidth = kvScreenHeight = 0;
  kvWindow = {};
}

namespace {

struct ScreenMode {
  int32_t width;
  int32_t height;
};

// Mode 7 repeats mode 2.
constexpr ScreenMode kScreenModes[] = {
    {256, 200}, {320, 200}, {320, 240}, {512, 240}, {512, 384}, {640, 400}, {640, 480}, {320, 240},
};
constexpr uint32_t kScreenModeCount = sizeof kScreenModes / sizeof kScreenModes[0];

constexpr const char* kWindowClass = "kvKIT Render Window";

bool fullScreenInEffect() { return kvWindow.windowed == 0 && kvWindow.primary == 1; }

// Takes windowed and primary from the current choice.
void refreshWindowFlags(const DriverInfo* driver, const DeviceInfo* device) {
  if (device != nullptr) kvWindow.windowed = static_cast<int16_t>(device->windowed);
  if (driver != nullptr) kvWindow.primary = static_cast<int16_t>(driver->isPrimary);
}

void refreshWindowFlags() {
  DriverInfo* driver = nullptr;
  DeviceInfo* device = nullptr;
  kvGetSelectedDriver(&driver, &device);
  refreshWindowFlags(driver, device);
}

void placeWindow(HWND window) {
  SetWindowPos(window, HWND_NOTOPMOST, kvWindow.rect.left, kvWindow.rect.top,
               kvWindow.rect.right - kvWindow.rect.left, kvWindow.rect.bottom - kvWindow.rect.top,
               SWP_SHOWWINDOW);
}

const char* errorText(HRESULT code) {
  switch (static_cast<uint32_t>(code)) {
    case 0x81000001u:
      return "Enumeration failed. Your system may be in an\nunstable state and need to be rebooted";
    case 0x81000002u:
      return "Could not find any compatible devices.\n\nTry enabling the reference rasterizer "
             "using\nEnableRefRast.reg.";
    case 0x81000003u:
      return "Could not find any compatible Direct3D\ndevices.";
    case 0x82000000u:
      return "Generic initialization error.\n\nEnable debug output for detailed information.";
    case 0x82000001u:
      return "No DirectDraw";
    case 0x82000002u:
      return "Could not set Cooperative Level";
    case 0x82000003u:
      return "No Direct3D";
    case 0x82000004u:
      return "No 3D Device";
    case 0x82000005u:
      return "No ZBuffer";
    case 0x82000006u:
      return "No Viewport";
    case 0x82000007u:
      return "No primary";
    case 0x82000008u:
      return "No Clipper";
    case 0x82000009u:
      return "Bad display mode";
    case 0x8200000Au:
      return "No backbuffer";
    case 0x8200000Bu:
      return "Nonzerorefcount";
    case 0x8200000Cu:
      return "No render target";
    case 0x8200000Du:
      return "This sample requires a 16-bit (or higher) display mode\nto run in a "
             "window.\n\nPlease switch your desktop settings accordingly.";
    case 0x8007000Eu:
      return "Not enough memory!";
    case 0x8876017Cu:
      return "There was insufficient video memory to use the\nhardware device.";
    default:
      return "Generic application error.\n\nEnable debug output for detailed information.";
  }
}

}  // namespace

int16_t kvSetScreenMode(uint32_t mode) {
  if (mode >= kScreenModeCount) {
    kvDebugPrint("kvSetScreenMode : Unknown Screen mode\n");
    return 0;
  }
  kvScreenWidth = kScreenModes[mode].width;
  kvScreenHeight = kScreenModes[mode].height;

  WNDCLASSA windowClass = {};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = kvWindowProc;
  windowClass.hInstance = kvFramework.instance;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = kWindowClass;
  RegisterClassA(&windowClass);

  RECT outer = {50, 50, 50 + kvScreenWidth, 50 + kvScreenHeight};
  AdjustWindowRectEx(&outer, WS_CAPTION, FALSE, 0);
  HWND window = CreateWindowExA(0, kWindowClass, kvCaption, WS_CAPTION, CW_USEDEFAULT,
                                CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top,
                                nullptr, nullptr, kvFramework.instance, nullptr);
  kvFramework.window = window;
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  GetWindowRect(window, &kvWindow.rect);

  refreshWindowFlags();
  const HRESULT result = kvInitDevice(window);
  if (FAILED(result)) {
    kvShowError(result, KVMSG_EXIT);
    return 0;
  }
  if (kvWindow.primary == 0) placeWindow(window);

  kvSetViewRect(0, 0, kvScreenWidth, kvScreenHeight);
  kvSetRenderFlags(0);
  kvSetColorKey(0, 0, 0);
  kvSetFogColor(0, 0, 0);
  kvWindow.live = 1;
  return 1;
}

HRESULT kvInitDevice(HWND window) {
  DriverInfo* driver = nullptr;
  DeviceInfo* device = nullptr;
  kvGetSelectedDriver(&driver, &device);
  refreshWindowFlags(driver, device);
  if (driver == nullptr || device == nullptr) {
    kvDebugPrint("d3d initialize error\n");
    return KVERR_ENUM_FAILED;
  }

  uint32_t flags = KVFW_BACKBUFFER | KVFW_ZBUFFER;
  if (kvWindow.windowed == 0) flags |= KVFW_FULLSCREEN;
  const DDSURFACEDESC2* mode =
      device->currentMode != nullptr ? &device->currentMode->desc : nullptr;
  const HRESULT result =
      kvFwInitialize(&kvFramework, window, &driver->guid, &device->guid, mode, flags);
  if (FAILED(result)) {
    kvDebugPrint("d3d initialize error\n");
    if (device->isHardware) {
      kvShowError(result, KVMSG_SOFTWARE);
      // Without a software device to fall back on, a retry would pick the same
      // hardware device again and never end.
      if (FAILED(kvSelectDefaultDriver(KVSEL_SOFTWARE_ONLY))) return result;
      return kvInitDevice(window);
    }
    // A software device that cannot be set up leaves nothing to draw with: the
    // failure goes to the caller, which reports it, instead of carrying on.
    return result;
  }

  kvSetRenderFlags(kvGetRenderFlags());
  IDirect3DDevice3* d3d = kvFramework.device;
  d3d->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
  d3d->SetRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_GREATEREQUAL);
  d3d->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
  d3d->SetRenderState(D3DRENDERSTATE_DITHERENABLE, TRUE);
  d3d->SetRenderState(D3DRENDERSTATE_SPECULARENABLE, FALSE);
  d3d->SetRenderState(D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD);
  return 0;
}

LRESULT CALLBACK kvWindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_DESTROY:
      kvWindow.active = 0;
      PostQuitMessage(0);
      return 0;
    case WM_MOVE:
      if (kvWindow.active && kvFramework.initialised && !fullScreenInEffect()) {
        const int32_t x = static_cast<int16_t>(LOWORD(l));
        const int32_t y = static_cast<int16_t>(HIWORD(l));
        // x and y place the client area; the stored rectangle is the outer one
        // that a rebuild puts the window back at. Taken as it comes, it would
        // move the window down and right by its caption and border each time.
        RECT outer = {};
        POINT client = {0, 0};
        GetWindowRect(window, &outer);
        ClientToScreen(window, &client);
        const LONG left = x - (client.x - outer.left), top = y - (client.y - outer.top);
        kvWindow.rect.right += left - kvWindow.rect.left;
        kvWindow.rect.bottom += top - kvWindow.rect.top;
        kvWindow.rect.left = left;
        kvWindow.rect.top = top;
        kvFwMove(&kvFramework, x, y);
      }
      break;
    case WM_PAINT:
      if (kvFramework.initialised) {
        if (kvWindow.windowed == 1)
          kvFwShowFrame(&kvFramework, 1);
        else
          kvFwFlipToGDISurface(&kvFramework, 1);
      }
      break;
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_ACTIVATEAPP:
      kvWindow.active = w != 0 ? 1 : 0;
      break;
    case WM_SETCURSOR:
      SetCursor(LoadCursorA(nullptr, IDC_ARROW));
      if (kvWindow.active && fullScreenInEffect()) {
        SetCursor(nullptr);
        return 1;
      }
      break;
    case WM_GETMINMAXINFO: {
      MINMAXINFO* limits = reinterpret_cast<MINMAXINFO*>(l);
      if (!fullScreenInEffect()) {
        const LONG width = kvWindow.rect.right - kvWindow.rect.left;
        const LONG height = kvWindow.rect.bottom - kvWindow.rect.top;
        limits->ptMaxSize.x = width;
        limits->ptMaxSize.y = height;
        limits->ptMaxTrackSize.x = width;
        limits->ptMaxTrackSize.y = height;
        limits->ptMaxPosition.x = kvWindow.rect.left;
        limits->ptMaxPosition.y = kvWindow.rect.top;
      }
      limits->ptMinTrackSize.x = 100;
      limits->ptMinTrackSize.y = 100;
      break;
    }
    default:
      break;
  }
  return DefWindowProcA(window, message, w, l);
}

void kvPumpMessages() {
  if (kvWindow.live == 0) return;
  if (GetAsyncKeyState(VK_F3) & 0xFF00) {
    kvChangeDevice();
    kvSetFrameRate(kvPacing.rate);
  }
  MSG message = {};
  for (;;) {
    if (kvWindow.active) {
      if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return;
    } else if (GetMessageA(&message, nullptr, 0, 0) <= 0) {
      // 0 is the quit message: the window is gone, and waiting for another
      // message would wait for ever. -1: no message can come (headless).
      if (message.message == WM_QUIT) kvWindow.live = 0;
      return;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
    if (message.message == WM_QUIT) {
      kvWindow.live = 0;
      return;
    }
  }
}

void kvChangeDevice() {
  kvFwFlipToGDISurface(&kvFramework, 1);
  if (!kvWindow.active || !kvFramework.initialised) return;
  if (kvSelectDriverDialog(kvFramework.window, kvWindow.windowed) != 1) return;
  refreshWindowFlags();
  kvRebuildDevice(kvFramework.window);
}

HRESULT kvRebuildDevice(HWND window) {
  HRESULT result = kvFwDestroyObjects(&kvFramework);
  if (FAILED(result)) {
    kvShowError(result, KVMSG_EXIT);
    DestroyWindow(window);
    return result;
  }
  if (kvWindow.windowed == 1) placeWindow(window);
  result = kvInitDevice(window);
  if (FAILED(result)) {
    kvShowError(result, KVMSG_EXIT);
    DestroyWindow(window);
    return result;
  }
  if (kvWindow.primary == 0) placeWindow(window);
  return 0;
}

int32_t kvShowError(HRESULT code, int32_t type) {
  char text[512];
  std::snprintf(text, sizeof text, "%s", errorText(code));
  if (type == KVMSG_EXIT) {
    std::strncat(text, "\n\nThis sample will now exit.", sizeof text - std::strlen(text) - 1);
    return MessageBoxA(nullptr, text, kvCaption, MB_ICONERROR);
  }
  if (type == KVMSG_SOFTWARE)
    std::strncat(text, "\n\nSwitching to software rasterizer.",
                 sizeof text - std::strlen(text) - 1);
  return MessageBoxA(nullptr, text, kvCaption, MB_ICONWARNING);
}
