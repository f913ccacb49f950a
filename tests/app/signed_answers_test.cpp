// With a trusted key the service's answers count only when signed by it (signatures made by
// the minisign tool, in tests/trust/data): lists and install scripts alike.

#include <gtest/gtest.h>

#include <filesystem>

#include "net/service_lists.h"
#include "os/files.h"
#include "scripted_service.h"
#include "support/sandbox.h"
#include "trust/minisign.h"
#include "window_fixture.h"

namespace ovix {
namespace {

using testing::HeadlessWindow;
using testing::ScriptedService;

std::string Data(const std::string& name) {
  return ReadWholeFile(std::filesystem::path(OVIX_SOURCE_DIR) / "tests/trust/data" / name).value();
}

class SignedAnswersTest : public ::testing::Test {
 protected:
  SignedAnswersTest() {
    service->Answer(kConfigsRequest, "");
    service->Answer(std::string(kConfigsRequest) + ".minisig", "");
    h = std::make_unique<HeadlessWindow>(TStartup{
        .transport = service, .trustedKeys = {ParsePublicKey(Data("author.pub")).value()}});
    Settle();
    h->app.ClearMessages();
  }
  void Settle() { ASSERT_TRUE(h->Settle()); }
  // The version list as answered with this signature (none: no signature file at all).
  std::vector<std::string> Versions(const std::string& list, const std::string& signature) {
    service->Answer(std::string(kVersionsRequest), list);
    if (!signature.empty()) service->Answer(std::string(kVersionsRequest) + ".minisig", signature);
    h->w().ApplyGameDirectory();
    Settle();
    return h->w().cmbOvixVersion.Items();
  }
  TfWindow& w() { return h->w(); }

  test::Sandbox box;
  std::shared_ptr<ScriptedService> service = std::make_shared<ScriptedService>();
  std::unique_ptr<HeadlessWindow> h;
};

TEST_F(SignedAnswersTest, AListCountsOnlyWhenATrustedKeySignedTheseVeryBytes) {
  const std::string list = Data("versions.txt");
  std::string altered = list;
  altered.replace(altered.find("2.2"), 3, "9.9");
  const std::vector<std::string> none = {"Stable"};
  EXPECT_EQ(Versions(list, ""), none);                               // no signature
  EXPECT_EQ(Versions(list, Data("by-stranger.txt.minisig")), none);  // by another key
  EXPECT_EQ(Versions(altered, Data("versions.txt.minisig")), none);  // altered since
  EXPECT_EQ(Versions(list, "<html>Not Found</html>"), none);         // an error page
  ASSERT_EQ(h->app.Messages().size(), 4u);
  for (const auto& message : h->app.Messages()) {
    EXPECT_EQ(message.text, Text(txtNotSigned, lngEN));
  }
  EXPECT_EQ(Versions(list, Data("versions.txt.minisig")),
            (std::vector<std::string>{"Release-2.1", "Release-2.2"}));
  EXPECT_EQ(h->app.Messages().size(), 4u);
}

TEST_F(SignedAnswersTest, AScriptRunsOnlyWhenSigned) {
  w().WOTDir = box.Dir();
  w().Version = "1.5.0";
  const std::string url = DefaultUpdateServiceUrl() + std::string(kScriptRequest) + "1.5.0";
  service->AnswerAddress(url, Data("script.txt"));
  w().bProcess.Click();
  EXPECT_EQ(w().LastInstallOutcome(), TInstallOutcome::ScriptDownloadFailed);
  ASSERT_EQ(h->app.Messages().size(), 1u);
  EXPECT_EQ(h->app.Messages()[0].text, Text(txtNotSigned, lngEN));

  service->AnswerAddress(url + ".minisig", Data("script.txt.minisig"));
  w().bProcess.Click();
  EXPECT_EQ(w().LastInstallOutcome(), TInstallOutcome::Installed);
  EXPECT_EQ(w().lCurrentAction.Caption(), std::string(Text(txtCurrentAction, lngEN)) + "Signed");
  EXPECT_EQ(service->Requests(std::string(kScriptRequest) + "1.5.0.minisig"), 2);
}

}  // namespace
}  // namespace ovix
