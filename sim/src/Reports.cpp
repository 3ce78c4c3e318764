#include "Reports.h"

#include <algorithm>

namespace sim {
namespace {

Bytes long_report(Byte index, Byte feature, Byte function_and_swid, const Bytes& payload) {
  Bytes r(kLongReportLength, 0);
  r[0] = kLongReportId;
  r[1] = index;
  r[2] = feature;
  r[3] = function_and_swid;
  std::copy_n(payload.begin(), std::min<std::size_t>(payload.size(), kLongReportLength - 4), r.begin() + 4);
  return r;
}

}  // namespace

Byte request_byte(const Bytes& request, std::size_t at) { return at < request.size() ? request[at] : 0; }

Bytes parameters_of(const Bytes& request) {
  if (request.size() <= 4) return {};
  return Bytes(request.begin() + 4, request.end());
}

Bytes reply_to(const Bytes& request, const Bytes& payload) {
  return long_report(request_byte(request, 1), request_byte(request, 2), request_byte(request, 3), payload);
}

Bytes error_reply_to(const Bytes& request, Byte error) {
  return long_report(request_byte(request, 1), kErrorReplyMarker, request_byte(request, 2),
                     {request_byte(request, 3), error});
}

Bytes notification(Byte feature_index, int function, const Bytes& payload) {
  return long_report(kDirectDeviceIndex, feature_index, static_cast<Byte>(function << 4), payload);
}

}  // namespace sim
