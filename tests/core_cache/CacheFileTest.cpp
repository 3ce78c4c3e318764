#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "core/CacheFile.h"
#include "core/CacheFileName.h"

namespace dovod::testing {
namespace {

TEST(CacheFileName, HashesThePathIntoTheDeviceFileName) {
  // FNV-1a reference values: the empty text is the offset basis itself.
  EXPECT_EQ(fnv1a_32(""), 0x811C9DC5u);
  EXPECT_EQ(fnv1a_32("a"), 0xE40C292Cu);
  EXPECT_EQ(fnv1a_32("foobar"), 0xBF9CF968u);

  EXPECT_EQ(device_cache_file_name("/data/", 0xC52B, ""), "/data/C52B_811C9DC5.xml");
  EXPECT_EQ(device_cache_file_name("/data/", 0x0A, "a"), "/data/A_E40C292C.xml");
  EXPECT_EQ(device_cache_file_name("C:\\cache\\", 0x10, "foobar"), "C:\\cache\\10_BF9CF968.xml");
  EXPECT_EQ(generic_cache_file_name("/data/", 0xC52B), "/data/C52B.xml");
}

CacheContents sample() {
  CacheContents c;
  c.fw = "QRX 12.03.B0017";
  c.path = "\\\\?\\hid#vid_1234&pid_5678#\"quoted\"<odd>";
  c.commands[{0x10, 0xFF, 0x00, 0x0A, 0x00, 0x01, 0x00}] = {0x11, 0xFF, 0x00, 0x0A, 0x00, 0x01, 0x02};
  c.commands[{0x10, 0x01, 0x00, 0x1A}] = {0x11, 0x01, 0x00, 0x1A, 0xFE};
  return c;
}

TEST(CacheFile, WritesTheDocumentInRequestOrderAndReadsItBack) {
  CacheContents c = sample();
  std::string text = CacheFile::format(c);
  EXPECT_NE(text.find("<?xml version=\"1.0\" encoding=\"utf-8\"?>"), std::string::npos) << text;
  std::size_t low = text.find("cmd=\"10010"), high = text.find("cmd=\"10FF000A000100\" rsp=\"11FF000A000102\"");
  ASSERT_NE(low, std::string::npos) << text;
  ASSERT_NE(high, std::string::npos) << text;
  EXPECT_LT(low, high);

  auto back = CacheFile::parse(text);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->fw, c.fw);
  EXPECT_EQ(back->path, c.path);
  EXPECT_EQ(back->commands, c.commands);
}

TEST(CacheFile, AcceptsWhatOtherWritersMayProduce) {
  struct Case {
    const char* name;
    const char* text;
    std::size_t entries;
  } cases[] = {
      {"no declaration, lower-case hex", "<cache fw='x'><command cmd='10ff' rsp='11ff'/></cache>", 1},
      {"duplicate request keeps the first",
       "<cache fw='x'><command cmd='10FF' rsp='01'/><command cmd='10FF' rsp='02'/></cache>", 1},
      {"no fw, other elements ignored", "<cache><other/><command cmd='AA' rsp='BB'></command></cache>", 1},
      {"empty cache", "<?xml version='1.0'?>\n<cache fw='x' path='p'/>", 0},
  };
  for (const auto& c : cases) {
    auto parsed = CacheFile::parse(c.text);
    ASSERT_TRUE(parsed) << c.name;
    EXPECT_EQ(parsed->commands.size(), c.entries) << c.name;
  }
  EXPECT_EQ(CacheFile::parse(cases[1].text)->commands.begin()->second, Bytes{0x01});
  EXPECT_EQ(CacheFile::parse(cases[2].text)->fw, "");
}

TEST(CacheFile, AnythingElseReadsAsNoCache) {
  std::string deep;
  for (int i = 0; i < 80000; ++i) deep += "<a>";  // within the size limit
  std::string huge = "<cache fw='x'>";
  while (huge.size() <= CacheFile::kMaxSize) huge += "<command cmd='10FF000A000100' rsp='11FF000A000102'/>";
  huge += "</cache>";
  struct Case {
    const char* name;
    std::string text;
  } cases[] = {
      {"empty", ""},
      {"not xml", "hello, world"},
      {"binary", std::string("\0\xff\x01<", 4)},
      {"truncated", CacheFile::format(sample()).substr(0, 80)},
      {"unterminated attribute", "<cache fw='x><command cmd='10' rsp='11'/></cache>"},
      {"other root", "<other><command cmd='10' rsp='11'/></other>"},
      {"odd hex length", "<cache><command cmd='10F' rsp='11'/></cache>"},
      {"non-hex digit", "<cache><command cmd='10FG' rsp='11'/></cache>"},
      {"missing reply", "<cache><command cmd='10FF'/></cache>"},
      {"empty request", "<cache><command cmd='' rsp='11'/></cache>"},
      {"nested too deep", deep},
      {"comment", "<cache><!-- x --><command cmd='10' rsp='11'/></cache>"},
      {"over the size limit", huge},
  };
  for (const auto& c : cases) EXPECT_FALSE(CacheFile::parse(c.text)) << c.name;
}

// Text that the parser reads as one element per "<b>", though a quote or a '<' seems to hide it.
std::string nested_behind(const std::string& opening, int levels) {
  std::string text = "<cache fw='x'>" + opening;
  for (int i = 0; i < levels; ++i) text += "<b>";
  return text;
}

TEST(CacheFile, NestingIsCountedWhereTheParserSeesIt) {
  // 60 000 levels fit in the size limit and would use up the stack of the parser's recursion.
  constexpr int kDeep = 60000;
  struct Case {
    const char* name;
    std::string text;
    bool accepted;
  } cases[] = {
      {"a double quote in an element name", nested_behind("<a\">", kDeep), false},
      {"an apostrophe in an element name", nested_behind("<a'>", kDeep), false},
      {"a quote in an attribute name", nested_behind("<a b\"='1'>", kDeep), false},
      {"a quote in a closing tag's name", nested_behind("<a></a\">", kDeep), false},
      {"a processing instruction with a quote", nested_behind("<?pi \" ?>", kDeep), false},
      {"behind a byte order mark", "\xEF\xBB\xBF" + nested_behind("", kDeep), false},
      {"a doctype", "<!DOCTYPE cache [<!ENTITY x '<b>'>]>" + nested_behind("", 10), false},
      {"CDATA", nested_behind("<![CDATA[", 10), false},
      // Tags only in appearance: in attribute values, instructions and names.
      {"tags in an attribute value",
       "<cache fw='" + std::string(200, '<') + "<b><b><b><b><b><b><b><b><b><b>'><command cmd='10' rsp='11'/></cache>",
       true},
      {"tags in an instruction", "<?pi <b><b><b><b><b><b><b><b><b><b> ?><cache fw='x'/>", true},
      {"a '<' inside an element name", "<cache fw='x'><b<b<b<b<b<b<b<b<b<b/><command cmd='10' rsp='11'/></cache>", true},
  };
  for (const auto& c : cases) {
    ASSERT_LE(c.text.size(), CacheFile::kMaxSize) << c.name;
    EXPECT_EQ(CacheFile::parse(c.text).has_value(), c.accepted) << c.name;
  }
}

TEST(CacheFile, OnlyAFileForTheKnownFirmwareOrAnUnknownOneFits) {
  CacheContents c = sample();
  EXPECT_TRUE(CacheFile::fits(c, ""));
  EXPECT_TRUE(CacheFile::fits(c, c.fw));
  EXPECT_FALSE(CacheFile::fits(c, "QRX 12.04.B0020"));
  c.fw.clear();
  EXPECT_FALSE(CacheFile::fits(c, "QRX 12.04.B0020"));
}

class CacheFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    folder_ = std::filesystem::temp_directory_path() / ("dovod_cache_test_" + std::to_string(random()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  std::string file(const char* name) { return (folder_ / name).string(); }
  std::filesystem::path folder_;
};

TEST_F(CacheFileOnDisk, WriteReplacesTheWholeFileAndLeavesNothingElse) {
  std::string name = file("C52B_811C9DC5.xml");
  std::ofstream(name) << std::string(CacheFile::kMaxSize / 2, 'x');
  CacheContents c = sample();
  ASSERT_TRUE(CacheFile::write(name, c));
  c.commands.erase(c.commands.begin());
  ASSERT_TRUE(CacheFile::write(name, c));
  auto back = CacheFile::read(name);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->commands, c.commands);
  std::size_t files = 0;
  for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(folder_)) ++files;
  EXPECT_EQ(files, 1u);
}

TEST_F(CacheFileOnDisk, MissingOversizedOrUnwritableFilesAreNoCache) {
  EXPECT_FALSE(CacheFile::read(file("missing.xml")));

  std::string big = file("big.xml");
  std::ofstream(big) << "<cache fw='x'/>" << std::string(CacheFile::kMaxSize, ' ');
  EXPECT_FALSE(CacheFile::read(big));

  EXPECT_FALSE(CacheFile::write(file("no_such_folder/1.xml"), sample()));
}

}  // namespace
}  // namespace dovod::testing
