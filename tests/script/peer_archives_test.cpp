// Archives as other tools make them (posix): zip storing a member larger than one thread's
// memory share, the same after a stub with and without its offsets moved, 7-Zip and bsdtar;
// each unpacks to exactly the files it was made from.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "script/unpack.h"
#include "support/pattern_bytes.h"
#include "support/sandbox.h"
#include "support/tree_snapshot.h"

namespace ovix {
namespace {

namespace fs = std::filesystem;

TEST(PeerArchiveTest, WhatEachPeerMakesUnpacksToTheFilesItWasMadeFrom) {
  test::Sandbox box;
  const fs::path work = box.Local(box.Dir());
  const fs::path source = work / "source";
  fs::create_directories(source / "ovix" / "deep");
  std::ofstream(source / "ovix" / "a.txt", std::ios::binary) << "a";
  // Already compressed data, as mod packs store it, too large to be held whole.
  std::ofstream(source / "ovix" / "deep" / "big.pkg", std::ios::binary)
      << test::PatternBytes(30u << 20);
  std::ofstream(work / "stub", std::ios::binary) << "MZ" << std::string(40'000, 'S');
  const std::string in = "cd '" + work.string() + "' && ";
  for (const auto& [name, command] : std::initializer_list<std::pair<const char*, std::string>>{
           {"stored.zip", "cd source && zip -q -0 -r ../stored.zip ovix"},
           {"stub.zip", "cat stub stored.zip > stub.zip"},
           {"moved.zip", "cp stub.zip moved.zip && zip -q -A moved.zip"},
           {"seven.zip", "cd source && 7zz a -tzip -bd -bso0 ../seven.zip ovix"},
           {"bsdtar.zip", "cd source && bsdtar --format zip -cf ../bsdtar.zip ovix"}}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(std::system((in + command).c_str()), 0) << command;
    fs::remove_all(work / "out");
    fs::create_directories(work / "out");
    std::string skipped;
    UnpackArchive(box.Dir() + "\\" + name, box.Dir() + "\\out", {},
                  [&](std::string_view member, std::string_view reason) {
                    skipped.append(member).append(": ").append(reason).append(";");
                  });
    EXPECT_EQ(skipped, "");
    EXPECT_TRUE(test::SnapshotTree(work / "out") == test::SnapshotTree(source));
  }
}

}  // namespace
}  // namespace ovix
