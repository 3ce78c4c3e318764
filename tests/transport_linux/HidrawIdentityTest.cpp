// Which hidraw nodes the bus may open at all, decided from udev's HID_ID before any open.
#include <gtest/gtest.h>

#include "Source/Linux/HidrawDeviceSource.h"

namespace dovod::testing {
namespace {

TEST(HidrawIdentity, OnlyKnownProductsOfTheMakerAreOpened) {
  struct Case {
    const char* hid_id;
    bool opened;
  } cases[] = {
      {"0003:00003A7C:0000C510", true},   // a receiver of the table, over USB
      {"0003:00003a7c:0000c531", true},   // lower-case hexadecimal
      {"0005:00003A7C:0000B3F1", true},   // the keyboard over Bluetooth
      {"0006:00003A7C:0000B3F8", true},   // the long-report product, virtual (uhid)
      {"0003:00003A7C:0000C5FE", false},  // in the receivers' range, but no receiver the library knows
      {"0003:00003A7C:00000001", false},  // another product of the maker
      {"0003:00001234:0000C510", false},  // another vendor with a receiver's product id
      {"0003:00013A7C:0000C510", false},  // vendor id past 16 bits
      {"", false},
      {"0003:00003A7C", false},
      {"0003::0000C510", false},
      {"0003:00003A7C:0000C510:", false},
      {"0003:00003A7C:C510x", false},
      {"0003:000000003A7C:0000C510", false},  // fields longer than udev writes
  };
  for (const Case& c : cases) EXPECT_EQ(is_maker_hid_id(c.hid_id), c.opened) << c.hid_id;
}

}  // namespace
}  // namespace dovod::testing
