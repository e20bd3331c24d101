// One helper process per program, one socket to it. Requests are answered in order; captured
// frames arrive between the answers and wait in a bounded queue per channel.
#include "transport/helper_backend.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <deque>
#include <map>

#include "platform/notice.h"
#include "platform/state_lock.h"
#include "transport/capture_protocol.h"
#include "transport/capture_rights.h"
#include "transport/pcap_backend.h"

namespace quorrel::transport {

using capture::Message;
using capture::MessageType;

namespace {

constexpr std::size_t kQueuedFramesPerChannel = 1024;
constexpr std::size_t kReadChunk = 65536;
constexpr const char* kCaption = "Attention!";

std::string missingText(const std::string& path) {
  return "The capture helper " + path +
         " is missing, so no interface can be opened. Reinstall the quorrel-utility package.";
}
std::string lacksCapabilityText(const std::string& path) {
  return "The capture helper " + path +
         " lacks the CAP_NET_RAW capability, so no interface can be opened. Reinstall the "
         "quorrel-utility package, or run once: sudo setcap cap_net_raw=ep " +
         path;
}
std::string stoppedText(const std::string& path) {
  return "The capture helper " + path +
         " stopped answering. Restart the program; if it happens again, reinstall the "
         "quorrel-utility package.";
}

}  // namespace

class HelperSession {
 public:
  explicit HelperSession(std::string path) : path_(std::move(path)) {}
  ~HelperSession() { stop(); }
  HelperSession(const HelperSession&) = delete;
  HelperSession& operator=(const HelperSession&) = delete;

  // Starts the helper unless it runs or has failed; true while it runs.
  bool ensureRunning() {
    if (state_ == State::NotStarted) start();
    return state_ == State::Running;
  }
  bool running() const { return state_ == State::Running; }

  // Sends one request and waits for the answer of one of the `wanted` types.
  bool call(MessageType type, std::uint8_t channel, ByteSpan payload,
            std::initializer_list<MessageType> wanted, Message& answer) {
    if (!running()) return false;
    std::vector<std::uint8_t> bytes;
    capture::appendMessage(bytes, type, channel, payload);
    return write(bytes) && await(wanted, answer);
  }

  void addChannel(std::uint8_t id) { queues_[id].clear(); }
  void closeChannel(std::uint8_t id) {
    if (queues_.erase(id) == 0 || !running()) return;
    std::vector<std::uint8_t> bytes;
    capture::appendMessage(bytes, MessageType::Close, id);
    write(bytes);
  }

  // A queued frame of `id`; else what arrives within `waitMs`.
  bool takeFrame(std::uint8_t id, std::vector<std::uint8_t>& out, int waitMs) {
    for (int round = 0; round < 3; ++round) {
      auto it = queues_.find(id);
      if (it == queues_.end()) return false;
      if (!it->second.empty()) {
        out = std::move(it->second.front());
        it->second.pop_front();
        return true;
      }
      if (round == 2 || !pump(round == 0 ? 0 : waitMs)) return false;
    }
    return false;
  }

  // Said once: the helper cannot capture. Opens fail after it.
  void reportNoCapability() {
    if (capabilityReported_) return;
    capabilityReported_ = true;
    platform::showNotice(lacksCapabilityText(path_), kCaption, platform::NoticeIcon::Warning);
  }

 private:
  enum class State { NotStarted, Running, Failed };

  // The helper's death signal follows the thread that starts it: the programs enumerate, and
  // so start it, on their main thread.
  void start() {
    if (access(path_.c_str(), X_OK) != 0) {
      const std::string refusal = helperRefusal(path_);
      fail(refusal.empty() ? missingText(path_) : refusal);
      return;
    }
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
      fail(stoppedText(path_));
      return;
    }
    // The helper's end becomes its standard input; nothing else of ours reaches it.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    // A group of its own: the terminal's Ctrl-C goes to the program, which stops at its next
    // safe point and still needs the helper to get there. It ends with the program.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    char* argv[] = {const_cast<char*>("quorrel-capture"), nullptr};
    char* envp[] = {nullptr};
    const int spawned = posix_spawn(&pid_, path_.c_str(), &actions, &attributes, argv, envp);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(ends[1]);
    fd_ = ends[0];
    if (spawned != 0) {
      pid_ = -1;
      fail(missingText(path_));
      return;
    }
    state_ = State::Running;
    Message hello;
    if (!await({MessageType::Hello}, hello)) return;
    if (readU8(hello.payload, capture::kHelloVersionOffset) != capture::kProtocolVersion) {
      fail("The capture helper " + path_ +
           " does not match this program. Reinstall the quorrel-utility package.");
      return;
    }
    if (readU8(hello.payload, capture::kHelloCapabilityOffset) == 0) reportNoCapability();
  }

  // Ends the helper and says why, once.
  void fail(const std::string& why) {
    stop();
    state_ = State::Failed;
    if (reported_) return;
    reported_ = true;
    platform::showNotice(why, kCaption, platform::NoticeIcon::Warning);
  }

