#include "platform/gl/hardware_device.h"

#include "platform/gl/backend.h"
#include "platform/gl/context.h"

namespace kv::gl {

const GUID kHardwareDeviceGuid = {
    0x6B7653A1, 0x0C4E, 0x4F5B, {0x9E, 0x31, 0x47, 0x4C, 0x33, 0x2E, 0x33, 0x00}};

namespace {
constexpr const char* kProductKey = "opengl";
}

bool listed(const ListingRule& rule, bool contextStarted, const std::string& renderer) {
  if (!contextStarted) return false;
  return rule.asked || (rule.acceleratorsUnasked && !isSoftwareRenderer(renderer));
}

d3d::DeviceEntry hardwareDevice(const std::string& renderer) {
  d3d::DeviceEntry entry;
  entry.guid = kHardwareDeviceGuid;
  entry.name = "Direct3D HAL";
  entry.description = "OpenGL 3.3 core: " + renderer;
  entry.hardware = true;
  // What the software devices do, drawn by the graphics card.
  entry.desc = d3d::softwareDescription();
  entry.desc.dwDevCaps = D3DDEVCAPS_FLOATTLVERTEX | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY |
                         D3DDEVCAPS_TEXTUREVIDEOMEMORY | D3DDEVCAPS_DRAWPRIMTLVERTEX |
                         D3DDEVCAPS_HWRASTERIZATION;
  // Palettized textures are looked up in the shader; the 16-bit ones are
  // decoded there from their raw values, so the colour key stays exact.
  entry.textureFormats = {ddraw::paletteFormat8(), ddraw::argb1555Format(), ddraw::argb4444Format(),
                          ddraw::rgb565Format()};
  entry.zBufferFormats = {ddraw::depthFormat(32)};
  entry.makeBackend = []() -> std::unique_ptr<d3d::Backend> {
    Context* context = sharedContext();
    return context != nullptr ? makeBackend(*context) : nullptr;
  };
  return entry;
}

void registerHardwareDevice(const ListingRule& rule) {
  // A headless host never lists it unasked: GL is not even started.
  if (!rule.asked && !rule.acceleratorsUnasked) return unregisterHardwareDevice();
  d3d::registerProduct(
      kProductKey,
      [rule]() -> std::optional<d3d::DeviceEntry> {
        Context* context = sharedContext();
        const std::string renderer = context != nullptr ? context->renderer() : "";
        if (!listed(rule, context != nullptr, renderer)) return std::nullopt;
        return hardwareDevice(renderer);
      },
      d3d::Placement::BeforeOthers);
}

void unregisterHardwareDevice() { d3d::unregisterProduct(kProductKey); }

}  // namespace kv::gl
