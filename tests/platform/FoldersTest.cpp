#include <chrono>
#include <fstream>

#include "PlatformFixture.h"
#include "dovod/LastError.h"
#include "platform/Folders.h"

namespace dovod::testing {
namespace {

using platform::Folders;
using FoldersTest = PlatformTest;
namespace fs = std::filesystem;

TEST_F(FoldersTest, UserFoldersEndInASeparator) {
  for (const std::string& folder : {Folders::temp_folder(), Folders::documents_folder()}) {
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), Folders::separator) << folder;
  }
  EXPECT_TRUE(fs::is_directory(Folders::temp_folder()));
}

TEST_F(FoldersTest, CreateDirectoryAcceptsAnExistingFolderOnly) {
  std::string folder = (folder_ / "logs").string();
  EXPECT_TRUE(Folders::create_directory(folder));
  EXPECT_TRUE(Folders::create_directory(folder));
  EXPECT_TRUE(fs::is_directory(folder));

  std::ofstream(folder_ / "file") << "x";
  clear_last_error();
  EXPECT_FALSE(Folders::create_directory((folder_ / "file").string()));
  EXPECT_NE(last_error().system_error, 0u);
  EXPECT_FALSE(Folders::create_directory((folder_ / "missing" / "deeper").string()));
}

TEST_F(FoldersTest, ListsMatchingFilesWithTheirAge) {
  auto now = fs::file_time_type::clock::now();
  struct File {
    const char* name;
    int age_hours;
  } files[] = {{"xlog_1_app_dovod.dblog", 0}, {"xlog_2_app_dovod.dblog", 48}, {"xlog_3_other_dovod.dblog", 0},
               {"xlog_app_dovod.dblog.bak", 0}};
  for (const File& f : files) {
    std::ofstream(folder_ / f.name) << "x";
    fs::last_write_time(folder_ / f.name, now - std::chrono::hours(f.age_hours));
  }
  fs::create_directories(folder_ / "xlog_9_app_dovod.dblog");  // a folder is not a file

  std::string folder = folder_.string() + Folders::separator;
  auto listed = Folders::list_files(folder, "xlog_*_app_dovod.dblog");
  ASSERT_EQ(listed.size(), 2u);
  if (listed[0].name != files[0].name) std::swap(listed[0], listed[1]);
  EXPECT_EQ(listed[0].name, files[0].name);
  EXPECT_EQ(listed[1].name, files[1].name);
  // 100-nanosecond units: two days apart, give or take the file system's resolution.
  std::uint64_t two_days = 2ull * 24 * 3600 * 10000000;
  std::uint64_t apart = listed[0].last_write - listed[1].last_write;
  EXPECT_NEAR(static_cast<double>(apart), static_cast<double>(two_days), 2e7);

  EXPECT_TRUE(Folders::list_files(folder_.string() + Folders::separator + "nothing" + Folders::separator, "*").empty());
}

TEST_F(FoldersTest, DeleteFileReportsTheSystemError) {
  std::string path = (folder_ / "gone.txt").string();
  std::ofstream(path) << "x";
  EXPECT_TRUE(Folders::delete_file(path));
  EXPECT_FALSE(fs::exists(path));
  clear_last_error();
  EXPECT_FALSE(Folders::delete_file(path));
  EXPECT_NE(last_error().system_error, 0u);
}

}  // namespace
}  // namespace dovod::testing
