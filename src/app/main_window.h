#pragma once
// The main window: every control, every field and every event handler.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lang/languages.h"
#include "ui/application.h"
#include "ui/controls.h"

namespace ovix {

// What the process hands the window at start-up.
struct TStartup {
  std::vector<std::string> arguments;  // command-line arguments after the program name
  std::uint32_t localeId = 0x0409;     // the user's default locale identifier
};

class TfWindow : public ui::TForm {
 public:
  // Builds the controls and runs FormCreate.
  TfWindow(ui::Application& app, const TStartup& startup);
  ~TfWindow() override;

  // Controls, in declaration order.
  ui::TLabel lWarning;
  ui::TGroupBox gbOptions;
  ui::TCheckBox cbKeepConfig;
  ui::TEdit eDirectory;
  ui::TButton bChangeDirectory;
  ui::TButton bProcess;
  ui::TLabel lOvixversion;
  ui::TComboBox cmbOvixVersion;
  ui::TLabel lConfig;
  ui::TComboBox cmbConfig;
  ui::TImageList ilLanguages;
  ui::TGroupBox gbProgress;
  ui::TLabel lCurrentAction;
  ui::TProgressBar pbCurrentAction;
  ui::TComboBox cbLanguage;

  // State. Event handlers and the install work read and write these directly.
  std::vector<std::string> VersionsFiles;  // parallel to cmbOvixVersion's items
  std::vector<std::string> ConfigsFiles;   // entry i belongs to cmbConfig item i + 1
  std::string WOTDir;
  std::string Version;
  std::string CustomScript;
  std::string LastNightlyRev;
  TLanguage currentLanguage = lngEN;

  // Event handlers.
  void cbKeepConfigClick();
  void cbLanguageChange();
  void cbLanguageDrawItem(ui::TComboBox& control, int index, const ui::TRect& rect,
                          ui::TCanvas& canvas);

  // Switches the interface language and relabels the window.
  void SetLanguage(TLanguage language);
  // Re-enables the option controls after an operation that locked them.
  void ApplyEnablingRule();
  // The catalogue text in the language in force.
  std::string_view Tr(const TCatalogueEntry& entry) const { return Text(entry, currentLanguage); }

 private:
  void FormCreate(const TStartup& startup);
  void FillLanguagePicker();
  void TakeCommandLine(const std::vector<std::string>& arguments);
  void RequestConfigurationList();
  void FindGameDirectory();
  void PlaceOptionBoxes();
  void RelabelPlaceholder(ui::TComboBox& box, const TCatalogueEntry& entry, TLanguage oldLanguage);
};

}  // namespace ovix
