// `quorrel-cli upgrade` for a Turbo local adapter: the firmware upgrade through the adapter's
// secondary loader, with progress on the console. Interrupting it (Ctrl-C) stops it before its
// next piece or loader command, with that step's message and what to do about the loader.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
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

namespace quorrel::cli {

namespace {

constexpr int kBarWidth = 40;
// How long the restarted adapter is given to answer with its new firmware.
constexpr std::uint32_t kRestartWaitMs = 15000;
constexpr std::uint32_t kRestartPollMs = 500;

// Progress as a bar that redraws itself on a terminal, as plain lines otherwise.
class ProgressPrinter {
 public:
  explicit ProgressPrinter(bool terminal) : terminal_(terminal) {}
  void operator()(const brantleapi::Hp1UpgradeProgress& p) {
    if (p.piecesTotal == 0 || p.step != "Sending") {
      endBar();
      std::printf("%.*s\n", static_cast<int>(p.step.size()), p.step.data());
    } else if (terminal_) {
      const int filled = static_cast<int>(p.piecesSent * kBarWidth / p.piecesTotal);
      std::printf("\r[%s%s] %zu/%zu pieces",
                  std::string(static_cast<std::size_t>(filled), '#').c_str(),
                  std::string(static_cast<std::size_t>(kBarWidth - filled), '.').c_str(),
                  p.piecesSent, p.piecesTotal);
      barOpen_ = true;
    } else if (p.piecesSent > 0) {
      std::printf("sent %zu of %zu pieces\n", p.piecesSent, p.piecesTotal);
    }
    std::fflush(stdout);
  }
  void endBar() {
    if (barOpen_) std::printf("\n");
    barOpen_ = false;
  }

 private:
  bool terminal_;
  bool barOpen_ = false;
};

std::atomic<bool> stopAsked{false};

extern "C" void onTurboInterrupt(int) {
  stopAsked.store(true);
}

// Opens every interface and looks for a Turbo adapter on the one called `wanted`, or on each
// when it is empty; the first that answers becomes the current interface. Its index, or -1.
int findTurboAdapter(transport::ReceivePath& path, const std::string& wanted) {
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
  std::printf("Upgrade the firmware of the Turbo adapter on %s? The adapter restarts twice. [y/N] ",
              interfaceName.c_str());
  std::fflush(stdout);
  std::string answer;
  return std::getline(std::cin, answer) && (answer == "y" || answer == "Y" || answer == "yes");
}

}  // namespace

int runTurboUpgrade(const std::string& img, const std::string& cfg, const std::string& interface,
                    bool yes) {
  if (!yes && ::isatty(STDIN_FILENO) == 0) {
    std::fprintf(stderr, "quorrel-cli: without a terminal to confirm on, --yes is needed\n");
    return 2;
  }
  // The files first: a bad one needs neither the network nor the adapter.
  if (img.empty()) {
    platform::showNotice("No Image File is selected", "Error", platform::NoticeIcon::Error);
    return 2;
  }
  brantleapi::Hp1UpgradeFiles files;
  if (!brantleapi::loadHp1UpgradeFiles(img, cfg, files)) return 2;

  transport::ReceivePath& path = scan::receivePath();
  const int index = findTurboAdapter(path, interface);
  if (index < 0) {
    transport::CloseAllInterfaces();
    if (interface.empty())
      std::fprintf(stderr, "quorrel-cli: no Turbo adapter answered on any interface\n");
    else
      std::fprintf(stderr, "quorrel-cli: no Turbo adapter answered on %s\n", interface.c_str());
    return 2;
  }
  const std::string name = interfaceName(index);
  std::printf("%s: Turbo adapter %s, %s\n", name.c_str(),
              formatMac(api::currentState().localMac).c_str(),
              brantleapi::turboState().localTurboVersion.c_str());
  if (!yes && !confirmed(name)) {
    transport::CloseAllInterfaces();
    return 1;
  }
  ProgressPrinter printer(::isatty(STDOUT_FILENO) != 0);
  const brantleapi::Hp1UpgradeContext context{
      path, platform::NoticeOwner::None,
      [&printer](const brantleapi::Hp1UpgradeProgress& p) { printer(p); },
      [] { return stopAsked.load(); }};
  stopAsked.store(false);
  std::signal(SIGINT, onTurboInterrupt);
  std::signal(SIGTERM, onTurboInterrupt);
  const auto outcome = brantleapi::runHp1Upgrade(context, img, cfg);
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  printer.endBar();
  if (stopAsked.load() && outcome != brantleapi::Hp1UpgradeOutcome::Succeeded) {
    transport::CloseAllInterfaces();
    std::fprintf(stderr, "quorrel-cli: upgrade interrupted\n");
    return kInterrupted;
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
      return 0;
    case brantleapi::Hp1UpgradeOutcome::BadInput:
      return 2;
    case brantleapi::Hp1UpgradeOutcome::Failed:
      break;
  }
  return 1;
}

}  // namespace quorrel::cli
