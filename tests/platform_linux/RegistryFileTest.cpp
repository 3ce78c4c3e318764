#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iterator>

#include "../platform/PlatformFixture.h"
#include "ChildProcess.h"
#include "OtherUser.h"
#include "dovod/LastError.h"

namespace dovod::testing {
namespace {

using platform::Registry;
namespace fs = std::filesystem;

class RegistryFile : public PlatformTest {
 protected:
  // Where the store keeps the key: its path in lower case, one folder per part.
  fs::path key_folder() {
    fs::path folder = folder_ / "dovod-registry";
    std::string part;
    for (char c : key_ + "\\") {
      if (c == '\\') {
        folder /= part;
        part.clear();
      } else {
        part += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      }
    }
    return folder;
  }

  void write_raw(const std::string& content) {
    fs::create_directories(key_folder());
    std::ofstream(key_folder() / "values", std::ios::binary) << content;
  }
};

TEST_F(RegistryFile, HostileOrBrokenLinesReadAsAbsent) {
  struct Case {
    std::string content;
    std::optional<std::uint32_t> number;  // of "logging"
  } cases[] = {
      {"dword:logging=1\n", 1},
      {"dword:logging=4294967295", 4294967295u},
      {"dword:logging=1\r\n", 1},
      {"dword:logging=4294967296\n", std::nullopt},  // does not fit in 4 bytes
      {"dword:logging=99999999999999999999999\n", std::nullopt},
      {"dword:logging=-1\n", std::nullopt},
      {"dword:logging=0x10\n", std::nullopt},
      {"dword:logging=\n", std::nullopt},
      {"dword:logging\n", std::nullopt},
      {"sz:logging=1\n", std::nullopt},
      {"qword:logging=1\n", std::nullopt},
      {"dword:logging=1%\n", std::nullopt},
      {"dword:logging=%4\n", std::nullopt},
      {"dword:lo%67ging=5\n", 5},
      {"dword:logging=1\ndword:LOGGING=2\n", 2},
      {"garbage\n\n\ndword:logging=3\n=\n:\n", 3},
      {std::string("dword:logging=1\0\xff\xfe", 19), std::nullopt},
      {"dword:logging=1\n" + std::string(2 << 20, 'x'), std::nullopt},  // larger than any real key
  };
  for (const Case& c : cases) {
    write_raw(c.content);
    EXPECT_EQ(Registry::read_dword(key_, "logging"), c.number) << c.content.substr(0, 40);
  }
}

TEST_F(RegistryFile, StringsKeepTheirEscapedBytesUpToAZero) {
  write_raw("sz:LogTags=-* +A%0A%25\nsz:Cut=a%00b\nsz:Bad=%zz\n");
  EXPECT_EQ(Registry::read_string(key_, "LogTags", 1024), "-* +A\n%");
  EXPECT_EQ(Registry::read_string(key_, "Cut", 1024), "a");
  EXPECT_FALSE(Registry::read_string(key_, "Bad", 1024));
}

TEST_F(RegistryFile, WritesReplaceTheWholeFileAndLeaveNoTemporaryFiles) {
  ASSERT_TRUE(Registry::write_dword(key_, "NumRetries", 3));
  ASSERT_TRUE(Registry::write_string(key_, "HubcastPath", "C:\\x=y\n"));
  ASSERT_TRUE(Registry::write_dword(key_, "NumRetries", 4));
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(key_folder())) names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"values"});
  std::ifstream in(key_folder() / "values");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "sz:HubcastPath=C:\\x=y%0A\ndword:NumRetries=4\n");
}

TEST_F(RegistryFile, KeysThatWouldLeaveTheStoreAreRefused) {
  for (std::string key : {"Software\\..\\..\\escaped", "Software\\a/b", "Software\\\\x", "", "Software\\."}) {
    clear_last_error();
    EXPECT_FALSE(Registry::write_dword(key, "v", 1)) << key;
    EXPECT_NE(last_error().code, ErrorCode::None) << key;
    EXPECT_FALSE(Registry::read_dword(key, "v")) << key;
    EXPECT_FALSE(Registry::delete_key(key)) << key;
  }
  EXPECT_FALSE(fs::exists(folder_ / "escaped"));
}

