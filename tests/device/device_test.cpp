// Start-up, the render window, F3 device switches, kvKIT.vid, the driver
// dialog and the error boxes on the headless machine.
#include <fstream>
#include <tuple>
#include <vector>

#include "kvSys/Frame.h"
#include "kvSys/d3denum.h"
#include "platform/win/dialog.h"
#include "tests/device/kit_fixture.h"

namespace {

using Device = Kit;

TEST_F(Device, StartUpListsBothSoftwareDevicesAndTheScreenModeSetsUpAWindowAndTarget) {
  kvResetMemoryForTests();  // start-up makes its own pool
  ASSERT_EQ(kvSystemInit(), 1);
  DriverInfo* driver = kvGetDriverList();
  ASSERT_NE(driver, nullptr);
  EXPECT_EQ(std::tuple(driver->next, driver->isPrimary, driver->guidRef),
            std::tuple(nullptr, 1, nullptr));
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
  EXPECT_EQ(std::tuple(kvScreenWidth, kvFramework.renderWidth, kvFramework.renderHeight),
            std::tuple(640, 640u, 480u));
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

  // The render target switches only when the low byte changes.
  EXPECT_EQ(kvSetRenderTarget(1), 1);  // remembered as the front from the start
  EXPECT_EQ(kvSetRenderTarget(257), 1);
  EXPECT_EQ(kvSetRenderTarget(0), 0);
  // A window's front is the desktop's primary surface: no device draws there.
  EXPECT_EQ(kvSetRenderTarget(1), KVERR_FW_NO_RENDER_TARGET);
  EXPECT_EQ(kvSetRenderTarget(256), 0);
  EXPECT_EQ(kvFramework.renderTarget, kvFramework.back);
}

TEST_F(Device, F3CancelOnlyRestartsPacingAndTwentySwitchesRetextureAllAndLeakNothing) {
  start();
  IDirect3DDevice3* device = kvFramework.device;
  kvPacing.debt = 1234;
  pressF3("cancel");
  EXPECT_EQ(kvFramework.device, device);
  EXPECT_EQ(kvPacing.debt, 0);
  EXPECT_EQ(kvPacing.last, kvGetTick());

  switchRound({"Reference Rasterizer", "RGB Emulation"}, 20);
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
  EXPECT_TRUE(logged("d3dframe.cpp(") && logged("): d3d not initialized\n"));
  EXPECT_EQ(kvBeginScene(), 0);

  ASSERT_EQ(kvSetScreenMode(6), 1);
  EXPECT_EQ(kvFwDestroyObjects(&kvFramework), 0);
  EXPECT_EQ(kvFwDestroyObjects(&kvFramework), 0);  // the second does nothing
  EXPECT_EQ(kvFramework.device, nullptr);
  EXPECT_EQ(kv::ddraw::testing::liveDirectDrawObjects(), 0);
}

TEST_F(Device, WindowMovesAndLimitsFollowTheWindowOnlyOutsideFullScreen) {
  start();
  const RECT before = kvWindow.rect;
  POINT client = {0, 0};
  ClientToScreen(kvFramework.window, &client);
  const LONG frame = client.x - before.left;  // the border left of the client area
  ASSERT_GT(frame, 0);
  // The message places the client area; the stored rectangle is the outer one.
  kvWindowProc(kvFramework.window, WM_MOVE, 0, MAKELPARAM(100, 70));
  EXPECT_EQ(std::tuple(kvWindow.rect.left, kvWindow.rect.right - kvWindow.rect.left,
                       kvFramework.screenRect.right),
            std::tuple(100 - frame, before.right - before.left, 740));
  MINMAXINFO limits = {};
  kvWindowProc(kvFramework.window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  EXPECT_EQ(std::tuple(limits.ptMinTrackSize.x, limits.ptMaxTrackSize.y, limits.ptMaxPosition.x),
            std::tuple(100, before.bottom - before.top, 100 - frame));

  kvWindow.windowed = 0;  // full screen in effect
  kvWindowProc(kvFramework.window, WM_MOVE, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(std::tuple(kvWindow.rect.left, kvFramework.screenRect.left),
            std::tuple(100 - frame, 100));
  EXPECT_EQ(kvWindowProc(kvFramework.window, WM_SETCURSOR, 0, 0), 1);  // hidden
  MINMAXINFO free = {};
  kvWindowProc(kvFramework.window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&free));
  EXPECT_EQ(std::tuple(free.ptMaxTrackSize.x, free.ptMinTrackSize.y), std::tuple(0, 100));
}

TEST_F(Device, ErrorBoxesCarryTheTextForTheCodeAndTheEnding) {
  kvShowError(KVERR_FW_NO_ZBUFFER, KVMSG_EXIT);
  kvShowError(KVERR_ENUM_NO_DDRAW, 0);  // not in the table, no ending
  kvShowError(DDERR_OUTOFVIDEOMEMORY, KVMSG_SOFTWARE);
  const auto& boxes = kv::headless::messageBoxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(std::tie(boxes[0].text, boxes[0].caption, boxes[0].type),
            std::tuple("No ZBuffer\n\nThis sample will now exit.", "kvKIT v1.0", MB_ICONERROR));
  EXPECT_EQ(
      std::tie(boxes[1].text, boxes[1].type),
      std::tuple("Generic application error.\n\nEnable debug output for detailed information.",
                 MB_ICONWARNING));
  EXPECT_EQ(boxes[2].text,
            "There was insufficient video memory to use the\nhardware device.\n\nSwitching to "
            "software rasterizer.");

  // Without the display module start-up stops with the enumeration text.
  kv::ddraw::testing::exports().moduleLoaded = false;
  kvResetMemoryForTests();
  EXPECT_EQ(kvSystemInit(), 0);
  EXPECT_TRUE(logged("): Can't load DDRAW.DLL!\n") && logged("): D3D Driver enumeration error\n"));
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[3].text,
            "Enumeration failed. Your system may be in an\nunstable state and need to be "
            "rebooted\n\nThis sample will now exit.");
}

TEST_F(Device, VideoFileHoldsTheChoiceAtItsOffsetsAndBringsItBack) {
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  DeviceInfo* reference = named("Reference Rasterizer");
  ASSERT_EQ(kvSelectDefaultDriver(KVSEL_REF_DEVICE), 0);
  kvSaveVideoConfig();
  EXPECT_FALSE(std::filesystem::exists("kvKIT.vid.tmp"));
  std::ifstream in("kvKIT.vid", std::ios::binary);
  const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), {}};
  ASSERT_EQ(file.size(), 1344u);
  DriverInfo* driver = kvGetDriverList();
  const struct {
    size_t at;
    const void* bytes;
    size_t size;
  } fields[] = {{16, driver->description, 40},
                {476, &driver->helCaps, 380},
                {856, "\1", 1} /* isPrimary */,
                {876, "Reference Rasterizer", 21},
                {916, &reference->desc, 252},
                {1176, "\1", 1} /* windowed */,
                {1180, &reference->currentMode->desc, 124},
                {1304, "640 x 480 x 16", 15}};
  for (const auto& f : fields)
    EXPECT_EQ(std::memcmp(&file[f.at], f.bytes, f.size), 0) << "offset " << f.at;

  kvSelectDefaultDriver(0);
  kvLoadVideoConfig();
  EXPECT_EQ(selected(), reference);

  // After a capability change, or with a short file, or with names that fill
  // their whole field, nothing matches and the default stays.
  std::vector<uint8_t> changed = file, unterminated = file;
  changed[96 + 8] ^= 0x01;  // hwCaps.dwCaps2
  std::memset(&unterminated[16], 'x', 40);
  std::memset(&unterminated[1304], 'z', 40);
  for (const std::vector<uint8_t>& bad :
       {changed, unterminated, std::vector<uint8_t>(file.begin(), file.begin() + 1000)}) {
    kvSelectDefaultDriver(0);
    std::ofstream("kvKIT.vid", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bad.data()), static_cast<std::streamsize>(bad.size()));
    kvLoadVideoConfig();
    EXPECT_EQ(selected(), named("RGB Emulation"));
  }
  EXPECT_TRUE(logged("kvKIT.vid is too short"));

  // A choice that cannot be written is said aloud with the reason, whether the
  // file cannot be made or cannot take the old one's place; nothing is left aside.
  namespace fs = std::filesystem;
  fs::remove("kvKIT.vid");
  for (const char* inTheWay : {"kvKIT.vid.tmp/x", "kvKIT.vid/x"}) {
    fs::create_directories(inTheWay);
    kv::headless::clearDebugCapture();
    kvSaveVideoConfig();
    EXPECT_TRUE(
        logged("): kvSaveVideoConfig: cannot write kvKIT.vid, the device choice is not "
               "kept (Is a directory)\n"))
        << inTheWay;
    fs::remove_all(fs::path(inTheWay).parent_path());
    EXPECT_FALSE(fs::exists("kvKIT.vid.tmp"));
  }
}

