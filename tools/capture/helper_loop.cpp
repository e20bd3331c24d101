// One poll over the program's socket and every open interface. Only HomePlug management frames
// pass either way; a request to send anything else is refused and said on standard error.
#include "helper_loop.h"

#include <poll.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "transport/capture_protocol.h"
#include "transport/capture_rights.h"
#include "transport/mac_query.h"
#include "transport/pcap_backend.h"

namespace quorrel::capture_helper {

namespace {

using namespace transport;
using capture::Message;
using capture::MessageType;

// Frames taken from one interface before the others get their turn.
constexpr int kFramesPerTurn = 64;
constexpr std::size_t kReadChunk = 4096;

class Helper {
 public:
  explicit Helper(int fd) : fd_(fd) {}

  int run() {
    std::array<std::uint8_t, capture::kHelloLength> hello{};
    hello[capture::kHelloVersionOffset] = capture::kProtocolVersion;
    hello[capture::kHelloCapabilityOffset] = holdsCapNetRaw() ? 1 : 0;
    capture::appendMessage(out_, MessageType::Hello, 0, hello);
    if (!flush()) return 0;
    std::vector<pollfd> fds;
    std::vector<std::uint8_t> ids;
    for (;;) {
      fds.assign(1, pollfd{fd_, POLLIN, 0});
      ids.clear();
      for (const auto& [id, channel] : channels_) {
        fds.push_back(pollfd{channel->selectableFd(), POLLIN, 0});
        ids.push_back(id);
      }
      if (poll(fds.data(), fds.size(), -1) < 0) {
        if (errno == EINTR) continue;
        return 0;
      }
      for (std::size_t i = 1; i < fds.size(); ++i) {
        if ((fds[i].revents & POLLIN) != 0) deliver(ids[i - 1]);
        // An interface that went away: its channel ends; sends on it fail from now on.
        if ((fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) channels_.erase(ids[i - 1]);
      }
      if (fds[0].revents != 0) {
        const int ended = readRequests();
        if (ended >= 0) return ended;
      }
      if (!flush()) return 0;
    }
  }

 private:
  // -1 to go on; else the exit code.
  int readRequests() {
    std::array<std::uint8_t, kReadChunk> chunk{};
    const ssize_t n = recv(fd_, chunk.data(), chunk.size(), MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return -1;
    if (n <= 0) return 0;  // the program is gone
    stream_.feed(ByteSpan(chunk.data(), static_cast<std::size_t>(n)));
    Message m;
    for (;;) {
      const auto status = stream_.next(m);
      if (status == capture::MessageStream::Status::NeedMore) return -1;
      if (status == capture::MessageStream::Status::Malformed || !handle(m)) {
        std::fprintf(stderr, "quorrel-capture: malformed request, ending\n");
        out_.clear();
        return 1;
      }
    }
  }

  // False on a request that is well framed but not well formed.
  bool handle(const Message& m) {
    switch (m.type) {
      case MessageType::List:
        list();
        return true;
      case MessageType::Open:
        if (!capture::isInterfaceName(m.payload)) return false;
        open(std::string(m.payload.begin(), m.payload.end()));
        return true;
      case MessageType::Close:
        channels_.erase(m.channel);
        return true;
      case MessageType::Send:
        send(m.channel, m.payload);
        return true;
      default:
        return false;
    }
  }

  void list() {
    std::vector<InterfaceInfo> found;
    if (!PcapBackend().listInterfaces(found)) {
      capture::appendMessage(out_, MessageType::ListFailed, 0);
      return;
    }
    capture::appendMessage(out_, MessageType::Interfaces, 0, capture::encodeInterfaces(found));
  }

  void open(const std::string& name) {
    OpenError error = OpenError::Other;
    std::unique_ptr<PcapChannel> channel;
    const auto id = freeId();
    if (id && isEthernetInterface(name)) channel = PcapChannel::open(name, error);
    if (!channel) {
      const auto why = error == OpenError::PermissionDenied ? capture::OpenFailure::PermissionDenied
                                                            : capture::OpenFailure::Other;
      const std::array<std::uint8_t, 1> payload{static_cast<std::uint8_t>(why)};
      capture::appendMessage(out_, MessageType::OpenFailed, 0, payload);
      return;
    }
    channels_[*id] = std::move(channel);
    capture::appendMessage(out_, MessageType::Opened, *id);
  }

  void send(std::uint8_t id, ByteSpan frame) {
    auto outcome = capture::SendOutcome::Failed;
    if (!capture::isManagementFrame(frame)) {
      std::fprintf(stderr, "quorrel-capture: refused to send a frame of ethertype 0x%04X\n",
                   readBe16(frame, 12));
      outcome = capture::SendOutcome::Refused;
    } else if (auto it = channels_.find(id); it != channels_.end()) {
      if (it->second->send(frame) == SendStatus::Sent) outcome = capture::SendOutcome::Sent;
    }
    const std::array<std::uint8_t, 1> payload{static_cast<std::uint8_t>(outcome)};
    capture::appendMessage(out_, MessageType::SendResult, id, payload);
  }

  void deliver(std::uint8_t id) {
    auto it = channels_.find(id);
    if (it == channels_.end()) return;
    for (int i = 0; i < kFramesPerTurn && it->second->takePending(frame_); ++i)
      if (capture::isManagementFrame(frame_) && frame_.size() <= capture::kMaxDeliveredFrame)
        capture::appendMessage(out_, MessageType::Frame, id, frame_);
  }

  // The lowest channel number not in use, after the last one given: a closed channel's number
  // comes back only after the others.
  std::optional<std::uint8_t> freeId() {
    if (channels_.size() >= capture::kMaxListed) return std::nullopt;
    for (int step = 0; step < 256; ++step) {
      const auto id = static_cast<std::uint8_t>(nextId_++);
      if (channels_.count(id) == 0) return id;
    }
    return std::nullopt;
  }

  bool flush() {
    std::size_t done = 0;
    while (done < out_.size()) {
      const ssize_t n = ::send(fd_, out_.data() + done, out_.size() - done, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    out_.clear();
    return true;
  }

  int fd_;
  capture::MessageStream stream_{capture::Reader::Helper};
  std::map<std::uint8_t, std::unique_ptr<PcapChannel>> channels_;
  std::vector<std::uint8_t> out_;
  std::vector<std::uint8_t> frame_;
  unsigned nextId_ = 0;
};

}  // namespace

int serve(int fd) {
  return Helper(fd).run();
}

}  // namespace quorrel::capture_helper
