// Start-up, shutdown and the application's settings block.
#include <cstring>

#include "kvKIT.h"
#include "kvSys/kvState.h"

char kvCaption[KV_CAPTION_SIZE];
DeviceFramework kvFramework;
static uint8_t exitGuard = 0;

void kvResetSystemState() {
  std::memset(kvCaption, 0, sizeof kvCaption);
  std::memset(&kvFramework, 0, sizeof kvFramework);
  exitGuard = 0;
}

// Accepts every device the enumeration offers.
static HRESULT acceptEveryDevice(DDCAPS*, D3DDEVICEDESC*) { return 0; }

void kvPrintBanner() {
  kvDebugPrint("*****************************************************\n");
  kvDebugPrint("*                                                   *\n");
  kvDebugPrint("*         Kvorn KIT Release 1.0 floating            *\n");
  kvDebugPrint("*                                                   *\n");
  kvDebugPrint("*****************************************************\n");
}

int32_t kvSystemInit() {
  kvPrintBanner();
  if (kvEnumerateDrivers(acceptEveryDevice) < 0) {
    kvDebugPrint("D3D Driver enumeration error\n");
    kvShowError(KVERR_ENUM_FAILED, KVMSG_EXIT);
    return 0;
  }
  kvLoadVideoConfig();
  std::snprintf(kvCaption, sizeof kvCaption, "kvKIT v1.0");
  if (!kvSetSystemMemory(4096)) return 0;
  const HINSTANCE instance = kvFramework.instance;
  std::memset(&kvFramework, 0, sizeof kvFramework);
  kvFramework.instance = instance;
  kvSetFrameRate(60);
  return 1;
}

void kvSystemExit() {
  if (exitGuard) return;
  for (int32_t group = 0; group < KV_SURFACE_GROUPS; ++group) kvFreeSurfaceGroup(group);
  kvSaveVideoConfig();
  kvFwDestroyObjects(&kvFramework);
  kvFreeDrivers();
  kvReleaseSystemMemory();
  exitGuard = 1;
  kvDebugPrint("kvKIT Exit\n");
}

int16_t kvSaveConfig(void* block, int32_t size) {
  FILE* file = kvFileOpen("kvKIT.dat", "wb");
  if (file == nullptr) {
    kvDebugPrint("kvSaveConfig Error: cannot kvKIT.dat file create.\n");
    return 0;
  }
  std::fwrite(block, static_cast<size_t>(size), 1, file);
  kvFileClose(file);
  return 1;
}

void kvLoadConfig(void* block, int32_t size) {
  FILE* file = kvFileOpen("kvKIT.dat", "rb");
  if (file == nullptr) {
    std::memset(block, 0, static_cast<size_t>(size));
    return;
  }
  // Read byte by byte as one item would: a shorter file leaves the rest as it was.
  kvFileRead(block, 1, static_cast<size_t>(size), file);
  kvFileClose(file);
}
