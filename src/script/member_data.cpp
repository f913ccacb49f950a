#include "script/member_data.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <span>

namespace ovix {
namespace {

constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;
constexpr std::uint16_t kEncryptedFlag = 1;
// A streamed member's reads: large, so a member costs few calls.
constexpr std::size_t kStreamReadSize = 1024 * 1024;
constexpr std::size_t kStreamOutSize = 256 * 1024;

bool Put(std::FILE* out, std::span<const unsigned char> bytes) {
  return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
}

// zlib's stream state, ended however the member ends.
class TZlibStream {
 public:
  TZlibStream() { ok_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK; }
  ~TZlibStream() {
    if (ok_) inflateEnd(&stream_);
  }
  TZlibStream(const TZlibStream&) = delete;
  TZlibStream& operator=(const TZlibStream&) = delete;
  bool Ok() const { return ok_; }
  z_stream& Get() { return stream_; }

 private:
  z_stream stream_{};
  bool ok_ = false;
};

}  // namespace

struct TMemberDataReader::TInflater {
  struct TFree {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
  };
  std::unique_ptr<libdeflate_decompressor, TFree> whole{libdeflate_alloc_decompressor()};
};

TMemberDataReader::TMemberDataReader(const TArchiveReader& read, std::uint64_t archiveSize,
                                     std::size_t wholeLimit)
    : read_(read),
      archiveSize_(archiveSize),
      wholeLimit_(wholeLimit),
      inflater_(std::make_unique<TInflater>()) {}

TMemberDataReader::~TMemberDataReader() = default;

bool TMemberDataReader::Takes(const TMemberPlace& place) {
  return place.dataOffset != 0 && (place.flags & kEncryptedFlag) == 0 &&
         (place.method == kStored || place.method == kDeflated);
}

TMemberWrite TMemberDataReader::Write(const TMemberPlace& place, std::FILE* out) {
  if (place.dataOffset > archiveSize_ || place.compressedSize > archiveSize_ - place.dataOffset) {
    return TMemberWrite::Damaged;
  }
  if (place.method == kStored && place.compressedSize != place.size) return TMemberWrite::Damaged;
  const bool fits = place.size <= wholeLimit_ && place.compressedSize <= wholeLimit_ - place.size;
  return fits && inflater_->whole ? WriteWhole(place, out) : Stream(place, out);
}

std::span<unsigned char> TMemberDataReader::Buffer() {
  // Made once, at the limit, and not filled: only the pages members use are ever touched,
  // and no reallocation leaves a freed copy resident beside the new one.
  if (!buffer_) {
    bufferSize_ = std::max(wholeLimit_, kStreamReadSize + kStreamOutSize);
    buffer_ = std::make_unique_for_overwrite<unsigned char[]>(bufferSize_);
  }
  return {buffer_.get(), bufferSize_};
}

TMemberWrite TMemberDataReader::WriteWhole(const TMemberPlace& place, std::FILE* out) {
  const auto compressedSize = static_cast<std::size_t>(place.compressedSize);
  const auto size = static_cast<std::size_t>(place.size);
  const std::span<unsigned char> buffer = Buffer();
  const std::span<unsigned char> in = buffer.first(compressedSize);
  if (!read_(place.dataOffset, in)) return TMemberWrite::Damaged;
  std::span<const unsigned char> data = in;
  if (place.method == kDeflated) {
    const std::span<unsigned char> inflated = buffer.subspan(compressedSize, size);
    std::size_t inflatedSize = 0;
    if (libdeflate_deflate_decompress(inflater_->whole.get(), in.data(), in.size(), inflated.data(),
                                      inflated.size(), &inflatedSize) != LIBDEFLATE_SUCCESS ||
        inflatedSize != size) {
      return TMemberWrite::Damaged;
    }
    data = inflated;
  }
  if (libdeflate_crc32(0, data.data(), data.size()) != place.crc) return TMemberWrite::Damaged;
  return Put(out, data) ? TMemberWrite::Written : TMemberWrite::WriteFailed;
}

TMemberWrite TMemberDataReader::Stream(const TMemberPlace& place, std::FILE* out) {
  const std::span<unsigned char> buffer = Buffer();
  const std::span<unsigned char> read = buffer.first(kStreamReadSize);
  const std::span<unsigned char> inflated = buffer.subspan(kStreamReadSize, kStreamOutSize);
  TZlibStream zlib;
  if (place.method == kDeflated && !zlib.Ok()) return TMemberWrite::Damaged;
  z_stream& stream = zlib.Get();
  std::uint32_t crc = 0;
  std::uint64_t written = 0;
  bool ended = false;  // deflated: zlib met the stream's end
  // Takes inflated or stored bytes on their way to the file.
  const auto take = [&](std::span<const unsigned char> bytes) {
    written += bytes.size();
    if (written > place.size) return TMemberWrite::Damaged;
    crc = libdeflate_crc32(crc, bytes.data(), bytes.size());
    return Put(out, bytes) ? TMemberWrite::Written : TMemberWrite::WriteFailed;
  };
  for (std::uint64_t done = 0; done < place.compressedSize && !ended;) {
    const auto count = static_cast<std::size_t>(
        std::min<std::uint64_t>(kStreamReadSize, place.compressedSize - done));
    const std::span<unsigned char> in = read.first(count);
    if (!read_(place.dataOffset + done, in)) return TMemberWrite::Damaged;
    done += count;
    if (place.method == kStored) {
      if (const TMemberWrite result = take(in); result != TMemberWrite::Written) return result;
      continue;
    }
    stream.next_in = in.data();
    stream.avail_in = static_cast<uInt>(count);
    // Until the input is used up and zlib holds nothing more for a full output buffer.
    do {
      stream.next_out = inflated.data();
      stream.avail_out = static_cast<uInt>(inflated.size());
      const int status = inflate(&stream, Z_NO_FLUSH);
      if (status == Z_BUF_ERROR && stream.avail_in == 0) break;  // wants the next read
      if (status != Z_OK && status != Z_STREAM_END) return TMemberWrite::Damaged;
      ended = status == Z_STREAM_END;
      const std::size_t produced = inflated.size() - stream.avail_out;
      if (const TMemberWrite result = take(inflated.first(produced));
          result != TMemberWrite::Written) {
        return result;
      }
    } while (!ended && (stream.avail_in > 0 || stream.avail_out == 0));
  }
  // A stored member ends with its data; a deflated one must reach its stream's end.
  if ((place.method == kDeflated && !ended) || written != place.size || crc != place.crc) {
    return TMemberWrite::Damaged;
  }
  return TMemberWrite::Written;
}

}  // namespace ovix
