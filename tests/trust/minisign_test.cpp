// Signatures made by the minisign tool (data/, keys without their secret halves), checked
// against what was signed and against bytes and comments altered since.

#include "trust/minisign.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "os/files.h"

namespace ovix {
namespace {

std::string Data(const std::string& name) {
  return ReadWholeFile(std::filesystem::path(OVIX_TRUST_DATA) / name).value();
}

std::span<const unsigned char> Bytes(const std::string& text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

TEST(Minisign, KeysAreReadFromTheirFilesOrTheirLinesAndNothingElse) {
  const std::optional<TPublicKey> fromFile = ParsePublicKey(Data("author.pub"));
  ASSERT_TRUE(fromFile);
  const std::string line = Data("author.pub").substr(Data("author.pub").find('\n') + 1);
  const std::optional<TPublicKey> fromLine = ParsePublicKey(line);
  ASSERT_TRUE(fromLine);
  EXPECT_EQ(fromFile->key, fromLine->key);
  EXPECT_EQ(fromFile->id, fromLine->id);
  EXPECT_FALSE(ParsePublicKey(""));
  EXPECT_FALSE(ParsePublicKey(line.substr(0, line.size() - 4)));
  EXPECT_FALSE(ParsePublicKey("not a comment\n" + line));
  EXPECT_FALSE(ParsePublicKey(Data("versions.txt.minisig")));  // a signature, not a key

  std::vector<TPublicKey> keys;
  EXPECT_TRUE(ParsePublicKeys(
      line + " , " + Data("stranger.pub").substr(Data("stranger.pub").find('\n') + 1), keys));
  EXPECT_EQ(keys.size(), 2u);
  EXPECT_FALSE(ParsePublicKeys(line + ";nonsense", keys));
  EXPECT_EQ(keys.size(), 2u);  // a list with a bad key adds none of it
}

TEST(Minisign, OnlyWhatATrustedKeySignedPasses) {
  const std::vector<TPublicKey> author = {ParsePublicKey(Data("author.pub")).value()};
  const std::vector<TPublicKey> stranger = {ParsePublicKey(Data("stranger.pub")).value()};
  const std::string versions = Data("versions.txt");
  const std::string signature = Data("versions.txt.minisig");

  // Hashed first (the tool's default) and the legacy form that signs the bytes themselves.
  EXPECT_EQ(CheckMinisign(Bytes(versions), signature, author), TSignatureCheck::Valid);
  EXPECT_EQ(CheckMinisign(Bytes(Data("legacy.txt")), Data("legacy.txt.minisig"), author),
            TSignatureCheck::Valid);
  EXPECT_EQ(CheckMinisign(Bytes(versions), signature, stranger), TSignatureCheck::UntrustedKey);
  EXPECT_EQ(CheckMinisign(Bytes(versions), Data("by-stranger.txt.minisig"), author),
            TSignatureCheck::UntrustedKey);
  EXPECT_EQ(CheckMinisign(Bytes(versions), signature, {}), TSignatureCheck::UntrustedKey);

  // One byte of the answer changed, or another answer's signature put beside it.
  std::string altered = versions;
  altered[8] = '3';
  EXPECT_EQ(CheckMinisign(Bytes(altered), signature, author), TSignatureCheck::BadSignature);
  EXPECT_EQ(CheckMinisign(Bytes(versions), Data("script.txt.minisig"), author),
            TSignatureCheck::BadSignature);
  // The trusted comment is covered by the global signature.
  std::string comment = signature;
  comment.replace(comment.find("versions for the tests"), 8, "VERSIONS");
  EXPECT_EQ(CheckMinisign(Bytes(versions), comment, author), TSignatureCheck::BadSignature);

  // What is not a signature file: an error page, a truncated file, a damaged line.
  EXPECT_EQ(CheckMinisign(Bytes(versions), "<html>404</html>", author), TSignatureCheck::Malformed);
  EXPECT_EQ(CheckMinisign(Bytes(versions), signature.substr(0, signature.size() / 2), author),
            TSignatureCheck::Malformed);
  std::string damaged = signature;
  damaged[damaged.find('\n') + 5] = '!';
  EXPECT_EQ(CheckMinisign(Bytes(versions), damaged, author), TSignatureCheck::Malformed);
}

}  // namespace
}  // namespace ovix
