#include "res/flags.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

namespace ovix {
namespace {

// Colour classes rather than exact values, so the art can be retouched without
// touching the tests.
enum class Hue { kWhite, kBlack, kRed, kBlue, kYellow, kGreen, kOther };

Hue Classify(ui::Rgb c) {
  const int r = static_cast<int>((c >> 16) & 0xFF);
  const int g = static_cast<int>((c >> 8) & 0xFF);
  const int b = static_cast<int>(c & 0xFF);
  if (r >= 200 && g >= 200 && b >= 200) return Hue::kWhite;
  if (r <= 70 && g <= 70 && b <= 70) return Hue::kBlack;
  if (r >= 140 && g < 90 && b < 90) return Hue::kRed;
  if (b >= 90 && b > r + 50 && b > g + 30) return Hue::kBlue;
  if (r >= 200 && g >= 150 && b < 100) return Hue::kYellow;
  if (g >= 90 && g > r + 20 && g > b + 10) return Hue::kGreen;
  return Hue::kOther;
}

const char* Name(Hue hue) {
  constexpr const char* kNames[] = {"white", "black", "red", "blue", "yellow", "green", "other"};
  return kNames[static_cast<int>(hue)];
}

// The most frequent class among the pixels of the rectangle [x0,x1) x [y0,y1).
Hue Majority(const ui::Bitmap& image, int x0, int x1, int y0, int y1) {
  int counts[7] = {};
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) ++counts[static_cast<int>(Classify(image.At(x, y)))];
  }
  int best = 0;
  for (int i = 1; i < 7; ++i) {
    if (counts[i] > counts[best]) best = i;
  }
  return static_cast<Hue>(best);
}

int Count(const ui::Bitmap& image, Hue hue, int x0, int x1, int y0, int y1) {
  int n = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) n += Classify(image.At(x, y)) == hue ? 1 : 0;
  }
  return n;
}

struct Band {
  Hue hue;
  int size;
};

// Runs of rows (or of columns) that share a majority class: a flag read as stripes.
std::vector<Band> Bands(const ui::Bitmap& image, bool rows) {
  std::vector<Band> bands;
  for (int i = 0; i < (rows ? image.height : image.width); ++i) {
    const Hue hue = rows ? Majority(image, 0, image.width, i, i + 1)
                         : Majority(image, i, i + 1, 0, image.height);
    if (!bands.empty() && bands.back().hue == hue) {
      ++bands.back().size;
    } else {
      bands.push_back({hue, 1});
    }
  }
  return bands;
}

std::vector<Band> RowBands(const ui::Bitmap& image) { return Bands(image, true); }
std::vector<Band> ColumnBands(const ui::Bitmap& image) { return Bands(image, false); }

std::string Describe(const std::vector<Band>& bands) {
  std::string text;
  for (const Band& band : bands) {
    text += std::string(Name(band.hue)) + "x" + std::to_string(band.size) + " ";
  }
  return text;
}

void ExpectBands(const std::vector<Band>& bands, const std::vector<Hue>& hues, int min_size,
                 int max_size) {
  ASSERT_EQ(bands.size(), hues.size()) << Describe(bands);
  for (std::size_t i = 0; i < hues.size(); ++i) {
    EXPECT_EQ(bands[i].hue, hues[i]) << "band " << i << " of " << Describe(bands);
    EXPECT_GE(bands[i].size, min_size) << Describe(bands);
    EXPECT_LE(bands[i].size, max_size) << Describe(bands);
  }
}

enum Flag {
  kEnglish,
  kFrench,
  kGerman,
  kPolish,
  kRussian,
  kUkrainian,
  kHungarian,
  kFinnish,
  kDutch,
  kSpanish
};

const ui::Bitmap& FlagOf(Flag flag) { return FlagImages()[static_cast<std::size_t>(flag)]; }

TEST(FlagsTest, TenOpaqueImagesOfSixteenByEleven) {
  for (const ui::Bitmap& image : FlagImages()) {
    EXPECT_EQ(image.width, 16);
    EXPECT_EQ(image.height, 11);
    ASSERT_EQ(image.pixels.size(), 16u * 11u);
    // Plain 0x00RRGGBB: nothing in the top byte that an image list could take for alpha.
    for (ui::Rgb pixel : image.pixels) EXPECT_EQ(pixel >> 24, 0u);
  }
}

TEST(FlagsTest, NoTwoFlagsAreAlike) {
  const auto& images = FlagImages();
  for (std::size_t i = 0; i < images.size(); ++i) {
    for (std::size_t j = i + 1; j < images.size(); ++j) {
      EXPECT_NE(images[i], images[j]) << "flags " << i << " and " << j;
    }
  }
}

