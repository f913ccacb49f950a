#include "game/pe_version.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "game/test_executables.h"

namespace ovix {
namespace {

constexpr FileVersion kVersion{1, 2, 3, 4};

std::uint32_t Get(const std::vector<std::uint8_t>& bytes, std::size_t at, int size) {
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = (value << 8) | bytes.at(at + i);
  return value;
}

void Put(std::vector<std::uint8_t>& bytes, std::size_t at, int size, std::uint32_t value) {
  for (int i = 0; i < size; ++i) bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

// Where the pieces of the linker's output lie, found independently of the reader: the resource
// section by its name, the version's root block by its signature.
struct Layout {
  explicit Layout(const std::vector<std::uint8_t>& pe) {
    peHeader = Get(pe, 0x3C, 4);
    optionalHeader = peHeader + 24;
    sectionTable = optionalHeader + Get(pe, peHeader + 20, 2);
    for (std::size_t i = 0; i < Get(pe, peHeader + 6, 2); ++i) {
      const std::size_t header = sectionTable + 40 * i;
      if (std::memcmp(pe.data() + header, ".rsrc", 6) == 0) {
        resources = Get(pe, header + 20, 4);
        resourcesRva = Get(pe, header + 12, 4);
        resourcesEnd = resources + Get(pe, header + 16, 4);
      }
    }
    const std::uint8_t signature[] = {0xBD, 0x04, 0xEF, 0xFE};
    fixedInfo = static_cast<std::size_t>(
        std::search(pe.begin(), pe.end(), std::begin(signature), std::end(signature)) - pe.begin());
    // The tree: type 16 -> first name -> first language -> data entry.
    const std::size_t entries = Get(pe, resources + 12, 2) + Get(pe, resources + 14, 2);
    for (std::size_t i = 0; i < entries; ++i) {
      if (Get(pe, resources + 16 + 8 * i, 4) == 16) versionType = resources + 16 + 8 * i;
    }
    nameEntry = resources + (Get(pe, versionType + 4, 4) & 0x7FFFFFFF) + 16;
    languageEntry = resources + (Get(pe, nameEntry + 4, 4) & 0x7FFFFFFF) + 16;
    dataEntry = resources + Get(pe, languageEntry + 4, 4);
    versionInfo = resources + (Get(pe, dataEntry, 4) - resourcesRva);
  }

  std::size_t peHeader, optionalHeader, sectionTable;
  std::size_t resources = 0, resourcesRva = 0, resourcesEnd = 0;
  std::size_t fixedInfo, versionType = 0, nameEntry, languageEntry, dataEntry, versionInfo;
};

// The same image with a PE32+ optional header: wider fields, so the data directories and the
// section table move; the resource section stays where it was.
std::vector<std::uint8_t> ToPe32Plus(const std::vector<std::uint8_t>& pe32) {
  const Layout layout(pe32);
  const std::size_t oh = layout.optionalHeader;
  EXPECT_EQ(Get(pe32, layout.peHeader + 20, 2), 224u);
  std::vector<std::uint8_t> plus(pe32.begin() + oh, pe32.begin() + oh + 24);
  plus.resize(240);
  Put(plus, 0, 2, 0x20B);
  Put(plus, 24, 4, Get(pe32, oh + 28, 4));  // the image base, now 64 bits wide
  std::copy(pe32.begin() + oh + 32, pe32.begin() + oh + 72, plus.begin() + 32);
  for (int i = 0; i < 4; ++i) Put(plus, 72 + 8 * i, 4, Get(pe32, oh + 72 + 4 * i, 4));
  std::copy(pe32.begin() + oh + 88, pe32.begin() + oh + 224, plus.begin() + 104);

  std::vector<std::uint8_t> out = pe32;
  const std::size_t sections = 40 * Get(pe32, layout.peHeader + 6, 2);
  std::copy(pe32.begin() + oh + 224, pe32.begin() + oh + 224 + sections, out.begin() + oh + 240);
  std::copy(plus.begin(), plus.end(), out.begin() + oh);
  EXPECT_LE(oh + 240 + sections, Get(pe32, oh + 60, 4));  // still inside the headers
  Put(out, layout.peHeader + 4, 2, 0x8664);
  Put(out, layout.peHeader + 20, 2, 240);
  return out;
}

class PeVersionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    image_ = ReadBytes(TestExecutable("version_1_2_3_4.exe"));
    ASSERT_GT(image_.size(), 4096u);
    layout_.emplace(image_);
    ASSERT_NE(layout_->versionType, 0u);
    ASSERT_EQ(layout_->versionInfo + 40, layout_->fixedInfo);  // header, key, padding
  }

