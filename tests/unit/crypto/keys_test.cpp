// Key derivations against the openssl command-line tool, DES parity, widths, random keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <vector>

#include "crypto/digest.h"
#include "crypto/keys.h"
#include "crypto/random.h"

namespace quorrel::crypto {
namespace {

std::string hexOf(ByteSpan b) {
  std::string s;
  constexpr char kDigits[] = "0123456789abcdef";
  for (const std::uint8_t x : b) s.append({kDigits[x >> 4], kDigits[x & 15]});
  return s;
}

// Expected values below come from openssl_chain.sh (openssl dgst) over text || salt, never
// from this library: e.g. printf 'HomePlugAV\x08\x85\x6D\xAF\x7C\xF5\x81\x86' > f;
// openssl_chain.sh sha256 1000 f.
TEST(Keys, DerivationsMatchOpensslTool) {
  // The HomePlug AV standard's default NMK.
  EXPECT_EQ(hexOf(deriveNMK(kDefaultAvNetworkPassword)), "50d3e4933f855b7040784df815aa8db7");
  EXPECT_EQ(hexOf(deriveDAK("ABCD-EFGH-IJKL-MNOP")), "d9d4b37a5f73ebb5c1ff6310c28b8bfc");
  EXPECT_EQ(hexOf(deriveNID(deriveNMK(kDefaultAvNetworkPassword))),
            "b0f2e695666b3a32f4217ba479ff9e8401e389e569dd21177035e8bfb8a50d8c");

  // The NEK has odd parity over the MD5 chain: openssl_chain.sh md5 1000 over "HomePlug" and the
  // HomePlug 1.0 salt.
  const std::vector<std::uint8_t> raw{0x47, 0xd6, 0x12, 0xe0, 0xf8, 0x4a, 0x76, 0x4c,
                                      0xf4, 0xa7, 0x54, 0x38, 0x90, 0xd7, 0x3f, 0x3e};
  const Key nek = deriveNEK(kDefaultHp1NetworkPassword);
  // Bit 0 set by hand where bits 1-7 hold an even count (0x12 -> 0x13).
  EXPECT_EQ(hexOf(ByteSpan(nek).first(8)), "46d613e0f84a764c");
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(std::popcount(nek[i]) % 2, 1) << "byte " << i;
    EXPECT_EQ(nek[i] & 0xFE, raw[i] & 0xFE) << "byte " << i;
  }
  // The rest of the digest is left as it came.
  EXPECT_TRUE(std::equal(nek.begin() + 8, nek.end(), raw.begin() + 8));

