#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "OtherUser.h"
#include "dovod/LastError.h"
#include "platform/Folders.h"

namespace dovod::testing {
namespace {

using platform::Folders;
namespace fs = std::filesystem;

// Sets an environment variable for the scope, as it was afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_) setenv(name_, old_.c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  bool had_;
  std::string old_;
};

class PrivateFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("private-folder-" + std::to_string(getpid()));
    fs::remove_all(root_);
    vorn::testing::make_shared_folder(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path root_;
};

TEST_F(PrivateFolderTest, AcceptsOnlyARealFolderOfTheUsersOwn) {
  struct Case {
    const char* what;
    void (*make)(const fs::path& path, const fs::path& root);
    bool accepted;
  } cases[] = {
      {"missing: created", [](const fs::path&, const fs::path&) {}, true},
      {"private already", [](const fs::path& p, const fs::path&) { mkdir(p.c_str(), 0700); }, true},
      {"open to others", [](const fs::path& p, const fs::path&) { mkdir(p.c_str(), 0700), chmod(p.c_str(), 0755); }, false},
      {"open to the group", [](const fs::path& p, const fs::path&) { mkdir(p.c_str(), 0700), chmod(p.c_str(), 0710); }, false},
      {"a link to a private folder",
       [](const fs::path& p, const fs::path& root) {
         mkdir((root / "real").c_str(), 0700);
         fs::create_directory_symlink(root / "real", p);
       },
       false},
      {"a file", [](const fs::path& p, const fs::path&) { close(creat(p.c_str(), 0600)); }, false},
  };
  for (const Case& c : cases) {
    fs::path path = root_ / "mine";
    fs::remove_all(root_ / "real");
    fs::remove_all(path);
    c.make(path, root_);
    clear_last_error();
    EXPECT_EQ(Folders::create_private_directory(path.string()), c.accepted) << c.what;
    if (c.accepted) {
      struct stat st;
      ASSERT_EQ(lstat(path.c_str(), &st), 0) << c.what;
      EXPECT_EQ(st.st_mode & 0777, 0700u) << c.what;
    } else {
      EXPECT_EQ(last_error().code, ErrorCode::NotAvailable) << c.what;
    }
  }
}

TEST_F(PrivateFolderTest, RefusesTheFolderAnotherUserMadeFirst) {
  VORN_REQUIRE_OTHER_USER();
  fs::path path = root_ / "taken";
  ASSERT_EQ(vorn::testing::run_as_other_user({"mkdir", "-m", "0700", path.string()}), 0);
  EXPECT_FALSE(Folders::create_private_directory(path.string()));
}

TEST_F(PrivateFolderTest, TemporaryAndRuntimeFoldersAreTheUsersOwn) {
  ScopedEnv tmp("TMPDIR", root_.string());
  ScopedEnv runtime("XDG_RUNTIME_DIR", (root_ / "runtime").string());

  std::string temp = Folders::temp_folder();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(fs::path(temp).parent_path().parent_path(), root_);
  EXPECT_TRUE(Folders::create_private_directory(temp));
  // A runtime folder that is not private is passed over for the temporary folder.
  mkdir((root_ / "runtime").c_str(), 0755);
  chmod((root_ / "runtime").c_str(), 0755);
  EXPECT_EQ(Folders::runtime_folder(), temp);
  chmod((root_ / "runtime").c_str(), 0700);
  EXPECT_EQ(Folders::runtime_folder(), (root_ / "runtime").string() + "/");

  // A folder of the name that is not private makes the temporary folder unavailable.
  chmod(temp.c_str(), 0777);
  EXPECT_TRUE(Folders::temp_folder().empty());
}

}  // namespace
}  // namespace dovod::testing
