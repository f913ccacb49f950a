// The real window and the WinINet transport against the update-service kit that
// the test run starts on loopback (its address in OVIX_UPDATE_URL, handed to each window).

#include <gtest/gtest.h>
#include <winsock2.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "app/window_access.h"
#include "lang/languages.h"
#include "net/service_lists.h"
#include "net/transfer_codes.h"
#include "os/files.h"
#include "ui/win32/win32_application.h"
#include "win32_test_util.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;
using testing::ChooseComboItem;
using testing::ComboItemText;
using testing::WaitFor;
using ui::win32::HandleOf;

// The kit's address, which the test command hands the test programs; empty without it.
std::string KitUrl() {
  const char* url = std::getenv("OVIX_UPDATE_URL");
  return url != nullptr ? ServiceBaseUrl(url) : std::string();
}

// The kit's example answers, seen through Wine's Z: drive.
fs::path Example(const std::string& relative) {
  std::string path = std::string(OVIX_SOURCE_DIR) + "/service/example/" + relative;
  for (char& c : path)
    if (c == '/') c = '\\';
  return fs::path(Widen("Z:" + path));
}

class Win32ServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (KitUrl().empty()) GTEST_SKIP() << "needs the service kit; scripts/test starts it";
    folder_ = fs::temp_directory_path() / ("ovix-w32-" + std::to_string(GetCurrentProcessId()));
    fs::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  fs::path folder_;
};

TEST_F(Win32ServiceTest, TheTransportFetchesFilesAndReportsFailuresByCode) {
  auto transport = CreatePlatformTransport();
  const fs::path file = folder_ / "out.zip";
  std::uint64_t lastReceived = 0, lastTotal = 0;
  const auto progress = [&](std::uint64_t received, std::uint64_t total) {
    lastReceived = received;
    lastTotal = total;
    return true;
  };
  EXPECT_EQ(transport->Fetch(KitUrl() + "/files/ovix-2.2.zip", file, progress), kTransferOk);
  const std::string expected = ReadWholeFile(Example("files/ovix-2.2.zip")).value();
  EXPECT_EQ(ReadWholeFile(file).value(), expected);
  EXPECT_EQ(lastReceived, expected.size());
  EXPECT_EQ(lastTotal, expected.size());
  EXPECT_EQ(transport->Fetch(KitUrl() + "/get-ovix-versions?version=0.0.0", file, progress),
            kTransferNotFound);
  EXPECT_EQ(transport->Fetch("http://127.0.0.1:1/x", file, progress), kTransferCannotConnect);
  EXPECT_EQ(transport->Fetch("gopher://127.0.0.1/x", file, progress), kTransferUnknownProtocol);
  // Progress that asks to stop abandons the transfer.
  EXPECT_EQ(transport->Fetch(KitUrl() + "/files/ovix-2.2.zip", file,
                             [](std::uint64_t, std::uint64_t) { return false; }),
            kTransferAborted);
}

TEST_F(Win32ServiceTest, TheWindowFillsItsBoxesFromTheService) {
  ui::win32::Win32Application app;
  app.SetTitle("Ovix Updater");
  TfWindow w(app, TStartup{.localeId = 0x0409, .serviceUrl = KitUrl()});
  w.Show();
  const auto pump = [&] { app.ProcessMessages(); };
  // Start-up asks for the presets.
  ASSERT_TRUE(WaitFor([&] { return w.cmbConfig.ItemCount() == 4; }, pump));
  EXPECT_EQ(SendMessageW(HandleOf(w.cmbConfig), CB_GETCOUNT, 0, 0), 4);
  EXPECT_EQ(ComboItemText(HandleOf(w.cmbConfig), 3), "Large print");
  EXPECT_TRUE(IsWindowEnabled(HandleOf(w.cmbConfig)));

  // A game folder whose client reports 1.5.0 brings that version's list.
  const fs::path game = folder_ / "World_of_Tanks";
  fs::create_directories(game);
  fs::copy_file(fs::path(Widen(OVIX_CLIENT_EXE)), game / "worldoftanks.exe");
  w.WOTDir = Narrow(game.wstring());
  w.ApplyGameDirectory();
  EXPECT_EQ(w.Version, "1.5.0");
  ASSERT_TRUE(WaitFor([&] { return w.cmbOvixVersion.ItemCount() == 3; }, pump));
  EXPECT_EQ(ComboItemText(HandleOf(w.cmbOvixVersion), 2), "Nightly 2.3");
  EXPECT_TRUE(IsWindowEnabled(HandleOf(w.cmbOvixVersion)));

  // Choosing the nightly fetches its revision.
  ChooseComboItem(HandleOf(w.cmbOvixVersion), 2);
  ASSERT_TRUE(WaitFor([&] { return w.LastNightlyRev == "1234"; }, pump));
  EXPECT_EQ(ComboItemText(HandleOf(w.cmbOvixVersion), 2), "Nightly 2.3 (1234)");
  EXPECT_EQ(SendMessageW(HandleOf(w.cmbOvixVersion), CB_GETCURSEL, 0, 0), 2);
}

