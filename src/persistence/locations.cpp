// Where the program finds its read-only resources and keeps its data file.
#include "persistence/locations.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace quorrel::persistence {

namespace {
// The resource folder a test or tool named, and the data folder chosen once per run.
struct Folders {
  std::string resourceOverride;
  std::string chosenDataDirectory;
};
Folders folders;

constexpr std::array<const char*, 3> kResourceMarkers{"OEMPrefs.dat", "OUIList.txt", "Readme.txt"};

constexpr const char* kFallbackText =
    "Unable to create Quorrel Utility.data file at location: %s, Creating Quorrel "
    "Utility.data file at location: %s";

bool isRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool holdsResources(const std::string& dir) {
  for (const char* name : kResourceMarkers)
    if (isRegularFile(dir + "/" + name)) return true;
  return false;
}

std::string executableDirectory() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || !exe.has_parent_path()) return ".";
  return exe.parent_path().string();
}

std::string homeDirectory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  if (const passwd* pw = ::getpwuid(::getuid());
      pw != nullptr && pw->pw_dir != nullptr && pw->pw_dir[0] == '/')
    return pw->pw_dir;
  return ".";
}

std::string fillIn(std::string text, const std::string& first, const std::string& second) {
  for (const std::string* value : {&first, &second}) {
    const auto at = text.find("%s");
    if (at == std::string::npos) break;
    text.replace(at, 2, *value);
  }
  return text;
}

class SystemDirectoryOps final : public DirectoryOps {
 public:
  bool isDirectory(const std::string& path) override {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
  bool makeDirectory(const std::string& path) override {
    return ::mkdir(path.c_str(), S_IRWXU) == 0 || (errno == EEXIST && isDirectory(path));
  }
  bool makeDirectories(const std::string& path) override {
    if (path.empty()) return false;
    if (isDirectory(path)) return true;
    const auto slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeDirectories(path.substr(0, slash)))
      return false;
    return makeDirectory(path);
  }
  bool isWritable(const std::string& path) override {
    return ::access(path.c_str(), W_OK | X_OK) == 0;
  }
};
}  // namespace

std::string resourceDirectory() {
  if (!folders.resourceOverride.empty()) return folders.resourceOverride;
  const std::string exeDir = executableDirectory();
  if (holdsResources(exeDir)) return exeDir;
  std::vector<std::string> shared{exeDir + "/../share/" + kProgramFolder};
#ifdef QUORREL_SHARE_DIR
  shared.emplace_back(QUORREL_SHARE_DIR);
#endif
  for (const auto& dir : shared)
    if (holdsResources(dir)) return dir;
  return exeDir;
}

void setResourceDirectory(const std::string& dir) {
  folders.resourceOverride = dir;
}

std::string resourcePath(const std::string& name) {
  return resourceDirectory() + "/" + name;
}

DataDirectoryRoots environmentRoots() {
  DataDirectoryRoots roots;
  roots.fallbackHome = homeDirectory();
  // A relative $XDG_DATA_HOME is invalid and to be ignored.
  const char* xdg = std::getenv("XDG_DATA_HOME");
  roots.dataHome =
      xdg != nullptr && xdg[0] == '/' ? std::string(xdg) : roots.fallbackHome + "/.local/share";
  return roots;
}

DataDirectoryCandidates dataDirectoryCandidates(const DataDirectoryRoots& roots) {
  DataDirectoryCandidates c;
  c.parent = roots.dataHome;
  while (c.parent.size() > 1 && c.parent.back() == '/') c.parent.pop_back();
  c.preferred = c.parent + "/" + kProgramFolder;
  c.fallbackParent = roots.fallbackHome + "/.velmora_apps";
  c.fallback = c.fallbackParent + "/" + kProgramFolder;
  return c;
}

DirectoryOps& systemDirectoryOps() {
  static SystemDirectoryOps ops;
  return ops;
}

std::string ChooseDataDirectory(platform::NoticeOwner owner) {
  return ChooseDataDirectory(environmentRoots(), systemDirectoryOps(), owner);
}

std::string ChooseDataDirectory(const DataDirectoryRoots& roots, DirectoryOps& ops,
                                platform::NoticeOwner owner) {
  const DataDirectoryCandidates c = dataDirectoryCandidates(roots);
  // The data home may not exist yet on a fresh account, and its own parents with it.
  bool ready = ops.isDirectory(c.parent) || ops.makeDirectories(c.parent);
  if (ready && !ops.isDirectory(c.preferred)) ready = ops.makeDirectory(c.preferred);
  // A folder the data file could never be written to is no better than a missing one.
  if (ready) ready = ops.isWritable(c.preferred);
  if (ready) {
    folders.chosenDataDirectory = c.preferred;
    return folders.chosenDataDirectory;
  }
  platform::showNotice(fillIn(kFallbackText, c.preferred, c.fallback), "Information",
                       platform::NoticeIcon::Information, platform::NoticeButtons::Ok, owner);
  ops.makeDirectory(c.fallbackParent);
  ops.makeDirectory(c.fallback);
  folders.chosenDataDirectory = c.fallback;
  return folders.chosenDataDirectory;
}

const std::string& dataDirectory() {
  return folders.chosenDataDirectory;
}
void setDataDirectory(const std::string& dir) {
  folders.chosenDataDirectory = dir;
}

}  // namespace quorrel::persistence
