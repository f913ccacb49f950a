// The install script run into the game folder: captions, downloads, file actions.

#include <algorithm>
#include <optional>
#include <utility>

#include "game/probes.h"
#include "install/install.h"
#include "install/script_check.h"
#include "net/transfer_codes.h"
#include "os/files.h"
#include "os/folders.h"
#include "os/text.h"
#include "script/file_actions.h"
#include "script/folder_scope.h"
#include "script/install_journal.h"
#include "script/interpreter.h"
#include "script/unpack.h"
#include "trust/sha256.h"

namespace ovix {
namespace {

using namespace std::chrono_literals;

// Reading the clock is cheap, but not free under every system: the view is let keep alive
// every so often.
constexpr unsigned kCallsPerKeepAlive = 64;
// How often a waiting GETFILE looks at its download.
constexpr auto kDownloadPoll = 10ms;

}  // namespace

// What the script sets is shown by the view before a long command and when the run ends;
// in between, the view may hold it back.
class TInstall::ScriptHost final : public TScriptHost {
 public:
  ScriptHost(TInstall& install, const std::string& gameFolder)
      : in_(install), view_(install.view_) {
    if (const std::optional<std::filesystem::path> game = LocalPath(gameFolder))
      game_.emplace(*game);
  }
  ~ScriptHost() { view_.Present(); }
  ScriptHost(const ScriptHost&) = delete;
  ScriptHost& operator=(const ScriptHost&) = delete;

  void Status(std::string_view code, std::string_view text) override {
    // The English line stands until a translation follows it.
    if (code != in_.Tr(txtLanguageCode) && code != Text(txtLanguageCode, lngEN)) return;
    view_.Status(std::string(in_.Tr(txtCurrentAction)).append(text));
  }

  void Percent(int value) override {
    // The caption "%s (%d%%)" makes of the label and the number.
    view_.Percent(std::string(in_.Tr(txtInstallUpdate)) + " (" + std::to_string(value) + "%)");
  }

  bool GetFile(const std::string& url, const std::string& destination,
               std::string_view more) override {
    view_.Present();
    const std::optional<std::filesystem::path> local = LocalPath(destination);
    // What a killed install left beside the destination goes before a new one starts.
    if (local) RemoveStalePartialFilesOnce(local->parent_path());
    if (local && in_.journal_ && !in_.journal_->BeforeWrite(*local)) {
      Warn("GETFILE " + url + ": " + kNotKept);
      return true;
    }
    ui::Application& app = in_.App();
    TAsyncDownloader downloader(in_, url);
    if (const std::optional<std::string> sha256 = ExpectedSha256(more)) {
      downloader.ExpectSha256(*sha256);
    }
    // A download cut off, in this install or a killed one, goes on where it stopped.
    if (const std::optional<std::filesystem::path> data = UserDataFolder()) {
      downloader.ResumeIn(*data / "downloads");
    }
    downloader.Download(destination);
    // The destructor waits for the worker, which gives up at once when terminating.
    app.PumpUntil([&] { return downloader.Finished(); }, kDownloadPoll);
    // Closing ends the run; the worker may still be writing its result.
    if (!downloader.Finished()) {
      in_.Log("GETFILE " + url + " " + destination + ": stopped, the program is closing");
      return false;
    }
    if (local && downloader.Result() == kTransferOk) {
      if (in_.journal_) in_.journal_->Written(*local);
      CountChange(*local);
    }
    in_.Log("GETFILE " + url + " " + destination + ": " +
            (downloader.Result() == kTransferOk
                 ? std::string("done")
                 : "failed, " + DescribeTransferCode(downloader.Result())));
    return !app.Terminated();
  }

  void Unpack(const std::string& archive, const std::string& destinationDirectory) override {
    view_.Present();
    view_.Progress(0, 100);
    in_.Log("UNPACK " + archive + " " + destinationDirectory);
    const std::size_t written = UnpackArchive(
        archive, destinationDirectory,
        [this](int percent) {
          view_.Progress(percent, 100);
          view_.KeepAlive();
        },
        [&](std::string_view member, std::string_view reason) {
          Warn("UNPACK " + archive + ": " + std::string(member) +
               " skipped: " + std::string(reason));
        },
        in_.journal_.get());
    if (const auto local = LocalPath(destinationDirectory); local && written > 0) {
      CountChange(*local / "member", static_cast<int>(written));
    }
  }

