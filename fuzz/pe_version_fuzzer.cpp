// Damaged executables from a player's disk: the version reader gives an answer or none,
// never a read outside the data, and the same answer from memory as from the file.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <string>

#include "game/pe_version.h"

namespace {

namespace fs = std::filesystem;

// The file the bytes are written to for the file reader; removed at exit.
struct ScratchFile {
  ScratchFile()
      : path(fs::temp_directory_path() / ("ovix-fuzz-pe-" + std::to_string(getpid()) + ".exe")) {}
  ~ScratchFile() {
    std::error_code ignored;
    fs::remove(path, ignored);
  }
  fs::path path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const ScratchFile scratch;
  const std::optional<ovix::FileVersion> fromMemory =
      ovix::ReadPeFileVersion(std::span<const std::uint8_t>(data, size));
  {
    std::ofstream out(scratch.path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) std::abort();
  }
  // The file reader fetches only the pieces it needs; it must find what the whole image shows.
  if (ovix::ReadPeFileVersionFromFile(scratch.path) != fromMemory) std::abort();
  return 0;
}
