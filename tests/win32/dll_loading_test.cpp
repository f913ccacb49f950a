// DLLs dropped beside the programs, as a downloads folder may hold them, must never be
// loaded. What the program files ask of the loader is read from them; then each program is
// copied next to a stand-in named like the network DLL it uses and run until it has used
// it; a stand-in that is loaded leaves a marker file beside itself.
//
// Wine prefers its own build of a DLL it implements over a file found beside the program,
// which Windows does not; the programs are run with Wine told to prefer the file found, as
// Windows does. version.dll is not planted: Wine's own user32.dll imports it, so under
// that order any program would load a planted one before its first line runs.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

#include "win32_test_util.h"

// clang-format off
#include "os/windows_api.h"
#include <winsock2.h>  // needs windows.h first, for the wide resource names
// clang-format on

namespace ovix {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using testing::FromUnixPath;
using testing::WaitFor;

// Nothing listens there: every request fails at once, after the transport was used.
constexpr wchar_t kDeadService[] = L"http://127.0.0.1:1";
constexpr std::chrono::seconds kDeadline{60};

void Pause() { Sleep(10); }

struct KeyCloser {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using Key = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// Wine's load order for the named DLLs in processes of the named program file: the file
// found first, as on Windows, for as long as this lives. Without effect on Windows.
class PreferFilesFound {
 public:
  PreferFilesFound(const std::wstring& program, std::vector<std::wstring> names)
      : path_(L"Software\\Wine\\AppDefaults\\" + program), names_(std::move(names)) {
    HKEY opened = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, (path_ + L"\\DllOverrides").c_str(), 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &opened, &disposition) != ERROR_SUCCESS)
      return;
    key_.reset(opened);
    created_ = disposition == REG_CREATED_NEW_KEY;
    static constexpr wchar_t kOrder[] = L"native,builtin";
    for (const std::wstring& name : names_)
      RegSetValueExW(key_.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(kOrder),
                     sizeof(kOrder));
  }
  ~PreferFilesFound() {
    if (!key_) return;
    for (const std::wstring& name : names_) RegDeleteValueW(key_.get(), name.c_str());
    key_.reset();
    if (!created_) return;
    RegDeleteKeyW(HKEY_CURRENT_USER, (path_ + L"\\DllOverrides").c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, path_.c_str());
  }
  PreferFilesFound(const PreferFilesFound&) = delete;
  PreferFilesFound& operator=(const PreferFilesFound&) = delete;

  bool Set() const { return key_ != nullptr; }

 private:
  std::wstring path_;
  std::vector<std::wstring> names_;
  Key key_;
  bool created_ = false;
};

// Sets an environment variable of this process, which children inherit, until destroyed.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
    if (const DWORD size = GetEnvironmentVariableW(name, nullptr, 0); size > 0) {
      std::wstring old(size, L'\0');
      old.resize(GetEnvironmentVariableW(name, old.data(), size));
      saved_ = old;
    }
    SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedVariable() { SetEnvironmentVariableW(name_, saved_ ? saved_->c_str() : nullptr); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const wchar_t* name_;
  std::optional<std::wstring> saved_;
};

// A loopback port whose first connection is taken and closed unanswered: the sign that a
// program has made a request.
class LoopbackListener {
 public:
  LoopbackListener() {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    if (socket_ == INVALID_SOCKET ||
        bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(socket_, 4) != 0 ||
        getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return;
    port_ = ntohs(address.sin_port);
  }
  ~LoopbackListener() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    if (started_) WSACleanup();
  }
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  bool Listening() const { return port_ != 0; }
  std::wstring Url() const { return L"http://127.0.0.1:" + std::to_wstring(port_); }

  // Whether a connection has come in by now.
  bool Connected() const {
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(socket_, &ready);
    timeval none{0, 0};
    if (select(0, &ready, nullptr, nullptr, &none) != 1) return false;
    const SOCKET client = accept(socket_, nullptr, nullptr);
    if (client != INVALID_SOCKET) closesocket(client);
    return true;
  }

