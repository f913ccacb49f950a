#include "script/split_arguments.h"

#include <gtest/gtest.h>

namespace ovix {
namespace {

struct Case {
  std::string line;
  std::string first;
  std::string second;
};

TEST(SplitArgumentsTest, TheReferenceCases) {
  const Case cases[] = {
      {"", "", ""},
      {"a", "a", ""},
      {"a b", "a", "b"},
      {"   a   b   ", "a", "b"},
      {"\"x y\" z", "x y", "z"},
      {"\"x y", "x y", ""},
      {"\"\" z", "", "z"},
      {"a\"b c\"", "a\"b", "c\""},
      {"\" a \" b", "a", "b"},
      {"\"a\"b", "a", "b"},
      // Tabs separate nothing and are trimmed only at an argument's ends.
      {"a\tb c", "a\tb", "c"},
      // A tab is no blank: the quote after it is an ordinary character.
      {"\t\"x\t\" \x01y\x02", "\"x\t\"", "y"},
      {"http://host/file.zip \"%WOT%\\res_mods\\a b\\\"", "http://host/file.zip",
       "%WOT%\\res_mods\\a b\\"},
      // A third argument has no slot.
      {"one two three", "one", "two"},
      // UTF-8 passes through untouched.
      {"\"\xC3\xA9t\xC3\xA9 2\" cl\xC3\xA9", "\xC3\xA9t\xC3\xA9 2", "cl\xC3\xA9"},
  };
  for (const Case& c : cases) {
    const TArguments args = SplitArguments(c.line);
    EXPECT_EQ(args[0], c.first) << '[' << c.line << ']';
    EXPECT_EQ(args[1], c.second) << '[' << c.line << ']';
  }
}

}  // namespace
}  // namespace ovix
