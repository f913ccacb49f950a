// One install through the real OvixUpdater.exe, driven from outside as a player would: the
// game is found on drive C:, a running client must be closed first, then the update comes
// from the service kit (OVIX_UPDATE_URL) and keeps the player's configuration.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <system_error>

#include "lang/languages.h"
#include "lang/locale.h"
#include "os/process.h"
#include "win32_test_util.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using testing::Children;
using testing::ChildWithText;
using testing::ClassNameOf;
using testing::ComboItemText;
using testing::FindMessageBox;
using testing::FromUnixPath;
using testing::MessageBoxText;
using testing::WaitFor;
using testing::WindowText;

std::string S(std::string_view text) { return std::string(text); }

void Pause() { Sleep(10); }

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Every file below the folder, by relative path, with its bytes.
std::map<std::string, std::string> FilesBelow(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file())
      files[Narrow(fs::relative(entry.path(), folder).generic_wstring())] = ReadFile(entry.path());
  return files;
}

fs::path Temporary(const wchar_t* name) { return fs::temp_directory_path() / name; }

// A game whose client reports 1.5.0, in a folder the exe searches at start-up, with a
// configuration the player has edited. What the kit's script leaves in the temporary folder
// is cleared too, so that an earlier run cannot stand in for this one.
class GameOnDriveC {
 public:
  explicit GameOnDriveC(const std::string& playerConfig) {
    Clear();
    fs::create_directories(ConfigFile().parent_path());
    fs::copy_file(FromUnixPath(OVIX_CLIENT_EXE), folder_ / L"WorldOfTanks.exe");
    std::ofstream(ConfigFile(), std::ios::binary) << playerConfig;
  }
  ~GameOnDriveC() { Clear(); }
  GameOnDriveC(const GameOnDriveC&) = delete;
  GameOnDriveC& operator=(const GameOnDriveC&) = delete;

  fs::path Mods() const { return folder_ / L"res_mods"; }
  // Where the script for 1.5.0 saves the configuration from and puts it back to.
  fs::path ConfigFile() const { return folder_ / L"res_mods\\1.5.0\\ovix\\config.txt"; }

 private:
  void Clear() const {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
    fs::remove(Temporary(L"ovix-2.1.zip"), ignored);
    fs::remove(Temporary(L"ovix-config.txt"), ignored);
  }

  const fs::path folder_{L"C:\\World_of_Tanks"};
};

// What the player sees of the controls an install touches.
struct Screen {
  std::string button;
  bool buttonEnabled;
  std::string status;
  LRESULT progress;
  bool keepConfig;
  std::string directory;

  bool operator==(const Screen&) const = default;
  friend void PrintTo(const Screen& s, std::ostream* out) {
    *out << "{button \"" << s.button << "\" enabled " << s.buttonEnabled << ", status \""
         << s.status << "\", progress " << s.progress << ", keep " << s.keepConfig
         << ", directory \"" << s.directory << "\"}";
  }
};

HWND ChildOfClass(HWND parent, const std::string& className) {
  for (HWND child : Children(parent))
    if (ClassNameOf(child) == className) return child;
  return nullptr;
}