// --- The driver dialog ----------------------------------------------------------------

TEST_F(Device, DialogWindowedModeThenOkChangesOnlyTheWindowedFlag) {
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  DeviceInfo* device = selected();
  ModeInfo* mode = device->currentMode;
  kv::headless::queueDialogAnswer("mode=Windowed mode,ok");
  EXPECT_EQ(kvSelectDriverDialog(nullptr, 0), 1);
  EXPECT_EQ(std::tuple(selected(), device->windowed, device->currentMode),
            std::tuple(device, 1, mode));
  kv::headless::queueDialogAnswer("ok");
  EXPECT_EQ(kvSelectDriverDialog(nullptr, 1), 2);
}

// The boxes' entries ("*" marks the selection) after each change the dialog handled.
std::vector<std::string> boxSnapshots;

INT_PTR CALLBACK watchingProc(HWND dialog, UINT message, WPARAM w, LPARAM l) {
  const INT_PTR result = kvDriverDialogProc(dialog, message, w, l);
  if (message != WM_INITDIALOG && !(message == WM_COMMAND && HIWORD(w) == CBN_SELENDOK))
    return result;
  std::string entries;
  for (int box : {1000, 1001, 1002}) {
    const LRESULT selected = SendDlgItemMessageA(dialog, box, CB_GETCURSEL, 0, 0);
    for (LRESULT i = 0; i < SendDlgItemMessageA(dialog, box, CB_GETCOUNT, 0, 0); ++i) {
      char text[64] = {};
      SendDlgItemMessageA(dialog, box, CB_GETLBTEXT, static_cast<WPARAM>(i),
                          reinterpret_cast<LPARAM>(text));
      entries += std::string(i == selected ? "*" : "") + text + ";";
    }
    entries += "|";
  }
  boxSnapshots.push_back(entries);
  return result;
}

