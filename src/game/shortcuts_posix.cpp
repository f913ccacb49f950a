#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

// Debian's liblnk header wants libbfio's headers, which are not packaged with it; only the
// calls taking a libbfio handle need them, and they are not used here.
#include <liblnk/features.h>
#undef LIBLNK_HAVE_BFIO
#include <liblnk.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "game/link_layout.h"
#include "game/shortcuts.h"
#include "os/files.h"
#include "os/text.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;

// Holds the error a liblnk call may report, freed when replaced or dropped.
class LnkError {
 public:
  LnkError() = default;
  ~LnkError() { Reset(); }
  LnkError(const LnkError&) = delete;
  LnkError& operator=(const LnkError&) = delete;

  liblnk_error_t** Out() {
    Reset();
    return &error_;
  }

 private:
  void Reset() {
    if (error_ != nullptr) liblnk_error_free(&error_);
  }
  liblnk_error_t* error_ = nullptr;
};

class LnkFile {
 public:
  LnkFile() {
    if (liblnk_file_initialize(&file_, error_.Out()) != 1) {
      throw std::runtime_error("The shell link reader cannot be set up.");
    }
  }
  ~LnkFile() {
    if (open_) liblnk_file_close(file_, error_.Out());
    liblnk_file_free(&file_, error_.Out());
  }
  LnkFile(const LnkFile&) = delete;
  LnkFile& operator=(const LnkFile&) = delete;

  bool Open(const fs::path& file) {
    open_ = liblnk_file_open(file_, file.c_str(), LIBLNK_OPEN_READ, error_.Out()) == 1;
    return open_;
  }

  // Both combine their base with the common path suffix; the local one prefers the
  // UTF-16 copy when the link has one.
  std::string LocalPath() {
    return Text(liblnk_file_get_utf8_local_path_size, liblnk_file_get_utf8_local_path);
  }
  std::string NetworkPath() {
    return Text(liblnk_file_get_utf8_network_path_size, liblnk_file_get_utf8_network_path);
  }

 private:
  using SizeCall = int (*)(liblnk_file_t*, size_t*, liblnk_error_t**);
  using TextCall = int (*)(liblnk_file_t*, uint8_t*, size_t, liblnk_error_t**);

  std::string Text(SizeCall sizeCall, TextCall textCall) {
    size_t size = 0;
    if (sizeCall(file_, &size, error_.Out()) != 1 || size == 0) return {};
    std::vector<uint8_t> buffer(size + 1, 0);
    if (textCall(file_, buffer.data(), size, error_.Out()) != 1) return {};
    const char* text = reinterpret_cast<const char*>(buffer.data());
    return RepairUtf8(std::string_view(text, strnlen(text, size)));
  }

  LnkError error_;
  liblnk_file_t* file_ = nullptr;
  bool open_ = false;
};

std::string LoginName() {
  const char* user = getenv("USER");
  if (user != nullptr && *user != '\0') return user;
  const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
    return {};
  }
  return found->pw_name;
}

}  // namespace

std::string GetDesktopDirectory() {
  // Wine names the profile folder after the Unix login and often links Desktop to
  // ~/Desktop; is_directory follows the link.
  const std::string user = LoginName();
  if (user.empty()) return {};
  const std::string desktop = "C:\\users\\" + user + "\\Desktop";
  const std::optional<fs::path> local = ovix::LocalPath(desktop);
  std::error_code error;
  return local && fs::is_directory(*local, error) ? desktop : std::string();
}

std::string ResolveShortcut(std::string_view path) {
  const std::optional<fs::path> file = ovix::LocalPath(ShortcutFileName(path));
  // liblnk takes declared sizes on trust and allocates them before it finds a file too short.
  if (!file || !ReadSoundLinkFile(*file)) return {};
  LnkFile link;
  if (!link.Open(*file)) return {};
  // Wine's shell (8.0) reads only the local path, whatever SLGP_UNCPRIORITY asks, so a link
  // naming both is resolved to the local one. A link naming only a network path gets that
  // path, as Windows gives it; Wine gives nothing for it.
  std::string target = link.LocalPath();
  return target.empty() ? link.NetworkPath() : target;
}

}  // namespace ovix
