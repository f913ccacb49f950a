// The install script run against the window: captions, downloads, file actions.

#include <algorithm>
#include <optional>
#include <utility>

#include "app/main_window.h"
#include "app/script_check.h"
#include "game/probes.h"
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

// Long enough that pumping costs little, short enough to feel immediate.
constexpr auto kPumpInterval = 5ms;
// Reading the clock is cheap, but not free under every system: look every so often.
constexpr unsigned kCallsPerClockRead = 64;
// How often a waiting GETFILE looks at its download.
constexpr auto kDownloadPoll = 10ms;

}  // namespace

// Captions are staged and shown when the window is next pumped, before a long
// command and when the run ends: a real window takes a fraction of a millisecond per
// caption, which thousands of status lines would otherwise add up to seconds.
class TfWindow::ScriptHost final : public TScriptHost {
 public:
  explicit ScriptHost(TfWindow& window) : w_(window) {
    if (const std::optional<std::filesystem::path> game = LocalPath(w_.WOTDir))
      game_.emplace(*game);
  }
  ~ScriptHost() { ShowCaptions(); }
  ScriptHost(const ScriptHost&) = delete;
  ScriptHost& operator=(const ScriptHost&) = delete;

  void Status(std::string_view code, std::string_view text) override {
    // The English line stands until a translation follows it.
    if (code != Text(txtLanguageCode, w_.currentLanguage) && code != Text(txtLanguageCode, lngEN))
      return;
    status_ = std::string(w_.Tr(txtCurrentAction)).append(text);
    if (w_.onScriptStatus) w_.onScriptStatus(*status_);
  }

  void Percent(int value) override {
    // The caption "%s (%d%%)" makes of the label and the number.
    percent_ = std::string(w_.Tr(txtInstallUpdate)) + " (" + std::to_string(value) + "%)";
    if (w_.onScriptPercent) w_.onScriptPercent(*percent_);
  }

