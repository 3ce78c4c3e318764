// Feeds arbitrary bytes to the report-descriptor parser, which reads what any device attached to
// the computer chooses to report. Besides not crashing, a parsed result must agree with itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "Source/ReportDescriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using dovod::ReportDescriptor;
  const char* failure = nullptr;
  auto parsed = ReportDescriptor::parse(std::span<const dovod::Byte>(data, size), &failure);
  if (!parsed) {
    if (failure == nullptr) std::abort();
    return 0;
  }
  if (size > ReportDescriptor::kMaxSize || parsed->collections().empty()) std::abort();
  for (const auto& [id, lengths] : parsed->reports()) {
    for (unsigned length : {lengths.input, lengths.output, lengths.feature}) {
      if (length > ReportDescriptor::kMaxReportBytes + 1) std::abort();
    }
    if (parsed->numbered() != (id != 0)) std::abort();
  }
  for (const auto& collection : parsed->collections()) {
    const auto& ids = collection.report_ids;
    for (std::size_t i = 1; i < ids.size(); ++i) {
      if (ids[i - 1] >= ids[i]) std::abort();
    }
  }
  return 0;
}
