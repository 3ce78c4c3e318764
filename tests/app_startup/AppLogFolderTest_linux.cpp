// The application log in a Documents folder the tool cannot use, and on a disk that fills up: the
// log goes quiet or loses the lines that do not fit, while every line still reaches the debugger
// output and what reaches the file stays whole lines.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <string>

#include "AppTestFixture.h"
#include "ChildProcess.h"
#include "OtherUser.h"
#include "app/AppOptions.h"

namespace vorn::testing {
namespace {

namespace fs = std::filesystem;

std::string log_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

using AppLogFolderTest = AppTest;

// Runs the body where the folder's permissions bind: root passes them, so as root the child takes
// an unused uid and the test's folder is given to it first.
int run_as_bound_user(const fs::path& folder, const std::function<int()>& body) {
  if (geteuid() == 0) {
    for (const auto& entry : fs::recursive_directory_iterator(folder))
      if (lchown(entry.path().c_str(), kOtherUid, kOtherUid) != 0) return 98;
    if (lchown(folder.c_str(), kOtherUid, kOtherUid) != 0) return 98;
  }
  return run_in_child([&] {
    if (geteuid() == 0 && (setresgid(kOtherUid, kOtherUid, kOtherUid) != 0 ||
                           setresuid(kOtherUid, kOtherUid, kOtherUid) != 0))
      return 97;
    return body();
  });
}

TEST_F(AppLogFolderTest, AFolderThatIsMissingOrReadOnlyLeavesTheLogSilentAndCreatesNothing) {
  struct Case {
    const char* what;
    std::function<void(const fs::path& documents)> prepare;
  } cases[] = {
      {"missing", [](const fs::path&) {}},
      {"read-only", [](const fs::path& documents) {
         fs::create_directories(documents);
         chmod(documents.c_str(), 0500);
       }},
  };
  int index = 0;
  for (const Case& c : cases) {
    const fs::path documents = folder_ / ("case" + std::to_string(++index)) / "Documents";
    fs::create_directories(documents.parent_path());
    c.prepare(documents);
    setenv("XDG_DOCUMENTS_DIR", documents.c_str(), 1);
    const int status = run_as_bound_user(folder_, [&] {
      Options().log = true;
      OpenApplicationLog();
      LogMessage(L"nowhere to write\n");
      return logged(L"nowhere to write\n") ? 0 : 1;
    });
    EXPECT_EQ(status, 0) << c.what;
    if (fs::exists(documents)) {
      EXPECT_TRUE(fs::is_empty(documents)) << c.what;
    } else {
      EXPECT_STREQ(c.what, "missing");
    }
  }
}

TEST_F(AppLogFolderTest, LinesAFullDiskCutAreTakenBackAndLaterLinesStayReadable) {
  const fs::path path = folder_ / "app.log";
  const int status = run_on_full_disk(301, [&] {
    OpenLogFile(path.wstring());
    for (int i = 0; i < 20; ++i) LogMessage(L"line %d\n", i);
    // Room again: the soft limit goes back up to the hard one.
    rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_FSIZE, &limit);
    LogMessage(L"after the disk has room\n");
    return messages().size() == 21 ? 0 : 1;
  });
  ASSERT_EQ(status, 0) << "every line reaches the debugger output";

  const std::string bytes = log_bytes(path);
  ASSERT_EQ(bytes.size() % 2, 0u) << "a UTF-16 file cut inside a character";
  ASSERT_GE(bytes.size(), 2u);
  ASSERT_LE(bytes.size(), 301u + 2 * 40);
  std::string text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) text.push_back(bytes[i + 1] ? '?' : bytes[i]);
  const std::regex whole_line(R"(\d{5}\.\d{3}: (line \d+|after the disk has room))");
  std::size_t start = 0, lines = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2, ++lines)
    EXPECT_TRUE(std::regex_match(text.substr(start, end - start), whole_line)) << text.substr(start, end - start);
  EXPECT_EQ(start, text.size()) << "the file ends inside a line";
  EXPECT_GT(lines, 1u);
  EXPECT_LT(lines, 21u);
  EXPECT_NE(text.find("after the disk has room\r\n"), std::string::npos);
}

}  // namespace
}  // namespace vorn::testing
