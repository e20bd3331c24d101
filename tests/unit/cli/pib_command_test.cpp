// `quorrel-cli pib` on real files: defaults that show as valid, set-then-show round trips, and
// refusals that leave the file as it was with the exit status that says why.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "commands.h"
#include "crypto/keys.h"
#include "json_keys.h"
#include "pib_report.h"
#include "platform/bytes.h"
#include "support/scratch_dir.h"

namespace quorrel::cli {
namespace {

using Bytes = std::vector<std::uint8_t>;

class PibCommand : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(run({"defaults", file_}), 0); }

  static int run(std::vector<std::string> words) {
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    return runPib(Arguments(argv.data(), argv.size()));
  }
  static nlohmann::json show(const std::string& path) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(run({"show", path, "--json"}), 0);
    return nlohmann::json::parse(::testing::internal::GetCapturedStdout());
  }
  testing::ScratchDir scratch_;
  const std::string dir_ = scratch_.path(), file_ = scratch_.file("a.pib");
};

// The defaults as a valid owner-only file, then each set shown back.
TEST_F(PibCommand, DefaultsThenSetThenShowRoundTrips) {
  const nlohmann::json d0 = show(file_);
  EXPECT_EQ(badJsonKeys(d0), "");
  EXPECT_TRUE(d0["checksum"]["matches"].get<bool>());
  EXPECT_EQ(d0["validation"]["result"], 0);
  EXPECT_EQ(d0["identity"]["network_name"], "Velmora Enabled Network");
  EXPECT_FALSE(d0["identity"]["public_network"].get<bool>());
  EXPECT_EQ(d0["configuration"].back()["fields"].back()["value"], "EST5EDT4,M4.1.0/2,M10.5.0/2");
  EXPECT_EQ(std::filesystem::status(file_).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  ASSERT_EQ(run({"set", file_, "mac", "02:11:22:33:44:55"}), 0);
  ASSERT_EQ(run({"set", file_, "device-name", "Kitchen"}), 0);
  ASSERT_EQ(run({"set", file_, "network-password", "HomePlugAV"}), 0);
  ASSERT_EQ(run({"set", file_, "device-password", "ABCD-EFGH-IJKL-MNOP"}), 0);
  const std::string other = dir_ + "/b.pib";
  const Bytes before = testing::readFile(file_);
  ASSERT_EQ(run({"set", file_, "manufacturer", "Ours", "--out", other}), 0);
  EXPECT_EQ(testing::readFile(file_), before);

  const nlohmann::json d = show(file_);
  EXPECT_EQ(d["identity"]["mac"], "02:11:22:33:44:55");
  EXPECT_EQ(d["identity"]["device_name"], "Kitchen");
  EXPECT_TRUE(d["identity"]["public_network"].get<bool>());
  EXPECT_TRUE(d["checksum"]["matches"].get<bool>());
  const crypto::Key dak = crypto::deriveDAK("ABCD-EFGH-IJKL-MNOP");
  EXPECT_TRUE(std::equal(dak.begin(), dak.end(), before.begin() + 18));
  EXPECT_EQ(show(other)["identity"]["manufacturer"], "Ours");
}

TEST_F(PibCommand, RefusalsLeaveTheFileAndSayWhy) {
  const Bytes good = testing::readFile(file_);
  auto with = [&](auto change) {
    Bytes b = good;
    change(b);
    return b;
  };
  const struct {
    const char* what;
    Bytes file;
    std::vector<std::string> words;
    int status;
  } cases[] = {
      {"damaged checksum, name not UTF-8",
       with([](Bytes& b) { b[180] = 0xE9; }),
       {"mac", "02:00:00:00:00:09"},
       1},
      {"failing region", with([](Bytes& b) { b[244] = 7; }), {"mac", "02:00:00:00:00:09"}, 1},
      {"shorter than its length", Bytes(good.begin(), good.begin() + 300), {"device-name", "x"}, 1},
      {"longer than its length", with([](Bytes& b) { b.push_back(0); }), {"device-name", "x"}, 1},
      {"other version", with([](Bytes& b) { b[0] = 1; }), {"device-name", "x"}, 1},
      {"header cut", Bytes(good.begin(), good.begin() + 5), {"device-name", "x"}, 1},
      {"group address", good, {"mac", "01:00:5E:00:00:01"}, 2},
      {"not an address", good, {"mac", "02:00:00"}, 2},
      {"name of 64", good, {"network-name", std::string(64, 'n')}, 2},
      {"network password of 3", good, {"network-password", "abc"}, 2},
      {"device password of 25", good, {"device-password", std::string(25, 'p')}, 2},
      {"unknown field", good, {"colour", "red"}, 2},
      {"missing value", good, {"mac"}, 2},
  };
  for (const auto& c : cases) {
    testing::writeFile(file_, c.file);
    std::vector<std::string> words{"set", file_};
    words.insert(words.end(), c.words.begin(), c.words.end());
    EXPECT_EQ(run(words), c.status) << c.what;
    EXPECT_EQ(testing::readFile(file_), c.file) << c.what;
    // A file of another kind is refused by show too; a damaged block is shown.
    if (notParameterBlock(c.file))
      EXPECT_EQ(run({"show", file_}), 2) << c.what;
    else
      EXPECT_NO_THROW(show(file_)) << c.what;
  }
  EXPECT_EQ(run({"set", dir_ + "/missing.pib", "device-name", "x"}), 2);
  EXPECT_EQ(run({"--help"}), 0);
  EXPECT_EQ(run({}), 2);

  // --force renews the checksum of a damaged file; a failing region is still named by show.
  testing::writeFile(file_, with([](Bytes& b) { b[200] ^= 1; }));
  EXPECT_EQ(run({"set", file_, "device-name", "forced", "--force"}), 0);
  EXPECT_TRUE(show(file_)["checksum"]["matches"].get<bool>());
  testing::writeFile(file_, with([](Bytes& b) { b[11401] = 2; }));
  EXPECT_EQ(show(file_)["validation"]["failing_region"]["offset"], 11400);
}

}  // namespace
}  // namespace quorrel::cli
