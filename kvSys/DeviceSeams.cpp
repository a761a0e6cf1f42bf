// SEAM (device layer): start-up and shutdown call these steps in their designed
// order. Until the device framework, the enumeration and the surfaces land in
// kvSys/d3dframe, kvSys/d3denum, kvSys/kvScreen and kvSys/kvSurface, they stand
// here with no device behind them. The device-layer work deletes this file.
#include "kvKIT.h"

HRESULT kvEnumerateDrivers(kvDeviceConfirmFn) { return 0; }
void kvLoadVideoConfig() {}
void kvSaveVideoConfig() {}
int32_t kvShowError(int32_t, int32_t) { return 0; }
int32_t kvScreenWidth = 0;
int32_t kvScreenHeight = 0;
int32_t kvFreeSurfaceGroup(int32_t group) { return group; }
HRESULT kvFwDestroyObjects(DeviceFramework*) { return 0; }
void kvFreeDrivers() {}
Surface* kvCreateSurface(ImageDesc*) { return nullptr; }
int32_t kvSetTexture(Surface*) { return 0; }