  std::optional<FileVersion> Patched(std::size_t at, int size, std::uint32_t value) const {
    std::vector<std::uint8_t> copy = image_;
    Put(copy, at, size, value);
    return ReadPeFileVersion(copy);
  }

  std::vector<std::uint8_t> image_;
  std::optional<Layout> layout_;
};

TEST(PeVersionFileTest, ReadsTheFileVersionOfRealExecutables) {
  const std::pair<const char*, std::optional<FileVersion>> cases[] = {
      {"version_1_2_3_4.exe", FileVersion{1, 2, 3, 4}},
      {"version_0_9_18_0.exe", FileVersion{0, 9, 18, 0}},
      {"version_1_10_2_7.exe", FileVersion{1, 10, 2, 7}},  // a German-language resource
      {"no_version.exe", std::nullopt},                    // other resources only
      {"no_resources.exe", std::nullopt},
      {"missing.exe", std::nullopt},
  };
  for (const auto& [name, expected] : cases) {
    EXPECT_EQ(ReadPeFileVersionFromFile(TestExecutable(name)), expected) << name;
    EXPECT_EQ(ReadPeFileVersion(ReadBytes(TestExecutable(name))), expected) << name;
  }
  EXPECT_EQ(ReadPeFileVersionFromFile(TestExecutable("")), std::nullopt);  // the folder
}

TEST_F(PeVersionTest, ReadsPe32PlusAndTellsTheLayoutsApart) {
  std::vector<std::uint8_t> plus = ToPe32Plus(image_);
  EXPECT_EQ(ReadPeFileVersion(plus), kVersion);
  // Read with the narrower layout, the resource entry is another directory's.
  Put(plus, layout_->optionalHeader, 2, 0x10B);
  EXPECT_EQ(ReadPeFileVersion(plus), std::nullopt);
  Put(plus, layout_->optionalHeader, 2, 0x107);  // a ROM image
  EXPECT_EQ(ReadPeFileVersion(plus), std::nullopt);
}

TEST_F(PeVersionTest, EveryTruncationGivesNothingOrTheVersion) {
  const std::size_t needed = layout_->fixedInfo + 16;  // through the file version words
  std::vector<std::size_t> wrong;
  for (std::size_t size = 0; size < image_.size(); ++size) {
    const auto got = ReadPeFileVersion(std::span(image_).first(size));
    if (got ? (size < needed || *got != kVersion) : false) wrong.push_back(size);
  }
  EXPECT_TRUE(wrong.empty()) << wrong.size() << " sizes, first " << wrong.front();
  EXPECT_EQ(ReadPeFileVersion(image_), kVersion);

  // The same through the file reader, which must not read past the end either.
  const auto folder = std::filesystem::temp_directory_path() /
                      ("ovix-pe-" + std::to_string(std::random_device()()));
  std::filesystem::create_directories(folder);
  const auto file = folder / "cut.exe";
  for (std::size_t size = 0; size <= image_.size(); size += size + 64 < image_.size() ? 61 : 1) {
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(image_.data()), static_cast<std::streamsize>(size));
    const auto got = ReadPeFileVersionFromFile(file);
    if (size < needed) {
      EXPECT_EQ(got, std::nullopt) << size;
    } else if (got) {
      EXPECT_EQ(*got, kVersion) << size;
    }
  }
  EXPECT_EQ(ReadPeFileVersionFromFile(file), kVersion);
  std::filesystem::remove_all(folder);
}

TEST_F(PeVersionTest, CorruptingAnyByteGivesNothingOrTheVersion) {
  // Only the version words themselves may change the answer.
  const std::size_t words = layout_->fixedInfo + 8;
  std::vector<std::size_t> wrong;
  std::vector<std::uint8_t> copy = image_;
  for (std::size_t at = 0; at < copy.size(); ++at) {
    const std::uint8_t original = copy[at];
    for (const int value : {original ^ 0xFF, original ^ 0x01, original ^ 0x80, 0x00, 0xFF}) {
      copy[at] = static_cast<std::uint8_t>(value);
      const auto got = ReadPeFileVersion(copy);
      if (got && *got != kVersion && (at < words || at >= words + 8)) wrong.push_back(at);
    }
    copy[at] = original;
  }
  EXPECT_TRUE(wrong.empty()) << wrong.size() << " cases, first at " << wrong.front();
}

