#include "firmware/RecordChecker.h"

namespace firmware {
namespace {

std::uint32_t get32(std::span<const Byte> r, int at) {
  return static_cast<std::uint32_t>(r[at]) << 24 | static_cast<std::uint32_t>(r[at + 1]) << 16 |
         static_cast<std::uint32_t>(r[at + 2]) << 8 | r[at + 3];
}

}  // namespace

bool RecordChecker::zero(std::span<const Byte> record, int from, int to) {
  for (int i = from; i <= to; ++i) {
    if (record[i] != 0) return false;
  }
  return true;
}

RecordChecker::Verdict RecordChecker::refuse(const char* reason) {
  stage_ = Stage::Refused;
  reason_ = reason;
  return Verdict::Refused;
}

RecordChecker::Verdict RecordChecker::begin(std::span<const Byte> header) {
  stage_ = Stage::Idle;
  selector_ = 0;
  records_ = 0;
  data_left_ = 0;
  reason_.clear();
  if (header.size() != kRecordSize) return refuse("header is not one record");
  if (header[0] != 0x01 && header[0] != 0x02) return refuse("unknown image selector");
  if (header[1] != kHeaderVersion) return refuse("unknown header version");
  // The name is this keyboard's application prefix, printable ASCII, then zeros to the end.
  const std::string prefix = kImageNamePrefix;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (header[kNameOffset + i] != static_cast<Byte>(prefix[i])) return refuse("image is not for this keyboard");
  }
  bool ended = false;
  for (int i = kNameOffset; i < kRecordSize; ++i) {
    if (header[i] == 0) {
      ended = true;
    } else if (ended || header[i] < 0x20 || header[i] > 0x7E) {
      return refuse("malformed image name");
    }
  }
  selector_ = header[0];
  records_ = 1;
  stage_ = Stage::Segment;
  return Verdict::Accepted;
}

RecordChecker::Verdict RecordChecker::next(std::span<const Byte> record) {
  if (record.size() != kRecordSize) return refuse("record is not 16 bytes");
  switch (stage_) {
    case Stage::Idle:
      return refuse("no image started");
    case Stage::Done:
      return refuse("record after the end record");
    case Stage::Refused:
      return Verdict::Refused;
    case Stage::Segment: {
      const std::uint32_t length = get32(record, kLengthOffset);
      if (record[0] != kSegmentRecord || length == 0 || !zero(record, 9, 15)) return refuse("malformed segment record");
      data_left_ = length;
      stage_ = Stage::SegmentData;
      break;
    }
    case Stage::SegmentData: {
      // The last record of the segment carries zeros after the segment's end.
      if (data_left_ < kRecordSize && !zero(record, static_cast<int>(data_left_), kRecordSize - 1)) {
        return refuse("segment padding is not zero");
      }
      data_left_ = data_left_ > kRecordSize ? data_left_ - kRecordSize : 0;
      if (data_left_ == 0) stage_ = Stage::Block;
      break;
    }
    case Stage::Block: {
      const std::uint32_t length = get32(record, kLengthOffset);
      if (record[0] != kBlockRecord || !zero(record, 1, 4) || !zero(record, 9, 15) || length == 0 ||
          length % kRecordSize != 0) {
        return refuse("malformed block record");
      }
      data_left_ = length;
      stage_ = Stage::BlockData;
      break;
    }
    case Stage::BlockData:
      data_left_ -= kRecordSize;
      if (data_left_ == 0) stage_ = Stage::End;
      break;
    case Stage::End:
      if (record[0] != kEndRecord || !zero(record, 1, 15)) return refuse("malformed end record");
      ++records_;
      stage_ = Stage::Done;
      return Verdict::Complete;
  }
  ++records_;
  return Verdict::Accepted;
}

}  // namespace firmware
