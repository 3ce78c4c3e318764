#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dovod/MakerValues.h"

namespace dovod {
namespace {

// The rules give access by vendor and product id; they must follow the ids the library uses.
std::vector<std::string> rule_patterns() {
  const char* source = std::getenv("VORN_SOURCE_DIR");
  EXPECT_NE(source, nullptr) << "VORN_SOURCE_DIR names the source tree (ctest sets it)";
  if (!source) return {};
  const auto rules = std::filesystem::path(source) / "dovod/Source/Linux/70-vorn-hid.rules";
  std::ifstream in(rules);
  EXPECT_TRUE(in.is_open()) << rules;
  std::vector<std::string> patterns;
  const std::regex rule(R"re(^SUBSYSTEM=="hidraw", KERNELS=="\*:([0-9A-F?]{4}):([0-9A-F?]{4})\.\*", TAG\+="uaccess"$)re");
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::smatch m;
    EXPECT_TRUE(std::regex_match(line, m, rule)) << line;
    if (m.size() == 3) patterns.push_back(m[1].str() + ":" + m[2].str());
  }
  return patterns;
}

bool matches(const std::string& pattern, unsigned vid, unsigned pid) {
  char id[16];
  std::snprintf(id, sizeof(id), "%04X:%04X", vid, pid);
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '?' && pattern[i] != id[i]) return false;
  }
  return true;
}

bool granted(unsigned vid, unsigned pid) {
  for (const std::string& p : rule_patterns()) {
    if (matches(p, vid, pid)) return true;
  }
  return false;
}

TEST(UdevRules, GrantTheProductsTheLibraryKnowsAndNothingElse) {
  ASSERT_FALSE(rule_patterns().empty());
  // Every product id of the maker: granted exactly when the library speaks to it.
  for (unsigned pid = 0; pid <= 0xFFFF; ++pid) {
    if (granted(maker::kVendorId, pid) != maker::known_product(pid)) ADD_FAILURE() << std::hex << pid;
  }
  EXPECT_FALSE(granted(0x1234, maker::kKeyboardPid));
  EXPECT_FALSE(granted(0x1234, maker::kReceivers[0].pid));
}

}  // namespace
}  // namespace dovod
