// The pixel formats the rasteriser reads and writes (RGB of 16 or 32 bits with channels of at most
// eight bits: 5:6:5, 5:5:5, 1:5:5:5, 4:4:4:4, X8:8:8:8, 8:8:8:8 and their kin) and the one colour it
// computes in, 0xAARRGGBB with eight bits a channel. Unpacking replicates a channel's bits down to
// eight (5-bit c becomes c << 3 | c >> 2, 4-bit c becomes c * 17, 1-bit 0 or 255; a format without
// alpha reads 255); packing truncates (no dithering, as DITHERENABLE is off).
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/ddraw/ddraw.h"

namespace plat::d3d {

// The named layouts, for the specialised row loops; kOther goes through the channel codes.
enum class PixelKind : uint8_t { k565, k555, k1555, k4444, kX888, k8888, kOther };

struct ChannelCode {
  uint8_t shift = 0;
  uint8_t bits = 0;  // 0: the channel is absent
};

struct PixelCode {
  int bytes = 0;  // 2 or 4
  PixelKind kind = PixelKind::kOther;
  ChannelCode a, r, g, b;
  uint32_t usedMask = 0;  // every bit a channel uses
};

// False for layouts the rasteriser cannot use (paletted, 24-bit, Z, FourCC, masks wider than 8 bits
// or not contiguous).
bool MakePixelCode(const DDPIXELFORMAT& format, PixelCode* out);

// An n-bit value (1 <= n <= 8) widened to eight bits by repeating its bits.
inline uint32_t Replicate(uint32_t v, unsigned n) {
  uint32_t out = v << (8 - n);
  for (int k = 8 - static_cast<int>(n); k > 0; k -= static_cast<int>(n)) {
    out |= k >= static_cast<int>(n) ? v << (k - static_cast<int>(n)) : v >> (static_cast<int>(n) - k);
  }
  return out & 0xFF;
}

inline uint32_t UnpackChannel(uint32_t raw, ChannelCode c, uint32_t absent) {
  if (c.bits == 0) return absent;
  return Replicate((raw >> c.shift) & ((1u << c.bits) - 1), c.bits);
}

inline uint32_t PackChannel(uint32_t c8, ChannelCode c) {
  if (c.bits == 0) return 0;
  return (c8 >> (8 - c.bits)) << c.shift;
}

// Raw pixel of a named layout to 0xAARRGGBB.
template <PixelKind kKind>
inline uint32_t UnpackKind(uint32_t raw) {
  if constexpr (kKind == PixelKind::k565) {
    const uint32_t r = (raw >> 11) & 31, g = (raw >> 5) & 63, b = raw & 31;
    return 0xFF000000u | (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
  } else if constexpr (kKind == PixelKind::k555 || kKind == PixelKind::k1555) {
    const uint32_t r = (raw >> 10) & 31, g = (raw >> 5) & 31, b = raw & 31;
    const uint32_t a = kKind == PixelKind::k555 ? 0xFF : ((raw >> 15) & 1) * 0xFF;
    return a << 24 | (r << 3 | r >> 2) << 16 | (g << 3 | g >> 2) << 8 | (b << 3 | b >> 2);
  } else if constexpr (kKind == PixelKind::k4444) {
    return ((raw >> 12) & 15) * 17 << 24 | ((raw >> 8) & 15) * 17 << 16 | ((raw >> 4) & 15) * 17 << 8 | (raw & 15) * 17;
  } else if constexpr (kKind == PixelKind::kX888) {
    return 0xFF000000u | (raw & 0xFFFFFF);
  } else {
    return raw;
  }
}

// Raw pixel to 0xAARRGGBB, and back.
inline uint32_t Unpack(const PixelCode& f, uint32_t raw) {
  switch (f.kind) {
    case PixelKind::k565: return UnpackKind<PixelKind::k565>(raw);
    case PixelKind::k555: return UnpackKind<PixelKind::k555>(raw);
    case PixelKind::k1555: return UnpackKind<PixelKind::k1555>(raw);
    case PixelKind::k4444: return UnpackKind<PixelKind::k4444>(raw);
    case PixelKind::kX888: return UnpackKind<PixelKind::kX888>(raw);
    case PixelKind::k8888: return raw;
    default:
      return UnpackChannel(raw, f.a, 0xFF) << 24 | UnpackChannel(raw, f.r, 0) << 16 | UnpackChannel(raw, f.g, 0) << 8 |
             UnpackChannel(raw, f.b, 0);
  }
}

inline uint32_t Pack(const PixelCode& f, uint32_t argb) {
  switch (f.kind) {
    case PixelKind::k565: return (argb >> 8 & 0xF800) | (argb >> 5 & 0x07E0) | (argb >> 3 & 0x001F);
    case PixelKind::k555: return (argb >> 9 & 0x7C00) | (argb >> 6 & 0x03E0) | (argb >> 3 & 0x001F);
    case PixelKind::k1555: return (argb >> 16 & 0x8000) | (argb >> 9 & 0x7C00) | (argb >> 6 & 0x03E0) | (argb >> 3 & 0x001F);
    case PixelKind::k4444: return (argb >> 16 & 0xF000) | (argb >> 12 & 0x0F00) | (argb >> 8 & 0x00F0) | (argb >> 4 & 0x000F);
    case PixelKind::kX888: return argb & 0xFFFFFF;
    case PixelKind::k8888: return argb;
    default:
      return PackChannel(argb >> 24, f.a) | PackChannel(argb >> 16 & 0xFF, f.r) | PackChannel(argb >> 8 & 0xFF, f.g) |
             PackChannel(argb & 0xFF, f.b);
  }
}

inline uint32_t LoadPixel(const uint8_t* p, int bytes) {
  if (bytes == 2) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
  }
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

inline void StorePixel(uint8_t* p, int bytes, uint32_t v) {
  if (bytes == 2) {
    const auto w = static_cast<uint16_t>(v);
    std::memcpy(p, &w, 2);
  } else {
    std::memcpy(p, &v, 4);
  }
}

// A row of `n` raw pixels unpacked into 0xAARRGGBB.
void UnpackRow(const PixelCode& f, const uint8_t* src, uint32_t* dst, int n);

}  // namespace plat::d3d
