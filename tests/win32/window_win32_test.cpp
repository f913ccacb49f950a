// The real window on the Windows backend, inspected and driven through its HWNDs.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "net/transfer_codes.h"
#include "res/flags.h"
#include "ui/win32/win32_application.h"
#include "win32_test_util.h"

namespace ovix {
namespace {

using namespace std::chrono_literals;
using testing::ChooseComboItem;
using testing::ClassNameOf;
using testing::ComboItemText;
using testing::FindMessageBox;
using testing::MessageBoxText;
using testing::WaitFor;
using testing::WindowText;
using ui::win32::HandleOf;

std::string S(std::string_view text) { return std::string(text); }

// No service: the window keeps its start-up state whatever the run's network offers.
class OfflineTransport final : public TTransport {
 public:
  std::uint32_t Fetch(const std::string&, const std::filesystem::path&,
                      const TransferProgress&) override {
    return kTransferNotFound;
  }
  void AbortAll() override {}
};

class Win32WindowTest : public ::testing::Test {
 protected:
  void Open(std::uint32_t localeId) {
    app.SetTitle("Ovix Updater");
    window = std::make_unique<TfWindow>(
        app, TStartup{{}, localeId, std::make_shared<OfflineTransport>()});
    window->Show();
    Pump();
  }
  void Pump() { app.ProcessMessages(); }
  HWND H(const ui::TControl& control) const { return HandleOf(control); }
  // The control's rectangle relative to its parent's client area.
  RECT PlacedRect(const ui::TControl& control) const {
    RECT r;
    GetWindowRect(H(control), &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(H(control)), reinterpret_cast<POINT*>(&r), 2);
    return r;
  }

