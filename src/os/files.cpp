#include "os/files.h"

#include <atomic>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace ovix {

std::filesystem::path PartialFileBeside(const std::filesystem::path& target) {
  static std::atomic<std::uint64_t> counter{0};
  // Tells this process's names from another's writing beside the same target.
  static const std::uint64_t salt = std::random_device{}();
  std::filesystem::path partial = target;
  partial +=
      ".ovix-" + std::to_string(salt % 1000000) + "-" + std::to_string(++counter) + ".incomplete";
  return partial;
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
