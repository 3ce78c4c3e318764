// What another local user can do to the application log when it lies in a folder that user may
// write to: the log neither writes through their entries nor hangs, and stays the user's alone.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "AppTestFixture.h"
#include "ChildProcess.h"
#include "OtherUser.h"

namespace vorn::testing {
namespace {

namespace fs = std::filesystem;

std::string read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

using AppLogAttack = AppTest;

TEST_F(AppLogAttack, EntriesAnotherUserPlantedAreNotWrittenThrough) {
  VORN_REQUIRE_OTHER_USER();
  fs::path target = folder_ / "target";
  std::ofstream(target) << "the user's own file\n";
  chmod(target.c_str(), 0640);
  fs::path shared = folder_ / "shared";
  make_shared_folder(shared);
  // A folder of the other user's that everyone may write to, without the sticky bit of /tmp.
  fs::path open = shared / "open";
  struct Case {
    const char* what;
    std::string attack;  // run as the other user in `open`
    bool logs;           // the log is written at open/app.log
  } cases[] = {
      {"nothing prepared", "true", true},
      {"a link to the user's file", "ln -s " + target.string() + " app.log", false},
      {"a FIFO", "mkfifo app.log", false},
      {"a file of the other user's that anyone may write", "touch app.log && chmod 0666 app.log", false},
  };
  std::string before = read_all(target);
  for (const Case& c : cases) {
    shell_as_other_user("rm -rf " + open.string());
    ASSERT_EQ(shell_as_other_user("mkdir -m 0777 " + open.string() + " && cd " + open.string() + " && " + c.attack), 0)
        << c.what;
    fs::path log = open / "app.log";
    int status = run_in_child([&] {
      OpenLogFile(log.wstring());
      // More than a pipe holds, so a FIFO without a reader would block the writer.
      std::wstring line(1000, L'x');
      for (int i = 0; i < 100; ++i) LogMessage(L"%s\n", line.c_str());
      CloseLogFileForTesting();
      return 0;
    });
    EXPECT_EQ(status, 0) << c.what << (status == kChildHung ? ": hung" : "");
    EXPECT_TRUE(read_all(target) == before) << c.what << ": the user's file changed";
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << c.what;
    ASSERT_EQ(lstat(log.c_str(), &st), 0) << c.what;
    if (c.logs) {
      EXPECT_TRUE(S_ISREG(st.st_mode)) << c.what;
      EXPECT_EQ(st.st_uid, geteuid()) << c.what;
      EXPECT_EQ(st.st_mode & 07777, 0600u) << c.what;
      EXPECT_GT(st.st_size, 100000) << c.what;
    } else {
      EXPECT_NE(st.st_uid, geteuid()) << c.what;
      if (S_ISREG(st.st_mode)) EXPECT_EQ(st.st_size, 0) << c.what;
    }
  }
  shell_as_other_user("rm -rf " + open.string());
}

TEST_F(AppLogAttack, AnEarlierLogOthersCouldReadBecomesTheUsersAlone) {
  fs::path log = folder_ / "app.log";
  std::ofstream(log) << "earlier";
  chmod(log.c_str(), 0644);
  OpenLogFile(log.wstring());
  LogMessage(L"later\n");
  CloseLogFileForTesting();
  struct stat st;
  ASSERT_EQ(stat(log.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(read_all(log).substr(0, 7), "earlier");
  EXPECT_GT(st.st_size, 7);
}

}  // namespace
}  // namespace vorn::testing
