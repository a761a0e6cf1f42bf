// Drivers, devices and display modes of the machine, the default choice among
// them, the driver-selection dialog and the choice remembered in kvKIT.vid.
#include "kvSys/d3denum.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kvKIT.h"

namespace {

#define ENUM_MSG(message) kvFwDebugMsg(__FILE__, __LINE__, 0, message)

constexpr uint32_t kRenderWindowed = 0x80000;  // DDCAPS2_CANRENDERWINDOWED
constexpr uint32_t kColorModelRGB = 2;         // D3DCOLOR_RGB
constexpr uint32_t kDepth32 = 0x100;           // DDBD_32
constexpr uint32_t kDepth24 = 0x200;           // DDBD_24
constexpr uint32_t kDepth16 = 0x400;           // DDBD_16

constexpr GUID kRGBDevice = {
    0xA4665C60, 0x2673, 0x11CF, {0xA3, 0x1A, 0x00, 0xAA, 0x00, 0xB9, 0x33, 0x56}};
constexpr GUID kRefDevice = {
    0x50936643, 0x13E9, 0x11D1, {0x89, 0xAA, 0x00, 0xA0, 0xC9, 0x05, 0x41, 0x29}};
constexpr GUID kNullDevice = {
    0x8767DF22, 0xBACC, 0x11D1, {0x89, 0x69, 0x00, 0xA0, 0xC9, 0x06, 0x29, 0xA8}};

constexpr int kDriverBox = 1000;
constexpr int kDeviceBox = 1001;
constexpr int kModeBox = 1002;

DriverInfo* driverList = nullptr;
DriverInfo* currentDriver = nullptr;
IDirectDraw4* enumDirectDraw = nullptr;
IDirect3D3* enumDirect3D = nullptr;
int32_t deviceSeen = 0;
int32_t refrastSeen = 0;
kvDeviceConfirmFn confirmDevice = nullptr;

// The dialog's choices: what was current when it opened, and what it shows now.
struct Choice {
  DriverInfo* driver;
  DeviceInfo* device;
  ModeInfo* mode;
  int32_t windowed;
};
Choice oldChoice;
Choice newChoice;

bool sameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

// Copies a name, cut to fit with its terminating zero.
void copyText(char (&destination)[KV_ENUM_TEXT_SIZE], const char* source) {
  std::snprintf(destination, sizeof destination, "%s", source != nullptr ? source : "");
}

template <typename T>
void appendTo(T*& head, T* item) {
  T** link = &head;
  while (*link != nullptr) link = &(*link)->next;
  *link = item;
}

void freeModes(ModeInfo* mode) {
  while (mode != nullptr) {
    ModeInfo* next = mode->next;
    std::free(mode);
    mode = next;
  }
}

void freeDevices(DeviceInfo* device) {
  while (device != nullptr) {
    DeviceInfo* next = device->next;
    freeModes(device->modes);
    std::free(device);
    device = next;
  }
}

bool canRenderWindowed(const DriverInfo* driver) {
  return (driver->hwCaps.dwCaps2 & kRenderWindowed) != 0;
}

HRESULT CALLBACK modeCallback(DDSURFACEDESC2* mode, void* context) {
  if (mode == nullptr || context == nullptr) return DDENUMRET_CANCEL;
  DeviceInfo* device = static_cast<DeviceInfo*>(context);
  const uint32_t depth = mode->ddpfPixelFormat.dwRGBBitCount;
  const uint32_t renderDepths = device->desc.dwDeviceRenderBitDepth;
  if ((depth == 32 && !(renderDepths & kDepth32)) || (depth == 24 && !(renderDepths & kDepth24)) ||
      (depth == 16 && !(renderDepths & kDepth16)) || depth == 8)
    return DDENUMRET_OK;

  ModeInfo* info = static_cast<ModeInfo*>(std::calloc(1, sizeof(ModeInfo)));
  if (info == nullptr) return DDENUMRET_CANCEL;
  info->desc = *mode;
  std::snprintf(info->text, sizeof info->text, "%ld x %ld x %ld", static_cast<long>(mode->dwWidth),
                static_cast<long>(mode->dwHeight), static_cast<long>(depth));
  appendTo(device->modes, info);
  if (mode->dwWidth == 640 && mode->dwHeight == 480 && depth == 16)
    device->currentMode = info;
  else if (device->currentMode == nullptr)
    device->currentMode = info;
  return DDENUMRET_OK;
}

HRESULT CALLBACK deviceCallback(GUID* guid, char* description, char* name, D3DDEVICEDESC* hardware,
                                D3DDEVICEDESC* software, void* context) {
  DriverInfo* driver = static_cast<DriverInfo*>(context);
  if (guid == nullptr || hardware == nullptr || software == nullptr || driver == nullptr)
    return DDENUMRET_CANCEL;
  if (sameGuid(*guid, kNullDevice)) return DDENUMRET_OK;
  deviceSeen = 1;

  const int32_t isHardware = hardware->dwFlags != 0 ? 1 : 0;
  D3DDEVICEDESC* kept = isHardware ? hardware : software;
  // A separate 3D card offers its hardware only; software devices come with the primary.
  if (driver->guidRef != nullptr && !isHardware) return DDENUMRET_OK;
  if (confirmDevice != nullptr && confirmDevice(&driver->hwCaps, kept) < 0) return DDENUMRET_OK;

  DeviceInfo* device = static_cast<DeviceInfo*>(std::calloc(1, sizeof(DeviceInfo)));
  if (device == nullptr) return DDENUMRET_CANCEL;
  device->guid = *guid;
  device->guidRef = &device->guid;
  copyText(device->name, name);
  device->desc = *kept;
  device->isHardware = isHardware;

  enumDirectDraw->EnumDisplayModes(0, nullptr, device, modeCallback);

  DDSURFACEDESC2 desktop;
  std::memset(&desktop, 0, sizeof desktop);
  desktop.dwSize = sizeof desktop;
  enumDirectDraw->GetDisplayMode(&desktop);
  if (canRenderWindowed(driver)) {
    for (ModeInfo* mode = device->modes; mode != nullptr; mode = mode->next) {
      if (mode->desc.ddpfPixelFormat.dwRGBBitCount != desktop.ddpfPixelFormat.dwRGBBitCount)
        continue;
      device->desktopCompatible = 1;
      if (driver->guidRef == nullptr) device->windowed = 1;
    }
  }

  if (device->modes != nullptr) {
    appendTo(driver->devices, device);
    if (isHardware ||
        (driver->currentDevice == nullptr && (software->dcmColorModel & kColorModelRGB)))
      driver->currentDevice = device;
  } else {
    std::free(device);
  }
  if (sameGuid(*guid, kRefDevice)) refrastSeen = 1;
  return DDENUMRET_OK;
}

BOOL CALLBACK driverCallbackEx(GUID* guid, char* description, char* name, void* context,
                               HMONITOR monitor) {
  IDirectDraw* first = nullptr;
  if (FAILED(DirectDrawCreate(guid, &first, nullptr))) {
    ENUM_MSG("Can't create DDraw during enumeration!");
    return DDENUMRET_OK;
  }
  HRESULT result =
      first->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&enumDirectDraw));
  first->Release();
  if (FAILED(result)) {
    enumDirectDraw = nullptr;
    ENUM_MSG("Can't query IDirectDraw4 during enumeration!");
    return DDENUMRET_OK;
  }
  if (FAILED(enumDirectDraw->QueryInterface(IID_IDirect3D3,
                                            reinterpret_cast<void**>(&enumDirect3D)))) {
    enumDirect3D = nullptr;
    ENUM_MSG("Can't query IDirect3D3 during enumeration!");
    enumDirectDraw->Release();
    enumDirectDraw = nullptr;
    return DDENUMRET_OK;
  }

  BOOL goOn = DDENUMRET_OK;
  DriverInfo* driver = static_cast<DriverInfo*>(std::calloc(1, sizeof(DriverInfo)));
  if (driver == nullptr) {
    goOn = DDENUMRET_CANCEL;
  } else {
    if (guid != nullptr) {
      driver->guid = *guid;
      driver->guidRef = &driver->guid;
    }
    copyText(driver->description, description);
    copyText(driver->name, name);
    driver->hwCaps.dwSize = sizeof(DDCAPS);
    driver->helCaps.dwSize = sizeof(DDCAPS);
    enumDirectDraw->GetCaps(&driver->hwCaps, &driver->helCaps);
    enumDirect3D->EnumDevices(deviceCallback, driver);

    if (driver->devices != nullptr) {
      appendTo(driverList, driver);
      driver->isPrimary = guid == nullptr ? 1 : 0;
      if (guid == nullptr) currentDriver = driver;
    } else {
      std::free(driver);
    }
  }
  enumDirect3D->Release();
  enumDirect3D = nullptr;
  enumDirectDraw->Release();
  enumDirectDraw = nullptr;
  return goOn;
}

