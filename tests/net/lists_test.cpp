#include <gtest/gtest.h>

#include "net/service_lists.h"
#include "net/transfer_codes.h"

namespace ovix {
namespace {

using Entries = std::vector<TListEntry>;

TEST(ServiceListTest, LineEndsBlankLinesAndQuotedNames) {
  const Entries expected = {
      {"Release-2.1", "2.1"}, {"Release-2.2", "2.2"}, {"Nightly-2.3", "2.3-nightly"}};
  EXPECT_EQ(ParseServiceList("Release-2.1 2.1\r\nRelease-2.2 2.2\r\nNightly-2.3 2.3-nightly"),
            expected);
  EXPECT_EQ(ParseServiceList("Release-2.1 2.1\nRelease-2.2 2.2\nNightly-2.3 2.3-nightly\n"),
            expected);
  EXPECT_EQ(ParseServiceList("Release-2.1 2.1\rRelease-2.2 2.2\rNightly-2.3 2.3-nightly"),
            expected);
  EXPECT_EQ(ParseServiceList("\r\n  \t \n Release-2.1 2.1 \t\n\n\nRelease-2.2 2.2\r\n \r\n"
                             "Nightly-2.3 2.3-nightly   \r\n"),
            expected);
  EXPECT_EQ(ParseServiceList("\"Version 2.3 nightly\" 2.3-nightly"),
            (Entries{{"Version 2.3 nightly", "2.3-nightly"}}));
  EXPECT_EQ(ParseServiceList("Solo"), (Entries{{"Solo", ""}}));
  EXPECT_EQ(ParseServiceList("a b c d"), (Entries{{"a", "b"}}));
  EXPECT_TRUE(ParseServiceList("").empty());
  EXPECT_TRUE(ParseServiceList(" \t\r\n\x01").empty());
}

TEST(MaskTest, StarsAndAsciiCaseOnly) {
  EXPECT_TRUE(MatchesMask("Nightly-2.3", "*nightly*"));
  EXPECT_TRUE(MatchesMask("NIGHTLY", "*nightly*"));
  EXPECT_TRUE(MatchesMask("build nightly (1234)", "*nightly*"));
  EXPECT_TRUE(MatchesMask("nightly", "*nightly*"));
  EXPECT_FALSE(MatchesMask("Release-2.2", "*nightly*"));
  EXPECT_FALSE(MatchesMask("night ly", "*nightly*"));
  EXPECT_FALSE(MatchesMask("", "*nightly*"));
  EXPECT_TRUE(MatchesMask("", "*"));
  EXPECT_TRUE(MatchesMask("abcabd", "*abd"));
  EXPECT_FALSE(MatchesMask("abcabd", "*abc"));
  // Only a to z fold: the Turkish dotted capital and an accented letter do not.
  EXPECT_FALSE(MatchesMask("N\xC4\xB0GHTLY", "*nightly*"));
  EXPECT_FALSE(MatchesMask("\xC3\x89t\xC3\xA9", "*\xC3\xA9t\xC3\xA9*"));
}

TEST(RevisionTest, OneToNineCharactersCountedAsWindowsDoes) {
  EXPECT_TRUE(IsAcceptedRevision("1234"));
  EXPECT_TRUE(IsAcceptedRevision("1"));
  EXPECT_TRUE(IsAcceptedRevision("12345678\n"));
  EXPECT_FALSE(IsAcceptedRevision(""));
  EXPECT_FALSE(IsAcceptedRevision("1234567890"));
  EXPECT_TRUE(IsAcceptedRevision(
      "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"));
  // One emoji is two UTF-16 units: five of them are ten.
  EXPECT_FALSE(
      IsAcceptedRevision("\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80"
                         "\xF0\x9F\x98\x80"));
}

TEST(TransferCodeTest, EightUpperCaseDigits) {
  EXPECT_EQ(FormatTransferCode(0x800C0005), "800C0005");
  EXPECT_EQ(FormatTransferCode(0x5), "00000005");
  EXPECT_EQ(FormatTransferCode(0xFFFFFFFF), "FFFFFFFF");
}

}  // namespace
}  // namespace ovix
