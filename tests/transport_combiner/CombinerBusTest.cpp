// The combiner bus: which collections pass through, when a combined device is announced and when it
// goes, and how enumeration and open failures are handled.
#include <algorithm>
#include <string>
#include <vector>

#include "CombinerFixture.h"
#include "dovod/LastError.h"

namespace dovod::testing {
namespace {

using Events = std::vector<std::string>;

TEST_F(CombinerTest, ShortAndLongCollectionsOfOneParentBecomeOneDeviceWhenTheSecondArrives) {
  auto short_one = plug("hid#kbd&col01", short_piece("usb#kbd"));
  EXPECT_TRUE(log.events.empty()) << "half a device is not announced";
  EXPECT_TRUE(combiner->devices().empty());
  host.pump();
  EXPECT_TRUE(log.events.empty());

  auto long_one = plug("hid#kbd&col02", long_piece("usb#kbd"));
  ASSERT_EQ(log.events, Events{"+usb#kbd"});
  const auto combined = log.plugged[0];
  EXPECT_EQ(combined->pid(), maker::kKeyboardPid);
  EXPECT_EQ(combined->product_name(), short_one->product_name()) << "named after the first piece";
  EXPECT_EQ(combined->bus_type(), 0);
  EXPECT_EQ(combined->bus(), combiner);
  EXPECT_TRUE(combined->connected());
  EXPECT_EQ(short_one->opens.load(), 1);
  EXPECT_EQ(long_one->opens.load(), 1);

  EXPECT_EQ(combiner->devices(), std::vector<std::shared_ptr<IHardwareDevice>>{combined})
      << "the same object is listed, and listing it again announces nothing";
  host.pump();
  EXPECT_EQ(log.events.size(), 1u);
}

TEST_F(CombinerTest, WhichCollectionsPassThroughUnmerged) {
  struct Case {
    const char* name;
    int bits;
    int expected;
    bool passed;
  };
  const Case cases[] = {
      {"long-report-only product", 2, 2, true},
      {"three-piece set complete in one collection", 3, 3, true},
      {"short collection of a pair", 1, 3, false},
      {"long collection of a pair", 2, 3, false},
      {"second of three vendor pieces", 0x02, 0x06, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = std::string("hid#") + c.name;
    log.events.clear();
    auto device = plug(path, {"usb#" + path, c.bits, c.expected, 20});
    if (c.passed) {
      ASSERT_EQ(log.events, Events{"+" + path});
      EXPECT_EQ(log.plugged.back(), device) << "passed on as itself";
    } else {
      EXPECT_TRUE(log.events.empty());
    }
    const auto listed = combiner->devices();
    EXPECT_EQ(std::count(listed.begin(), listed.end(), device), c.passed ? 1 : 0);
  }
}

TEST_F(CombinerTest, LosingAPieceUnplugsTheCombinedDeviceAndTheLastPieceRemovesIt) {
  auto short_one = plug("hid#kbd&col01", short_piece("usb#kbd"));
  auto long_one = plug("hid#kbd&col02", long_piece("usb#kbd"));
  const auto first = log.plugged.at(0);
  log.events.clear();

  unplug("hid#kbd&col01");
  EXPECT_EQ(log.events, (Events{"-hid#kbd&col01", "-usb#kbd"}));
  EXPECT_EQ(short_one->closes.load(), 1) << "the departed piece is closed";
  EXPECT_TRUE(combiner->devices().empty());

  log.events.clear();
  plug("hid#kbd&col01", short_piece("usb#kbd"));
  ASSERT_EQ(log.events, Events{"+usb#kbd"});
  EXPECT_EQ(log.plugged.back(), first) << "a piece coming back completes the same object";

  log.events.clear();
  unplug("hid#kbd&col01");
  unplug("hid#kbd&col02");
  EXPECT_EQ(log.events, (Events{"-hid#kbd&col01", "-usb#kbd", "-hid#kbd&col02"}))
      << "the second piece's departure unplugs only that piece";
  EXPECT_EQ(long_one->closes.load(), 1);

  log.events.clear();
  plug("hid#kbd&col02", long_piece("usb#kbd"));
  plug("hid#kbd&col01", short_piece("usb#kbd"));
  ASSERT_EQ(log.events, Events{"+usb#kbd"});
  EXPECT_NE(log.plugged.back(), first) << "a device whose last piece left is made anew";
}

TEST_F(CombinerTest, APieceThatArrivesTwiceKeepsTheFirstObject) {
  auto first = plug("hid#kbd&col01", short_piece("usb#kbd"));
  auto twin = plug("hid#kbd&col01b", short_piece("usb#kbd"));
  plug("hid#kbd&col02", long_piece("usb#kbd"));
  ASSERT_EQ(log.events, Events{"+usb#kbd"});
  const auto combined = log.plugged[0];

  ASSERT_TRUE(combined->write(Bytes(7, 0x10), false));
  EXPECT_EQ(first->written().size(), 1u);
  EXPECT_TRUE(twin->written().empty());

  log.events.clear();
  unplug("hid#kbd&col01b");
  EXPECT_EQ(log.events, Events{"-hid#kbd&col01b"}) << "the unused twin's departure leaves the device whole";
  EXPECT_EQ(combiner->devices().size(), 1u);
}

TEST_F(CombinerTest, ACollectionThatCannotBeOpenedIsIgnoredAndItsSiblingsWaitForIt) {
  // Not present in the enumeration either: the HID bus drops collections it cannot open.
  auto locked_short = fake->MakePiece("hid#kbd&col01", maker::kKeyboardPid, short_piece("usb#kbd"));
  locked_short->open_fails = true;
  combiner->onPlug(locked_short);
  auto locked_whole = fake->MakePiece("hid#other", maker::kKeyboardPid, {});
  locked_whole->open_fails = true;
  combiner->onPlug(locked_whole);
  plug("hid#kbd&col02", long_piece("usb#kbd"));
  host.pump();
  EXPECT_TRUE(log.events.empty());

  plug("hid#kbd&col01", short_piece("usb#kbd"));
  EXPECT_EQ(log.events, Events{"+usb#kbd"});
}

TEST_F(CombinerTest, PiecesWithoutACombineKeyAreNeverMerged) {
  // Two devices whose parent could not be found must not become one device.
  auto a = fake->MakePiece("hid#a&col01", maker::kKeyboardPid, short_piece(""));
  auto b = fake->MakePiece("hid#b&col02", maker::kKeyboardPid, long_piece(""));
  auto whole = fake->MakePiece("hid#whole", maker::kKeyboardPid, {});
  for (const auto& d : {a, b, whole}) fake->AddPresent(d);
  const auto listed = combiner->devices();
  host.pump();
  EXPECT_EQ(listed, std::vector<std::shared_ptr<IHardwareDevice>>{whole});
  EXPECT_TRUE(log.events.empty());
}

TEST_F(CombinerTest, EnumerationCompletesDevicesAndAnnouncesThem) {
  auto short_one = fake->MakePiece("hid#kbd&col01", maker::kKeyboardPid, short_piece("usb#kbd"));
  auto long_one = fake->MakePiece("hid#kbd&col02", maker::kKeyboardPid, long_piece("usb#kbd"));
  auto whole = fake->MakePiece("hid#mouse", maker::kKeyboardPid, {});
  for (const auto& d : {whole, short_one, long_one}) fake->AddPresent(d);

  const auto listed = combiner->devices();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0], whole);
  EXPECT_EQ(listed[1]->path(), "usb#kbd");
  host.pump();
  EXPECT_EQ(log.events, Events{"+usb#kbd"}) << "completed inside devices: returned and announced";
}

// Lists its devices and leaves a code behind, which a bus may do when its list is not empty.
class LeftoverCodeBus : public FakeHardwareBus {
 public:
  std::vector<std::shared_ptr<IHardwareDevice>> devices() override {
    auto found = FakeHardwareBus::devices();
    if (!found.empty()) set_last_error(ErrorCode::WriteFailed);
    return found;
  }
};

TEST_F(CombinerTest, OnlyAFailedEnumerationIsReportedAsAnError) {
  fake->FailEnumeration(1);
  EXPECT_TRUE(combiner->devices().empty());
  EXPECT_EQ(last_error().code, ErrorCode::NotPresent) << "the underlying bus's code, unchanged";

  auto leftover = std::make_shared<LeftoverCodeBus>();
  leftover->attach_self(leftover);
  auto over_leftover = std::make_shared<CombinerBus>(manager(), leftover);
  leftover->AddPresent(leftover->MakePiece("hid#kbd&col01", maker::kKeyboardPid, short_piece("usb#kbd")));
  EXPECT_TRUE(over_leftover->devices().empty());
  EXPECT_EQ(last_error().code, ErrorCode::None) << "a lone piece waiting for its sibling is no failure";

  plug("hid#kbd&col01", short_piece("usb#kbd"));
  fake->FailEnumeration(1);
  plug("hid#kbd&col02", long_piece("usb#kbd"));
  host.pump();
  EXPECT_EQ(errors.errors, Events{"CombinerBus::onPlug/" + std::to_string(to_int(ErrorCode::NotPresent))});
  EXPECT_TRUE(log.events.empty());
}

TEST_F(CombinerTest, PowerChangesAndBusQueriesComeFromTheUnderlyingBus) {
  fake->AddSecondary(FakeHardwareBus::create());
  EXPECT_EQ(combiner->secondary_busses(), fake->secondary_busses());
  EXPECT_FALSE(combiner->wants_combiner());
  fake->SimulatePowerChange(true);
  fake->SimulatePowerChange(false);
  host.pump();
  EXPECT_EQ(log.events, (Events{"power=1", "power=0"}));
}

}  // namespace
}  // namespace dovod::testing
