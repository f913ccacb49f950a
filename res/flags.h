#pragma once
// The flags of the language picker, one per interface language.

#include <array>

#include "ui/bitmap.h"

namespace ovix {

// Indexed by language ordinal: English (US|UK), French, German, Polish, Russian, Ukrainian,
// Hungarian, Finnish, Dutch, Spanish. Each is 16 wide and 11 high, fully opaque.
// Built on first use; the reference stays valid for the whole run.
const std::array<ui::Bitmap, 10>& FlagImages();

}  // namespace ovix
