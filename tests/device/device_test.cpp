// The device layer on the headless machine's stand-ins: start-up lists the
// drivers, the screen mode sets up the framework, F3 rebuilds it, kvKIT.vid
// keeps the choice, and failures reach the user as message boxes.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kvKIT.h"
#include "kvSys/Frame.h"
#include "kvSys/Memory.h"
#include "kvSys/d3denum.h"
#include "kvSys/kvScreen.h"
#include "platform/ddraw/ddraw_testing.h"
#include "platform/host/headless/headless.h"
#include "platform/win/dialog.h"

namespace {

namespace fs = std::filesystem;

// Each test starts the kit in an empty folder of its own and shuts it down.
class Device : public ::testing::Test {
 protected:
  void SetUp() override {
    kv::headless::install();
    kv::ddraw::testing::reset();
    previous_ = fs::current_path();
    folder_ = fs::path(::testing::TempDir()) /
              ("kv_device_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    fs::current_path(folder_);
    kvResetMemoryForTests();
    kvFramework.instance = reinterpret_cast<HINSTANCE>(1);
  }
  // Shutdown's steps without its once-only guard, so every test can run them.
  void TearDown() override {
    for (int group = 0; group < KV_SURFACE_GROUPS; ++group) kvFreeSurfaceGroup(group);
    kvFwDestroyObjects(&kvFramework);
    kvFreeDrivers();
    if (kvFramework.window != nullptr) DestroyWindow(kvFramework.window);
    std::memset(&kvFramework, 0, sizeof kvFramework);
    kvWindowLive = 0;
    kvWindowActive = 0;
    kvResetMemoryForTests();
    kv::ddraw::testing::reset();
    fs::current_path(previous_);
    fs::remove_all(folder_);
  }

  static DeviceInfo* selectedDevice() {
    DeviceInfo* device = nullptr;
    kvGetSelectedDriver(nullptr, &device);
    return device;
  }

  static DeviceInfo* deviceNamed(const char* name) {
    for (DriverInfo* driver = kvGetDriverList(); driver != nullptr; driver = driver->next)
      for (DeviceInfo* device = driver->devices; device != nullptr; device = device->next)
        if (std::strcmp(device->name, name) == 0) return device;
    return nullptr;
  }

  static Surface* makeSurface(int32_t group, int32_t side, uint8_t format) {
    std::vector<uint8_t> pixels(static_cast<size_t>(side * side * 2), 0x33);
    ImageDesc request = {};
    request.group = group;
    request.width = side;
    request.height = side;
    request.format = format;
    request.pixels = pixels.data();
    return kvCreateSurface(&request);
  }

  // Presses F3 for one presented frame with the dialog answered as given.
  static void pressF3(const std::string& answer) {
    kv::headless::queueDialogAnswer(answer);
    kv::headless::pressKey(VK_F3);
    kvFlip();
    kv::headless::releaseKey(VK_F3);
  }

  // Whether the texture was made by the framework's current DirectDraw object.
  static bool onCurrentDevice(const Surface* surface) {
    if (surface->ddSurface == nullptr || surface->texture == nullptr) return false;
    IDirectDraw4* owner = nullptr;
    if (FAILED(surface->ddSurface->GetDDInterface(reinterpret_cast<void**>(&owner)))) return false;
    owner->Release();
    return owner == kvFramework.directDraw;
  }

  fs::path previous_, folder_;
};

TEST_F(Device, StartUpListsThePrimaryDriverWithBothSoftwareDevicesAndTheirModes) {
  ASSERT_EQ(kvSystemInit(), 1);
  DriverInfo* driver = kvGetDriverList();
  ASSERT_NE(driver, nullptr);
  EXPECT_EQ(driver->next, nullptr);
  EXPECT_EQ(driver->isPrimary, 1);
  EXPECT_EQ(driver->guidRef, nullptr);

  for (const char* name : {"RGB Emulation", "Reference Rasterizer"}) {
    DeviceInfo* device = deviceNamed(name);
    ASSERT_NE(device, nullptr) << name;
    EXPECT_EQ(device->isHardware, 0);
    EXPECT_EQ(device->guidRef, &device->guid);
    ASSERT_NE(device->currentMode, nullptr);
    EXPECT_STREQ(device->currentMode->text, "640 x 480 x 16");
    for (ModeInfo* mode = device->modes; mode != nullptr; mode = mode->next)
      EXPECT_NE(mode->desc.ddpfPixelFormat.dwRGBBitCount, 8u) << mode->text;
  }
  // No hardware device: the software windowed pass takes the RGB device.
  EXPECT_EQ(selectedDevice(), deviceNamed("RGB Emulation"));
  EXPECT_EQ(selectedDevice()->windowed, 1);
}

TEST_F(Device, ScreenModeSetsUpTheFrameworkInACaptionedWindow) {
  ASSERT_EQ(kvSystemInit(), 1);
  EXPECT_EQ(kvSetScreenMode(8), 0);
  EXPECT_NE(kv::headless::debugCapture().find("): kvSetScreenMode : Unknown Screen mode\n"),
            std::string::npos);
  EXPECT_EQ(kvFramework.window, nullptr);

  ASSERT_EQ(kvSetScreenMode(6), 1);
  EXPECT_EQ(kvScreenWidth, 640);
  EXPECT_EQ(kvScreenHeight, 480);
  EXPECT_EQ(kvWindowLive, 1);
  EXPECT_EQ(kvFramework.initialised, 1);
  EXPECT_EQ(kvFramework.renderWidth, 640u);
  EXPECT_EQ(kvFramework.renderHeight, 480u);
  ASSERT_NE(kvFramework.device, nullptr);
  ASSERT_NE(kvFramework.back, nullptr);
  EXPECT_EQ(kvFramework.renderTarget, kvFramework.back);
  EXPECT_EQ(kvFramework.deviceMemoryType, 0x800u);
  EXPECT_EQ(kvFramework.zBufferFormat.dwSize, 32u);

  char caption[32] = {};
  GetWindowTextA(kvFramework.window, caption, sizeof caption);
  EXPECT_STREQ(caption, "kvKIT v1.0");
  RECT expected = {50, 50, 690, 530};
  AdjustWindowRectEx(&expected, WS_CAPTION, FALSE, 0);
  RECT outer = {};
  GetWindowRect(kvFramework.window, &outer);
  EXPECT_EQ(outer.right - outer.left, expected.right - expected.left);
  EXPECT_EQ(outer.bottom - outer.top, expected.bottom - expected.top);

  // Base render state on the new device.
  DWORD value = 0;
  kvFramework.device->GetRenderState(D3DRENDERSTATE_ZFUNC, &value);
  EXPECT_EQ(value, static_cast<DWORD>(D3DCMP_GREATEREQUAL));
  kvFramework.device->GetRenderState(D3DRENDERSTATE_SRCBLEND, &value);
  EXPECT_EQ(value, static_cast<DWORD>(D3DBLEND_SRCALPHA));
  kvFramework.device->GetRenderState(D3DRENDERSTATE_CULLMODE, &value);
  EXPECT_EQ(value, static_cast<DWORD>(D3DCULL_NONE));

  // A frame goes round: clear, bracket, present.
  EXPECT_EQ(kvClear(0, 0, 0), 0);
  EXPECT_EQ(kvBeginScene(), 1);
  kvEndScene();
  EXPECT_EQ(kvFwShowFrame(&kvFramework, 1), 0);
}

TEST_F(Device, F3RebuildsTheDeviceAndEveryTextureOnIt) {
  ASSERT_EQ(kvSystemInit(), 1);
  ASSERT_EQ(kvSetScreenMode(6), 1);
  Surface* surfaces[] = {makeSurface(0, 64, SURFACE_FORMAT_8BPP), makeSurface(0, 32, SURFACE_FORMAT_16BPP),
                         makeSurface(7, 8, SURFACE_FORMAT_16BPP)};
  for (Surface* surface : surfaces) {
    ASSERT_NE(surface, nullptr);
    EXPECT_TRUE(onCurrentDevice(surface));
  }
  kvSetRenderFlags(KV_RF_TEXTURE);
  kvSetTexture(surfaces[1]);
  IDirect3DDevice3* before = kvFramework.device;

  pressF3("device=Reference Rasterizer,ok");
  EXPECT_EQ(selectedDevice(), deviceNamed("Reference Rasterizer"));
  ASSERT_EQ(kvFramework.initialised, 1);
  EXPECT_NE(kvFramework.device, nullptr);
  for (Surface* surface : surfaces) EXPECT_TRUE(onCurrentDevice(surface));
  IDirect3DTexture2* bound = nullptr;
  kvFramework.device->GetTexture(0, &bound);
  EXPECT_EQ(bound, surfaces[1]->texture);
  if (bound != nullptr) bound->Release();
  (void)before;
}

TEST_F(Device, F3CancelledLeavesTheDeviceAndRestartsPacing) {
  ASSERT_EQ(kvSystemInit(), 1);
  ASSERT_EQ(kvSetScreenMode(6), 1);
  IDirect3DDevice3* device = kvFramework.device;
  DeviceInfo* chosen = selectedDevice();
  kvFrameDebt = 1234;
  pressF3("cancel");
  EXPECT_EQ(kvFramework.device, device);
  EXPECT_EQ(selectedDevice(), chosen);
  EXPECT_EQ(kvFrameDebt, 0);
  EXPECT_EQ(kvFrameLast, kvGetTick());

  // OK without a change is no change either.
  pressF3("ok");
  EXPECT_EQ(kvFramework.device, device);
}

TEST_F(Device, TwentySwitchesLeaveNothingBehind) {
  ASSERT_EQ(kvSystemInit(), 1);
  ASSERT_EQ(kvSetScreenMode(6), 1);
  ASSERT_NE(makeSurface(0, 64, SURFACE_FORMAT_8BPP), nullptr);
  ASSERT_NE(makeSurface(3, 128, SURFACE_FORMAT_16BPP), nullptr);
  const int surfaces = kv::ddraw::testing::liveSurfaces();
  const int directDraws = kv::ddraw::testing::liveDirectDrawObjects();

  for (int i = 0; i < 20; ++i) {
    pressF3(i % 2 == 0 ? "device=Reference Rasterizer,ok" : "device=RGB Emulation,ok");
    ASSERT_EQ(kvFramework.initialised, 1) << "switch " << i;
    EXPECT_EQ(kv::ddraw::testing::liveSurfaces(), surfaces) << "switch " << i;
    EXPECT_EQ(kv::ddraw::testing::liveDirectDrawObjects(), directDraws) << "switch " << i;
  }
  EXPECT_EQ(kv::headless::messageBoxes().size(), 0u);

  for (int group = 0; group < KV_SURFACE_GROUPS; ++group) kvFreeSurfaceGroup(group);
  EXPECT_EQ(kvFwDestroyObjects(&kvFramework), 0);
  EXPECT_EQ(kv::ddraw::testing::liveSurfaces(), 0);
  EXPECT_EQ(kv::ddraw::testing::liveDirectDrawObjects(), 0);
}

TEST_F(Device, FrameworkRefusesBadArgumentsAndAnswersBeforeSetUp) {
  ASSERT_EQ(kvSystemInit(), 1);
  DriverInfo* driver = kvGetDriverList();
  DeviceInfo* device = selectedDevice();
  EXPECT_EQ(kvFwInitialize(&kvFramework, nullptr, &driver->guid, &device->guid,
                           &device->currentMode->desc, KVFW_BACKBUFFER),
            E_INVALIDARG);
  EXPECT_EQ(kvFramework.initialised, 0);
  EXPECT_EQ(kvFwInitialize(&kvFramework, reinterpret_cast<HWND>(1), &driver->guid, &device->guid,
                           nullptr, KVFW_FULLSCREEN),
            E_INVALIDARG);
  EXPECT_EQ(kvFramework.initialised, 0);

  kv::headless::clearDebugCapture();
  EXPECT_EQ(kvFwShowFrame(&kvFramework, 1), KVERR_FW_NOT_INITIALIZED);
  EXPECT_NE(kv::headless::debugCapture().find("d3dframe.cpp("), std::string::npos);
  EXPECT_NE(kv::headless::debugCapture().find("): d3d not initialized\n"), std::string::npos);
  EXPECT_EQ(kvFwDestroyObjects(&kvFramework), 0);
  EXPECT_EQ(ChangeRenderTarget(&kvFramework, nullptr), E_INVALIDARG);

  ASSERT_EQ(kvSetScreenMode(6), 1);
  EXPECT_EQ(kvFwDestroyObjects(&kvFramework), 0);
  EXPECT_EQ(kvFwDestroyObjects(&kvFramework), 0);  // the second does nothing
  EXPECT_EQ(kvFramework.device, nullptr);
  EXPECT_EQ(kvFramework.directDraw, nullptr);
}

TEST_F(Device, WindowMovesFollowTheClientAreaOnlyOutsideFullScreen) {
  ASSERT_EQ(kvSystemInit(), 1);
  ASSERT_EQ(kvSetScreenMode(6), 1);
  kvWindowActive = 1;
  const RECT before = kvWindowRect;
  kvWindowProc(kvFramework.window, WM_MOVE, 0, MAKELPARAM(100, 70));
  EXPECT_EQ(kvWindowRect.left, 100);
  EXPECT_EQ(kvWindowRect.top, 70);
  EXPECT_EQ(kvWindowRect.right - kvWindowRect.left, before.right - before.left);
  EXPECT_EQ(kvFramework.screenRect.left, 100);
  EXPECT_EQ(kvFramework.screenRect.right, 740);

  MINMAXINFO limits = {};
  kvWindowProc(kvFramework.window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  EXPECT_EQ(limits.ptMinTrackSize.x, 100);
  EXPECT_EQ(limits.ptMinTrackSize.y, 100);
  EXPECT_EQ(limits.ptMaxTrackSize.x, before.right - before.left);
  EXPECT_EQ(limits.ptMaxPosition.x, 100);

  // Full screen: moves change nothing, the cursor is hidden, limits stay free.
  kvWindowed = 0;
  kvFramework.fullscreen = 1;
  kvWindowProc(kvFramework.window, WM_MOVE, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(kvWindowRect.left, 100);
  EXPECT_EQ(kvFramework.screenRect.left, 100);
  EXPECT_EQ(kvWindowProc(kvFramework.window, WM_SETCURSOR, 0, 0), 1);
  MINMAXINFO free = {};
  kvWindowProc(kvFramework.window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&free));
  EXPECT_EQ(free.ptMaxTrackSize.x, 0);
  EXPECT_EQ(free.ptMinTrackSize.x, 100);
  kvFramework.fullscreen = 0;
  kvWindowed = 1;
}

TEST_F(Device, ErrorBoxesCarryTheTextForTheCodeAndTheEnding) {
  std::snprintf(kvCaption, sizeof kvCaption, "kvKIT v1.0");
  kvShowError(KVERR_FW_NO_ZBUFFER, KVMSG_EXIT);
  kvShowError(KVERR_ENUM_NO_DDRAW, 0);  // not in the table
  kvShowError(DDERR_OUTOFVIDEOMEMORY, KVMSG_SOFTWARE);
  kvShowError(KVERR_FW_INVALID_MODE, KVMSG_EXIT);
  const auto& boxes = kv::headless::messageBoxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].text, "No ZBuffer\n\nThis sample will now exit.");
  EXPECT_EQ(boxes[0].caption, "kvKIT v1.0");
  EXPECT_EQ(boxes[0].type, MB_ICONERROR);
  EXPECT_EQ(boxes[1].text, "Generic application error.\n\nEnable debug output for detailed information.");
  EXPECT_EQ(boxes[1].type, MB_ICONWARNING);
  EXPECT_EQ(boxes[2].text,
            "There was insufficient video memory to use the\nhardware device.\n\nSwitching to software "
            "rasterizer.");
  EXPECT_EQ(boxes[2].type, MB_ICONWARNING);
  EXPECT_EQ(boxes[3].text,
            "This sample requires a 16-bit (or higher) display mode\nto run in a window.\n\nPlease "
            "switch your desktop settings accordingly.\n\nThis sample will now exit.");
}

TEST_F(Device, WithoutTheDisplayModuleStartUpFailsWithOneBox) {
  kv::ddraw::testing::exports().moduleLoaded = false;
  EXPECT_EQ(kvEnumerateDrivers(nullptr), KVERR_ENUM_NO_DDRAW);
  EXPECT_NE(kv::headless::debugCapture().find("): Can't load DDRAW.DLL!\n"), std::string::npos);

  EXPECT_EQ(kvSystemInit(), 0);
  const auto& boxes = kv::headless::messageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "Enumeration failed. Your system may be in an\nunstable state and need to be "
            "rebooted\n\nThis sample will now exit.");
  EXPECT_NE(kv::headless::debugCapture().find("): D3D Driver enumeration error\n"), std::string::npos);
}