TEST_F(Win32ServiceTest, AScriptDownloadsAndUnpacksIntoTheGameWithTheWindowLive) {
  ui::win32::Win32Application app;
  app.SetTitle("Ovix Updater");
  TfWindow w(app, TStartup{.localeId = 0x0409, .serviceUrl = KitUrl()});
  w.Show();
  fs::create_directories(folder_ / "game" / "ovix");
  { std::ofstream(folder_ / "game" / "ovix" / "version.txt") << "old"; }
  const std::string dir = Narrow(folder_.wstring());
  const std::string script =
      "STATUS_en = Downloading\r\nPERCENT = 20\r\n"
      "GETFILE " +
      KitUrl() + "/files/ovix-2.2.zip \"" + dir +
      "\\package.zip\"\r\n"
      "IF_EXISTS " +
      dir +
      "\\package.zip\r\n"
      "STATUS_en = Unpacking\r\n"
      "UNPACK \"" +
      dir + "\\package.zip\" \"" + dir +
      "\\game\"\r\n"
      "DELETE " +
      dir +
      "\\package.zip\r\n"
      "ENDIF\r\n"
      "PERCENT = 100\r\n";
  EXPECT_EQ(TfWindowTestAccess::RunScript(w, script), static_cast<int>(script.size()));
  // A download worker hands its progress to the window, so this only ends if the run pumps.
  EXPECT_EQ(ReadWholeFile(folder_ / "game" / "ovix" / "version.txt").value_or(""), "Ovix 2.2\n");
  EXPECT_TRUE(fs::exists(folder_ / "game" / "ovix" / "config.txt"));
  EXPECT_FALSE(fs::exists(folder_ / "package.zip"));
  EXPECT_EQ(testing::WindowText(HandleOf(w.bProcess)), "Install / Update (100%)");
  EXPECT_EQ(testing::WindowText(HandleOf(w.lCurrentAction)),
            std::string(Text(txtCurrentAction, lngEN)) + "Unpacking");
  EXPECT_EQ(SendMessageW(HandleOf(w.pbCurrentAction), PBM_GETPOS, 0, 0), 100);
  EXPECT_EQ(SendMessageW(HandleOf(w.pbCurrentAction), PBM_GETRANGE, FALSE, 0), 100);
}

// A loopback server that accepts connections and never answers them.
class SilentServer {
 public:
  SilentServer() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    listen(listener_, 16);
    int length = sizeof(address);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] {
      for (;;) {
        const SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) return;  // the listener was closed
        std::lock_guard lock(mutex_);
        clients_.push_back(client);
      }
    });
  }
  ~SilentServer() {
    closesocket(listener_);
    acceptor_.join();
    for (SOCKET client : clients_) closesocket(client);
    WSACleanup();
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::size_t Connections() {
    std::lock_guard lock(mutex_);
    return clients_.size();
  }

 private:
  SOCKET listener_;
  int port_ = 0;
  std::thread acceptor_;
  std::mutex mutex_;
  std::vector<SOCKET> clients_;
};

TEST(Win32ShutdownTest, ClosingDuringHangingTransfersEndsThemPromptly) {
  SilentServer silent;
  ui::win32::Win32Application app;
  auto window =
      std::make_unique<TfWindow>(app, TStartup{.localeId = 0x0409, .serviceUrl = silent.Url()});
  window->Show();
  window->ApplyGameDirectory();  // a second hanging request
  ASSERT_TRUE(WaitFor([&] { return silent.Connections() >= 2; }, [&] { app.ProcessMessages(); }));
  const auto started = std::chrono::steady_clock::now();
  app.Terminate();
  window.reset();
  // A generous bound: the transfers would otherwise wait a minute for data.
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
}

}  // namespace
}  // namespace ovix
