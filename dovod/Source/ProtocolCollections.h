#pragma once
// Recognises the maker's report protocol in a parsed report descriptor: the collections on usage
// page 0xFF00 (usage 1 short reports, 2 long reports) or 0xFF43 (one piece of a larger device),
// each with a single numbered report of equal input and output length. A device node may carry
// other collections beside them (keys, consumer keys); those are not the protocol's and are left
// out, but a node without any protocol collection is refused.

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "Source/ReportDescriptor.h"
#include "dovod/ErrorCode.h"

namespace dovod {

struct ProtocolCollection {
  std::uint16_t usage_page = 0;
  std::uint16_t usage = 0;
  std::uint8_t report_id = 0;
  unsigned length = 0;  // input and output alike, report id byte included
};

struct ProtocolCollections {
  std::vector<ProtocolCollection> collections;  // in descriptor order
  // Output report id -> length, the table a write chooses its report id from.
  std::map<std::uint8_t, unsigned> report_lengths;
  unsigned max_length = 0;
  // The pieces present here and the pieces that make the whole device, as bit sets.
  int piece_bits = 0;
  int expected_pieces = 0;
};

struct ProtocolRefusal {
  ErrorCode code = ErrorCode::None;
  const char* reason = nullptr;  // a log text
};

// Whether a collection of usage page `page` and usage `usage` is one of the protocol's: usage 1 or
// 2 on 0xFF00, or on 0xFF43 a piece naming itself by exactly one bit of the set it belongs to.
bool is_vendor_page(std::uint16_t page);
bool is_protocol_usage(std::uint16_t page, std::uint16_t usage);
// The pieces that make the whole device whose lead protocol collection has this page and usage.
int expected_pieces_of(unsigned pid, std::uint16_t page, std::uint16_t usage);

// The protocol collections of a device with product id `pid`, or nothing with `refusal` filled.
std::optional<ProtocolCollections> find_protocol_collections(const ReportDescriptor& descriptor,
                                                             unsigned pid, ProtocolRefusal& refusal);

}  // namespace dovod