  bool GetFile(const std::string& url, const std::string& destination,
               std::string_view more) override {
    ShowCaptions();
    const std::optional<std::filesystem::path> local = LocalPath(destination);
    // What a killed install left beside the destination goes before a new one starts.
    if (local) RemoveStalePartialFilesOnce(local->parent_path());
    if (local && w_.journal_ && !w_.journal_->BeforeWrite(*local)) {
      Warn("GETFILE " + url + ": " + kNotKept);
      return true;
    }
    ui::Application& app = w_.App();
    TAsyncDownloader downloader(w_, url);
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
      w_.Log("GETFILE " + url + " " + destination + ": stopped, the program is closing");
      return false;
    }
    if (local && downloader.Result() == kTransferOk) {
      if (w_.journal_) w_.journal_->Written(*local);
      CountChange(*local);
    }
    w_.Log("GETFILE " + url + " " + destination + ": " +
           (downloader.Result() == kTransferOk
                ? std::string("done")
                : "failed, " + DescribeTransferCode(downloader.Result())));
    return !app.Terminated();
  }

  void Unpack(const std::string& archive, const std::string& destinationDirectory) override {
    ShowCaptions();
    w_.pbCurrentAction.SetMax(100);
    w_.pbCurrentAction.SetPosition(0);
    w_.Log("UNPACK " + archive + " " + destinationDirectory);
    const std::size_t written = UnpackArchive(
        archive, destinationDirectory, [this](int percent) { w_.ArchiveProgress(percent); },
        [&](std::string_view member, std::string_view reason) {
          Warn("UNPACK " + archive + ": " + std::string(member) +
               " skipped: " + std::string(reason));
        },
        w_.journal_.get());
    if (const auto local = LocalPath(destinationDirectory); local && written > 0) {
      CountChange(*local / "member", static_cast<int>(written));
    }
  }

  void Copy(const std::string& source, const std::string& destination) override {
    if (TakesGameFolder("COPY " + source + " to", destination)) return;
    const std::optional<std::filesystem::path> local = Journaled(destination);
    if (local && !w_.journal_->BeforeWrite(*local)) {
      Warn("COPY " + source + " to " + destination + ": " + kNotKept);
      return;
    }
    if (const TActionProblem problem = CopyFileIfExists(source, destination)) {
      Warn("COPY " + source + " to " + destination + ": " + *problem);
      return;
    }
    w_.Log("COPY " + source + " " + destination + ": done");
    if (local) w_.journal_->Written(*local);
    if (const auto target = LocalPath(destination)) CountChange(*target);
  }
  void RemoveDirectoryTree(const std::string& directory) override {
    if (TakesGameFolder("DELETEDIR", directory)) return;
    // In the game folder the tree is moved aside, to be put back by an undo.
    const std::optional<std::filesystem::path> local = Journaled(directory);
    if (!(local ? w_.journal_->RemoveTree(*local) : ovix::RemoveDirectoryTree(directory))) {
      Warn("DELETEDIR " + directory + ": the folder cannot be deleted completely");
      return;
    }
    w_.Log("DELETEDIR " + directory + ": done");
    if (const auto target = LocalPath(directory)) CountChange(*target);
  }
  void RemoveFile(const std::string& path) override {
    if (TakesGameFolder("DELETE", path)) return;
    const std::optional<std::filesystem::path> target = LocalPath(path);
    const bool existed = target && Exists(*target);
    const std::optional<std::filesystem::path> local = Journaled(path);
    if (local && !w_.journal_->BeforeDelete(*local)) {
      Warn("DELETE " + path + ": " + kNotKept);
      return;
    }
    if (const TActionProblem problem = ovix::RemoveFile(path)) {
      Warn("DELETE " + path + ": " + *problem);
      return;
    }
    w_.Log("DELETE " + path + ": done");
    if (existed) CountChange(*target);
  }
  bool FileExists(const std::string& path) override {
    const bool exists = ovix::FileExists(path);
    w_.Log("file " + path + (exists ? " exists" : " does not exist"));
    return exists;
  }
  bool DirectoryExists(const std::string& path) override {
    const bool exists = ovix::DirectoryExists(path);
    w_.Log("folder " + path + (exists ? " exists" : " does not exist"));
    return exists;
  }
  void GuardCaught(std::string_view failure) override {
    Warn(
        "a failure inside an IF_EXISTS or IF_NEXISTS block, which goes on as if its file "
        "did not exist: " +
        std::string(failure));
  }
  void Pump() override {
    if (++pumpCalls_ % kCallsPerClockRead != 0 || !w_.PumpDue()) return;
    ShowCaptions();
    w_.App().ProcessMessages();
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
      w_.gameChanges_ += count;
    }
  }

  // The local path of a path the journal records: one in the game folder, while a journal
  // is kept.
  std::optional<std::filesystem::path> Journaled(const std::string& path) const {
    if (!w_.journal_) return std::nullopt;
    std::optional<std::filesystem::path> local = LocalPath(path);
    if (!local || !w_.journal_->Inside(*local)) return std::nullopt;
    return local;
  }

  void Warn(std::string_view problem) const {
    w_.Log(std::string("warning: ") + std::string(problem));
    if (w_.onScriptWarning) w_.onScriptWarning(problem);
  }

  void ShowCaptions() {
    if (status_) w_.lCurrentAction.SetCaption(*std::exchange(status_, std::nullopt));
    if (percent_) w_.bProcess.SetCaption(*std::exchange(percent_, std::nullopt));
  }

  TfWindow& w_;
  std::optional<TFolderScope> game_;
  unsigned pumpCalls_ = 0;
  std::optional<std::string> status_;
  std::optional<std::string> percent_;
};

void TfWindow::FeedStatus(std::string_view text) {
  ScriptHost(*this).Status(Tr(txtLanguageCode), text);
}

void TfWindow::FeedPercent(int value) { ScriptHost(*this).Percent(value); }

int TfWindow::RunScript(const std::string& Script, bool Execute) {
  ScriptHost host(*this);
  return static_cast<int>(ovix::RunScript(host, Script, Execute));
}

bool TfWindow::PrepareScript(std::string& Script, const std::string& ClientVersion) {
  const int config = cmbConfig.ItemIndex();
  TScriptValues values{.temp = GetTempDirectory(),
                       .game = WOTDir,
                       .clientVersion = ClientVersion,
                       .customConfig = config > 0,
                       .keepConfig = cbKeepConfig.Checked()};
  if (config > 0) values.configFile = ConfigsFiles.at(config - 1);
  try {
    values.oldVersion = PreviousVersionFolder(eDirectory.Caption());
  } catch (const std::exception&) {
    App().MessageBox(Tr(txtDirectoryCorrupted), ui::TMsgIcon::Warning);
    return false;
  }
  ReplacePlaceholders(Script, values);
  return true;
}

void TfWindow::ArchiveProgress(int Percent) {
  pbCurrentAction.SetPosition(Percent);
  if (PumpDue()) App().ProcessMessages();
}

bool TfWindow::PumpDue() {
  const auto now = std::chrono::steady_clock::now();
  if (now - lastPump_ < kPumpInterval) return false;
  lastPump_ = now;
  return true;
}

}  // namespace ovix
