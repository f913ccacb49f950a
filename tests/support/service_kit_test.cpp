#include "support/service_kit.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/wait_until.h"

namespace ovix::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct Reply {
  CURLcode result = CURLE_OK;
  long status = 0;
  std::string body;
  std::map<std::string, std::string> headers;  // names in lower case
};

struct GetOptions {
  fs::path caFile;
  bool pathAsIs = false;  // send "/../" as written instead of resolving it
  std::vector<std::string> headers;
};

Reply Get(const std::string& url, const GetOptions& options = {}) {
  static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  if (!initialised) throw std::runtime_error("curl_global_init failed");
  Reply reply;
  CURL* curl = curl_easy_init();
  curl_slist* headers = nullptr;
  for (const auto& header : options.headers) headers = curl_slist_append(headers, header.c_str());
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, options.pathAsIs ? 1L : 0L);
  if (!options.caFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, options.caFile.c_str());
  using Sink = size_t (*)(char*, size_t, size_t, void*);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION,
                   static_cast<Sink>([](char* data, size_t, size_t size, void* user) {
                     static_cast<Reply*>(user)->body.append(data, size);
                     return size;
                   }));
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION,
                   static_cast<Sink>([](char* data, size_t, size_t size, void* user) {
                     const std::string line(data, size);
                     const auto colon = line.find(':');
                     if (colon != std::string::npos) {
                       std::string name = line.substr(0, colon);
                       std::transform(name.begin(), name.end(), name.begin(),
                                      [](unsigned char c) { return std::tolower(c); });
                       const auto start = line.find_first_not_of(' ', colon + 1);
                       const auto end = line.find_last_not_of("\r\n");
                       static_cast<Reply*>(user)->headers[name] =
                           start > end ? "" : line.substr(start, end - start + 1);
                     }
                     return size;
                   }));
  reply.result = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
  curl_easy_cleanup(curl);
  curl_slist_free_all(headers);
  return reply;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Any live (not zombie) process in the process group, found through /proc.
bool ProcessGroupAlive(int group) {
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream in(entry.path() / "stat");
    std::string stat;
    if (!std::getline(in, stat)) continue;
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string state;
    int parent = 0;
    int pgid = 0;
    fields >> state >> parent >> pgid;
    if (pgid == group && state != "Z") return true;
  }
  return false;
}

TEST(ServiceKitTest, AnswersTheFourRequestsFromTheTree) {
  ServiceKit kit;
  const auto example = ServiceKit::ExampleDir();
  const auto base = kit.BaseUrl();

  const auto versions = Get(base + "/get-ovix-versions?version=1.5.0");
  EXPECT_EQ(versions.status, 200);
  EXPECT_EQ(versions.body, ReadFile(example / "versions" / "1.5.0.txt"));
  EXPECT_EQ(versions.headers.at("content-type"), "text/plain");

  const auto configs = Get(base + "/get-ovix-configs");
  EXPECT_EQ(configs.status, 200);
  EXPECT_EQ(configs.body, ReadFile(example / "configs.txt"));

  const auto nightly = Get(base + "/get-last-nightly");
  EXPECT_EQ(nightly.status, 200);
  EXPECT_EQ(nightly.body, "1234");

  // Scripts name their downloads below the address they were fetched from.
  const auto script = Get(base + "/get-script?version=2.2");
  EXPECT_EQ(script.status, 200);
  EXPECT_NE(script.body.find("GETFILE \"" + base + "/files/ovix-2.2.zip\""), std::string::npos);
  EXPECT_EQ(script.body.find("@SERVICE_URL@"), std::string::npos);
  EXPECT_EQ(script.body.substr(0, 3), "\xEF\xBB\xBF");

  const auto archive = Get(base + "/files/ovix-2.2.zip");
  EXPECT_EQ(archive.status, 200);
  EXPECT_EQ(archive.body, ReadFile(example / "files" / "ovix-2.2.zip"));

  EXPECT_TRUE(WaitUntil(
      [&] {
        const auto log = kit.RequestLog();
        return std::find(log.begin(), log.end(), "GET /get-ovix-versions?version=1.5.0 200") !=
               log.end();
      },
      10s));
}

