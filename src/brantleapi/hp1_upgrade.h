// The Turbo firmware upgrade through the adapter's secondary loader: restart into the loader,
// stream the image and configuration modules, commit, verify each module's checksum, restart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bytes.h"
#include "platform/notice.h"
#include "transport/receive_path.h"

namespace quorrel::brantleapi {

// Configuration file: the identity section, the option section, the bytes never sent, and the
// parameter module, which is sent only from a file of exactly kConfigWithParametersBytes.
inline constexpr std::size_t kConfigIdentityAt = 0;
inline constexpr std::size_t kConfigIdentityBytes = 128;
inline constexpr std::size_t kConfigOptionAt = 128;
inline constexpr std::size_t kConfigOptionBytes = 256;
inline constexpr std::size_t kConfigParametersAt = 448;
inline constexpr std::size_t kConfigParametersBytes = 512;
inline constexpr std::size_t kConfigWithParametersBytes = 960;
// A shorter file would commit zero-filled identity and option sections.
inline constexpr std::size_t kConfigMinimumBytes = kConfigOptionAt + kConfigOptionBytes;
inline constexpr std::size_t kConfigReadBytes = 1024;
// Larger than any flash the adapters carry; a bigger file is not an image.
inline constexpr std::size_t kImageMaximumBytes = 16u << 20;
// The verify command's value.
inline constexpr std::uint32_t kVerifyValue = 64;

// The files of one upgrade, read whole before the adapter is touched.
struct Hp1UpgradeFiles {
  std::vector<std::uint8_t> image;
  bool hasConfig = false;
  std::vector<std::uint8_t> config;  // the first kConfigReadBytes, zero-filled to that size
  std::size_t configRead = 0;        // bytes the file gave
};

struct Hp1UpgradeProgress {
  std::string_view step;
  std::size_t piecesSent = 0;
  std::size_t piecesTotal = 0;
};

enum class Hp1UpgradeOutcome {
  Succeeded,
  BadInput,  // no image chosen, or a file missing, unreadable or too short: nothing was sent
  Failed,    // the adapter was reached and the upgrade did not complete
};

struct Hp1UpgradeContext {
  transport::ReceivePath& path;
  // Whose window the final success message is modal over; every other message has none.
  platform::NoticeOwner successOwner = platform::NoticeOwner::None;
  // Told of each step and each acknowledged piece; may be empty.
  std::function<void(const Hp1UpgradeProgress&)> progress;
  // Asked before each piece and each loader command; true ends the upgrade there, with that
  // step's failure message. Once the modules are verified the upgrade runs to its end, since
  // only the hardware reset takes the adapter out of its loader. May be empty.
  std::function<bool()> stopRequested = {};
};

// Reads the image and, when `configPath` is not empty, the configuration file, read-only; the
// message of the first that fails is shown.
bool loadHp1UpgradeFiles(const std::string& imagePath, const std::string& configPath,
                         Hp1UpgradeFiles& files);

// The whole upgrade on the current interface, every failure told by a message box.
Hp1UpgradeOutcome runHp1Upgrade(const Hp1UpgradeContext& context, const std::string& imagePath,
                                const std::string& configPath);
// True on success.
bool upgradeHp1Device(const Hp1UpgradeContext& context, const std::string& imagePath,
                      const std::string& configPath);

// Pieces the image and configuration files go out in.
std::size_t hp1UpgradePieceCount(const Hp1UpgradeFiles& files);

// The steps, for callers that drive them one by one (tests). `inLoader` tells the messages
// that the adapter was sent into its loader.
class Hp1Loader {
 public:
  explicit Hp1Loader(const Hp1UpgradeContext& context) : context_(context) {}

  // Every piece acknowledged; `moduleMask` collects the modules sent.
  bool sendModuleImages(const Hp1UpgradeFiles& files, std::uint32_t& moduleMask);
  // kLoaderCommit with the module mask, or kLoaderVerify.
  bool sendLoaderCommand(std::uint8_t code, std::uint32_t value);
  bool verifyModules(std::uint32_t moduleMask, const Hp1UpgradeFiles& files);
  // The loader's checksum of module `code`, `data.size()` bytes long, equals the data's.
  bool verifyModule(std::uint32_t code, ByteSpan data);

  bool inLoader = false;
  bool stopped() const { return context_.stopRequested && context_.stopRequested(); }

  // The message box of a failure; after the restart into the loader the last message of a
  // failure says how to recover.
  void fail(std::string_view text, bool last = true) const;

 private:
  bool sendPiece(std::uint32_t code, std::uint32_t offset, ByteSpan piece, bool mayRetarget);
  void report(std::string_view step);

  const Hp1UpgradeContext& context_;
  bool retargeted_ = false;
  std::size_t piecesSent_ = 0;
  std::size_t piecesTotal_ = 0;
};

// Follows the first message of a failure once the adapter is in its loader.
inline constexpr char kHp1InLoaderAdvice[] =
    "The adapter is now in its loader and keeps answering there: run the upgrade again.";

}  // namespace quorrel::brantleapi
