// Start-up, the render window, F3 device switches, kvKIT.vid, the driver
// dialog and the error boxes on the headless machine.
#include <fstream>
#include <vector>

#include "kvSys/Frame.h"
#include "kvSys/d3denum.h"
#include "platform/win/dialog.h"
#include "tests/device/kit_fixture.h"

namespace {

using Device = Kit;

// Whether the texture was made by the framework's current DirectDraw object.
bool onCurrentDevice(const Surface* surface) {
  IDirectDraw4* owner = nullptr;
  if (surface->texture == nullptr ||
      FAILED(surface->ddSurface->GetDDInterface(reinterpret_cast<void**>(&owner))))
    return false;
  owner->Release();
  return owner == kvFramework.directDraw;
}

TEST_F(Device, StartUpListsBothSoftwareDevicesAndTheScreenModeSetsUpAWindow) {
  kvResetMemoryForTests();  // start-up makes its own pool
  ASSERT_EQ(kvSystemInit(), 1);
  DriverInfo* driver = kvGetDriverList();
  ASSERT_NE(driver, nullptr);
  EXPECT_EQ(driver->next, nullptr);
  EXPECT_EQ(driver->isPrimary, 1);
  EXPECT_EQ(driver->guidRef, nullptr);
  for (const char* name : {"RGB Emulation", "Reference Rasterizer"}) {
    DeviceInfo* device = named(name);
    ASSERT_NE(device, nullptr) << name;
    EXPECT_STREQ(device->currentMode->text, "640 x 480 x 16");
    for (ModeInfo* mode = device->modes; mode != nullptr; mode = mode->next)
      EXPECT_NE(mode->desc.ddpfPixelFormat.dwRGBBitCount, 8u) << mode->text;
  }
  EXPECT_EQ(selected(), named("RGB Emulation"));  // the software windowed pass
  EXPECT_EQ(selected()->windowed, 1);

  EXPECT_EQ(kvSetScreenMode(8), 0);
  EXPECT_TRUE(logged("): kvSetScreenMode : Unknown Screen mode\n"));
  EXPECT_EQ(kvFramework.window, nullptr);
  ASSERT_EQ(kvSetScreenMode(6), 1);
  EXPECT_EQ(kvScreenWidth, 640);
  EXPECT_EQ(kvFramework.renderWidth, 640u);
  EXPECT_EQ(kvFramework.renderHeight, 480u);
  EXPECT_EQ(kvFramework.renderTarget, kvFramework.back);
  char caption[32] = {};
  GetWindowTextA(kvFramework.window, caption, sizeof caption);
  EXPECT_STREQ(caption, "kvKIT v1.0");
  DWORD zFunction = 0;
  kvFramework.device->GetRenderState(D3DRENDERSTATE_ZFUNC, &zFunction);
  EXPECT_EQ(zFunction, static_cast<DWORD>(D3DCMP_GREATEREQUAL));
  EXPECT_EQ(kvClear(0, 0, 0), 0);
  EXPECT_EQ(kvBeginScene(), 1);
  kvEndScene();
  EXPECT_EQ(kvFwShowFrame(&kvFramework, 1), 0);
}

TEST_F(Device, F3RebuildsTheDeviceWithEveryTextureAndCancelOnlyRestartsPacing) {
  start();
  std::vector<uint8_t> pixels(64 * 64 * 2, 0x33);
  Surface* surfaces[] = {make(64, 64, SURFACE_FORMAT_8BPP, pixels.data()),
                         make(32, 32, SURFACE_FORMAT_16BPP, pixels.data(), nullptr, 7)};
  kvSetRenderFlags(KV_RF_TEXTURE);
  kvSetTexture(surfaces[1]);

  IDirect3DDevice3* device = kvFramework.device;
  kvFrameDebt = 1234;
  pressF3("cancel");
  EXPECT_EQ(kvFramework.device, device);
  EXPECT_EQ(kvFrameDebt, 0);
  EXPECT_EQ(kvFrameLast, kvGetTick());

  pressF3("device=Reference Rasterizer,ok");
  EXPECT_EQ(selected(), named("Reference Rasterizer"));
  ASSERT_NE(kvFramework.device, nullptr);
  for (Surface* surface : surfaces) EXPECT_TRUE(onCurrentDevice(surface));
  IDirect3DTexture2* bound = nullptr;
  kvFramework.device->GetTexture(0, &bound);
  EXPECT_EQ(bound, surfaces[1]->texture);
  if (bound != nullptr) bound->Release();
}

TEST_F(Device, TwentySwitchesLeaveNothingBehind) {
  start();
  std::vector<uint8_t> pixels(128 * 128 * 2, 0x33);
  ASSERT_NE(make(64, 64, SURFACE_FORMAT_8BPP, pixels.data()), nullptr);
  ASSERT_NE(make(128, 128, SURFACE_FORMAT_16BPP, pixels.data(), nullptr, 3), nullptr);
  const int surfaces = kv::ddraw::testing::liveSurfaces();
  const int directDraws = kv::ddraw::testing::liveDirectDrawObjects();
  for (int i = 0; i < 20; ++i) {
    pressF3(i % 2 == 0 ? "device=Reference Rasterizer,ok" : "device=RGB Emulation,ok");
    ASSERT_EQ(kvFramework.initialised, 1) << "switch " << i;
    EXPECT_EQ(kv::ddraw::testing::liveSurfaces(), surfaces) << "switch " << i;
    EXPECT_EQ(kv::ddraw::testing::liveDirectDrawObjects(), directDraws) << "switch " << i;
  }
  EXPECT_TRUE(kv::headless::messageBoxes().empty());
  for (int group = 0; group < KV_SURFACE_GROUPS; ++group) kvFreeSurfaceGroup(group);
  EXPECT_EQ(kvFwDestroyObjects(&kvFramework), 0);
  EXPECT_EQ(kv::ddraw::testing::liveSurfaces(), 0);
  EXPECT_EQ(kv::ddraw::testing::liveDirectDrawObjects(), 0);
}

TEST_F(Device, FrameworkRefusesBadArgumentsAndAnswersBeforeSetUp) {
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  DriverInfo* driver = kvGetDriverList();
  DeviceInfo* device = selected();
  EXPECT_EQ(kvFwInitialize(&kvFramework, nullptr, &driver->guid, &device->guid,
                           &device->currentMode->desc, KVFW_BACKBUFFER),
            E_INVALIDARG);
  EXPECT_EQ(kvFwInitialize(&kvFramework, reinterpret_cast<HWND>(1), &driver->guid, &device->guid,
                           nullptr, KVFW_FULLSCREEN),
            E_INVALIDARG);
  EXPECT_EQ(kvFramework.initialised, 0);
  EXPECT_EQ(kvFwShowFrame(&kvFramework, 1), KVERR_FW_NOT_INITIALIZED);
  EXPECT_TRUE(logged("d3dframe.cpp("));
  EXPECT_TRUE(logged("): d3d not initialized\n"));
  EXPECT_EQ(kvBeginScene(), 0);

  ASSERT_EQ(kvSetScreenMode(6), 1);
  EXPECT_EQ(kvFwDestroyObjects(&kvFramework), 0);
  EXPECT_EQ(kvFwDestroyObjects(&kvFramework), 0);  // the second does nothing
  EXPECT_EQ(kvFramework.device, nullptr);
  EXPECT_EQ(kv::ddraw::testing::liveDirectDrawObjects(), 0);
}

TEST_F(Device, RenderTargetSwitchesOnlyWhenTheLowByteChanges) {
  start();
  EXPECT_EQ(kvSetRenderTarget(1), 1);  // remembered as the front from the start
  EXPECT_EQ(kvSetRenderTarget(257), 1);
  EXPECT_EQ(kvFramework.renderTarget, kvFramework.back);
  EXPECT_EQ(kvSetRenderTarget(0), 0);
  // A window's front is the desktop's primary surface: no device draws there.
  EXPECT_EQ(kvSetRenderTarget(1), KVERR_FW_NO_RENDER_TARGET);
  EXPECT_EQ(kvSetRenderTarget(256), 0);
  EXPECT_EQ(kvFramework.renderTarget, kvFramework.back);
  EXPECT_EQ(kvSetRenderTarget(0), 0);  // already the back buffer: nothing to do
}

TEST_F(Device, WindowMovesAndLimitsFollowTheWindowOnlyOutsideFullScreen) {
  start();
  const RECT before = kvWindowRect;
  kvWindowProc(kvFramework.window, WM_MOVE, 0, MAKELPARAM(100, 70));
  EXPECT_EQ(kvWindowRect.left, 100);
  EXPECT_EQ(kvWindowRect.right - kvWindowRect.left, before.right - before.left);
  EXPECT_EQ(kvFramework.screenRect.right, 740);
  MINMAXINFO limits = {};
  kvWindowProc(kvFramework.window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  EXPECT_EQ(limits.ptMinTrackSize.x, 100);
  EXPECT_EQ(limits.ptMaxTrackSize.y, before.bottom - before.top);
  EXPECT_EQ(limits.ptMaxPosition.x, 100);

  kvWindowed = 0;  // full screen in effect
  kvWindowProc(kvFramework.window, WM_MOVE, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(kvWindowRect.left, 100);
  EXPECT_EQ(kvFramework.screenRect.left, 100);
  EXPECT_EQ(kvWindowProc(kvFramework.window, WM_SETCURSOR, 0, 0), 1);  // hidden
  MINMAXINFO free = {};
  kvWindowProc(kvFramework.window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&free));
  EXPECT_EQ(free.ptMaxTrackSize.x, 0);
  EXPECT_EQ(free.ptMinTrackSize.y, 100);
  kvWindowed = 1;
}

TEST_F(Device, ErrorBoxesCarryTheTextForTheCodeAndTheEnding) {
  kvShowError(KVERR_FW_NO_ZBUFFER, KVMSG_EXIT);
  kvShowError(KVERR_ENUM_NO_DDRAW, 0);  // not in the table, no ending
  kvShowError(DDERR_OUTOFVIDEOMEMORY, KVMSG_SOFTWARE);
  const auto& boxes = kv::headless::messageBoxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].text, "No ZBuffer\n\nThis sample will now exit.");
  EXPECT_EQ(boxes[0].caption, "kvKIT v1.0");
  EXPECT_EQ(boxes[0].type, MB_ICONERROR);
  EXPECT_EQ(boxes[1].text, "Generic application error.\n\nEnable debug output for detailed information.");
  EXPECT_EQ(boxes[1].type, MB_ICONWARNING);
  EXPECT_EQ(boxes[2].text,
            "There was insufficient video memory to use the\nhardware device.\n\nSwitching to software "
            "rasterizer.");

