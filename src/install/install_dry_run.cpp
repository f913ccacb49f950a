// The dry run: the script against a host that changes nothing and tells,
// line by line, what the install would do.

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "install/install.h"
#include "install/script_check.h"
#include "net/transfer_codes.h"
#include "os/files.h"
#include "os/folders.h"
#include "os/process.h"
#include "os/text.h"
#include "script/folder_scope.h"
#include "script/interpreter.h"
#include "script/split_arguments.h"
#include "script/unpack.h"
#include "trust/sha256.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;

// How many scanned characters pass between the times the view is let keep alive.
constexpr unsigned kCallsPerPump = 4096;

// Paths compared as the system would find them: through the drive mapping, without case.
std::string Key(const fs::path& local) { return AsciiLowerCase(local.generic_string()); }
std::optional<std::string> Key(const std::string& windowsPath) {
  const std::optional<fs::path> local = LocalPath(windowsPath);
  return local ? std::optional<std::string>(Key(*local)) : std::nullopt;
}

std::string Size(const std::optional<std::uint64_t>& bytes) {
  return bytes ? std::to_string(*bytes) + " bytes" : std::string("size not announced");
}

}  // namespace

// What exists is what would exist by then: the files and folders the earlier lines would
// write, make or delete stand over what is on disk.
class TInstall::DryRunHost final : public TScriptHost {
 public:
  DryRunHost(TInstall& install, const std::string& gameFolder)
      : in_(install), view_(install.view_) {
    if (const std::optional<fs::path> game = LocalPath(gameFolder)) game_.emplace(*game);
  }

  void Scanned(const TScannedLine& line) override {
    if (!line.performed || !line.blank) return;
    if (line.keyword == TKeyword::If) {
      const std::string value(ArgumentsText(line.rest));
      Tell("IF " + value + ": the block " + (value == "1" ? "runs" : "is skipped"));
    } else if (line.keyword == TKeyword::IfExists || line.keyword == TKeyword::IfNotExists) {
      test_ = line.keyword;
    }
  }

  void Status(std::string_view code, std::string_view text) override {
    if (code == in_.Tr(txtLanguageCode) || code == Text(txtLanguageCode, lngEN))
      in_.FeedStatus(text);
  }
  void Percent(int value) override { in_.FeedPercent(value); }

  bool GetFile(const std::string& url, const std::string& destination,
               std::string_view more) override {
    const TAddressProbe probe = in_.Transport().Probe(url, Scratch(".probe"));
    if (probe.code != kTransferOk) {
      Tell("GETFILE " + url + " to " + destination + ": would fail, " + MonikerText(probe.code));
      in_.DownloadFailed(probe.code, url);
    } else {
      Tell("GETFILE " + url + " to " + destination + ": reachable, " + Size(probe.size) +
           (ExpectedSha256(more) ? "; moved into place only if its SHA-256 matches" : ""));
      if (const std::optional<std::string> key = Key(destination)) {
        files_[*key] = true;
        fetched_[*key] = url;
      }
    }
    return !in_.App().Terminated();
  }

  void Unpack(const std::string& archive, const std::string& destinationDirectory) override {
    const std::string head = "UNPACK " + archive + " into " + destinationDirectory + ": ";
    // An archive an earlier GETFILE would fetch is fetched now, for a look at its members.
    std::string source = archive;
    std::optional<fs::path> fetchedCopy;
    if (const std::optional<std::string> key = Key(archive)) {
      if (const auto found = fetched_.find(*key); found != fetched_.end()) {
        const std::string copy =
            GetTempDirectory() + "\\ovix-dry-run-" + std::to_string(CurrentProcessId()) + ".zip";
        fetchedCopy = LocalPath(copy);
        if (!fetchedCopy || in_.Transport().Fetch(found->second, *fetchedCopy,
                                                  [this](std::uint64_t, std::uint64_t) {
                                                    return !in_.App().Terminated();
                                                  }) != kTransferOk) {
          Remove(fetchedCopy);
          Tell(head + "its members are unknown: the archive could not be fetched for a look");
          return;
        }
        source = copy;
      } else if (!Exists(archive)) {
        throw TUnpackError("Cannot unpack \"" + archive + "\": the file would not exist.");
      }
    }
    // Told in the script's own terms: below the destination as the script names it.
    const std::optional<fs::path> localDestination = LocalPath(destinationDirectory);
    const auto shown = [&](const fs::path& local) {
      const fs::path relative =
          localDestination ? local.lexically_relative(*localDestination) : fs::path();
      if (relative.empty() || *relative.begin() == "..") return local.string();
      std::string path = destinationDirectory;
      while (path.ends_with('\\')) path.pop_back();
      for (const fs::path& part : relative) path.append(1, '\\').append(part.string());
      return path;
    };
    try {
      PlanUnpack(
          source, destinationDirectory,
          [&](const fs::path& local, TPlannedKind kind) {
            if (kind == TPlannedKind::NewFolder) {
              folders_[Key(local)] = true;
              Tell(head + "would make the folder " + shown(local));
            } else {
              files_[Key(local)] = true;
              Tell(head + (kind == TPlannedKind::NewFile ? "would write " : "would replace ") +
                   shown(local));
            }
          },
          [&](std::string_view member, std::string_view reason) {
            Tell(head + "would skip " + std::string(member) + ": " + std::string(reason));
          });
    } catch (...) {
      Remove(fetchedCopy);
      throw;
    }
    Remove(fetchedCopy);
  }