TEST_F(PeVersionTest, HostileHeadersGiveNothing) {
  const Layout& l = *layout_;
  const std::size_t size = image_.size();
  EXPECT_EQ(Patched(0, 2, 0x5A4E), std::nullopt);  // no "MZ"
  EXPECT_EQ(Patched(0x3C, 4, 0xFFFFFFF0), std::nullopt);
  EXPECT_EQ(Patched(0x3C, 4, static_cast<std::uint32_t>(size - 2)), std::nullopt);
  EXPECT_EQ(Patched(l.peHeader, 4, 0x00004551), std::nullopt);  // no "PE\0\0"
  EXPECT_EQ(Patched(l.peHeader + 6, 2, 0), std::nullopt);       // no sections
  EXPECT_EQ(Patched(l.peHeader + 6, 2, 0xFFFF), std::nullopt);  // a table beyond the file
  EXPECT_EQ(Patched(l.peHeader + 20, 2, 0), std::nullopt);      // no optional header
  EXPECT_EQ(Patched(l.peHeader + 20, 2, 0xFFFF), std::nullopt);
  EXPECT_EQ(Patched(l.optionalHeader + 92, 4, 2), std::nullopt);  // no resource directory
  EXPECT_EQ(Patched(l.optionalHeader + 112, 4, 0), std::nullopt);
  EXPECT_EQ(Patched(l.optionalHeader + 112, 4, 0x7FFFFFF0), std::nullopt);
}

TEST_F(PeVersionTest, HostileResourceTreesGiveNothing) {
  const Layout& l = *layout_;
  // Thousands of types that all lie past the section: the scan stops at its end.
  std::vector<std::uint8_t> crowded = image_;
  Put(crowded, l.resources + 12, 2, 0xFFFF);
  Put(crowded, l.resources + 14, 2, 0xFFFF);
  Put(crowded, l.versionType, 4, 17);
  EXPECT_EQ(ReadPeFileVersion(crowded), std::nullopt);
  // A loop back to the root is walked no deeper than three levels.
  EXPECT_EQ(Patched(l.versionType + 4, 4, 0x80000000), std::nullopt);
  EXPECT_EQ(Patched(l.nameEntry + 4, 4, 0x80000000), std::nullopt);
  // A language that is a directory, a name that is data.
  EXPECT_EQ(Patched(l.languageEntry + 4, 4, Get(image_, l.languageEntry + 4, 4) | 0x80000000),
            std::nullopt);
  EXPECT_EQ(Patched(l.nameEntry + 4, 4, Get(image_, l.nameEntry + 4, 4) & 0x7FFFFFFF),
            std::nullopt);
  EXPECT_EQ(Patched(l.versionType + 4, 4, 0x8FFFFFF0), std::nullopt);  // past the section
  // Version data outside every section, cut by the section's end, or declared too short.
  EXPECT_EQ(Patched(l.dataEntry, 4, 0), std::nullopt);
  for (const std::size_t room : {91, 92}) {  // 40 bytes of header, 52 of root block
    std::vector<std::uint8_t> moved = image_;
    const std::size_t at = l.resourcesEnd - room;
    std::copy_n(image_.begin() + static_cast<std::ptrdiff_t>(l.versionInfo), room,
                moved.begin() + static_cast<std::ptrdiff_t>(at));
    Put(moved, l.dataEntry, 4, static_cast<std::uint32_t>(l.resourcesRva + at - l.resources));
    ASSERT_LT(l.resourcesEnd, moved.size());  // more of the file follows the section
    EXPECT_EQ(ReadPeFileVersion(moved), room < 92 ? std::nullopt : std::optional(kVersion));
  }
  EXPECT_EQ(Patched(l.dataEntry + 4, 4, 40 + 51), std::nullopt);
  EXPECT_EQ(Patched(l.versionInfo, 2, 40 + 51), std::nullopt);
  EXPECT_EQ(Patched(l.versionInfo + 2, 2, 0), std::nullopt);  // no value
  EXPECT_EQ(Patched(l.fixedInfo, 4, 0xFEEF04BC), std::nullopt);
  // Oversized lengths are cut to what is there.
  EXPECT_EQ(Patched(l.dataEntry + 4, 4, 0xFFFFFFFF), kVersion);
  EXPECT_EQ(Patched(l.versionInfo, 2, 0xFFFF), kVersion);
}

TEST(PeVersionBytesTest, ArbitraryBytesGiveNothing) {
  EXPECT_EQ(ReadPeFileVersion(std::span<const std::uint8_t>()), std::nullopt);
  const std::string text = "MZ is how this text starts, and it is no executable at all.";
  EXPECT_EQ(
      ReadPeFileVersion(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())),
      std::nullopt);
  std::vector<std::uint8_t> noise(70000);
  std::uint32_t state = 12345;
  for (auto& byte : noise)
    byte = static_cast<std::uint8_t>((state = state * 1103515245 + 12345) >> 16);
  noise[0] = 'M', noise[1] = 'Z';
  EXPECT_EQ(ReadPeFileVersion(noise), std::nullopt);
}

}  // namespace
}  // namespace ovix
