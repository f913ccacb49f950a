// The posix transport, over libcurl.

#include <curl/curl.h>
#include <dlfcn.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "net/range_headers.h"
#include "net/transfer_codes.h"
#include "net/transport.h"
#include "ovix_version.h"

namespace ovix {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
// libcurl, and the thirty libraries it brings, are loaded at the first transfer rather than
// at every start: loading them is most of what a console run that transfers nothing costs.
struct TCurlApi {
  CURLcode (*global_init)(long flags);
  CURL* (*easy_init)();
  CURLcode (*easy_setopt)(CURL* easy, CURLoption option, ...);
  CURLcode (*easy_getinfo)(CURL* easy, CURLINFO info, ...);
  CURLcode (*easy_perform)(CURL* easy);
  void (*easy_cleanup)(CURL* easy);
  curl_slist* (*slist_append)(curl_slist* list, const char* text);
  void (*slist_free_all)(curl_slist* list);
};

template <typename TFunction>
bool Bind(void* library, const char* name, TFunction& function) {
  function = reinterpret_cast<TFunction>(dlsym(library, name));
  return function != nullptr;
}

// The loaded library, initialised once; nullptr, said once on stderr, when it cannot be had.
const TCurlApi* Curl() {
  static const TCurlApi* const api = []() -> const TCurlApi* {
    static TCurlApi loaded{};
    void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr || !(Bind(library, "curl_global_init", loaded.global_init) &&
                                Bind(library, "curl_easy_init", loaded.easy_init) &&
                                Bind(library, "curl_easy_setopt", loaded.easy_setopt) &&
                                Bind(library, "curl_easy_getinfo", loaded.easy_getinfo) &&
                                Bind(library, "curl_easy_perform", loaded.easy_perform) &&
                                Bind(library, "curl_easy_cleanup", loaded.easy_cleanup) &&
                                Bind(library, "curl_slist_append", loaded.slist_append) &&
                                Bind(library, "curl_slist_free_all", loaded.slist_free_all))) {
      const char* why = dlerror();
      std::fprintf(stderr, "ovix: no download is possible, libcurl.so.4 cannot be loaded: %s\n",
                   why != nullptr ? why : "a function is missing");
      return nullptr;
    }
    loaded.global_init(CURL_GLOBAL_DEFAULT);
    return &loaded;
  }();
  return api;
}

struct EasyCleanup {
  void operator()(CURL* easy) const { Curl()->easy_cleanup(easy); }
};
struct ListCleanup {
  void operator()(curl_slist* list) const { Curl()->slist_free_all(list); }
};

struct TransferState {
  const std::filesystem::path* path = nullptr;
  std::unique_ptr<std::FILE, FileCloser> file;
  CURL* easy = nullptr;
  TResumePoint* point = nullptr;
  const TransferProgress* progress = nullptr;
  const std::atomic<bool>* abortAll = nullptr;
  bool aborted = false;
  bool writeFailed = false;
  bool rangeRefused = false;  // a 206 that does not continue at the offset asked for
  // The last response's headers (a redirect's are forgotten with its status line).
  std::string etag, lastModified, contentRange, contentEncoding;
};

// The text of a header line "Name: value" when its name is `name` (any case).
std::optional<std::string> HeaderValue(std::string_view line, std::string_view name) {
  if (line.size() <= name.size() || line[name.size()] != ':') return std::nullopt;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(line[i])) != name[i]) return std::nullopt;
  }
  std::string_view value = line.substr(name.size() + 1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && static_cast<unsigned char>(value.back()) <= ' ') value.remove_suffix(1);
  return std::string(value);
}

size_t ReadHeader(char* data, size_t size, size_t count, void* user) {
  auto* state = static_cast<TransferState*>(user);
  const std::string_view line(data, size * count);
  if (line.starts_with("HTTP/")) {
    state->etag.clear();
    state->lastModified.clear();
    state->contentRange.clear();
    state->contentEncoding.clear();
  } else if (auto etag = HeaderValue(line, "etag")) {
    state->etag = std::move(*etag);
  } else if (auto modified = HeaderValue(line, "last-modified")) {
    state->lastModified = std::move(*modified);
  } else if (auto range = HeaderValue(line, "content-range")) {
    state->contentRange = std::move(*range);
  } else if (auto encoding = HeaderValue(line, "content-encoding")) {
    state->contentEncoding = std::move(*encoding);
  }
  return size * count;
}

