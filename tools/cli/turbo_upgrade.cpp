// `quorrel-cli upgrade` for a Turbo local adapter: the firmware upgrade through the adapter's
// secondary loader, with progress on the console. Interrupting it (Ctrl-C) stops it before its
// next piece or loader command, with that step's message and what to do about the loader.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "api/device_table.h"
#include "brantleapi/brantleapi.h"
#include "brantleapi/hp1_requests.h"
#include "brantleapi/hp1_upgrade.h"
#include "brantleapi/turbo_state.h"
#include "cli_args.h"
#include "commands.h"
#include "platform/clock.h"
#include "platform/notice.h"
#include "scan/scan.h"
#include "transport/interface_table.h"
#include "upgrade_progress.h"

namespace quorrel::cli {

namespace {

// How long the restarted adapter is given to answer with its new firmware.
constexpr std::uint32_t kRestartWaitMs = 15000;
constexpr std::uint32_t kRestartPollMs = 500;

// Progress on standard error, where a person watches it: each step's name, and the pieces as
// the AV upgrade's bar redrawn in place. Nothing in a pipe.
class ProgressPrinter {
 public:
  void operator()(const brantleapi::Hp1UpgradeProgress& p) {
    if (!shown_) return;
    if (p.piecesTotal == 0 || p.step != "Sending") {
      bar_.finish();
      std::fprintf(stderr, "%.*s\n", static_cast<int>(p.step.size()), p.step.data());
    } else {
      bar_.show(static_cast<std::uint32_t>(p.piecesSent),
                static_cast<std::uint32_t>(p.piecesTotal));
    }
  }
  void endBar() { bar_.finish(); }

 private:
  bool shown_ = progressShown();
  UpgradeProgress bar_{stderr, true};
};

// Opens every interface and looks for a Turbo adapter on the one called `wanted`, or on each
// when it is empty; the first that answers becomes the current interface. Its index, or -1.
int findTurboAdapter(transport::ReceivePath& path, const std::string& wanted) {
  claimAdapters();
  if (transport::EnumerateInterfaces() != 1) return -1;
  const int count = transport::interfaceTable().interfaceCount;
  const int only = wanted.empty() ? -1 : interfaceIndex(wanted);
  if (!wanted.empty() && only < 0) return -1;
  for (int i = 0; i < count; ++i) transport::OpenInterface(i);
  for (int i = 0; i < count; ++i) {
    if (only >= 0 && i != only) continue;
    if (!transport::interfaceTable().entries[i].captureHandle) continue;
    transport::setCurrentInterface(static_cast<std::uint32_t>(i));
    if (brantleapi::detectTurboDevice(path)) return i;
  }
  return -1;
}

// The firmware text of the restarted adapter, once it answers again.
std::string firmwareAfterRestart(transport::ReceivePath& path) {
  const std::uint32_t start = platform::tickCount();
  while (platform::tickCount() - start < kRestartWaitMs) {
    // Found again at its own address, which a retarget to the loader's address replaced.
    brantleapi::turboState().localTurboFirmware = "";
    if (!brantleapi::detectTurboDevice(path)) {
      platform::delay(kRestartPollMs);
      continue;
    }
    brantleapi::requestTurboPrivate(brantleapi::kPrivateFirmwareText);
    brantleapi::collectTurboReplies(path, nullptr);
    if (!brantleapi::turboState().localTurboFirmware.view().empty())
      return brantleapi::turboState().localTurboFirmware.str();
    platform::delay(kRestartPollMs);
  }
  return {};
}

bool confirmed(const std::string& interfaceName) {
  std::fprintf(stderr,
               "Upgrade the firmware of the Turbo adapter on %s? The adapter restarts twice. "
               "[y/N] ",
               interfaceName.c_str());
  std::fflush(stderr);
  std::string answer;
  return std::getline(std::cin, answer) && (answer == "y" || answer == "Y" || answer == "yes");
}

}  // namespace

int runTurboUpgrade(const std::string& img, const std::string& cfg, const std::string& interface,
                    bool yes) {
  if (!yes && ::isatty(STDIN_FILENO) == 0)
    return fail(kBadInput, "without a terminal to confirm on, --yes is needed");
  // The files first: a bad one needs neither the network nor the adapter.
  if (img.empty()) {
    platform::showNotice("No Image File is selected", "Error", platform::NoticeIcon::Error);
    return kBadInput;
  }
  brantleapi::Hp1UpgradeFiles files;
  if (!brantleapi::loadHp1UpgradeFiles(img, cfg, files)) return kBadInput;

  transport::ReceivePath& path = scan::receivePath();
  const int index = findTurboAdapter(path, interface);
  if (index < 0) {
    transport::CloseAllInterfaces();
    return fail(kNoAdapter, interface.empty() ? "no Turbo adapter answered on any interface"
                                              : "no Turbo adapter answered on " + interface);
  }
  const std::string name = interfaceName(index);
  std::printf("%s: Turbo adapter %s, %s\n", name.c_str(),
              formatMac(api::currentState().localMac).c_str(),
              brantleapi::turboState().localTurboVersion.c_str());
  std::fflush(stdout);  // before the upgrade's own lines on standard error
  if (!yes && !confirmed(name)) {
    transport::CloseAllInterfaces();
    return fail(kFailed, "upgrade not started", "not confirmed");
  }
  ProgressPrinter printer;
  const brantleapi::Hp1UpgradeContext context{
      path, platform::NoticeOwner::None,
      [&printer](const brantleapi::Hp1UpgradeProgress& p) { printer(p); },
      [] { return interrupted(); }};
  SafePoints safePoints;  // Ctrl-C stops before the next piece or loader command
  const auto outcome = brantleapi::runHp1Upgrade(context, img, cfg);
  printer.endBar();
  if (interrupted() && outcome != brantleapi::Hp1UpgradeOutcome::Succeeded) {
    transport::CloseAllInterfaces();
    return fail(kInterrupted, "upgrade interrupted");
  }
  if (outcome == brantleapi::Hp1UpgradeOutcome::Succeeded) {
    const std::string firmware = firmwareAfterRestart(path);
    if (firmware.empty())
      std::printf("The adapter has not answered since its restart.\n");
    else
      std::printf("The adapter restarted with firmware %s\n", firmware.c_str());
  }
  transport::CloseAllInterfaces();
  switch (outcome) {
    case brantleapi::Hp1UpgradeOutcome::Succeeded:
      return kOk;
    case brantleapi::Hp1UpgradeOutcome::BadInput:
      return kBadInput;
    case brantleapi::Hp1UpgradeOutcome::Failed:
      break;
  }
  return kFailed;
}

}  // namespace quorrel::cli
