// The posix transport, over libcurl.

#include <curl/curl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "net/transfer_codes.h"
#include "net/transport.h"
#include "ovix_version.h"

namespace ovix {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
struct EasyCleanup {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListCleanup {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct TransferState {
  std::FILE* file = nullptr;
  const TransferProgress* progress = nullptr;
  const std::atomic<bool>* abortAll = nullptr;
  bool aborted = false;
  bool writeFailed = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto* state = static_cast<TransferState*>(user);
  const size_t bytes = size * count;
  if (std::fwrite(data, 1, bytes, state->file) != bytes) {
    state->writeFailed = true;
    return 0;
  }
  return bytes;
}

int OnProgress(void* user, curl_off_t total, curl_off_t received, curl_off_t, curl_off_t) {
  auto* state = static_cast<TransferState*>(user);
  if (state->abortAll->load(std::memory_order_acquire) ||
      !(*state->progress)(static_cast<std::uint64_t>(received),
                          static_cast<std::uint64_t>(total))) {
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
    default:
      return kTransferFailed;
  }
}

class CurlTransport final : public TTransport {
 public:
  CurlTransport() { GlobalInit(); }

  std::uint32_t Fetch(const std::string& url, const std::filesystem::path& file,
                      const TransferProgress& progress) override {
    // libcurl would guess http for an address without a scheme.
    if (const std::uint32_t refused = CheckAddressScheme(url); refused != kTransferOk) {
      return refused;
    }
    std::unique_ptr<CURL, EasyCleanup> easy(curl_easy_init());
    if (!easy) return kTransferFailed;
    std::unique_ptr<std::FILE, FileCloser> out(std::fopen(file.c_str(), "wb"));
    if (!out) return kTransferFailed;
    if (abortAll_.load(std::memory_order_acquire)) return kTransferAborted;
    // Large writes: fewer system calls per megabyte.
    std::setvbuf(out.get(), nullptr, _IOFBF, 1 << 20);
    TransferState state{out.get(), &progress, &abortAll_};

    // Lists and scripts change on the server: never take them from a cache.
    std::unique_ptr<curl_slist, ListCleanup> headers(
        curl_slist_append(nullptr, "Cache-Control: no-cache"));
    headers.reset(curl_slist_append(headers.release(), "Pragma: no-cache"));

    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    // A redirect may keep or raise the protection of an address, never drop it.
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, IsHttpsAddress(url) ? "https" : "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, static_cast<long>(kMaxRedirects));
    curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    // For tests and self-hosted services with a private certificate authority.
    if (const char* ca = std::getenv("OVIX_CA_BUNDLE"); ca && *ca) {
      curl_easy_setopt(h, CURLOPT_CAINFO, ca);
    }
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(kStallSeconds));
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(h, CURLOPT_USERAGENT, OVIX_USER_AGENT);
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, 256L * 1024);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &state);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &state);

    const CURLcode result = curl_easy_perform(h);
    if (state.aborted) return kTransferAborted;
    if (state.writeFailed) return kTransferFailed;
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    // A redirect curl refused to follow (to plain http from https) ends on the 3xx.
    if (result == CURLE_UNSUPPORTED_PROTOCOL && status >= 300 && status < 400) {
      return kTransferRedirectFailed;
    }
    if (result == CURLE_OK && std::fflush(out.get()) != 0) return kTransferFailed;
    if (result == CURLE_OK && std::ferror(out.get())) return kTransferFailed;
    return CodeFor(result, status);
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
