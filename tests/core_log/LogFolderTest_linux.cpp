// What another local user can do to the diagnostic log when its temporary folder is one that user
// may write to: the log neither writes outside its own folder, nor hangs, nor lets them read it.
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "ChildProcess.h"
#include "LogFixture.h"
#include "OtherUser.h"
#include "core/LogSettings.h"
#include "dovod/xLog.h"

namespace dovod::testing {
namespace {

namespace fs = std::filesystem;
using vorn::testing::kChildHung;
using vorn::testing::run_in_child;
using vorn::testing::shell_as_other_user;

std::string read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class LogFolderAttack : public LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    target_ = folder_ / "target";
    std::ofstream(target_) << "the user's own file\n";
    chmod(target_.c_str(), 0640);
    shared_ = folder_ / "shared";
    vorn::testing::make_shared_folder(shared_);
    tuning_.temp_folder = shared_.string() + "/";
  }

  // The names this run's file may get in the next minute: the stamp is the second it opens in.
  std::string candidate_names(pid_t pid) {
    std::string names;
    for (std::time_t t = std::time(nullptr) - 1; t < std::time(nullptr) + 60; ++t) {
      char stamp[32];
      std::tm local{};
      localtime_r(&t, &local);
      std::strftime(stamp, sizeof stamp, "%Y%m%d_%H%M%S", &local);
      names += std::string(" xlog_") + stamp + "_" + std::to_string(pid) + "_" +
               log::process_name_for(program_invocation_short_name) + "_dovod.dblog";
    }
    return names;
  }

  fs::path target_, shared_;
};

TEST_F(LogFolderAttack, AFolderAnotherUserMadeKeepsTheLogOff) {
  VORN_REQUIRE_OTHER_USER();
  struct Case {
    const char* what;
    std::string attack;  // run as the other user in the shared folder; $NAMES: the file names to expect
    bool logs;           // the log file is written (in a private folder)
  } cases[] = {
      {"nothing prepared", "true", true},
      {"links to the user's file in an open folder",
       "mkdir -m 0777 xlog_corvane && cd xlog_corvane && for n in $NAMES; do ln -s " + target_.string() +
           " $n; done",
       false},
      {"FIFOs in an open folder", "mkdir -m 0777 xlog_corvane && cd xlog_corvane && for n in $NAMES; do mkfifo $n; done",
       false},
      {"a folder the other user reads", "mkdir -m 0755 xlog_corvane", false},
      {"a link to the other user's folder", "mkdir -m 0777 theirs && ln -s theirs xlog_corvane", false},
  };
  std::string before = read_all(target_);
  for (const Case& c : cases) {
    for (const char* name : {"xlog_corvane", "theirs"}) shell_as_other_user("rm -rf " + (shared_ / name).string());
    fs::remove_all(shared_ / "xlog_corvane");
    int status = run_in_child([&] {
      std::string attack =
          "cd " + shared_.string() + " && NAMES='" + candidate_names(getpid()) + "' && " + c.attack;
      if (shell_as_other_user(attack) != 0) return 3;
      set("loggingoutput", 4);
      start();
      // More than a pipe holds, so a FIFO without a reader would block the writer.
      std::string line(1000, 'x');
      for (int i = 0; i < 200; ++i) xLog("T", LOG_ERROR, "dovod::A::f", "%s", line.c_str());
      while (log_testing::drain_once()) {
      }
      log_testing::flush();
      return log_testing::log_file_path().empty() ? 0 : 1;
    });
    EXPECT_EQ(status, c.logs ? 1 : 0) << c.what << (status == kChildHung ? ": hung" : "");
    EXPECT_TRUE(read_all(target_) == before) << c.what << ": the user's file changed";
    struct stat st;
    ASSERT_EQ(stat(target_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << c.what;
    if (!c.logs) {
      // Nothing of the user's in the other user's folders: no log they could read.
      for (const auto& entry : fs::recursive_directory_iterator(shared_)) {
        ASSERT_EQ(lstat(entry.path().c_str(), &st), 0);
        EXPECT_NE(st.st_uid, geteuid()) << c.what << ": " << entry.path();
      }
    } else {
      fs::path logs = shared_ / "xlog_corvane";
      ASSERT_EQ(lstat(logs.c_str(), &st), 0) << c.what;
      EXPECT_EQ(st.st_mode & 07777, 0700u) << c.what;
      std::size_t files = 0;
      for (const auto& entry : fs::directory_iterator(logs)) {
        ASSERT_EQ(lstat(entry.path().c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode)) << entry.path();
        EXPECT_EQ(st.st_mode & 07777, 0600u) << entry.path();
        EXPECT_GT(st.st_size, 200000) << entry.path();
        ++files;
      }
      EXPECT_EQ(files, 1u) << c.what;
    }
  }
}

}  // namespace
}  // namespace dovod::testing
