// The helper's framed protocol (round trips in any chunking; hostile headers, lengths and lists
// must end the stream before any payload is buffered), then the capture helper as a process:
// what it answers, what makes it end, and how its client reports a helper that is missing, dies
// or never answers. Needs no capability.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <tuple>

#include "platform/notice.h"
#include "transport/capture_protocol.h"
#include "transport/capture_rights.h"
#include "transport/helper_backend.h"

namespace quorrel::transport {
namespace {

using namespace capture;
using Bytes = std::vector<std::uint8_t>;

Bytes frameOf(std::uint16_t etherType, std::size_t length) {
  Bytes f(length, 0xA5);
  if (length >= kMinFrame) {
    f[12] = static_cast<std::uint8_t>(etherType >> 8);
    f[13] = static_cast<std::uint8_t>(etherType);
  }
  return f;
}

TEST(CaptureProtocolTest, MessagesSurviveAnyChunking) {
  const std::vector<InterfaceInfo> listed{{"eth0", {2, 0, 0, 0, 0, 1}}, {"veth-a.15", kNoMac}};
  struct Case {
    Reader reader;
    MessageType type;
    std::uint8_t channel;
    Bytes payload;
  };
  const Case cases[] = {
      {Reader::Helper, MessageType::List, 0, {}},
      {Reader::Helper, MessageType::Open, 0, {'e', 'n', 'p', '0', 's', '3', '1', 'f', '6'}},
      {Reader::Helper, MessageType::Close, 9, {}},
      {Reader::Helper, MessageType::Send, 255, frameOf(0x88E1, kMaxSentFrame)},
      {Reader::Program, MessageType::Hello, 0, {kProtocolVersion, 1}},
      {Reader::Program, MessageType::Interfaces, 0, encodeInterfaces(listed)},
      {Reader::Program, MessageType::OpenFailed, 0, {1}},
      {Reader::Program, MessageType::Frame, 3, frameOf(0x887B, kMaxDeliveredFrame)},
  };
  for (const std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{100000}}) {
    for (const auto& c : cases) {
      Bytes wire;
      appendMessage(wire, c.type, c.channel, c.payload);
      appendMessage(wire, c.type, c.channel, c.payload);  // two back to back
      MessageStream stream(c.reader);
      std::vector<Message> got;
      for (std::size_t at = 0; at < wire.size(); at += chunk) {
        stream.feed(ByteSpan(wire).subspan(at, std::min(chunk, wire.size() - at)));
        Message m;
        while (stream.next(m) == MessageStream::Status::Message) got.push_back(m);
      }
      ASSERT_EQ(got.size(), 2u) << int(c.type) << " chunk " << chunk;
      EXPECT_EQ((std::tuple{got[1].type, got[1].channel, got[1].payload}),
                (std::tuple{c.type, c.channel, c.payload}));
    }
  }
  std::vector<InterfaceInfo> decoded;
  ASSERT_TRUE(decodeInterfaces(encodeInterfaces(listed), decoded));
  EXPECT_EQ((std::tuple{decoded.size(), decoded[1].name, decoded[0].mac}),
            (std::tuple{2u, std::string("veth-a.15"), listed[0].mac}));
}

TEST(CaptureProtocolTest, HostileHeadersEndTheStreamAtOnceAndHostileListsAreRefused) {
  struct Case {
    Reader reader;
    std::uint8_t type;
    std::uint16_t length;
  };
  const Case cases[] = {
      {Reader::Helper, 0x00, 0},      {Reader::Helper, 0xFF, 0},
      {Reader::Helper, 0x87, 60},  // a helper's message sent to the helper
      {Reader::Helper, 0x01, 1},   // list with a payload
      {Reader::Helper, 0x02, 0},      {Reader::Helper, 0x02, 16},  // names of 0 and 16 bytes
      {Reader::Helper, 0x04, 13},     {Reader::Helper, 0x04, 1515},
      {Reader::Helper, 0x04, 0xFFFF}, {Reader::Program, 0x04, 60},  // a request sent to the program
      {Reader::Program, 0x81, 3},     {Reader::Program, 0x84, 1},
      {Reader::Program, 0x87, 13},    {Reader::Program, 0x82, 0xFFFF},
  };
  for (const auto& c : cases) {
    MessageStream stream(c.reader);
    const Bytes header{c.type, 0, static_cast<std::uint8_t>(c.length >> 8),
                       static_cast<std::uint8_t>(c.length)};
    stream.feed(header);  // no payload yet: the header alone condemns it
    Message m;
    EXPECT_EQ(stream.next(m), MessageStream::Status::Malformed)
        << "type " << int(c.type) << " length " << c.length;
    Bytes good;
    appendMessage(good, MessageType::List, 0);
    stream.feed(good);
    EXPECT_EQ(stream.next(m), MessageStream::Status::Malformed);
  }

  // Lists, names and frames.
  Bytes tooMany;
  for (int i = 0; i <= static_cast<int>(kMaxListed); ++i) {
    tooMany.push_back(1);
    tooMany.push_back('a');
    tooMany.insert(tooMany.end(), kListedMacLength, 0);
  }
  const Bytes lists[] = {
      {4, 'e', 't', 'h', '0', 1, 2, 3, 4, 5},  // cut inside the address
      {0, 1, 2, 3, 4, 5, 6},                   // empty name
      {3, '.', '/', 'x', 1, 2, 3, 4, 5, 6},    // a path
      {2, 'a', ' ', 1, 2, 3, 4, 5, 6},         // a blank
      {200, 'a'},                              // length past the end
      tooMany,
  };
  std::vector<InterfaceInfo> out;
  for (const auto& l : lists) EXPECT_FALSE(decodeInterfaces(l, out)) << l.size();

  EXPECT_TRUE(isManagementFrame(frameOf(0x88E1, 60)));
  EXPECT_TRUE(isManagementFrame(frameOf(0x887B, 14)));
  for (const auto& f : {frameOf(0x0800, 60), frameOf(0x88E2, 60), frameOf(0x887B, 13), Bytes{}})
    EXPECT_FALSE(isManagementFrame(f));
}

// Waits for `pid` to end (bounded, so a helper that stays fails instead of hanging).
std::optional<int> exitOf(pid_t pid) {
  for (int i = 0; i < 500; ++i) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return std::nullopt;
}

// Starts the real helper with `socketEnd` as its input and `errFd` (if any) as its errors.
pid_t spawnHelper(int socketEnd, int errFd = -1) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, socketEnd, STDIN_FILENO);
  if (errFd >= 0) posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
  char* argv[] = {const_cast<char*>("quorrel-capture"), nullptr};
  char* envp[] = {nullptr};
  pid_t pid = -1;
  posix_spawn(&pid, QUORREL_CAPTURE_PATH, &actions, nullptr, argv, envp);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// What arrives on `fd` within `waitMs`; empty when nothing does or it is closed.
