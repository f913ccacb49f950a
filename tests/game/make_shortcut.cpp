// make_shortcut.exe <link file> <target>: writes a shell link with the system's own shell,
// so the tests can check the reader against links as Windows (or Wine) writes them.
#include <cstdio>

#include "os/com_win32.h"
#include "os/windows_api.h"

// Need windows.h first.
#include <objidl.h>
#include <shobjidl.h>

using ovix::ComApartment;
using ovix::ComPtr;

namespace {

int Fail(const char* step, HRESULT result) {
  std::fprintf(stderr, "make_shortcut: %s failed (0x%08lx)\n", step,
               static_cast<unsigned long>(result));
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_shortcut <link file> <target>\n");
    return 1;
  }
  const ComApartment apartment;
  if (!apartment.ok()) return Fail("CoInitializeEx", E_FAIL);
  ComPtr<IShellLinkW> link;
  HRESULT result =
      CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.out());
  if (FAILED(result)) return Fail("CoCreateInstance", result);
  // S_FALSE only says the target does not exist; the link is still written.
  if (FAILED(result = link->SetPath(argv[2]))) return Fail("SetPath", result);
  ComPtr<IPersistFile> file;
  if (FAILED(result = link->QueryInterface(IID_IPersistFile, file.out()))) {
    return Fail("QueryInterface", result);
  }
  if (FAILED(result = file->Save(argv[1], TRUE))) return Fail("Save", result);
  return 0;
}
