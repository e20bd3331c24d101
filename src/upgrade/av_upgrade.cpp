// Each request waits for the confirmation of exactly that request, from the adapter it went
// to, until a deadline: a confirmation of another request (a late one of an earlier piece, a
// stale commit confirmation) is passed over, and an adapter that takes a while to write its
// flash is waited for instead of abandoned half-written.
#include "upgrade/av_upgrade.h"

#include <array>
#include <optional>

#include "api/device_table.h"
#include "platform/clock.h"
#include "platform/notice.h"
#include "thpapi/decoder.h"
#include "thpapi/exchange.h"
#include "thpapi/frame_layout.h"
#include "thpapi/module_transfer.h"
#include "thpapi/request_builders.h"
#include "thpapi/transfer_loop.h"
#include "transport/interface_table.h"
#include "transport/receive_path.h"
#include "upgrade/write_options.h"

namespace quorrel::upgrade {

namespace {

using thpapi::ThapiResult;

// Resend: a refused piece with resends left waits again as the same request.
enum class WaitEnd { Accepted, Resend, Finished, Refused, TimedOut, Stopped };

std::uint32_t piecesOf(std::size_t bytes) {
  return static_cast<std::uint32_t>((bytes + thpapi::kPieceSize - 1) / thpapi::kPieceSize);
}

// Every request of the transfer: the pieces of both buffers and the last request.
std::uint32_t requestCount(const PreparedFiles& f, std::uint32_t options) {
  const bool moduleWrite =
      (options & thpapi::kOptionModuleWrite) != 0 ||
      (options & thpapi::kOptionsModuleWriteAll) == thpapi::kOptionsModuleWriteAll;
  const std::size_t first = moduleWrite ? f.firmware.size() : f.lastHeader.imageLength;
  return piecesOf(first) + piecesOf(f.parameterBlock.size()) + 1;
}

bool isClosingRequest(std::uint16_t type) {
  return type == thpapi::kCommitModulesRequest || type == thpapi::kStartFirmwareRequest;
}

void answerHostAction(const ThapiResult& indication, int arrival) {
  thpapi::makeHostActionResponse(indication);
  std::array<std::uint8_t, thpapi::kMinRequestLength> frame{};
  const std::size_t length = thpapi::takeHostActionResponse(frame);
  if (length != 0) transport::SendFrame(arrival, ByteSpan(frame).first(length));
}

struct Loop {
  transport::ReceivePath& path;
  UpgradeControl* control;
  MacAddress adapter;
  int interface;

  bool stopped() const { return control != nullptr && control->stopRequested(); }

  bool fromAdapter(const ThapiResult& r) const {
    return adapter == kLocalDeviceMac || r.source == adapter;
  }

  // What a frame taken while waiting for the confirmation of `sent` ends, if anything.
  std::optional<WaitEnd> take(const transport::Frame& frame, std::uint16_t sent) const {
    ThapiResult r;
    const int decoded = thpapi::thpapi_DecodeFrame(frame.bytes(), r, 0);
    if (r.mmtype == thpapi::kHostActionIndication) {
      answerHostAction(r, frame.arrival);
      return std::nullopt;
    }
    if (decoded != 0 || r.mmtype != sent + 1 || !fromAdapter(r)) return std::nullopt;
    thpapi::advanceTransfer(r);
    if (r.phase == thpapi::kPhaseContinues)
      return r.status == 0 ? WaitEnd::Accepted : WaitEnd::Resend;
    if (r.phase == thpapi::kPhaseFinished)
      return isClosingRequest(sent) && r.status == 0 ? WaitEnd::Finished : WaitEnd::Refused;
    return std::nullopt;  // any other phase: a confirmation of another piece, passed over
  }

