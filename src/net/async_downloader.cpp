#include "net/async_downloader.h"

#include <algorithm>
#include <climits>
#include <set>

#include "net/text_decoding.h"
#include "net/transfer_codes.h"
#include "os/clock.h"
#include "os/files.h"
#include "os/folders.h"
#include "trust/minisign.h"
#include "trust/sha256.h"

namespace ovix {
namespace {

using namespace std::chrono_literals;

// Between hand-overs when the total is unknown and only the position moves.
constexpr auto kUnknownTotalInterval = 100ms;
// About one screen refresh.
constexpr auto kFrameInterval = 15ms;
// How often a pause before a new try looks whether the program is closing.
constexpr auto kRetryPauseStep = 50ms;

std::int64_t ClampToBar(std::uint64_t value) {
  return static_cast<std::int64_t>(std::min<std::uint64_t>(value, INT_MAX));
}

}  // namespace

std::string TemporaryDownloadName(const std::string& tempDirectory, int millisecondsSinceMidnight) {
  static std::mutex mutex;
  static std::set<std::string> issued;
  const std::string base =
      tempDirectory + "\\Ovix_Updater_" + std::to_string(millisecondsSinceMidnight);
  std::lock_guard lock(mutex);
  std::string name = base + ".tmp";
  for (int n = 1; !issued.insert(name).second; ++n) name = base + "_" + std::to_string(n) + ".tmp";
  return name;
}

TDownloadRegistry::~TDownloadRegistry() { JoinAll(); }

void TDownloadRegistry::Adopt(std::unique_ptr<TAsyncDownloader> downloader) {
  std::lock_guard lock(mutex_);
  running_.push_back(std::move(downloader));
}

void TDownloadRegistry::Reap() {
  std::vector<std::unique_ptr<TAsyncDownloader>> finished;
  {
    std::lock_guard lock(mutex_);
    auto split = std::stable_partition(running_.begin(), running_.end(),
                                       [](const auto& d) { return !d->Finished(); });
    std::move(split, running_.end(), std::back_inserter(finished));
    running_.erase(split, running_.end());
  }
  // Joined and freed outside the lock.
}

void TDownloadRegistry::JoinAll() {
  std::vector<std::unique_ptr<TAsyncDownloader>> all;
  {
    std::lock_guard lock(mutex_);
    all.swap(running_);
  }
}

std::size_t TDownloadRegistry::Count() {
  std::lock_guard lock(mutex_);
  return running_.size();
}

TAsyncDownloader::TAsyncDownloader(TDownloadHost& host, std::string url)
    : host_(host),
      url_(std::move(url)),
      destination_(TemporaryDownloadName(GetTempDirectory(), LocalMillisecondsSinceMidnight())) {}

void TAsyncDownloader::Create(TDownloadHost& host, std::string url, TAsyncDownloadCallback callback,
                              std::vector<TPublicKey> keys) {
  host.Downloads().Reap();
  auto downloader = std::make_unique<TAsyncDownloader>(host, std::move(url));
  downloader->callback_ = std::move(callback);
  downloader->trustedKeys_ = std::move(keys);
  TAsyncDownloader& started = *downloader;
  host.Downloads().Adopt(std::move(downloader));
  // Everything is in place before the body begins.
  started.Start();
}

TAsyncDownloader::~TAsyncDownloader() {
  if (thread_.joinable()) {
    // The body may be waiting for the UI thread to take a step; serve it meanwhile.
    if (host_.App().IsUiThread()) host_.App().ServeHandOversUntil([this] { return Finished(); });
    thread_.join();
  }
  // Nothing reads an answer's temporary file once its text is taken: it would only pile up.
  if (const std::optional<std::filesystem::path> file = LocalPath(destination_);
      file && ownsDestination_) {
    std::error_code ignored;
    std::filesystem::remove(*file, ignored);
  }
}

void TAsyncDownloader::Start() {
  if (thread_.joinable()) return;
  thread_ = std::thread([this] { Execute(); });
}

void TAsyncDownloader::Download(std::string destination) {
  destination_ = std::move(destination);
  ownsDestination_ = false;
  Start();
}

void TAsyncDownloader::Execute() {
  // Whatever goes wrong in the body (a bad_alloc on a 32-bit system) is a failed transfer,
  // never a success.
  try {
    result_ = Transfer();
    if (tooLarge_) result_ = kTransferTooLarge;
  } catch (...) {
    result_ = kTransferFailed;
  }
  try {
    Report();
  } catch (...) {
    // A hand-over that cannot be made ends the body silently.
  }
  finished_.store(true, std::memory_order_release);
  host_.App().Wake();
}

void TAsyncDownloader::Report() {
  if (callback_) {
    // Only a transfer that succeeded has an answer: what stands at the destination otherwise
    // is no answer of this service.
    std::string text;
    if (result_ == kTransferOk) {
      try {
        text = GetString();
      } catch (...) {
        result_ = kTransferFailed;
      }
    }
    if (result_ == kTransferNotSigned)
      host_.App().Synchronize([&] { host_.AnswerNotSigned(url_); });
    host_.App().Synchronize([&] { callback_(text); });
    return;
  }
  if (result_ == kTransferAborted) return;
  // The throttle may have held the last step back: the bar ends where the transfer did.
  if (latestTotal_ >= 0 && (latestPosition_ != shownPosition_ || latestTotal_ != shownTotal_)) {
    host_.App().Synchronize([&] { host_.DownloadProgress(latestPosition_, latestTotal_); });
  }
  if (result_ != kTransferOk) {
    const std::uint32_t code = result_;
    host_.App().Synchronize([&] { host_.DownloadFailed(code, url_); });
  }
}

std::uint32_t TAsyncDownloader::Transfer() {
  const std::optional<std::filesystem::path> destination = LocalPath(destination_);
  if (!destination) return kTransferFailed;
  std::optional<TResumableDownload> resumable;
  if (resumeFolder_) resumable = TResumableDownload::Open(*resumeFolder_, url_, destination_);
  const std::filesystem::path partial =
      resumable ? resumable->PartialFile() : PartialFileBeside(*destination);
  std::uint32_t result = FetchWithRetries(partial, resumable ? &*resumable : nullptr);
  if (result == kTransferOk && !trustedKeys_.empty()) result = CheckSignature(partial);
  if (result == kTransferOk && !expectedSha256_.empty() &&
      Sha256OfFile(partial) != expectedSha256_) {
    result = kTransferWrongContent;
  }
  if (result == kTransferOk && !MoveOrCopyReplacing(partial, *destination)) {
    result = kTransferFailed;
  }
  if (!resumable) {
    std::error_code ignored;
    if (result != kTransferOk) std::filesystem::remove(partial, ignored);
  } else if (result == kTransferOk || result == kTransferWrongContent ||
             !resumable->CanContinue()) {
    // Complete, bytes that no continuing can mend, or bytes that cannot be continued.
    resumable->Forget();
  }
  return result;
}

std::uint32_t TAsyncDownloader::FetchWithRetries(const std::filesystem::path& partial,
                                                 TResumableDownload* resumable) {
  const auto progress = [this](std::uint64_t received, std::uint64_t total) {
    return OnProgress(received, total);
  };
  for (std::size_t attempt = 0;; ++attempt) {
    point_ = resumable ? resumable->Point() : TResumePoint{};
    resumable_ = resumable;
    const std::uint32_t result = host_.Transport().FetchResuming(url_, partial, progress, point_);
    resumable_ = nullptr;
    if (resumable) resumable->Update(point_);
    if (result != kTransferInterrupted) return result;
    if (attempt == retryPauses_.size()) return kTransferFailed;
    if (!PauseBeforeRetry(retryPauses_[attempt])) return kTransferAborted;
  }
}

bool TAsyncDownloader::PauseBeforeRetry(std::chrono::milliseconds pause) {
  // Short steps, so that a closing program is not kept waiting.
  const auto until = std::chrono::steady_clock::now() + pause;
  while (std::chrono::steady_clock::now() < until) {
    if (host_.App().Terminated()) return false;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        kRetryPauseStep, until - std::chrono::steady_clock::now()));
  }
  return !host_.App().Terminated();
}

