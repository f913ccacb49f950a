#pragma once
// The update service for one test: scripts/service runs nginx on loopback over an
// answers tree and stops it again when the kit goes away (or when the test process
// dies: the service watches it).

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace ovix::test {

struct ServiceKitOptions {
  // The answers tree to serve as it is. Empty: a private copy of service/example that
  // the test may change freely (WriteAnswer).
  std::filesystem::path answers;
  // Also serve HTTPS on a second port, with a certificate for 127.0.0.1 and localhost
  // from a throw-away CA (CaFile).
  bool tls = false;
};

class ServiceKit {
 public:
  ServiceKit();
  // Throws std::runtime_error with the script's message when the service cannot start.
  explicit ServiceKit(ServiceKitOptions options);
  ~ServiceKit();
  ServiceKit(const ServiceKit&) = delete;
  ServiceKit& operator=(const ServiceKit&) = delete;

  const std::string& BaseUrl() const;           // "http://127.0.0.1:PORT"
  const std::string& TlsBaseUrl() const;        // "https://127.0.0.1:PORT", or empty
  const std::filesystem::path& CaFile() const;  // PEM file of the CA, or empty
  const std::filesystem::path& AnswersDir() const;
  const std::filesystem::path& StateDir() const;  // nginx's config, logs and pid file
  int ServerPid() const;                          // the nginx master process

  // Writes (or replaces) the answer file at `relative` below AnswersDir(), e.g.
  // "versions/1.5.0.txt"; the next request sees it.
  void WriteAnswer(const std::filesystem::path& relative, std::string_view content) const;

  // One line per answered request, "GET /get-ovix-configs 200". A request shows up
  // shortly after its answer was sent: poll with WaitUntil.
  std::vector<std::string> RequestLog() const;

  // Stops the server and waits until its processes have ended. Idempotent; the
  // destructor calls it. Throws when the server does not stop.
  void Stop();

  static std::filesystem::path SourceDir();   // the repository
  static std::filesystem::path ExampleDir();  // service/example

 private:
  // Never throws: for the destructor and a failed start.
  void StopAndClean() noexcept;
  std::filesystem::path tempRoot_;
  std::filesystem::path answers_;
  std::filesystem::path state_;
  std::filesystem::path caFile_;
  std::string baseUrl_;
  std::string tlsBaseUrl_;
  int serverPid_ = 0;
  bool running_ = false;
};

}  // namespace ovix::test