// Once the body begins: whether it continues the file, and the file opened to match. Only
// then is what the response said told, so that a validator never stands for bytes of another
// version left in a file that could not be started over.
bool OpenBody(TransferState& state) {
  long status = 0;
  Curl()->easy_getinfo(state.easy, CURLINFO_RESPONSE_CODE, &status);
  TResumePoint& point = *state.point;
  const bool continued = status == 206;
  if (continued &&
      (point.offset == 0 ||
       !ContinuesExactly(state.contentRange, state.contentEncoding, point.offset, point.total))) {
    state.rangeRefused = true;
    return false;
  }
  state.file.reset(std::fopen(state.path->c_str(), continued ? "ab" : "wb"));
  if (!state.file) return false;
  // Large writes: fewer system calls per megabyte.
  std::setvbuf(state.file.get(), nullptr, _IOFBF, 1 << 20);
  curl_off_t length = -1;
  Curl()->easy_getinfo(state.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  point.responded = true;
  point.continued = continued;
  point.responseTotal = continued    ? point.total
                        : length > 0 ? static_cast<std::uint64_t>(length)
                                     : 0;
  point.responseValidator = IsIdentityCoding(state.contentEncoding)
                                ? ChooseValidator(state.etag, state.lastModified)
                                : std::string();
  return true;
}

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto* state = static_cast<TransferState*>(user);
  if (!state->file && !OpenBody(*state)) {
    if (!state->rangeRefused) state->writeFailed = true;
    return 0;
  }
  const size_t bytes = size * count;
  if (std::fwrite(data, 1, bytes, state->file.get()) != bytes) {
    state->writeFailed = true;
    return 0;
  }
  return bytes;
}

int OnProgress(void* user, curl_off_t total, curl_off_t received, curl_off_t, curl_off_t) {
  auto* state = static_cast<TransferState*>(user);
  // A continued file counts from its start.
  const std::uint64_t before = state->point->continued ? state->point->offset : 0;
  if (state->abortAll->load(std::memory_order_acquire) ||
      !(*state->progress)(before + static_cast<std::uint64_t>(received),
                          total > 0 ? before + static_cast<std::uint64_t>(total) : 0)) {
    state->aborted = true;
    return 1;
  }
  return 0;
}

std::uint32_t CodeFor(CURLcode result, long status) {
  switch (result) {
    case CURLE_OK:
      return kTransferOk;
    case CURLE_URL_MALFORMAT:
      return kTransferInvalidUrl;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return kTransferUnknownProtocol;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return kTransferNotFound;
    case CURLE_COULDNT_CONNECT:
      return kTransferCannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
      return kTransferTimeout;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CIPHER:
      return kTransferSecurityProblem;
    case CURLE_TOO_MANY_REDIRECTS:
      return kTransferRedirectFailed;
    case CURLE_HTTP_RETURNED_ERROR:
      return status == 404 || status == 410 ? kTransferNotFound : kTransferFailed;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2_STREAM:
      return kTransferInterrupted;
    default:
      return kTransferFailed;
  }
}

// What every request of this transport shares: the address, the headers, the protocols and
// redirects allowed, the certificate checks, the time limits.
void Configure(CURL* h, const std::string& url, curl_slist* headers) {
  Curl()->easy_setopt(h, CURLOPT_URL, url.c_str());
  Curl()->easy_setopt(h, CURLOPT_HTTPHEADER, headers);
  Curl()->easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  // A redirect may keep or raise the protection of an address, never drop it.
  Curl()->easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, IsHttpsAddress(url) ? "https" : "http,https");
  Curl()->easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  Curl()->easy_setopt(h, CURLOPT_MAXREDIRS, static_cast<long>(kMaxRedirects));
  Curl()->easy_setopt(h, CURLOPT_FAILONERROR, 1L);
  Curl()->easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  Curl()->easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  // For tests and self-hosted services with a private certificate authority.
  if (const char* ca = std::getenv("OVIX_CA_BUNDLE"); ca && *ca) {
    Curl()->easy_setopt(h, CURLOPT_CAINFO, ca);
  }
  Curl()->easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 30L);
  Curl()->easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  Curl()->easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(kStallSeconds));
  Curl()->easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  Curl()->easy_setopt(h, CURLOPT_USERAGENT, OVIX_USER_AGENT);
}

class CurlTransport final : public TTransport {
 public:
  std::uint32_t Fetch(const std::string& url, const std::filesystem::path& file,
                      const TransferProgress& progress) override {
    TResumePoint fresh;
    return FetchResuming(url, file, progress, fresh);
  }

