// The receiver's answers: its registers, its pairing control, and the simple devices paired to it.

#include <algorithm>
#include <cstring>
#include <string>

#include "Reports.h"
#include "sim/SimReceiver.h"

namespace sim {
namespace {

constexpr Byte kNotifications = 0x00;
constexpr Byte kConnectionState = 0x02;
constexpr Byte kConfigurationComplete = 0x03;
constexpr Byte kPairing = 0xB2;
constexpr Byte kSlotValues = 0xB3;
constexpr Byte kNameRegister = 0xB5;

constexpr Byte kFakeArrival = 0x02;
constexpr Byte kOpenLock = 0x01;
constexpr Byte kCloseLock = 0x02;
constexpr Byte kUnpair = 0x03;
constexpr Byte kNameBase = 0x40;
constexpr Byte kUnpairedMarker = 0x02;

// Bytes 1 to 3 of the request, then `value`, as a short or a long report.
Bytes answer(const Bytes& request, const Bytes& value, bool long_report) {
  Bytes r(long_report ? kLongReportLength : kShortReportLength, 0);
  r[0] = long_report ? kLongReportId : kShortReportId;
  std::copy_n(request.begin() + 1, 3, r.begin() + 1);
  std::copy_n(value.begin(), std::min(value.size(), r.size() - 4), r.begin() + 4);
  return r;
}

Bytes error_answer(const Bytes& request, Byte error) {
  return {kShortReportId, request[1], SimReceiver::kErrorAnswer, request[2], request[3], error, 0};
}

std::string name_of(unsigned pid, bool keyboard) {
  return keyboard ? std::string(kProductName) : "Paired device " + std::to_string(pid);
}

}  // namespace

void SimReceiver::handle_register(const Bytes& request) {
  std::vector<Bytes> out;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    switch (request[2]) {
      case kSetShort:
        out = set_short(request);
        break;
      case kGetShort:
        if (request[3] == kNotifications) {
          out = {answer(request, {reg0_.begin(), reg0_.end()}, false)};
        } else if (request[3] == kConfigurationComplete) {
          out = {answer(request, {reg3_.begin(), reg3_.end()}, false)};
        } else if (request[3] == kConnectionState) {
          int count = phantom_;
          for (const Slot& s : slots_) count += s.pid != 0;
          out = {answer(request, {0, static_cast<Byte>(count), 0}, false)};
        } else {
          out = {error_answer(request, kErrInvalidAddress)};
        }
        break;
      case kGetLong:
        out = get_long(request);
        break;
      default:
        out = {error_answer(request, kErrUnknownSubId)};
    }
  }
  send(std::move(out));
}

std::vector<Bytes> SimReceiver::set_short(const Bytes& request) {
  const ShortRegister value = {request[4], request[5], request[6]};
  switch (request[3]) {
    case kNotifications:
      reg0_ = value;
      return {answer(request, {}, false)};
    case kConfigurationComplete:
      reg3_ = value;
      return {answer(request, {}, false)};
    case kConnectionState: {
      if (request[4] != kFakeArrival) return {error_answer(request, kErrInvalidValue)};
      std::vector<Bytes> out = arrivals();
      out.push_back(answer(request, {}, false));
      return out;
    }
    case kPairing:
      return pairing_control(request);
    default:
      return {error_answer(request, kErrInvalidAddress)};
  }
}

std::vector<Bytes> SimReceiver::arrivals() const {
  std::vector<Bytes> out;
  if (!notifying()) return out;
  for (int slot = 0; slot < row_.slots; ++slot) {
    if (slots_[static_cast<std::size_t>(slot)].pid != 0) out.push_back(connection_of(slot));
  }
  return out;
}

std::vector<Bytes> SimReceiver::pairing_control(const Bytes& request) {
  std::vector<Bytes> out;
  switch (request[4]) {
    case kOpenLock:
    case kCloseLock:
      lock_open_ = request[4] == kOpenLock;
      out.push_back(answer(request, {}, false));
      if (notifying()) {
        out.push_back({kShortReportId, kDirectDeviceIndex, kLockChange, static_cast<Byte>(lock_open_), 0, 0, 0});
      }
      return out;
    case kUnpair: {
      const int index = request[5];
      if (index < 1 || index > row_.slots || slots_[static_cast<std::size_t>(index - 1)].pid == 0) {
        return {error_answer(request, kErrInvalidValue)};
      }
      slots_[static_cast<std::size_t>(index - 1)] = {};
      out.push_back(answer(request, {}, false));
      if (notifying()) out.push_back({kShortReportId, static_cast<Byte>(index), kDisconnection, kUnpairedMarker, 0, 0, 0});
      return out;
    }
    default:
      return {error_answer(request, kErrInvalidValue)};
  }
}

std::vector<Bytes> SimReceiver::get_long(const Bytes& request) const {
  if (request[3] == kSlotValues) {
    Bytes values;
    for (const Slot& s : slots_) values.push_back(s.value);
    values.resize(6, 0);
    return {answer(request, values, true)};
  }
  if (request[3] == kNameRegister) {
    const int slot = request[4] - kNameBase;
    if (slot < 0 || slot >= row_.slots || slots_[static_cast<std::size_t>(slot)].pid == 0) {
      return {error_answer(request, kErrInvalidValue)};
    }
    const Slot& s = slots_[static_cast<std::size_t>(slot)];
    // What fits after the length byte of a long report.
    const std::string name = name_of(s.pid, s.keyboard).substr(0, kLongReportLength - 6);
    Bytes value = {request[4], static_cast<Byte>(name.size())};
    value.insert(value.end(), name.begin(), name.end());
    return {answer(request, value, true)};
  }
  return {error_answer(request, kErrInvalidAddress)};
}

// A simple paired device knows its root feature: feature lookup (every other feature is missing)
// and the protocol version with its ping byte.
void SimReceiver::handle_paired(const Bytes& request) {
  std::vector<Bytes> out;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const int slot = request[1] - 1;
    const bool present = slot >= 0 && slot < row_.slots && slots_[static_cast<std::size_t>(slot)].pid != 0 &&
                         !slots_[static_cast<std::size_t>(slot)].keyboard &&
                         slots_[static_cast<std::size_t>(slot)].link_up;
    if (!present) {
      out = {error_answer(request, kErrUnknownDevice)};
    } else if (feature_index_of(request) != 0) {
      out = {error_reply_to(request, kErrUnknownFeatureIndex)};
    } else if (function_of(request) == 0) {
      out = {reply_to(request, {0, 0, 0})};
    } else if (function_of(request) == 1) {
      out = {reply_to(request, {4, 2, request_byte(request, 6)})};
    } else {
      out = {error_reply_to(request, kErrUnknownFunction)};
    }
  }
  send(std::move(out));
}

}  // namespace sim
