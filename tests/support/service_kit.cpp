#include "support/service_kit.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <thread>

#ifndef OVIX_SOURCE_DIR
#error "OVIX_SOURCE_DIR must name the repository"
#endif

namespace ovix::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Generous: a start with --tls makes two RSA keys, which is slow on a busy machine.
constexpr std::chrono::seconds kCommandLimit{60};
constexpr std::chrono::seconds kReapLimit{5};
// A test process that outlives this is stuck; its server goes away by itself then.
constexpr int kLifetimeSeconds = 1800;

struct CommandResult {
  int status = -1;  // exit code; -1 when ended by a signal
  std::string out;
  std::string err;
};

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error("service kit: " + what);
}

// Runs a command with its output captured. The child gets its own process group, so
// a command that overruns the limit is killed with everything it started in it.
CommandResult RunCommand(const std::vector<std::string>& args) {
  int outPipe[2];
  int errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0) Fail(std::string("pipe: ") + std::strerror(errno));
  if (pipe2(errPipe, O_CLOEXEC) != 0) {
    close(outPipe[0]);
    close(outPipe[1]);
    Fail(std::string("pipe: ") + std::strerror(errno));
  }
  std::vector<char*> argv;
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec.
    setpgid(0, 0);
    const int devNull = open("/dev/null", O_RDONLY);
    dup2(devNull, 0);
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    // The server must not inherit the test's sockets and files.
    close_range(3, ~0U, 0);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  if (pid < 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    Fail(std::string("fork: ") + std::strerror(errno));
  }

  CommandResult result;
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int openPipes = 2;
  bool overran = false;
  const auto deadline = Clock::now() + kCommandLimit;
  while (openPipes > 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      overran = true;
      break;
    }
    if (poll(fds, 2, static_cast<int>(left)) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --openPipes;
      }
    }
  }
  for (const auto& fd : fds) {
    if (fd.fd >= 0) close(fd.fd);
  }
  if (overran) kill(-pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (overran) Fail("'" + args.at(1) + " " + args.at(2) + "' did not finish within its limit");
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

fs::path MakeTempDir() {
  std::string pattern = (fs::temp_directory_path() / "ovix-service-kit.XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) Fail("cannot make a temporary folder");
  return pattern;
}

// The daemonised server and the watcher outlive the script that started them.
// Adopting such orphans lets this process reap them once they end, so that no
// zombie is left behind where the system's init does not reap.
void AdoptOrphans() {
  static const bool adopted = prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
  (void)adopted;
}

void Reap(pid_t pid) {
  if (pid <= 0) return;
  const auto deadline = Clock::now() + kReapLimit;
  for (;;) {
    const pid_t done = waitpid(pid, nullptr, WNOHANG);
    if (done == pid || (done < 0 && errno == ECHILD)) return;
    if (Clock::now() >= deadline) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

pid_t ReadPid(const fs::path& file) {
  try {
    return static_cast<pid_t>(std::stol(ReadFile(file)));
  } catch (const std::exception&) {
    return 0;
  }
}

}  // namespace

ServiceKit::ServiceKit() : ServiceKit(ServiceKitOptions{}) {}

ServiceKit::ServiceKit(ServiceKitOptions options) {
  AdoptOrphans();
  tempRoot_ = MakeTempDir();
  try {
    if (options.answers.empty()) {
      answers_ = tempRoot_ / "answers";
      fs::copy(ExampleDir(), answers_, fs::copy_options::recursive);
    } else {
      answers_ = fs::absolute(options.answers);
    }
    state_ = tempRoot_ / "state";
    std::vector<std::string> args = {"bash",       (SourceDir() / "scripts" / "service").string(),
                                     "start",      answers_.string(),
                                     "--state",    state_.string(),
                                     "--watch",    std::to_string(getpid()),
                                     "--lifetime", std::to_string(kLifetimeSeconds)};
    if (options.tls) args.push_back("--tls");
    const auto result = RunCommand(args);
    if (result.status != 0) Fail("the service did not start: " + result.err);
    running_ = true;
    std::istringstream lines(result.out);
    std::string caFile;
    std::getline(lines, baseUrl_);
    if (options.tls) {
      std::getline(lines, tlsBaseUrl_);
      std::getline(lines, caFile);
      caFile_ = caFile;
    }
    serverPid_ = ReadPid(state_ / "server.pid");
    if (baseUrl_.rfind("http://", 0) != 0 || (options.tls && caFile_.empty()) || serverPid_ <= 0) {
      Fail("unexpected answer from the service script: " + result.out);
    }
  } catch (...) {
    StopAndClean();
    throw;
  }
}

ServiceKit::~ServiceKit() { StopAndClean(); }

void ServiceKit::StopAndClean() noexcept {
  try {
    Stop();
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
  }
  std::error_code ignored;
  fs::remove_all(tempRoot_, ignored);
}

void ServiceKit::Stop() {
  if (!running_) return;
  running_ = false;
  const pid_t watcher = ReadPid(state_ / "watcher.pid");
  const auto result =
      RunCommand({"bash", (SourceDir() / "scripts" / "service").string(), "stop", state_.string()});
  Reap(serverPid_);
  Reap(watcher);
  if (result.status != 0) Fail("the service did not stop: " + result.err);
}

const std::string& ServiceKit::BaseUrl() const { return baseUrl_; }
const std::string& ServiceKit::TlsBaseUrl() const { return tlsBaseUrl_; }
const std::filesystem::path& ServiceKit::CaFile() const { return caFile_; }
const std::filesystem::path& ServiceKit::AnswersDir() const { return answers_; }
const std::filesystem::path& ServiceKit::StateDir() const { return state_; }
int ServiceKit::ServerPid() const { return serverPid_; }

void ServiceKit::WriteAnswer(const std::filesystem::path& relative,
                             std::string_view content) const {
  const auto path = answers_ / relative;
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out.flush()) Fail("cannot write " + path.string());
}

std::vector<std::string> ServiceKit::RequestLog() const {
  std::vector<std::string> lines;
  std::istringstream log(ReadFile(state_ / "access.log"));
  for (std::string line; std::getline(log, line);) lines.push_back(line);
  return lines;
}

std::filesystem::path ServiceKit::SourceDir() { return OVIX_SOURCE_DIR; }

std::filesystem::path ServiceKit::ExampleDir() { return SourceDir() / "service" / "example"; }

}  // namespace ovix::test
