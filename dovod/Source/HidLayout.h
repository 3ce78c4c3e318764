#pragma once
// What the first open of a HID device learns about it: who it is and how its protocol reports are
// laid out. A platform fills it once; the device answers its queries and shapes its writes from it.

#include <cstdint>
#include <map>
#include <string>

namespace dovod {

struct HidLayout {
  unsigned vendor_id = 0;
  unsigned product_id = 0;
  std::string product_name;  // empty when the system would not tell
  // Output report id -> length (report id byte included): a write takes the first id, in
  // ascending order, whose length holds its bytes.
  std::map<std::uint8_t, unsigned> report_lengths;
  unsigned output_length = 0;  // the longest output report; nothing longer is written
  unsigned input_length = 0;   // the read buffer: the longest input report
  // The pieces present here and the pieces that make the whole device, as bit sets.
  int piece_bits = 0;
  int expected_pieces = 0;
  // What groups a piece of a larger device with its siblings; empty when unknown.
  std::string group;
};

}  // namespace dovod
