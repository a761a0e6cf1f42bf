// The framework's set-up stages, each usable on its own by tests; kvFwInitialize
// runs them in this order and stops at the first failure.
#pragma once

#include "kvKIT.h"

HRESULT kvFwCreateDirectDraw(DeviceFramework* framework, const GUID* driver, uint32_t flags);
HRESULT kvFwCreateDirect3D(DeviceFramework* framework, const GUID* device, uint32_t flags);
HRESULT kvFwCreateBuffers(DeviceFramework* framework, const DDSURFACEDESC2* mode, uint32_t flags);
HRESULT kvFwCreateZBuffer(DeviceFramework* framework);
HRESULT kvFwCreate3DDevice(DeviceFramework* framework, const GUID* device);
HRESULT kvFwCreateViewport(DeviceFramework* framework);