TEST(ServiceKitTest, MissingAnswersAndUnsafeKeysAre404) {
  ServiceKit kit;
  const auto base = kit.BaseUrl();
  for (const char* target : {
           "/get-ovix-versions?version=9.9.9",
           "/get-ovix-versions?version=",
           "/get-ovix-versions",
           "/get-ovix-versions?version=../configs",
           "/get-ovix-versions?version=..%2Fconfigs",
           "/get-ovix-versions?version=1.5.0%00",
           "/get-ovix-versions?version=1.5.0/",
           "/get-ovix-versions?version=..",
           "/get-script?version=../versions/1.5.0",
           "/get-script?version=..%2F..%2Fversions%2F1.5.0",
           "/versions/1.5.0.txt",
           "/configs.txt",
           "/files/../configs.txt",
           "/files/%2e%2e/configs.txt",
       }) {
    const auto reply = Get(base + target, {.pathAsIs = true});
    EXPECT_EQ(reply.result, CURLE_OK) << target;
    EXPECT_EQ(reply.status, 404) << target;
  }
  // ".." never reaches a file name, not even where it could not climb out.
  kit.WriteAnswer("versions/1..5.txt", "Release-2.1 2.1\n");
  EXPECT_EQ(Get(base + "/get-ovix-versions?version=1..5").status, 404);
  fs::remove(kit.AnswersDir() / "configs.txt");
  EXPECT_EQ(Get(base + "/get-ovix-configs").status, 404);
}

TEST(ServiceKitTest, AnswersAreNeverCachedOrRevalidatedAndFilesCanBeContinued) {
  ServiceKit kit;
  const auto url = kit.BaseUrl() + "/get-ovix-configs";
  const auto first = Get(url);
  EXPECT_EQ(first.headers.at("cache-control"), "no-store");
  EXPECT_EQ(first.headers.count("etag"), 0u);
  EXPECT_EQ(first.headers.count("last-modified"), 0u);

  // The date of the file itself: the one a server would answer 304 to.
  const auto modified =
      std::chrono::file_clock::to_sys(fs::last_write_time(kit.AnswersDir() / "configs.txt"));
  const auto seconds = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(modified));
  char date[64];
  std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT", std::gmtime(&seconds));
  const auto conditional = Get(url, {.headers = {std::string("If-Modified-Since: ") + date}});
  EXPECT_EQ(conditional.status, 200);
  EXPECT_EQ(conditional.body, first.body);

  kit.WriteAnswer("configs.txt", "Fresh fresh\n");
  EXPECT_EQ(Get(url).body, "Fresh fresh\n");

  // A file's download cut off is continued: it names its version and gives the rest of
  // that version only.
  const auto file = kit.BaseUrl() + "/files/ovix-2.2.zip";
  const auto whole = Get(file);
  ASSERT_EQ(whole.headers.count("etag"), 1u);
  ASSERT_GT(whole.body.size(), 100u);
  const auto rest =
      Get(file, {.headers = {"Range: bytes=100-", "If-Range: " + whole.headers.at("etag")}});
  EXPECT_EQ(rest.status, 206);
  EXPECT_EQ(rest.body, whole.body.substr(100));
  const auto other = Get(file, {.headers = {"Range: bytes=100-", "If-Range: \"another\""}});
  EXPECT_EQ(other.status, 200);
  EXPECT_EQ(other.body, whole.body);
}

TEST(ServiceKitTest, TlsIsVerifiedWithTheKitsCaOnly) {
  ServiceKit kit({.tls = true});
  ASSERT_FALSE(kit.TlsBaseUrl().empty());
  ASSERT_TRUE(fs::exists(kit.CaFile()));

  const auto verified = Get(kit.TlsBaseUrl() + "/get-last-nightly", {.caFile = kit.CaFile()});
  EXPECT_EQ(verified.result, CURLE_OK);
  EXPECT_EQ(verified.body, "1234");

  const auto port = kit.TlsBaseUrl().substr(kit.TlsBaseUrl().rfind(':'));
  const auto byName =
      Get("https://localhost" + port + "/get-last-nightly", {.caFile = kit.CaFile()});
  EXPECT_EQ(byName.result, CURLE_OK);

  EXPECT_EQ(Get(kit.TlsBaseUrl() + "/get-last-nightly").result, CURLE_PEER_FAILED_VERIFICATION);

  const auto downgrade =
      Get(kit.TlsBaseUrl() + "/redirect-to-http/get-ovix-configs", {.caFile = kit.CaFile()});
  EXPECT_EQ(downgrade.status, 302);
  EXPECT_EQ(downgrade.headers.at("location"), kit.BaseUrl() + "/get-ovix-configs");
}

