#include "game/pe_version.h"

#include <algorithm>
#include <fstream>
#include <vector>

namespace ovix {
namespace {

constexpr std::uint16_t kDosMagic = 0x5A4D;         // "MZ"
constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kResourceDirectory = 2;  // index in the data directories
constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kSubdirectory = 0x80000000;
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr std::size_t kFixedInfoSize = 52;
constexpr std::size_t kSectionHeaderSize = 40;

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t U32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Where an RVA lies in the file, and how many bytes of its section follow it there.
struct FileRange {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

class PeWalker {
 public:
  explicit PeWalker(const ByteSource& source) : source_(source) {}

  std::optional<FileVersion> Run() {
    std::uint8_t dos[64];
    if (!Read(0, dos)) return std::nullopt;
    if (U16(dos) != kDosMagic) return std::nullopt;
    const std::uint64_t peOffset = U32(dos + 0x3C);

    std::uint8_t fileHeader[24];  // the signature and the COFF file header
    if (!Read(peOffset, fileHeader) || U32(fileHeader) != kPeSignature) return std::nullopt;
    const std::uint16_t sectionCount = U16(fileHeader + 6);
    const std::uint16_t optionalSize = U16(fileHeader + 20);
    const std::uint64_t optionalOffset = peOffset + sizeof fileHeader;

    std::uint8_t magic[2];
    if (!Read(optionalOffset, magic)) return std::nullopt;
    std::size_t directoriesAt = 0;  // offset of the data directories in the optional header
    if (U16(magic) == kPe32Magic) {
      directoriesAt = 96;
    } else if (U16(magic) == kPe32PlusMagic) {
      directoriesAt = 112;
    } else {
      return std::nullopt;
    }
    const std::size_t resourceEntryAt = directoriesAt + 8 * kResourceDirectory;
    if (optionalSize < resourceEntryAt + 8) return std::nullopt;
    std::uint8_t directoryCount[4];
    std::uint8_t resourceEntry[8];
    if (!Read(optionalOffset + directoriesAt - 4, directoryCount) ||
        U32(directoryCount) <= kResourceDirectory ||
        !Read(optionalOffset + resourceEntryAt, resourceEntry)) {
      return std::nullopt;
    }
    const std::uint32_t resourceRva = U32(resourceEntry);
    if (resourceRva == 0) return std::nullopt;

    // One read for the table, bounded by the file's size before anything is allocated.
    const std::uint64_t tableOffset = optionalOffset + optionalSize;
    const std::uint64_t tableSize = std::uint64_t{sectionCount} * kSectionHeaderSize;
    if (tableOffset > source_.Size() || tableSize > source_.Size() - tableOffset) {
      return std::nullopt;
    }
    sections_.resize(static_cast<std::size_t>(tableSize));
    if (!Read(tableOffset, sections_)) return std::nullopt;

    const std::optional<FileRange> directory = Locate(resourceRva);
    if (!directory) return std::nullopt;
    directory_ = *directory;
    return FindVersion();
  }

 private:
  bool Read(std::uint64_t offset, std::span<std::uint8_t> out) const {
    const std::uint64_t size = source_.Size();
    return offset <= size && out.size() <= size - offset && source_.Read(offset, out);
  }

  std::optional<FileRange> Locate(std::uint32_t rva) const {
    for (std::size_t at = 0; at + kSectionHeaderSize <= sections_.size();
         at += kSectionHeaderSize) {
      const std::uint8_t* header = sections_.data() + at;
      const std::uint32_t virtualAddress = U32(header + 12);
      const std::uint32_t rawSize = U32(header + 16);
      const std::uint32_t rawOffset = U32(header + 20);
      if (rva < virtualAddress || rva - virtualAddress >= rawSize) continue;
      const std::uint64_t offset = std::uint64_t{rawOffset} + (rva - virtualAddress);
      const std::uint64_t fileSize = source_.Size();
      if (offset >= fileSize) return std::nullopt;
      return FileRange{
          offset, std::min<std::uint64_t>(rawSize - (rva - virtualAddress), fileSize - offset)};
    }
    return std::nullopt;
  }

  // Reads `out` at an offset relative to the start of the resource directory, inside the
  // section that holds it.
  bool ReadInDirectory(std::uint64_t offset, std::span<std::uint8_t> out) const {
    return offset <= directory_.size && out.size() <= directory_.size - offset &&
           Read(directory_.offset + offset, out);
  }

  // The entries of one directory table: the count and where the first entry lies.
  std::optional<std::pair<std::uint32_t, std::uint64_t>> Table(std::uint32_t offset) const {
    std::uint8_t header[16];
    if (!ReadInDirectory(offset, header)) return std::nullopt;
    const std::uint32_t count = std::uint32_t{U16(header + 12)} + U16(header + 14);
    return std::pair{count, std::uint64_t{offset} + sizeof header};
  }

  bool Entry(std::uint64_t at, std::uint32_t& name, std::uint32_t& target) const {
    std::uint8_t entry[8];
    if (!ReadInDirectory(at, entry)) return false;
    name = U32(entry);
    target = U32(entry + 4);
    return true;
  }

