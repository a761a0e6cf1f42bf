// The hardware device's one program: the fixed function the kit uses, written
// out so that it computes what the reference rasterizer computes (texel
// decoding, the colour key, the stage-0 combine, blending on 565 targets,
// 565 packing and dither).
#pragma once

namespace kv::gl {

inline constexpr const char* kVertexShader = R"(#version 330 core
layout(location = 0) in vec4 position;  // screen x, y in pixels, depth 1/z, rhw
layout(location = 1) in uint diffuse;   // ARGB
layout(location = 2) in vec2 texcoord;
uniform vec2 targetSize;
uniform bool zeroToOneDepth;
// Everything runs linearly on screen, as on the software devices: colour,
// depth, u and v, or u/w, v/w and 1/w under perspective correction (divided
// per pixel). w stays 1, so GL's clipping never reweights anything.
noperspective out vec4 color;
noperspective out vec2 affineUv;
noperspective out vec3 perspectiveUvq;

void main() {
  // Row 0 of the surface is the framebuffer's row 0: no flip on the way back.
  vec2 ndc = position.xy / targetSize * 2.0 - 1.0;
  float z = zeroToOneDepth ? position.z : position.z * 2.0 - 1.0;
  gl_Position = vec4(ndc, z, 1.0);
  color = vec4(uvec4(diffuse >> 16, diffuse >> 8, diffuse, diffuse >> 24) & 255u);
  affineUv = texcoord;
  perspectiveUvq = vec3(texcoord * position.w, position.w);
}
)";

// Compiled once per variant, after the version line and these definitions:
// TEXEL_FORMAT (-1 untextured, 0 palette8, 1 ARGB1555, 2 ARGB4444, 3 RGB565),
// BILINEAR and TARGET_565 (0 or 1). What is fixed per variant costs nothing
// per pixel on a renderer that runs the shader on the CPU.
inline constexpr const char* kFragmentShaderVersion = "#version 330 core\n";
inline constexpr const char* kFragmentShader = R"(
noperspective in vec4 color;
noperspective in vec2 affineUv;
noperspective in vec3 perspectiveUvq;
out vec4 fragColor;

uniform usampler2D texels;  // raw texel values
uniform usampler2D palette; // 256 x 1 ARGB
uniform bool perspective;
uniform bool colorKeyEnable;
uniform uint colorKey;
uniform uint colorKeyMask;
uniform int colorOp;  // 0 modulate, 1 texture, 2 diffuse
uniform int alphaOp;
uniform bool dither;
// On a 565 target the blend runs here, against a copy of the target taken
// before the fan, so that it is dithered and truncated after the blend as the
// software devices do it (GL's blender would round instead).
uniform bool blendInShader;
uniform int srcBlend;  // 0 zero, 1 one, 2 source alpha, 3 its inverse
uniform int dstBlend;
uniform sampler2D destination;

const int bayer[16] = int[16](0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5);

uint expand5(uint c) { return (c << 3) | (c >> 2); }
uint expand6(uint c) { return (c << 2) | (c >> 4); }

// Channels as r, g, b, a in 0..255.
uvec4 decode(uint raw) {
#if TEXEL_FORMAT == 0
  uint p = texelFetch(palette, ivec2(int(raw & 255u), 0), 0).r;
  return uvec4((p >> 16) & 255u, (p >> 8) & 255u, p & 255u, p >> 24);
#elif TEXEL_FORMAT == 1
  return uvec4(expand5((raw >> 10) & 31u), expand5((raw >> 5) & 31u), expand5(raw & 31u),
               (raw & 0x8000u) != 0u ? 255u : 0u);
#elif TEXEL_FORMAT == 2
  return uvec4(((raw >> 8) & 15u) * 17u, ((raw >> 4) & 15u) * 17u, (raw & 15u) * 17u,
               ((raw >> 12) & 15u) * 17u);
#else
  return uvec4(expand5(raw >> 11), expand6((raw >> 5) & 63u), expand5(raw & 31u), 255u);
#endif
}

uint rawTexel(ivec2 p, ivec2 size) { return texelFetch(texels, p & (size - 1), 0).r; }

// round(x / 255) as the software devices take it.
uint div255(uint x) {
  x += 128u;
  return (x + (x >> 8)) >> 8;
}

uint combine(int op, uint texel, uint diffuse) {
  if (op == 0) return div255(texel * diffuse);
  return op == 1 ? texel : diffuse;
}

uint blendFactor(int f, uint alpha) {
  if (f == 0) return 0u;
  if (f == 1) return 255u;
  return f == 2 ? alpha : 255u - alpha;
}

void main() {
  uvec4 diffuse = uvec4(clamp(floor(color + 0.5), 0.0, 255.0));
  uvec4 result = diffuse;
#if TEXEL_FORMAT >= 0
  {
    ivec2 size = textureSize(texels, 0);
    vec2 uv = perspective ? perspectiveUvq.xy / perspectiveUvq.z : affineUv;
    vec2 s = uv * vec2(size);
    // The colour key looks at the texel that nearest filtering would take.
    uint nearest = rawTexel(ivec2(floor(s)), size);
    if (colorKeyEnable && (nearest & colorKeyMask) == (colorKey & colorKeyMask)) discard;
    uvec4 texel;
#if !BILINEAR
    texel = decode(nearest);
#else
    {
      vec2 f = s - 0.5;  // texel centres sit at half-texel positions
      vec2 low = floor(f);
      vec2 weight = f - low;
      ivec2 p = ivec2(low);
      vec4 t00 = vec4(decode(rawTexel(p, size))), t10 = vec4(decode(rawTexel(p + ivec2(1, 0), size)));
      vec4 t01 = vec4(decode(rawTexel(p + ivec2(0, 1), size))), t11 = vec4(decode(rawTexel(p + ivec2(1, 1), size)));
      vec4 mixed = mix(mix(t00, t10, weight.x), mix(t01, t11, weight.x), weight.y);
      texel = uvec4(clamp(floor(mixed + 0.5), 0.0, 255.0));
    }
#endif
    result = uvec4(combine(colorOp, texel.r, diffuse.r), combine(colorOp, texel.g, diffuse.g),
                   combine(colorOp, texel.b, diffuse.b), combine(alphaOp, texel.a, diffuse.a));
  }
#endif
#if TARGET_565
  {
    // Packed here as the software devices pack it, so that every pixel lands
    // on exactly their 565 level.
    uvec3 c = result.rgb;
    if (blendInShader) {
      uvec3 level = uvec3(round(texelFetch(destination, ivec2(gl_FragCoord.xy), 0).rgb *
                                vec3(31.0, 63.0, 31.0)));
      uvec3 d = uvec3(expand5(level.r), expand6(level.g), expand5(level.b));
      uint fs = blendFactor(srcBlend, result.a), fd = blendFactor(dstBlend, result.a);
      c = min(uvec3(div255(c.r * fs + d.r * fd), div255(c.g * fs + d.g * fd),
                    div255(c.b * fs + d.b * fd)), uvec3(255u));
    }
    if (dither) {
      uint t = uint(bayer[(int(gl_FragCoord.y) & 3) * 4 + (int(gl_FragCoord.x) & 3)]);
      c = min(c + uvec3(t >> 1, t >> 2, t >> 1), uvec3(255u));
    }
    result.rgb = uvec3(expand5(c.r >> 3), expand6(c.g >> 2), expand5(c.b >> 3));
  }
#endif
  fragColor = vec4(result) / 255.0;
}
)";

}  // namespace kv::gl
