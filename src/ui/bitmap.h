#pragma once
// A plain 24-bit image in memory: what the image list holds and the canvas draws.

#include <cstdint>
#include <vector>

namespace ovix::ui {

// 0x00RRGGBB.
using Rgb = std::uint32_t;

constexpr Rgb MakeRgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return (Rgb{r} << 16) | (Rgb{g} << 8) | Rgb{b};
}

struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<Rgb> pixels;  // row-major, top row first

  Bitmap() = default;
  Bitmap(int w, int h, Rgb fill = 0)
      : width(w), height(h), pixels(static_cast<std::size_t>(w * h), fill) {}

  Rgb At(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
  void Set(int x, int y, Rgb c) { pixels[static_cast<std::size_t>(y * width + x)] = c; }
  bool operator==(const Bitmap&) const = default;
};

}  // namespace ovix::ui
