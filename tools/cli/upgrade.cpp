// `quorrel-cli upgrade`: the firmware upgrade of the current interface's local adapter, with
// the same checks and messages as the desktop program. Interrupting it (Ctrl-C) asks the frame
// loop to stop before its next frame, as the desktop's Cancel does, and says what state the
// adapter is in.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#include "api/device_table.h"
#include "cli_args.h"
#include "commands.h"
#include "platform/clock.h"
#include "platform/notice.h"
#include "scan/scan.h"
#include "transport/interface_table.h"
#include "upgrade/av_upgrade.h"
#include "upgrade/upgrade_texts.h"
#include "upgrade/write_options.h"
#include "upgrade_progress.h"

namespace quorrel::cli {

namespace {

constexpr std::uint32_t kProgressStepMs = 100;

struct Options {
  std::string nvm, pib, img, cfg, interface;
  bool yes = false;
};

// The checks of the files the upgrade makes before it sends anything: their failures are bad
// input, not a failed upgrade.
bool fileRefused(const std::string& message) {
  for (const char* text : {upgrade::kFirmwareOpenFailedText, upgrade::kWrongHeaderText,
                           upgrade::kBlockOpenFailedText, upgrade::kBlockRefusedText})
    if (message == text) return true;
  return false;
}

// Searches interface `index` (and, when no interface was named, each) for the local adapter.
bool findLocalAdapter(const std::string& name, int index) {
  transport::setCurrentInterface(static_cast<std::uint32_t>(index));
  scan::LocalSearch();
  if (api::currentState().localPresent) return true;
  if (!name.empty()) return false;
  for (int i = 0; i < transport::interfaceTable().interfaceCount; ++i) {
    if (!api::interfaceState(i).localPresent) continue;
    // The chip model is the current interface's: search again with this one current.
    transport::setCurrentInterface(static_cast<std::uint32_t>(i));
    scan::LocalSearch();
    return api::currentState().localPresent;
  }
  return false;
}

// Finds the local adapter: on the named interface, else on the first interface that has one.
// None when it is found, else the exit status after the reason.
std::optional<int> selectLocalAdapter(const std::string& name) {
  claimAdapters();
  transport::EnumerateInterfaces();
  int index = 0;
  if (!name.empty() && (index = interfaceIndex(name)) < 0)
    return fail(kBadInput, "no Ethernet interface named " + name);
  if (!findLocalAdapter(name, index)) return fail(kNoAdapter, api::kAdapterNotDetectedText);
  return std::nullopt;
}

bool confirmed(const Options& o) {
  if (o.yes) return true;
  std::fprintf(stderr, "%s\nUpgrade now? [y/N] ", upgrade::kConfirmAvText);
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes";
}

int upgradeAv(const Options& o) {
  if (o.nvm.empty() || o.pib.empty()) {
    return fail(kBadInput, upgrade::kSelectFilesText);
  }
  transport::ReceivePath& path = scan::receivePath();
  upgrade::chooseCommitForLocalAdapter(path);
  if (!confirmed(o)) return fail(kFailed, "upgrade not started", "not confirmed");
  upgrade::UpgradeControl control;
  upgrade::UpgradeResult result;
  SafePoints safePoints;  // Ctrl-C asks the frame loop to stop before its next frame
  std::atomic<bool> done{false};
  std::thread worker([&] {
    result = upgrade::upgradeLocalAvDevice(path, {o.nvm, o.pib}, &control);
    done.store(true);
  });
  UpgradeProgress progress(stderr, true);
  const bool shown = progressShown();  // nothing in a pipe
  while (!done.load()) {
    if (interrupted()) control.requestStop();
    if (shown) progress.show(control.confirmed(), control.total());
    std::this_thread::sleep_for(std::chrono::milliseconds(kProgressStepMs));
  }
  worker.join();
  if (shown) progress.show(control.confirmed(), control.total());
  progress.finish();

  upgrade::reportUpgradeResult(result);
  if (result.cancelled && interrupted()) return fail(kInterrupted, "upgrade interrupted");
  if (!result.success) return fileRefused(result.message) ? kBadInput : kFailed;
  std::printf("%s\n", upgrade::kUpgradedText);
  return kOk;
}

}  // namespace

int runUpgrade(Arguments args) {
  CLI::App app{"Upgrades the firmware of the local adapter on the current interface.",
               "quorrel-cli upgrade"};
  Options o;
  app.add_option("--nvm", o.nvm, "HomePlug AV firmware image file (NVM)");
  app.add_option("--pib", o.pib, "HomePlug AV parameter block file (PIB)");
  app.add_option("--img", o.img, "Turbo firmware image file (IMG)");
  app.add_option("--cfg", o.cfg, "Turbo configuration file (CFG)");
  app.add_option("--interface", o.interface,
                 "interface of the local adapter (default: the first that has one)");
  app.add_flag("--yes,-y", o.yes, "do not ask for confirmation");
  if (const auto code = parseArguments(app, args)) return *code;
  if (captureRefused()) return kNoAdapter;

  if (const auto status = selectLocalAdapter(o.interface)) {
    transport::CloseAllInterfaces();
    return *status;
  }
  int status = kNoAdapter;
  if (api::deviceTable().turboLocal) {
    status = runTurboUpgrade(o.img, o.cfg, o.interface, o.yes);
  } else if (api::deviceTable().avLocal) {
    status = upgradeAv(o);
  } else {
    platform::showNotice(upgrade::kNoUpgradeForDeviceText, "Stop",
                         platform::NoticeIcon::Information);
  }
  transport::CloseAllInterfaces();
  return status;
}

}  // namespace quorrel::cli
