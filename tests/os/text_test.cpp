#include "os/text.h"

#include <gtest/gtest.h>

namespace ovix {
namespace {

TEST(TextTest, RoundTripsEveryPlane) {
  const std::string text = "a\xC3\xA9\xD0\x96\xE2\x82\xAC\xF0\x9F\x98\x80";  // a é Ж € 😀
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide, u"a\u00e9\u0416\u20ac\U0001F600");
  EXPECT_EQ(Utf16ToUtf8(wide), text);
  // Characters are counted as Windows counts them: the emoji is two units.
  EXPECT_EQ(Utf16Length(text), 6u);
}

TEST(TextTest, MalformedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("\xC3"), u"\uFFFD");                      // truncated at the end
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82x"), u"\uFFFD\uFFFDx");          // truncated in the middle
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(Utf8ToUtf16("\xFF"), u"\uFFFD");
  EXPECT_EQ(Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");  // lone surrogate
}

}  // namespace
}  // namespace ovix