std::uint32_t TAsyncDownloader::CheckSignature(const std::filesystem::path& file) {
  const std::filesystem::path signatureFile = PartialFileBeside(file);
  bool tooLarge = false;
  const std::uint32_t fetched = host_.Transport().Fetch(
      url_ + ".minisig", signatureFile, [&](std::uint64_t received, std::uint64_t total) {
        tooLarge = received > kSignatureLimit || total > kSignatureLimit;
        return !tooLarge && !host_.App().Terminated();
      });
  const std::optional<std::string> signature =
      fetched == kTransferOk ? ReadWholeFile(signatureFile) : std::nullopt;
  std::error_code ignored;
  std::filesystem::remove(signatureFile, ignored);
  if (fetched == kTransferAborted && !tooLarge) return kTransferAborted;
  const std::optional<std::string> bytes = ReadWholeFile(file);
  if (!signature || !bytes) return kTransferNotSigned;
  const auto message = std::span<const unsigned char>(
      reinterpret_cast<const unsigned char*>(bytes->data()), bytes->size());
  return CheckMinisign(message, *signature, trustedKeys_) == TSignatureCheck::Valid
             ? kTransferOk
             : kTransferNotSigned;
}

bool TAsyncDownloader::OnProgress(std::uint64_t received, std::uint64_t total) {
  // An answer is read whole into memory: one past any real answer's size is refused.
  if (ownsDestination_ && (received > kAnswerLimit || total > kAnswerLimit)) {
    tooLarge_ = true;
    return false;
  }
  // The validator is written down as the body begins, so that a kill from here on leaves
  // a file that can be continued.
  if (resumable_ != nullptr && point_.responded) {
    resumable_->Update(point_);
    resumable_ = nullptr;
  }
  if (!callback_) {
    const std::int64_t bar = ClampToBar(total);
    const std::int64_t position = ClampToBar(received);
    latestTotal_ = bar;
    latestPosition_ = position;
    const int permille =
        bar > 0 ? static_cast<int>(std::min<std::int64_t>(position, bar) * 1000 / bar) : -2;
    const auto now = std::chrono::steady_clock::now();
    // A change the bar can show, and no more often than a screen can show it;
    // the last position always goes through.
    const bool finalStep = bar > 0 && position >= bar && position != shownPosition_;
    const bool changed = bar != shownTotal_ || (bar > 0 && permille != shownPermille_) ||
                         (bar == 0 && now - shownAt_ >= kUnknownTotalInterval);
    const bool visible =
        bar != shownTotal_ || finalStep || (changed && now - shownAt_ >= kFrameInterval);
    if (visible) {
      shownTotal_ = bar;
      shownPermille_ = permille;
      shownPosition_ = position;
      shownAt_ = now;
      host_.App().Synchronize([&] { host_.DownloadProgress(position, bar); });
    }
  }
  return !host_.App().Terminated();
}

std::string TAsyncDownloader::GetString() const {
  const std::optional<std::filesystem::path> file = LocalPath(destination_);
  if (!file) return {};
  std::error_code error;
  if (!std::filesystem::is_regular_file(*file, error)) return {};
  const std::optional<std::string> bytes = ReadWholeFile(*file);
  return bytes ? DecodeText(*bytes) : std::string();
}

}  // namespace ovix
