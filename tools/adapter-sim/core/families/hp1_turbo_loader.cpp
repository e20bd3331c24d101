// The Turbo adapter's secondary loader (ethertype 0x887B, entry 0x10): the private command
// 0x67 restarts the local Turbo adapter into it; it then takes module pieces, commit, verify
// and checksum requests, and a hardware reset restarts the adapter with the committed modules.
// This file sorts after hp1_turbo.cpp, so its registration wraps that family's private-request
// handler rather than replacing it.
#include <algorithm>

#include "adapter-sim/core/family.h"

namespace quorrel::sim {

namespace {

constexpr std::uint8_t kLoaderEntry = 0x10;
constexpr std::uint8_t kPrivateRequest = 0x12;
constexpr std::uint8_t kResetToLoader = 0x67;

constexpr std::uint8_t kPiece = 0x81;
constexpr std::uint8_t kCommit = 0x82;
constexpr std::uint8_t kChecksum = 0x83;
constexpr std::uint8_t kVerify = 0x84;
constexpr std::uint8_t kHardwareReset = 0x7F;

constexpr MacAddress kLoaderDefaultMac{0x00, 0x04, 0x87, 0xFE, 0x11, 0x00};

// Requests: code at 17, byte count at 18, then big-endian words from 20. Pieces: module code,
// offset, 16-bit length, the data from 30. Replies: status at 20, checksum at 29.
constexpr std::size_t kCodeAt = 17;
constexpr std::size_t kCountAt = 18;
constexpr std::size_t kWordAt = 20;
constexpr std::size_t kSecondWordAt = 24;
constexpr std::size_t kPieceLengthAt = 28;
constexpr std::size_t kPieceDataAt = 30;
constexpr std::size_t kPieceMax = 1024;
constexpr std::size_t kStatusAt = 20;
constexpr std::size_t kReplyChecksumAt = 29;
constexpr std::size_t kReplyLength = 33;

constexpr std::uint8_t kStatusMalformed = 0x10;
constexpr std::uint8_t kStatusOutOfPlace = 0x11;
constexpr std::uint8_t kStatusNothingToTake = 0x13;

// How long the loader takes with each command: flash work for the commit and the verify.
constexpr std::uint32_t kRestartIntoLoaderMs = 300;
constexpr std::uint32_t kCommitMs = 1500;
constexpr std::uint32_t kVerifyMs = 400;
constexpr std::uint32_t kChecksumMs = 40;

constexpr std::uint32_t kImage = 0x100;
constexpr std::uint32_t kIdentity = 0x10;

std::size_t moduleLimit(std::uint32_t code) {
  switch (code) {
    case kImage:
      return 16u << 20;
    case 0x10:
      return 128;
    case 0x20:
      return 256;
    case 0x80:
      return 512;
    default:
      return 0;
  }
}

// The image's version text follows this marker; without one the firmware names its checksum.
constexpr char kVersionMarker[] = "QTB-VERSION:";
// The identity section carries the two vendor texts, zero-terminated, at 0 and at 64.
constexpr std::size_t kIdentitySecondTextAt = 64;

// The complement of the exclusive-or of the little-endian words, a last partial word filled
// with zeros.
std::uint32_t moduleChecksum(const std::vector<std::uint8_t>& bytes, std::size_t length) {
  std::vector<std::uint8_t> padded(bytes.begin(), bytes.begin() + std::min(length, bytes.size()));
  padded.resize((length + 3) / 4 * 4, 0);
  return wire::checksum32(padded);
}

std::string textAt(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t max) {
  std::string t;
  for (std::size_t i = at; i < b.size() && i < at + max && b[i] >= 0x20 && b[i] < 0x7F; ++i)
    t.push_back(static_cast<char>(b[i]));
  return t;
}

std::string versionOfImage(const std::vector<std::uint8_t>& image) {
  const std::string_view marker(kVersionMarker);
  const auto it = std::search(image.begin(), image.end(), marker.begin(), marker.end());
  if (it != image.end())
    return textAt(image, static_cast<std::size_t>(it - image.begin()) + marker.size(),
                  kMaxFirmwareLength);
  char text[kMaxFirmwareLength + 1];
  std::snprintf(text, sizeof text, "QTB2000 fw image %08X", moduleChecksum(image, image.size()));
  return text;
}

// The hardware reset: the adapter leaves its loader and runs what was committed.
void restart(Network& net, Adapter& a) {
  LoaderState& l = a.loader;
  l.active = false;
  if (const auto image = l.committed.find(kImage); image != l.committed.end())
    a.firmware = versionOfImage(image->second);
  if (const auto id = l.committed.find(kIdentity); id != l.committed.end()) {
    const std::string first = textAt(id->second, 0, kIdentitySecondTextAt);
    const std::string second = textAt(id->second, kIdentitySecondTextAt, kIdentitySecondTextAt);
    if (!first.empty()) a.vendorText1 = first;
    if (!second.empty()) a.vendorText2 = second;
  }
  a.silentUntilUs = net.nowUs() + std::uint64_t{net.behaviour().restartMs} * 1000;
}

// The local Turbo adapter's loader when the request reaches it: at its own MAC (unless it
// answers only at the default address) or at the default address.
Adapter* loaderAt(Network& net, const MacAddress& destination) {
  Adapter& a = net.scenario().local;
  if (a.family != AdapterFamily::Turbo || !a.loader.active || a.silentUntilUs > net.nowUs())
    return nullptr;
  if (destination == kLoaderDefaultMac) return &a;
  return destination == a.mac && !net.behaviour().loaderDefaultAddressOnly ? &a : nullptr;
}

void reply(Network& net, const wire::Request& r, std::uint8_t code, std::uint8_t status,
           std::uint32_t delayMs, std::optional<std::uint32_t> checksum, std::vector<Answer>& out) {
  auto f = wire::ethernetFrame(r.source, r.destination, wire::kEtherTypeHp1,
                               std::max(kReplyLength, wire::kMinFrameLength));
  writeU8(f, wire::kHp1EntryCountOffset, 1);
  writeU8(f, wire::kHp1EntryTypeOffset, kLoaderEntry);
  writeU8(f, wire::kHp1EntryTypeOffset + 1, 1);
  writeU8(f, kCodeAt, code);
  writeBe16(f, kCountAt, static_cast<std::uint16_t>(kReplyLength - kWordAt));
  writeU8(f, kStatusAt, status);
  if (checksum) writeBe32(f, kReplyChecksumAt, *checksum);
  out.push_back(Answer{std::move(f), net.latencyOf(net.scenario().local) + delayMs * 1000,
                       std::nullopt, std::nullopt});
}

std::uint8_t takePiece(Network& net, Adapter& a, const wire::Request& r) {
  const Behaviour& b = net.behaviour();
  const std::uint32_t code = readBe32(r.frame, kWordAt);
  const std::uint32_t offset = readBe32(r.frame, kSecondWordAt);
  const std::size_t length = readBe16(r.frame, kPieceLengthAt);
  if (moduleLimit(code) == 0 || length == 0 || length > kPieceMax ||
      r.frame.size() < kPieceDataAt + length || readBe16(r.frame, kCountAt) != length + 10)
    return kStatusMalformed;
  const std::uint32_t n = a.loader.pieces;
  if (b.rejectPiece != 0 && n >= b.rejectPiece && n - b.rejectPiece < b.rejectCount)
    return b.rejectStatus;
  auto& module = a.loader.received[code];
  if (offset == 0) module.clear();
  if (offset != module.size() || offset + length > moduleLimit(code)) return kStatusOutOfPlace;
  module.insert(module.end(), r.frame.begin() + kPieceDataAt,
                r.frame.begin() + static_cast<std::ptrdiff_t>(kPieceDataAt + length));
  return 0;
}

std::uint8_t commit(Adapter& a, std::uint32_t mask) {
  for (std::uint32_t code : {kImage, 0x10u, 0x20u, 0x80u})
    if ((mask & code) != 0 && a.loader.received.count(code) == 0) return kStatusNothingToTake;
  for (std::uint32_t code : {kImage, 0x10u, 0x20u, 0x80u})
    if ((mask & code) != 0) a.loader.committed[code] = a.loader.received[code];
  return 0;
}

void onLoader(Network& net, const wire::Request& r, std::vector<Answer>& out) {
  Adapter* a = loaderAt(net, r.destination);
  if (a == nullptr) return;
  const Behaviour& b = net.behaviour();
  const std::uint8_t code = readU8(r.frame, kCodeAt);
  switch (code) {
    case kPiece: {
      ++a->loader.pieces;
      if (b.loaderSilentFirstPiece && a->loader.pieces == 1) return;
      const std::uint8_t status = takePiece(net, *a, r);
      if (!b.loaderMute) reply(net, r, kPiece, status, 0, std::nullopt, out);
      return;
    }
    case kCommit: {
      const std::uint8_t status = commit(*a, readBe32(r.frame, kWordAt));
      if (!b.loaderMute) reply(net, r, kCommit, status, kCommitMs, std::nullopt, out);
      return;
    }
    case kVerify:
      if (!b.loaderMute) reply(net, r, kVerify, 0, kVerifyMs, std::nullopt, out);
      return;
    case kChecksum: {
      const std::uint32_t module = readBe32(r.frame, kWordAt);
      const std::uint32_t length = readBe32(r.frame, kSecondWordAt);
      const auto it = a->loader.committed.find(module);
      const bool known = it != a->loader.committed.end() && length <= it->second.size();
      std::uint32_t sum = known ? moduleChecksum(it->second, length) : 0;
      if (b.loaderBadChecksum == module) sum ^= 1;
      if (!b.loaderMute)
        reply(net, r, kChecksum, known ? 0 : kStatusOutOfPlace, kChecksumMs, sum, out);
      return;
    }
    case kHardwareReset:
      restart(net, *a);
      return;
    default:
      return;
  }
}

// The private command that restarts the local Turbo adapter into its loader.
bool resetsToLoader(Network& net, const wire::Request& r) {
  Adapter& a = net.scenario().local;
  return a.family == AdapterFamily::Turbo && readU8(r.frame, kCodeAt - 1) == 1 &&
         readU8(r.frame, kCodeAt) == kResetToLoader && net.adapterAt(r.destination) == &a;
}

}  // namespace

void registerFamily_hp1_turbo_loader(HandlerTable& table) {
  table.add(wire::kEtherTypeHp1, kLoaderEntry, onLoader);
  const Handler* earlier = table.find(wire::kEtherTypeHp1, kPrivateRequest);
  Handler privateRequests = earlier != nullptr ? *earlier : Handler{};
  table.add(wire::kEtherTypeHp1, kPrivateRequest,
            [privateRequests](Network& net, const wire::Request& r, std::vector<Answer>& out) {
              if (!resetsToLoader(net, r)) {
                if (privateRequests) privateRequests(net, r, out);
                return;
              }
              Adapter& a = net.scenario().local;
              a.loader.active = true;
              a.loader.received.clear();
              a.loader.pieces = 0;
              a.silentUntilUs = net.nowUs() + std::uint64_t{kRestartIntoLoaderMs} * 1000;
            });
}

}  // namespace quorrel::sim
