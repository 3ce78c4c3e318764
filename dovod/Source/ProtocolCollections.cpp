#include "Source/ProtocolCollections.h"

#include <bit>

#include "dovod/ErrorCode.h"
#include "dovod/MakerValues.h"

namespace dovod {
namespace {

constexpr std::uint16_t kShortLongPage = 0xFF00;
constexpr std::uint16_t kPiecePage = 0xFF43;

constexpr const char* kNotProtocolUsage = "not a vexapp collection usage code";

// Null when the collection is one of the protocol's, else the reason it is not.
const char* refuse(const TopLevelCollection& c, const ReportDescriptor& descriptor,
                   const ProtocolCollections& found) {
  if (!is_protocol_usage(c.usage_page, c.usage)) return kNotProtocolUsage;
  if (c.report_ids.size() != 1 || c.report_ids.front() == 0 || c.input_items != 1 ||
      c.output_items != 1) {
    return "not just a single button or value cap";
  }
  const ReportLengths lengths = descriptor.lengths(c.report_ids.front());
  if (lengths.input != lengths.output || lengths.output == 0) {
    return "mismatched input and output report sizes";
  }
  if (found.report_lengths.count(c.report_ids.front())) return "report id of two collections";
  return nullptr;
}

}  // namespace

bool is_vendor_page(std::uint16_t page) { return page == kShortLongPage || page == kPiecePage; }

bool is_protocol_usage(std::uint16_t page, std::uint16_t usage) {
  if (page == kShortLongPage) return usage == 1 || usage == 2;
  if (page != kPiecePage) return false;
  const unsigned piece = usage & 0xFFu;
  const unsigned pieces = usage >> 8;
  return std::popcount(piece) == 1 && (pieces & piece) != 0;
}

int expected_pieces_of(unsigned pid, std::uint16_t page, std::uint16_t usage) {
  if (pid == maker::kLongReportOnlyPid) return 2;
  if (page == kPiecePage) return usage >> 8;
  if (page == kShortLongPage && (usage == 1 || usage == 2)) return 3;
  return usage & 0xFF;
}

std::optional<ProtocolCollections> find_protocol_collections(const ReportDescriptor& descriptor,
                                                             unsigned pid, ProtocolRefusal& refusal) {
  ProtocolCollections found;
  ProtocolRefusal first{ErrorCode::NotVendorUsagePage, "not vendor usage page"};
  bool vendor_page_seen = false;
  for (const TopLevelCollection& c : descriptor.collections()) {
    if (!is_vendor_page(c.usage_page)) continue;
    if (const char* why = refuse(c, descriptor, found)) {
      if (!vendor_page_seen) first = {ErrorCode::NotProtocolCollection, why};
      vendor_page_seen = true;
      continue;
    }
    vendor_page_seen = true;
    ProtocolCollection kept;
    kept.usage_page = c.usage_page;
    kept.usage = c.usage;
    kept.report_id = c.report_ids.front();
    kept.length = descriptor.lengths(kept.report_id).output;
    found.report_lengths[kept.report_id] = kept.length;
    if (kept.length > found.max_length) found.max_length = kept.length;
    found.piece_bits |= kept.usage & 0xFF;
    found.collections.push_back(kept);
  }
  if (found.collections.empty()) {
    refusal = first;
    return std::nullopt;
  }
  const ProtocolCollection& lead = found.collections.front();
  found.expected_pieces = expected_pieces_of(pid, lead.usage_page, lead.usage);
  refusal = {};
  return found;
}

}  // namespace dovod
