// The shared parts of the commands that need more than a header: option parsing (and the
// option tables the shell completions are written from), the data folder, passwords, widths.
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <thread>
#include <utility>

#include "cli_args.h"
#include "completion.h"
#include "persistence/preferences.h"
#include "persistence/vendor_list.h"
#include "platform/adapter_lock.h"

namespace quorrel::cli {

namespace {
OptionTables* recording = nullptr;

std::vector<std::string> optionNames(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::Option* o : app.get_options()) {
    for (const std::string& n : o->get_lnames()) names.push_back("--" + n);
    for (const std::string& n : o->get_snames()) names.push_back("-" + n);
  }
  return names;
}
}  // namespace

void recordOptionTables(OptionTables* tables) {
  recording = tables;
}

bool progressShown() {
  return ::isatty(STDERR_FILENO) != 0;
}

struct Busy::Drawing {
  std::mutex lock;
  std::condition_variable wake;
  bool done = false;
  bool drawn = false;
  std::thread thread;
};

Busy::Busy(std::string what) : what_(std::move(what)) {
  if (!progressShown()) return;
  drawing_ = std::make_unique<Drawing>();
  drawing_->thread = std::thread([this] {
    std::unique_lock<std::mutex> held(drawing_->lock);
    for (int seconds = 1;; ++seconds) {
      if (drawing_->wake.wait_for(held, std::chrono::seconds(1), [this] { return drawing_->done; }))
        break;
      const int steps = steps_.load();
      std::fprintf(stderr, "\r%s... %d s", what_.c_str(), seconds);
      if (steps > 0) std::fprintf(stderr, ", step %d", steps);
      std::fflush(stderr);
      drawing_->drawn = true;
    }
    if (drawing_->drawn) std::fputs("\r\033[K", stderr);
  });
}

Busy::~Busy() {
  if (drawing_ == nullptr) return;
  {
    std::lock_guard<std::mutex> held(drawing_->lock);
    drawing_->done = true;
  }
  drawing_->wake.notify_one();
  drawing_->thread.join();
}

std::optional<int> parseArguments(CLI::App& app, Arguments args) {
  if (recording != nullptr) {
    OptionTable t{commandName(), optionNames(app), {}};
    for (const CLI::App* sub : app.get_subcommands({}))
      t.subcommands.push_back({sub->get_name(), optionNames(*sub)});
    recording->push_back(std::move(t));
    return kOk;
  }
  std::vector<std::string> words;
  for (auto it = args.rbegin(); it != args.rend(); ++it) words.emplace_back(*it);
  try {
    app.parse(words);  // CLI11 takes them last first
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    // The parser's own words, in the voice of every other error.
    if (e.get_exit_code() == 0) return app.exit(e);
    complain(e.what());
    std::fprintf(stderr, "Run with --help for more information.\n");
    return kBadInput;
  }
  return std::nullopt;
}

void claimAdapters() {
  static platform::AdapterLock lock;
  static bool asked = false;
  if (std::exchange(asked, true)) return;
  const bool held = lock.claim(kAdapterWaitMs, [] {
    complain("the adapters are in use by another program", "waiting for it to finish a scan cycle");
  });
  if (!held && lock.problem().empty())
    complain("the adapters are still in use by another program", "going ahead");
}

bool useDataDirectory(const std::string& dataDir, bool create) {
  if (dataDir.empty()) {
    persistence::ChooseDataDirectory();
    return true;
  }
  struct stat st {};
  if (::stat(dataDir.c_str(), &st) != 0) {
    // Only the folder itself is made: a mistyped parent is more likely than a wanted tree.
    if (!create || errno != ENOENT) {
      complain("the data folder " + dataDir + " cannot be read", std::strerror(errno));
      return false;
    }
    if (::mkdir(dataDir.c_str(), 0700) != 0) {
      complain("the data folder " + dataDir + " cannot be created", std::strerror(errno));
      return false;
    }
  } else if (!S_ISDIR(st.st_mode)) {
    complain("the data folder " + dataDir + " cannot be used", std::strerror(ENOTDIR));
    return false;
  }
  persistence::setDataDirectory(dataDir);
  return true;
}

std::optional<std::string> readPassword(const std::optional<std::string>& given, bool fromStdin,
                                        const char* prompt) {
  if (given) return given;
  std::string line;
  if (fromStdin) {
    if (!std::getline(std::cin, line)) {
      complain("no password on standard input");
      return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }
  if (::isatty(STDIN_FILENO) == 0) {
    complain("no password given", "give it as an argument, or with --password-stdin");
    return std::nullopt;
  }
  termios saved{};
  const bool quiet = ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (quiet) {
    termios silent = saved;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
  }
  std::fprintf(stderr, "%s: ", prompt);
  std::fflush(stderr);
  const bool read = static_cast<bool>(std::getline(std::cin, line));
  if (quiet) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  std::fputc('\n', stderr);
  if (!read) {
    complain("no password given");
    return std::nullopt;
  }
  return line;
}

namespace {

// The next code point of `text` from `i`, or none for a broken byte (skipped alone).
std::optional<char32_t> nextCodePoint(std::string_view text, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  const std::size_t length = lead < 0x80         ? 1
                             : (lead >> 5) == 6  ? 2
                             : (lead >> 4) == 14 ? 3
                             : (lead >> 3) == 30 ? 4
                                                 : 0;
  if (length == 0 || i + length > text.size()) {
    ++i;
    return std::nullopt;
  }
  char32_t c = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return std::nullopt;
    }
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  i += length;
  return c;
}

int columnsOf(char32_t c) {
  struct Range {
    char32_t first, last;
  };
  // Marks drawn on the character before them, and the joiners.
  static constexpr Range kZero[] = {{0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD},
                                    {0x0610, 0x061A}, {0x064B, 0x065F}, {0x200B, 0x200F},
                                    {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}};
  // East Asian wide and full-width characters, and the pictographs.
  static constexpr Range kWide[] = {{0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},
                                    {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
                                    {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE30, 0xFE4F},
                                    {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F},
                                    {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD}};
  for (const Range& r : kZero)
    if (c >= r.first && c <= r.last) return 0;
  for (const Range& r : kWide)
    if (c >= r.first && c <= r.last) return 2;
  return 1;
}

}  // namespace

std::size_t displayWidth(std::string_view text) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = nextCodePoint(text, i);
    width += c ? static_cast<std::size_t>(columnsOf(*c)) : 1;
  }
  return width;
}

std::size_t characterCount(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++count) nextCodePoint(text, i);
  return count;
}

std::optional<int> prepareScanning(const std::string& dataDir) {
  if (captureRefused()) return kNoAdapter;
  persistence::LoadPreferences();
  persistence::LoadVendorList();
  if (!loadDeviceData(dataDir)) return kBadInput;
  const auto unusable = openInterfaces();
  transport::CloseAllInterfaces();  // the scan opens them again
  return unusable;
}

}  // namespace quorrel::cli
