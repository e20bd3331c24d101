// The About page's texts.
#include "ui/presentation/about_page_text.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "persistence/file_io.h"
#include "persistence/preferences.h"
#include "ui/presentation/main_page_text.h"

namespace quorrel::ui {

std::string readmeText(const std::string& workingDirectory) {
  std::vector<std::uint8_t> bytes;
  const auto status = persistence::readFileCapped(workingDirectory + "/" + about_text::kReadmeFile,
                                                  about_text::kReadmeMaxBytes, bytes);
  if (status != persistence::ReadStatus::Ok) return about_text::kReadmeMissingText;
  return {bytes.begin(), bytes.end()};
}

std::optional<std::string> webLinkTarget(std::string_view address) {
  std::string lower(address.substr(0, 8));
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const std::size_t scheme = lower.starts_with("https://")  ? 8
                             : lower.starts_with("http://") ? 7
                                                            : 0;
  if (scheme == 0 || address.size() == scheme) return std::nullopt;
  for (const char c : address)
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return std::nullopt;
  return std::string(address);
}

std::string toggleAutoscan(ScanControl& scan) {
  std::int16_t& enabled = persistence::preferences().autoscanEnabled;
  enabled = enabled == 0 ? 1 : 0;
  scan.SuspendAutoscan(enabled != 0);
  return enabled != 0 ? main_text::kAutoscanOn : main_text::kAutoscanOff;
}

}  // namespace quorrel::ui
