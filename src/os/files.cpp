#include "os/files.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>

#include "os/process.h"

namespace ovix {

namespace {

constexpr std::string_view kPartialMark = ".ovix-";
constexpr std::string_view kPartialEnd = ".incomplete";

bool AllDigits(std::basic_string_view<std::filesystem::path::value_type> text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](auto c) { return c >= '0' && c <= '9'; });
}

// The process id in a name "<target>.ovix-<process>-<count>.incomplete"; nullopt for any
// other name.
std::optional<std::uint64_t> PartialFileProcess(const std::filesystem::path::string_type& name) {
  using Char = std::filesystem::path::value_type;
  const std::basic_string<Char> end(kPartialEnd.begin(), kPartialEnd.end());
  const std::basic_string<Char> mark(kPartialMark.begin(), kPartialMark.end());
  if (name.size() <= end.size() || name.compare(name.size() - end.size(), end.size(), end) != 0) {
    return std::nullopt;
  }
  const std::size_t markAt = name.rfind(mark);
  if (markAt == std::string::npos || markAt == 0) return std::nullopt;
  const std::basic_string_view<Char> numbers(name.data() + markAt + mark.size(),
                                             name.size() - markAt - mark.size() - end.size());
  const std::size_t dash = numbers.find(Char('-'));
  // Process ids have at most ten digits on every system.
  if (dash == std::string::npos || !AllDigits(numbers.substr(0, dash)) ||
      !AllDigits(numbers.substr(dash + 1)) || dash > 10) {
    return std::nullopt;
  }
  std::uint64_t process = 0;
  for (const Char c : numbers.substr(0, dash))
    process = process * 10 + static_cast<std::uint64_t>(c - '0');
  return process;
}

}  // namespace

std::filesystem::path PartialFileBeside(const std::filesystem::path& target) {
  static std::atomic<std::uint64_t> counter{0};
  std::filesystem::path partial = target;
  partial += std::string(kPartialMark) + std::to_string(CurrentProcessId()) + "-" +
             std::to_string(++counter) + std::string(kPartialEnd);
  return partial;
}

bool MoveOrCopyReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (MoveReplacing(from, to)) {
    NoteFileMade(to);
    return true;
  }
  const std::filesystem::path beside = PartialFileBeside(to);
  std::error_code error;
  if (!std::filesystem::copy_file(from, beside, std::filesystem::copy_options::overwrite_existing,
                                  error) ||
      !MoveReplacing(beside, to)) {
    std::filesystem::remove(beside, error);
    return false;
  }
  std::filesystem::remove(from, error);
  NoteFileMade(to);
  return true;
}

void RemoveStalePartialFiles(const std::filesystem::path& directory) {
  std::error_code error;
  for (auto it = std::filesystem::directory_iterator(directory, error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    const std::optional<std::uint64_t> process = PartialFileProcess(it->path().filename().native());
    std::error_code ignored;
    if (!process || *process == CurrentProcessId() || IsProcessAlive(*process)) continue;
    if (it->is_symlink(ignored) || it->is_regular_file(ignored)) {
      std::filesystem::remove(it->path(), ignored);
    } else if (it->is_directory(ignored)) {
      std::filesystem::remove_all(it->path(), ignored);
    }
  }
}

namespace {

bool CopyFileKeepingTime(const std::filesystem::path& from, const std::filesystem::path& to,
                         bool sync) {
  std::error_code error;
  if (!std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing,
                                  error)) {
    return false;
  }
  const auto time = std::filesystem::last_write_time(from, error);
  if (!error) std::filesystem::last_write_time(to, time, error);
  if (error) return false;
  return !sync || SyncFileAt(to);
}

}  // namespace

bool CopyKeepingTimes(const std::filesystem::path& from, const std::filesystem::path& to,
                      bool sync) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::symlink_status(from, error);
  if (error) return false;
  if (fs::is_symlink(status)) {
    fs::copy_symlink(from, to, error);
    return !error;
  }
  if (!fs::is_directory(status)) return CopyFileKeepingTime(from, to, sync);
  if (!fs::create_directory(to, error) && !fs::is_directory(to, error)) return false;
  for (fs::directory_iterator it(from, error), end; !error && it != end; it.increment(error)) {
    if (!CopyKeepingTimes(it->path(), to / it->path().filename(), sync)) return false;
  }
  if (error) return false;
  // Last: every entry made inside has moved the folder's own time on.
  const auto time = fs::last_write_time(from, error);
  if (!error) fs::last_write_time(to, time, error);
  return !error;
}

void RemoveStalePartialFilesOnce(const std::filesystem::path& directory) {
  static std::mutex mutex;
  static std::set<std::filesystem::path> swept;
  {
    const std::lock_guard lock(mutex);
    if (!swept.insert(directory).second) return;
  }
  RemoveStalePartialFiles(directory);
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(content).str();
}

}  // namespace ovix
