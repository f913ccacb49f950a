// The window's readers of the service's answers: the configuration list at start-up, the
// version list for a game folder and the nightly revision for a nightly item. Any three
// answers leave the boxes within their limits and their items well-formed. One window serves every
// input; the answers are handed to it as its downloads would hand them over, without the transfers.

#include <fuzzer/FuzzedDataProvider.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "app/scripted_service.h"
#include "app/window_fixture.h"
#include "lang/languages.h"
#include "net/service_lists.h"
#include "net/text_decoding.h"
#include "os/text.h"
#include "support/sandbox.h"

namespace {

using namespace std::chrono_literals;

struct Window {
  Window() {
    // Start-up asks for the configurations: answered empty, then settled.
    service->Answer(ovix::kConfigsRequest, "");
    h = std::make_unique<ovix::testing::HeadlessWindow>(ovix::TStartup{.transport = service});
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (h->w().Downloads().Count() > 0 && std::chrono::steady_clock::now() < deadline) {
      h->app.ProcessMessages();
      std::this_thread::yield();
      h->w().Downloads().Reap();
    }
    if (h->w().Downloads().Count() > 0) std::abort();
  }
  ovix::test::Sandbox sandbox;  // the start-up search and temporary files stay in here
  std::shared_ptr<ovix::testing::ScriptedService> service =
      std::make_shared<ovix::testing::ScriptedService>();
  std::unique_ptr<ovix::testing::HeadlessWindow> h;
};

void CheckBoxes(ovix::TfWindow& w) {
  const int versions = w.cmbOvixVersion.ItemCount();
  if (versions < 1 || versions > ovix::kMaxListItems) std::abort();
  if (w.VersionsFiles.size() < static_cast<std::size_t>(versions)) std::abort();
  if (w.cmbConfig.ItemCount() < 1 || w.cmbConfig.ItemCount() > ovix::kMaxListItems) std::abort();
  for (const std::string& item : w.cmbOvixVersion.Items()) {
    if (ovix::RepairUtf8(item) != item) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Window window;
  ovix::TfWindow& w = window.h->w();
  FuzzedDataProvider input(data, size);
  // Decoded as the downloader decodes every answer before handing it over.
  const std::string configs = ovix::DecodeText(input.ConsumeRandomLengthString());
  const std::string versions = ovix::DecodeText(input.ConsumeRandomLengthString());
  const std::string nightly = ovix::DecodeText(input.ConsumeRemainingBytesAsString());

  // The configuration box as start-up leaves it before the answer comes.
  w.cmbConfig.ClearItems();
  w.ConfigsFiles.clear();
  w.cmbConfig.AddItem(std::string(w.Tr(ovix::txtDefault)));
  w.cmbConfig.SetItemIndex(0);
  w.ConfigsReceived(configs);
  // A game folder's version list; a new folder forgets the revision.
  w.LastNightlyRev.clear();
  w.VersionsReceived(versions);
  CheckBoxes(w);
  if (w.cmbOvixVersion.ItemIndex() != 0) std::abort();

  // Choosing a nightly item while no revision is known asks for one.
  for (int i = 0; i < w.cmbOvixVersion.ItemCount(); ++i) {
    w.cmbOvixVersion.SetItemIndex(i);
    const std::string& item = w.cmbOvixVersion.Items()[static_cast<std::size_t>(i)];
    if (ovix::MatchesMask(item, "*nightly*") && w.LastNightlyRev.empty()) {
      w.NightlyReceived(nightly);
    }
    if (w.cmbOvixVersion.ItemIndex() != i) std::abort();
  }
  CheckBoxes(w);
  if (!w.LastNightlyRev.empty() && !ovix::IsAcceptedRevision(w.LastNightlyRev)) std::abort();
  return 0;
}
