// Starts the real OvixUpdater.exe and acts on it from outside, as a player would.
// The expected language follows LC_ALL, so the same cases run once under an
// English and once under a non-English locale.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include "lang/locale.h"
#include "win32_test_util.h"

namespace ovix {
namespace {

using testing::Children;
using testing::ChildWithText;
using testing::ChooseComboItem;
using testing::ClassNameOf;
using testing::ComboItemText;
using testing::FindMessageBox;
using testing::FromUnixPath;
using testing::MessageBoxText;
using testing::WaitFor;
using testing::WindowText;

std::string S(std::string_view text) { return std::string(text); }

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The language the run's Unix locale (LC_ALL, set per run by CTest) stands for, as the locale
// list in CMake pairs them ("en:en_US.UTF-8,fr:fr_FR.UTF-8").
TLanguage ExpectedLanguage() {
  const std::string locale = Environment("LC_ALL");
  const std::string pairs = std::string(OVIX_TEST_LOCALES) + ",";
  std::string code;
  for (std::size_t start = 0, end; (end = pairs.find(',', start)) != std::string::npos;
       start = end + 1) {
    const std::string pair = pairs.substr(start, end - start);
    if (pair.substr(pair.find(':') + 1) == locale) code = pair.substr(0, pair.find(':'));
  }
  for (int i = 0; i < kLanguageCount; ++i) {
    if (Text(txtLanguageCode, static_cast<TLanguage>(i)) == code) return static_cast<TLanguage>(i);
  }
  ADD_FAILURE() << "the locale list names no language for " << locale;
  return lngEN;
}

class RunningExe : public testing::ChildProcess {
 public:
  explicit RunningExe(const std::string& arguments = "")
      : ChildProcess(L"\"" + FromUnixPath(OVIX_EXE_PATH) + L"\"" +
                     (arguments.empty() ? L"" : L" " + Widen(arguments))) {}

  // The main window once it is visible, or nullptr.
  HWND MainWindow() const { return VisibleWindow(L"TfWindow"); }
};

// The owner-drawn picker is the only combo box with ten items.
HWND LanguagePicker(HWND main) {
  for (HWND child : Children(main))
    if (ClassNameOf(child) == "ComboBox" && SendMessageW(child, CB_GETCOUNT, 0, 0) == 10)
      return child;
  return nullptr;
}

// Saves what the screen shows of the window, frame included, as a 24-bit BMP.
void SaveScreenshot(HWND window, const std::string& name) {
  const std::string folder = Environment("OVIX_ARTIFACTS");
  if (folder.empty()) return;
  RECT r;
  GetWindowRect(window, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = static_cast<DWORD>((width * 3 + 3) & ~3);
  const DWORD imageSize = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + imageSize;
  info.bmiHeader.biSizeImage = imageSize;
  std::ofstream out(Widen(folder + "/" + name).c_str(), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof(file));
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(info.bmiHeader));
  out.write(static_cast<const char*>(bits), imageSize);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

void Pause() { Sleep(10); }

TEST(ExeWindowTest, TheLocaleEnvironmentIsInForce) {
  // Guards the other cases: under a non-English run they must not pass in English.
  EXPECT_EQ(LanguageFromLocaleId(GetUserDefaultLCID()), ExpectedLanguage());
}

TEST(ExeWindowTest, StartsInTheLocalesLanguageAndTheFlagPickerRelabelsIt) {
  const TLanguage language = ExpectedLanguage();
  RunningExe exe;
  ASSERT_TRUE(exe.Started());
  HWND main = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (main = exe.MainWindow()) != nullptr; }, Pause));
  EXPECT_EQ(WindowText(main), S(txtTitle[language]));
  // Nothing on the command line: no notice.
  EXPECT_EQ(FindMessageBox(exe.Id()), nullptr);