  // Waits for the confirmation of the request of type `sent` and takes it into the transfer.
  // The deadline is looked at after every frame too: a steady stream of other frames must not
  // keep a wait on a silent adapter going.
  WaitEnd await(std::uint16_t sent, std::uint32_t budgetMs) {
    transport::Deadline deadline = transport::Deadline::after(budgetMs);
    deadline.cancel = control != nullptr ? control->stopFlag() : nullptr;
    std::optional<WaitEnd> end;
    const auto wanted = [&](const transport::Frame& frame) {
      end = take(frame, sent);
      return end ? transport::Verdict::Accept : transport::Verdict::Pass;
    };
    if (transport::waitFor(path, deadline, wanted, transport::PassOver{}, interface)) return *end;
    return stopped() ? WaitEnd::Stopped : WaitEnd::TimedOut;
  }
};

UpgradeResult failed(AdapterState adapter, std::string message) {
  thpapi::abandonTransfer();
  UpgradeResult r;
  r.adapter = adapter;
  r.message = std::move(message);
  return r;
}

}  // namespace

UpgradeResult upgradeLocalAvDevice(transport::ReceivePath& path, const UpgradeFiles& files,
                                   UpgradeControl* control) {
  const MacAddress source = transport::SourceAddress();
  const MacAddress destination = api::LocalDeviceAddress();
  const std::uint32_t options =
      writeOptionsFor(api::deviceTable().localChipName, commitAfterWrite());
  PreparedFiles prepared;
  if (std::string problem = prepareUpgradeFiles(files, destination, prepared); !problem.empty())
    return failed(AdapterState::Untouched, std::move(problem));
  if (isZeroMac(source)) return failed(AdapterState::Untouched, kSetupAbortedText);
  if (thpapi::thpapi_BeginModuleWrite(source, destination, prepared.firmware,
                                      prepared.parameterBlock, options) != 0)
    return failed(AdapterState::Untouched, kSetupAbortedText);
  if (control != nullptr) {
    control->setTotal(requestCount(prepared, options));
    control->setConfirmed(0);
  }

  Loop loop{path, control, destination, static_cast<int>(transport::currentInterface())};
  AdapterState sentSoFar = AdapterState::Untouched;
  std::uint32_t confirmed = 0;
  for (;;) {
    if (loop.stopped()) {
      UpgradeResult r = failed(sentSoFar, {});
      r.cancelled = true;
      return r;
    }
    const std::uint16_t type = thpapi::pendingState().frameType;
    if (!thpapi::transferFrameWaiting()) return failed(sentSoFar, kLoopAbortedText);
    // A failed send is not reported here: its confirmation then never comes.
    thpapi::sendPendingFrame();
    const bool closing = isClosingRequest(type);
    sentSoFar = closing ? AdapterState::MayBeCommitting : AdapterState::Uncommitted;
    const WaitEnd end = loop.await(type, closing ? kClosingWaitMs : kPieceWaitMs);
    switch (end) {
      case WaitEnd::Accepted:
        ++confirmed;
        break;
      case WaitEnd::Resend:
        break;
      case WaitEnd::Finished: {
        thpapi::abandonTransfer();
        if (control != nullptr) control->setConfirmed(confirmed + 1);
        UpgradeResult r;
        r.success = true;
        r.adapter = AdapterState::Upgraded;
        return r;
      }
      case WaitEnd::Refused:
        // A refused commit or start leaves the written modules uncommitted as well.
        return failed(AdapterState::Uncommitted, kLoopAbortedText);
      case WaitEnd::TimedOut:
        return failed(sentSoFar, kLoopAbortedText);
      case WaitEnd::Stopped: {
        UpgradeResult r = failed(sentSoFar, {});
        r.cancelled = true;
        return r;
      }
    }
    if (control != nullptr) control->setConfirmed(confirmed);
    platform::sleepMs(thpapi::kAcceptPauseMs);
  }
}

void reportUpgradeResult(const UpgradeResult& result) {
  using platform::NoticeButtons;
  using platform::NoticeIcon;
  using platform::NoticeOwner;
  if (!result.message.empty())
    platform::showNotice(result.message, "Error", NoticeIcon::Error, NoticeButtons::Ok,
                         NoticeOwner::MainPage);
  if (result.adapter == AdapterState::Uncommitted)
    platform::showNotice(kUncommittedText, "Information", NoticeIcon::Information,
                         NoticeButtons::Ok, NoticeOwner::MainPage);
  else if (result.adapter == AdapterState::MayBeCommitting)
    platform::showNotice(kMayBeCommittingText, "Attention!", NoticeIcon::Warning, NoticeButtons::Ok,
                         NoticeOwner::MainPage);
}

}  // namespace quorrel::upgrade
