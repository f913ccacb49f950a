// Hostile archives held in memory, unpacked into a game folder inside a throw-away prefix:
// whatever the archive holds, nothing outside the folder changes and nothing inside it is
// a link. The folder is emptied after every input.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <span>
#include <string>

#include "os/files.h"
#include "script/unpack.h"
#include "support/sandbox.h"
#include "support/tree_snapshot.h"

namespace {

namespace fs = std::filesystem;

struct Prefix {
  Prefix() {
    game = sandbox.Local(sandbox.Dir()) / "game";
    const fs::path sentinel = sandbox.Local(sandbox.Dir()) / "sentinel";
    fs::create_directories(game);
    fs::create_directories(sentinel / "res");
    std::ofstream(sentinel / "settings.xml") << "<keep/>";
    std::ofstream(sentinel / "res" / "paks.txt") << "keep";
    before = ovix::test::SnapshotTree(sandbox.Root(), {game});
  }
  ovix::test::Sandbox sandbox;
  fs::path game;
  std::map<std::string, std::string> before;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Prefix prefix;
  try {
    ovix::UnpackArchiveData(std::span<const unsigned char>(data, size), "fuzz.zip",
                            prefix.sandbox.Dir() + "\\game", nullptr);
  } catch (const ovix::TUnpackError&) {
    // refused as a whole: a clear message, nothing written
  }
  if (ovix::test::SnapshotTree(prefix.sandbox.Root(), {prefix.game}) != prefix.before) std::abort();
  for (const auto& entry : fs::recursive_directory_iterator(prefix.game)) {
    if (entry.is_symlink()) std::abort();
  }
  for (const auto& entry : fs::directory_iterator(prefix.game)) fs::remove_all(entry.path());
  return 0;
}
