// Unpacking real archives, made with libzip or laid out byte by byte, into a sandbox.

#include "script/unpack.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "archive_builders.h"
#include "os/files.h"
#include "support/processes.h"
#include "support/sandbox.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;
using test::Sandbox;

using test::RawZip;
using test::TEntry;
using test::TRawLayout;
using test::TRawMember;

class UnpackTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(L("dest")); }
  std::string P(const std::string& relative) const { return box.Dir() + "\\" + relative; }
  fs::path L(const std::string& relative) const { return box.Local(P(relative)); }
  void Write(const std::string& relative, const std::string& bytes) const {
    fs::create_directories(L(relative).parent_path());
    std::ofstream(L(relative), std::ios::binary) << bytes;
  }
  std::string Read(const std::string& relative) const {
    return ReadWholeFile(L(relative)).value_or("<missing>");
  }
  // Every entry below the sandbox folder, sorted, directories marked with "/".
  std::string Tree(const std::string& relative = "") const {
    const fs::path root = relative.empty() ? box.Local(box.Dir()) : L(relative);
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      names.insert(entry.path().lexically_relative(root).generic_string() +
                   (entry.is_directory() ? "/" : ""));
    }
    std::string joined;
    for (const std::string& name : names) joined += name + ";";
    return joined;
  }
  // The error text of unpacking, or "" when it succeeded.
  std::string Attempt(const std::string& archive, const std::string& destination) {
    try {
      UnpackArchive(
          P(archive), P(destination), [this](int p) { percents.push_back(p); },
          [this](std::string_view member, std::string_view reason) {
            skipped += std::string(member) + ": " + std::string(reason) + ";";
          });
      return "";
    } catch (const TUnpackError& error) {
      return error.what();
    }
  }
  std::string Unpack(const std::string& bytes, const std::string& destination = "dest") {
    Write("pack.zip", bytes);
    return Attempt("pack.zip", destination);
  }
  std::string UnpackZip(const std::vector<TEntry>& entries,
                        const std::string& destination = "dest") {
    test::WriteZip(L("pack.zip"), entries);
    return Attempt("pack.zip", destination);
  }
  Sandbox box;
  std::vector<int> percents;
  std::string skipped;  // "member: reason;" for each member skipped
};