TEST(ServiceKitTest, StartsAndStopsRepeatedlyWithoutLeftovers) {
  for (int round = 0; round < 3; ++round) {
    fs::path state;
    int pid = 0;
    std::string base;
    {
      ServiceKit kit;
      state = kit.StateDir();
      pid = kit.ServerPid();
      base = kit.BaseUrl();
      ASSERT_EQ(Get(base + "/get-last-nightly").status, 200);
    }
    EXPECT_FALSE(fs::exists("/proc/" + std::to_string(pid))) << "round " << round;
    EXPECT_FALSE(ProcessGroupAlive(pid)) << "round " << round;
    EXPECT_FALSE(fs::exists(state)) << "round " << round;
    EXPECT_EQ(Get(base + "/get-last-nightly").result, CURLE_COULDNT_CONNECT);
  }
}

TEST(ServiceKitTest, StopsByPortAndStaysStopped) {
  ServiceKit kit;
  const auto port = kit.BaseUrl().substr(kit.BaseUrl().rfind(':') + 1);
  const auto script = ServiceKit::SourceDir() / "scripts" / "service";
  ASSERT_EQ(std::system(("bash '" + script.string() + "' stop " + port).c_str()), 0);
  EXPECT_FALSE(ProcessGroupAlive(kit.ServerPid()));
  EXPECT_EQ(Get(kit.BaseUrl() + "/get-last-nightly").result, CURLE_COULDNT_CONNECT);
  EXPECT_NO_THROW(kit.Stop());
  EXPECT_NE(std::system(("bash '" + script.string() + "' stop " + port + " 2>/dev/null").c_str()),
            0);
}

// Starts the service by its script with its state in `state`; returns the base URL.
std::string StartByScript(const fs::path& state, const std::string& options) {
  const auto command = "bash '" + (ServiceKit::SourceDir() / "scripts" / "service").string() +
                       "' start '" + ServiceKit::ExampleDir().string() + "' --state '" +
                       state.string() + "' " + options;
  FILE* out = popen(command.c_str(), "r");
  if (out == nullptr) return {};
  char line[256] = {};
  const bool read = std::fgets(line, sizeof line, out) != nullptr;
  if (pclose(out) != 0 || !read) return {};
  std::string base(line);
  base.erase(base.find_last_not_of("\n") + 1);
  return base;
}

TEST(ServiceKitTest, StopsByItselfWhenItsOwnerEndsOrItsLifetimeIsOver) {
  // Adopt the daemonised servers so that they can be reaped and leave no zombie.
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  const pid_t owner = fork();
  if (owner == 0) {
    execlp("sleep", "sleep", "60", static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string folder = (fs::temp_directory_path() / "ovix-service-test.XXXXXX").string();
  ASSERT_NE(mkdtemp(folder.data()), nullptr);
  const auto watched =
      StartByScript(fs::path(folder) / "watched", "--watch " + std::to_string(owner));
  const auto limited = StartByScript(fs::path(folder) / "limited", "--lifetime 1");
  ASSERT_FALSE(watched.empty());
  ASSERT_FALSE(limited.empty());
  const auto pidIn = [&](const char* name, const char* file) {
    return std::stoi(ReadFile(fs::path(folder) / name / file));
  };
  const int watchedPid = pidIn("watched", "server.pid");
  const int limitedPid = pidIn("limited", "server.pid");
  const int watchedWatcher = pidIn("watched", "watcher.pid");
  const int limitedWatcher = pidIn("limited", "watcher.pid");
  EXPECT_EQ(Get(watched + "/get-last-nightly").status, 200);

  kill(owner, SIGKILL);
  waitpid(owner, nullptr, 0);
  // Ended: the server's processes are gone and its watcher, which stops it, has
  // finished too (both were adopted by this process and are reaped here).
  const auto ended = [](int server, int watcher) {
    return [=] {
      const auto reaped = [](int pid) {
        const pid_t done = waitpid(pid, nullptr, WNOHANG);
        return done == pid || (done < 0 && errno == ECHILD);
      };
      return reaped(watcher) && reaped(server) && !ProcessGroupAlive(server);
    };
  };
  EXPECT_TRUE(WaitUntil(ended(watchedPid, watchedWatcher), 20s));
  EXPECT_TRUE(WaitUntil(ended(limitedPid, limitedWatcher), 20s));
  EXPECT_EQ(Get(watched + "/get-last-nightly").result, CURLE_COULDNT_CONNECT);
  EXPECT_EQ(Get(limited + "/get-last-nightly").result, CURLE_COULDNT_CONNECT);
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

TEST(ServiceKitTest, AMissingAnswersFolderIsAClearError) {
  try {
    ServiceKit kit({.answers = "/nonexistent/answers"});
    FAIL() << "started without answers";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("no answers folder"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace ovix::test
