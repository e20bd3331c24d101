// The Turbo upgrade sequence and its messages.
#include "brantleapi/hp1_upgrade.h"

#include <fstream>
#include <optional>

#include "api/device_table.h"
#include "brantleapi/brantleapi.h"
#include "brantleapi/hp1_loader.h"
#include "brantleapi/hp1_requests.h"
#include "platform/clock.h"
#include "transport/interface_table.h"

namespace quorrel::brantleapi {

namespace {

constexpr char kCaptionError[] = "Error";

struct ConfigModule {
  std::uint32_t code;
  std::size_t at;
  std::size_t bytes;
  const char* verifyFailed;
};
// In the order they are sent.
constexpr ConfigModule kIdentity{kModuleIdentitySection, kConfigIdentityAt, kConfigIdentityBytes,
                                 "Identy Section Verification Failed"};
constexpr ConfigModule kOption{kModuleOptionSection, kConfigOptionAt, kConfigOptionBytes,
                               "Option section Verification Failed"};
constexpr ConfigModule kParameters{kModuleParameters, kConfigParametersAt, kConfigParametersBytes,
                                   "Param Module Verification Failed"};

bool withParameters(const Hp1UpgradeFiles& files) {
  return files.hasConfig && files.configRead == kConfigWithParametersBytes;
}

ByteSpan section(const Hp1UpgradeFiles& files, const ConfigModule& m) {
  return ByteSpan(files.config).subspan(m.at, m.bytes);
}

// Reads at most `limit` bytes; none when the file cannot be opened or read. Opened read-only,
// so a write-protected file is as good as any.
std::optional<std::vector<std::uint8_t>> readFile(const std::string& path, std::size_t limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> bytes(limit);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(limit));
  if (in.bad()) return std::nullopt;
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

void error(std::string_view text) {
  platform::showNotice(std::string(text), kCaptionError, platform::NoticeIcon::Error);
}

}  // namespace

bool loadHp1UpgradeFiles(const std::string& imagePath, const std::string& configPath,
                         Hp1UpgradeFiles& files) {
  // One byte past the largest image tells a file that is too large.
  auto image = readFile(imagePath, kImageMaximumBytes + 1);
  if (!image || image->empty() || image->size() > kImageMaximumBytes) {
    error("Can not open Image file");
    return false;
  }
  files.image = std::move(*image);
  files.hasConfig = !configPath.empty();
  if (!files.hasConfig) return true;
  auto config = readFile(configPath, kConfigReadBytes);
  if (!config || config->size() < kConfigMinimumBytes) {
    error("Can not open Config file");
    return false;
  }
  files.configRead = config->size();
  files.config = std::move(*config);
  files.config.resize(kConfigReadBytes, 0);
  return true;
}

std::size_t hp1UpgradePieceCount(const Hp1UpgradeFiles& files) {
  std::size_t n = (files.image.size() + kModulePieceMaxData - 1) / kModulePieceMaxData;
  if (files.hasConfig) n += withParameters(files) ? 3 : 2;
  return n;
}

void Hp1Loader::fail(std::string_view text, bool last) const {
  if (inLoader && last)
    error(std::string(text) + "\n" + kHp1InLoaderAdvice);
  else
    error(text);
}

void Hp1Loader::report(std::string_view step) {
  if (context_.progress) context_.progress(Hp1UpgradeProgress{step, piecesSent_, piecesTotal_});
}

bool Hp1Loader::sendPiece(std::uint32_t code, std::uint32_t offset, ByteSpan piece,
                          bool mayRetarget) {
  const MacAddress host = transport::SourceAddress();
  const int index = static_cast<int>(transport::currentInterface());
  for (;;) {
    Hp1FrameBuffer buffer{};
    const std::size_t n =
        buildModulePiece(buffer, api::LocalDeviceAddress(), host, code, offset, piece);
    if (n == 0 || transport::SendFrame(index, ByteSpan(buffer).first(n)) != 1) {
      fail("Packet Sending Failure", false);
      return false;
    }
    if (awaitLoaderReply(context_.path, kLoaderModulePiece, kLoaderPieceWaitMs)) break;
    // Some loaders answer only at their default address: the first silence moves the whole
    // rest of the upgrade there, once.
    if (!mayRetarget || retargeted_) {
      fail("Packet sent but no response", false);
      return false;
    }
    retargeted_ = true;
    api::currentState().localMac = kLoaderDefaultMac;
  }
  ++piecesSent_;
  report("Sending");
  return true;
}

bool Hp1Loader::sendModuleImages(const Hp1UpgradeFiles& files, std::uint32_t& moduleMask) {
  if (isZeroMac(transport::SourceAddress())) return false;
  piecesSent_ = 0;
  piecesTotal_ = hp1UpgradePieceCount(files);
  report("Sending");
  const ByteSpan image(files.image);
  // A full-width offset: images run past what 16 bits count.
  for (std::size_t at = 0; at < image.size(); at += kModulePieceMaxData) {
    const ByteSpan piece = image.subspan(at, std::min(kModulePieceMaxData, image.size() - at));
    if (stopped() || !sendPiece(kModuleFirmwareImage, static_cast<std::uint32_t>(at), piece, true))
      return false;
  }
  moduleMask |= kModuleFirmwareImage;
  if (!files.hasConfig) return true;
  for (const ConfigModule* m : {&kIdentity, &kOption, &kParameters}) {
    if (m == &kParameters && !withParameters(files)) break;
    if (stopped() || !sendPiece(m->code, 0, section(files, *m), false)) return false;
    moduleMask |= m->code;
  }
  return true;
}

bool Hp1Loader::sendLoaderCommand(std::uint8_t code, std::uint32_t value) {
  if (stopped()) return false;
  report(code == kLoaderCommit ? "Committing" : "Verifying");
  Hp1FrameBuffer buffer{};
  const std::size_t n = buildLoaderCommand(buffer, api::LocalDeviceAddress(),
                                           transport::SourceAddress(), code, value);
  if (n == 0 || transport::SendFrame(static_cast<int>(transport::currentInterface()),
                                     ByteSpan(buffer).first(n)) != 1) {
    fail("Packet Sending Failure", false);
    return false;
  }
  if (!awaitLoaderReply(context_.path, code, kLoaderCommandWaitMs)) {
    fail("Packet sent but no response", false);
    return false;
  }
  return true;
}

bool Hp1Loader::verifyModule(std::uint32_t code, ByteSpan data) {
  const std::uint32_t expected = loaderChecksum(data);
  Hp1FrameBuffer buffer{};
  const std::size_t n =
      buildChecksumRequest(buffer, api::LocalDeviceAddress(), transport::SourceAddress(), code,
                           static_cast<std::uint32_t>(data.size()));
  if (n == 0 || transport::SendFrame(static_cast<int>(transport::currentInterface()),
                                     ByteSpan(buffer).first(n)) != 1) {
    fail("Packet Sending Failure", false);
    return false;
  }
  std::uint32_t reported = ~expected;
  if (!awaitLoaderReply(context_.path, kLoaderChecksum, kLoaderChecksumWaitMs, &reported)) {
    fail("Packet sent but no response", false);
    return false;
  }
  return reported == expected;
}

bool Hp1Loader::verifyModules(std::uint32_t moduleMask, const Hp1UpgradeFiles& files) {
  report("Checking");
  // The whole image, whatever its size.
  if (!verifyModule(kModuleFirmwareImage, files.image)) {
    fail("Mac Image Verification Failed");
    return false;
  }
  if (!files.hasConfig) return true;
  // Each section's message names that section.
  for (const ConfigModule* m : {&kIdentity, &kParameters, &kOption}) {
    if ((moduleMask & m->code) == 0) continue;
    if (!verifyModule(m->code, section(files, *m))) {
      fail(m->verifyFailed);
      return false;
    }
  }
  return true;
}

Hp1UpgradeOutcome runHp1Upgrade(const Hp1UpgradeContext& context, const std::string& imagePath,
                                const std::string& configPath) {
  if (imagePath.empty()) {
    error("No Image File is selected");
    return Hp1UpgradeOutcome::BadInput;
  }
  // Both files are read before the adapter is sent into its loader, so a bad file leaves it
  // running its firmware.
  Hp1UpgradeFiles files;
  if (!loadHp1UpgradeFiles(imagePath, configPath, files)) return Hp1UpgradeOutcome::BadInput;

  platform::WaitCursor cursor;
  Hp1Loader loader(context);
  if (context.progress) context.progress({"Restarting into the loader", 0, 0});
  if (sendLocalCommand(kEntryPrivateRequest, kLocalCommandSecondaryLoader) == 0) {
    error("Reset Device to Secondary Loader Failed");
    return Hp1UpgradeOutcome::Failed;
  }
  loader.inLoader = true;
  platform::delay(kLoaderRestartMs);

  std::uint32_t moduleMask = 0;
  if (!loader.sendModuleImages(files, moduleMask)) {
    loader.fail("MAC Image Sending Failed");
    return Hp1UpgradeOutcome::Failed;
  }
  if (!loader.sendLoaderCommand(kLoaderCommit, moduleMask)) {
    loader.fail("Commit Module Failed");
    return Hp1UpgradeOutcome::Failed;
  }
  if (!loader.sendLoaderCommand(kLoaderVerify, kVerifyValue)) {
    loader.fail("Verify Module Failed");
    return Hp1UpgradeOutcome::Failed;
  }
  if (!loader.verifyModules(moduleMask, files)) return Hp1UpgradeOutcome::Failed;
  if (context.progress) context.progress({"Restarting the adapter", 0, 0});
  if (sendHardwareReset() == 0) {
    loader.fail("Hardware Reset Failed");
    return Hp1UpgradeOutcome::Failed;
  }
  platform::delay(kHardwareResetSettleMs);
  platform::showNotice("Firmware Update Successful", "Success", platform::NoticeIcon::Information,
                       platform::NoticeButtons::Ok, context.successOwner);
  return Hp1UpgradeOutcome::Succeeded;
}

bool upgradeHp1Device(const Hp1UpgradeContext& context, const std::string& imagePath,
                      const std::string& configPath) {
  return runHp1Upgrade(context, imagePath, configPath) == Hp1UpgradeOutcome::Succeeded;
}

}  // namespace quorrel::brantleapi
