#pragma once
// Archives for the unpack tests: made with libzip, or laid out byte by byte with the faults
// libzip would never write.

#include <gtest/gtest.h>
#include <zip.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ovix::test {

namespace fs = std::filesystem;

struct TEntry {
  std::string name;  // a name ending in "/" is a directory
  std::string data;
  bool link = false;  // stored as a Unix symbolic link to `data`
};

struct TZipDiscard {
  void operator()(zip_t* zip) const { zip_discard(zip); }
};

// Writes an archive with libzip (deflated members).
inline void WriteZip(const fs::path& file, const std::vector<TEntry>& entries) {
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

// `data` deflated raw, as ZIP members hold it.
inline std::string Deflated(const std::string& data) {
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY),
            Z_OK);
  std::string out(deflateBound(&stream, data.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

// A stored or deflated member laid out by hand, with the faults libzip would never write.
struct TRawMember {
  std::string name;
  std::string data;
  std::optional<std::uint32_t> declaredSize;  // the uncompressed size stated
  std::uint32_t extraCompressed = 0;          // stated compressed size beyond the data
  std::optional<std::size_t> headerOf;        // points at an earlier member's local header
  bool damaged = false;                       // a data byte changed after the CRC was taken
  bool deflated = false;
};

struct TRawLayout {
  std::string prefix;  // bytes before the archive, offsets adjusted as self-extractors do
  std::string comment;
  bool descriptors = false;  // sizes and CRC after the data instead of in the local header
  bool zip64 = false;
  std::optional<std::uint16_t> claimedEntries;
};

inline void Put(std::string& out, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline std::string RawZip(const std::vector<TRawMember>& members, const TRawLayout& layout = {}) {
  std::string out = layout.prefix, directory;
  std::vector<std::uint64_t> offsets;
  const std::uint32_t big = layout.zip64 ? 0xFFFFFFFF : 0;
  for (const TRawMember& m : members) {
    const std::uint32_t crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(m.data.data()), static_cast<uInt>(m.data.size())));
    const std::string stored = m.deflated ? Deflated(m.data) : m.data;
    const std::uint64_t size = stored.size() + m.extraCompressed;
    const std::uint64_t declared =
        m.declaredSize.value_or(static_cast<std::uint32_t>(m.data.size()));
    offsets.push_back(m.headerOf ? offsets[*m.headerOf] : out.size());
    const auto header = [&](std::string& to, std::uint32_t signature, bool central) {
      Put(to, signature, 4);
      if (central) Put(to, 20, 2);
      Put(to, layout.zip64 ? 45 : 20, 2);
      Put(to, layout.descriptors ? 8 : 0, 2);
      Put(to, m.deflated ? 8 : 0, 2), Put(to, 0, 2), Put(to, 0x21, 2);  // 1980-01-01
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
      out += stored;
      // A deflated member's first bit tells whether its first block is its last.
      if (m.damaged) out[out.size() - (m.deflated ? stored.size() : 1)] ^= 1;
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

// Names that climb out, name a drive, a share, a device or a stream, or hold characters
// Windows forbids.
inline std::vector<std::string> HostileMemberNames() {
  std::vector<std::string> names = {"../sentinel.txt",
                                    "..\\sentinel.txt",
                                    "sub/../../sentinel.txt",
                                    "sub\\..\\..\\x",
                                    "a/b/../../../x",
                                    "./../x",
                                    "..",
                                    "../",
                                    "...",
                                    ".../x",
                                    "sub/. ./x",
                                    ".. /sentinel.txt",
                                    " ../x",
                                    "/evil.txt",
                                    "\\evil.txt",
                                    "/",
                                    "\\",
                                    "",
                                    "C:evil.txt",
                                    "C:\\evil.txt",
                                    "C:/evil.txt",
                                    "c:..\\x",
                                    "z:/x",
                                    "\\\\server\\share\\x",
                                    "//server/share/x",
                                    "\\\\?\\C:\\x",
                                    "\\\\.\\pipe\\x",
                                    "\\??\\C:\\x",
                                    "x.txt:stream",
                                    "x.txt::$DATA",
                                    "CON",
                                    "nul.txt",
                                    "Aux .log",
                                    "sub/com1",
                                    "LPT9.",
                                    "prn",
                                    "CONIN$",
                                    "conout$.txt",
                                    "COM\xC2\xB9",
                                    "lpt\xC2\xB3.txt",
                                    "a<b",
                                    "a>b",
                                    "a\"b",
                                    "a|b",
                                    "a?b",
                                    "a*b",
                                    "a\001b",
                                    "tab\tname",
                                    "new\nline"};
  std::string deep;
  for (int i = 0; i < 40; ++i) deep += "d/";
  for (int i = 0; i < 41; ++i) deep += "../";
  names.push_back(deep + "x");
  return names;
}

}  // namespace ovix::test
