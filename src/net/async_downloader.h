#pragma once
// One download of one address into one file, on a worker thread of its own.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "net/resumable_download.h"
#include "net/transfer_codes.h"
#include "net/transport.h"
#include "trust/minisign.h"
#include "ui/application.h"

namespace ovix {

// Receives the downloaded text on the UI thread.
using TAsyncDownloadCallback = std::function<void(const std::string& data)>;

class TAsyncDownloader;

// Keeps the downloaders that delete themselves until their bodies have ended,
// so that shutdown can wait for every worker.
class TDownloadRegistry {
 public:
  ~TDownloadRegistry();
  void Adopt(std::unique_ptr<TAsyncDownloader> downloader);
  // Frees the downloaders that have finished.
  void Reap();
  // Waits for every kept downloader; call after the application has terminated.
  void JoinAll();
  std::size_t Count();

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<TAsyncDownloader>> running_;
};

// What a downloader needs of the window.
class TDownloadHost {
 public:
  virtual ui::Application& App() = 0;
  virtual TTransport& Transport() = 0;
  virtual TDownloadRegistry& Downloads() = 0;
  // The progress step (on the UI thread): the bar's maximum, then its position.
  virtual void DownloadProgress(std::int64_t received, std::int64_t total) = 0;
  // The download-error handler (on the UI thread).
  virtual void DownloadFailed(std::uint32_t code, const std::string& url) = 0;
  // An answer taken by a callback was refused for want of a trusted signature (on the UI
  // thread); the callback still gets it, empty, as any answer that did not arrive.
  virtual void AnswerNotSigned(const std::string& url) { static_cast<void>(url); }

 protected:
  ~TDownloadHost() = default;
};

class TAsyncDownloader {
 public:
  // Suspended; its owner starts it (Start or Download), waits for Finished and destroys it.
  // Started with Start, it downloads into a temporary file of its own, removed with it.
  TAsyncDownloader(TDownloadHost& host, std::string url);
  // Starts at once and is freed once its body has ended; the caller keeps nothing.
  // With keys, the answer must be signed by one of them (see RequireSignature).
  static void Create(TDownloadHost& host, std::string url, TAsyncDownloadCallback callback,
                     std::vector<TPublicKey> keys = {});
  // Waits for a started body to end; a never-started downloader just goes.
  ~TAsyncDownloader();
  TAsyncDownloader(const TAsyncDownloader&) = delete;
  TAsyncDownloader& operator=(const TAsyncDownloader&) = delete;

  void Start();
  // Downloads into the given file instead of the temporary one, and starts.
  void Download(std::string destination);
  // Before Download: the file is moved into place only when its SHA-256 is this one (64
  // lower-case hexadecimal digits); else it fails with kTransferWrongContent.
  void ExpectSha256(std::string digest) { expectedSha256_ = std::move(digest); }
  // Before starting: the answer counts only with a valid signature by one of these keys in
  // `<url>.minisig`, checked on the bytes received; else it fails with kTransferNotSigned.
  // Without keys nothing is asked.
  void RequireSignature(std::vector<TPublicKey> keys) { trustedKeys_ = std::move(keys); }
  // Before Download: what is received is kept in `folder` until the file is complete, so
  // that a download cut off, here or in an earlier run, continues where it stopped (see
  // TResumableDownload). Without it a failed download leaves nothing.
  void ResumeIn(std::filesystem::path folder) { resumeFolder_ = std::move(folder); }
  // The pauses before each new try of a transfer whose connection was lost; one try more
  // than pauses is made. For tests, which cannot wait for the real ones.
  void RetryPauses(std::vector<std::chrono::milliseconds> pauses) {
    retryPauses_ = std::move(pauses);
  }
  // True once the body has ended; then the file and every handed-over step are complete.
  bool Finished() const { return finished_.load(std::memory_order_acquire); }
  // The destination file's text, decoded by its byte-order mark; empty when there is no file.
  std::string GetString() const;

  const std::string& URL() const { return url_; }
  const std::string& Destination() const { return destination_; }
  // The result of the transfer, once Finished; a failure until the transfer says otherwise.
  std::uint32_t Result() const { return result_; }

 private:
  void Execute();
  // Hands the outcome over: the callback's text, or the bar's last step and the failure.
  void Report();
  std::uint32_t Transfer();
  // Fetches into `partial`, again after a lost connection, continuing when `resumable`.
  std::uint32_t FetchWithRetries(const std::filesystem::path& partial,
                                 TResumableDownload* resumable);
  // False when the program ends during the pause.
  bool PauseBeforeRetry(std::chrono::milliseconds pause);
  // kTransferOk when the file's signature holds, else kTransferNotSigned.
  std::uint32_t CheckSignature(const std::filesystem::path& file);
  bool OnProgress(std::uint64_t received, std::uint64_t total);

  TDownloadHost& host_;
  std::string url_;
  std::string destination_;
  std::string expectedSha256_;
  std::vector<TPublicKey> trustedKeys_;
  std::optional<std::filesystem::path> resumeFolder_;
  std::vector<std::chrono::milliseconds> retryPauses_{
      std::chrono::seconds(1), std::chrono::seconds(2), std::chrono::seconds(4)};
  // The try in progress: what its response said, recorded once its body begins.
  TResumePoint point_;
  TResumableDownload* resumable_ = nullptr;
  TAsyncDownloadCallback callback_;
  std::thread thread_;
  std::atomic<bool> finished_{false};
  bool ownsDestination_ = true;  // the temporary file, not one a caller named
  std::uint32_t result_ = kTransferFailed;
  bool tooLarge_ = false;  // an answer past kAnswerLimit, cut off
  // Hand-overs are only made when the bar can show a change.
  std::int64_t shownTotal_ = -1;
  int shownPermille_ = -1;
  std::int64_t shownPosition_ = -1;
  std::chrono::steady_clock::time_point shownAt_;
  // The last step the transport reported, handed over at the end if it was held back.
  std::int64_t latestTotal_ = -1;
  std::int64_t latestPosition_ = -1;
};

// "Ovix_Updater_" + milliseconds since local midnight + ".tmp" in the temporary
// directory; a second name asked for in the same millisecond gets a suffix.
std::string TemporaryDownloadName(const std::string& tempDirectory, int millisecondsSinceMidnight);

}  // namespace ovix