Bytes readSome(int fd, int waitMs) {
  std::uint8_t chunk[4096];
  pollfd p{fd, POLLIN, 0};
  const ssize_t n = poll(&p, 1, waitMs) > 0 ? read(fd, chunk, sizeof chunk) : 0;
  return n > 0 ? Bytes(chunk, chunk + n) : Bytes{};
}

// Everything until `fd` closes or stays quiet for `quietMs`.
Bytes drain(int fd, int quietMs) {
  Bytes all;
  for (Bytes more; !(more = readSome(fd, quietMs)).empty();)
    all.insert(all.end(), more.begin(), more.end());
  return all;
}

// The real helper on a socket pair, its standard error in a pipe.
struct Helper {
  Helper() {
    int ends[2], err[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0 || pipe2(err, O_CLOEXEC) != 0)
      return;
    pid = spawnHelper(ends[1], err[1]);
    close(ends[1]);
    close(err[1]);
    fd = ends[0];
    errFd = err[0];
  }
  ~Helper() {
    if (fd >= 0) close(fd);
    close(errFd);
    if (pid > 0) exitOf(pid);
  }
  void sendRaw(const Bytes& b) { ASSERT_EQ(::send(fd, b.data(), b.size(), 0), ssize_t(b.size())); }
  void request(MessageType type, std::uint8_t channel, const Bytes& payload = {}) {
    Bytes b;
    appendMessage(b, type, channel, payload);
    sendRaw(b);
  }
  std::optional<Message> next() {
    Message m;
    while (stream.next(m) != MessageStream::Status::Message) {
      const Bytes more = readSome(fd, 5000);
      if (more.empty()) return std::nullopt;
      stream.feed(more);
    }
    return m;
  }
  std::string errors() {
    const Bytes e = drain(errFd, 100);
    return std::string(e.begin(), e.end());
  }

  pid_t pid = -1;
  int fd = -1, errFd = -1;
  MessageStream stream{Reader::Program};
};

