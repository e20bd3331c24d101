// The iterated digest chain against the openssl command-line tool.
#include <gtest/gtest.h>

#include "crypto/digest.h"
#include "openssl_tool.h"

namespace quorrel::crypto {
namespace {

using testing::hexOf;

ByteSpan bytesOf(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(Digest, ChainsOverHostileInputMatchOpensslToolAndRoundsBelowOneCountAsOne) {
  const auto once = sha256(bytesOf("HomePlugAV"));
  EXPECT_EQ(pbkdf1Sha256(bytesOf("HomePlugAV"), {}, 0), once);
  EXPECT_EQ(pbkdf1Sha256(bytesOf("HomePlugAV"), {}, -5), once);
  EXPECT_EQ(pbkdf1Sha256(bytesOf("HomePlugAV"), {}, 2), sha256(once));
  if (!testing::opensslToolPresent()) GTEST_SKIP() << "openssl command-line tool not installed";
  const std::vector<std::uint8_t> salt{0x08, 0x85, 0x6D, 0xAF, 0x7C, 0xF5, 0x81, 0x86};
  std::vector<std::uint8_t> zerosAndHigh{0x00, 0x00, 0x80, 0xFF, 0x7F, 0x00, 0xC3, 0xA9};
  // Longer than 255 and than 1024 bytes, where a fixed-size work buffer would cut the text.
  std::vector<std::uint8_t> long300(300), long1100(1100);
  for (std::size_t i = 0; i < long300.size(); ++i) long300[i] = std::uint8_t(i * 13 + 1);
  for (std::size_t i = 0; i < long1100.size(); ++i) long1100[i] = std::uint8_t(i ^ 0x5A);
  const std::vector<std::vector<std::uint8_t>> texts{{}, zerosAndHigh, long300, long1100};

  for (const auto& text : texts) {
    std::vector<std::uint8_t> input = text;
    input.insert(input.end(), salt.begin(), salt.end());
    for (int rounds : {1, 3}) {
      SCOPED_TRACE("text of " + std::to_string(text.size()) + " bytes, rounds " +
                   std::to_string(rounds));
      auto sha = testing::opensslChain("sha256", rounds, input);
      auto md = testing::opensslChain("md5", rounds, input);
      ASSERT_TRUE(sha && md);
      EXPECT_EQ(hexOf(pbkdf1Sha256(text, salt, rounds)), *sha);
      EXPECT_EQ(hexOf(pbkdf1Md5(text, salt, rounds)), *md);
    }
  }
}

}  // namespace
}  // namespace quorrel::crypto