TEST(FlagsTest, HorizontalStripesInTheirOrder) {
  struct Case {
    Flag flag;
    std::vector<Hue> hues;
  };
  const Case cases[] = {
      {kGerman, {Hue::kBlack, Hue::kRed, Hue::kYellow}},
      {kRussian, {Hue::kWhite, Hue::kBlue, Hue::kRed}},
      {kHungarian, {Hue::kRed, Hue::kWhite, Hue::kGreen}},
      {kDutch, {Hue::kRed, Hue::kWhite, Hue::kBlue}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("flag " + std::to_string(c.flag));
    ExpectBands(RowBands(FlagOf(c.flag)), c.hues, 3, 5);
  }
}

TEST(FlagsTest, TwoBandFlagsSplitNearTheMiddle) {
  {
    SCOPED_TRACE("Poland");
    ExpectBands(RowBands(FlagOf(kPolish)), {Hue::kWhite, Hue::kRed}, 4, 7);
  }
  SCOPED_TRACE("Ukraine");
  ExpectBands(RowBands(FlagOf(kUkrainian)), {Hue::kBlue, Hue::kYellow}, 4, 7);
}

TEST(FlagsTest, FrenchStripesAreVertical) {
  ExpectBands(ColumnBands(FlagOf(kFrench)), {Hue::kBlue, Hue::kWhite, Hue::kRed}, 4, 7);
  EXPECT_EQ(RowBands(FlagOf(kFrench)).size(), 1u);
}

TEST(FlagsTest, SpanishYellowBandIsTheTallest) {
  const std::vector<Band> bands = RowBands(FlagOf(kSpanish));
  ExpectBands(bands, {Hue::kRed, Hue::kYellow, Hue::kRed}, 2, 7);
  ASSERT_EQ(bands.size(), 3u);
  EXPECT_GT(bands[1].size, bands[0].size);
  EXPECT_GT(bands[1].size, bands[2].size);
}

TEST(FlagsTest, FinnishCrossSitsTowardsTheHoist) {
  const ui::Bitmap& image = FlagOf(kFinnish);
  const std::vector<Band> columns = ColumnBands(image);
  ExpectBands(columns, {Hue::kWhite, Hue::kBlue, Hue::kWhite}, 2, 10);
  ASSERT_EQ(columns.size(), 3u);
  // Offset, not merely off by a pixel: the hoist side is at most two thirds of the fly side.
  EXPECT_LE(3 * columns[0].size, 2 * columns[2].size) << Describe(columns);
  ExpectBands(RowBands(image), {Hue::kWhite, Hue::kBlue, Hue::kWhite}, 2, 5);
  // The bars cross: the white field is cut into four, one in each corner.
  EXPECT_EQ(Classify(image.At(0, 0)), Hue::kWhite);
  EXPECT_EQ(Classify(image.At(15, 0)), Hue::kWhite);
  EXPECT_EQ(Classify(image.At(0, 10)), Hue::kWhite);
  EXPECT_EQ(Classify(image.At(15, 10)), Hue::kWhite);
  EXPECT_EQ(Classify(image.At(columns[0].size, 0)), Hue::kBlue);
  EXPECT_EQ(Classify(image.At(0, 5)), Hue::kBlue);
}

TEST(FlagsTest, EnglishHasTheStarsAndStripesAtTheHoistAndTheUnionAtTheFly) {
  const ui::Bitmap& image = FlagOf(kEnglish);
  // Stars and stripes: a blue canton with white stars in the top-left corner...
  EXPECT_EQ(Majority(image, 0, 4, 0, 4), Hue::kBlue);
  EXPECT_GT(Count(image, Hue::kWhite, 0, 4, 0, 4), 0);
  // ...and below it rows that alternate between red and white.
  int red_rows = 0;
  int white_rows = 0;
  Hue previous = Hue::kOther;
  for (int y = 5; y < 11; ++y) {
    const Hue hue = Majority(image, 0, 8, y, y + 1);
    EXPECT_TRUE(hue == Hue::kRed || hue == Hue::kWhite) << "row " << y << " is " << Name(hue);
    EXPECT_NE(hue, previous) << "row " << y << " continues the stripe above it";
    red_rows += hue == Hue::kRed ? 1 : 0;
    white_rows += hue == Hue::kWhite ? 1 : 0;
    previous = hue;
  }
  EXPECT_GE(red_rows, 2);
  EXPECT_GE(white_rows, 2);

  // The union: a red cross through the middle of the fly half, on a blue field that
  // shows in every quarter around it.
  EXPECT_EQ(Majority(image, 8, 16, 5, 6), Hue::kRed);
  EXPECT_EQ(Majority(image, 11, 13, 0, 11), Hue::kRed);
  EXPECT_GT(Count(image, Hue::kBlue, 8, 11, 0, 5), 0);
  EXPECT_GT(Count(image, Hue::kBlue, 13, 16, 0, 5), 0);
  EXPECT_GT(Count(image, Hue::kBlue, 8, 11, 6, 11), 0);
  EXPECT_GT(Count(image, Hue::kBlue, 13, 16, 6, 11), 0);
  // A cross and not stripes: some column near the middle of the half is red from top to
  // bottom.
  bool full_bar = false;
  for (int x = 10; x < 14; ++x) {
    full_bar = full_bar || Count(image, Hue::kRed, x, x + 1, 0, 11) == 11;
  }
  EXPECT_TRUE(full_bar);
}

}  // namespace
}  // namespace ovix
