// The data folder's order of attempts and its fallback; the resource folder.
#include "persistence/locations.h"

#include <set>

#include "persistence_fixture.h"

namespace quorrel::persistence::testing {
namespace {

// A file system in memory that refuses what it is told to, as a read-only tree would.
class FakeDirectories final : public DirectoryOps {
 public:
  bool isDirectory(const std::string& p) override { return dirs.count(p) != 0; }
  bool makeDirectory(const std::string& p) override {
    calls.push_back("mkdir " + p);
    const auto slash = p.find_last_of('/');
    if (refused.count(p) != 0 || (slash != std::string::npos && !isDirectory(p.substr(0, slash))))
      return false;
    dirs.insert(p);
    return true;
  }
  bool makeDirectories(const std::string& p) override {
    calls.push_back("mkdir -p " + p);
    if (refused.count(p) != 0) return false;
    for (std::size_t at = p.find('/', 1); at != std::string::npos; at = p.find('/', at + 1))
      dirs.insert(p.substr(0, at));
    dirs.insert(p);
    return true;
  }
  bool isWritable(const std::string& p) override { return readOnly.count(p) == 0; }

  std::set<std::string> dirs{"/home", "/home/u"};
  std::set<std::string> refused, readOnly;
  std::vector<std::string> calls;
};

const DataDirectoryRoots kRoots{"/home/u/.local/share", "/home/u"};
const std::string kPreferred = "/home/u/.local/share/quorrel-utility";
const std::string kFallback = "/home/u/.velmora_apps/quorrel-utility";

class LocationsTest : public PersistenceTest {};

TEST_F(LocationsTest, FreshAccountGetsTheDataHomeMade) {
  FakeDirectories fs;
  EXPECT_EQ(ChooseDataDirectory(kRoots, fs), kPreferred);
  EXPECT_EQ(dataDirectory(), kPreferred);
  EXPECT_TRUE(fs.isDirectory("/home/u/.local"));
  EXPECT_EQ(fs.calls,
            (std::vector<std::string>{"mkdir -p /home/u/.local/share", "mkdir " + kPreferred}));
  EXPECT_TRUE(notices.shown.empty());
}

TEST_F(LocationsTest, ExistingFolderIsTakenAsItIs) {
  FakeDirectories fs;
  fs.dirs.insert({"/home/u/.local", "/home/u/.local/share", kPreferred});
  EXPECT_EQ(ChooseDataDirectory(kRoots, fs), kPreferred);
  EXPECT_TRUE(fs.calls.empty());
}

TEST_F(LocationsTest, EachRefusalLeadsToTheFallbackWithItsNotice) {
  struct Case {
    const char* what;
    std::function<void(FakeDirectories&)> setUp;
  };
  const Case cases[] = {
      {"data home cannot be made", [](FakeDirectories& fs) { fs.refused.insert(kRoots.dataHome); }},
      {"program folder cannot be made", [](FakeDirectories& fs) { fs.refused.insert(kPreferred); }},
      {"program folder read-only",
       [](FakeDirectories& fs) {
         fs.dirs.insert({"/home/u/.local", kRoots.dataHome, kPreferred});
         fs.readOnly.insert(kPreferred);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeDirectories fs;
    c.setUp(fs);
    notices.clear();
    EXPECT_EQ(ChooseDataDirectory(kRoots, fs, platform::NoticeOwner::MainPage), kFallback);
    EXPECT_TRUE(fs.isDirectory(kFallback));
    ASSERT_EQ(notices.shown.size(), 1u);
    const auto& n = notices.shown[0];
    EXPECT_EQ(n.text, "Unable to create Quorrel Utility.data file at location: " + kPreferred +
                          ", Creating Quorrel Utility.data file at location: " + kFallback);
    EXPECT_EQ(n.caption, "Information");
    EXPECT_EQ(n.icon, platform::NoticeIcon::Information);
    EXPECT_EQ(n.owner, platform::NoticeOwner::MainPage);
  }
}

TEST_F(LocationsTest, FallbackThatCannotBeMadeIsStillChosen) {
  FakeDirectories fs;
  fs.refused = {kRoots.dataHome, "/home/u/.velmora_apps"};
  EXPECT_EQ(ChooseDataDirectory(kRoots, fs), kFallback);
  EXPECT_FALSE(fs.isDirectory(kFallback));
  EXPECT_EQ(notices.shown.size(), 1u);
}

TEST_F(LocationsTest, RealTreeUnderARegularFileFallsBack) {
  // A path below a regular file cannot be made, not even by root.
  writeFile(scratch.file("plain-file"), std::string("x"));
  const DataDirectoryRoots roots{scratch.file("plain-file/share"), scratch.path()};
  const std::string dir = ChooseDataDirectory(roots, systemDirectoryOps());
  EXPECT_EQ(dir, scratch.path() + "/.velmora_apps/quorrel-utility");
  EXPECT_EQ(notices.shown.size(), 1u);
  struct stat st {};
  ASSERT_EQ(::stat(dir.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  notices.clear();
  const DataDirectoryRoots good{scratch.file("a/b/share"), scratch.path()};
  EXPECT_EQ(ChooseDataDirectory(good, systemDirectoryOps()),
            scratch.path() + "/a/b/share/quorrel-utility");
  EXPECT_TRUE(notices.shown.empty());
}

TEST_F(LocationsTest, EnvironmentRootsFollowXdg) {
  const char* oldXdg = std::getenv("XDG_DATA_HOME");
  const std::string savedXdg = oldXdg != nullptr ? oldXdg : "";
  const char* oldHome = std::getenv("HOME");
  const std::string savedHome = oldHome != nullptr ? oldHome : "";

  ::setenv("HOME", "/home/someone", 1);
  ::setenv("XDG_DATA_HOME", "/xdg/data", 1);
  EXPECT_EQ(environmentRoots().dataHome, "/xdg/data");
  ::setenv("XDG_DATA_HOME", "relative/data", 1);  // not absolute: ignored
  EXPECT_EQ(environmentRoots().dataHome, "/home/someone/.local/share");
  ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(environmentRoots().dataHome, "/home/someone/.local/share");
  EXPECT_EQ(environmentRoots().fallbackHome, "/home/someone");

  if (oldXdg != nullptr) ::setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
  if (oldHome != nullptr)
    ::setenv("HOME", savedHome.c_str(), 1);
  else
    ::unsetenv("HOME");
}

TEST_F(LocationsTest, ResourceFolderIsBesideTheProgramUnlessSet) {
  setResourceDirectory("");
  const std::string found = resourceDirectory();
  EXPECT_FALSE(found.empty());
  EXPECT_TRUE(std::filesystem::is_directory(found));
  setResourceDirectory(scratch.path());
  EXPECT_EQ(resourcePath("OEMPrefs.dat"), scratch.path() + "/OEMPrefs.dat");
  setResourceDirectory("");
}

}  // namespace
}  // namespace quorrel::persistence::testing
