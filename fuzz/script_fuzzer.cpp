// Any script text runs to an end without fault, with every effect recorded instead of
// performed. Which paths exist and which actions fail follow from the text itself, so the
// fuzzer can steer into the IF blocks and their error handling.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>

#include "os/text.h"
#include "script/interpreter.h"

namespace {

// A stable yes or no for a text, different for different texts.
bool Says(std::string_view text, std::size_t salt) {
  return ((std::hash<std::string_view>{}(text) >> salt) & 1) != 0;
}

class RecordingHost final : public ovix::TScriptHost {
 public:
  explicit RecordingHost(std::size_t textSize) : textSize_(textSize) {}

  void Status(std::string_view code, std::string_view) override {
    // The code is the command word's last two characters.
    if (ovix::Utf16Length(code) > 2) std::abort();
    ++actions_;
  }
  void Percent(int) override { ++actions_; }
  bool GetFile(const std::string& url, const std::string&, std::string_view) override {
    ++actions_;
    return !Says(url, 3);  // sometimes the application is closing
  }
  void Unpack(const std::string& archive, const std::string&) override { Act(archive); }
  void Copy(const std::string& source, const std::string&) override { Act(source); }
  void RemoveDirectoryTree(const std::string& directory) override { Act(directory); }
  void RemoveFile(const std::string& path) override { Act(path); }
  bool FileExists(const std::string& path) override { return Says(path, 1); }
  bool DirectoryExists(const std::string& path) override { return Says(path, 2); }
  void Pump() override {
    // One pump per scanned character; a failure in a guarded block scans it again, at
    // most 1024 times in a run.
    if (++pumps_ > 1025 * (textSize_ + 1)) std::abort();
  }
  std::size_t Actions() const { return actions_; }
  std::size_t Pumps() const { return pumps_; }

 private:
  void Act(const std::string& path) {
    ++actions_;
    if (Says(path, 4)) throw ovix::TScriptError("recorded failure");
  }

  std::size_t textSize_;
  std::size_t actions_ = 0;
  std::size_t pumps_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks running or only scanning, as the window does for a skipped block.
  const bool execute = (data[0] & 1) != 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  RecordingHost host(text.size());
  try {
    const std::size_t stop = ovix::RunScript(host, text, execute);
    if (stop > text.size() + 1) std::abort();
  } catch (const ovix::TScriptError&) {
    // a command that cannot be carried out ends the run with its message
  }
  // Every action stems from a scanned command word.
  if (host.Actions() > host.Pumps()) std::abort();
  return 0;
}
