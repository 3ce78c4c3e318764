#pragma once
// A HID report descriptor, reduced to what a transport needs to recognise the maker's protocol
// collections: the top-level collections with their usages, and per report id the input, output
// and feature report lengths. The input is untrusted device data; parse never reads past it,
// allocates in proportion to it at most, and refuses anything it cannot account for.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "dovod/Types.h"

namespace dovod {

// Report lengths in bytes, the report id byte included when the descriptor numbers its reports;
// 0 when the report has no item of that kind.
struct ReportLengths {
  unsigned input = 0;
  unsigned output = 0;
  unsigned feature = 0;
};

struct TopLevelCollection {
  std::uint16_t usage_page = 0;
  std::uint16_t usage = 0;
  std::uint8_t type = 0;  // 1 application, 0 physical, 2 logical ...
  // Report ids of the main items inside this collection, ascending, each once (0 when unnumbered).
  std::vector<std::uint8_t> report_ids;
  // Data (non-constant) main items inside the collection; constant padding is not counted.
  unsigned input_items = 0;
  unsigned output_items = 0;
  unsigned feature_items = 0;
};

class ReportDescriptor {
 public:
  // Limits beyond which a descriptor is refused. The size limit is the one HID sets for a
  // descriptor; the others keep a hostile descriptor from making us count without end.
  static constexpr std::size_t kMaxSize = 4096;
  static constexpr unsigned kMaxCollectionDepth = 16;
  static constexpr unsigned kMaxGlobalStack = 16;
  static constexpr unsigned kMaxReportSizeBits = 256;
  static constexpr unsigned kMaxReportCount = 12288;
  static constexpr unsigned kMaxReportBytes = 16384;

  // The parsed descriptor, or nothing with `failure` (when given) set to a static text saying why.
  static std::optional<ReportDescriptor> parse(std::span<const Byte> raw,
                                               const char** failure = nullptr);

  const std::vector<TopLevelCollection>& collections() const { return collections_; }
  bool numbered() const { return numbered_; }
  // Lengths of one report; all zero for an id the descriptor does not have.
  ReportLengths lengths(std::uint8_t report_id) const;
  const std::map<std::uint8_t, ReportLengths>& reports() const { return reports_; }

 private:
  std::vector<TopLevelCollection> collections_;
  std::map<std::uint8_t, ReportLengths> reports_;
  bool numbered_ = false;
};

}  // namespace dovod
