// The data folder's order of attempts and its fallback.
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
    if (refused.count(p) != 0 || !isDirectory(p.substr(0, p.find_last_of('/')))) return false;
    dirs.insert(p);
    return true;
  }
  bool makeDirectories(const std::string& p) override {
    if (refused.count(p) != 0) return false;
    for (std::size_t at = p.find('/', 1); at != std::string::npos; at = p.find('/', at + 1))
      dirs.insert(p.substr(0, at));
    dirs.insert(p);
    return true;
  }
  bool isWritable(const std::string& p) override { return readOnly.count(p) == 0; }

  std::set<std::string> dirs{"/home", "/home/u"};
  std::set<std::string> refused, readOnly;
};

const DataDirectoryRoots kRoots{"/home/u/.local/share", "/home/u"};
const std::string kPreferred = "/home/u/.local/share/quorrel-utility";
const std::string kFallback = "/home/u/.velmora_apps/quorrel-utility";

class LocationsTest : public PersistenceTest {};

TEST_F(LocationsTest, PreferredFolderIsMadeOrTakenElseTheFallbackWithItsNotice) {
  FakeDirectories fresh;
  EXPECT_EQ(ChooseDataDirectory(kRoots, fresh), kPreferred);
  EXPECT_TRUE(fresh.isDirectory("/home/u/.local") && fresh.isDirectory(kPreferred));
  FakeDirectories there;  // refusing to make what is already there
  there.dirs.insert({"/home/u/.local", kRoots.dataHome, kPreferred});
  there.refused = {kRoots.dataHome, kPreferred};
  EXPECT_EQ(ChooseDataDirectory(kRoots, there), kPreferred);
  EXPECT_TRUE(notices.shown.empty());

  // Each refusal leads to the fallback with its notice.
  struct Case {
    const char* what;
    std::set<std::string> refused, readOnly;
  };
  const Case cases[] = {
      {"data home cannot be made", {kRoots.dataHome}, {}},
      {"program folder cannot be made", {kPreferred}, {}},
      {"program folder read-only", {}, {kPreferred}},
      {"fallback cannot be made either", {kRoots.dataHome, "/home/u/.velmora_apps"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeDirectories fs;
    fs.refused = c.refused;
    fs.readOnly = c.readOnly;
    notices.clear();
    EXPECT_EQ(ChooseDataDirectory(kRoots, fs, platform::NoticeOwner::MainPage), kFallback);
    EXPECT_EQ(fs.isDirectory(kFallback), c.refused.count("/home/u/.velmora_apps") == 0);
    ASSERT_EQ(notices.shown.size(), 1u);
    const auto& n = notices.shown[0];
    EXPECT_EQ(n.text, "Unable to create Quorrel Utility.data file at location: " + kPreferred +
                          ", Creating Quorrel Utility.data file at location: " + kFallback);
    EXPECT_EQ(n.caption, "Information");
    EXPECT_EQ(n.icon, platform::NoticeIcon::Information);
    EXPECT_EQ(n.owner, platform::NoticeOwner::MainPage);
  }
}

TEST_F(LocationsTest, RealTreeUnderARegularFileFallsBack) {
  // A path below a regular file cannot be made, not even by root.
  writeFile(file("plain-file"), std::string("x"));
  const std::string chosen =
      ChooseDataDirectory({file("plain-file/share"), dir}, systemDirectoryOps());
  EXPECT_EQ(chosen, dir + "/.velmora_apps/quorrel-utility");
  EXPECT_EQ(notices.shown.size(), 1u);
  EXPECT_TRUE(std::filesystem::is_directory(chosen));
  EXPECT_EQ(permissionsOf(chosen), 0700u);

  EXPECT_EQ(ChooseDataDirectory({file("a/b/share"), dir}, systemDirectoryOps()),
            dir + "/a/b/share/quorrel-utility");
  EXPECT_EQ(notices.shown.size(), 1u);
}

}  // namespace
}  // namespace quorrel::persistence::testing
