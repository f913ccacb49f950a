// The update service's lists in the version and configuration boxes, and the
// window's side of their downloads.

#include "app/main_window.h"
#include "game/probes.h"
#include "net/service_lists.h"
#include "net/transfer_codes.h"

namespace ovix {

void TfWindow::RequestList(std::string_view request,
                           void (TfWindow::*received)(const std::string&)) {
  TAsyncDownloader::Create(
      *this, serviceUrl_ + std::string(request),
      [this, received](const std::string& data) { (this->*received)(data); }, trustedKeys_);
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
  for (TListEntry& entry : ParseServiceList(Data)) {
    cmbOvixVersion.AddItem(std::move(entry.name));
    VersionsFiles.push_back(std::move(entry.key));
  }
  // A rejected list leaves its keys behind; with the placeholder alone at
  // index 0 nobody reads them.
  if (cmbOvixVersion.ItemCount() > kMaxListItems) cmbOvixVersion.ClearItems();
  cmbOvixVersion.SetItemIndex(0);
  if (cmbOvixVersion.ItemCount() == 0) {
    cmbOvixVersion.AddItem(std::string(Tr(txtStable)));
    cmbOvixVersion.SetItemIndex(0);
    VersionsFiles.emplace_back();
  }
  cmbOvixVersion.SetEnabled(cmbOvixVersion.ItemCount() > 1);
}

void TfWindow::ConfigsReceived(const std::string& Data) {
  for (TListEntry& entry : ParseServiceList(Data)) {
    cmbConfig.AddItem(std::move(entry.name));
    ConfigsFiles.push_back(std::move(entry.key));
  }
  if (cmbConfig.ItemCount() > kMaxListItems) {
    cmbConfig.ClearItems();
    cmbConfig.AddItem(std::string(Tr(txtDefault)));
    cmbConfig.SetItemIndex(0);
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

void TfWindow::DownloadProgress(std::int64_t received, std::int64_t total) {
  pbCurrentAction.SetMax(static_cast<int>(total));
  pbCurrentAction.SetPosition(static_cast<int>(received));
}

void TfWindow::DownloadFailed(std::uint32_t code, const std::string& url) {
  if (onDownloadFailed) onDownloadFailed(url, code);
  pbCurrentAction.SetMax(100);
  pbCurrentAction.SetPosition(100);
  pbCurrentAction.SetState(ui::TProgressState::Error);
  // bProcess stays as it is: the install workflow that locked it unlocks it.
  ApplyEnablingRule();
  if (code == kTransferNotSigned) {
    AnswerNotSigned(url);
    return;
  }
  App().MessageBox(std::string(Tr(txtDownloadError)) + "\r\n" + MonikerText(code),
                   ui::TMsgIcon::Warning);
}

void TfWindow::AnswerNotSigned(const std::string& url) {
  install_->Log(url + ": " + std::string(Text(txtNotSigned, lngEN)));
  if (onAnswerRefused) onAnswerRefused(url);
  App().MessageBox(std::string(Tr(txtNotSigned)), ui::TMsgIcon::Warning);
}

}  // namespace ovix