TEST_F(Device, TheOlderEnumerationEntryListsTheSameDevices) {
  kv::ddraw::testing::exports().enumerateEx = false;
  ASSERT_EQ(kvSystemInit(), 1);
  EXPECT_NE(deviceNamed("RGB Emulation"), nullptr);
  EXPECT_NE(deviceNamed("Reference Rasterizer"), nullptr);
}

// --- kvKIT.vid ------------------------------------------------------------------

std::vector<uint8_t> readFile(const char* name) {
  std::ifstream in(name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const char* name, const std::vector<uint8_t>& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST_F(Device, VideoFileHoldsTheChoiceAtItsOffsetsAndBringsItBack) {
  ASSERT_EQ(kvSystemInit(), 1);
  DeviceInfo* reference = deviceNamed("Reference Rasterizer");
  ASSERT_NE(reference, nullptr);
  ASSERT_EQ(kvSelectDefaultDriver(KVSEL_REF_DEVICE), 0);
  reference->windowed = 1;
  kvSaveVideoConfig();
  EXPECT_FALSE(fs::exists("kvKIT.vid.tmp"));
  const std::vector<uint8_t> file = readFile("kvKIT.vid");
  ASSERT_EQ(file.size(), 1344u);
  DriverInfo* driver = kvGetDriverList();
  EXPECT_EQ(std::memcmp(&file[16], driver->description, 40), 0);
  EXPECT_EQ(std::memcmp(&file[96], &driver->hwCaps, 380), 0);
  EXPECT_EQ(file[856], 1);  // isPrimary
  EXPECT_EQ(std::memcmp(&file[860], &reference->guid, 16), 0);
  EXPECT_EQ(std::memcmp(&file[876], "Reference Rasterizer", 21), 0);
  EXPECT_EQ(std::memcmp(&file[916], &reference->desc, 252), 0);
  EXPECT_EQ(file[1176], 1);  // windowed
  EXPECT_EQ(std::memcmp(&file[1180], &reference->currentMode->desc, 124), 0);
  EXPECT_EQ(std::memcmp(&file[1304], "640 x 480 x 16", 15), 0);

  // The default comes back after a restart of the choice; the file overrides it.
  ASSERT_EQ(kvSelectDefaultDriver(0), 0);
  EXPECT_EQ(selectedDevice(), deviceNamed("RGB Emulation"));
  kvLoadVideoConfig();
  EXPECT_EQ(selectedDevice(), reference);

  // A capability that changed since the file was written: nothing matches.
  kvSelectDefaultDriver(0);
  std::vector<uint8_t> changed = file;
  changed[96 + 8] ^= 0x01;  // hwCaps.dwCaps2
  writeFile("kvKIT.vid", changed);
  kvLoadVideoConfig();
  EXPECT_EQ(selectedDevice(), deviceNamed("RGB Emulation"));
}

TEST_F(Device, ShortOrUnterminatedVideoFilesKeepTheDefault) {
  ASSERT_EQ(kvSystemInit(), 1);
  DeviceInfo* defaultDevice = selectedDevice();
  kvSaveVideoConfig();
  std::vector<uint8_t> file = readFile("kvKIT.vid");
  ASSERT_EQ(file.size(), 1344u);

  kvSelectDefaultDriver(KVSEL_REF_DEVICE);
  writeFile("kvKIT.vid", std::vector<uint8_t>(file.begin(), file.begin() + 1000));
  kv::headless::clearDebugCapture();
  kvLoadVideoConfig();
  EXPECT_EQ(selectedDevice(), deviceNamed("Reference Rasterizer"));
  EXPECT_NE(kv::headless::debugCapture().find("kvKIT.vid is too short"), std::string::npos);

  // Names filling their whole field compare within it and match nothing.
  std::vector<uint8_t> unterminated = file;
  std::memset(&unterminated[16], 'x', 40);
  std::memset(&unterminated[876], 'y', 40);
  std::memset(&unterminated[1304], 'z', 40);
  writeFile("kvKIT.vid", unterminated);
  kvLoadVideoConfig();
  EXPECT_EQ(selectedDevice(), deviceNamed("Reference Rasterizer"));

  writeFile("kvKIT.vid", file);
  kvLoadVideoConfig();
  EXPECT_EQ(selectedDevice(), defaultDevice);
}

// --- The driver dialog ------------------------------------------------------------

TEST_F(Device, DialogTemplateIsTheDesignedLayoutInUtf16) {
  uint8_t buffer[900];
  const size_t used = kvBuildDriverDialogTemplate(buffer, sizeof buffer);
  ASSERT_GT(used, 0u);
  ASSERT_LE(used, 900u);
  kv::win::DialogTemplate layout;
  std::string error;
  ASSERT_TRUE(kv::win::parseDialogTemplate(reinterpret_cast<const DLGTEMPLATE*>(buffer), layout, error))
      << error;
  EXPECT_EQ(layout.style, 0x90C80BC4u);
  EXPECT_EQ(layout.cx, 179);
  EXPECT_EQ(layout.cy, 84);
  EXPECT_EQ(layout.titleUtf8, "Select New Direct3D Driver");
  EXPECT_EQ(layout.pointSize, 8);
  EXPECT_EQ(layout.fontUtf8, "Arial");
  ASSERT_EQ(layout.controls.size(), 8u);
  EXPECT_EQ(layout.controls[0].id, IDOK);
  EXPECT_EQ(layout.controls[0].className, "BUTTON");
  EXPECT_EQ(layout.controls[0].textUtf8, "OK");
  EXPECT_EQ(layout.controls[0].style, WS_CHILD | WS_VISIBLE | WS_TABSTOP);
  EXPECT_EQ(layout.controls[1].textUtf8, "Cancel");
  EXPECT_EQ(layout.controls[1].x, 123);
  EXPECT_EQ(layout.controls[4].id, 1002);
  EXPECT_EQ(layout.controls[4].className, "COMBOBOX");
  EXPECT_EQ(layout.controls[4].style, 0x50210003u);
  EXPECT_EQ(layout.controls[4].y, 44);
  EXPECT_EQ(layout.controls[6].id, 0xFFFF);
  EXPECT_EQ(layout.controls[6].textUtf8, "Device:");
  EXPECT_EQ(layout.controls[6].cx, 25);

  // A buffer too small for it is refused, never overrun.
  uint8_t small[120];
  EXPECT_EQ(kvBuildDriverDialogTemplate(small, sizeof small), 0u);
}

TEST_F(Device, DialogWindowedModeThenOkChangesOnlyTheWindowedFlag) {
  ASSERT_EQ(kvSystemInit(), 1);
  DeviceInfo* device = selectedDevice();
  ModeInfo* mode = device->currentMode;
  kv::headless::queueDialogAnswer("mode=Windowed mode,ok");
  EXPECT_EQ(kvSelectDriverDialog(nullptr, 0), 1);
  EXPECT_EQ(selectedDevice(), device);
  EXPECT_EQ(device->windowed, 1);
  EXPECT_EQ(device->currentMode, mode);

  kv::headless::queueDialogAnswer("ok");
  EXPECT_EQ(kvSelectDriverDialog(nullptr, 1), 2);
  kv::headless::queueDialogAnswer("cancel");
  EXPECT_EQ(kvSelectDriverDialog(nullptr, 1), 2);

  // Another device brings its own mode and windowed flag; a mode entry means full screen.
  kv::headless::queueDialogAnswer("device=Reference Rasterizer,mode=640 x 480 x 16,ok");
  EXPECT_EQ(kvSelectDriverDialog(nullptr, 1), 1);
  EXPECT_EQ(selectedDevice(), deviceNamed("Reference Rasterizer"));
  EXPECT_EQ(selectedDevice()->windowed, 0);
}

}  // namespace

namespace {

// The boxes' entries after each message the dialog procedure handled.
std::vector<std::vector<std::string>> boxSnapshots;

std::vector<std::string> boxEntries(HWND dialog, int box) {
  std::vector<std::string> entries;
  const LRESULT count = SendDlgItemMessageA(dialog, box, CB_GETCOUNT, 0, 0);
  const LRESULT selected = SendDlgItemMessageA(dialog, box, CB_GETCURSEL, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    char text[64] = {};
    SendDlgItemMessageA(dialog, box, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    entries.push_back(std::string(i == selected ? "*" : "") + text);
  }
  return entries;
}

INT_PTR CALLBACK watchingProc(HWND dialog, UINT message, WPARAM w, LPARAM l) {
  const INT_PTR result = kvDriverDialogProc(dialog, message, w, l);
  if (message == WM_INITDIALOG || (message == WM_COMMAND && HIWORD(w) == CBN_SELENDOK)) {
    std::vector<std::string> all;
    for (int box : {1000, 1001, 1002}) {
      for (const std::string& entry : boxEntries(dialog, box)) all.push_back(entry);
      all.push_back("|");
    }
    boxSnapshots.push_back(all);
  }
  return result;
}

// A second display card: its own driver with one hardware device and two modes.
DriverInfo* addSecondCard() {
  auto* driver = static_cast<DriverInfo*>(std::calloc(1, sizeof(DriverInfo)));
  auto* device = static_cast<DeviceInfo*>(std::calloc(1, sizeof(DeviceInfo)));
  driver->guid.Data1 = 7;
  driver->guidRef = &driver->guid;
  std::snprintf(driver->description, sizeof driver->description, "Second Card");
  device->guidRef = &device->guid;
  std::snprintf(device->name, sizeof device->name, "Card HAL");
  device->isHardware = 1;
  for (const char* text : {"800 x 600 x 16", "640 x 480 x 32"}) {
    auto* mode = static_cast<ModeInfo*>(std::calloc(1, sizeof(ModeInfo)));
    std::snprintf(mode->text, sizeof mode->text, "%s", text);
    ModeInfo** link = &device->modes;
    while (*link != nullptr) link = &(*link)->next;
    *link = mode;
  }
  device->currentMode = device->modes->next;
  driver->devices = driver->currentDevice = device;
  kvGetDriverList()->next = driver;
  return driver;
}

}  // namespace

TEST_F(Device, DialogChangesRefillTheBoxesWithTheNewChoice) {
  ASSERT_EQ(kvSystemInit(), 1);
  DriverInfo* second = addSecondCard();
  uint8_t dialogTemplate[900];
  ASSERT_GT(kvBuildDriverDialogTemplate(dialogTemplate, sizeof dialogTemplate), 0u);

  boxSnapshots.clear();
  kv::headless::queueDialogAnswer("device=Reference Rasterizer,driver=Second Card,ok");
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, reinterpret_cast<LPCDLGTEMPLATEA>(dialogTemplate), nullptr,
                                    watchingProc, 0),
            1);
  ASSERT_EQ(boxSnapshots.size(), 3u);
  const std::string driverName = kvGetDriverList()->description;
  EXPECT_EQ(boxSnapshots[0][0], "*" + driverName);
  EXPECT_EQ(boxSnapshots[0][1], "Second Card");
  EXPECT_EQ(boxSnapshots[0][3], "*RGB Emulation");
  EXPECT_EQ(boxSnapshots[0][6], "*Windowed mode");  // windowed: no mode entry selected
  // The device change keeps the driver and brings the device's own choice.
  EXPECT_EQ(boxSnapshots[1][4], "*Reference Rasterizer");
  EXPECT_EQ(boxSnapshots[1][6], "*Windowed mode");
  // The driver change refills all three: a second card has no windowed entry.
  const std::vector<std::string> expected = {driverName, "*Second Card", "|", "*Card HAL", "|",
                                             "800 x 600 x 16", "*640 x 480 x 32", "|"};
  EXPECT_EQ(boxSnapshots[2], expected);

  DriverInfo* driver = nullptr;
  DeviceInfo* device = nullptr;
  kvGetSelectedDriver(&driver, &device);
  EXPECT_EQ(driver, second);
  EXPECT_EQ(device, second->devices);
  EXPECT_EQ(device->currentMode, second->devices->modes->next);
}
