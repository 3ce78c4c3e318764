#include <fnmatch.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dovod/MakerValues.h"

namespace dovod {
namespace {

// One key of a rule line: `ENV{VORN_HID}!="1"` is key ENV, attribute VORN_HID, operator !=.
struct RuleKey {
  std::string key;
  std::string attribute;
  std::string op;
  std::string value;
};

using RuleLine = std::vector<RuleKey>;

// The rules file as udev reads it, each line split into its keys.
std::vector<RuleLine> rule_lines() {
  const char* source = std::getenv("VORN_SOURCE_DIR");
  EXPECT_NE(source, nullptr) << "VORN_SOURCE_DIR names the source tree (ctest sets it)";
  if (!source) return {};
  const auto rules = std::filesystem::path(source) / "dovod/Source/Linux/70-vorn-hid.rules";
  std::ifstream in(rules);
  EXPECT_TRUE(in.is_open()) << rules;
  const std::regex key(R"re(\s*([A-Z]+)(?:\{([A-Za-z_]+)\})?(==|!=|\+=|=)"([^"]*)"\s*(,|$))re");
  std::vector<RuleLine> lines;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    RuleLine keys;
    auto at = line.cbegin();
    std::smatch m;
    while (at != line.cend() && std::regex_search(at, line.cend(), m, key, std::regex_constants::match_continuous)) {
      keys.push_back({m[1].str(), m[2].str(), m[3].str(), m[4].str()});
      at = m[0].second;
    }
    EXPECT_TRUE(at == line.cend()) << "not understood: " << line;
    lines.push_back(std::move(keys));
  }
  return lines;
}

// Read once: the sweep over every product id runs the rules many thousand times.
const std::vector<RuleLine>& rules() {
  static const std::vector<RuleLine> lines = rule_lines();
  return lines;
}

// udev's patterns: shell globs, with | between alternatives.
bool pattern_matches(const std::string& pattern, const std::string& text) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t bar = pattern.find('|', start);
    if (::fnmatch(pattern.substr(start, bar - start).c_str(), text.c_str(), 0) == 0) return true;
    if (bar == std::string::npos) return false;
    start = bar + 1;
  }
}

// A device in the chain from the node up: its subsystem, kernel name and sysfs attributes.
struct SysDevice {
  std::string subsystem;
  std::string kernel;
  std::map<std::string, std::string> attributes;
};

// A hidraw node (or another node of the same HID device) and what lies above it.
struct Node {
  std::string subsystem = "hidraw";
  std::string hid_kernel;                           // bus:vendor:product.instance
  std::optional<std::string> usb_interface_subclass;  // none: Bluetooth or uhid
};

// Runs the rules over the node the way udev does and answers whether the seat's user gets it.
bool granted(const Node& node) {
  std::vector<SysDevice> chain{{node.subsystem, "hidraw5", {}}, {"hid", node.hid_kernel, {}}};
  if (node.usb_interface_subclass) {
    chain.push_back({"usb", "1-1:1.2", {{"bInterfaceSubClass", *node.usb_interface_subclass}}});
    chain.push_back({"usb", "1-1", {{"idVendor", "3a7c"}}});
  }
  std::map<std::string, std::string> env;
  bool tagged = false;
  std::string skip_to;
  for (const RuleLine& line : rules()) {
    if (!skip_to.empty()) {
      if (line.size() == 1 && line[0].key == "LABEL" && line[0].value == skip_to) skip_to.clear();
      continue;
    }
    auto holds = [](const RuleKey& k, const std::string& actual) {
      return pattern_matches(k.value, actual) == (k.op == "==");
    };
    bool matched = true;
    std::vector<const RuleKey*> parent_keys;
    for (const RuleKey& k : line) {
      if (k.op != "==" && k.op != "!=") continue;
      if (k.key == "SUBSYSTEM") {
        matched = matched && holds(k, chain[0].subsystem);
      } else if (k.key == "ENV") {
        matched = matched && holds(k, env[k.attribute]);
      } else if (k.key == "KERNELS" || k.key == "SUBSYSTEMS" || k.key == "ATTRS") {
        parent_keys.push_back(&k);
      } else {
        ADD_FAILURE() << "a match this test does not know: " << k.key;
        return false;
      }
    }
    // Keys about the parents must all hold on one device of the chain.
    if (!parent_keys.empty()) {
      bool one_device = false;
      for (const SysDevice& device : chain) {
        bool all = true;
        for (const RuleKey* k : parent_keys) {
          if (k->key == "KERNELS") all = all && holds(*k, device.kernel);
          if (k->key == "SUBSYSTEMS") all = all && holds(*k, device.subsystem);
          if (k->key == "ATTRS") {
            auto attribute = device.attributes.find(k->attribute);
            all = all && attribute != device.attributes.end() && holds(*k, attribute->second);
          }
        }
        one_device = one_device || all;
      }
      matched = matched && one_device;
    }
    if (!matched) continue;
    for (const RuleKey& k : line) {
      if (k.key == "ENV" && k.op == "=") env[k.attribute] = k.value;
      if (k.key == "TAG" && k.op == "+=" && k.value == "uaccess") tagged = true;
      if (k.key == "GOTO") skip_to = k.value;
    }
  }
  return tagged;
}

std::string hid_kernel(const char* bus, unsigned vid, unsigned pid) {
  char name[32];
  std::snprintf(name, sizeof(name), "%s:%04X:%04X.0003", bus, vid, pid);
  return name;
}

Node usb(unsigned vid, unsigned pid, const char* subclass = "00") {
  return {"hidraw", hid_kernel("0003", vid, pid), subclass};
}

struct RuleCase {
  const char* name;
  Node node;
  bool granted;
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }

class UdevRules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(UdevRules, GrantTheMakersKnownProductsOutsideTheirBootInterfacesOnly) {
  ASSERT_FALSE(rules().empty());
  EXPECT_EQ(granted(GetParam().node), GetParam().granted);
}

INSTANTIATE_TEST_SUITE_P(
    Nodes, UdevRules,
    ::testing::Values(
        RuleCase{"KeyboardVendorInterface", usb(maker::kVendorId, maker::kKeyboardPid), true},
        RuleCase{"KeyboardBootInterface", usb(maker::kVendorId, maker::kKeyboardPid, "01"), false},
        RuleCase{"ReceiverVendorInterface", usb(maker::kVendorId, 0xC510), true},
        RuleCase{"ReceiverBootInterface", usb(maker::kVendorId, 0xC510, "01"), false},
        RuleCase{"LongReportOnlyProduct", usb(maker::kVendorId, maker::kLongReportOnlyPid), true},
        RuleCase{"KeyboardOverBluetooth", {"hidraw", hid_kernel("0005", maker::kVendorId, maker::kKeyboardPid), {}}, true},
        RuleCase{"KeyboardOverUhid", {"hidraw", hid_kernel("0003", maker::kVendorId, maker::kKeyboardPid), {}}, true},
        RuleCase{"ReceiverRangeFirstNotInTheTable", usb(maker::kVendorId, maker::kReceiverPidFirst), false},
        RuleCase{"ReceiverRangeLastNotInTheTable", usb(maker::kVendorId, maker::kReceiverPidLast), false},
        RuleCase{"BelowTheReceiverRange", usb(maker::kVendorId, maker::kReceiverPidFirst - 1), false},
        RuleCase{"MakerUnknownProduct", usb(maker::kVendorId, 0x0001), false},
        RuleCase{"OtherVendorWithTheKeyboardsProductId", usb(0x1234, maker::kKeyboardPid), false},
        RuleCase{"OtherVendorOverBluetooth", {"hidraw", hid_kernel("0005", 0x1234, 0x0001), {}}, false},
        RuleCase{"KeyboardInputEventNode", {"input", hid_kernel("0003", maker::kVendorId, maker::kKeyboardPid), "00"}, false}),
    [](const auto& info) { return std::string(info.param.name); });

// The ids in the rules must follow the library's tables: every product it speaks to, and no other.
TEST(UdevRulesIds, FollowTheProductsTheLibraryKnows) {
  ASSERT_FALSE(rules().empty());
  for (unsigned pid = 0; pid <= 0xFFFF; ++pid) {
    ASSERT_EQ(granted(usb(maker::kVendorId, pid)), maker::known_product(pid)) << std::hex << pid;
  }
}

}  // namespace
}  // namespace dovod