// What it lists: the scan's end-to-end test, which sees the same devices through both roads.
TEST(CaptureHelperTest, SaysHelloRefusesOtherEtherTypesAndEndsAtEndOfFile) {
  Helper h;
  auto hello = h.next();
  ASSERT_TRUE(hello && hello->type == MessageType::Hello);
  EXPECT_EQ(hello->payload[kHelloVersionOffset], kProtocolVersion);

  Bytes ip(60, 0);
  ip[12] = 0x08;
  h.request(MessageType::Send, 7, ip);
  auto refused = h.next();
  ASSERT_TRUE(refused && refused->type == MessageType::SendResult &&
              refused->payload[0] == static_cast<std::uint8_t>(SendOutcome::Refused));
  EXPECT_NE(h.errors().find("refused to send a frame of ethertype 0x0800"), std::string::npos);
  // A management frame on a channel never opened fails without ending the helper.
  ip[12] = 0x88, ip[13] = 0xE1;
  h.request(MessageType::Send, 7, ip);
  auto failed = h.next();
  ASSERT_TRUE(failed && failed->type == MessageType::SendResult &&
              failed->payload[0] == static_cast<std::uint8_t>(SendOutcome::Failed));

  // End of file: the parent closed its end.
  close(h.fd);
  h.fd = -1;
  const auto status = exitOf(h.pid);
  h.pid = -1;
  ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
}

TEST(CaptureHelperTest, MalformedRequestsEndItWithoutAnswer) {
  const Bytes hostile[] = {
      {0x04, 0, 0xFF, 0xFF},                          // oversized send, no payload follows
      {0x7F, 0, 0, 0},                                // unknown type
      {0x01, 0, 0, 0, 0x02, 0, 0, 3, 'a', '/', 'b'},  // a list, then a path as a name
  };
  for (const auto& bytes : hostile) {
    Helper h;
    h.sendRaw(bytes);
    const Bytes got = drain(h.fd, 5000);
    const auto status = exitOf(h.pid);
    h.pid = -1;
    ASSERT_TRUE(status.has_value()) << "the helper did not end";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1) << *status;
    // The hello, and for the third the answer to the list before it; never anything after.
    if (bytes.size() == 4) {
      EXPECT_EQ(got.size(), kHeaderLength + kHelloLength);
    }
    EXPECT_NE(h.errors().find("malformed"), std::string::npos);
  }
}

TEST(CaptureHelperTest, EndsWhenItsParentDies) {
  // The parent dies while its socket stays open elsewhere: only the death signal ends it.
  // As a subreaper this process inherits the orphaned helper and can wait for it.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  int ends[2], report[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
  ASSERT_EQ(pipe(report), 0);
  const pid_t parent = fork();
  if (parent == 0) {
    const pid_t helper = spawnHelper(ends[1]);
    [[maybe_unused]] auto w = write(report[1], &helper, sizeof helper);
    std::uint8_t hello[8];  // the hello says the death signal is armed
    [[maybe_unused]] auto r = recv(ends[0], hello, sizeof hello, 0);
    _exit(0);
  }
  pid_t helper = -1;
  ASSERT_EQ(read(report[0], &helper, sizeof helper), ssize_t(sizeof helper));
  waitpid(parent, nullptr, 0);
  const auto status = exitOf(helper);
  close(ends[0]);
  close(ends[1]);
  prctl(PR_SET_CHILD_SUBREAPER, 0);
  ASSERT_TRUE(status.has_value()) << "the helper outlived its parent";
  EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == SIGKILL);
}

// A helper that is missing, this user may not run, ends at once, or never says hello: one
// notice, no hang, and every later call fails at once without another.
TEST(CaptureHelperTest, BrokenHelpersAreReportedOnceAndNeverWaitedOn) {
  struct Case {
    const char* path;
    const char* says;
  };
  // There, but no one may run it (as a non-member finds the package's helper): the message
  // names the group and what to do, never a capability hint.
  const std::string forbidden = testing::TempDir() + "quorrel-capture-forbidden";
  ASSERT_TRUE(std::ofstream(forbidden).good());
  ASSERT_EQ(chmod(forbidden.c_str(), 0640), 0);
  const Case cases[] = {
      {"/nonexistent/quorrel-capture", "is missing"},
      {forbidden.c_str(), "log out and log in again"},
      {"/bin/true", "stopped answering"},
      {"/bin/cat", "stopped answering"},  // reads its input, answers nothing
  };
  for (const auto& c : cases) {
    platform::RecordingNotice notice;
    platform::setNotice(&notice);
    {
      HelperBackend backend(c.path);
      std::vector<InterfaceInfo> out;
      EXPECT_FALSE(backend.listInterfaces(out)) << c.path;
      EXPECT_EQ(backend.open(InterfaceInfo{"eth0", kNoMac}), nullptr);
      EXPECT_FALSE(backend.listInterfaces(out));
    }
    platform::setNotice(nullptr);
    ASSERT_EQ(notice.shown.size(), 1u) << c.path;
    const std::string& text = notice.shown[0].text;
    EXPECT_TRUE(text.find(c.says) != text.npos && text.find(c.path) != text.npos &&
                text.find("setcap") == text.npos)
        << text;
  }
  EXPECT_TRUE(helperRefusal("/nonexistent/quorrel-capture").empty());
  std::remove(forbidden.c_str());
}

}  // namespace
}  // namespace quorrel::transport
