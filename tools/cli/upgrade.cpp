// `quorrel-cli upgrade`: the firmware upgrade of the current interface's local adapter, with
// the same checks and messages as the desktop program. Interrupting it (Ctrl-C) asks the frame
// loop to stop before its next frame, as the desktop's Cancel does.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>
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

std::atomic<upgrade::UpgradeControl*> interrupted{nullptr};

extern "C" void onInterrupt(int) {
  if (upgrade::UpgradeControl* c = interrupted.load()) c->requestStop();
}

// Finds the local adapter: on the named interface, else on the first interface that has one.
// False when there is none.
bool selectLocalAdapter(const std::string& name) {
  transport::EnumerateInterfaces();
  int index = 0;
  if (!name.empty() && (index = interfaceIndex(name)) < 0) {
    std::fprintf(stderr, "quorrel-cli: no Ethernet interface named %s\n", name.c_str());
    return false;
  }
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

bool confirmed(const Options& o) {
  if (o.yes) return true;
  std::printf("%s\nUpgrade now? [y/N] ", upgrade::kConfirmAvText);
  std::fflush(stdout);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes";
}

int upgradeAv(const Options& o) {
  if (o.nvm.empty() || o.pib.empty()) {
    std::fputs(upgrade::kSelectFilesText, stderr);
    return 2;
  }
  transport::ReceivePath& path = scan::receivePath();
  upgrade::chooseCommitForLocalAdapter(path);
  if (!confirmed(o)) {
    std::fprintf(stderr, "quorrel-cli: upgrade not started\n");
    return 1;
  }
  upgrade::UpgradeControl control;
  upgrade::UpgradeResult result;
  interrupted.store(&control);
  std::signal(SIGINT, onInterrupt);
  std::signal(SIGTERM, onInterrupt);
  std::atomic<bool> done{false};
  std::thread worker([&] {
    result = upgrade::upgradeLocalAvDevice(path, {o.nvm, o.pib}, &control);
    done.store(true);
  });
  UpgradeProgress progress(stdout, isatty(STDOUT_FILENO) != 0);
  while (!done.load()) {
    progress.show(control.confirmed(), control.total());
    std::this_thread::sleep_for(std::chrono::milliseconds(kProgressStepMs));
  }
  worker.join();
  progress.show(control.confirmed(), control.total());
  progress.finish();
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  interrupted.store(nullptr);

  upgrade::reportUpgradeResult(result);
  if (!result.success) return 1;
  std::printf("%s\n", upgrade::kUpgradedText);
  return 0;
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
  if (captureRefused()) return kBadInput;

  if (!selectLocalAdapter(o.interface)) {
    std::fprintf(stderr, "%s\n", api::kAdapterNotDetectedText);
    transport::CloseAllInterfaces();
    return 2;
  }
  int status = 2;
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
