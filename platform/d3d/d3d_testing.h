// Test hooks of the Direct3D stand-in: the list of devices it offers (tests
// may list devices with caps and formats of their choosing) and a
// recorder of what the devices are asked to draw, so tests can check what
// the kit submits without reading pixels.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "platform/d3d/d3d.h"
#include "platform/d3d/device_list.h"
#include "platform/raster/raster.h"

namespace kv::d3d::testing {

// Devices of the tests' choosing are entries like the products' own.
using DeviceEntry = d3d::DeviceEntry;

// Formats for test devices' lists: the four texture formats of the software
// devices and a depth format of the given bits.
DDPIXELFORMAT palette8Format();
DDPIXELFORMAT argb1555Format();
DDPIXELFORMAT argb4444Format();
DDPIXELFORMAT rgb565Format();
DDPIXELFORMAT depthFormat(uint32_t bits);

// The standard devices: "RGB Emulation" and "Reference Rasterizer".
DeviceEntry rgbDevice();
DeviceEntry referenceDevice();

// Replaces the listed devices (in this order) until resetDevices(), which
// lists the registered products' devices again.
void setDevices(const std::vector<DeviceEntry>& devices);
void resetDevices();

// The 28-byte transformed, lit vertex (0x144).
using Vertex = raster::Vertex;

// One DrawPrimitive call as a device received it, with the device's states
// at that moment and the rasterizer state they were resolved into.
struct RecordedDraw {
  D3DPRIMITIVETYPE type;
  DWORD vertexFormat;
  DWORD flags;
  std::vector<Vertex> vertices;
  std::array<DWORD, D3DRENDERSTATE_COUNT> renderStates;  // indexed by D3DRENDERSTATE_*
  std::array<DWORD, D3DTSS_COUNT> stageStates;           // stage 0, indexed by D3DTSS_*
  IDirect3DTexture2* texture;  // bound to stage 0 (not referenced: compare only)
  raster::State state;         // state.texture points nowhere after the call; see textured
  bool textured;
  HRESULT result;
};

// While recording, every DrawPrimitive of every device is appended.
void startRecording();
void stopRecording();
const std::vector<RecordedDraw>& recordedDraws();
void clearRecording();

}  // namespace kv::d3d::testing
