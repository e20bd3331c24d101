// make-samples: writes a sample parameter block or firmware image file for tests and the demo.
#include <charconv>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "make-samples/sample_files.h"

namespace {

using namespace quorrel;

constexpr std::string_view kUsage =
    "usage: make-samples pib [--mac MAC] [--nmk HEX32] [--broken KIND] -o FILE\n"
    "       make-samples nvm [--images N] [--size BYTES] [--broken KIND] -o FILE\n"
    "  pib: a valid parameter block, version 4.4 (default MAC 02:00:00:00:00:01,\n"
    "       default key 00112233445566778899AABBCCDDEEFF)\n"
    "  nvm: a chain of N images (1 to 8, default 1) of BYTES bytes each (default 4096,\n"
    "       at most 1048576)\n"
    "  --broken: pib short, truncated or group-mac; nvm (2 images or more) loop,\n"
    "       backward, past-end or checksum\n";

int usage(std::string_view problem) {
  if (!problem.empty())
    std::fprintf(stderr, "make-samples: %.*s\n", int(problem.size()), problem.data());
  std::fputs(kUsage.data(), stderr);
  return 2;
}

bool parseCount(std::string_view text, std::size_t& out) {
  std::size_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  out = v;
  return true;
}

int writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "make-samples: cannot write %s\n", path.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage("");
  const std::string_view kind = argv[1];
  if (kind == "-h" || kind == "--help") {
    std::fputs(kUsage.data(), stdout);
    return 0;
  }
  if (kind != "pib" && kind != "nvm") return usage("the first word is pib or nvm");

  MacAddress mac{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
  samples::NetworkMembershipKey nmk{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                    0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  std::size_t images = 1, size = 4096;
  std::string output, broken;

  for (int i = 2; i < argc; ++i) {
    const std::string_view opt = argv[i];
    if (i + 1 >= argc) return usage(std::string(opt) + " needs a value");
    const std::string_view value = argv[++i];
    if (opt == "-o") {
      output = value;
    } else if (opt == "--broken") {
      broken = value;
    } else if (kind == "pib" && opt == "--mac") {
      if (!parseMac(value, mac)) return usage("--mac wants six hex pairs, e.g. 02:00:00:00:00:01");
    } else if (kind == "pib" && opt == "--nmk") {
      if (!samples::parseKeyHex(value, nmk)) return usage("--nmk wants 32 hex digits");
    } else if (kind == "nvm" && opt == "--images") {
      if (!parseCount(value, images) || images < 1 || images > samples::kMaxSampleImages)
        return usage("--images wants a number from 1 to 8");
    } else if (kind == "nvm" && opt == "--size") {
      if (!parseCount(value, size) || size > samples::kMaxSampleImageSize)
        return usage("--size wants a number of bytes up to 1048576");
    } else {
      return usage("unknown option " + std::string(opt));
    }
  }
  if (output.empty()) return usage("-o FILE is required");

  std::vector<std::uint8_t> bytes;
  if (kind == "pib") {
    bytes = samples::buildParameterBlock(mac, nmk);
    if (bytes.empty()) return usage("--mac is a group or reserved address, not a device's own");
  } else {
    bytes = samples::buildFirmwareFile(samples::sampleFirmwareImages(images, size));
  }
  if (!broken.empty()) {
    using samples::BlockBreak;
    using samples::ChainBreak;
    if (kind == "pib") {
      const BlockBreak how = broken == "short"       ? BlockBreak::Short
                             : broken == "truncated" ? BlockBreak::Truncated
                                                     : BlockBreak::GroupMac;
      if (broken != "short" && broken != "truncated" && broken != "group-mac")
        return usage("--broken for pib is short, truncated or group-mac");
      bytes = samples::breakParameterBlock(std::move(bytes), how);
    } else {
      const ChainBreak how = broken == "loop"       ? ChainBreak::Loop
                             : broken == "backward" ? ChainBreak::Backward
                             : broken == "past-end" ? ChainBreak::PastEnd
                                                    : ChainBreak::Checksum;
      if (broken != "loop" && broken != "backward" && broken != "past-end" && broken != "checksum")
        return usage("--broken for nvm is loop, backward, past-end or checksum");
      bytes = samples::breakFirmwareFile(std::move(bytes), how);
      if (bytes.empty()) return usage("--broken needs --images 2 or more");
    }
  }
  return writeFile(output, bytes);
}