 private:
  bool started_ = false;
  SOCKET socket_ = INVALID_SOCKET;
  std::uint16_t port_ = 0;
};

// A fresh folder with a copy of one program and stand-ins under the given names.
class DownloadsFolder {
 public:
  DownloadsFolder(const char* program, const std::vector<const wchar_t*>& planted) {
    static int count = 0;
    folder_ =
        fs::temp_directory_path() / (L"ovix-planted-" + std::to_wstring(GetCurrentProcessId()) +
                                     L"-" + std::to_wstring(++count));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    const fs::path source = FromUnixPath(program);
    program_ = folder_ / source.filename();
    fs::copy_file(source, program_);
    for (const wchar_t* name : planted)
      fs::copy_file(FromUnixPath(OVIX_PLANTED_DLL), folder_ / name);
  }
  ~DownloadsFolder() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  DownloadsFolder(const DownloadsFolder&) = delete;
  DownloadsFolder& operator=(const DownloadsFolder&) = delete;

  std::wstring Command(const std::wstring& arguments) const {
    return L"\"" + program_.wstring() + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  }
  const fs::path& Path() const { return folder_; }

  // The stand-ins that were loaded, by the markers they left.
  std::vector<std::string> Loaded() const {
    std::vector<std::string> loaded;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder_))
      if (entry.path().extension() == L".loaded")
        loaded.push_back(Narrow(entry.path().stem().wstring()));
    return loaded;
  }

 private:
  fs::path folder_;
  fs::path program_;
};

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

struct LibraryFreer {
  void operator()(HMODULE module) const { FreeLibrary(module); }
};

// A program file mapped for reading, never run.
class ProgramImage {
 public:
  explicit ProgramImage(const std::wstring& path)
      : module_(LoadLibraryExW(path.c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}

  bool Valid() const { return module_ != nullptr; }

  // The DLLs its import table names, in lower case: the ones loaded before its code runs.
  std::vector<std::string> Imports() const {
    // Mapped as an image, so addresses are offsets from the base; the low bits mark the kind.
    const auto* base = reinterpret_cast<const unsigned char*>(
        reinterpret_cast<std::uintptr_t>(module_.get()) & ~std::uintptr_t{3});
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& table =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::vector<std::string> names;
    if (table.VirtualAddress == 0) return names;
    for (auto* entry =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + table.VirtualAddress);
         entry->Name != 0; ++entry)
      names.push_back(Lower(reinterpret_cast<const char*>(base + entry->Name)));
    return names;
  }

  std::string Manifest() const {
    HRSRC found = FindResourceW(module_.get(), MAKEINTRESOURCEW(1), RT_MANIFEST);
    HGLOBAL loaded = found ? LoadResource(module_.get(), found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) return {};
    return std::string(static_cast<const char*>(bytes), SizeofResource(module_.get(), found));
  }

 private:
  std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFreer> module_;
};

TEST(ProgramFileTest, NoDllThatMayLieBesideAProgramIsImportedAndBothRunAsTheInvoker) {
  for (const char* program : {OVIX_EXE_PATH, OVIX_CLI_EXE_PATH}) {
    SCOPED_TRACE(program);
    const ProgramImage image(FromUnixPath(program));
    ASSERT_TRUE(image.Valid());
    const std::vector<std::string> imports = image.Imports();
    ASSERT_FALSE(imports.empty());
    for (const std::string& name : imports) {
      EXPECT_NE(name, "version.dll");
      EXPECT_NE(name, "wininet.dll");
    }
    // A program named like an updater without this is taken for an installer and elevated.
    EXPECT_NE(image.Manifest().find("level=\"asInvoker\""), std::string::npos);
  }
}

DWORD ExitCodeWithin(const ChildProcess& process, std::chrono::milliseconds limit) {
  if (WaitForSingleObject(process.Handle(), static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0)
    return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process.Handle(), &code);
  return code;
}

