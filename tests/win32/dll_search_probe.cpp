// Started by the planted-DLL tests: narrows the DLL search as the programs do (unless told
// "--unrestricted"), then asks for "planted.dll", which lies beside it, by its bare name.
// Exit code 0: refused, 1: loaded, 2: a DLL of the system directory failed to load too.

#include <cstring>
#include <memory>
#include <type_traits>

#include "os/dll_search.h"
#include "os/windows_api.h"

namespace {

struct LibraryFreer {
  void operator()(HMODULE module) const { FreeLibrary(module); }
};
using Library = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFreer>;

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--unrestricted") != 0) ovix::RestrictDllSearchToSystem();
  const Library system(LoadLibraryW(L"version.dll"));
  if (!system) return 2;
  const Library planted(LoadLibraryW(L"planted.dll"));
  return planted ? 1 : 0;
}
