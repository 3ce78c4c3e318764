#pragma once
// Replies as a device or a receiver builds them from the request they answer, for fakes' answer
// hooks and for tests that script a reply of their own.

#include <array>

#include "dovod/Types.h"

namespace dovod::testing {

// A long reply to `request` carrying its bytes 1 to 3 and `params` (padded to 16 bytes).
Bytes reply_to(const Bytes& request, const Bytes& params);
// A short reply to `request` carrying its bytes 1 to 3 and `value`.
Bytes short_reply_to(const Bytes& request, std::array<Byte, 3> value);
// A Vexa 2.0 error reply to `request` with error byte `error`.
Bytes vxp20_error(const Bytes& request, Byte error);
// A Vexa 1.0 error reply to `request` with error byte `error`.
Bytes vxp10_error(const Bytes& request, Byte error);

}  // namespace dovod::testing
