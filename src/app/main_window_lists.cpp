// The update service's lists in the version and configuration boxes, and the
// window's side of their downloads.

#include "app/main_window.h"
#include "game/probes.h"
#include "net/service_lists.h"
#include "net/transfer_codes.h"

namespace ovix {

void TfWindow::RequestList(std::string_view request,
                           void (TfWindow::*received)(const std::string&)) {
  install_->RequestList(request,
                        [this, received](const std::string& data) { (this->*received)(data); });
}

void TfWindow::ApplyGameDirectory() {
  eDirectory.SetCaption(WOTDir);
  Version = GetFileVersionString(WOTDir + "\\worldoftanks.exe");
  // The value goes unencoded, as the service expects it.
  RequestList(std::string(kVersionsRequest) + Version, &TfWindow::VersionsReceived);
  LastNightlyRev.clear();
  OfferToFinishUndo();
}

void TfWindow::VersionsReceived(const std::string& Data) {
  cmbOvixVersion.ClearItems();
  VersionsFiles.clear();
  for (TListEntry& entry : VersionItems(ParseServiceList(Data), std::string(Tr(txtStable)))) {
    cmbOvixVersion.AddItem(std::move(entry.name));
    VersionsFiles.push_back(std::move(entry.key));
  }
  cmbOvixVersion.SetItemIndex(0);
  cmbOvixVersion.SetEnabled(cmbOvixVersion.ItemCount() > 1);
}

void TfWindow::ConfigsReceived(const std::string& Data) {
  // The box already holds its placeholder, in the language in force.
  std::vector<TListEntry> items = ConfigItems(ParseServiceList(Data), "");
  for (std::size_t i = 1; i < items.size(); ++i) {
    cmbConfig.AddItem(std::move(items[i].name));
    ConfigsFiles.push_back(std::move(items[i].key));
  }
  if (cmbConfig.ItemCount() > 1) cmbConfig.SetEnabled(true);
}

void TfWindow::NightlyReceived(const std::string& Data) {
  if (!IsAcceptedRevision(Data)) return;
  LastNightlyRev = Data;
  const int count = cmbOvixVersion.ItemCount();
  for (int i = 0; i < count; ++i) {
    const std::string item = cmbOvixVersion.Items()[static_cast<std::size_t>(i)];
    if (!MatchesMask(item, "*nightly*")) continue;
    const int selected = cmbOvixVersion.ItemIndex();
    cmbOvixVersion.SetItem(i, item + " (" + LastNightlyRev + ")");
    cmbOvixVersion.SetItemIndex(selected);
  }
}

void TfWindow::cmbOvixVersionChange() {
  const int index = cmbOvixVersion.ItemIndex();
  if (index < 0) return;
  const std::string& item = cmbOvixVersion.Items()[static_cast<std::size_t>(index)];
  if (MatchesMask(item, "*nightly*") && LastNightlyRev.empty()) {
    RequestList(kNightlyRequest, &TfWindow::NightlyReceived);
  }
}

// A download the window itself started (a test's): told as the install tells its own, but
// no install counts it as its failure.
void TfWindow::DownloadProgress(std::int64_t received, std::int64_t total) {
  Progress(received, total, TBarState::Normal);
}

void TfWindow::DownloadFailed(std::uint32_t code, const std::string& url) {
  install_->TellFailedTransfer(code, url);
}

void TfWindow::AnswerNotSigned(const std::string& url) { install_->AnswerNotSigned(url); }

}  // namespace ovix
