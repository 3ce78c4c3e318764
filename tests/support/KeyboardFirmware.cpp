#include "KeyboardFirmware.h"

#include <algorithm>

#include "ProtocolReplies.h"

namespace dovod::testing {

KeyboardFirmware::KeyboardFirmware(std::vector<int> feature_ids) : feature_ids_(std::move(feature_ids)) {}

void KeyboardFirmware::set_hook(Hook hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  hook_ = std::move(hook);
}

std::vector<Bytes> KeyboardFirmware::respond(const Bytes& request) {
  Hook hook;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    hook = hook_;
  }
  if (hook) {
    if (auto scripted = hook(request)) return *scripted;
  }
  return {answer(request)};
}

Bytes KeyboardFirmware::answer(const Bytes& request) {
  if (request.size() < 4) return {};
  const Byte index = request[2];
  const int function = request[3] >> 4;
  auto param = [&](std::size_t k) -> Byte { return 4 + k < request.size() ? request[4 + k] : 0; };
  if (index >= feature_ids_.size()) return reply_to(request, {});
  switch (feature_ids_[index]) {
    case 0x0000:
      if (function == 0) {
        const int id = param(0) << 8 | param(1);
        auto it = std::find(feature_ids_.begin(), feature_ids_.end(), id);
        const Byte found = it == feature_ids_.end() ? 0 : static_cast<Byte>(it - feature_ids_.begin());
        return reply_to(request, {found, 0, 0});
      }
      if (protocol_error >= 0) return vxp10_error(request, static_cast<Byte>(protocol_error.load()));
      return reply_to(request, {4, 2, param(2)});
    case 0x0001:
      if (function == 0) return reply_to(request, {static_cast<Byte>(feature_ids_.size() - 1)});
      if (param(0) < feature_ids_.size()) {
        const int id = feature_ids_[param(0)];
        return reply_to(request, {static_cast<Byte>(id >> 8), static_cast<Byte>(id), 0, 0});
      }
      return vxp20_error(request, 2);
    case 0x0003: {
      if (function == 0) return reply_to(request, {1});
      const std::uint16_t version = fw_version;
      return reply_to(request, {0, 'Q', 'R', 'X', static_cast<Byte>(version >> 8), static_cast<Byte>(version), 0, 0x27, 1});
    }
    case 0x0020:
      if (function == 1) cookie = static_cast<std::uint16_t>(param(0) << 8 | param(1));
      return reply_to(request, {static_cast<Byte>(cookie >> 8), static_cast<Byte>(cookie.load())});
    default:
      return reply_to(request, {});
  }
}

}  // namespace dovod::testing
