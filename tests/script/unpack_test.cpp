// Unpacking real archives, made with libzip or laid out byte by byte, into a sandbox.

#include "script/unpack.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "os/files.h"
#include "support/sandbox.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;
using test::Sandbox;

struct TEntry {
  std::string name;  // a name ending in "/" is a directory
  std::string data;
  bool link = false;  // stored as a Unix symbolic link to `data`
};

struct TZipDiscard {
  void operator()(zip_t* zip) const { zip_discard(zip); }
};

// Writes an archive with libzip (deflated members).
void WriteZip(const fs::path& file, const std::vector<TEntry>& entries) {
  std::unique_ptr<zip_t, TZipDiscard> zip(
      zip_open(file.string().c_str(), ZIP_CREATE | ZIP_TRUNCATE, nullptr));
  ASSERT_TRUE(zip);
  for (const TEntry& e : entries) {
    const zip_int64_t index =
        e.name.ends_with('/')
            ? zip_dir_add(zip.get(), e.name.c_str(), 0)
            : zip_file_add(zip.get(), e.name.c_str(),
                           zip_source_buffer(zip.get(), e.data.data(), e.data.size(), 0), 0);
    ASSERT_GE(index, 0) << e.name;
    if (e.link) {
      zip_file_set_external_attributes(zip.get(), static_cast<zip_uint64_t>(index), 0,
                                       ZIP_OPSYS_UNIX, 0120777u << 16);
    }
  }
  ASSERT_EQ(zip_close(zip.get()), 0);
  zip.release();  // closed
}

std::uint32_t Crc32(const std::string& data) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (const char c : data) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  return ~crc;
}

// A stored member laid out by hand, with the faults libzip would never write.
struct TRawMember {
  std::string name;
  std::string data;
  std::optional<std::uint32_t> declaredSize;  // the uncompressed size stated
  std::uint32_t extraCompressed = 0;          // stated compressed size beyond the data
  std::optional<std::size_t> headerOf;        // points at an earlier member's local header
  bool damaged = false;                       // a data byte changed after the CRC was taken
};

struct TRawLayout {
  std::string prefix;  // bytes before the archive, offsets adjusted as self-extractors do
  std::string comment;
  bool descriptors = false;  // sizes and CRC after the data instead of in the local header
  bool zip64 = false;
  std::optional<std::uint16_t> claimedEntries;
};

void Put(std::string& out, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string RawZip(const std::vector<TRawMember>& members, const TRawLayout& layout = {}) {
  std::string out = layout.prefix, directory;
  std::vector<std::uint64_t> offsets;
  const std::uint32_t big = layout.zip64 ? 0xFFFFFFFF : 0;
  for (const TRawMember& m : members) {
    const std::uint32_t crc = Crc32(m.data);
    const std::uint64_t size = m.data.size() + m.extraCompressed;
    const std::uint64_t declared =
        m.declaredSize.value_or(static_cast<std::uint32_t>(m.data.size()));
    offsets.push_back(m.headerOf ? offsets[*m.headerOf] : out.size());
    const auto header = [&](std::string& to, std::uint32_t signature, bool central) {
      Put(to, signature, 4);
      if (central) Put(to, 20, 2);
      Put(to, layout.zip64 ? 45 : 20, 2);
      Put(to, layout.descriptors ? 8 : 0, 2);
      Put(to, 0, 2), Put(to, 0, 2), Put(to, 0x21, 2);  // stored, 1980-01-01
      const bool late = layout.descriptors && !central;
      Put(to, late ? 0 : crc, 4);
      Put(to, late ? 0 : (big | size), 4), Put(to, late ? 0 : (big | declared), 4);
      Put(to, m.name.size(), 2), Put(to, layout.zip64 ? (central ? 28 : 20) : 0, 2);
      if (central) Put(to, 0, 6), Put(to, 0, 4), Put(to, big | offsets.back(), 4);
      to += m.name;
      if (!layout.zip64) return;
      Put(to, 1, 2), Put(to, central ? 24 : 16, 2), Put(to, declared, 8), Put(to, size, 8);
      if (central) Put(to, offsets.back(), 8);
    };
    if (!m.headerOf) {
      header(out, 0x04034b50, false);
      out += m.data;
      if (m.damaged) out.back() ^= 1;
      if (layout.descriptors) {
        Put(out, 0x08074b50, 4), Put(out, crc, 4);
        Put(out, size, layout.zip64 ? 8 : 4), Put(out, declared, layout.zip64 ? 8 : 4);
      }
    }
    header(directory, 0x02014b50, true);
  }
  const std::uint64_t start = out.size(), count = members.size();
  out += directory;
  if (layout.zip64) {
    const std::uint64_t record = out.size();
    Put(out, 0x06064b50, 4), Put(out, 44, 8), Put(out, 45, 2), Put(out, 45, 2), Put(out, 0, 8);
    Put(out, count, 8), Put(out, count, 8), Put(out, directory.size(), 8), Put(out, start, 8);
    Put(out, 0x07064b50, 4), Put(out, 0, 4), Put(out, record, 8), Put(out, 1, 4);
  }
  const std::uint64_t claimed = layout.claimedEntries.value_or(count);
  Put(out, 0x06054b50, 4), Put(out, 0, 4), Put(out, claimed, 2), Put(out, claimed, 2);
  Put(out, directory.size(), 4), Put(out, big | start, 4);
  Put(out, layout.comment.size(), 2);
  return out + layout.comment;
}

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
      UnpackArchive(P(archive), P(destination), [this](int p) { percents.push_back(p); });
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
    WriteZip(L("pack.zip"), entries);
    return Attempt("pack.zip", destination);
  }
  Sandbox box;
  std::vector<int> percents;
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
  EXPECT_EQ(Tree("dest"), "blocker;damaged.txt;dir.txt/;first.txt;last.txt;overrun.bin;");
  EXPECT_EQ(percents.back(), 100);
}

TEST_F(UnpackTest, NeverWritesWhereAHostileNamePoints) {
  Write("sentinel.txt", "sentinel");
  std::vector<TEntry> entries;
  for (const char* name : {"../sentinel.txt",
                           "..\\sentinel.txt",
                           "sub/../../sentinel.txt",
                           "sub\\..\\..\\x",
                           ".../x",
                           "sub/. ./x",
                           ".. /sentinel.txt",
                           "/evil.txt",
                           "\\evil.txt",
                           "C:evil.txt",
                           "C:\\evil.txt",
                           "C:/evil.txt",
                           "\\\\server\\share\\x",
                           "//server/share/x",
                           "x.txt:stream",
                           "CON",
                           "nul.txt",
                           "Aux .log",
                           "sub/com1",
                           "LPT9.",
                           "prn",
                           "a<b",
                           "a>b",
                           "a\"b",
                           "a|b",
                           "a?b",
                           "a*b",
                           "a\001b",
                           "tab\tname"}) {
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
