// Relabelling and the flag picker of the main window.

#include "app/main_window.h"

namespace ovix {

void TfWindow::SetLanguage(TLanguage language) {
  const TLanguage oldLanguage = currentLanguage;
  currentLanguage = language;
  lWarning.SetCaption(std::string(Tr(txtWarning)));
  gbOptions.SetCaption(std::string(Tr(txtOptions)));
  cbKeepConfig.SetCaption(std::string(Tr(txtKeepConfig)));
  bChangeDirectory.SetCaption(std::string(Tr(txtModify)));
  gbProgress.SetCaption(std::string(Tr(txtProgress)));
  lCurrentAction.SetCaption(std::string(Tr(txtCurrentAction)));
  bProcess.SetCaption(std::string(Tr(txtInstallUpdate)));
  SetCaption(std::string(Tr(txtTitle)));
  lOvixversion.SetCaption(std::string(Tr(txtModVersion)));
  lConfig.SetCaption(std::string(Tr(txtConfiguration)));
  PlaceOptionBoxes();
  RelabelPlaceholder(cmbConfig, txtDefault, oldLanguage);
  RelabelPlaceholder(cmbOvixVersion, txtStable, oldLanguage);
}

// The trailing blank of each label text is the only gap between label and box;
// long translations may overlap, which is accepted.
void TfWindow::PlaceOptionBoxes() {
  cmbOvixVersion.SetLeft(lOvixversion.Left() + lOvixversion.Width());
  lConfig.SetLeft(cmbConfig.Left() - lConfig.Width());
}

// Item 0 is relabelled only while it still holds the previous language's
// placeholder, so a received list's first entry is never overwritten.
void TfWindow::RelabelPlaceholder(ui::TComboBox& box, const TCatalogueEntry& entry,
                                  TLanguage oldLanguage) {
  if (box.ItemCount() == 0 || box.Items().front() != Text(entry, oldLanguage)) return;
  box.SetItem(0, std::string(Tr(entry)));
  if (box.ItemIndex() <= 0) box.SetItemIndex(0);
}

void TfWindow::cbLanguageChange() { SetLanguage(static_cast<TLanguage>(cbLanguage.ItemIndex())); }

void TfWindow::cbLanguageDrawItem(ui::TComboBox& control, int index, const ui::TRect& rect,
                                  ui::TCanvas& canvas) {
  const int k = control.ItemHeight() / (ilLanguages.Height() + 2);
  const int w = ilLanguages.Width() * k;
  const int h = ilLanguages.Height() * k;
  // Integer division rounds toward zero, also for a rectangle narrower than the flag.
  const int dx = (rect.width - w) / 2;
  const int dy = (control.ItemHeight() - h) / 2;
  const ui::Bitmap flag = ilLanguages.GetBitmap(index);
  canvas.FillRect(rect, ui::MakeRgb(255, 255, 255));
  canvas.StretchDraw({rect.left + dx, rect.top + dy, w, h}, flag);
}

}  // namespace ovix
