#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>

#include "game/shortcuts.h"
#include "game/test_executables.h"
#include "os/com_win32.h"
#include "os/text.h"
#include "os/windows_api.h"
#include "support/sandbox.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;

// The program's entry sets COM up for its thread; this test program does the same.
const ComApartment kApartment;

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// Writes a link with the shell, through make_shortcut.exe; true when it did.
bool MakeShortcut(const std::string& link, const std::string& target) {
  std::wstring command = L"\"" + TestExecutable("make_shortcut.exe").wstring() + L"\" \"" +
                         Widen(link) + L"\" \"" + Widen(target) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &started)) {
    return false;
  }
  const Handle process(started.hProcess);
  const Handle thread(started.hThread);
  DWORD code = 1;
  return WaitForSingleObject(process.get(), 60000) == WAIT_OBJECT_0 &&
         GetExitCodeProcess(process.get(), &code) && code == 0;
}

void CreateFileAt(const std::string& path) {
  std::ofstream(fs::path(Widen(path))) << "MZ";
  ASSERT_TRUE(fs::exists(fs::path(Widen(path)))) << path;
}

// A file in the root of drive C:, removed afterwards.
class RootFile {
 public:
  RootFile() : path_("C:\\ovix-shortcut-" + std::to_string(std::random_device{}()) + ".exe") {}
  ~RootFile() { DeleteFileW(Widen(path_).c_str()); }
  RootFile(const RootFile&) = delete;
  RootFile& operator=(const RootFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST(ShortcutWin32Test, DesktopIsAnExistingFolder) {
  const std::string desktop = GetDesktopDirectory();
  ASSERT_FALSE(desktop.empty());
  const DWORD attributes = GetFileAttributesW(Widen(desktop).c_str());
  EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES) << desktop;
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY) << desktop;
}

TEST(ShortcutWin32Test, ReadsLinksTheShellWrites) {
  const test::Sandbox sandbox;
  const RootFile rootFile;
  const std::string deepFolder = sandbox.Dir() + "\\Deep Folder With Blanks\\Ünïcödé ñame";
  fs::create_directories(fs::path(Widen(deepFolder)));
  const std::string targets[] = {
      sandbox.Dir() + "\\launcher.exe",
      deepFolder + "\\Game Launcher.exe",
      rootFile.path(),
      deepFolder,
      "D:\\Games\\Not There\\game.exe",
  };
  for (std::size_t i = 0; i < 3; ++i) CreateFileAt(targets[i]);
  for (std::size_t i = 0; i < std::size(targets); ++i) {
    const std::string link = sandbox.Dir() + "\\link" + std::to_string(i) + ".lnk";
    ASSERT_TRUE(MakeShortcut(link, targets[i])) << targets[i];
    EXPECT_EQ(ResolveShortcut(link), targets[i]);
  }
}

TEST(ShortcutWin32Test, ThrowsWhereComIsNotSetUp) {
  bool threw = false;
  std::thread([&threw] {
    try {
      ResolveShortcut("C:\\absent.lnk");
    } catch (const std::runtime_error&) {
      threw = true;
    }
  }).join();
  EXPECT_TRUE(threw);
}

}  // namespace
}  // namespace ovix
