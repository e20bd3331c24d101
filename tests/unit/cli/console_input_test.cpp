// quorrel-cli refusing bad input before any adapter is asked, so without capture permission:
// the exit status, the reason on standard error and nothing on standard output.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "persistence/device_data.h"
#include "persistence/known_devices.h"
#include "persistence/locations.h"
#include "support/scratch_dir.h"

namespace quorrel::cli {
namespace {

std::string text(const std::string& path) {
  const auto bytes = testing::readFile(path);
  return {bytes.begin(), bytes.end()};
}

TEST(ConsoleInput, BadInputIsRefusedWithItsReasonOnStandardError) {
  testing::ScratchDir scratch;
  // A data file that knows one device, called Den.
  persistence::setDataDirectory(scratch.path());
  persistence::AppendKnownDevice({0x00, 0xB0, 0x52, 0x20, 0x00, 0x09}, "Den");
  ASSERT_EQ(persistence::SaveDeviceData(), persistence::SaveOutcome::Saved);
  testing::writeFile(scratch.file("a.pib"), std::string("an adapter's only copy"));
  testing::writeFile(scratch.file("big.pib"), std::string((1u << 20) + 1, 'P'));

  const struct {
    const char* args;
    int status;
    const char* error;               // part of standard error
    const char* out = "stdout.txt";  // where standard output goes; empty there afterwards
  } cases[] = {
      {"password 00:b0:52:99:99:99 Alpha-Pass-1 --data-dir .", 2,
       "no listed device has the MAC address 00:B0:52:99:99:99"},
      {"set-network \"$(printf 'Bad\\tName')\" --json --data-dir .", 2,
       "Illegal character in password, CTRL and ALT characters not allowed.\n"},
      {"add Delta-Pass-4 --name Den --data-dir .", 2, "Please enter another name."},
      {"report --data-dir .", 1,
       "the report could not be written to standard output: No space left on device", "/dev/full"},
      {"report --data-dir . --out nowhere/r.txt", 1,
       "could not be written to nowhere/r.txt: No such file or directory"},
      {"pib defaults a.pib", 2, "a.pib already exists (--force replaces it)"},
      {"pib defaults nowhere/a.pib", 1, "cannot write nowhere/a.pib: No such file or directory"},
      {"pib show big.pib", 2, "big.pib is larger than 1 MiB, so it cannot be a parameter block"},
      {"pib set big.pib device-name x --force", 2, "larger than 1 MiB"},
      {"pib show missing.pib", 2, "cannot read missing.pib: No such file or directory"},
      {"pib show .", 2, "cannot read .: Is a directory"},
      {"history --data-dir nowhere", 1, "could not be read: No such file or directory"},
  };
  for (const auto& c : cases) {
    const std::string command = "cd '" + scratch.path() + "' && " QUORREL_CLI_PATH " " + c.args +
                                " >" + c.out + " 2>stderr.txt";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << c.args;
    EXPECT_EQ(WEXITSTATUS(status), c.status) << c.args;
    const std::string error = text(scratch.file("stderr.txt"));
    EXPECT_NE(error.find(c.error), std::string::npos) << c.args << "\n" << error;
    if (std::string(c.out) == "stdout.txt") {
      EXPECT_EQ(text(scratch.file("stdout.txt")), "") << c.args;
    }
  }
  EXPECT_EQ(text(scratch.file("a.pib")), "an adapter's only copy");
  EXPECT_EQ(std::system(("cd '" + scratch.path() +
                         "' && " QUORREL_CLI_PATH " pib defaults a.pib --force >/dev/null")
                            .c_str()),
            0);
}

}  // namespace
}  // namespace quorrel::cli
