#include <filesystem>
#include <stdexcept>

#include "game/link_layout.h"
#include "game/shortcuts.h"
#include "os/com_win32.h"
#include "os/text.h"
#include "os/windows_api.h"

// Need windows.h first.
#include <objidl.h>
#include <shobjidl.h>

namespace ovix {

// The shell asks for a buffer of MAX_PATH characters; one more keeps it terminated.
constexpr int kLinkPathCapacity = MAX_PATH;

std::string GetDesktopDirectory() {
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(
          SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
    return {};
  }
  return Narrow(buffer);
}

std::string ResolveShortcut(std::string_view path) {
  ComPtr<IUnknown> object;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                              IID_IUnknown, object.out()))) {
    throw std::runtime_error("The system cannot create a shell link object to read shortcuts.");
  }
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> file;
  if (FAILED(object->QueryInterface(IID_IShellLinkW, link.out())) ||
      FAILED(object->QueryInterface(IID_IPersistFile, file.out()))) {
    throw std::runtime_error("The system's shell link object cannot read shortcut files.");
  }
  const std::wstring name = Widen(ShortcutFileName(path));
  // The shell's reader trusts the sizes a link declares; a damaged shortcut on the desktop
  // must not reach it.
  if (!ReadSoundLinkFile(std::filesystem::path(name))) return {};
  if (FAILED(file->Load(name.c_str(), STGM_READ))) return {};
  wchar_t buffer[kLinkPathCapacity + 1] = {};
  // S_FALSE also means "no path": the buffer is left empty then.
  if (FAILED(link->GetPath(buffer, kLinkPathCapacity, nullptr, SLGP_UNCPRIORITY))) return {};
  return Narrow(buffer);
}

}  // namespace ovix