  struct Caption {
    const TCatalogueEntry* entry;
    bool enabled;
  };
  for (const Caption& c :
       {Caption{&txtWarning, true}, Caption{&txtOptions, true}, Caption{&txtKeepConfig, true},
        Caption{&txtModify, true}, Caption{&txtInstallUpdate, true}, Caption{&txtModVersion, true},
        Caption{&txtConfiguration, true}, Caption{&txtProgress, true},
        Caption{&txtCurrentAction, true}}) {
    HWND control = ChildWithText(main, S((*c.entry)[language]));
    ASSERT_NE(control, nullptr) << (*c.entry)[language];
    EXPECT_EQ(IsWindowEnabled(control) != FALSE, c.enabled) << (*c.entry)[language];
  }
  HWND picker = LanguagePicker(main);
  ASSERT_NE(picker, nullptr);
  EXPECT_TRUE(IsWindowEnabled(picker));
  EXPECT_EQ(SendMessageW(picker, CB_GETCURSEL, 0, 0), language);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(ComboItemText(picker, i), "");
  }
  // The version box waits for a game folder; the configuration box fills from the
  // service when one is reachable (the test run starts one).
  std::vector<HWND> boxes;
  for (HWND child : Children(main)) {
    if (ClassNameOf(child) == "ComboBox" && child != picker) boxes.push_back(child);
    if (ClassNameOf(child) == "Edit") {
      EXPECT_FALSE(IsWindowEnabled(child));
    }
  }
  ASSERT_EQ(boxes.size(), 2u);
  const char* service = std::getenv("OVIX_UPDATE_URL");
  if (service && *service) {
    HWND configs = nullptr;
    ASSERT_TRUE(WaitFor(
        [&] {
          for (HWND box : boxes)
            if (SendMessageW(box, CB_GETCOUNT, 0, 0) == 4 && IsWindowEnabled(box)) configs = box;
          return configs != nullptr;
        },
        Pause));
    EXPECT_EQ(ComboItemText(configs, 0), S(txtDefault[language]));
    EXPECT_EQ(ComboItemText(configs, 1), "Compact");
  }
  for (HWND box : boxes) {
    if (SendMessageW(box, CB_GETCOUNT, 0, 0) == 1) {
      EXPECT_FALSE(IsWindowEnabled(box));
      EXPECT_EQ(ComboItemText(box, 0), S(txtStable[language]));
    }
  }
  SaveScreenshot(main, "window-" + S(txtLanguageCode[language]) + ".bmp");

  // Through the picker into every other language and back.
  for (int i = 0; i < kLanguageCount; ++i) {
    const auto next = static_cast<TLanguage>((language + 1 + i) % kLanguageCount);
    ChooseComboItem(picker, next);
    ASSERT_TRUE(WaitFor([&] { return WindowText(main) == S(txtTitle[next]); }, Pause));
    EXPECT_NE(ChildWithText(main, S(txtInstallUpdate[next])), nullptr);
    EXPECT_NE(ChildWithText(main, S(txtKeepConfig[next])), nullptr);
    if (next == lngDE) SaveScreenshot(main, "window-de-picked.bmp");
  }

  PostMessageW(main, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(exe.Handle(), 30000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(exe.Handle(), &code);
  EXPECT_EQ(code, 0u);
}

TEST(ExeWindowTest, ACommandLineScriptIsAnnouncedBeforeTheWindowShows) {
  const TLanguage language = ExpectedLanguage();
  RunningExe exe("\"C:\\my scripts\\install.txt\" second third");
  ASSERT_TRUE(exe.Started());
  HWND box = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (box = FindMessageBox(exe.Id())) != nullptr; }, Pause));
  EXPECT_EQ(exe.MainWindow(), nullptr);
  EXPECT_EQ(WindowText(box), "Ovix Updater");
  EXPECT_EQ(MessageBoxText(box), S(txtScriptForced[language]));
  EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  HWND main = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (main = exe.MainWindow()) != nullptr; }, Pause));
  // Only one notice, however many arguments: the notices come before the window does.
  EXPECT_EQ(FindMessageBox(exe.Id()), nullptr);
  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(exe.Handle(), 30000), WAIT_OBJECT_0);
}

// A game client in a usual folder of the prefix's C: drive, for the length of one test.
class GameOnDriveC {
 public:
  GameOnDriveC() {
    std::filesystem::create_directories(folder_);
    std::ofstream(folder_ / L"WorldOfTanks.exe") << "x";
  }
  ~GameOnDriveC() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  GameOnDriveC(const GameOnDriveC&) = delete;
  GameOnDriveC& operator=(const GameOnDriveC&) = delete;

 private:
  const std::filesystem::path folder_{L"C:\\World_of_Tanks"};
};

TEST(ExeWindowTest, FindsTheGameInAUsualFolderAtStartUp) {
  GameOnDriveC game;
  RunningExe exe;
  ASSERT_TRUE(exe.Started());
  HWND main = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (main = exe.MainWindow()) != nullptr; }, Pause));
  HWND edit = nullptr;
  for (HWND child : Children(main))
    if (ClassNameOf(child) == "Edit") edit = child;
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(WindowText(edit), "C:\\World_of_Tanks");
  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(exe.Handle(), 30000), WAIT_OBJECT_0);
}

}  // namespace
}  // namespace ovix