TEST(InstallExeTest, InstallsOnceTheClientIsClosedAndKeepsThePlayersConfiguration) {
  const char* service = std::getenv("OVIX_UPDATE_URL");
  if (service == nullptr || *service == '\0') GTEST_SKIP() << "OVIX_UPDATE_URL is not set";
  ASSERT_EQ(LanguageFromLocaleId(GetUserDefaultLCID()), lngEN) << "needs an English locale";

  // Different in every run, so no file left from an earlier one can match it.
  const std::string playerConfig = "ovix.config = mine " + std::to_string(GetTickCount()) + "\n";
  const GameOnDriveC game(playerConfig);
  const std::map<std::string, std::string> filesBefore = FilesBelow(game.Mods());

  const ChildProcess exe(L"\"" + FromUnixPath(OVIX_EXE_PATH) + L"\"");
  ASSERT_TRUE(exe.Started());
  HWND main = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (main = exe.VisibleWindow(L"TfWindow")) != nullptr; }, Pause));

  // The game folder is shown and both lists come in from the kit.
  HWND directory = nullptr;
  HWND versions = nullptr;
  HWND configs = nullptr;
  ASSERT_TRUE(WaitFor(
      [&] {
        for (HWND child : Children(main)) {
          const std::string name = ClassNameOf(child);
          if (name == "Edit") directory = child;
          if (name != "ComboBox") continue;
          const LRESULT count = SendMessageW(child, CB_GETCOUNT, 0, 0);
          if (count == 3 && ComboItemText(child, 0) == "Release-2.1") versions = child;
          if (count == 4) configs = child;
        }
        return directory && versions && configs && WindowText(directory) == "C:\\World_of_Tanks";
      },
      Pause));
  // The first entry installs the script named after the client version.
  EXPECT_EQ(SendMessageW(versions, CB_GETCURSEL, 0, 0), 0);
  EXPECT_TRUE(IsWindowEnabled(versions));

  HWND install = ChildWithText(main, S(txtInstallUpdate[lngEN]));
  HWND keepConfig = ChildWithText(main, S(txtKeepConfig[lngEN]));
  HWND status = ChildWithText(main, S(txtCurrentAction[lngEN]));
  HWND progress = ChildOfClass(main, "msctls_progress32");
  ASSERT_TRUE(install && keepConfig && status && progress);
  const auto screen = [&] {
    return Screen{WindowText(install),
                  IsWindowEnabled(install) != FALSE,
                  WindowText(status),
                  SendMessageW(progress, PBM_GETPOS, 0, 0),
                  SendMessageW(keepConfig, BM_GETCHECK, 0, 0) == BST_CHECKED,
                  WindowText(directory)};
  };

  {
    // Given this process's id, it ends with this process at the latest.
    const ChildProcess client(L"\"" + FromUnixPath(OVIX_RUNNING_CLIENT_EXE) + L"\" " +
                              std::to_wstring(GetCurrentProcessId()));
    ASSERT_TRUE(client.Started());
    ASSERT_TRUE(WaitFor([] { return IsProcessRunning("worldoftanks.exe"); }, Pause));
    const Screen before = screen();
    // Posted: the exe answers the click with a modal box, which a sent message would wait on.
    PostMessageW(install, BM_CLICK, 0, 0);
    HWND box = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (box = FindMessageBox(exe.Id())) != nullptr; }, Pause));
    EXPECT_EQ(MessageBoxText(box), S(txtCloseClient[lngEN]));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitFor([&] { return FindMessageBox(exe.Id()) == nullptr; }, Pause));
    EXPECT_EQ(screen(), before);
    EXPECT_EQ(FilesBelow(game.Mods()), filesBefore);
    EXPECT_FALSE(fs::exists(Temporary(L"ovix-config.txt")));
  }
  ASSERT_TRUE(WaitFor([] { return !IsProcessRunning("worldoftanks.exe"); }, Pause));

  SendMessageW(keepConfig, BM_CLICK, 0, 0);
  ASSERT_EQ(SendMessageW(keepConfig, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_FALSE(IsWindowEnabled(configs));

  const std::string idleStatus = WindowText(status);
  PostMessageW(install, BM_CLICK, 0, 0);
  // The button is locked from before the first status line until the install ends: each look
  // while it shows a percentage short of 100 finds it locked (at the end it is unlocked just
  // before its caption is reset). The caption is read before and after the lock, so that a
  // look spanning the start or the end of the install does not count.
  HWND box = nullptr;
  int looksDuring = 0, unlockedDuring = 0;
  const auto inProgress = [&](const std::string& caption) {
    return caption != S(txtInstallUpdate[lngEN]) && caption.find("(100%)") == std::string::npos;
  };
  ASSERT_TRUE(WaitFor(
      [&] {
        box = FindMessageBox(exe.Id());
        const std::string before = WindowText(install);
        const bool enabled = IsWindowEnabled(install) != FALSE;
        if (inProgress(before) && inProgress(WindowText(install))) {
          ++looksDuring;
          unlockedDuring += enabled;
        }
        return box != nullptr || (enabled && WindowText(status) != idleStatus &&
                                  WindowText(install) == S(txtInstallUpdate[lngEN]));
      },
      [] {}, std::chrono::seconds(60)));
  ASSERT_EQ(box, nullptr) << MessageBoxText(box);
  EXPECT_GT(looksDuring, 0);
  EXPECT_EQ(unlockedDuring, 0);

  EXPECT_EQ(WindowText(status), S(txtCurrentAction[lngEN]) + "Ovix 2.1 is installed");
  EXPECT_EQ(SendMessageW(progress, PBM_GETPOS, 0, 0), 100);
  EXPECT_EQ(SendMessageW(progress, PBM_GETRANGE, TRUE, 0), 0);
  EXPECT_EQ(SendMessageW(progress, PBM_GETRANGE, FALSE, 0), 100);
  EXPECT_EQ(SendMessageW(keepConfig, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_TRUE(IsWindowEnabled(versions));
  EXPECT_FALSE(IsWindowEnabled(configs));

  // The archive's files are unpacked into the client version's folder, except that the
  // player's configuration wins over the archive's default one.
  std::map<std::string, std::string> expected = filesBefore;
  expected["1.5.0/ovix/version.txt"] = "Ovix 2.1\n";
  EXPECT_EQ(FilesBelow(game.Mods()), expected);
  EXPECT_EQ(ReadFile(Temporary(L"ovix-config.txt")), playerConfig);
  EXPECT_FALSE(fs::exists(Temporary(L"ovix-2.1.zip")));

  PostMessageW(main, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(exe.Handle(), 30000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(exe.Handle(), &code);
  EXPECT_EQ(code, 0u);
}

}  // namespace
}  // namespace ovix