  // The family chooses the recipe.
  const char* text = "MyPrivateNet";
  for (DeviceFamily f : {DeviceFamily::HomePlug1, DeviceFamily::Turbo}) {
    // One salt for both kinds of text: a name and a password give the same 8 bytes.
    EXPECT_EQ(hexOf(ByteSpan(networkKeyFromPassword(text, f)).first(8)),
              hexOf(ByteSpan(deviceKeyFromPassword(text, f)).first(8)));
    EXPECT_EQ(networkKeyFromPassword(text, f), deriveNEK(text));
  }
  EXPECT_EQ(networkKeyFromPassword(text, DeviceFamily::HomePlugAV), deriveNMK(text));
  EXPECT_EQ(deviceKeyFromPassword(text, DeviceFamily::HomePlugAV), deriveDAK(text));
}

TEST(Keys, WholeTextIsHashedAndCopiesMoveTheFamilyWidthOnly) {
  // Texts that share their first 256 or 1024 bytes (where a fixed-size work buffer would cut
  // them), or differ only after a NUL, are different texts.
  std::string a(1100, 'x'), b = a, c = a;
  b[290] = 'y', c[1090] = 'y';
  EXPECT_NE(deriveNMK(a), deriveNMK(b));
  EXPECT_NE(deriveDAK(a), deriveDAK(c));
  EXPECT_NE(deriveNEK(a), deriveNEK(c));
  EXPECT_NE(deriveNMK(std::string_view("ab\0cd", 5)), deriveNMK("ab"));
  EXPECT_NE(deriveNEK(std::string_view("ab\0cd", 5)), deriveNEK("ab"));

  // A text at the very end of its allocation with no terminator: the sanitizer build catches
  // any read past it.
  for (std::size_t n : {0u, 1u, 24u, 25u, 1030u}) {
    auto heap = std::make_unique<char[]>(n == 0 ? 1 : n);
    std::memset(heap.get(), 'k', n);
    const std::string_view text(heap.get(), n);
    const std::string copy(n, 'k');
    EXPECT_EQ((std::tuple{deriveNMK(text), deriveDAK(text), deriveNEK(text)}),
              (std::tuple{deriveNMK(copy), deriveDAK(copy), deriveNEK(copy)}));
  }

  Key src{}, dst{};
  for (std::size_t i = 0; i < src.size(); ++i) src[i] = std::uint8_t(i + 1);
  dst.fill(0xEE);
  EXPECT_EQ((std::tuple{copyKey(dst, src, DeviceFamily::Turbo), hexOf(dst)}),
            (std::tuple{8u, "0102030405060708eeeeeeeeeeeeeeee"}));
  EXPECT_EQ((std::tuple{copyKey(dst, src, DeviceFamily::HomePlugAV), dst}), (std::tuple{16u, src}));
  // Short either side: only what fits. Overlap: moved, not smeared.
  std::array<std::uint8_t, 5> small{};
  EXPECT_EQ(copyKey(small, src, DeviceFamily::HomePlugAV), 5u);
  EXPECT_EQ(copyKey(dst, ByteSpan(small), DeviceFamily::HomePlugAV), 5u);
  copyKey(MutableByteSpan(src).subspan(2), ByteSpan(src), DeviceFamily::HomePlugAV);
  EXPECT_EQ(hexOf(src), "01020102030405060708090a0b0c0d0e");

  // Rounds below one count as one.
  const std::vector<std::uint8_t> av{'H', 'o', 'm', 'e', 'P', 'l', 'u', 'g', 'A', 'V'};
  EXPECT_EQ(pbkdf1Sha256(av, {}, -5), sha256(av));
  EXPECT_EQ(pbkdf1Sha256(av, {}, 2), sha256(sha256(av)));
}

// Plays back scripted draws and records each requested length.
class RandomKeyTest : public ::testing::Test {
 protected:
  void TearDown() override { setRandomSource({}); }
  void script(std::vector<Key> draws) {
    requested.clear();
    setRandomSource(
        [this, draws = std::move(draws), next = std::size_t{0}](MutableByteSpan out) mutable {
          requested.push_back(out.size());
          if (next >= draws.size()) return false;
          std::memcpy(out.data(), draws[next++].data(), out.size());
          return true;
        });
  }
  std::vector<std::size_t> requested;
};

TEST_F(RandomKeyTest, NeverTheDefaultKeyOfTheFamilyNorAHangAndFreshEachCall) {
  const Key avDefault = deriveNMK(kDefaultAvNetworkPassword);
  Key nearDefault = avDefault;  // first 8 bytes of the default: still refused
  nearDefault[15] ^= 1;
  Key other{};
  other.fill(0x33);
  script({nearDefault, avDefault, other});
  EXPECT_EQ(makeRandomNetworkKey(DeviceFamily::HomePlugAV), other);
  EXPECT_EQ(requested, (std::vector<std::size_t>{16, 16, 16}));

  // Outside AV the NEK default is refused and the AV one is just another key.
  script({deriveNEK(kDefaultHp1NetworkPassword), avDefault});
  EXPECT_EQ(makeRandomNetworkKey(DeviceFamily::HomePlug1), avDefault);
  script({other});
  EXPECT_EQ(hexOf(makeRandomNetworkKey(DeviceFamily::Turbo).value()),
            "33333333333333330000000000000000");
  EXPECT_EQ(requested, (std::vector<std::size_t>{8}));
  // A failing generator, or one that only ever gives the default: no key, and no hang.
  script({});
  EXPECT_FALSE(makeRandomNetworkKey(DeviceFamily::HomePlugAV));
  script(std::vector<Key>(100, deriveNEK(kDefaultHp1NetworkPassword)));
  EXPECT_FALSE(makeRandomNetworkKey(DeviceFamily::Turbo));
  // The system generator: one seeded with the time in seconds gives the same key twice here.
  setRandomSource({});
  const auto a = makeRandomNetworkKey(DeviceFamily::HomePlugAV);
  const auto b = makeRandomNetworkKey(DeviceFamily::HomePlugAV);
  ASSERT_TRUE(a && b);
  EXPECT_NE(*a, *b);
}

}  // namespace
}  // namespace quorrel::crypto
