#pragma once
// Follows one firmware image record by record, as the bootloader receives it, and refuses the first
// record that breaks the layout (see ImageLayout.h). Once refused or complete it takes no further
// record.

#include <cstdint>
#include <span>
#include <string>

#include "firmware/ImageLayout.h"

namespace firmware {

class RecordChecker {
 public:
  enum class Verdict { Accepted, Complete, Refused };

  // Starts a new image with its header record.
  Verdict begin(std::span<const Byte> header);
  // The next record after the header.
  Verdict next(std::span<const Byte> record);

  Byte selector() const { return selector_; }
  std::uint32_t records() const { return records_; }
  bool complete() const { return stage_ == Stage::Done; }
  // Why the last record was refused; empty otherwise.
  const std::string& reason() const { return reason_; }

 private:
  enum class Stage { Idle, Segment, SegmentData, Block, BlockData, End, Done, Refused };

  Verdict refuse(const char* reason);
  static bool zero(std::span<const Byte> record, int from, int to);

  Stage stage_ = Stage::Idle;
  Byte selector_ = 0;
  std::uint32_t records_ = 0;
  std::uint32_t data_left_ = 0;
  std::string reason_;
};

}  // namespace firmware