BOOL CALLBACK driverCallback(GUID* guid, char* description, char* name, void* context) {
  return driverCallbackEx(guid, description, name, context, nullptr);
}

// Makes a device its driver's current one and the driver the current driver.
void choose(DriverInfo* driver, DeviceInfo* device) {
  driver->currentDevice = device;
  currentDriver = driver;
}

// --- Dialog template --------------------------------------------------------

// Writes the template into a fixed buffer; every write is bounded by it.
class TemplateWriter {
 public:
  TemplateWriter(uint8_t* buffer, size_t size) : buffer_(buffer), size_(size) {}

  void word(uint16_t value) { bytes(&value, sizeof value); }
  void dword(uint32_t value) { bytes(&value, sizeof value); }
  void text(const char* kitText) {
    const int needed = MultiByteToWideChar(CP_ACP, 0, kitText, -1, nullptr, 0);
    const size_t room = (size_ - used_) / sizeof(WCHAR);
    if (needed <= 0 || static_cast<size_t>(needed) > room) {
      overflow_ = true;
      return;
    }
    WCHAR* wide = reinterpret_cast<WCHAR*>(buffer_ + used_);
    MultiByteToWideChar(CP_ACP, 0, kitText, -1, wide, needed);
    used_ += static_cast<size_t>(needed) * sizeof(WCHAR);
  }
  void alignTo4() {
    while (used_ % 4 != 0 && used_ < size_) ++used_;
  }
  bool overflowed() const { return overflow_; }
  size_t used() const { return used_; }