TEST_F(Device, DialogTemplateIsTheDesignedLayoutAndChangesRefillTheBoxes) {
  ASSERT_EQ(kvEnumerateDrivers(nullptr), 0);
  // A second display card: its own driver with one hardware device and two modes.
  // kvFreeDrivers frees them with the rest of the list.
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

  // The template is the designed layout, its texts in UTF-16; a buffer too small is refused, never
  // overrun.
  uint8_t dialogTemplate[900], small[120];
  EXPECT_EQ(kvBuildDriverDialogTemplate(small, sizeof small), 0u);
  ASSERT_GT(kvBuildDriverDialogTemplate(dialogTemplate, sizeof dialogTemplate), 0u);
  kv::win::DialogTemplate t;
  std::string error;
  ASSERT_TRUE(
      kv::win::parseDialogTemplate(reinterpret_cast<const DLGTEMPLATE*>(dialogTemplate), t, error))
      << error;
  EXPECT_EQ(std::tie(t.style, t.titleUtf8, t.fontUtf8),
            std::tuple(0x90C80BC4u, "Select New Direct3D Driver", "Arial"));
  ASSERT_EQ(t.controls.size(), 8u);
  EXPECT_EQ(std::tie(t.controls[1].textUtf8, t.controls[1].x), std::tuple("Cancel", 123));
  EXPECT_EQ(std::tie(t.controls[4].id, t.controls[4].style), std::tuple(1002, 0x50210003u));
  EXPECT_EQ(std::tie(t.controls[6].textUtf8, t.controls[6].cx), std::tuple("Device:", 25));

  boxSnapshots.clear();
  kv::headless::queueDialogAnswer("device=Reference Rasterizer,driver=Second Card,ok");
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, reinterpret_cast<LPCDLGTEMPLATEA>(dialogTemplate),
                                    nullptr, watchingProc, 0),
            1);
  const std::string primary = kvGetDriverList()->description;
  ASSERT_EQ(boxSnapshots.size(), 3u);
  EXPECT_EQ(
      boxSnapshots[0].rfind(
          "*" + primary + ";Second Card;|*RGB Emulation;Reference Rasterizer;|*Windowed mode;", 0),
      0u);
  EXPECT_NE(boxSnapshots[1].find("|RGB Emulation;*Reference Rasterizer;|*Windowed mode;"),
            std::string::npos);
  // A second card has no windowed entry; its own last mode comes back.
  EXPECT_EQ(boxSnapshots[2],
            primary + ";*Second Card;|*Card HAL;|800 x 600 x 16;*640 x 480 x 32;|");
  DeviceInfo* device = nullptr;
  DriverInfo* driver = nullptr;
  kvGetSelectedDriver(&driver, &device);
  EXPECT_EQ(std::tuple(driver, device->currentMode), std::tuple(card, modes[1]));
}

}  // namespace