TEST_F(RegistryFile, AFolderInPlaceOfTheFileFailsCleanly) {
  fs::create_directories(key_folder() / "values");
  EXPECT_FALSE(Registry::read_dword(key_, "v"));
  clear_last_error();
  EXPECT_FALSE(Registry::write_dword(key_, "v", 1));
  EXPECT_NE(last_error().system_error, 0u);
}

TEST_F(RegistryFile, AWriteThatCannotCompleteLeavesTheOldValuesWhole) {
  struct Case {
    const char* what;
    std::function<bool()> write;
  } cases[] = {
      // The whole key would pass the size at which it still reads back.
      {"a value too large for the store",
       [this] { return Registry::write_string(key_, "HubcastPath", std::string(1 << 20, 'x')); }},
      {"a full disk", [this] {
         return vorn::testing::run_on_full_disk(
                    256, [this] { return Registry::write_string(key_, "HubcastPath", std::string(1024, 'x')) ? 1 : 0; }) == 1;
       }},
  };
  ASSERT_TRUE(Registry::write_dword(key_, "NumRetries", 3));
  ASSERT_TRUE(Registry::write_string(key_, "HubcastPath", "C:\\hub.exe"));
  const auto content = [this] {
    std::ifstream in(key_folder() / "values", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string before = content();
  for (const Case& c : cases) {
    EXPECT_FALSE(c.write()) << c.what;
    EXPECT_TRUE(content() == before) << c.what << ": the values file changed";
    EXPECT_EQ(Registry::read_dword(key_, "NumRetries"), 3u) << c.what;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(key_folder())) names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"values"}) << c.what;
  }
}

// The configuration folder is the user's own on a real system; here it is one where another user
// may create entries, to see that the store trusts nothing that user prepared.
TEST_F(RegistryFile, EntriesAnotherUserPlantedAreNeitherReadNorWrittenThrough) {
  VORN_REQUIRE_OTHER_USER();
  fs::path shared = folder_ / "shared";
  vorn::testing::make_shared_folder(shared);
  setenv("XDG_CONFIG_HOME", shared.c_str(), 1);
  fs::path target = folder_ / "target";
  std::ofstream(target) << "dword:logging=7\n";
  chmod(target.c_str(), 0640);
  std::string key_path = (shared / "dovod-registry" / "software" / "corvane").string();
  struct Case {
    const char* what;
    std::string attack;  // run as the other user in the key's folder, which that user made
  } cases[] = {
      {"a link to the user's file", "ln -s " + target.string() + " values"},
      {"a FIFO", "mkfifo values"},
      {"a file of the other user's", "printf 'dword:logging=7\\n' > values"},
  };
  for (const Case& c : cases) {
    vorn::testing::shell_as_other_user("rm -rf " + (shared / "dovod-registry").string());
    ASSERT_EQ(vorn::testing::shell_as_other_user("mkdir -m 0777 -p " + key_path + " && cd " + key_path + " && " + c.attack), 0)
        << c.what;
    int status = vorn::testing::run_in_child([&] {
      if (Registry::read_dword("Software\\Corvane", "logging")) return 1;
      if (Registry::write_dword("Software\\Corvane", "logging", 1)) return 2;
      return 0;
    });
    EXPECT_EQ(status, 0) << c.what << (status == vorn::testing::kChildHung ? ": hung" : "");
    std::ifstream in(target);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "dword:logging=7\n") << c.what;
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << c.what;
  }
  vorn::testing::shell_as_other_user("rm -rf " + (shared / "dovod-registry").string());
  setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
}

}  // namespace
}  // namespace dovod::testing
