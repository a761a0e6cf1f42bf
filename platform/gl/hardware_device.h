// The hardware device ("Direct3D HAL") as a product of the Direct3D stand-in's
// device list, and the rule that decides whether it is listed.
#pragma once

#include "platform/d3d/device_list.h"

namespace kv::gl {

extern const GUID kHardwareDeviceGuid;

struct ListingRule {
  // The user or a test asked for the GL device (--gl, KV_GL=1): listed even
  // on a renderer that draws on the CPU.
  bool asked = false;
  // A host with a window lists a real accelerator unasked; a headless host
  // never does, so that runs on machines with and without a graphics card
  // draw the same frames.
  bool acceleratorsUnasked = false;
};

// Whether the device is listed under `rule` on a context with this renderer.
bool listed(const ListingRule& rule, bool contextStarted, const std::string& renderer);

// Registers the product (before the software devices). It starts GL only
// when the list is first needed; when GL cannot start nothing is listed and
// nothing fails.
void registerHardwareDevice(const ListingRule& rule);
void unregisterHardwareDevice();

// The device's entry on a started context (for tests of its formats).
d3d::DeviceEntry hardwareDevice(const std::string& renderer);

}  // namespace kv::gl
