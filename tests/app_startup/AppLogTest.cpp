#include <cctype>
#include <fstream>
#include <iterator>

#include "AppTestFixture.h"
#include "app/AppOptions.h"
#include "app/LogLine.h"

namespace vorn::testing {
namespace {

std::wstring format(double seconds, const wchar_t* fmt, ...) {
  std::va_list args;
  va_start(args, fmt);
  std::wstring line = FormatLogLine(seconds, fmt, args);
  va_end(args);
  return line;
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The bytes a file holds for ASCII text, as the log encodes it.
std::string utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

TEST(LogLine, TimestampThenMessageWithWideArguments) {
  EXPECT_EQ(format(12.3456, L"CVornDFUDlg::RetryDfu\n"), L"00012.346: CVornDFUDlg::RetryDfu\n");
  EXPECT_EQ(format(0, L"Terminating %s...\n", L"Hubcast.exe"), L"00000.000: Terminating Hubcast.exe...\n");
  EXPECT_EQ(format(1, L"Device 0x%04x is arrived. %c %ls %d%%\n", 0xB33Au, L'k', L"\u00e9", -3),
            L"00001.000: Device 0xb33a is arrived. k \u00e9 -3%\n");
  EXPECT_EQ(format(123456.5, L"x"), L"123456.500: x");
}

TEST(LogLine, LongMessageIsCutToTheBufferAndKeepsItsLineEnd) {
  std::wstring long_text(3000, L'a');
  std::wstring line = format(0, L"%s\n", long_text.c_str());
  ASSERT_EQ(line.size(), 11 + kLogMessageRoom);
  EXPECT_EQ(line.back(), L'\n');
  EXPECT_EQ(line.substr(11, kLogMessageRoom - 1), std::wstring(kLogMessageRoom - 1, L'a'));
  EXPECT_EQ(format(0, L"%s", long_text.c_str()).back(), L'a');
}

TEST(LogLine, FileBytesAreUtf16LittleEndianWithCarriageReturns) {
  EXPECT_EQ(EncodeLogLine(L"a\nb\n"), utf16("a\r\nb\r\n"));
  EXPECT_EQ(EncodeLogLine(L"\u00e9\U0001F600"), std::string("\xE9\x00\x3D\xD8\x00\xDE", 6));
}

using AppLogTest = AppTest;

TEST_F(AppLogTest, NewFileGetsTheByteOrderMarkOnceAndLaterRunsAppend) {
  const std::filesystem::path path = folder_ / "app.log";
  OpenLogFile(path.wstring());
  LogMessage(L"first %d\n", 1);
  OpenLogFile(path.wstring());  // a second run of the tool
  LogMessage(L"second\n");
  CloseLogFileForTesting();
  LogMessage(L"after close\n");

  std::string bytes = read_file(path);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(bytes.find("\xFF\xFE", 2), std::string::npos);
  EXPECT_NE(bytes.find(utf16(": first 1\r\n")), std::string::npos);
  EXPECT_NE(bytes.find(utf16(": second\r\n")), std::string::npos);
  EXPECT_EQ(bytes.find(utf16("after close")), std::string::npos);
  EXPECT_EQ(bytes.size() % 2, 0u);
  // Every line reached the debugger output as well.
  EXPECT_TRUE(logged(L"first 1\n"));
  EXPECT_TRUE(logged(L"after close\n"));
}

TEST_F(AppLogTest, UnopenablePathLeavesTheLogSilent) {
  const std::filesystem::path plain = folder_ / "plain";
  std::ofstream(plain) << "x";
  OpenLogFile((plain / "app.log").wstring());  // a file cannot hold a folder
  OpenLogFile(L"");
  LogMessage(L"still here\n");
  EXPECT_TRUE(logged(L"still here\n"));
  EXPECT_EQ(read_file(plain), "x");
}

#ifndef _WIN32
// Whether `text` follows `pattern`, where '#' stands for any digit.
bool matches(const std::string& text, const std::string& pattern) {
  if (text.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (pattern[i] == '#' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != pattern[i]) return false;
  }
  return true;
}

class DocumentsLogTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    saved_ = Options();
  }
  void TearDown() override {
    Options() = saved_;
    AppTest::TearDown();
  }
  AppOptions saved_;
};

TEST_F(DocumentsLogTest, OpensOnlyWithTheLogOptionAndStartsWithTheRunHeader) {
  std::filesystem::create_directories(folder_ / "Documents");
  const std::filesystem::path path = folder_ / "Documents" / "VornFirmwareUpdate.log";
  Options().log = false;
  OpenApplicationLog();
  LogMessage(L"not in a file\n");
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_TRUE(logged(L"not in a file\n"));

  Options().log = true;
  OpenApplicationLog();
  LogMessage(L"in the file\n");
  std::string bytes = read_file(path);
  ASSERT_GE(bytes.size(), 2u);
  std::string text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) text.push_back(bytes[i]);
  EXPECT_TRUE(matches(text, "#####.###: \r\n\r\n[##/##/#### ##:##:##]\r\n\r\n#####.###: in the file\r\n"))
      << text;
}

TEST_F(DocumentsLogTest, UnwritableDocumentsFolderLeavesTheLogSilent) {
  const std::filesystem::path plain = folder_ / "not-a-folder";
  std::ofstream(plain) << "x";
  setenv("XDG_DOCUMENTS_DIR", plain.string().c_str(), 1);
  Options().log = true;
  OpenApplicationLog();
  LogMessage(L"nowhere to write\n");
  EXPECT_TRUE(logged(L"nowhere to write\n"));
  EXPECT_EQ(read_file(plain), "x");
}
#endif

}  // namespace
}  // namespace vorn::testing
