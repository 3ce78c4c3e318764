#include "firmware/ImageCheck.h"

#include "firmware/RecordChecker.h"

namespace firmware {

std::string CheckImageLayout(std::span<const Byte> image) {
  if (image.empty()) return "no records";
  if (image.size() % kRecordSize != 0) {
    return "size " + std::to_string(image.size()) + " is not a whole number of 16-byte records";
  }
  const std::size_t records = image.size() / kRecordSize;
  RecordChecker checker;
  for (std::size_t k = 0; k < records; ++k) {
    const std::span<const Byte> record = image.subspan(k * kRecordSize, kRecordSize);
    const RecordChecker::Verdict verdict = k == 0 ? checker.begin(record) : checker.next(record);
    if (verdict == RecordChecker::Verdict::Refused) return "record " + std::to_string(k) + ": " + checker.reason();
  }
  if (!checker.complete()) return "ends before its end record";
  return {};
}

}  // namespace firmware