  std::optional<FileVersion> FindVersion() const {
    // Level 1: the type; named types come first, version resources have the number 16.
    const auto types = Table(0);
    if (!types) return std::nullopt;
    std::optional<std::uint32_t> names;
    for (std::uint32_t i = 0; i < types->first && !names; ++i) {
      std::uint32_t name = 0;
      std::uint32_t target = 0;
      if (!Entry(types->second + std::uint64_t{i} * 8, name, target)) return std::nullopt;
      if (name == kRtVersion && (target & kSubdirectory) != 0) names = target & ~kSubdirectory;
    }
    if (!names) return std::nullopt;

    // Levels 2 and 3: the first name, then its first language, which holds the data entry.
    std::uint32_t offset = *names;
    for (int level = 2; level <= 3; ++level) {
      const auto table = Table(offset);
      if (!table || table->first == 0) return std::nullopt;
      std::uint32_t name = 0;
      std::uint32_t target = 0;
      if (!Entry(table->second, name, target)) return std::nullopt;
      const bool wantSubdirectory = level == 2;
      if (((target & kSubdirectory) != 0) != wantSubdirectory) return std::nullopt;
      offset = target & ~kSubdirectory;
    }

    std::uint8_t dataEntry[16];
    if (!ReadInDirectory(offset, dataEntry)) return std::nullopt;
    const std::optional<FileRange> data = Locate(U32(dataEntry));
    if (!data) return std::nullopt;
    return ParseVersionInfo(*data, U32(dataEntry + 4));
  }

  // VS_VERSIONINFO: length, value length, type, a NUL-terminated UTF-16 key, padding to a
  // 32-bit boundary, then the VS_FIXEDFILEINFO value.
  std::optional<FileVersion> ParseVersionInfo(FileRange data, std::uint32_t declared) const {
    std::uint8_t header[6];
    const std::uint64_t available = std::min<std::uint64_t>(data.size, declared);
    if (available < sizeof header || !Read(data.offset, header)) return std::nullopt;
    const std::uint64_t length = std::min<std::uint64_t>(U16(header), available);
    if (U16(header + 2) < kFixedInfoSize) return std::nullopt;
    std::vector<std::uint8_t> block(static_cast<std::size_t>(length));
    if (!Read(data.offset, block)) return std::nullopt;

    std::size_t at = sizeof header;
    while (at + 2 <= block.size() && U16(block.data() + at) != 0) at += 2;
    at += 2;  // the terminator
    at = (at + 3) &
         ~std::size_t{3};  // the block starts 32-bit aligned, so offsets align the same way
    if (at > block.size() || block.size() - at < kFixedInfoSize) return std::nullopt;
    const std::uint8_t* fixed = block.data() + at;
    if (U32(fixed) != kFixedInfoSignature) return std::nullopt;
    const std::uint32_t ms = U32(fixed + 8);
    const std::uint32_t ls = U32(fixed + 12);
    return FileVersion{static_cast<std::uint16_t>(ms >> 16), static_cast<std::uint16_t>(ms),
                       static_cast<std::uint16_t>(ls >> 16), static_cast<std::uint16_t>(ls)};
  }

  const ByteSource& source_;
  std::vector<std::uint8_t> sections_;
  FileRange directory_;
};

class SpanSource final : public ByteSource {
 public:
  explicit SpanSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  bool Read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
    if (offset > bytes_.size() || out.size() > bytes_.size() - offset) return false;
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    return true;
  }

 private:
  std::span<const std::uint8_t> bytes_;
};

class FileSource final : public ByteSource {
 public:
  explicit FileSource(const std::filesystem::path& file) : stream_(file, std::ios::binary) {
    if (stream_ && stream_.seekg(0, std::ios::end)) {
      const std::streamoff end = stream_.tellg();
      if (end > 0) size_ = static_cast<std::uint64_t>(end);
    }
  }
  std::uint64_t Size() const override { return size_; }
  bool Read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
    if (offset > size_ || out.size() > size_ - offset) return false;
    stream_.clear();
    return static_cast<bool>(stream_.seekg(static_cast<std::streamoff>(offset))) &&
           stream_.read(reinterpret_cast<char*>(out.data()),
                        static_cast<std::streamsize>(out.size())) &&
           stream_.gcount() == static_cast<std::streamsize>(out.size());
  }

 private:
  mutable std::ifstream stream_;
  std::uint64_t size_ = 0;
};

}  // namespace

std::optional<FileVersion> ReadPeFileVersion(const ByteSource& source) {
  return PeWalker(source).Run();
}

std::optional<FileVersion> ReadPeFileVersion(std::span<const std::uint8_t> image) {
  return ReadPeFileVersion(SpanSource(image));
}

std::optional<FileVersion> ReadPeFileVersionFromFile(const std::filesystem::path& file) {
  std::error_code error;
  // A folder opens as a stream on some systems; only regular files are executables.
  if (!std::filesystem::is_regular_file(file, error)) return std::nullopt;
  return ReadPeFileVersion(FileSource(file));
}

}  // namespace ovix