// Without this the two tests below could pass because no planted network DLL is ever
// loaded under the override they set: a program that does not narrow its search loads it.
TEST(PlantedDllTest, UnderTheOverrideAPlantedNetworkDllIsLoadedWhereTheSearchIsWide) {
  const DownloadsFolder downloads(OVIX_SEARCH_PROBE_PATH, {L"wininet.dll"});
  const PreferFilesFound prefer(L"dll_search_probe.exe", {L"wininet"});
  ASSERT_TRUE(prefer.Set());
  const ChildProcess probe(downloads.Command(L"--unrestricted wininet.dll"));
  ASSERT_TRUE(probe.Started());
  EXPECT_EQ(ExitCodeWithin(probe, kDeadline), 1u);
  EXPECT_EQ(downloads.Loaded(), std::vector<std::string>{"wininet.dll"});
}

TEST(PlantedDllTest, TheWindowProgramMakesRequestsWithoutLoadingDllsBesideIt) {
  const DownloadsFolder downloads(OVIX_EXE_PATH, {L"wininet.dll"});
  const PreferFilesFound prefer(L"OvixUpdater.exe", {L"wininet"});
  ASSERT_TRUE(prefer.Set());
  const LoopbackListener service;
  ASSERT_TRUE(service.Listening());
  const ScopedVariable serviceUrl(L"OVIX_UPDATE_URL", service.Url());
  const ChildProcess exe(downloads.Command(L""));
  ASSERT_TRUE(exe.Started());
  // It asks the service for its lists at start-up, once the transport is in use; a stand-in
  // loaded in its place fails the request before it connects.
  ASSERT_TRUE(WaitFor([&] { return service.Connected() || !downloads.Loaded().empty(); }, Pause,
                      kDeadline));
  EXPECT_EQ(downloads.Loaded(), std::vector<std::string>{});
}

TEST(PlantedDllTest, TheConsoleProgramMakesRequestsWithoutLoadingDllsBesideIt) {
  const DownloadsFolder downloads(OVIX_CLI_EXE_PATH, {L"wininet.dll"});
  const PreferFilesFound prefer(L"ovix-updater-cli.exe", {L"wininet"});
  ASSERT_TRUE(prefer.Set());
  // With a game folder it asks for the lists and then for the script. The folder must hold
  // a client; the program itself stands in for it.
  fs::copy_file(FromUnixPath(OVIX_CLI_EXE_PATH), downloads.Path() / L"worldoftanks.exe");
  const ChildProcess cli(downloads.Command(L"--game-dir \"" + downloads.Path().wstring() +
                                           L"\" --service " + kDeadService));
  ASSERT_TRUE(cli.Started());
  // Not installed, for want of a service, and not crashed.
  EXPECT_EQ(ExitCodeWithin(cli, kDeadline), 1u);
  EXPECT_EQ(downloads.Loaded(), std::vector<std::string>{});
}

TEST(PlantedDllTest, TheNarrowedSearchRefusesADllBesideTheProgram) {
  const DownloadsFolder downloads(OVIX_SEARCH_PROBE_PATH, {L"planted.dll"});
  {
    // Without the narrowing the stand-in is found: the check below can fail.
    const ChildProcess probe(downloads.Command(L"--unrestricted"));
    ASSERT_TRUE(probe.Started());
    EXPECT_EQ(ExitCodeWithin(probe, kDeadline), 1u);
    EXPECT_EQ(downloads.Loaded(), std::vector<std::string>{"planted.dll"});
  }
  fs::remove(downloads.Path() / L"planted.dll.loaded");
  const ChildProcess probe(downloads.Command(L""));
  ASSERT_TRUE(probe.Started());
  EXPECT_EQ(ExitCodeWithin(probe, kDeadline), 0u);
  EXPECT_EQ(downloads.Loaded(), std::vector<std::string>{});
}

}  // namespace
}  // namespace ovix
