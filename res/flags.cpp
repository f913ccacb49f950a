#include "res/flags.h"

#include <cstddef>
#include <string_view>

namespace ovix {
namespace {

using ui::MakeRgb;
using ui::Rgb;

constexpr int kFlagWidth = 16;
constexpr int kFlagHeight = 11;

// One letter per colour, so the drawings below read as pictures.
struct PaletteEntry {
  char letter;
  Rgb colour;
};

constexpr PaletteEntry kPalette[] = {
    {'W', MakeRgb(0xFF, 0xFF, 0xFF)},  // white
    {'K', MakeRgb(0x1A, 0x1A, 0x1A)},  // black
    {'R', MakeRgb(0xD0, 0x20, 0x2E)},  // red
    {'r', MakeRgb(0xA8, 0x16, 0x1E)},  // deep red: Spanish red, the arms' outline
    {'N', MakeRgb(0x1B, 0x2D, 0x6E)},  // navy: the US canton, the UK field, the Nordic cross
    {'B', MakeRgb(0x0A, 0x52, 0xB0)},  // blue: the tricolours
    {'Y', MakeRgb(0xFF, 0xCC, 0x00)},  // yellow and gold
    {'G', MakeRgb(0x3A, 0x7D, 0x48)},  // green
};

using Drawing = std::array<std::string_view, kFlagHeight>;

// Image i belongs to language ordinal i.
constexpr std::array<Drawing, 10> kDrawings = {{
    // English: the United States on the hoist half, the United Kingdom on the fly half.
    {"NNNNNRRRWNNRRNNW", "NWNWNWWWWWNRRNWW", "NNWNNRRRNWWRRWWN", "NWNWNWWWNNWRRWNN",
     "NNNNNRRRWWWRRWWW", "WWWWWWWWRRRRRRRR", "RRRRRRRRWWWRRWWW", "WWWWWWWWNNWRRWNN",
     "RRRRRRRRNWWRRWWN", "WWWWWWWWWWNRRNWW", "RRRRRRRRWNNRRNNW"},
    // France
    {"BBBBBWWWWWWRRRRR", "BBBBBWWWWWWRRRRR", "BBBBBWWWWWWRRRRR", "BBBBBWWWWWWRRRRR",
     "BBBBBWWWWWWRRRRR", "BBBBBWWWWWWRRRRR", "BBBBBWWWWWWRRRRR", "BBBBBWWWWWWRRRRR",
     "BBBBBWWWWWWRRRRR", "BBBBBWWWWWWRRRRR", "BBBBBWWWWWWRRRRR"},
    // Germany
    {"KKKKKKKKKKKKKKKK", "KKKKKKKKKKKKKKKK", "KKKKKKKKKKKKKKKK", "KKKKKKKKKKKKKKKK",
     "RRRRRRRRRRRRRRRR", "RRRRRRRRRRRRRRRR", "RRRRRRRRRRRRRRRR", "YYYYYYYYYYYYYYYY",
     "YYYYYYYYYYYYYYYY", "YYYYYYYYYYYYYYYY", "YYYYYYYYYYYYYYYY"},
    // Poland
    {"WWWWWWWWWWWWWWWW", "WWWWWWWWWWWWWWWW", "WWWWWWWWWWWWWWWW", "WWWWWWWWWWWWWWWW",
     "WWWWWWWWWWWWWWWW", "RRRRRRRRRRRRRRRR", "RRRRRRRRRRRRRRRR", "RRRRRRRRRRRRRRRR",
     "RRRRRRRRRRRRRRRR", "RRRRRRRRRRRRRRRR", "RRRRRRRRRRRRRRRR"},
    // Russia
    {"WWWWWWWWWWWWWWWW", "WWWWWWWWWWWWWWWW", "WWWWWWWWWWWWWWWW", "WWWWWWWWWWWWWWWW",
     "BBBBBBBBBBBBBBBB", "BBBBBBBBBBBBBBBB", "BBBBBBBBBBBBBBBB", "RRRRRRRRRRRRRRRR",
     "RRRRRRRRRRRRRRRR", "RRRRRRRRRRRRRRRR", "RRRRRRRRRRRRRRRR"},
    // Ukraine
    {"BBBBBBBBBBBBBBBB", "BBBBBBBBBBBBBBBB", "BBBBBBBBBBBBBBBB", "BBBBBBBBBBBBBBBB",
     "BBBBBBBBBBBBBBBB", "YYYYYYYYYYYYYYYY", "YYYYYYYYYYYYYYYY", "YYYYYYYYYYYYYYYY",
     "YYYYYYYYYYYYYYYY", "YYYYYYYYYYYYYYYY", "YYYYYYYYYYYYYYYY"},
    // Hungary
    {"RRRRRRRRRRRRRRRR", "RRRRRRRRRRRRRRRR", "RRRRRRRRRRRRRRRR", "RRRRRRRRRRRRRRRR",
     "WWWWWWWWWWWWWWWW", "WWWWWWWWWWWWWWWW", "WWWWWWWWWWWWWWWW", "GGGGGGGGGGGGGGGG",
     "GGGGGGGGGGGGGGGG", "GGGGGGGGGGGGGGGG", "GGGGGGGGGGGGGGGG"},
    // Finland
    {"WWWWNNNWWWWWWWWW", "WWWWNNNWWWWWWWWW", "WWWWNNNWWWWWWWWW", "WWWWNNNWWWWWWWWW",
     "NNNNNNNNNNNNNNNN", "NNNNNNNNNNNNNNNN", "NNNNNNNNNNNNNNNN", "WWWWNNNWWWWWWWWW",
     "WWWWNNNWWWWWWWWW", "WWWWNNNWWWWWWWWW", "WWWWNNNWWWWWWWWW"},
    // Netherlands
    {"RRRRRRRRRRRRRRRR", "RRRRRRRRRRRRRRRR", "RRRRRRRRRRRRRRRR", "RRRRRRRRRRRRRRRR",
     "WWWWWWWWWWWWWWWW", "WWWWWWWWWWWWWWWW", "WWWWWWWWWWWWWWWW", "BBBBBBBBBBBBBBBB",
     "BBBBBBBBBBBBBBBB", "BBBBBBBBBBBBBBBB", "BBBBBBBBBBBBBBBB"},
    // Spain: the yellow band is twice as tall as each red one, the arms towards the hoist.
    {"rrrrrrrrrrrrrrrr", "rrrrrrrrrrrrrrrr", "rrrrrrrrrrrrrrrr", "YYYYYYYYYYYYYYYY",
     "YYYrrrYYYYYYYYYY", "YYYrYrYYYYYYYYYY", "YYYYrYYYYYYYYYYY", "YYYYYYYYYYYYYYYY",
     "rrrrrrrrrrrrrrrr", "rrrrrrrrrrrrrrrr", "rrrrrrrrrrrrrrrr"},
}};

constexpr bool InPalette(char letter) {
  for (const PaletteEntry& entry : kPalette) {
    if (entry.letter == letter) return true;
  }
  return false;
}

// A mistyped drawing is caught by the compiler rather than shown as a torn flag.
constexpr bool DrawingsAreWellFormed() {
  for (const Drawing& drawing : kDrawings) {
    for (std::string_view row : drawing) {
      if (row.size() != static_cast<std::size_t>(kFlagWidth)) return false;
      for (char letter : row) {
        if (!InPalette(letter)) return false;
      }
    }
  }
  return true;
}
static_assert(DrawingsAreWellFormed(), "every flag row must be 16 palette letters");

Rgb Colour(char letter) {
  for (const PaletteEntry& entry : kPalette) {
    if (entry.letter == letter) return entry.colour;
  }
  return 0;  // unreachable: the drawings were checked at compile time
}

// The picker draws flags on white, where a white edge would vanish and leave the flag
// looking cut off; a light grey rim on those pixels keeps the outline.
constexpr Rgb kRim = MakeRgb(0xD8, 0xD8, 0xD8);

bool OnEdge(int x, int y) {
  return x == 0 || y == 0 || x == kFlagWidth - 1 || y == kFlagHeight - 1;
}

ui::Bitmap Paint(const Drawing& drawing) {
  const Rgb white = Colour('W');
  ui::Bitmap image(kFlagWidth, kFlagHeight);
  for (int y = 0; y < kFlagHeight; ++y) {
    const std::string_view row = drawing[static_cast<std::size_t>(y)];
    for (int x = 0; x < kFlagWidth; ++x) {
      const Rgb colour = Colour(row[static_cast<std::size_t>(x)]);
      image.Set(x, y, colour == white && OnEdge(x, y) ? kRim : colour);
    }
  }
  return image;
}

std::array<ui::Bitmap, 10> PaintAll() {
  std::array<ui::Bitmap, 10> images;
  for (std::size_t i = 0; i < kDrawings.size(); ++i) images[i] = Paint(kDrawings[i]);
  return images;
}

}  // namespace

const std::array<ui::Bitmap, 10>& FlagImages() {
  static const std::array<ui::Bitmap, 10> images = PaintAll();
  return images;
}

}  // namespace ovix
