#include <gtest/gtest.h>

#include "lang/languages.h"
#include "window_fixture.h"

namespace ovix {
namespace {

using testing::HeadlessWindow;
using ui::TMsgIcon;

constexpr std::uint32_t kEnglishUs = 0x0409;
constexpr std::uint32_t kFrenchCanada = 0x0C0C;
constexpr std::uint32_t kItalian = 0x0410;

std::string S(std::string_view text) { return std::string(text); }

TEST(StartUpTest, ControlsHaveTheirLayoutCaptionsAndInitialStates) {
  HeadlessWindow h(TStartup{{}, kEnglishUs});
  TfWindow& w = h.w();
  EXPECT_EQ(w.Caption(), S(txtTitle[lngEN]));
  EXPECT_EQ(w.Bounds(), (ui::TRect{0, 0, 514, 285}));
  EXPECT_EQ(w.ClassName(), "TfWindow");
  EXPECT_EQ(w.lWarning.Caption(), S(txtWarning[lngEN]));
  EXPECT_TRUE(w.lWarning.Font().underline);
  EXPECT_EQ(w.gbOptions.Caption(), "Options:");
  EXPECT_EQ(w.cbKeepConfig.Caption(), "Keep old Ovix configuration file");
  EXPECT_EQ(w.bChangeDirectory.Caption(), "Modify");
  EXPECT_EQ(w.bProcess.Caption(), "Install / Update");
  EXPECT_EQ(w.gbProgress.Caption(), "Progress:");
  EXPECT_EQ(w.lCurrentAction.Caption(), "Current action: ");
  EXPECT_EQ(w.lOvixversion.Caption(), "Ovix version: ");
  EXPECT_EQ(w.lConfig.Caption(), "Configuration: ");
  EXPECT_EQ(w.eDirectory.Caption(), "");
  EXPECT_EQ(w.eDirectory.Font().height, 14);

  // Parents, positions and tab order as laid out.
  EXPECT_EQ(w.cbKeepConfig.Parent(), &w.gbOptions);
  EXPECT_EQ(w.pbCurrentAction.Parent(), &w.gbProgress);
  EXPECT_EQ(w.cbLanguage.Parent(), &w);
  EXPECT_EQ(w.bProcess.Bounds(), (ui::TRect{316, 252, 190, 25}));
  EXPECT_EQ(w.cmbConfig.Bounds(), (ui::TRect{354, 78, 127, 24}));
  EXPECT_EQ(w.pbCurrentAction.Bounds(), (ui::TRect{16, 22, 465, 25}));
  EXPECT_EQ(w.bProcess.Anchors(), ui::akRight | ui::akBottom);
  std::vector<std::string> topLevel;
  for (const ui::TControl* c : w.ChildrenInTabOrder())
    if (c->TabOrder() >= 0) topLevel.push_back(c->Name());
  EXPECT_EQ(topLevel,
            (std::vector<std::string>{"gbOptions", "bProcess", "gbProgress", "cbLanguage"}));
  std::vector<std::string> options;
  for (const ui::TControl* c : w.gbOptions.ChildrenInTabOrder())
    if (c->TabOrder() >= 0) options.push_back(c->Name());
  EXPECT_EQ(options, (std::vector<std::string>{"cbKeepConfig", "eDirectory", "bChangeDirectory",
                                               "cmbOvixVersion", "cmbConfig"}));

  // Enabled states at creation.
  EXPECT_FALSE(w.eDirectory.Enabled());
  EXPECT_TRUE(w.bChangeDirectory.Enabled());
  EXPECT_TRUE(w.cbKeepConfig.Enabled());
  EXPECT_FALSE(w.cbKeepConfig.Checked());
  EXPECT_TRUE(w.bProcess.Enabled());
  EXPECT_FALSE(w.cmbOvixVersion.Enabled());
  EXPECT_FALSE(w.cmbConfig.Enabled());
  EXPECT_TRUE(w.cbLanguage.Enabled());

  // The bar and the boxes' placeholders.
  EXPECT_EQ(w.pbCurrentAction.Max(), 100);
  EXPECT_EQ(w.pbCurrentAction.Position(), 0);
  EXPECT_EQ(w.pbCurrentAction.State(), ui::TProgressState::Normal);
  EXPECT_EQ(w.cmbOvixVersion.Items(), std::vector<std::string>{"Stable"});
  EXPECT_EQ(w.cmbOvixVersion.ItemIndex(), 0);
  EXPECT_EQ(w.cmbConfig.Items(), std::vector<std::string>{"Default"});
  EXPECT_EQ(w.cmbConfig.ItemIndex(), 0);
  EXPECT_TRUE(w.VersionsFiles.empty());
  EXPECT_TRUE(w.ConfigsFiles.empty());
  // Nothing found: start-up ends silently.
  EXPECT_TRUE(w.WOTDir.empty());
  EXPECT_TRUE(h.app.Messages().empty());
}

TEST(StartUpTest, TheLocaleChoosesTheLanguageAndThePlaceholdersFollow) {
  HeadlessWindow h(TStartup{{}, kFrenchCanada});
  TfWindow& w = h.w();
  EXPECT_EQ(w.currentLanguage, lngFR);
  EXPECT_EQ(w.cbLanguage.ItemIndex(), lngFR);
  EXPECT_EQ(w.cmbConfig.Items(), std::vector<std::string>{"Par d\xC3\xA9"
                                                          "faut"});
  EXPECT_EQ(w.cmbOvixVersion.Items(), std::vector<std::string>{"Stable"});
  EXPECT_EQ(w.bProcess.Caption(), "Installer / Mettre \xC3\xA0 jour");

  HeadlessWindow other(TStartup{{}, kItalian});
  EXPECT_EQ(other.w().currentLanguage, lngEN);
  EXPECT_EQ(other.w().cbLanguage.ItemIndex(), 0);
}

TEST(CommandLineTest, NoArgumentsMeansNoOverrideAndNoMessage) {
  HeadlessWindow h(TStartup{{}, kEnglishUs});
  EXPECT_TRUE(h.w().CustomScript.empty());
  EXPECT_TRUE(h.app.Messages().empty());
}

TEST(CommandLineTest, TheFirstArgumentIsTheOverrideAndThePlayerIsToldOnceInTheirLanguage) {
  HeadlessWindow one(TStartup{{"C:\\scripts\\my script.txt"}, kEnglishUs});
  EXPECT_EQ(one.w().CustomScript, "C:\\scripts\\my script.txt");
  ASSERT_EQ(one.app.Messages().size(), 1u);
  EXPECT_EQ(one.app.Messages()[0],
            (ui::ShownMessage{"Script source forced from command line.", "Ovix Updater",
                              TMsgIcon::Information, ui::TMsgButtons::Ok}));

  HeadlessWindow several(TStartup{{"https://example.invalid/s", "second", "third"}, 0x0407});
  EXPECT_EQ(several.w().CustomScript, "https://example.invalid/s");
  ASSERT_EQ(several.app.Messages().size(), 1u);
  EXPECT_EQ(several.app.Messages()[0].text, S(txtScriptForced[lngDE]));
}

TEST(EnablingRuleTest, KeepConfigurationClick) {
  HeadlessWindow h;
  TfWindow& w = h.w();
  // With only the placeholder, unchecking leaves the box disabled.
  w.cbKeepConfig.UserSetChecked(true);
  EXPECT_FALSE(w.cmbConfig.Enabled());
  w.cbKeepConfig.UserSetChecked(false);
  EXPECT_FALSE(w.cmbConfig.Enabled());

  w.cmbConfig.AddItem("Preset");
  w.cbKeepConfig.UserSetChecked(false);  // no change of state: no click
  EXPECT_FALSE(w.cmbConfig.Enabled());
  w.cbKeepConfig.UserSetChecked(true);
  EXPECT_FALSE(w.cmbConfig.Enabled());
  w.cbKeepConfig.UserSetChecked(false);
  EXPECT_TRUE(w.cmbConfig.Enabled());
  w.cbKeepConfig.UserSetChecked(true);
  EXPECT_FALSE(w.cmbConfig.Enabled());
}

TEST(EnablingRuleTest, UnlocksWhatThePreconditionsAllow) {
  HeadlessWindow h;
  TfWindow& w = h.w();
  auto lock = [&] {
    for (ui::TControl* c : std::initializer_list<ui::TControl*>{
             &w.bChangeDirectory, &w.cbKeepConfig, &w.bProcess, &w.cmbConfig, &w.cmbOvixVersion})
      c->SetEnabled(false);
  };
  lock();
  w.ApplyEnablingRule();
  EXPECT_TRUE(w.bChangeDirectory.Enabled());
  EXPECT_TRUE(w.cbKeepConfig.Enabled());
  EXPECT_FALSE(w.bProcess.Enabled());  // the install's own closing step enables it
  EXPECT_FALSE(w.cmbConfig.Enabled());
  EXPECT_FALSE(w.cmbOvixVersion.Enabled());

  w.cmbConfig.AddItem("Preset");
  w.cmbOvixVersion.AddItem("0.9.1");
  lock();
  w.ApplyEnablingRule();
  EXPECT_TRUE(w.cmbConfig.Enabled());
  EXPECT_TRUE(w.cmbOvixVersion.Enabled());

  lock();
  w.cbKeepConfig.SetChecked(true);
  w.ApplyEnablingRule();
  EXPECT_FALSE(w.cmbConfig.Enabled());
  EXPECT_TRUE(w.cmbOvixVersion.Enabled());
  // "Keeps its state": an enabled box is not disabled by the rule.
  w.cmbConfig.SetEnabled(true);
  w.ApplyEnablingRule();
  EXPECT_TRUE(w.cmbConfig.Enabled());
  EXPECT_FALSE(w.eDirectory.Enabled());
}

TEST(RelabelTest, EnglishToFrenchTurnsBothPlaceholdersAndKeepsThemSelected) {
  HeadlessWindow h(TStartup{{}, kEnglishUs});
  TfWindow& w = h.w();
  w.cbLanguage.UserSelect(lngFR);
  EXPECT_EQ(w.currentLanguage, lngFR);
  EXPECT_EQ(w.cmbConfig.Items()[0],
            "Par d\xC3\xA9"
            "faut");
  EXPECT_EQ(w.cmbConfig.ItemIndex(), 0);
  EXPECT_EQ(w.cmbOvixVersion.Items()[0], "Stable");
  EXPECT_EQ(w.cmbOvixVersion.ItemIndex(), 0);
  EXPECT_EQ(w.Caption(), S(txtTitle[lngFR]));
  EXPECT_EQ(w.lWarning.Caption(), S(txtWarning[lngFR]));
  EXPECT_EQ(w.cbKeepConfig.Caption(), S(txtKeepConfig[lngFR]));
}

TEST(RelabelTest, EveryLanguageRoundTripsThroughThePicker) {
  HeadlessWindow h;
  TfWindow& w = h.w();
  for (int i = 0; i < kLanguageCount; ++i) {
    const auto lang = static_cast<TLanguage>((i + 3) % kLanguageCount);
    w.cbLanguage.UserSelect(lang);
    EXPECT_EQ(w.currentLanguage, lang);
    EXPECT_EQ(w.cbLanguage.ItemIndex(), lang);
    EXPECT_EQ(w.cmbConfig.Items()[0], S(txtDefault[lang]));
    EXPECT_EQ(w.cmbOvixVersion.Items()[0], S(txtStable[lang]));
    EXPECT_EQ(w.gbProgress.Caption(), S(txtProgress[lang]));
    // The boxes sit exactly against their labels.
    EXPECT_EQ(w.cmbOvixVersion.Left(), w.lOvixversion.Left() + w.lOvixversion.Width());
    EXPECT_EQ(w.lConfig.Left() + w.lConfig.Width(), w.cmbConfig.Left());
    EXPECT_EQ(w.lOvixversion.Left(), 16);
    EXPECT_EQ(w.cmbConfig.Left(), 354);
    EXPECT_EQ(w.cmbOvixVersion.Width(), 134);
  }
}

TEST(RelabelTest, AReceivedVersionListIsLeftAlone) {
  HeadlessWindow h;
  TfWindow& w = h.w();
  w.cmbOvixVersion.ClearItems();
  w.cmbOvixVersion.AddItem("0.9.2");
  w.cmbOvixVersion.AddItem("0.9.1");
  w.cmbOvixVersion.SetItemIndex(1);
  w.cbLanguage.UserSelect(lngDE);
  EXPECT_EQ(w.cmbOvixVersion.Items(), (std::vector<std::string>{"0.9.2", "0.9.1"}));
  EXPECT_EQ(w.cmbOvixVersion.ItemIndex(), 1);
}

TEST(RelabelTest, ASelectedPresetStaysSelectedAndAMissingSelectionReturnsToThePlaceholder) {
  HeadlessWindow h;
  TfWindow& w = h.w();
  w.cmbConfig.AddItem("Competitive");
  w.cmbConfig.SetItemIndex(1);
  w.cmbOvixVersion.SetItemIndex(-1);
  w.cbLanguage.UserSelect(lngRU);
  EXPECT_EQ(w.cmbConfig.Items()[0], S(txtDefault[lngRU]));
  EXPECT_EQ(w.cmbConfig.ItemIndex(), 1);
  EXPECT_EQ(w.cmbOvixVersion.Items()[0], S(txtStable[lngRU]));
  EXPECT_EQ(w.cmbOvixVersion.ItemIndex(), 0);
}

TEST(RelabelTest, ThePlaceholderComparisonIsExactAndCaseSensitive) {
  HeadlessWindow h;
  TfWindow& w = h.w();
  w.cmbConfig.SetItem(0, "default");
  w.cbLanguage.UserSelect(lngFR);
  EXPECT_EQ(w.cmbConfig.Items()[0], "default");
  // Same language again: the placeholder is re-written and re-selected.
  w.cmbOvixVersion.SetItemIndex(-1);
  w.cbLanguage.UserSelect(lngFR);
  EXPECT_EQ(w.cmbOvixVersion.ItemIndex(), 0);
}

TEST(RelabelTest, SwitchingResetsAStatusAndAPercentageToThePlainTexts) {
  HeadlessWindow h;
  TfWindow& w = h.w();
  w.bProcess.SetCaption("Install / Update (45%)");
  w.lCurrentAction.SetCaption("Current action: Unpacking...");
  w.cbLanguage.UserSelect(lngEN);
  EXPECT_EQ(w.bProcess.Caption(), "Install / Update");
  EXPECT_EQ(w.lCurrentAction.Caption(), "Current action: ");
}

TEST(RelabelTest, PlacementHoldsAtOtherDisplayResolutions) {
  for (const int dpi : {96, 144, 192}) {
    HeadlessWindow h(TStartup{{}, 0x040E}, dpi);
    TfWindow& w = h.w();
    EXPECT_EQ(w.cmbOvixVersion.Left(), w.lOvixversion.Left() + w.lOvixversion.Width()) << dpi;
    EXPECT_EQ(w.lConfig.Left() + w.lConfig.Width(), w.cmbConfig.Left()) << dpi;
    w.NotifyDpiChanged(dpi * 2);
    EXPECT_EQ(w.cmbOvixVersion.Left(), w.lOvixversion.Left() + w.lOvixversion.Width()) << dpi;
    EXPECT_EQ(w.lConfig.Left() + w.lConfig.Width(), w.cmbConfig.Left()) << dpi;
  }
}

}  // namespace
}  // namespace ovix
