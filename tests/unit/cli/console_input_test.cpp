// quorrel-cli without an adapter, so without capture permission: the exit status of every
// command, the reason on standard error and nothing but data on standard output.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

// Every command through each exit status it can give without an adapter: the status, the
// reason on standard error in the one voice, and standard output holding data only.
TEST(ConsoleInput, EveryCommandGivesTheStatusTheManPageTableSays) {
  testing::ScratchDir scratch;
  // A data file that knows one device, called Den.
  persistence::setDataDirectory(scratch.path());
  persistence::appendKnownDevice({0x00, 0xB0, 0x52, 0x20, 0x00, 0x09}, "Den");
  ASSERT_EQ(persistence::SaveDeviceData(), persistence::SaveOutcome::Saved);
  testing::writeFile(scratch.file("a.pib"), std::string("an adapter's only copy"));
  testing::writeFile(scratch.file("big.pib"), std::string((1u << 20) + 1, 'P'));
  testing::writeFile(scratch.file("pw.txt"), std::string("Alpha-Pass-1\n"));
  std::string sixteenU;
  for (int i = 0; i < 16; ++i) sixteenU += "\xC3\xBC";
  // Outside the capture helper's group (a helper this user may not run), without the
  // capability: no permission to capture, said once, before the interfaces are reached.
  const std::string helper = "/tmp/quorrel-capture-not-ours-" + std::to_string(getpid());
  testing::writeFile(helper, std::string("#!/bin/sh\n"));
  ASSERT_EQ(chmod(helper.c_str(), 0640), 0);
  const std::string outsider =
      "setpriv --reuid=65534 --regid=65534 --clear-groups env "
      "QUORREL_CAPTURE_HELPER=" +
      helper + " ";
  const char* refused = "may reach the powerline adapters";
  testing::writeFile(scratch.file("monitor.conf"), std::string("# the broker\ncolour = blue\n"));
  // An address another program listens on.
  const int busy = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(busy, reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(listen(busy, 1), 0);
  ASSERT_EQ(getsockname(busy, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const std::string busyAddress = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  const std::string busyError = "quorrel-cli monitor: metrics cannot be served at " + busyAddress +
                                ": Address already in use";

  const struct {
    std::string args;
    int status;
    const char* error;             // part of standard error
    const char* output = nullptr;  // part of standard output; none: it stays empty
    const char* out = "stdout.txt";
  } cases[] = {
      {"", 2, "usage: quorrel-cli COMMAND"},
      {"--help", 0, "", "  set-network  set the network name"},
      {"-h", 0, "", "usage: quorrel-cli COMMAND"},
      {"help", 0, "", "  history      print the rate history"},
      {"help scan", 0, "", "--cycles"},
      {"help bogus", 2, "quorrel-cli: unknown command 'bogus'"},
      {"--version", 0, "", "quorrel-cli " QUORREL_VERSION},
      {"bogus", 2, "quorrel-cli: unknown command 'bogus'"},
      {"probe --bogus", 2, "quorrel-cli probe: The following argument was not expected: --bogus"},
      {"scan --cycles 0", 2, "quorrel-cli scan: --cycles: Value 0 not in range"},
      {"scan --data-dir nowhere/new", 2,
       "quorrel-cli scan: the data folder nowhere/new cannot be created: No such file or "
       "directory"},
      {"password 00:b0:52:99:99:99 --password-stdin --data-dir made <pw.txt", 2,
       "quorrel-cli password: no listed device has the MAC address 00:B0:52:99:99:99"},
      {"password 00:b0:52 Alpha-Pass-1", 2, "quorrel-cli password: MAC is six hexadecimal pairs"},
      {"password 00:b0:52:99:99:99 --data-dir . </dev/null", 2,
       "quorrel-cli password: no password given: give it as an argument, or with "
       "--password-stdin"},
      {"set-network \"$(printf 'Bad\\tName')\" --json --data-dir .", 2,
       "quorrel-cli set-network: Illegal character in password, CTRL and ALT characters not "
       "allowed.\n"},
      {"set-network", 2, "quorrel-cli set-network: give a network NAME or --public"},
      {"add Delta-Pass-4 --name Den --data-dir .", 2,
       "quorrel-cli add: Please enter another name."},
      {"add Delta-Pass-4 --name " + sixteenU + " --data-dir .", 2,
       "quorrel-cli add: the name is too long: the data file keeps at most 31 bytes, and"},
      {"add --password-stdin --data-dir . </dev/null", 2,
       "quorrel-cli add: no password on standard input"},
      {"report --data-dir .", 1,
       "quorrel-cli report: the report could not be written to standard output: No space left on "
       "device",
       nullptr, "/dev/full"},
      {"report --data-dir . --out nowhere/r.txt", 1,
       "could not be written to nowhere/r.txt: No such file or directory"},
      {"report --data-dir . --out r.txt", 0, ""},
      {"report --data-dir nowhere", 2,
       "quorrel-cli report: the data folder nowhere cannot be read: No such file or directory"},
      {"pib defaults a.pib", 2, "quorrel-cli pib: a.pib already exists (--force replaces it)"},
      {"pib defaults nowhere/a.pib", 1, "cannot write nowhere/a.pib: No such file or directory"},
      {"pib show big.pib", 2, "big.pib is larger than 1 MiB, so it cannot be a parameter block"},
      {"pib set big.pib device-name x --force", 2, "larger than 1 MiB"},
      {"pib show missing.pib", 2, "cannot read missing.pib: No such file or directory"},
      {"pib show .", 2, "cannot read .: Is a directory"},
      {"pib show pw.txt", 2,
       "quorrel-cli pib: pw.txt is not a parameter block: the file has 13 bytes but"},
      {"history --data-dir .", 0, "", "(no samples)"},
      {"history --data-dir nowhere", 2, "the data folder nowhere cannot be read"},
      {"history 00:zz --data-dir .", 2, "quorrel-cli history: MAC is six hexadecimal pairs"},
      {"history --since 5y --data-dir .", 2, "--since takes a number and a unit"},
      {"map --data-dir nowhere", 2, "quorrel-cli map: the data folder nowhere cannot be read"},
      {"map --interface nosuch0 --data-dir .", 2,
       "quorrel-cli map: no Ethernet interface named nosuch0"},
      {"upgrade --interface nosuch0", 2,
       "quorrel-cli upgrade: no Ethernet interface named nosuch0"},
      // Each with a data folder that cannot be made: a setting that slipped through would still
      // stop the command before it reached an interface.
      {"monitor --config monitor.conf --data-dir nowhere/new", 2,
       "quorrel-cli monitor: monitor.conf: line 2: unknown setting 'colour'"},
      {"monitor --config missing.conf --data-dir nowhere/new", 2,
       "quorrel-cli monitor: the settings file missing.conf cannot be read: No such file or "
       "directory"},
      {"monitor --listen localhost:9586 --data-dir nowhere/new", 2,
       "quorrel-cli monitor: --listen: the setting listen cannot be 'localhost:9586': give a "
       "numeric address"},
      {"monitor --listen '[::1]' --data-dir nowhere/new", 2,
       "the setting listen cannot be '[::1]'"},
      {"monitor --listen 127.0.0.1:65536 --data-dir nowhere/new", 2,
       "the setting listen cannot be '127.0.0.1:65536'"},
      {"monitor --interval 0 --data-dir nowhere/new", 2,
       "quorrel-cli monitor: --interval: the setting interval cannot be '0': give a whole number"},
      {"monitor --map-every soon --data-dir nowhere/new", 2,
       "the setting map-every cannot be 'soon'"},
      {"monitor --mqtt 'broker name' --data-dir nowhere/new", 2,
       "the setting mqtt cannot be 'broker name'"},
      {"monitor --mqtt fe80::1 --data-dir nowhere/new", 2, "the setting mqtt cannot be 'fe80::1'"},
      {"monitor --mqtt 127.0.0.1 --mqtt-password-file nowhere --data-dir nowhere/new", 2,
       "quorrel-cli monitor: the password file nowhere cannot be read: No such file"},
      // Never past its settings: as the outsider it could not scan if it went on.
      {outsider + "monitor --listen " + busyAddress, 2, busyError.c_str()},
      {outsider + "probe", 3, refused},
      {outsider + "scan --data-dir /tmp", 3, refused},
      {outsider + "map --data-dir /tmp", 3, refused},
      {outsider + "upgrade", 3, refused},
      {outsider + "password 00:B0:52:20:00:02 ABCD-EFGH --data-dir /tmp", 3, refused},
  };
  for (const auto& c : cases) {
    const bool wrapped = c.args.rfind("setpriv", 0) == 0;
    const std::string program =
        wrapped ? outsider + QUORREL_CLI_PATH " " + c.args.substr(outsider.size())
                : QUORREL_CLI_PATH " " + c.args;
    const std::string command =
        "cd '" + scratch.path() + "' && " + program + " >" + c.out + " 2>stderr.txt";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << c.args;
    EXPECT_EQ(WEXITSTATUS(status), c.status) << c.args;
    const std::string error = text(scratch.file("stderr.txt"));
    EXPECT_NE(error.find(c.error), std::string::npos) << c.args << "\n" << error;
    // Said once, also where loading a missing data file would reach for the interfaces.
    EXPECT_EQ(error.find(c.error), error.rfind(c.error)) << c.args << "\n" << error;
    // One voice: no caption in brackets.
    EXPECT_EQ(error.find("] "), std::string::npos) << c.args << "\n" << error;
    if (std::string(c.out) != "stdout.txt") continue;
    const std::string output = text(scratch.file("stdout.txt"));
    if (c.output == nullptr)
      EXPECT_EQ(output, "") << c.args;
    else
      EXPECT_NE(output.find(c.output), std::string::npos) << c.args << "\n" << output;
  }
  std::remove(helper.c_str());
  close(busy);
  EXPECT_EQ(text(scratch.file("a.pib")), "an adapter's only copy");
  EXPECT_EQ(
      std::filesystem::status(scratch.file("made")).permissions() & std::filesystem::perms::all,
      std::filesystem::perms::owner_all);
  EXPECT_EQ(std::system(("cd '" + scratch.path() +
                         "' && " QUORREL_CLI_PATH " pib defaults a.pib --force >/dev/null")
                            .c_str()),
            0);
}

}  // namespace
}  // namespace quorrel::cli
