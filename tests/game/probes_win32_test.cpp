#include <gtest/gtest.h>

#include <random>
#include <string>

#include "game/probes.h"
#include "game/test_executables.h"
#include "os/folders.h"
#include "os/process.h"
#include "os/text.h"
#include "os/windows_api.h"

namespace ovix {
namespace {

std::string Utf8(const std::filesystem::path& path) { return Narrow(path.wstring()); }

// A letter that names no drive, for the negative cases.
char UnusedDriveLetter() {
  const DWORD drives = GetLogicalDrives();
  for (int i = 25; i >= 3; --i) {
    if ((drives & (1u << i)) == 0) return static_cast<char>('A' + i);
  }
  return 0;
}

// A new folder with a name too long for 8.3, removed afterwards.
class LongFolder {
 public:
  LongFolder() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    path_ = std::wstring(temp, length) + L"Ovix Long Temporary Folder " +
            std::to_wstring(std::random_device()());
    created_ = CreateDirectoryW(path_.c_str(), nullptr) != 0;
  }
  ~LongFolder() {
    if (created_) RemoveDirectoryW(path_.c_str());
  }
  LongFolder(const LongFolder&) = delete;
  LongFolder& operator=(const LongFolder&) = delete;

  bool created() const { return created_; }
  const std::wstring& path() const { return path_; }
  std::wstring ShortPath() const {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = GetShortPathNameW(path_.c_str(), buffer, MAX_PATH + 1);
    return length == 0 || length > MAX_PATH ? std::wstring() : std::wstring(buffer, length);
  }

 private:
  std::wstring path_;
  bool created_ = false;
};

// Sets TMP for one test; the old value comes back afterwards.
class ScopedTmp {
 public:
  explicit ScopedTmp(const std::wstring& value) {
    wchar_t buffer[32768];
    const DWORD length = GetEnvironmentVariableW(L"TMP", buffer, 32768);
    if (length > 0 && length < 32768) saved_ = std::wstring(buffer, length);
    had_ = length > 0;
    SetEnvironmentVariableW(L"TMP", value.c_str());
  }
  ~ScopedTmp() { SetEnvironmentVariableW(L"TMP", had_ ? saved_.c_str() : nullptr); }
  ScopedTmp(const ScopedTmp&) = delete;
  ScopedTmp& operator=(const ScopedTmp&) = delete;

 private:
  std::wstring saved_;
  bool had_ = false;
};

TEST(ProbesWin32Test, FileVersionAgreesWithTheBoundedReader) {
  const std::pair<const char*, const char*> cases[] = {
      {"version_1_2_3_4.exe", "1.2.3"},   {"version_0_9_18_0.exe", "0.9.18"},
      {"version_1_10_2_7.exe", "1.10.2"}, {"no_version.exe", ""},
      {"no_resources.exe", ""},           {"missing.exe", ""},
  };
  for (const auto& [name, expected] : cases) {
    const std::filesystem::path file = TestExecutable(name);
    EXPECT_EQ(GetFileVersionString(Utf8(file)), expected) << name;
    const auto read = ReadPeFileVersionFromFile(file);
    EXPECT_EQ(read ? FormatFileVersion(*read) : "", expected) << name;
  }
  LongFolder folder;
  ASSERT_TRUE(folder.created());
  const std::wstring text = folder.path() + L"\\readme.txt";
  HANDLE file = CreateFileW(text.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, "MZ text", 7, &written, nullptr);
  CloseHandle(file);
  EXPECT_EQ(GetFileVersionString(Narrow(text)), "");
  DeleteFileW(text.c_str());
}

TEST(ProbesWin32Test, TempDirectoryIsLongAndHasNoTrailingSeparator) {
  const std::string temp = GetTempDirectory();
  ASSERT_FALSE(temp.empty());
  EXPECT_NE(temp.back(), '\\');
  EXPECT_EQ(GetLongPath(temp), temp);

  LongFolder folder;
  ASSERT_TRUE(folder.created());
  const std::wstring shortPath = folder.ShortPath();
  ASSERT_FALSE(shortPath.empty());
  if (shortPath == folder.path()) GTEST_SKIP() << "this volume keeps no 8.3 names";
  const ScopedTmp tmp(shortPath);
  EXPECT_EQ(GetTempDirectory(), Narrow(folder.path()));
  EXPECT_EQ(GetLongPath(Narrow(shortPath)), Narrow(folder.path()));
  EXPECT_EQ(GetLongPath(Narrow(folder.path() + L"\\missing")), "");
}

TEST(ProbesWin32Test, DriveLetterAndRootNameTheSameDrive) {
  EXPECT_TRUE(IsDriveReady("c"));
  EXPECT_EQ(IsDriveReady("c"), IsDriveReady("C:\\"));
  const char unused = UnusedDriveLetter();
  ASSERT_NE(unused, 0);
  EXPECT_FALSE(IsDriveReady(std::string{unused}));
  EXPECT_FALSE(IsDriveReady(std::string{unused, ':', '\\'}));
}

TEST(ProbesWin32Test, ErrorModeIsRestored) {
  const UINT mode = SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX;
  const UINT original = SetErrorMode(mode);
  IsDriveReady("c");
  IsDriveReady(std::string{UnusedDriveLetter()});
  const UINT after = GetErrorMode();
  SetErrorMode(original);
  EXPECT_EQ(after, mode);
}

TEST(ProbesWin32Test, VersionFoldersLeaveOutHiddenAndSystemOnes) {
  LongFolder base;
  ASSERT_TRUE(base.created());
  const std::wstring root = base.path() + L"\\";
  for (const wchar_t* name : {L"1.0.0", L"2.0.0", L"3.0.0", L"configs"})
    CreateDirectoryW((root + name).c_str(), nullptr);
  SetFileAttributesW((root + L"1.0.0").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesW((root + L"2.0.0").c_str(), FILE_ATTRIBUTE_SYSTEM);
  std::vector<std::string> names;
  ListVersionFolders(Narrow(root), names);
  EXPECT_EQ(names, std::vector<std::string>{"3.0.0"});
  for (const wchar_t* name : {L"1.0.0", L"2.0.0", L"3.0.0", L"configs"}) {
    SetFileAttributesW((root + name).c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW((root + name).c_str());
  }
}

TEST(ProbesWin32Test, FindsItsOwnProcessByExecutableName) {
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::string name = Utf8(std::filesystem::path(std::wstring(self, length)).filename());
  for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  EXPECT_TRUE(IsProcessRunning(name));
  EXPECT_FALSE(IsProcessRunning(name.substr(0, name.size() - 1)));
  EXPECT_FALSE(IsProcessRunning(name.substr(0, name.size() - 3) + "COM"));
}

}  // namespace
}  // namespace ovix
