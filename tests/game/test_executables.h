#pragma once
// The executables the build makes for these tests (see CMakeLists.txt).

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include "os/windows_api.h"
#endif

namespace ovix {

inline std::filesystem::path TestExecutable(std::string_view name) {
#ifdef _WIN32
  // Under Wine the build folder has no fixed Windows name; the files lie beside the test.
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  return std::filesystem::path(std::wstring(self, length)).parent_path() / name;
#else
  return std::filesystem::path(OVIX_TEST_EXE_DIR) / name;
#endif
}

inline std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace ovix