  void stop() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
    for (auto& [id, queue] : queues_) queue.clear();
  }

  bool write(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        fail(stoppedText(path_));
        return false;
      }
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  // Reads what arrives within `waitMs`: frames go to their queues, answers to `answers_`.
  // False when the helper is gone.
  bool pump(int waitMs) {
    if (!running()) return false;
    pollfd p{fd_, POLLIN, 0};
    int ready = 0;
    {
      const platform::BlockingSection idle;
      ready = poll(&p, 1, waitMs);
    }
    if (ready < 0 && errno == EINTR) return true;
    if (ready <= 0) return ready == 0;
    for (;;) {
      buffer_.resize(kReadChunk);
      const ssize_t n = recv(fd_, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        fail(stoppedText(path_));
        return false;
      }
      stream_.feed(ByteSpan(buffer_.data(), static_cast<std::size_t>(n)));
      if (static_cast<std::size_t>(n) < buffer_.size()) break;
    }
    Message m;
    for (;;) {
      const auto status = stream_.next(m);
      if (status == capture::MessageStream::Status::NeedMore) return true;
      if (status == capture::MessageStream::Status::Malformed) {
        fail(stoppedText(path_));
        return false;
      }
      if (m.type != MessageType::Frame) {
        answers_.push_back(std::move(m));
        continue;
      }
      auto it = queues_.find(m.channel);
      if (it == queues_.end()) continue;  // a channel closed since
      if (it->second.size() == kQueuedFramesPerChannel) it->second.pop_front();
      it->second.push_back(std::move(m.payload));
    }
  }

  bool await(std::initializer_list<MessageType> wanted, Message& answer) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kHelperAnswerMs);
    while (answers_.empty()) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) {
        fail(stoppedText(path_));
        return false;
      }
      if (!pump(static_cast<int>(left))) return false;
    }
    answer = std::move(answers_.front());
    answers_.pop_front();
    for (const auto type : wanted)
      if (answer.type == type) return true;
    fail(stoppedText(path_));  // an answer out of turn: the helper cannot be trusted
    return false;
  }

  std::string path_;
  State state_ = State::NotStarted;
  int fd_ = -1;
  pid_t pid_ = -1;
  capture::MessageStream stream_{capture::Reader::Program};
  std::vector<std::uint8_t> buffer_;
  std::deque<Message> answers_;
  std::map<std::uint8_t, std::deque<std::vector<std::uint8_t>>> queues_;
  bool reported_ = false;
  bool capabilityReported_ = false;
};

namespace {

class HelperChannel final : public Channel {
 public:
  HelperChannel(std::shared_ptr<HelperSession> session, std::uint8_t id)
      : session_(std::move(session)), id_(id) {
    session_->addChannel(id_);
  }
  ~HelperChannel() override { session_->closeChannel(id_); }
  HelperChannel(const HelperChannel&) = delete;
  HelperChannel& operator=(const HelperChannel&) = delete;

  SendStatus send(ByteSpan frame) override {
    Message answer;
    if (!session_->call(MessageType::Send, id_, frame, {MessageType::SendResult}, answer))
      return SendStatus::Failed;
    return readU8(answer.payload, 0) == static_cast<std::uint8_t>(capture::SendOutcome::Sent)
               ? SendStatus::Sent
               : SendStatus::Failed;
  }

  bool receive(std::vector<std::uint8_t>& out) override {
    return session_->takeFrame(id_, out, kReceiveWaitMs);
  }
  bool takePending(std::vector<std::uint8_t>& out) override {
    return session_->takeFrame(id_, out, 0);
  }

 private:
  std::shared_ptr<HelperSession> session_;
  std::uint8_t id_;
};

}  // namespace

HelperBackend::HelperBackend(std::string helperPath)
    : session_(std::make_shared<HelperSession>(std::move(helperPath))) {}

HelperBackend::~HelperBackend() = default;

bool HelperBackend::listInterfaces(std::vector<InterfaceInfo>& out) {
  Message answer;
  if (!session_->ensureRunning() ||
      !session_->call(MessageType::List, 0, {}, {MessageType::Interfaces, MessageType::ListFailed},
                      answer) ||
      answer.type != MessageType::Interfaces)
    return false;
  std::vector<InterfaceInfo> listed;
  if (!capture::decodeInterfaces(answer.payload, listed)) return false;
  out.insert(out.end(), listed.begin(), listed.end());
  return true;
}

std::unique_ptr<Channel> HelperBackend::open(const InterfaceInfo& iface) {
  const ByteSpan name(reinterpret_cast<const std::uint8_t*>(iface.name.data()), iface.name.size());
  Message answer;
  if (!capture::isInterfaceName(name) || !session_->ensureRunning() ||
      !session_->call(MessageType::Open, 0, name, {MessageType::Opened, MessageType::OpenFailed},
                      answer))
    return nullptr;
  if (answer.type == MessageType::Opened)
    return std::make_unique<HelperChannel>(session_, answer.channel);
  if (readU8(answer.payload, 0) ==
      static_cast<std::uint8_t>(capture::OpenFailure::PermissionDenied))
    session_->reportNoCapability();
  return nullptr;
}

}  // namespace quorrel::transport
