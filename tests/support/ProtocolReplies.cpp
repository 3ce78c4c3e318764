#include "ProtocolReplies.h"

#include <algorithm>

namespace dovod::testing {

Bytes reply_to(const Bytes& request, const Bytes& params) {
  Bytes reply(20, 0);
  reply[0] = 0x11;
  for (std::size_t i = 1; i < 4 && i < request.size(); ++i) reply[i] = request[i];
  std::copy_n(params.begin(), std::min<std::size_t>(params.size(), 16), reply.begin() + 4);
  return reply;
}

Bytes short_reply_to(const Bytes& request, std::array<Byte, 3> value) {
  return {0x10, request[1], request[2], request[3], value[0], value[1], value[2]};
}

Bytes vxp20_error(const Bytes& request, Byte error) {
  return {0x11, request[1], 0xFF, request[2], request[3], error, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
}

Bytes vxp10_error(const Bytes& request, Byte error) { return {0x10, request[1], 0x8F, request[2], request[3], error, 0}; }

}  // namespace dovod::testing
