#include "upgrade/write_options.h"

#include <array>
#include <atomic>

#include "api/device_table.h"
#include "platform/clock.h"
#include "platform/notice.h"
#include "thpapi/exchange.h"
#include "thpapi/frame_layout.h"
#include "thpapi/request_builders.h"
#include "transport/interface_table.h"
#include "upgrade/upgrade_texts.h"

namespace quorrel::upgrade {

namespace {

// Read by the worker, written by the user-interface thread before the worker starts.
std::atomic<bool> commitFlag{false};

}  // namespace

std::uint32_t writeOptionsFor(std::string_view chipName, bool commit) {
  const bool moduleChip = chipName == "LQA-100" || chipName == "LQ-B200";
  if (moduleChip) return commit ? kOptionsModuleCommit : kOptionsModuleStart;
  return commit ? kOptionsModuleCommit10 : kOptionsMemoryStart;
}

bool commitAfterWrite() {
  return commitFlag.load();
}

void setCommitAfterWrite(bool commit) {
  commitFlag.store(commit);
}

bool readLocalFirmwareType(transport::ReceivePath& path) {
  const MacAddress source = transport::SourceAddress();
  const MacAddress destination = api::LocalDeviceAddress();
  if (isZeroMac(source)) return false;
  std::array<std::uint8_t, thpapi::kRequestBufferSize> frame;
  const std::size_t length = thpapi::thpapi_ReadConfigurationBlock(source, destination, frame);
  if (length == 0) {
    platform::showNotice(kConfigRequestFailedText, "Error", platform::NoticeIcon::Error,
                         platform::NoticeButtons::Ok, platform::NoticeOwner::MainPage);
    return false;
  }
  transport::SendFrame(static_cast<int>(transport::currentInterface()),
                       ByteSpan(frame).first(length));
  platform::sleepMs(1);
  thpapi::ThapiResult result;
  // A configuration block comes from flash: one short poll would often miss it.
  if (!thpapi::WaitConfirmation(path, thpapi::kConfigBlockRequest, result)) return false;
  switch (result.data[thpapi::kConfigStatusIn]) {
    case kConfigStatusCommit:
      setCommitAfterWrite(true);
      break;
    case kConfigStatusUnreadable:
      return false;
    case kConfigStatusNoCommit:
      setCommitAfterWrite(false);
      break;
    default:
      break;
  }
  return true;
}

void chooseCommitForLocalAdapter(transport::ReceivePath& path) {
  if (api::currentDevices().localClass == api::DeviceClass::AvSecondGeneration) {
    setCommitAfterWrite(true);
    return;
  }
  if (!readLocalFirmwareType(path))
    platform::showNotice(kNoFirmwareTypeText, "Information", platform::NoticeIcon::Information,
                         platform::NoticeButtons::Ok, platform::NoticeOwner::MainPage);
}

}  // namespace quorrel::upgrade
