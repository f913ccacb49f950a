// Damaged shortcut files on the desktop: the reader gives a target path or nothing, and the
// path is well-formed UTF-8.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "game/shortcuts.h"
#include "os/text.h"
#include "support/sandbox.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const ovix::test::Sandbox sandbox;
  static const std::string link = sandbox.Dir() + "\\fuzz.lnk";
  {
    std::ofstream out(sandbox.Local(link), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) std::abort();
  }
  const std::string target = ovix::ResolveShortcut(link);
  if (ovix::RepairUtf8(target) != target) std::abort();
  return 0;
}
