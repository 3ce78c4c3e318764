#include "BootloaderDfu.h"

namespace sim {

BootloaderDfu::Answer BootloaderDfu::start(const Bytes& header) {
  have_last_ = false;
  received_ = 0;
  transferring_ = checker_.begin(header) == firmware::RecordChecker::Verdict::Accepted;
  if (!transferring_) return {kDfuBadHeader, 0};
  complete_[checker_.selector() - 1] = false;
  return {kDfuSendNext, 0};
}

BootloaderDfu::Answer BootloaderDfu::packet(int function, const Bytes& data) {
  // A retry after a lost reply repeats the packet just taken: answer it again, take it once.
  if (have_last_ && function == static_cast<int>(received_ % 4) && data == last_packet_) return last_answer_;
  if (!transferring_) return {kDfuNotStarted, received_ + 1};
  const std::uint32_t number = received_ + 1;
  if (function != static_cast<int>(number % 4)) {
    transferring_ = false;
    have_last_ = false;
    return {kDfuOutOfSequence, number};
  }
  switch (checker_.next(data)) {
    case firmware::RecordChecker::Verdict::Accepted:
      received_ = number;
      return remember({kDfuSendNext, number}, data);
    case firmware::RecordChecker::Verdict::Complete: {
      received_ = number;
      transferring_ = false;
      complete_[checker_.selector() - 1] = true;
      const Byte status = both_images_complete() ? kDfuTransferComplete : kDfuFirstImageComplete;
      return remember({status, number}, data);
    }
    case firmware::RecordChecker::Verdict::Refused:
      break;
  }
  transferring_ = false;
  have_last_ = false;
  return {kDfuBadRecord, number};
}

BootloaderDfu::Answer BootloaderDfu::refuse(Byte status) {
  const std::uint32_t number = received_ + 1;
  transferring_ = false;
  have_last_ = false;
  return {status, number};
}

BootloaderDfu::Answer BootloaderDfu::remember(Answer answer, const Bytes& data) {
  have_last_ = true;
  last_packet_ = data;
  last_answer_ = answer;
  return answer;
}

bool BootloaderDfu::image_complete(Byte selector) const {
  return (selector == 0x01 || selector == 0x02) && complete_[selector - 1];
}

void BootloaderDfu::drop_partial() {
  transferring_ = false;
  have_last_ = false;
  received_ = 0;
}

void BootloaderDfu::forget_images() {
  drop_partial();
  complete_ = {};
}

}  // namespace sim
