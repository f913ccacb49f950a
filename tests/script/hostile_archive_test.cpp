// A catalogue of hostile archives, each unpacked on its own into a destination that sits
// beside other files: whatever an archive holds, nothing outside the destination is added,
// changed or removed, and nothing inside it is a link.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "archive_builders.h"
#include "os/files.h"
#include "script/unpack.h"
#include "support/sandbox.h"
#include "support/tree_snapshot.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;
using test::RawZip;
using test::TEntry;
using test::TRawLayout;
using test::TRawMember;

class HostileArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Local("dest"));
    Write("sentinel.txt", "sentinel");
    Write("keep\\settings.xml", "<keep/>");
    Write("x", "x");
    before_ = Outside();
  }
  fs::path Local(const std::string& relative) const {
    return box_.Local(box_.Dir() + "\\" + relative);
  }
  void Write(const std::string& relative, const std::string& bytes) const {
    fs::create_directories(Local(relative).parent_path());
    std::ofstream(Local(relative), std::ios::binary) << bytes;
  }
  // Every entry in the sandbox except the destination and the archive.
  std::map<std::string, std::string> Outside() const {
    return test::SnapshotTree(box_.Root(), {Local("dest"), Local("pack.zip")});
  }
  // Unpacks one archive into a fresh destination; returns how many entries outside it changed.
  // A harmless member named by `arrives` must be there afterwards.
  int Try(const std::string& kind, const std::string& archive, const char* arrives = nullptr) {
    ++tried_;
    fs::remove_all(Local("dest"));
    fs::create_directories(Local("dest"));
    Write("pack.zip", archive);
    try {
      UnpackArchive(box_.Dir() + "\\pack.zip", box_.Dir() + "\\dest", nullptr);
    } catch (const TUnpackError&) {
      // refused as a whole: the clear error is all that happens
    }
    for (const auto& entry : fs::recursive_directory_iterator(Local("dest"))) {
      EXPECT_FALSE(entry.is_symlink()) << kind << ": " << entry.path();
    }
    if (arrives != nullptr) {
      EXPECT_EQ(ReadWholeFile(Local(std::string("dest\\") + arrives)), "ok") << kind;
    }
    const std::map<std::string, std::string> after = Outside();
    int changed = 0;
    for (const auto& [path, content] : after) {
      const auto found = before_.find(path);
      changed += found == before_.end() || found->second != content;
    }
    for (const auto& [path, content] : before_) changed += !after.contains(path);
    EXPECT_EQ(changed, 0) << kind;
    return changed;
  }
  std::string LibzipArchive(const std::vector<TEntry>& entries) {
    test::WriteZip(Local("built.zip"), entries);
    std::string bytes = ReadWholeFile(Local("built.zip")).value();
    fs::remove(Local("built.zip"));
    return bytes;
  }

  test::Sandbox box_;
  std::map<std::string, std::string> before_;
  int tried_ = 0;
};

TEST_F(HostileArchiveTest, NothingOutsideTheDestinationChanges) {
  int outside = 0;
  // Every hostile name as libzip writes it, stored by hand, and in the zip64 form with
  // data descriptors; each next to a harmless member that must still arrive.
  for (const std::string& name : test::HostileMemberNames()) {
    outside += Try("libzip " + name, LibzipArchive({{name, "evil"}, {"ok.txt", "ok"}}), "ok.txt");
    outside += Try("stored " + name, RawZip({{name, "evil"}, {"ok.txt", "ok"}}), "ok.txt");
    outside += Try("zip64 " + name,
                   RawZip({{"ok.txt", "ok"}, {name, "evil"}}, {.descriptors = true, .zip64 = true}),
                   "ok.txt");
  }
  // Links: to the outside directly, and a link followed by a member written through it.
  for (const std::string target : {"../sentinel.txt", "/tmp", "..", "../keep", "C:\\"}) {
    outside += Try("link " + target, LibzipArchive({{"esc", target, true}, {"esc/x", "evil"}}));
    outside += Try("link as directory " + target,
                   LibzipArchive({{"esc/", ""}, {"esc", target, true}, {"esc/settings.xml", "x"}}));
  }
  // Damaged structure: overlapping members, sizes that run on, damaged data, lying counts,
  // a decoy end record, a prefix, and every cut-off length of a small archive.
  const std::string big(5000, 'a');
  const std::vector<std::pair<std::string, std::string>> structural = {
      {"overlap", RawZip({{"a", big}, {"../b", "", {}, 0, 0}})},
      {"overrun", RawZip({{"a", "aaaa", {}, 40}, {"../sentinel.txt", "bbbb"}})},
      {"huge size", RawZip({{"a", "aaaa", 0xFFFFFFF0u}})},
      {"damaged", RawZip({{"sentinel.txt", "new", {}, 0, {}, true}})},
      {"claims more", RawZip({{"a", "a"}}, {.claimedEntries = 9})},
      {"claims none", RawZip({{"../a", "a"}}, {.claimedEntries = 0})},
      {"claims all", RawZip({{"a", "a"}}, {.claimedEntries = 0xFFFF})},
      {"decoy end", RawZip({{"../x", "x"}}, {.comment = "PK\x05\x06" + std::string(18, '\xFF')})},
      {"prefix", RawZip({{"../x", "x"}}, {.prefix = std::string(1000, 'P')})},
      {"stub, offsets not moved",
       std::string(1000, 'P') + RawZip({{"../x", "x"}, {"a/../../x", "x"}})},
      {"stub before an overlap",
       std::string(999, 'P') + RawZip({{"a", big}, {"../b", "", {}, 0, 0}})},
      {"zeros", std::string(200, '\0')},
      {"end record only", "PK\x05\x06" + std::string(18, '\0')},
      {"not an archive", "MZ this is a program"},
  };
  for (const auto& [kind, bytes] : structural) outside += Try(kind, bytes);
  const std::string whole = RawZip({{"a/b.txt", "abc"}, {"../c", "c"}});
  for (std::size_t cut = 0; cut < whole.size(); cut += 7) {
    outside += Try("cut at " + std::to_string(cut), whole.substr(0, cut));
  }
  std::printf("hostile archives tried: %d, entries changed outside the destination: %d\n", tried_,
              outside);
  EXPECT_GE(tried_, 100);
}

}  // namespace
}  // namespace ovix