  void Copy(const std::string& source, const std::string& destination) override {
    const std::string head = "COPY " + source + " to " + destination + ": ";
    if (TakesGameFolder(head, destination)) return;
    if (!Exists(source)) {
      Tell(head + "the source does not exist, nothing would be copied");
      return;
    }
    if (DirectoryExists(destination)) {
      Tell(head + "would fail: a folder stands there");
      return;
    }
    Tell(head + (Exists(destination) ? "would replace " : "would write ") + destination);
    if (const std::optional<std::string> key = Key(destination)) files_[*key] = true;
  }

  void RemoveFile(const std::string& path) override {
    if (TakesGameFolder("DELETE " + path + ": ", path)) return;
    if (!Exists(path)) {
      Tell("DELETE " + path + ": there is no such file");
      return;
    }
    Tell("DELETE " + path + ": would delete it");
    if (const std::optional<std::string> key = Key(path)) files_[*key] = false;
  }

  void RemoveDirectoryTree(const std::string& directory) override {
    if (TakesGameFolder("DELETEDIR " + directory + ": ", directory)) return;
    const std::optional<std::string> key = Key(directory);
    if (!key) return;
    std::string prefix = *key;
    if (!prefix.ends_with('/')) prefix += '/';
    Tell("DELETEDIR " + directory + ": would delete the folder and the " +
         std::to_string(FilesBelow(directory, prefix)) + " files in it");
    // Whatever the earlier lines put there goes with it.
    std::erase_if(files_, [&](const auto& entry) { return entry.first.starts_with(prefix); });
    std::erase_if(folders_, [&](const auto& entry) { return entry.first.starts_with(prefix); });
    gone_.push_back(prefix);
  }

  bool FileExists(const std::string& path) override {
    const bool exists = Exists(path);
    const bool runs = (test_ == TKeyword::IfExists) == exists;
    Tell(std::string(KeywordWord(test_)) + " " + path + ": the file " +
         (exists ? "exists" : "does not exist") + ", so the block " +
         (runs ? "runs" : "is skipped"));
    return exists;
  }

  bool DirectoryExists(const std::string& path) override {
    const std::optional<std::string> key = Key(path);
    if (!key) return false;
    std::string folder = *key;
    while (folder.size() > 1 && folder.ends_with('/')) folder.pop_back();
    if (const auto found = folders_.find(folder); found != folders_.end()) return found->second;
    return !Gone(folder) && ovix::DirectoryExists(path);
  }

  void GuardCaught(std::string_view failure) override {
    Tell("the block would fail here (" + std::string(failure) +
         ") and go on as if its file did not exist");
  }

  void Pump() override {
    if (++pumpCalls_ % kCallsPerPump == 0) view_.KeepAlive();
  }

 private:
  // The game folder, or one holding it, which the real run refuses to take away.
  bool TakesGameFolder(const std::string& head, const std::string& path) const {
    const std::optional<fs::path> local = LocalPath(path);
    if (!local || !game_ || !game_->IsFolderOrAbove(*local)) return false;
    Tell(head + "would be refused: " + std::string(kGameFolderItself));
    return true;
  }

  bool Exists(const std::string& path) const {
    const std::optional<std::string> key = Key(path);
    if (!key) return false;
    if (const auto found = files_.find(*key); found != files_.end()) return found->second;
    return !Gone(*key) && ovix::FileExists(path);
  }

  // The files below a folder by then: those on disk that earlier lines would leave, and
  // those they would write.
  std::size_t FilesBelow(const std::string& directory, const std::string& prefix) const {
    std::set<std::string> found;
    std::error_code error;
    if (const std::optional<fs::path> local = LocalPath(directory)) {
      for (auto it = fs::recursive_directory_iterator(*local, error);
           !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::error_code ignored;
        const std::string file = Key(it->path());
        const auto known = files_.find(file);
        if (!it->is_directory(ignored) && !Gone(file) && (known == files_.end() || known->second))
          found.insert(file);
      }
    }
    for (const auto& [file, exists] : files_)
      if (exists && file.starts_with(prefix)) found.insert(file);
    return found.size();
  }

  // Below a folder an earlier DELETEDIR would delete.
  bool Gone(const std::string& key) const {
    return std::any_of(gone_.begin(), gone_.end(), [&](const std::string& prefix) {
      return key.starts_with(prefix) || key + "/" == prefix;
    });
  }

  fs::path Scratch(const char* what) const {
    return PartialFileBeside(LocalTemporaryFolder() / ("ovix-dry-run" + std::string(what)));
  }

  static void Remove(const std::optional<fs::path>& file) {
    std::error_code ignored;
    if (file) fs::remove(*file, ignored);
  }

  void Tell(const std::string& action) const { view_.DryRunAction(action); }

  TInstall& in_;
  TInstallView& view_;
  // Resolved once: each COPY, DELETE and DELETEDIR is judged against it.
  std::optional<TFolderScope> game_;
  TKeyword test_ = TKeyword::IfExists;          // the test whose file is asked about next
  std::map<std::string, bool> files_;           // written (true) or deleted (false)
  std::map<std::string, bool> folders_;         // made
  std::map<std::string, std::string> fetched_;  // a GETFILE's destination: its address
  std::vector<std::string> gone_;               // folders deleted, with a trailing "/"
  unsigned pumpCalls_ = 0;
};

int TInstall::RunScriptDry(const std::string& script, const TInstallChoices& choices) {
  DryRunHost host(*this, choices.gameFolder);
  return static_cast<int>(ovix::RunScript(host, script, true));
}

}  // namespace ovix