TEST_F(UnpackTest, RefusesArchivesItCannotReadBeforeExtractingAnything) {
  EXPECT_EQ(Unpack(""), "Cannot unpack \"" + P("pack.zip") + "\": the file is empty.");
  EXPECT_EQ(Attempt("missing.zip", "dest"),
            "Cannot unpack \"" + P("missing.zip") + "\": the file does not exist.");
  EXPECT_NE(Unpack("just some text, no archive").find("not a ZIP archive"), std::string::npos);
  EXPECT_NE(Unpack(RawZip({{"a.txt", "a"}}, {.claimedEntries = 3})).find("table of contents"),
            std::string::npos);
  EXPECT_NE(Unpack(RawZip({{"a.txt", "a"}}), "nowhere").find("directory does not exist"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(L("nowhere")));
  // Two entries reading one member's data, the classic way to multiply an archive's output,
  // and a member whose stated size runs into the next one.
  EXPECT_NE(Unpack(RawZip({{"a", std::string(500, 'a')}, {"b", "", {}, 0, 0}})).find("overlap"),
            std::string::npos);
  EXPECT_NE(Unpack(RawZip({{"a", "aaaa", {}, 40}, {"b", "bbbb"}})).find("overlap"),
            std::string::npos);
  EXPECT_EQ(Tree("dest"), "");
  EXPECT_TRUE(percents.empty());
}

TEST_F(UnpackTest, OpensEveryValidLayout) {
  const std::vector<TRawMember> members = {{"one.txt", "1"}, {"dir/two.txt", "22"}};
  for (const TRawLayout& layout :
       {TRawLayout{.descriptors = true}, TRawLayout{.zip64 = true},
        TRawLayout{.descriptors = true, .zip64 = true}, TRawLayout{.prefix = "MZ stub"},
        TRawLayout{.comment = "PK\x05\x06 is not the end"}}) {
    fs::remove_all(L("dest\\dir"));
    EXPECT_EQ(Unpack(RawZip(members, layout)), "") << layout.zip64 << layout.descriptors;
    EXPECT_EQ(Read("dest\\dir\\two.txt"), "22");
  }
}

TEST_F(UnpackTest, ExtractsMembersBelowTheDestination) {
  std::string large;
  for (int i = 0; large.size() < 700'000; ++i) large += "line " + std::to_string(i * 7919) + "\n";
  Write("dest\\old.txt", "old");
  Write("dest\\Data\\kept.txt", "kept");
  EXPECT_EQ(UnpackZip({{"old.txt", "new"},
                       {"sub/deeper\\large.txt", large},
                       {"empty/", ""},
                       {"data/added.txt", "added"}},
                      "dest\\"),
            "");
  EXPECT_EQ(Read("dest\\old.txt"), "new");
  EXPECT_EQ(Read("dest\\sub\\deeper\\large.txt"), large);
  // The existing directory is found whatever the case of the member's name.
  EXPECT_EQ(Tree("dest"),
            "Data/;Data/added.txt;Data/kept.txt;empty/;old.txt;sub/;sub/deeper/;"
            "sub/deeper/large.txt;");

  const std::string unicode = "\xD0\xB0\xD1\x80\xD1\x85\xD0\xB8\xD0\xB2 \xC3\xBC";  // "архив ü"
  fs::rename(L("pack.zip"), L(unicode + ".zip"));
  fs::create_directories(L("dest\\" + unicode));
  EXPECT_EQ(Attempt(unicode + ".zip", "dest\\" + unicode), "");
  EXPECT_EQ(Read("dest\\" + unicode + "\\old.txt"), "new");
#ifndef _WIN32
  UnpackArchive(P(unicode + ".zip"), "C:", nullptr);  // a drive alone is its root
  EXPECT_EQ(ReadWholeFile(box.Local("C:\\old.txt")), "new");
#endif
}

TEST_F(UnpackTest, ReportsProgressAfterEachMemberAndOnceAtTheEnd) {
  UnpackZip({{"1", ""}, {"2", ""}, {"3", ""}, {"4/", ""}});
  EXPECT_EQ(percents, (std::vector<int>{25, 50, 75, 100, 100}));
  percents.clear();
  UnpackZip({{"1", ""}, {"2", ""}, {"../3", ""}});
  EXPECT_EQ(percents, (std::vector<int>{33, 66, 100, 100}));
  percents.clear();
  EXPECT_EQ(Unpack(RawZip({})), "");
  EXPECT_TRUE(percents.empty());
}

TEST_F(UnpackTest, SkipsFailingMembersAndKeepsWhatTheyWouldReplace) {
  Write("dest\\damaged.txt", "old");
  Write("dest\\overrun.bin", "old");
  Write("dest\\blocker", "a file where a directory is needed");
  fs::create_directories(L("dest\\dir.txt"));
  EXPECT_EQ(Unpack(RawZip({{"first.txt", "1"},
                           {"damaged.txt", "new data", {}, 0, {}, true},
                           {"new-damaged.txt", "new data", {}, 0, {}, true},
                           {"overrun.bin", std::string(300'000, 'x'), 1000},
                           {"blocker/inner.txt", "i"},
                           {"dir.txt", "a file where a directory is"},
                           {"last.txt", "2"}})),
            "");
  EXPECT_EQ(Read("dest\\first.txt") + Read("dest\\last.txt"), "12");
  EXPECT_EQ(Read("dest\\damaged.txt") + Read("dest\\overrun.bin"), "oldold");
  EXPECT_EQ(skipped,
            "damaged.txt: its data is damaged or fails its checksum;"
            "new-damaged.txt: its data is damaged or fails its checksum;"
            "overrun.bin: its data is damaged or fails its checksum;"
            "blocker/inner.txt: its folder cannot be made;"
            "dir.txt: the file cannot be written;");
  EXPECT_EQ(Tree("dest"), "blocker;damaged.txt;dir.txt/;first.txt;last.txt;overrun.bin;");
  EXPECT_EQ(percents.back(), 100);
}

// Bytes before the first member, as a self-extracting program or a stub puts them there: with
// the offsets moved past them or not, in either directory form, the members are read as the
// peers read them, and the layout checks still hold.
TEST_F(UnpackTest, AnArchiveAfterAStubIsReadWhetherItsOffsetsWereMovedOrNot) {
  const std::string stub = "MZ" + std::string(3000, 'S');
  const std::vector<TRawMember> members = {
      {"ovix/a.txt", "a"}, {"ovix/b.txt", std::string(70'000, 'b'), {}, 0, {}, false, true}};
  for (const bool zip64 : {false, true}) {
    SCOPED_TRACE(zip64 ? "zip64" : "plain");
    for (const std::string& bytes : {RawZip(members, {.prefix = stub, .zip64 = zip64}),
                                     stub + RawZip(members, {.zip64 = zip64})}) {
      fs::remove_all(L("dest"));
      fs::create_directories(L("dest"));
      EXPECT_EQ(Unpack(bytes), "");
      EXPECT_EQ(Read("dest\\ovix\\a.txt"), "a");
      EXPECT_TRUE(Read("dest\\ovix\\b.txt") == std::string(70'000, 'b'));
    }
  }
  EXPECT_NE(
      Unpack(stub + RawZip({{"a", std::string(5000, 'a')}, {"b", "", {}, 0, 0}})).find("overlap"),
      std::string::npos);
}

// Deflated members are inflated whole when they fit the memory allowed, else streamed (one
// larger than all of it, and stored ones as large); each way checks size and checksum.
TEST_F(UnpackTest, DeflatedAndLargeMembersAreCheckedWhicheverWayTheyAreRead) {
  std::string large(41u << 20, '\0');
  for (std::size_t i = 0; i < large.size(); i += 4096) large[i] = static_cast<char>(i >> 12);
  for (const char* name : {"small.txt", "small-damaged.txt", "small-overrun.txt", "large.bin",
                           "large-damaged.bin", "large-overrun.bin", "stored-damaged.bin"}) {
    Write(std::string("dest\\") + name, "old");
  }
  const std::string text = "text that deflates, text that deflates, text that deflates";
  EXPECT_EQ(Unpack(RawZip({{"small.txt", text, {}, 0, {}, false, true},
                           {"small-damaged.txt", text, {}, 0, {}, true, true},
                           {"small-overrun.txt", text, 10, 0, {}, false, true},
                           {"large.bin", large, {}, 0, {}, false, true},
                           {"large-damaged.bin", large, {}, 0, {}, true, true},
                           {"large-overrun.bin", large, 40u << 20, 0, {}, false, true},
                           {"stored-damaged.bin", large, {}, 0, {}, true},
                           {"stored.bin", large}})),
            "");
  EXPECT_EQ(Read("dest\\small.txt"), text);
  EXPECT_TRUE(Read("dest\\large.bin") == large);
  EXPECT_TRUE(Read("dest\\stored.bin") == large);
  EXPECT_EQ(skipped,
            "small-damaged.txt: its data is damaged or fails its checksum;"
            "small-overrun.txt: its data is damaged or fails its checksum;"
            "large-damaged.bin: its data is damaged or fails its checksum;"
            "large-overrun.bin: its data is damaged or fails its checksum;"
            "stored-damaged.bin: its data is damaged or fails its checksum;");
  std::string kept;  // sizes only: a wrong large file is no text to print
  for (const char* name : {"small-damaged.txt", "small-overrun.txt", "large-damaged.bin",
                           "large-overrun.bin", "stored-damaged.bin"}) {
    kept += std::to_string(Read(std::string("dest\\") + name).size()) + ";";
  }
  EXPECT_EQ(kept, "3;3;3;3;3;");
  EXPECT_EQ(Tree("dest"),
            "large-damaged.bin;large-overrun.bin;large.bin;small-damaged.txt;small-overrun.txt;"
            "small.txt;stored-damaged.bin;stored.bin;");
}

// Members are written on several threads, yet end as one by one in archive order: the last
// good member of a name wins, whatever case it is written in, and a file a member writes is
// there before a later member needs a folder of its name.
TEST_F(UnpackTest, MembersEndAsIfWrittenOneByOneInArchiveOrder) {
  // Names appended piecewise: GCC 12 warns falsely about "literal" + std::string here.
  const auto name = [](int n) { return std::string("n").append(std::to_string(n)) + ".txt"; };
  std::vector<TRawMember> members;
  for (int i = 0; i < 300; ++i) {
    members.push_back({name(i % 7), std::string("v").append(std::to_string(i))});
  }
  members.push_back({"N1.TXT", "upper"});
  members.push_back({"n2.txt", "damaged", {}, 0, {}, true});
  members.push_back({"a", "a file"});
  members.push_back({"a/b.txt", "b"});
  EXPECT_EQ(Unpack(RawZip(members)), "");
  std::string contents;
  for (int n = 0; n < 7; ++n) contents += Read(std::string("dest\\").append(name(n))) + ";";
  EXPECT_EQ(contents, "v294;upper;v296;v297;v298;v299;v293;");
  EXPECT_EQ(Read("dest\\a"), "a file");
  EXPECT_EQ(skipped,
            "n2.txt: its data is damaged or fails its checksum;"
            "a/b.txt: its folder cannot be made;");
  // Which case the name keeps is the system's affair.
  std::string tree = Tree("dest");
  std::transform(tree.begin(), tree.end(), tree.begin(), [](char c) { return std::tolower(c); });
  EXPECT_EQ(tree, "a;n0.txt;n1.txt;n2.txt;n3.txt;n4.txt;n5.txt;n6.txt;");
  ASSERT_EQ(percents.size(), members.size() + 1);
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
}

// A killed install leaves "<file>.ovix-<process>-<count>.incomplete" beside its targets;
// a second instance still writing into the same folder has its own there, which stays.
TEST_F(UnpackTest, SweepsPartialFilesOfEndedProcessesFromTheFoldersItWritesTo) {
  const fs::path own = PartialFileBeside(L("dest\\own.txt"));
  const std::string ownName = own.filename().string();
  const std::string ended = std::to_string(test::EndedProcessId());
  const std::string running =
      "h.bin.ovix-" + std::to_string(test::RunningOtherProcessId()) + "-2.incomplete";
  std::ofstream(own) << "this process's own";
  Write("dest\\a.txt.ovix-" + ended + "-3.incomplete", "stale");
  Write("dest\\sub\\b.pkg.ovix-" + ended + "-12.incomplete", "stale");
  Write("dest\\" + running, "another instance's, still being written");
  Write("dest\\untouched\\c.pkg.ovix-" + ended + "-1.incomplete", "not in a folder written to");
  for (const char* lookalike : {"notes.ovix-x-1.incomplete", "d.incomplete",
                                "e.ovix-1-2.incomplete.txt", "f.ovix-12345678901-1.incomplete"}) {
    Write(std::string("dest\\") + lookalike, "kept");
  }
  // A folder a killed DELETEDIR was copying aside goes as well.
  Write("dest\\g.ovix-" + ended + "-1.incomplete\\deep\\x.txt", "stale");
  EXPECT_EQ(UnpackZip({{"a.txt", "a"}, {"sub/b.pkg", "b"}}), "");
  EXPECT_EQ(Tree("dest"),
            "a.txt;d.incomplete;e.ovix-1-2.incomplete.txt;f.ovix-12345678901-1.incomplete;" +
                running + ";notes.ovix-x-1.incomplete;" + ownName +
                ";sub/;sub/b.pkg;"
                "untouched/;untouched/c.pkg.ovix-" +
                ended + "-1.incomplete;");
}

TEST_F(UnpackTest, NeverWritesWhereAHostileNamePoints) {
  Write("sentinel.txt", "sentinel");
  std::vector<TEntry> entries;
  for (const std::string& name : test::HostileMemberNames()) {
    entries.push_back({name, "evil"});
  }
  entries.push_back({"link", "../sentinel.txt", true});
  entries.push_back({"ok.txt", "ok"});
  entries.push_back({"..ok/console/com10.txt", "ok"});
  EXPECT_EQ(UnpackZip(entries), "");
  EXPECT_EQ(Read("sentinel.txt"), "sentinel");
  EXPECT_EQ(Tree(),
            "dest/;dest/..ok/;dest/..ok/console/;dest/..ok/console/com10.txt;dest/ok.txt;"
            "pack.zip;sentinel.txt;");
  EXPECT_FALSE(fs::exists(box.Local("C:\\evil.txt")));
  EXPECT_FALSE(fs::exists("/evil.txt"));
}

}  // namespace
}  // namespace ovix
