// The Windows transport: WinINet read directly, with the cache bypassed. It is
// many times faster than the URL-moniker download under emulation and keeps the
// same contract: bytes and total to the progress step, abandon on request, and
// the URL-moniker family of failure codes.

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <type_traits>
#include <vector>

#include "net/range_headers.h"
#include "net/transfer_codes.h"
#include "net/transport.h"
#include "net/wininet_dll_win32.h"
#include "os/text.h"
#include "ovix_version.h"

namespace ovix {
namespace {

// A handle exists only once the calls have loaded.
struct InternetCloser {
  void operator()(HINTERNET handle) const { WinInetDll()->InternetCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<std::remove_pointer_t<HINTERNET>, InternetCloser>;

// The sessions of running transfers. Closing a session from another thread is
// how a blocking WinINet call is cut short.
class SessionList {
 public:
  HINTERNET Open(const WinInetApi& net) {
    std::lock_guard lock(mutex_);
    if (aborting_) return nullptr;
    HINTERNET session =
        net.InternetOpenW(L"" OVIX_USER_AGENT, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (session) open_.insert(session);
    return session;
  }
  void Close(HINTERNET session) {
    std::lock_guard lock(mutex_);
    if (open_.erase(session)) InternetCloser()(session);
  }
  void AbortAll() {
    std::lock_guard lock(mutex_);
    aborting_ = true;
    for (HINTERNET session : open_) InternetCloser()(session);
    open_.clear();
  }
  bool Aborting() {
    std::lock_guard lock(mutex_);
    return aborting_;
  }

 private:
  std::mutex mutex_;
  std::set<HINTERNET> open_;
  bool aborting_ = false;
};

// Closes the session at the end of a transfer unless an abort closed it first.
class SessionScope {
 public:
  SessionScope(SessionList& list, const WinInetApi& net) : list_(list), session_(list.Open(net)) {}
  ~SessionScope() {
    if (session_) list_.Close(session_);
  }
  SessionScope(const SessionScope&) = delete;
  SessionScope& operator=(const SessionScope&) = delete;
  HINTERNET Get() const { return session_; }

 private:
  SessionList& list_;
  HINTERNET session_;
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::uint32_t CodeForError(DWORD error) {
  switch (error) {
    case ERROR_INTERNET_INVALID_URL:
      return kTransferInvalidUrl;
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
      return kTransferUnknownProtocol;
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
      return kTransferNotFound;
    case ERROR_INTERNET_CANNOT_CONNECT:
      return kTransferCannotConnect;
    case ERROR_INTERNET_TIMEOUT:
      return kTransferTimeout;
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
      return kTransferSecurityProblem;
    case ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR:
    case ERROR_INTERNET_REDIRECT_SCHEME_CHANGE:
      return kTransferRedirectFailed;
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET:
      return kTransferInterrupted;
    default:
      return kTransferFailed;
  }
}

DWORD QueryNumber(const WinInetApi& net, HINTERNET request, DWORD what) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (!net.HttpQueryInfoW(request, what | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr)) {
    return 0;
  }
  return value;
}

std::wstring QueryText(const WinInetApi& net, HINTERNET request, DWORD what) {
  DWORD size = 0;
  net.HttpQueryInfoW(request, what, nullptr, &size, nullptr);
  if (size == 0) return {};
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  if (!net.HttpQueryInfoW(request, what, text.data(), &size, nullptr)) return {};
  text.resize(size / sizeof(wchar_t));
  return text;
}

// Resolves a Location header against the address it came from.
std::wstring ResolveLocation(const WinInetApi& net, const std::wstring& base,
                             const std::wstring& location) {
  wchar_t buffer[INTERNET_MAX_URL_LENGTH];
  DWORD length = INTERNET_MAX_URL_LENGTH;
  if (!net.InternetCombineUrlW(base.c_str(), location.c_str(), buffer, &length, ICU_NO_ENCODE)) {
    return {};
  }
  return std::wstring(buffer, length);
}

// One blocking transfer. It runs on a thread of its own, because a blocking
// WinINet call cannot always be cut short; the caller waits for it or gives up.
// What the response said (see TResumePoint) is set before the first progress step that
// counts its body.
std::uint32_t RunTransfer(const std::string& url, const std::filesystem::path& file,
                          SessionList& sessions, TResumePoint& point,
                          const TransferProgress& progress) {
  // Without the system's WinINet nothing can be reached.
  const WinInetApi* const loaded = WinInetDll();
  if (loaded == nullptr) return kTransferCannotConnect;
  const WinInetApi& net = *loaded;
  // Request handles close before their session (declared after it).
  SessionScope session(sessions, net);
  if (!session.Get()) return sessions.Aborting() ? kTransferAborted : CodeForError(GetLastError());
  DWORD timeout = kStallSeconds * 1000;
  net.InternetSetOptionW(session.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));
  DWORD connectTimeout = 30000;
  net.InternetSetOptionW(session.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, &connectTimeout,
                         sizeof(connectTimeout));

  // Redirects are followed here rather than by WinINet, so that an https
  // address is never led to plain http.
  if (const std::uint32_t refused = CheckAddressScheme(url); refused != kTransferOk) return refused;
  const bool secure = IsHttpsAddress(url);
  std::wstring address = Widen(url);
  // The rest only of the same version; another version comes whole (200).
  const bool resuming = point.offset > 0 && !point.validator.empty() && point.total > 0;
  std::wstring headers = L"Cache-Control: no-cache\r\n";
  if (resuming) {
    headers += L"Range: bytes=" + std::to_wstring(point.offset) + L"-\r\nIf-Range: " +
               Widen(point.validator) + L"\r\n";
  }
  InternetHandle request;
  for (int hop = 0;; ++hop) {
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                        INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI |
                        INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES |
                        (IsHttpsAddress(Narrow(address)) ? INTERNET_FLAG_SECURE : 0);
    request.reset(net.InternetOpenUrlW(session.Get(), address.c_str(), headers.c_str(),
                                       static_cast<DWORD>(-1), flags, 0));
    if (!request) return sessions.Aborting() ? kTransferAborted : CodeForError(GetLastError());
    const DWORD status = QueryNumber(net, request.get(), HTTP_QUERY_STATUS_CODE);
    if (status < 300 || status >= 400 || status == 304) break;
    if (hop >= kMaxRedirects) return kTransferRedirectFailed;
    const std::wstring next =
        ResolveLocation(net, address, QueryText(net, request.get(), HTTP_QUERY_LOCATION));
    if (next.empty()) return kTransferRedirectFailed;
    const std::string nextUtf8 = Narrow(next);
    if (CheckAddressScheme(nextUtf8) != kTransferOk || (secure && !IsHttpsAddress(nextUtf8))) {
      return kTransferRedirectFailed;
    }
    address = next;
  }
  const DWORD status = QueryNumber(net, request.get(), HTTP_QUERY_STATUS_CODE);
  // A range the server would not give (the file has shrunk, or the offset was the end):
  // the file cannot be continued, and starts over on the next try.
  const bool continued = status == 206;
  const std::string encoding = Narrow(QueryText(net, request.get(), HTTP_QUERY_CONTENT_ENCODING));
  if ((resuming && status == 416) ||
      (continued && (!resuming || !ContinuesExactly(Narrow(QueryText(net, request.get(),
                                                                     HTTP_QUERY_CONTENT_RANGE)),
                                                    encoding, point.offset, point.total)))) {
    point.responded = true;
    point.responseValidator.clear();
    point.responseTotal = 0;
    return kTransferInterrupted;
  }
  if (status >= 400) return status == 404 || status == 410 ? kTransferNotFound : kTransferFailed;

  std::unique_ptr<std::FILE, FileCloser> out(_wfopen(file.c_str(), continued ? L"ab" : L"wb"));
  if (!out) return kTransferFailed;
  std::setvbuf(out.get(), nullptr, _IOFBF, 1 << 20);
  const std::uint64_t length = QueryNumber(net, request.get(), HTTP_QUERY_CONTENT_LENGTH);
  // Told only once the file is open to match: a validator never stands for bytes of another
  // version left in a file that could not be started over.
  point.continued = continued;
  point.responseTotal = continued ? point.total : length;
  point.responseValidator =
      IsIdentityCoding(encoding)
          ? ChooseValidator(Narrow(QueryText(net, request.get(), HTTP_QUERY_ETAG)),
                            Narrow(QueryText(net, request.get(), HTTP_QUERY_LAST_MODIFIED)))
          : std::string();
  point.responded = true;
  // A continued file counts from its start.
  const std::uint64_t before = continued ? point.offset : 0;
  const std::uint64_t total = length != 0 ? before + length : 0;
  std::uint64_t received = before;
  if (!progress(received, total)) return kTransferAborted;
  std::vector<char> buffer(256 * 1024);
  for (;;) {
    DWORD read = 0;
    if (!net.InternetReadFile(request.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                              &read)) {
      return sessions.Aborting() ? kTransferAborted : CodeForError(GetLastError());
    }
    if (read == 0) break;
    if (std::fwrite(buffer.data(), 1, read, out.get()) != read) return kTransferFailed;
    received += read;
    if (!progress(received, total)) return kTransferAborted;
  }
  // A body cut short is a lost connection, not a smaller file.
  if (total != 0 && received != total) return kTransferInterrupted;
  if (std::fflush(out.get()) != 0) return kTransferFailed;
  return kTransferOk;
}

// What a transfer thread shares with the caller that waits for it; either may
// be the last to let go.
struct TransferJob {
  std::string url;
  std::filesystem::path file;
  std::atomic<std::uint64_t> received{0};
  std::atomic<std::uint64_t> total{0};
  std::atomic<bool> stop{false};
  // Given up on by the caller, the partial file stays only when it may be continued.
  bool keepPartial = false;
  // The caller's copy is filled from this one, under the lock, before each progress step.
  std::mutex pointLock;
  TResumePoint point;
  std::uint32_t result = kTransferFailed;
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE progressed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ~TransferJob() {
    CloseHandle(done);
    CloseHandle(progressed);
  }
};

// Every step is passed on as it comes (the downloader decides what the bar shows); while
// nothing comes, the waiting caller still asks this often whether to give up.
constexpr DWORD kStopPollMs = 50;

class WinInetTransport final : public TTransport {
 public:
  std::uint32_t Fetch(const std::string& url, const std::filesystem::path& file,
                      const TransferProgress& progress) override {
    TResumePoint fresh;
    return Run(url, file, progress, fresh, false);
  }

  std::uint32_t FetchResuming(const std::string& url, const std::filesystem::path& file,
                              const TransferProgress& progress, TResumePoint& point) override {
    return Run(url, file, progress, point, true);
  }

  void AbortAll() override { sessions_->AbortAll(); }

 private:
  std::uint32_t Run(const std::string& url, const std::filesystem::path& file,
                    const TransferProgress& progress, TResumePoint& point, bool keepPartial) {
    auto job = std::make_shared<TransferJob>();
    job->url = url;
    job->file = file;
    job->keepPartial = keepPartial;
    job->point.offset = point.offset;
    job->point.validator = point.validator;
    job->point.total = point.total;
    std::thread([job, sessions = sessions_] {
      TResumePoint said;
      {
        std::lock_guard lock(job->pointLock);
        said = job->point;
      }
      job->result = RunTransfer(job->url, job->file, *sessions, said,
                                [&job, &said](std::uint64_t received, std::uint64_t total) {
                                  {
                                    std::lock_guard lock(job->pointLock);
                                    job->point = said;
                                  }
                                  job->received.store(received, std::memory_order_relaxed);
                                  job->total.store(total, std::memory_order_relaxed);
                                  SetEvent(job->progressed);
                                  return !job->stop.load(std::memory_order_acquire);
                                });
      {
        std::lock_guard lock(job->pointLock);
        job->point = said;
      }
      // Given up on by the caller: nobody else will remove what it wrote.
      if (job->stop.load(std::memory_order_acquire) && job->result != kTransferOk &&
          !job->keepPartial) {
        std::error_code ignored;
        std::filesystem::remove(job->file, ignored);
      }
      SetEvent(job->done);
    }).detach();
    const auto takePoint = [&] {
      std::lock_guard lock(job->pointLock);
      point.responded = job->point.responded;
      point.continued = job->point.continued;
      point.responseValidator = job->point.responseValidator;
      point.responseTotal = job->point.responseTotal;
    };
    for (;;) {
      const HANDLE events[] = {job->done, job->progressed};
      const bool finished =
          WaitForMultipleObjects(2, events, FALSE, kStopPollMs) == WAIT_OBJECT_0 ||
          WaitForSingleObject(job->done, 0) == WAIT_OBJECT_0;
      takePoint();
      const bool keepGoing = progress(job->received.load(std::memory_order_relaxed),
                                      job->total.load(std::memory_order_relaxed));
      if (!keepGoing || sessions_->Aborting()) {
        job->stop.store(true, std::memory_order_release);
        return kTransferAborted;
      }
      if (finished) return job->result;
    }
  }

  std::shared_ptr<SessionList> sessions_ = std::make_shared<SessionList>();
};

}  // namespace

std::unique_ptr<TTransport> CreatePlatformTransport() {
  return std::make_unique<WinInetTransport>();
}

}  // namespace ovix
