// The devices the Direct3D stand-in lists, as a registry of products. Each
// product offers at most one device: its description, caps, formats and a
// factory for its back end, or nothing when its back end cannot run here.
// Products are asked once, when the list is first needed after a change.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/d3d/backend.h"
#include "platform/d3d/d3d.h"

namespace kv::d3d {

// One device as IDirect3D3::EnumDevices lists it.
struct DeviceEntry {
  GUID guid{};
  std::string description;
  std::string name;
  // A hardware device has a hardware description with non-zero flags (its
  // software description is then empty); a software device the other way round.
  bool hardware = false;
  D3DDEVICEDESC desc{};  // the description of its kind
  std::vector<DDPIXELFORMAT> textureFormats;
  std::vector<DDPIXELFORMAT> zBufferFormats;
  // Makes the back end of a new device; null when it cannot start now.
  std::function<std::unique_ptr<Backend>()> makeBackend;
};

using DeviceProduct = std::function<std::optional<DeviceEntry>()>;

enum class Placement { BeforeOthers, AfterOthers };

// Adds a product under a key; adding a key again replaces its product. The
// software devices are registered from the start.
void registerProduct(const std::string& key, DeviceProduct product,
                     Placement placement = Placement::AfterOthers);
void unregisterProduct(const std::string& key);

// The devices listed now, in product order.
const std::vector<DeviceEntry>& devices();
const DeviceEntry* findDevice(const GUID& guid);

// A device made for the program: the device's name, its render target's size
// and depth, and whether the program has the display to itself (full screen).
struct DeviceMade {
  std::string name;
  uint32_t width, height, bitCount;
  bool fullScreen;
};
// Told of every device made, for a line to the user when F3 changed it; null
// (the default) tells no one.
void setDeviceObserver(std::function<void(const DeviceMade&)> observer);

// What both software rasterizers offer; other products start from it.
D3DDEVICEDESC softwareDescription();

}  // namespace kv::d3d
