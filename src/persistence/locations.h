// Where the program finds its read-only resources and keeps its data file.
#pragma once

#include <string>

#include "platform/notice.h"

namespace quorrel::persistence {

// Name of the program's folder below the share directory and below the data home.
inline constexpr const char* kProgramFolder = "quorrel-utility";

// The folder that holds "OEMPrefs.dat", "OUIList.txt", the bitmaps and "Readme.txt": beside the
// executable when any of them is there, else <prefix>/share/quorrel-utility (beside the
// executable's bin/ folder, then the configured install prefix), else beside the executable.
std::string resourceDirectory();
// Overrides the folder (tests, tools); an empty text restores the search above.
void setResourceDirectory(const std::string& dir);
// `name` inside the resource folder.
std::string resourcePath(const std::string& name);

// The roots the data directory candidates are built from.
struct DataDirectoryRoots {
  std::string dataHome;      // $XDG_DATA_HOME, else <home>/.local/share
  std::string fallbackHome;  // <home>: the fallback folder is made below it
};
// The roots as the environment gives them ($XDG_DATA_HOME, $HOME, the password database).
DataDirectoryRoots environmentRoots();

// The candidates, in the roles the order of attempts gives them.
struct DataDirectoryCandidates {
  std::string parent;          // the data home: made when missing
  std::string preferred;       // <data home>/quorrel-utility
  std::string fallbackParent;  // <home>/.velmora_apps
  std::string fallback;        // <home>/.velmora_apps/quorrel-utility
};
DataDirectoryCandidates dataDirectoryCandidates(const DataDirectoryRoots& roots);

// The file system calls the choice makes, so tests can refuse what root would be allowed.
class DirectoryOps {
 public:
  virtual ~DirectoryOps() = default;
  virtual bool isDirectory(const std::string& path) = 0;
  // One level, owner-only; fails when the parent is missing.
  virtual bool makeDirectory(const std::string& path) = 0;
  // Every missing level, owner-only.
  virtual bool makeDirectories(const std::string& path) = 0;
  virtual bool isWritable(const std::string& path) = 0;
};
// The real file system.
DirectoryOps& systemDirectoryOps();

// Picks and, where needed, creates the folder of the device data file; shows the fallback
// notice over `owner` when the preferred folder cannot be had. Sets `dataDirectory()`.
std::string ChooseDataDirectory(platform::NoticeOwner owner = platform::NoticeOwner::None);
// The same choice over given roots and file system calls.
std::string ChooseDataDirectory(const DataDirectoryRoots& roots, DirectoryOps& ops,
                                platform::NoticeOwner owner = platform::NoticeOwner::None);

// The folder chosen last (empty before the first choice).
const std::string& dataDirectory();
void setDataDirectory(const std::string& dir);

}  // namespace quorrel::persistence
