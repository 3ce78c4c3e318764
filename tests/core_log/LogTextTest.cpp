#include <cstdarg>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "core/LogFormat.h"
#include "core/LogSettings.h"
#include "core/LogTagFilter.h"

namespace dovod::log {
namespace {

std::string format(const char* fmt, ...) {
  char out[kLineBytes];
  va_list args;
  va_start(args, fmt);
  std::size_t n = format_into(out, fmt, args);
  va_end(args);
  EXPECT_EQ(n, std::string(out).size());
  return std::string(out, n);
}

TEST(LogFormat, FitsOrEndsInTruncationMark) {
  EXPECT_EQ(format("%s=%d", "a", 5), "a=5");
  std::string fits(1023, 'x');
  EXPECT_EQ(format("%s", fits.c_str()), fits);

  std::string longer(1024, 'y');
  std::string cut = format("%s", longer.c_str());
  EXPECT_EQ(cut.size(), 1023u);
  EXPECT_EQ(cut.substr(1010), " (truncated) ");
  EXPECT_EQ(cut.substr(0, 1010), std::string(1010, 'y'));

  std::string cut_line = format("%s\n", longer.c_str());
  EXPECT_EQ(cut_line.size(), 1023u);
  EXPECT_EQ(cut_line.substr(1010), " (truncated)\n");
}

TEST(LogFormat, TagPrefix) {
  struct Case {
    const char* text;
    const char* tag;
  } cases[] = {
      {"-DeviceManager- started", "DeviceManager"},
      {"-A- ", "A"},
      {"-A-x", ""},         // no blank after the prefix
      {"--x y", ""},        // empty name
      {"-a b- c", ""},      // blank inside the name
      {"-a-b- c", ""},      // minus inside the name
      {"-%s- text", ""},    // a conversion is not a name
      {"DeviceManager started", ""},
      {"-A-", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(tag_prefix(c.text), c.tag) << c.text;
}

TEST(LogFormat, ShortensFunctionAndDropsRepeatedName) {
  struct Case {
    const char* function;
    const char* message;
    const char* short_function;
    const char* short_message;
  } cases[] = {
      {"dovod::CDovod::config_set", "config_set 5 = 1", "CDovod::config_set", "5 = 1"},
      {"dovod::DeviceManager::addBus", "DeviceManager::addBus enter", "DeviceManager::addBus", "enter"},
      {"bool __cdecl dovod::DeviceManager::addBus(std::shared_ptr<dovod::IBus>, int (*)(char))", "addBus exit",
       "DeviceManager::addBus", "exit"},
      {"void *dovod::Pool::take(size_t)", "x", "Pool::take", "x"},
      {"dovod::A::b", "bcd", "A::b", "bcd"},          // only a whole word is a repeat
      {"dovod::A::b", "b", "A::b", ""},
      {"free_function", "free_function called", "free_function", "called"},
      {"dovod::A::b(int", "b (", "A::b(int", "b ("},  // unbalanced: nothing cut
      {"", "text", "", "text"},
  };
  for (const Case& c : cases) {
    ShortName name = shorten(c.function, c.message);
    EXPECT_EQ(name.function, c.short_function) << c.function;
    EXPECT_EQ(name.message, c.short_message) << c.function;
  }
}

TEST(LogTagFilter, AppliesTokensInOrder) {
  struct Case {
    const char* tokens;  // null: "LogTags" absent
    const char* passing;
    const char* failing;
    const char* described;
  } cases[] = {
      {nullptr, "", "DeviceManager Dovod", " -*"},
      {"-* +DeviceManager", "DeviceManager", "Dovod devicemanager", " -* +DeviceManager"},
      {"+A -A", "B", "A", " -A"},
      {"-A +A", "A B", "", " +A"},
      {"+A -*", "", "A B", " -*"},
      {"-* +B +A -C +C -C", "A B", "C D", " -* +A +B -C"},
      {"   ", "A", "", ""},        // only empty tokens: tags are no longer all off
      {"+ - x", "A", "", ""},      // signs without a name and plain words are ignored
  };
  for (const Case& c : cases) {
    TagFilter filter = c.tokens ? TagFilter(c.tokens) : TagFilter();
    std::string label = c.tokens ? c.tokens : "(absent)";
    std::istringstream passing(c.passing), failing(c.failing);
    for (std::string tag; passing >> tag;) EXPECT_TRUE(filter.passes(tag)) << label << " / " << tag;
    for (std::string tag; failing >> tag;) EXPECT_FALSE(filter.passes(tag)) << label << " / " << tag;
    EXPECT_EQ(filter.describe(), c.described) << label;
  }
}

TEST(LogSettings, ProcessNameAndKeyFromExecutablePath) {
  struct Case {
    const char* path;
    const char* name;
    const char* key;
  } cases[] = {
      {"C:\\Program Files\\Vorn\\Updater.exe", "Updater", "SOFTWARE\\Corvane\\xLog\\dovod\\Updater.exe"},
      {"/usr/bin/vorn-firmware-update", "vornfirmwareupdate", "SOFTWARE\\Corvane\\xLog\\dovod\\vorn-firmware-update"},
      {"/opt/a.b/my_tool.v2.exe", "mytool", "SOFTWARE\\Corvane\\xLog\\dovod\\my_tool.v2.exe"},
      {"/x/ABCDEFGHIJKLMNOPQRSTUVWXYZ", "ABCDEFGHIJKLMNOPQRS", "SOFTWARE\\Corvane\\xLog\\dovod\\ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
      {"", "", "SOFTWARE\\Corvane\\xLog\\dovod\\"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(process_name_for(c.path), c.name) << c.path;
    EXPECT_EQ(settings_key_for(c.path), c.key) << c.path;
  }
}

}  // namespace
}  // namespace dovod::log