  void Copy(const std::string& source, const std::string& destination) override {
    if (TakesGameFolder("COPY " + source + " to", destination)) return;
    const std::optional<std::filesystem::path> local = Journaled(destination);
    if (local && !in_.journal_->BeforeWrite(*local)) {
      Warn("COPY " + source + " to " + destination + ": " + kNotKept);
      return;
    }
    if (const TActionProblem problem = CopyFileIfExists(source, destination)) {
      Warn("COPY " + source + " to " + destination + ": " + *problem);
      return;
    }
    in_.Log("COPY " + source + " " + destination + ": done");
    if (local) in_.journal_->Written(*local);
    if (const auto target = LocalPath(destination)) CountChange(*target);
  }
  void RemoveDirectoryTree(const std::string& directory) override {
    if (TakesGameFolder("DELETEDIR", directory)) return;
    // In the game folder the tree is moved aside, to be put back by an undo.
    const std::optional<std::filesystem::path> local = Journaled(directory);
    if (!(local ? in_.journal_->RemoveTree(*local) : ovix::RemoveDirectoryTree(directory))) {
      Warn("DELETEDIR " + directory + ": the folder cannot be deleted completely");
      return;
    }
    in_.Log("DELETEDIR " + directory + ": done");
    if (const auto target = LocalPath(directory)) CountChange(*target);
  }
  void RemoveFile(const std::string& path) override {
    if (TakesGameFolder("DELETE", path)) return;
    const std::optional<std::filesystem::path> target = LocalPath(path);
    const bool existed = target && Exists(*target);
    const std::optional<std::filesystem::path> local = Journaled(path);
    if (local && !in_.journal_->BeforeDelete(*local)) {
      Warn("DELETE " + path + ": " + kNotKept);
      return;
    }
    if (const TActionProblem problem = ovix::RemoveFile(path)) {
      Warn("DELETE " + path + ": " + *problem);
      return;
    }
    in_.Log("DELETE " + path + ": done");
    if (existed) CountChange(*target);
  }
  bool FileExists(const std::string& path) override {
    const bool exists = ovix::FileExists(path);
    in_.Log("file " + path + (exists ? " exists" : " does not exist"));
    return exists;
  }
  bool DirectoryExists(const std::string& path) override {
    const bool exists = ovix::DirectoryExists(path);
    in_.Log("folder " + path + (exists ? " exists" : " does not exist"));
    return exists;
  }
  void GuardCaught(std::string_view failure) override {
    Warn(
        "a failure inside an IF_EXISTS or IF_NEXISTS block, which goes on as if its file "
        "did not exist: " +
        std::string(failure));
  }
  void Pump() override {
    if (++pumpCalls_ % kCallsPerKeepAlive == 0) view_.KeepAlive();
  }

 private:
  static constexpr const char kNotKept[] =
      "the file it would change cannot be kept for an undo, so it is left as it is";

  static bool Exists(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type() !=
           std::filesystem::file_type::not_found;
  }

  // The game folder itself, or one holding it: no COPY, DELETE or DELETEDIR takes it away.
  bool TakesGameFolder(const std::string& action, const std::string& path) const {
    const std::optional<std::filesystem::path> local = LocalPath(path);
    if (!game_ || !local || !game_->IsFolderOrAbove(*local)) return false;
    Warn(action + " " + path + ": " + std::string(kGameFolderItself));
    return true;
  }

  // A change made in the game folder, judged by resolved paths alone, apart from the
  // journal's own judgement, which it checks.
  void CountChange(const std::filesystem::path& changed, int count = 1) {
    if (game_ && IsAtOrBelow(ResolvedPath(changed.parent_path()), game_->Canonical())) {
      in_.gameChanges_ += count;
    }
  }

  // The local path of a path the journal records: one in the game folder, while a journal
  // is kept.
  std::optional<std::filesystem::path> Journaled(const std::string& path) const {
    if (!in_.journal_) return std::nullopt;
    std::optional<std::filesystem::path> local = LocalPath(path);
    if (!local || !in_.journal_->Inside(*local)) return std::nullopt;
    return local;
  }

  void Warn(std::string_view problem) const {
    in_.Log(std::string("warning: ") + std::string(problem));
    view_.Warning(problem);
  }

  TInstall& in_;
  TInstallView& view_;
  std::optional<TFolderScope> game_;
  unsigned pumpCalls_ = 0;
};

void TInstall::FeedStatus(std::string_view text) {
  view_.Status(std::string(Tr(txtCurrentAction)).append(text));
  view_.Present();
}

void TInstall::FeedPercent(int value) {
  view_.Percent(std::string(Tr(txtInstallUpdate)) + " (" + std::to_string(value) + "%)");
  view_.Present();
}

int TInstall::RunScript(const std::string& script, bool execute, const TInstallChoices& choices) {
  ScriptHost host(*this, choices.gameFolder);
  return static_cast<int>(ovix::RunScript(host, script, execute));
}

bool TInstall::PrepareScript(std::string& script, const TInstallChoices& choices) {
  TScriptValues values{.temp = GetTempDirectory(),
                       .game = choices.gameFolder,
                       .clientVersion = choices.clientVersion,
                       .configFile = choices.configFile,
                       .customConfig = choices.configFile.has_value(),
                       .keepConfig = choices.keepConfig};
  try {
    values.oldVersion = PreviousVersionFolder(choices.gameFolder);
  } catch (const std::exception&) {
    view_.Message(Tr(txtDirectoryCorrupted), TNoticeKind::Warning);
    return false;
  }
  ReplacePlaceholders(script, values);
  return true;
}

}  // namespace ovix
