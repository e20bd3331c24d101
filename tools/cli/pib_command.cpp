// `quorrel-cli pib`: show, edit and create parameter block files.
#include <CLI/CLI.hpp>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli_args.h"
#include "commands.h"
#include "crypto/keys.h"
#include "paramblock/parameter_block.h"
#include "persistence/file_io.h"
#include "pib_report.h"
#include "ui/hputilities/password_rules.h"

namespace quorrel::cli {

namespace {

using paramblock::ParameterBlock;
using paramblock::ParameterBlockResult;

constexpr int kRefused = kFailed;
// A parameter block is 15560 bytes; anything far beyond is not one.
constexpr std::size_t kMaxFileBytes = 1 << 20;

// The whole file, or why not. A larger file is refused rather than read in part: what a part
// shows, or what --force would write back, would not be the file.
std::optional<std::string> readBlockFile(const std::string& path,
                                         std::vector<std::uint8_t>& bytes) {
  errno = 0;
  if (persistence::readFileCapped(path, kMaxFileBytes + 1, bytes) != persistence::ReadStatus::Ok)
    return "cannot read " + path + ": " + fileProblem(path, errno);
  if (bytes.size() > kMaxFileBytes)
    return path + " is larger than 1 MiB, so it cannot be a parameter block";
  return std::nullopt;
}

int writeBlockFile(const std::string& path, ByteSpan bytes) {
  errno = 0;
  if (persistence::replaceFile(path, bytes) != persistence::ReplaceResult::Done) {
    const int error = errno;
    return fail(kRefused, "cannot write " + path + ": " + fileProblem(path, error));
  }
  return 0;
}

int show(const std::string& path, bool asJson) {
  std::vector<std::uint8_t> bytes;
  if (const auto problem = readBlockFile(path, bytes)) return fail(kBadInput, *problem);
  // A damaged block is shown with what is wrong with it; a file of another kind is refused.
  if (const auto why = notParameterBlock(bytes))
    return fail(kBadInput, path + " is not a parameter block", *why);
  nlohmann::json description = describeParameterBlock(bytes);
  description["file"] = path;
  if (asJson)
    // Names in a file are any bytes; invalid UTF-8 is shown replaced rather than refused.
    std::printf("%s\n",
                description.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
  else
    std::fputs(formatParameterBlock(description).c_str(), stdout);
  return 0;
}

// The rule a typed value breaks, or empty when the accessor may have it.
std::string passwordProblem(const std::string& field, const std::string& value) {
  if (field == "network-password") {
    const char* problem = hputilities::networkPasswordProblem(value);
    return problem != nullptr ? problem : "";
  }
  if (value.size() < hputilities::kMinTextBytes || value.size() > hputilities::kMaxTextBytes)
    return "a device password has 4 to 24 characters";
  return "";
}

ParameterBlockResult applyField(ParameterBlock& view, const std::string& field,
                                const std::string& value) {
  using R = ParameterBlockResult;
  if (field == "mac") {
    MacAddress mac{};
    return parseMac(value, mac) ? view.setMacAddress(mac) : R::kInvalidValue;
  }
  if (field == "manufacturer") return view.setManufacturerName(value);
  if (field == "device-name") return view.setUserDeviceName(value);
  if (field == "network-name") return view.setNetworkName(value);
  if (field == "device-password") return view.setDeviceAccessKey(crypto::deriveDAK(value));
  // The network password keeps the block's security level.
  paramblock::NetworkIdentifier nid{};
  int level = view.getNetworkIdentifier(nid) == R::kSuccess ? nid[6] >> 4 : 0;
  if (level > paramblock::kMaximumSecurityLevel) level = 0;  // a damaged identifier, forced
  return view.setNetworkMembershipKey(crypto::deriveNMK(value), level);
}

struct SetRequest {
  std::string path, field, value, out;
  bool force = false;
};

int set(const SetRequest& r) {
  std::vector<std::uint8_t> bytes;
  if (const auto problem = readBlockFile(r.path, bytes)) return fail(kBadInput, *problem);
  if (r.field == "network-password" || r.field == "device-password") {
    std::string problem = passwordProblem(r.field, r.value);
    while (!problem.empty() && problem.back() == '\n') problem.pop_back();
    if (!problem.empty()) return fail(kBadInput, r.field + ": " + problem);
  }
  if (const auto problem = parameterBlockProblem(bytes); problem && !r.force)
    return fail(kRefused, r.path + " refused: " + *problem +
                              "; renewing its checksum would hide that (--force to do it anyway)");

  ParameterBlock view;
  view.attachImage(bytes);
  const ParameterBlockResult applied = applyField(view, r.field, r.value);
  if (applied != ParameterBlockResult::kSuccess)
    return fail(applied == ParameterBlockResult::kInvalidValue ? kBadInput : kRefused,
                "cannot set " + r.field + ": " + std::string(paramblock::describe(applied)));
  const ParameterBlockResult sealed = view.updateChecksum(bytes);
  if (paramblock::toInt(sealed) >= paramblock::toInt(ParameterBlockResult::kNotValidated))
    return fail(kRefused, "cannot renew the checksum of " + r.path + ": " +
                              std::string(paramblock::describe(sealed)));
  return writeBlockFile(r.out.empty() ? r.path : r.out, bytes);
}

int defaults(const std::string& path, bool force) {
  // The file may be an adapter's only copy of its block.
  if (!force && ::access(path.c_str(), F_OK) == 0)
    return fail(kBadInput, path + " already exists (--force replaces it)");
  std::vector<std::uint8_t> bytes(paramblock::kParameterBlockLength);
  ParameterBlock view;
  if (view.resetToDefaults(bytes) != ParameterBlockResult::kSuccess ||
      view.updateChecksum(bytes) != ParameterBlockResult::kSuccess)
    return fail(kRefused, "the defaults do not pass validation");
  return writeBlockFile(path, bytes);
}

}  // namespace

int runPib(Arguments args) {
  CLI::App app{"Show, edit and create parameter block files.", "quorrel-cli pib"};
  app.require_subcommand(1);

  std::string showPath;
  bool asJson = false;
  CLI::App* showCmd = app.add_subcommand("show", "print a parameter block file's fields");
  showCmd->add_option("FILE", showPath, "parameter block file")->required();
  showCmd->add_flag("--json", asJson, "print JSON");

  SetRequest request;
  CLI::App* setCmd =
      app.add_subcommand("set", "set an identity field, renew the checksum, write atomically");
  setCmd->add_option("FILE", request.path, "parameter block file")->required();
  setCmd->add_option("FIELD", request.field, "field to set")
      ->required()
      ->check(CLI::IsMember({"mac", "manufacturer", "device-name", "network-name",
                             "network-password", "device-password"}));
  setCmd->add_option("VALUE", request.value, "new value")->required();
  setCmd->add_option("--out", request.out, "write to this file instead of FILE");
  setCmd->add_flag("--force", request.force,
                   "edit a file that fails validation or its checksum, and renew its checksum");

  std::string defaultsPath;
  bool replace = false;
  CLI::App* defaultsCmd = app.add_subcommand("defaults", "write a new file of default values");
  defaultsCmd->add_option("FILE", defaultsPath, "file to write")->required();
  defaultsCmd->add_flag("--force", replace, "replace FILE when it exists");

  // CLI11 takes the words last first.
  if (const auto code = parseArguments(app, args)) return *code;
  try {
    if (showCmd->parsed()) return show(showPath, asJson);
    if (setCmd->parsed()) return set(request);
    return defaults(defaultsPath, replace);
  } catch (const std::exception& e) {
    return fail(kRefused, e.what());
  }
}

}  // namespace quorrel::cli