  ui::win32::Win32Application app;
  std::unique_ptr<TfWindow> window;
};

TEST_F(Win32WindowTest, EveryControlExistsWithItsCaptionStateAndPlace) {
  Open(0x0409);
  TfWindow& w = *window;
  HWND main = H(w);
  ASSERT_TRUE(IsWindow(main));
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_EQ(ClassNameOf(main), "TfWindow");
  EXPECT_EQ(WindowText(main), S(txtTitle[lngEN]));
  const LONG style = GetWindowLongW(main, GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  RECT client;
  GetClientRect(main, &client);
  EXPECT_EQ(client.right, MulDiv(514, app.Dpi(), 120));
  EXPECT_EQ(client.bottom, MulDiv(285, app.Dpi(), 120));

  struct Expected {
    const ui::TControl* control;
    const char* className;
    std::string text;
    bool enabled;
    const ui::TControl* parent;
  };
  const std::vector<Expected> expected = {
      {&w.lWarning, "Static", S(txtWarning[lngEN]), true, &w},
      {&w.gbOptions, "Button", "Options:", true, &w},
      {&w.cbKeepConfig, "Button", "Keep old Ovix configuration file", true, &w.gbOptions},
      {&w.eDirectory, "Edit", "", false, &w.gbOptions},
      {&w.bChangeDirectory, "Button", "Modify", true, &w.gbOptions},
      {&w.bProcess, "Button", "Install / Update", true, &w},
      {&w.lOvixversion, "Static", "Ovix version: ", true, &w.gbOptions},
      {&w.cmbOvixVersion, "ComboBox", "", false, &w.gbOptions},
      {&w.lConfig, "Static", "Configuration: ", true, &w.gbOptions},
      {&w.cmbConfig, "ComboBox", "", false, &w.gbOptions},
      {&w.gbProgress, "Button", "Progress:", true, &w},
      {&w.lCurrentAction, "Static", "Current action: ", true, &w.gbProgress},
      {&w.pbCurrentAction, "msctls_progress32", "", true, &w.gbProgress},
      {&w.cbLanguage, "ComboBox", "", true, &w},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.control->Name());
    HWND h = H(*e.control);
    ASSERT_TRUE(IsWindow(h));
    EXPECT_TRUE(IsWindowVisible(h));
    EXPECT_EQ(ClassNameOf(h), e.className);
    if (std::string(e.className) != "ComboBox") {
      EXPECT_EQ(WindowText(h), e.text);
    }
    EXPECT_EQ(IsWindowEnabled(h) != FALSE, e.enabled);
    EXPECT_EQ(GetParent(h), H(*e.parent));
    const RECT r = PlacedRect(*e.control);
    EXPECT_EQ(r.left, e.control->Left());
    EXPECT_EQ(r.top, e.control->Top());
    EXPECT_EQ(r.right - r.left, e.control->Width());
  }
  // The check box is unchecked, the bar empty in its normal state.
  EXPECT_EQ(SendMessageW(H(w.cbKeepConfig), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(SendMessageW(H(w.pbCurrentAction), PBM_GETRANGE, FALSE, 0), 100);
  EXPECT_EQ(SendMessageW(H(w.pbCurrentAction), PBM_GETPOS, 0, 0), 0);
  EXPECT_EQ(SendMessageW(H(w.pbCurrentAction), PBM_GETSTATE, 0, 0), PBST_NORMAL);
  EXPECT_TRUE(GetWindowLongW(H(w.pbCurrentAction), GWL_STYLE) & PBS_SMOOTH);
  // The two option boxes hold their placeholders.
  EXPECT_EQ(SendMessageW(H(w.cmbOvixVersion), CB_GETCOUNT, 0, 0), 1);
  EXPECT_EQ(ComboItemText(H(w.cmbOvixVersion), 0), "Stable");
  EXPECT_EQ(SendMessageW(H(w.cmbOvixVersion), CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(ComboItemText(H(w.cmbConfig), 0), "Default");
  EXPECT_EQ(SendMessageW(H(w.cmbConfig), CB_GETCURSEL, 0, 0), 0);
}

TEST_F(Win32WindowTest, ThePickerHoldsTenEmptyOwnerDrawnItemsWithTheLocalesFlagSelected) {
  Open(0x0415);  // Polish
  HWND picker = H(window->cbLanguage);
  EXPECT_TRUE(GetWindowLongW(picker, GWL_STYLE) & CBS_OWNERDRAWFIXED);
  ASSERT_EQ(SendMessageW(picker, CB_GETCOUNT, 0, 0), 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(ComboItemText(picker, i), "") << i;
  EXPECT_EQ(SendMessageW(picker, CB_GETCURSEL, 0, 0), lngPL);
  EXPECT_EQ(SendMessageW(picker, CB_GETITEMHEIGHT, 0, 0), window->cbLanguage.ItemHeight());
  EXPECT_EQ(WindowText(H(window->bProcess)), S(txtInstallUpdate[lngPL]));
}

TEST_F(Win32WindowTest, TabMovesThroughTheEnabledControlsInTheirOrder) {
  Open(0x0409);
  TfWindow& w = *window;
  std::vector<HWND> order;
  HWND current = GetNextDlgTabItem(H(w), nullptr, FALSE);
  for (int i = 0; i < 8 && current; ++i) {
    if (!order.empty() && current == order.front()) break;
    order.push_back(current);
    current = GetNextDlgTabItem(H(w), current, FALSE);
  }
  // eDirectory and the two option boxes are disabled and skipped.
  const std::vector<HWND> expected = {H(w.cbKeepConfig), H(w.bChangeDirectory), H(w.bProcess),
                                      H(w.cbLanguage)};
  EXPECT_EQ(order, expected);
}

TEST_F(Win32WindowTest, SwitchingTheLanguageThroughThePickerRelabelsTheWindow) {
  Open(0x0409);
  TfWindow& w = *window;
  ChooseComboItem(H(w.cbLanguage), lngFR);
  Pump();
  EXPECT_EQ(w.currentLanguage, lngFR);
  EXPECT_EQ(WindowText(H(w)), S(txtTitle[lngFR]));
  EXPECT_EQ(WindowText(H(w.bProcess)), "Installer / Mettre \xC3\xA0 jour");
  EXPECT_EQ(WindowText(H(w.lWarning)), S(txtWarning[lngFR]));
  EXPECT_EQ(WindowText(H(w.gbOptions)), "Options :");
  EXPECT_EQ(ComboItemText(H(w.cmbConfig), 0),
            "Par d\xC3\xA9"
            "faut");
  EXPECT_EQ(SendMessageW(H(w.cmbConfig), CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(SendMessageW(H(w.cmbOvixVersion), CB_GETCURSEL, 0, 0), 0);
  // The boxes moved to their labels' new edges on screen too.
  EXPECT_EQ(PlacedRect(w.cmbOvixVersion).left, PlacedRect(w.lOvixversion).right);
  EXPECT_EQ(PlacedRect(w.lConfig).right, PlacedRect(w.cmbConfig).left);

  ChooseComboItem(H(w.cbLanguage), lngRU);
  Pump();
  EXPECT_EQ(WindowText(H(w.bChangeDirectory)), S(txtModify[lngRU]));
  EXPECT_EQ(ComboItemText(H(w.cmbOvixVersion), 0), S(txtStable[lngRU]));
}

TEST_F(Win32WindowTest, ClickingKeepConfigurationSwitchesTheConfigurationBox) {
  Open(0x0409);
  TfWindow& w = *window;
  w.cmbConfig.AddItem("Competitive");
  w.cmbConfig.SetEnabled(true);
  SendMessageW(H(w.cbKeepConfig), BM_CLICK, 0, 0);
  Pump();
  EXPECT_TRUE(w.cbKeepConfig.Checked());
  EXPECT_FALSE(IsWindowEnabled(H(w.cmbConfig)));
  SendMessageW(H(w.cbKeepConfig), BM_CLICK, 0, 0);
  Pump();
  EXPECT_FALSE(w.cbKeepConfig.Checked());
  EXPECT_TRUE(IsWindowEnabled(H(w.cmbConfig)));
}

// The colours drawn in the closed picker's field.
std::set<COLORREF> PickerColours(HWND picker) {
  RedrawWindow(picker, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
  RECT r;
  GetClientRect(picker, &r);
  std::set<COLORREF> colours;
  HDC dc = GetDC(picker);
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) colours.insert(GetPixel(dc, x, y));
  ReleaseDC(picker, dc);
  return colours;
}

COLORREF FlagColour(TLanguage language, int x, int y) {
  const ui::Rgb c = FlagImages()[language].At(x, y);
  return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

TEST_F(Win32WindowTest, TheClosedPickerShowsTheChosenFlag) {
  Open(0x0409);
  HWND picker = H(window->cbLanguage);
  ChooseComboItem(picker, lngFR);
  Pump();
  std::set<COLORREF> colours = PickerColours(picker);
  EXPECT_TRUE(colours.count(FlagColour(lngFR, 0, 5)));   // the blue band
  EXPECT_TRUE(colours.count(FlagColour(lngFR, 15, 5)));  // the red band
  EXPECT_TRUE(colours.count(RGB(255, 255, 255)));
  ChooseComboItem(picker, lngDE);
  Pump();
  colours = PickerColours(picker);
  EXPECT_TRUE(colours.count(FlagColour(lngDE, 8, 0)));   // black
  EXPECT_TRUE(colours.count(FlagColour(lngDE, 8, 10)));  // gold
  EXPECT_FALSE(colours.count(FlagColour(lngFR, 0, 5)));
}

TEST_F(Win32WindowTest, HandOversRunOnTheUiThreadAlsoInsideAMessageBox) {
  Open(0x0409);
  const DWORD uiThread = GetCurrentThreadId();
  std::atomic<DWORD> ranOn{0};
  std::atomic<bool> workerDone{false};
  std::thread worker([&] {
    app.Synchronize([&] { ranOn = GetCurrentThreadId(); });
    workerDone = true;
  });
  ASSERT_TRUE(WaitFor([&] { return workerDone.load(); }, [&] { Pump(); }));
  worker.join();
  EXPECT_EQ(ranOn.load(), uiThread);

  // Now only the message box's own loop can serve the step; a helper presses OK
  // once the step has run.
  std::atomic<bool> stepRan{false};
  std::atomic<bool> boxClosed{false};
  std::string seenText;
  HWND seenOwner = reinterpret_cast<HWND>(1);
  int buttons = 0;
  std::thread presser([&] {
    HWND box = nullptr;
    WaitFor([&] { return (box = FindMessageBox(GetCurrentProcessId())) != nullptr; }, [] {});
    if (!box) return;
    std::thread stepper([&] { app.Synchronize([&] { stepRan = true; }); });
    WaitFor([&] { return stepRan.load(); }, [] {});
    stepper.join();
    seenText = MessageBoxText(box);
    seenOwner = GetWindow(box, GW_OWNER);
    EnumChildWindows(box, testing::CountButtons, reinterpret_cast<LPARAM>(&buttons));
    EXPECT_EQ(WindowText(box), "Ovix Updater");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    boxClosed = true;
  });
  EXPECT_EQ(app.MessageBox("Please wait", ui::TMsgIcon::Information), ui::TMsgResult::Ok);
  presser.join();
  EXPECT_TRUE(stepRan);
  EXPECT_TRUE(boxClosed);
  EXPECT_EQ(seenText, "Please wait");
  EXPECT_EQ(seenOwner, nullptr);
  EXPECT_EQ(buttons, 1);
}

BOOL CALLBACK CountButtons(HWND child, LPARAM count) {
  if (ClassNameOf(child) == "Button") ++*reinterpret_cast<int*>(count);
  return TRUE;
}

TEST_F(Win32WindowTest, TheRetryQuestionHasYesAndNo) {
  Open(0x0409);
  int buttons = 0;
  bool yes = false, no = false;
  std::thread answerer([&] {
    HWND box = nullptr;
    WaitFor([&] { return (box = FindMessageBox(GetCurrentProcessId())) != nullptr; }, [] {});
    if (!box) return;
    // An OK-only box would also return what is posted: its buttons tell the kind.
    EnumChildWindows(box, CountButtons, reinterpret_cast<LPARAM>(&buttons));
    yes = GetDlgItem(box, IDYES) != nullptr;
    no = GetDlgItem(box, IDNO) != nullptr;
    PostMessageW(box, WM_COMMAND, IDYES, 0);
  });
  EXPECT_EQ(app.MessageBox(txtRetryDirectory[lngEN], ui::TMsgIcon::Warning, ui::TMsgButtons::YesNo),
            ui::TMsgResult::Yes);
  answerer.join();
  EXPECT_EQ(buttons, 2);
  EXPECT_TRUE(yes && no);
}

TEST_F(Win32WindowTest, ClosingTheWindowEndsTheLoopAndLaterHandOversAreDropped) {
  Open(0x0409);
  HWND main = H(*window);
  std::thread closer([&] { PostMessageW(main, WM_CLOSE, 0, 0); });
  app.Run(*window);
  closer.join();
  EXPECT_TRUE(app.Terminated());
  EXPECT_FALSE(IsWindowVisible(main));
  bool result = true;
  std::thread late([&] { result = app.Synchronize([] {}); });
  late.join();
  EXPECT_FALSE(result);
}

BOOL CALLBACK FindTree(HWND child, LPARAM data) {
  if (ClassNameOf(child) != "SysTreeView32") return TRUE;
  *reinterpret_cast<HWND*>(data) = child;
  return FALSE;
}

HWND TreeOf(HWND dialog) {
  HWND tree = nullptr;
  EnumChildWindows(dialog, FindTree, reinterpret_cast<LPARAM>(&tree));
  return tree;
}

std::string SelectedFolderName(HWND tree) {
  wchar_t text[MAX_PATH] = {};
  TVITEMW item{};
  item.mask = TVIF_TEXT;
  item.hItem = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  item.pszText = text;
  item.cchTextMax = MAX_PATH;
  SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  return Narrow(text);
}

// Plays the player at the modal folder picker and retry question from a second thread,
// while the UI thread sits in them. Whatever goes wrong, it cancels what is open so the
// UI thread comes back.
class PickerPlayer {
 public:
  // The next picker (a dialog with a folder tree) or question (one without), other than `not`.
  HWND Next(bool picker, HWND previous = nullptr) {
    HWND found = nullptr;
    WaitFor(
        [&] {
          found = FindMessageBox(GetCurrentProcessId());
          return found && found != previous && (TreeOf(found) != nullptr) == picker;
        },
        [] { Sleep(5); });
    return found && found != previous && (TreeOf(found) != nullptr) == picker ? found : nullptr;
  }
  // Selects the folder, again until the tree shows it (a fresh picker may still be filling
  // its tree), then presses OK.
  void Pick(HWND picker, const std::filesystem::path& folder) {
    const std::string name = Narrow(folder.filename().wstring());
    WaitFor(
        [&] {
          SendMessageW(picker, BFFM_SETSELECTIONW, TRUE,
                       reinterpret_cast<LPARAM>(folder.wstring().c_str()));
          return SelectedFolderName(TreeOf(picker)) == name;
        },
        [] { Sleep(20); }, std::chrono::seconds(10));
    PostMessageW(picker, WM_COMMAND, IDOK, 0);
  }
  void CancelEverything(const std::atomic<bool>& done) {
    while (!done) {
      if (HWND open = FindMessageBox(GetCurrentProcessId())) {
        PostMessageW(open, WM_COMMAND, TreeOf(open) ? IDCANCEL : IDNO, 0);
      }
      Sleep(20);
    }
  }
};

TEST_F(Win32WindowTest, ThePickerAsksAgainWithTheWrongFolderPreselected) {
  Open(0x0409);
  const std::filesystem::path base = std::filesystem::temp_directory_path() /
                                     ("ovix-pick-" + std::to_string(GetCurrentProcessId()));
  std::filesystem::create_directories(base / "elsewhere");
  std::filesystem::create_directories(base / "game");
  { std::ofstream(base / "game" / "worldoftanks.exe") << "x"; }
  std::string question, preselected;
  bool played = false;
  std::atomic<bool> done{false};
  std::thread player([&] {
    PickerPlayer p;
    HWND first = p.Next(true);
    if (first) {
      p.Pick(first, base / "elsewhere");
      if (HWND box = p.Next(false)) {
        question = MessageBoxText(box);
        PostMessageW(box, WM_COMMAND, IDYES, 0);
        if (HWND second = p.Next(true, first)) {
          // The preselection may land a moment after the picker shows.
          WaitFor([&] { return SelectedFolderName(TreeOf(second)) == "elsewhere"; },
                  [] { Sleep(5); }, std::chrono::seconds(5));
          preselected = SelectedFolderName(TreeOf(second));
          p.Pick(second, base / "game");
          played = true;
        }
      }
    }
    p.CancelEverything(done);
  });
  window->bChangeDirectory.Click();
  done = true;
  player.join();
  EXPECT_TRUE(played);
  EXPECT_EQ(question, S(txtRetryDirectory[lngEN]));
  EXPECT_EQ(preselected, "elsewhere");
  EXPECT_EQ(window->WOTDir, Narrow((base / "game").wstring()));
  EXPECT_EQ(WindowText(H(window->eDirectory)), window->WOTDir);
  std::error_code ignored;
  std::filesystem::remove_all(base, ignored);
}

}  // namespace
}  // namespace ovix
