// Started by the planted-DLL tests: narrows the DLL search as the programs do (unless told
// "--unrestricted"), then asks for a DLL that lies beside it by its bare name: "planted.dll",
// or the name given after the first argument.
// Exit code 0: refused, 1: loaded, 2: a DLL of the system directory failed to load too.

#include <cstring>
#include <memory>
#include <string>
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
  std::wstring name = L"planted.dll";
  if (argc >= 3) name.assign(argv[2], argv[2] + std::strlen(argv[2]));
  const Library planted(LoadLibraryW(name.c_str()));
  return planted ? 1 : 0;
}