  // Without the display module start-up stops with the enumeration text.
  kv::ddraw::testing::exports().moduleLoaded = false;
  kvResetMemoryForTests();
  EXPECT_EQ(kvSystemInit(), 0);
  EXPECT_TRUE(logged("): Can't load DDRAW.DLL!\n"));
  EXPECT_TRUE(logged("): D3D Driver enumeration error\n"));
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[3].text,
            "Enumeration failed. Your system may be in an\nunstable state and need to be "
            "rebooted\n\nThis sample will now exit.");
}

// --- kvKIT.vid ---------------------------------------------------------------------

std::vector<uint8_t> readFile(const char* name) {
  std::ifstream in(name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const char* name, const std::vector<uint8_t>& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST_F(Device, VideoFileHoldsTheChoiceAtItsOffsetsAndBringsItBack) {
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  DeviceInfo* reference = named("Reference Rasterizer");
  ASSERT_EQ(kvSelectDefaultDriver(KVSEL_REF_DEVICE), 0);
  kvSaveVideoConfig();
  EXPECT_FALSE(std::filesystem::exists("kvKIT.vid.tmp"));
  const std::vector<uint8_t> file = readFile("kvKIT.vid");
  ASSERT_EQ(file.size(), 1344u);
  DriverInfo* driver = kvGetDriverList();
  EXPECT_EQ(std::memcmp(&file[16], driver->description, 40), 0);
  EXPECT_EQ(std::memcmp(&file[476], &driver->helCaps, 380), 0);
  EXPECT_EQ(file[856], 1);  // isPrimary
  EXPECT_EQ(std::memcmp(&file[876], "Reference Rasterizer", 21), 0);
  EXPECT_EQ(std::memcmp(&file[916], &reference->desc, 252), 0);
  EXPECT_EQ(file[1176], 1);  // windowed
  EXPECT_EQ(std::memcmp(&file[1180], &reference->currentMode->desc, 124), 0);
  EXPECT_EQ(std::memcmp(&file[1304], "640 x 480 x 16", 15), 0);

  kvSelectDefaultDriver(0);
  kvLoadVideoConfig();
  EXPECT_EQ(selected(), reference);

  // After a capability change, or with a short file, or with names that fill
  // their whole field, nothing matches and the default stays.
  std::vector<uint8_t> changed = file;
  changed[96 + 8] ^= 0x01;  // hwCaps.dwCaps2
  std::vector<uint8_t> unterminated = file;
  std::memset(&unterminated[16], 'x', 40);
  std::memset(&unterminated[1304], 'z', 40);
  for (const std::vector<uint8_t>& bad :
       {changed, unterminated, std::vector<uint8_t>(file.begin(), file.begin() + 1000)}) {
    kvSelectDefaultDriver(0);
    writeFile("kvKIT.vid", bad);
    kvLoadVideoConfig();
    EXPECT_EQ(selected(), named("RGB Emulation"));
  }
  EXPECT_TRUE(logged("kvKIT.vid is too short"));
}

// --- The driver dialog ----------------------------------------------------------------

TEST_F(Device, DialogTemplateIsTheDesignedLayoutInUtf16) {
  uint8_t buffer[900];
  ASSERT_GT(kvBuildDriverDialogTemplate(buffer, sizeof buffer), 0u);
  kv::win::DialogTemplate layout;
  std::string error;
  ASSERT_TRUE(kv::win::parseDialogTemplate(reinterpret_cast<const DLGTEMPLATE*>(buffer), layout, error))
      << error;
  EXPECT_EQ(layout.style, 0x90C80BC4u);
  EXPECT_EQ(layout.titleUtf8, "Select New Direct3D Driver");
  EXPECT_EQ(layout.fontUtf8, "Arial");
  ASSERT_EQ(layout.controls.size(), 8u);
  EXPECT_EQ(layout.controls[1].textUtf8, "Cancel");
  EXPECT_EQ(layout.controls[1].x, 123);
  EXPECT_EQ(layout.controls[4].id, 1002);
  EXPECT_EQ(layout.controls[4].style, 0x50210003u);
  EXPECT_EQ(layout.controls[6].textUtf8, "Device:");
  EXPECT_EQ(layout.controls[6].cx, 25);
  uint8_t small[120];
  EXPECT_EQ(kvBuildDriverDialogTemplate(small, sizeof small), 0u);  // refused, never overrun
}

TEST_F(Device, DialogWindowedModeThenOkChangesOnlyTheWindowedFlag) {
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  DeviceInfo* device = selected();
  ModeInfo* mode = device->currentMode;
  kv::headless::queueDialogAnswer("mode=Windowed mode,ok");
  EXPECT_EQ(kvSelectDriverDialog(nullptr, 0), 1);
  EXPECT_EQ(selected(), device);
  EXPECT_EQ(device->windowed, 1);
  EXPECT_EQ(device->currentMode, mode);
  kv::headless::queueDialogAnswer("ok");
  EXPECT_EQ(kvSelectDriverDialog(nullptr, 1), 2);
}

// The boxes' entries ("*" marks the selection) after each change the dialog handled.
std::vector<std::string> boxSnapshots;

INT_PTR CALLBACK watchingProc(HWND dialog, UINT message, WPARAM w, LPARAM l) {
  const INT_PTR result = kvDriverDialogProc(dialog, message, w, l);
  if (message != WM_INITDIALOG && !(message == WM_COMMAND && HIWORD(w) == CBN_SELENDOK)) return result;
  std::string entries;
  for (int box : {1000, 1001, 1002}) {
    const LRESULT selected = SendDlgItemMessageA(dialog, box, CB_GETCURSEL, 0, 0);
    for (LRESULT i = 0; i < SendDlgItemMessageA(dialog, box, CB_GETCOUNT, 0, 0); ++i) {
      char text[64] = {};
      SendDlgItemMessageA(dialog, box, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
      entries += std::string(i == selected ? "*" : "") + text + ";";
    }
    entries += "|";
  }
  boxSnapshots.push_back(entries);
  return result;
}

TEST_F(Device, DialogChangesRefillTheBoxesWithTheNewChoice) {
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  // A second display card: its own driver with one hardware device and two modes.
  auto* card = static_cast<DriverInfo*>(std::calloc(1, sizeof(DriverInfo)));
  auto* hal = static_cast<DeviceInfo*>(std::calloc(1, sizeof(DeviceInfo)));
  ModeInfo* modes[] = {static_cast<ModeInfo*>(std::calloc(1, sizeof(ModeInfo))),
                       static_cast<ModeInfo*>(std::calloc(1, sizeof(ModeInfo)))};
  std::snprintf(card->description, sizeof card->description, "Second Card");
  std::snprintf(hal->name, sizeof hal->name, "Card HAL");
  std::snprintf(modes[0]->text, sizeof modes[0]->text, "800 x 600 x 16");
  std::snprintf(modes[1]->text, sizeof modes[1]->text, "640 x 480 x 32");
  card->guidRef = &card->guid;
  card->devices = card->currentDevice = hal;
  hal->modes = modes[0];
  hal->currentMode = modes[0]->next = modes[1];
  kvGetDriverList()->next = card;

  uint8_t dialogTemplate[900];
  kvBuildDriverDialogTemplate(dialogTemplate, sizeof dialogTemplate);
  boxSnapshots.clear();
  kv::headless::queueDialogAnswer("device=Reference Rasterizer,driver=Second Card,ok");
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, reinterpret_cast<LPCDLGTEMPLATEA>(dialogTemplate), nullptr,
                                    watchingProc, 0),
            1);
  const std::string primary = kvGetDriverList()->description;
  ASSERT_EQ(boxSnapshots.size(), 3u);
  EXPECT_EQ(boxSnapshots[0].rfind("*" + primary + ";Second Card;|*RGB Emulation;Reference Rasterizer;|*Windowed mode;", 0), 0u);
  EXPECT_NE(boxSnapshots[1].find("|RGB Emulation;*Reference Rasterizer;|*Windowed mode;"), std::string::npos);
  // A second card has no windowed entry; its own last mode comes back.
  EXPECT_EQ(boxSnapshots[2], primary + ";*Second Card;|*Card HAL;|800 x 600 x 16;*640 x 480 x 32;|");
  DeviceInfo* device = nullptr;
  DriverInfo* driver = nullptr;
  kvGetSelectedDriver(&driver, &device);
  EXPECT_EQ(driver, card);
  EXPECT_EQ(device->currentMode, modes[1]);
}

}  // namespace
