#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "../platform/PlatformFixture.h"
#include "OtherUser.h"
#include "dovod/LastError.h"
#include "platform/NamedMutex.h"

namespace dovod::testing {
namespace {

using platform::NamedMutex;
using namespace std::chrono_literals;

// The lock files live in a folder of the test's own.
class NamedMutexFiles : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    saved_ = old ? old : "";
    had_ = old != nullptr;
    setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
    std::filesystem::permissions(folder_, std::filesystem::perms::owner_all);
  }
  void TearDown() override {
    if (had_)
      setenv("XDG_RUNTIME_DIR", saved_.c_str(), 1);
    else
      unsetenv("XDG_RUNTIME_DIR");
    PlatformTest::TearDown();
  }
  std::string saved_;
  bool had_ = false;
};

TEST_F(NamedMutexFiles, NamesStayInsideTheLockFolderAndDoNotMeet) {
  const char* names[] = {"../escape", "a/b", "a%2Fb", "a_b", "..", "/etc/passwd", "CorvTandem"};
  std::vector<std::unique_ptr<NamedMutex>> held;
  for (const char* name : names) {
    held.push_back(std::make_unique<NamedMutex>());
    ASSERT_TRUE(held.back()->init(name)) << name;
    ASSERT_TRUE(held.back()->lock_for(0ms)) << name << " met an earlier name's lock";
  }
  std::size_t files = 0;
  for (auto& entry : std::filesystem::recursive_directory_iterator(folder_)) {
    if (!entry.is_regular_file()) continue;
    EXPECT_EQ(entry.path().parent_path(), folder_ / "dovod-locks") << entry.path();
    ++files;
  }
  EXPECT_EQ(files, std::size(names));
  for (auto& m : held) EXPECT_TRUE(m->unlock());
}

TEST_F(NamedMutexFiles, RefusesALockFolderThatIsNotARealFolder) {
  std::filesystem::create_directory(folder_ / "elsewhere");
  std::filesystem::create_directory_symlink(folder_ / "elsewhere", folder_ / "dovod-locks");
  NamedMutex m;
  EXPECT_FALSE(m.init("CorvTandem"));
  EXPECT_TRUE(std::filesystem::is_empty(folder_ / "elsewhere"));
}

// Without a session folder the locks live in the user's temporary folder; another user who made
// that name first gets no lock files of ours, and the mutex is refused rather than left unshared.
TEST_F(NamedMutexFiles, ATemporaryFolderAnotherUserMadeFirstIsNotUsed) {
  VORN_REQUIRE_OTHER_USER();
  const char* old_tmp = std::getenv("TMPDIR");
  const std::string saved_tmp = old_tmp ? old_tmp : "";
  // Outside the test's private folder, which the other user cannot enter.
  const std::filesystem::path shared = std::filesystem::temp_directory_path() / ("mutex-shared-" + std::to_string(getpid()));
  vorn::testing::make_shared_folder(shared);
  const std::filesystem::path squatted = shared / ("dovod-" + std::to_string(geteuid()));
  ASSERT_EQ(vorn::testing::run_as_other_user({"mkdir", "-m", "0777", squatted.string()}), 0);
  unsetenv("XDG_RUNTIME_DIR");
  setenv("TMPDIR", shared.c_str(), 1);

  NamedMutex m;
  clear_last_error();
  EXPECT_FALSE(m.init("CorvTandem"));
  EXPECT_EQ(last_error().code, ErrorCode::NotAvailable);
  EXPECT_TRUE(std::filesystem::is_empty(squatted));

  if (old_tmp) setenv("TMPDIR", saved_tmp.c_str(), 1);
  else unsetenv("TMPDIR");
  std::filesystem::remove_all(shared);
}

}  // namespace
}  // namespace dovod::testing
