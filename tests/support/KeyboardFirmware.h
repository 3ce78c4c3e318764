#pragma once
// A keyboard's application firmware as a fake hardware device's answer hook: a small table of
// features (root, feature set, firmware information, config cookie, ...) answered by position, and a
// hook through which a test replaces, loses or adds replies.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "dovod/Types.h"

namespace dovod::testing {

class KeyboardFirmware {
 public:
  // Returns nothing to let the table answer; otherwise the reports to send instead (none = lost).
  using Hook = std::function<std::optional<std::vector<Bytes>>(const Bytes& request)>;

  // feature_ids[i] is the feature at index i; index 0 must be the root (0x0000).
  explicit KeyboardFirmware(std::vector<int> feature_ids = {0x0000, 0x0001, 0x0003, 0x0020});

  // Any thread; called on the thread that answers.
  void set_hook(Hook hook);
  // The reports the keyboard sends for a written request: the hook's, else the table's answer.
  std::vector<Bytes> respond(const Bytes& request);
  // The table's answer to a request: the reply a keyboard would send; a plain acknowledgement for
  // an index beyond the table.
  Bytes answer(const Bytes& request);

  // Device state the table answers from.
  std::atomic<std::uint16_t> fw_version{0x0512};
  std::atomic<std::uint16_t> cookie{0};
  // A Vexa 1.0 error byte for the protocol-version request; -1 answers it normally.
  std::atomic<int> protocol_error{-1};

 private:
  const std::vector<int> feature_ids_;
  std::mutex mutex_;
  Hook hook_;
};

}  // namespace dovod::testing