 private:
  void bytes(const void* data, size_t count) {
    if (count > size_ - used_) {
      overflow_ = true;
      return;
    }
    std::memcpy(buffer_ + used_, data, count);
    used_ += count;
  }

  uint8_t* buffer_;
  size_t size_;
  size_t used_ = 0;
  bool overflow_ = false;
};

struct DialogItem {
  uint16_t id;
  const char* className;
  const char* text;
  uint32_t style;
  int16_t x, y, width, height;
};

constexpr uint32_t kComboStyle = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
constexpr DialogItem kDialogItems[] = {
    {IDOK, "BUTTON", "OK", WS_TABSTOP, 65, 65, 51, 14},
    {IDCANCEL, "BUTTON", "Cancel", WS_TABSTOP, 123, 65, 51, 14},
    {kDriverBox, "COMBOBOX", "", kComboStyle, 36, 5, 138, 45},
    {kDeviceBox, "COMBOBOX", "", kComboStyle, 36, 24, 138, 45},
    {kModeBox, "COMBOBOX", "", kComboStyle, 36, 44, 138, 45},
    {0xFFFF, "STATIC", "Driver:", 0, 5, 5, 22, 13},
    {0xFFFF, "STATIC", "Device:", 0, 5, 24, 25, 13},
    {0xFFFF, "STATIC", "Mode:", 0, 5, 44, 22, 13},
};

// --- Dialog boxes -------------------------------------------------------------

LRESULT boxMessage(HWND dialog, int box, UINT message, WPARAM w, LPARAM l) {
  return SendDlgItemMessageA(dialog, box, message, w, l);
}

