// The window's readers of the service's answers: the configuration list at start-up, the
// version list for a game folder and the nightly revision for a nightly item. Any three
// answers leave the boxes within their limits and the window working.

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
#include "net/service_lists.h"
#include "support/sandbox.h"

namespace {

using namespace std::chrono_literals;

// Lets every answer in flight arrive.
void Settle(ovix::testing::HeadlessWindow& h) {
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  do {
    h.app.ProcessMessages();
    std::this_thread::yield();
    h.w().Downloads().Reap();
  } while (h.w().Downloads().Count() > 0 && std::chrono::steady_clock::now() < deadline);
  h.app.ProcessMessages();
  if (h.w().Downloads().Count() > 0) std::abort();  // an answer that never arrives
}

void CheckBoxes(ovix::TfWindow& w) {
  const int versions = w.cmbOvixVersion.ItemCount();
  if (versions < 1 || versions > ovix::kMaxListItems) std::abort();
  if (w.VersionsFiles.size() < static_cast<std::size_t>(versions)) std::abort();
  if (w.cmbConfig.ItemCount() < 1 || w.cmbConfig.ItemCount() > ovix::kMaxListItems) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Temporary files and the start-up search stay inside a throw-away prefix.
  static const ovix::test::Sandbox sandbox;
  FuzzedDataProvider input(data, size);
  const std::string configs = input.ConsumeRandomLengthString();
  const std::string versions = input.ConsumeRandomLengthString();
  const std::string nightly = input.ConsumeRemainingBytesAsString();

  const auto service = std::make_shared<ovix::testing::ScriptedService>();
  service->Answer(ovix::kConfigsRequest, configs);
  service->Answer(std::string(ovix::kVersionsRequest), versions);
  service->Answer(ovix::kNightlyRequest, nightly);
  ovix::TStartup startup;
  startup.transport = service;
  ovix::testing::HeadlessWindow h(startup);
  Settle(h);
  ovix::TfWindow& w = h.w();
  w.ApplyGameDirectory();
  Settle(h);
  CheckBoxes(w);
  if (w.cmbOvixVersion.ItemIndex() != 0) std::abort();

  // Choosing each item asks for the revision where it names a nightly.
  for (int i = 0; i < w.cmbOvixVersion.ItemCount(); ++i) {
    w.cmbOvixVersion.UserSelect(i);
    Settle(h);
    if (w.cmbOvixVersion.ItemIndex() != i) std::abort();
  }
  CheckBoxes(w);
  if (!w.LastNightlyRev.empty() && !ovix::IsAcceptedRevision(w.LastNightlyRev)) std::abort();
  return 0;
}
