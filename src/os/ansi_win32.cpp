#include "os/ansi.h"
#include "os/text.h"
#include "os/windows_api.h"

namespace ovix {

std::uint32_t AnsiCodePage() { return GetACP(); }

std::string AnsiToUtf8(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, wide.data(), length);
  return Narrow(wide);
}

}  // namespace ovix