void addItem(HWND dialog, int box, const char* text, const void* data, bool selected) {
  const LRESULT index = boxMessage(dialog, box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  if (index < 0) return;
  boxMessage(dialog, box, CB_SETITEMDATA, static_cast<WPARAM>(index),
             reinterpret_cast<LPARAM>(data));
  if (selected) boxMessage(dialog, box, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

bool sameChoice(const Choice& a, const Choice& b) {
  return a.driver == b.driver && a.device == b.device && a.mode == b.mode &&
         a.windowed == b.windowed;
}

// A box's selected item data; false when nothing is selected.
bool selectedData(HWND dialog, int box, void** data) {
  const LRESULT index = boxMessage(dialog, box, CB_GETCURSEL, 0, 0);
  if (index == CB_ERR) return false;
  const LRESULT item = boxMessage(dialog, box, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
  if (item == CB_ERR) return false;
  *data = reinterpret_cast<void*>(item);
  return true;
}

// --- Video configuration --------------------------------------------------------

// The kvKIT.vid fields in file order; the file is these records byte for byte.
struct VideoConfig {
  GUID driverGuid;
  char driverDescription[KV_ENUM_TEXT_SIZE];
  char driverName[KV_ENUM_TEXT_SIZE];
  DDCAPS hwCaps;
  DDCAPS helCaps;
  int32_t isPrimary;
  GUID deviceGuid;
  char deviceName[KV_ENUM_TEXT_SIZE];
  D3DDEVICEDESC deviceDesc;
  int32_t isHardware;
  int32_t desktopCompatible;
  int32_t windowed;
  DDSURFACEDESC2 modeDesc;
  char modeText[KV_ENUM_TEXT_SIZE];
};

// A field of the file as an address and a length within the record above.
struct Field {
  size_t offset;
  size_t size;
};
constexpr Field kVideoFields[] = {
    {offsetof(VideoConfig, driverGuid), 16},       {offsetof(VideoConfig, driverDescription), 40},
    {offsetof(VideoConfig, driverName), 40},       {offsetof(VideoConfig, hwCaps), 380},
    {offsetof(VideoConfig, helCaps), 380},         {offsetof(VideoConfig, isPrimary), 4},
    {offsetof(VideoConfig, deviceGuid), 16},       {offsetof(VideoConfig, deviceName), 40},
    {offsetof(VideoConfig, deviceDesc), 252},      {offsetof(VideoConfig, isHardware), 4},
    {offsetof(VideoConfig, desktopCompatible), 4}, {offsetof(VideoConfig, windowed), 4},
    {offsetof(VideoConfig, modeDesc), 124},        {offsetof(VideoConfig, modeText), 40},
};

// Names are compared within their fields, so a file without terminating zeros
// cannot lead the comparison past them.
bool sameText(const char* a, const char* b) { return std::strncmp(a, b, KV_ENUM_TEXT_SIZE) == 0; }

constexpr const char* kVideoFile = "kvKIT.vid";
constexpr const char* kVideoTempFile = "kvKIT.vid.tmp";

}  // namespace

size_t kvBuildDriverDialogTemplate(uint8_t* buffer, size_t size) {
  std::memset(buffer, 0, size);
  TemplateWriter out(buffer, size);
  out.dword(0x90C80BC4u);  // popup, visible, caption, system menu, centred, modal frame, font, 3D
  out.dword(0);
  out.word(sizeof kDialogItems / sizeof kDialogItems[0]);
  out.word(0);
  out.word(0);
  out.word(179);
  out.word(84);
  out.word(0);  // no menu
  out.word(0);  // default class
  out.text("Select New Direct3D Driver");
  out.word(8);
  out.text("Arial");
  for (const DialogItem& item : kDialogItems) {
    out.alignTo4();
    out.dword(WS_CHILD | WS_VISIBLE | item.style);
    out.dword(0);
    out.word(static_cast<uint16_t>(item.x));
    out.word(static_cast<uint16_t>(item.y));
    out.word(static_cast<uint16_t>(item.width));
    out.word(static_cast<uint16_t>(item.height));
    out.word(item.id);
    out.text(item.className);
    out.text(item.text);
    out.word(0);  // no creation data
  }
  return out.overflowed() ? 0 : out.used();
}

HRESULT kvEnumerateDrivers(kvDeviceConfirmFn confirm) {
  HMODULE module = GetModuleHandleA("DDRAW.DLL");
  confirmDevice = confirm;
  refrastSeen = 0;
  if (module == nullptr) {
    ENUM_MSG("Can't load DDRAW.DLL!");
    return KVERR_ENUM_NO_DDRAW;
  }
  using EnumerateEx = HRESULT (*)(LPDDENUMCALLBACKEXA, LPVOID, DWORD);
  auto enumerateEx = reinterpret_cast<EnumerateEx>(
      reinterpret_cast<void*>(GetProcAddress(module, "DirectDrawEnumerateExA")));
  if (enumerateEx != nullptr)
    enumerateEx(driverCallbackEx, nullptr,
                DDENUM_ATTACHEDSECONDARYDEVICES | DDENUM_DETACHEDSECONDARYDEVICES |
                    DDENUM_NONDISPLAYDEVICES);
  else
    DirectDrawEnumerateA(driverCallback, nullptr);
  return kvSelectDefaultDriver(0);
}

void kvUpdateDesktopCompatibility() {
  IDirectDraw* directDraw = nullptr;
  if (FAILED(DirectDrawCreate(nullptr, &directDraw, nullptr))) return;
  DDSURFACEDESC desktop;
  std::memset(&desktop, 0, sizeof desktop);
  desktop.dwSize = sizeof desktop;
  directDraw->GetDisplayMode(&desktop);
  directDraw->Release();
  const uint32_t depth = desktop.ddpfPixelFormat.dwRGBBitCount;
  for (DriverInfo* driver = driverList; driver != nullptr; driver = driver->next) {
    for (DeviceInfo* device = driver->devices; device != nullptr; device = device->next) {
      device->desktopCompatible = 0;
      for (ModeInfo* mode = device->modes; mode != nullptr; mode = mode->next)
        if (mode->desc.ddpfPixelFormat.dwRGBBitCount == depth) device->desktopCompatible = 1;
    }
  }
}

HRESULT kvSelectDefaultDriver(uint32_t flags) {
  kvUpdateDesktopCompatibility();

  if (flags &
      (KVSEL_RGB_DEVICE | KVSEL_REF_DEVICE | KVSEL_PRIMARY_HARDWARE | KVSEL_SECONDARY_HARDWARE)) {
    for (DriverInfo* driver = driverList; driver != nullptr; driver = driver->next) {
      const bool firstDriver = driver == driverList;
      for (DeviceInfo* device = driver->devices; device != nullptr; device = device->next) {
        bool take;
        if (sameGuid(device->guid, kRGBDevice))
          take = (flags & KVSEL_RGB_DEVICE) != 0;
        else if (sameGuid(device->guid, kRefDevice))
          take = (flags & KVSEL_REF_DEVICE) != 0;
        else
          take = ((flags & KVSEL_PRIMARY_HARDWARE) && firstDriver) ||
                 ((flags & KVSEL_SECONDARY_HARDWARE) && !firstDriver);
        if (take) {
          choose(driver, device);
          return 0;
        }
      }
    }
    return KVERR_ENUM_NO_SUCH_DRIVER;
  }

  // Hardware windowed, software windowed, hardware full screen, software full screen.
  for (int pass = 0; pass < 4; ++pass) {
    const bool seekHardware = pass % 2 == 0;
    const bool seekWindowed = pass < 2;
    if (seekHardware && (flags & KVSEL_SOFTWARE_ONLY)) continue;
    if (seekWindowed && (flags & KVSEL_FULLSCREEN_ONLY)) continue;
    for (DriverInfo* driver = driverList; driver != nullptr; driver = driver->next) {
      if (seekWindowed && !canRenderWindowed(driver)) continue;
      for (DeviceInfo* device = driver->devices; device != nullptr; device = device->next) {
        if ((device->isHardware != 0) != seekHardware) continue;
        if (seekWindowed && !device->desktopCompatible) continue;
        device->windowed = seekWindowed ? 1 : 0;
        choose(driver, device);
        return 0;
      }
    }
  }
  if (!deviceSeen) return KVERR_ENUM_FAILED;
  return refrastSeen ? KVERR_ENUM_NO_COMPATIBLE : KVERR_ENUM_SUGGEST_REFRAST;
}

HRESULT kvGetSelectedDriver(DriverInfo** driver, DeviceInfo** device) {
  if (currentDriver == nullptr) return KVERR_ENUM_FAILED;
  if (driver != nullptr) *driver = currentDriver;
  if (device != nullptr) *device = currentDriver->currentDevice;
  return 0;
}

DriverInfo* kvGetDriverList() { return driverList; }

INT_PTR kvSelectDriverDialog(HWND window, int32_t windowed) {
  if (currentDriver == nullptr) return -1;
  kvUpdateDesktopCompatibility();
  if (currentDriver->currentDevice != nullptr) currentDriver->currentDevice->windowed = windowed;

  constexpr size_t kTemplateSize = 900;
  uint8_t* dialogTemplate = static_cast<uint8_t*>(std::calloc(1, kTemplateSize));
  if (dialogTemplate == nullptr) return -1;
  kvBuildDriverDialogTemplate(dialogTemplate, kTemplateSize);
  const HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
  const INT_PTR result = DialogBoxIndirectParamA(
      instance, reinterpret_cast<LPCDLGTEMPLATEA>(dialogTemplate), window, kvDriverDialogProc, 0);
  std::free(dialogTemplate);
  return result;
}

void kvFillDriverDialog(HWND dialog, DriverInfo* driver, DeviceInfo* device, ModeInfo* mode,
                        int32_t windowed) {
  if (driver == nullptr) driver = driverList;
  if (driver != nullptr && device == nullptr) device = driver->devices;
  boxMessage(dialog, kDriverBox, CB_RESETCONTENT, 0, 0);
  boxMessage(dialog, kDeviceBox, CB_RESETCONTENT, 0, 0);
  boxMessage(dialog, kModeBox, CB_RESETCONTENT, 0, 0);
  if (driver == nullptr) return;

  for (DriverInfo* each = driverList; each != nullptr; each = each->next)
    addItem(dialog, kDriverBox, each->description, each, each == driver);
  for (DeviceInfo* each = driver->devices; each != nullptr; each = each->next)
    addItem(dialog, kDeviceBox, each->name, each, each == device);
  if (device == nullptr) return;

  if (canRenderWindowed(driver) && driver->isPrimary && device->desktopCompatible)
    addItem(dialog, kModeBox, "Windowed mode", nullptr, windowed == 1);
  for (ModeInfo* each = device->modes; each != nullptr; each = each->next)
    addItem(dialog, kModeBox, each->text, each, windowed == 0 && each == mode);
}

INT_PTR CALLBACK kvDriverDialogProc(HWND dialog, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_INITDIALOG) {
    DeviceInfo* device = currentDriver != nullptr ? currentDriver->currentDevice : nullptr;
    oldChoice = {currentDriver, device, device != nullptr ? device->currentMode : nullptr,
                 device != nullptr ? device->windowed : 0};
    newChoice = oldChoice;
    kvFillDriverDialog(dialog, newChoice.driver, newChoice.device, newChoice.mode,
                       newChoice.windowed);
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;

  const int id = LOWORD(w);
  const int notification = HIWORD(w);
  if (id == IDOK) {
    if (sameChoice(newChoice, oldChoice)) {
      EndDialog(dialog, 2);
      return TRUE;
    }
    currentDriver = newChoice.driver;
    currentDriver->currentDevice = newChoice.device;
    if (newChoice.device != nullptr) {
      newChoice.device->currentMode = newChoice.mode;
      newChoice.device->windowed = newChoice.windowed;
    }
    EndDialog(dialog, 1);
    return TRUE;
  }
  if (id == IDCANCEL) {
    EndDialog(dialog, 2);
    return TRUE;
  }
  if (notification != CBN_SELENDOK || id < kDriverBox || id > kModeBox) return FALSE;

  void* data = nullptr;
  if (!selectedData(dialog, id, &data)) return TRUE;
  if (id == kDriverBox) {
    DriverInfo* driver = static_cast<DriverInfo*>(data);
    if (driver != nullptr && driver != newChoice.driver) {
      DeviceInfo* device = driver->currentDevice;
      newChoice = {driver, device, device != nullptr ? device->currentMode : nullptr,
                   device != nullptr ? device->windowed : 0};
    }
  } else if (id == kDeviceBox) {
    DeviceInfo* device = static_cast<DeviceInfo*>(data);
    if (device != nullptr && device != newChoice.device) {
      newChoice.device = device;
      newChoice.mode = device->currentMode;
      newChoice.windowed = device->windowed;
    }
  } else if (data != nullptr) {
    newChoice.mode = static_cast<ModeInfo*>(data);
    newChoice.windowed = 0;
  } else {
    newChoice.windowed = 1;  // the "Windowed mode" entry keeps the mode
  }
  kvFillDriverDialog(dialog, newChoice.driver, newChoice.device, newChoice.mode,
                     newChoice.windowed);
  return TRUE;
}

void kvSaveVideoConfig() {
  DriverInfo* driver = nullptr;
  DeviceInfo* device = nullptr;
  if (FAILED(kvGetSelectedDriver(&driver, &device)) || device == nullptr) return;

  VideoConfig config;
  std::memset(&config, 0, sizeof config);
  config.driverGuid = driver->guid;
  std::memcpy(config.driverDescription, driver->description, KV_ENUM_TEXT_SIZE);
  std::memcpy(config.driverName, driver->name, KV_ENUM_TEXT_SIZE);
  config.hwCaps = driver->hwCaps;
  config.helCaps = driver->helCaps;
  config.isPrimary = driver->isPrimary;
  config.deviceGuid = device->guid;
  std::memcpy(config.deviceName, device->name, KV_ENUM_TEXT_SIZE);
  config.deviceDesc = device->desc;
  config.isHardware = device->isHardware;
  config.desktopCompatible = device->desktopCompatible;
  config.windowed = device->windowed;
  if (device->currentMode != nullptr) {
    config.modeDesc = device->currentMode->desc;
    std::memcpy(config.modeText, device->currentMode->text, KV_ENUM_TEXT_SIZE);
  }

  // Written aside and renamed over the old file, so an interrupted write never
  // leaves half a file behind; a choice that cannot be kept is said aloud.
  FILE* file = kvFileOpen(kVideoTempFile, "wb");
  if (file == nullptr) {
    kvDebugPrint("kvSaveVideoConfig: cannot write kvKIT.vid, the device choice is not kept (%s)\n",
                 std::strerror(errno));
    return;
  }
  bool written = true;
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&config);
  for (const Field& field : kVideoFields)
    written = written && std::fwrite(bytes + field.offset, field.size, 1, file) == 1;
  // On the disk before the rename, so a power loss leaves the old file or the
  // new one, never an empty one.
  written = written && FlushFileBuffers(file);
  int error = errno;  // why a write or the flush failed
  if (std::fclose(file) != 0 && written) written = false, error = errno;
  if (written && std::rename(kVideoTempFile, kVideoFile) != 0) written = false, error = errno;
  if (!written) {
    kvDebugPrint("kvSaveVideoConfig: cannot write kvKIT.vid, the device choice is not kept (%s)\n",
                 std::strerror(error));
    std::remove(kVideoTempFile);
  }
}

void kvLoadVideoConfig() {
  FILE* file = kvFileOpen(kVideoFile, "rb");
  if (file == nullptr) return;
  VideoConfig saved;
  std::memset(&saved, 0, sizeof saved);
  uint8_t* bytes = reinterpret_cast<uint8_t*>(&saved);
  bool whole = true;
  for (const Field& field : kVideoFields)
    whole = whole && kvFileRead(bytes + field.offset, field.size, 1, file) == 1;
  kvFileClose(file);
  if (!whole) {
    kvDebugPrint("kvLoadVideoConfig: kvKIT.vid is too short, default choice kept\n");
    return;
  }

  for (DriverInfo* driver = driverList; driver != nullptr; driver = driver->next) {
    if (!sameGuid(driver->guid, saved.driverGuid) ||
        !sameText(driver->description, saved.driverDescription) ||
        !sameText(driver->name, saved.driverName) ||
        std::memcmp(&driver->hwCaps, &saved.hwCaps, sizeof(DDCAPS)) != 0 ||
        std::memcmp(&driver->helCaps, &saved.helCaps, sizeof(DDCAPS)) != 0)
      continue;
    for (DeviceInfo* device = driver->devices; device != nullptr; device = device->next) {
      if (!sameGuid(device->guid, saved.deviceGuid) || !sameText(device->name, saved.deviceName) ||
          std::memcmp(&device->desc, &saved.deviceDesc, sizeof(D3DDEVICEDESC)) != 0 ||
          device->isHardware != saved.isHardware ||
          device->desktopCompatible != saved.desktopCompatible)
        continue;
      for (ModeInfo* mode = device->modes; mode != nullptr; mode = mode->next) {
        if (std::memcmp(&mode->desc, &saved.modeDesc, sizeof(DDSURFACEDESC2)) != 0 ||
            !sameText(mode->text, saved.modeText))
          continue;
        choose(driver, device);
        device->currentMode = mode;
        driver->isPrimary = saved.isPrimary != 0 ? 1 : 0;
        device->windowed = saved.windowed != 0 ? 1 : 0;
        return;
      }
    }
  }
}

void kvFreeDrivers() {
  DriverInfo* driver = driverList;
  while (driver != nullptr) {
    DriverInfo* next = driver->next;
    freeDevices(driver->devices);
    std::free(driver);
    driver = next;
  }
  driverList = nullptr;
  currentDriver = nullptr;
  deviceSeen = 0;
  refrastSeen = 0;
}

void kvResetDriverState() {
  kvFreeDrivers();
  enumDirectDraw = nullptr;  // both are released before enumeration returns
  enumDirect3D = nullptr;
  confirmDevice = nullptr;
  oldChoice = newChoice = {};
}
