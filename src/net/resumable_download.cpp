#include "net/resumable_download.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <string_view>

#include "os/files.h"
#include "os/process.h"
#include "os/text.h"
#include "trust/sha256.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;

// Records of the first form named no size, so what they kept is started over.
constexpr std::string_view kRecordHeader = "ovix-resume 2";
// A download not taken up again for this long is not coming back.
constexpr auto kAbandonedAfter = std::chrono::hours(24 * 14);

struct TRecord {
  std::string url;
  std::string destination;
  std::uint64_t process = 0;
  std::string validator;
  std::uint64_t total = 0;
};

// Header, address, destination, process, validator, the whole file's size: one a line.
std::optional<TRecord> ReadRecord(const fs::path& file) {
  const std::optional<std::string> text = ReadWholeFile(file);
  if (!text) return std::nullopt;
  std::istringstream in(*text);
  std::string header, process, total;
  TRecord record;
  if (!std::getline(in, header) || header != kRecordHeader || !std::getline(in, record.url) ||
      !std::getline(in, record.destination) || !std::getline(in, process) ||
      !std::getline(in, record.validator) || !std::getline(in, total)) {
    return std::nullopt;
  }
  const std::optional<std::uint64_t> processNumber = DecimalNumber(process);
  const std::optional<std::uint64_t> totalNumber = DecimalNumber(total);
  if (!processNumber || !totalNumber) return std::nullopt;
  record.process = *processNumber;
  record.total = *totalNumber;
  return record;
}

void RemoveAbandoned(const fs::path& folder) {
  const auto now = fs::file_time_type::clock::now();
  std::error_code error;
  for (auto it = fs::directory_iterator(folder, error); !error && it != fs::directory_iterator();
       it.increment(error)) {
    std::error_code ignored;
    const auto written = it->last_write_time(ignored);
    if (!ignored && it->is_regular_file(ignored) && now - written > kAbandonedAfter) {
      fs::remove(it->path(), ignored);
    }
  }
}

}  // namespace

TResumableDownload::TResumableDownload(fs::path partial, fs::path record, std::string url,
                                       std::string destination)
    : partial_(std::move(partial)),
      record_(std::move(record)),
      url_(std::move(url)),
      destination_(std::move(destination)) {}

std::optional<TResumableDownload> TResumableDownload::Open(const fs::path& folder,
                                                           const std::string& url,
                                                           const std::string& destination) {
  // Addresses and paths hold any character: the names are made of their digest.
  const std::optional<std::string> key = Sha256OfText(url + '\n' + destination);
  std::error_code error;
  fs::create_directories(folder, error);
  if (!key || error) return std::nullopt;
  RemoveAbandoned(folder);
  RemoveStalePartialFiles(folder);  // records a kill cut off while they were written
  const std::string name = key->substr(0, 32);
  TResumableDownload download(folder / (name + ".part"), folder / (name + ".resume"), url,
                              destination);
  if (const std::optional<TRecord> record = ReadRecord(download.record_)) {
    if (record->process != CurrentProcessId() && IsProcessAlive(record->process)) {
      return std::nullopt;
    }
    // A digest shared by two downloads would be a marvel; still, never mix their bytes.
    if (record->url == url && record->destination == destination) {
      download.validator_ = record->validator;
      download.total_ = record->total;
    }
  }
  // Claimed for this process, before a byte is written.
  if (!download.WriteRecord()) return std::nullopt;
  return download;
}

TResumePoint TResumableDownload::Point() const {
  TResumePoint point;
  std::error_code error;
  const std::uintmax_t size = fs::file_size(partial_, error);
  if (CanContinue() && !error && size > 0 && size < total_) {
    point.offset = size;
    point.validator = validator_;
    point.total = total_;
  }
  return point;
}

void TResumableDownload::Update(const TResumePoint& point) {
  if (!point.responded) return;
  // Bytes of unknown size cannot be continued: an answer of the wrong length could pass.
  const std::string validator = point.responseTotal > 0 ? point.responseValidator : std::string();
  if (validator == validator_ && point.responseTotal == total_) return;
  validator_ = validator;
  total_ = point.responseTotal;
  WriteRecord();
}

void TResumableDownload::Forget() {
  std::error_code ignored;
  fs::remove(partial_, ignored);
  fs::remove(record_, ignored);
}

bool TResumableDownload::WriteRecord() const {
  // Replaced in one step: a record cut off by a kill would not read, and lose the bytes.
  const fs::path written = PartialFileBeside(record_);
  {
    std::ofstream out(written, std::ios::binary | std::ios::trunc);
    out << kRecordHeader << '\n'
        << url_ << '\n'
        << destination_ << '\n'
        << CurrentProcessId() << '\n'
        << validator_ << '\n'
        << total_ << '\n';
    if (!out.flush()) {
      std::error_code ignored;
      fs::remove(written, ignored);
      return false;
    }
  }
  if (MoveReplacing(written, record_)) return true;
  std::error_code ignored;
  fs::remove(written, ignored);
  return false;
}

}  // namespace ovix
