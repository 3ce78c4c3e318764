// What another local user can do to the cache files when they lie in a folder that user may write
// to: the victim (this process) neither reads their content nor writes through their entries.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "OtherUser.h"
#include "core/CacheFile.h"

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

CacheContents contents() {
  CacheContents c;
  c.fw = "QRX 12.03.B0017";
  c.commands[{0x10, 0xFF, 0x00, 0x0A}] = {0x11, 0xFF, 0x00, 0x0A, 0x01};
  return c;
}

class CacheFileAttack : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("dovod_cache_attack_" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "mine");
    // A valid cache of the victim's own outside the shared folder: what a link would lead to.
    target_ = root_ / "mine" / "target.xml";
    std::ofstream(target_) << CacheFile::format(contents());
    chmod(target_.c_str(), 0640);
    vorn::testing::make_shared_folder(root_ / "shared");
    // A folder of the other user's that everyone may write to, without the sticky bit of /tmp.
    open_ = root_ / "shared" / "open";
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path root_, target_, open_;
};

TEST_F(CacheFileAttack, EntriesPlantedByAnotherUserAreNeitherReadNorWrittenThrough) {
  VORN_REQUIRE_OTHER_USER();
  std::string valid = CacheFile::format(contents());
  // The old writer's temporary names were the file's name, the process id and a serial number.
  std::string at_temporary_names = "for n in $(seq 0 63); do ln -s " + target_.string() + " " +
                                   (open_ / "cache.xml").string() + ".$PID.$n.tmp; done";
  std::string fifos_at_temporary_names =
      "for n in $(seq 0 63); do mkfifo " + (open_ / "cache.xml").string() + ".$PID.$n.tmp; done";
  struct Case {
    const char* what;
    std::string attack;  // run as the other user in `open`; $PID is the victim's process id
    bool write;          // the victim writes the cache, else it reads it
  } cases[] = {
      {"read through a link to the user's cache", "ln -s " + target_.string() + " cache.xml", false},
      {"read a FIFO", "mkfifo cache.xml", false},
      {"read the other user's cache", "printf '%s' \"" + std::string("$VALID") + "\" > cache.xml", false},
      {"write over a link at the name", "ln -s " + target_.string() + " cache.xml", true},
      {"write through links at the temporary names", at_temporary_names, true},
      {"write into FIFOs at the temporary names", fifos_at_temporary_names, true},
  };
  std::string before = read_all(target_);
  for (const Case& c : cases) {
    fs::remove_all(open_);
    ASSERT_EQ(shell_as_other_user("mkdir -m 0777 " + open_.string()), 0);
    std::string file = (open_ / "cache.xml").string();
    int status = run_in_child([&] {
      std::string attack = "cd " + open_.string() + " && PID=" + std::to_string(getpid()) + " VALID='" + valid +
                           "' && " + c.attack;
      if (shell_as_other_user(attack) != 0) return 3;
      if (c.write) {
        CacheContents other = contents();
        other.fw = "written";
        CacheFile::write(file, other);
        return 0;
      }
      return CacheFile::read(file) ? 1 : 0;
    });
    EXPECT_EQ(status, 0) << c.what << (status == kChildHung ? ": hung" : status == 1 ? ": read it" : "");
    EXPECT_TRUE(read_all(target_) == before) << c.what << ": the user's file changed";
    struct stat st;
    ASSERT_EQ(stat(target_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << c.what;
  }
}

// Not an attack, but the same promise: a cache that cannot be written whole leaves the old one.
TEST(CacheFileFullDisk, AWriteThatCannotCompleteLeavesTheOldFileAndNoTemporaryFile) {
  const fs::path folder = fs::temp_directory_path() / ("dovod_cache_full_" + std::to_string(getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  const fs::path name = folder / "C52B_811C9DC5.xml";
  ASSERT_TRUE(CacheFile::write(name.string(), contents()));
  const std::string before = read_all(name);

  CacheContents bigger = contents();
  for (int i = 0; i < 64; ++i) bigger.commands[{0x10, 0xFF, static_cast<Byte>(i), 0x1A}] = Bytes(16, 0x5A);
  const int status = vorn::testing::run_on_full_disk(before.size() + 16, [&] {
    return CacheFile::write(name.string(), bigger) ? 1 : 0;
  });
  EXPECT_EQ(status, 0) << "the write must fail";
  EXPECT_EQ(read_all(name), before);
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++files;
  EXPECT_EQ(files, 1u);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace dovod::testing
