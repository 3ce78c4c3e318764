#include "DfuDriver.h"

namespace simtest {

std::uint32_t dfu_number(const Bytes& report) {
  return report.size() > 7 ? static_cast<std::uint32_t>(report[6] << 8 | report[7]) : 0;
}

Byte dfu_status(const Bytes& report) { return report.size() > 8 ? report[8] : 0; }

TransferOutcome send_image(KeyboardLink& link, int dfu_index, const std::vector<Bytes>& packets,
                           std::chrono::milliseconds reply_limit) {
  TransferOutcome out;
  const Bytes started = link.call(request(dfu_index, sim::kDfuStartFunction, packets.at(0)));
  out.start_status = dfu_status(started);
  if (started.empty() || is_error_reply(started) || out.start_status != sim::kDfuSendNext) {
    out.last_status = out.start_status;
    return out;
  }
  const auto note = link.take([&](const Bytes& r) { return r.size() > 3 && r[2] == dfu_index && (r[3] & 0x0F) == 0; });
  if (!note) {
    out.silent = true;
    return out;
  }
  out.statuses.push_back(dfu_status(*note));
  std::uint32_t number = dfu_number(*note);
  Byte status = dfu_status(*note);
  while (status == sim::kDfuSendNext) {
    const std::uint32_t next = number + 1;
    if (next >= packets.size()) break;
    const Bytes req = request(dfu_index, static_cast<int>(next % 4), packets[next]);
    std::optional<Bytes> reply;
    for (int attempt = 0; attempt < 4 && !reply; ++attempt) {
      if (attempt > 0) ++out.resends;
      link.write(req);
      // A late answer to an earlier packet has the same header; its packet number tells it apart. A
      // refusal counts whatever number it carries.
      reply = link.take(
          [&](const Bytes& r) {
            return answers(r, req) && (dfu_number(r) == next || dfu_status(r) != sim::kDfuSendNext);
          },
          reply_limit);
    }
    if (!reply) {
      out.silent = true;
      return out;
    }
    number = next;
    status = dfu_status(*reply);
    out.statuses.push_back(status);
  }
  out.last_status = status;
  out.last_number = number;
  return out;
}

}  // namespace simtest
