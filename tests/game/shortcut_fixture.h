#pragma once
// Shortcut files placed in a sandbox, so both builds read them by a Windows path.

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/sandbox.h"

namespace ovix::test {

class ShortcutFiles : public ::testing::Test {
 protected:
  std::string Place(const std::string& name, const std::string& bytes) const {
    const std::string path = sandbox_.Dir() + "\\" + name;
    std::ofstream(sandbox_.Local(path), std::ios::binary | std::ios::trunc) << bytes;
    return path;
  }
  Sandbox sandbox_;
};

}  // namespace ovix::test