  std::uint32_t FetchResuming(const std::string& url, const std::filesystem::path& file,
                              const TransferProgress& progress, TResumePoint& point) override {
    point.responded = false;
    point.continued = false;
    point.responseValidator.clear();
    point.responseTotal = 0;
    // libcurl would guess http for an address without a scheme.
    if (const std::uint32_t refused = CheckAddressScheme(url); refused != kTransferOk) {
      return refused;
    }
    if (Curl() == nullptr) return kTransferFailed;
    std::unique_ptr<CURL, EasyCleanup> easy(Curl()->easy_init());
    if (!easy) return kTransferFailed;
    if (abortAll_.load(std::memory_order_acquire)) return kTransferAborted;
    CURL* h = easy.get();
    // The file is opened once the body begins: only then is it known whether it continues.
    TransferState state{&file, nullptr, h, &point, &progress, &abortAll_};

    // Lists and scripts change on the server: never take them from a cache.
    std::unique_ptr<curl_slist, ListCleanup> headers(
        Curl()->slist_append(nullptr, "Cache-Control: no-cache"));
    headers.reset(Curl()->slist_append(headers.release(), "Pragma: no-cache"));
    const bool resuming = point.offset > 0 && !point.validator.empty() && point.total > 0;
    if (resuming) {
      // The rest only of the same version; another version comes whole (200).
      const std::string range = "Range: bytes=" + std::to_string(point.offset) + "-";
      const std::string ifRange = "If-Range: " + point.validator;
      headers.reset(Curl()->slist_append(headers.release(), range.c_str()));
      headers.reset(Curl()->slist_append(headers.release(), ifRange.c_str()));
    }

    Configure(h, url, headers.get());
    // Byte ranges count the bytes as sent, so the rest of a file is never asked for
    // compressed (a compressed whole is not continued: it has no validator, see OpenBody).
    if (!resuming) Curl()->easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    Curl()->easy_setopt(h, CURLOPT_BUFFERSIZE, 256L * 1024);
    Curl()->easy_setopt(h, CURLOPT_HEADERFUNCTION, ReadHeader);
    Curl()->easy_setopt(h, CURLOPT_HEADERDATA, &state);
    Curl()->easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteBody);
    Curl()->easy_setopt(h, CURLOPT_WRITEDATA, &state);
    Curl()->easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    Curl()->easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
    Curl()->easy_setopt(h, CURLOPT_XFERINFODATA, &state);

    const CURLcode result = Curl()->easy_perform(h);
    if (state.aborted) return kTransferAborted;
    if (state.writeFailed) return kTransferFailed;
    long status = 0;
    Curl()->easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    // A range the server would not give (the file has shrunk, or the offset was the end):
    // the file cannot be continued, and starts over on the next try.
    if (state.rangeRefused || (resuming && status == 416)) {
      point.responded = true;
      point.continued = false;
      point.responseValidator.clear();
      point.responseTotal = 0;
      return kTransferInterrupted;
    }
    // A redirect curl refused to follow (to plain http from https) ends on the 3xx.
    if (result == CURLE_UNSUPPORTED_PROTOCOL && status >= 300 && status < 400) {
      return kTransferRedirectFailed;
    }
    if (result == CURLE_OK && !state.file && !OpenBody(state))
      return kTransferFailed;  // empty body
    if (result == CURLE_OK && std::fflush(state.file.get()) != 0) return kTransferFailed;
    if (result == CURLE_OK && std::ferror(state.file.get())) return kTransferFailed;
    return CodeFor(result, status);
  }

  // A HEAD request: the status and the announced size, no body.
  TAddressProbe Probe(const std::string& url, const std::filesystem::path&) override {
    TAddressProbe probe;
    if (probe.code = CheckAddressScheme(url); probe.code != kTransferOk) return probe;
    if (Curl() == nullptr) return {kTransferFailed, std::nullopt};
    std::unique_ptr<CURL, EasyCleanup> easy(Curl()->easy_init());
    if (!easy) return {kTransferFailed, std::nullopt};
    std::unique_ptr<curl_slist, ListCleanup> headers(
        Curl()->slist_append(nullptr, "Cache-Control: no-cache"));
    Configure(easy.get(), url, headers.get());
    Curl()->easy_setopt(easy.get(), CURLOPT_NOBODY, 1L);
    const CURLcode result = Curl()->easy_perform(easy.get());
    long status = 0;
    Curl()->easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
    probe.code = result == CURLE_UNSUPPORTED_PROTOCOL && status >= 300 && status < 400
                     ? kTransferRedirectFailed
                     : CodeFor(result, status);
    curl_off_t size = -1;
    if (probe.code == kTransferOk &&
        Curl()->easy_getinfo(easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size) == CURLE_OK &&
        size >= 0) {
      probe.size = static_cast<std::uint64_t>(size);
    }
    return probe;
  }

  // libcurl calls the progress function at least once a second, also while it
  // resolves or connects, so every transfer notices the flag quickly.
  void AbortAll() override { abortAll_.store(true, std::memory_order_release); }

 private:
  std::atomic<bool> abortAll_{false};
};

}  // namespace

std::unique_ptr<TTransport> CreatePlatformTransport() { return std::make_unique<CurlTransport>(); }

}  // namespace ovix
