#include "net/text_decoding.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "os/ansi.h"
#ifndef _WIN32
#include "support/scoped_environment.h"
#endif

namespace ovix {
namespace {

TEST(TextDecodingTest, ByteOrderMarksDecideAndAreDropped) {
  EXPECT_EQ(DecodeText("\xEF\xBB\xBF"
                       "a"),
            "a");
  EXPECT_EQ(DecodeText(std::string("\xFF\xFE"
                                   "a\0",
                                   4)),
            "a");
  EXPECT_EQ(DecodeText(std::string("\xFE\xFF\0"
                                   "a",
                                   4)),
            "a");
  EXPECT_EQ(DecodeText(""), "");
  EXPECT_EQ(DecodeText("\xEF\xBB\xBF"), "");
  // Line breaks and surrounding blanks stay.
  EXPECT_EQ(DecodeText("\xEF\xBB\xBF  x\r\n"), "  x\r\n");
  // UTF-16 with a surrogate pair, and a dangling odd byte dropped.
  EXPECT_EQ(DecodeText(std::string("\xFF\xFE\x3D\xD8\x00\xDE"
                                   "b\0"
                                   "c",
                                   9)),
            "\xF0\x9F\x98\x80"
            "b");
}

TEST(TextDecodingTest, WithoutAMarkTheAnsiCodePageApplies) {
  EXPECT_EQ(CodePageToUtf8("a\xE9", 1252), "a\xC3\xA9");                // aé
  EXPECT_EQ(CodePageToUtf8("\x80\x81", 1252), "\xE2\x82\xAC\xC2\x81");  // € and undefined
  EXPECT_EQ(CodePageToUtf8("\xC0\xFF", 1251), "\xD0\x90\xD1\x8F");      // А я
  EXPECT_EQ(CodePageToUtf8("\xA3\xB9", 1250), "\xC5\x81\xC4\x85");      // Ł ą
  EXPECT_EQ(CodePageToUtf8("\xC3\xA9\xFF", kCodePageUtf8), "\xC3\xA9\xEF\xBF\xBD");
  EXPECT_EQ(CodePageFromLocaleName("ru_RU.CP1251"), 1251u);
  EXPECT_EQ(CodePageFromLocaleName("pl_PL.ISO-8859-2"), 1250u);
  EXPECT_EQ(CodePageFromLocaleName("de_DE.utf8@euro"), kCodePageUtf8);
  EXPECT_EQ(CodePageFromLocaleName("fr_FR"), 1252u);
  EXPECT_EQ(CodePageFromLocaleName("C"), 1252u);
}

#ifndef _WIN32
TEST(TextDecodingTest, ThePosixCodePageFollowsTheLocalesCharset) {
  ScopedEnvironment locale("LC_ALL");
  locale.Set("en_US.ISO-8859-1");
  EXPECT_EQ(DecodeText("a\xE9"), "a\xC3\xA9");
  locale.Set("ru_RU.CP1251");
  EXPECT_EQ(DecodeText("\xC0"), "\xD0\x90");
  locale.Set("en_US.UTF-8");
  EXPECT_EQ(DecodeText("\xD0\x90"), "\xD0\x90");
}
#endif

}  // namespace
}  // namespace ovix
