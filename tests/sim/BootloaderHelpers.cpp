#include "BootloaderHelpers.h"

namespace simtest {

const std::vector<Bytes>& first_packets() {
  static const std::vector<Bytes> packets =
      firmware::cut_packets(firmware::build_firmware_image(firmware::first_image_spec()));
  return packets;
}

const std::vector<Bytes>& second_packets() {
  static const std::vector<Bytes> packets =
      firmware::cut_packets(firmware::build_firmware_image(firmware::second_image_spec()));
  return packets;
}

Bytes enter_dfu_request() { return request(5, 1, {1, 0, 0, 0, 'D', 'F', 'U'}); }

bool restarted(KeyboardLink& link, std::size_t events_before) {
  if (!link.wait_connect_events(events_before + 2)) return false;
  const auto events = link.connect_events();
  return events.size() == events_before + 2 && !events[events_before] && events[events_before + 1];
}

bool restart_out_of_transfer(KeyboardLink& link) {
  const std::size_t before = link.connect_events().size();
  const Bytes reply = link.call(request(kBootDfu, sim::kDfuRestartFunction, {1}));
  return !reply.empty() && !is_error_reply(reply) && restarted(link, before);
}

std::string running_prefix(KeyboardLink& link, int index) {
  for (Byte entity = 0; entity < 2; ++entity) {
    const Bytes info = payload(link.call(request(index, 1, {entity})));
    if (info.size() > 8 && info[8] == 1) return std::string(info.begin() + 1, info.begin() + 4);
  }
  return {};
}

}  // namespace simtest
