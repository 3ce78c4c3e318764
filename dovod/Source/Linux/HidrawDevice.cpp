#include "Source/Linux/HidrawDevice.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "Source/Linux/HidrawChannel.h"
#include "Source/ProtocolCollections.h"
#include "Source/ReportDescriptor.h"
#include "dovod/LastError.h"
#include "dovod/MakerValues.h"
#include "dovod/xLog.h"

namespace dovod {
namespace {

constexpr const char* kTag = "HidrawDevice";
constexpr const char* kFn = "dovod::HidrawDevice::open";

// Fails an open step: records the code and says why in the log.
bool refuse_open(ErrorCode code, unsigned long system_error, const char* message, const char* why) {
  set_last_error(code, system_error, message);
  xLog(kTag, LOG_WARNING, kFn, "HidrawDevice::open exit (false, %s)", why);
  return false;
}

}  // namespace

HidrawDevice::HidrawDevice(std::weak_ptr<IHidBusLink> bus, std::shared_ptr<IHidrawSystem> system,
                           std::string path, std::string parent, std::chrono::milliseconds write_limit,
                           std::uint64_t generation)
    : HidDevice(kTag, std::move(bus), std::move(path), write_limit, generation),
      system_(std::move(system)),
      parent_(std::move(parent)) {}

std::shared_ptr<HidChannel> HidrawDevice::open_channel(HidLayout* layout) {
  const int fd = system_->open_node(device_path());
  if (fd < 0) {
    refuse_open(ErrorCode::OpenFailed, errno, "open failed", "open failed");
    return nullptr;
  }
  // Reads and writes wait in poll, never in the call itself, so that close and the write limit
  // can always cut them short.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
    const int error = errno;
    ::close(fd);
    refuse_open(ErrorCode::OpenFailed, error, "open failed", "fcntl failed");
    return nullptr;
  }
  if (layout && !validate(fd, *layout)) {
    ::close(fd);
    return nullptr;
  }
  int stop[2];
  if (::pipe2(stop, O_CLOEXEC | O_NONBLOCK) < 0) {
    const int error = errno;
    ::close(fd);
    refuse_open(ErrorCode::OpenFailed, error, "pipe failed", "pipe failed");
    return nullptr;
  }
  return std::make_shared<HidrawChannel>(fd, stop[0], stop[1], protocol_ids_);
}

bool HidrawDevice::validate(int fd, HidLayout& layout) {
  HidrawInfo info;
  if (!system_->raw_info(fd, info)) {
    return refuse_open(ErrorCode::AttributesFailed, errno, nullptr, "HIDIOCGRAWINFO failed");
  }
  layout.vendor_id = info.vendor_id;
  layout.product_id = info.product_id;
  xLog(kTag, LOG_INFO, kFn, "HidrawDevice::open vid=0x%04x pid=0x%04x bus=%u", layout.vendor_id,
       layout.product_id, info.bus_type);
  if (layout.vendor_id != maker::kVendorId) {
    return refuse_open(ErrorCode::NotMakerDevice, layout.product_id, nullptr, "ignoring non corvane device");
  }

  Bytes raw;
  if (!system_->report_descriptor(fd, raw)) {
    return refuse_open(ErrorCode::DescriptorFailed, errno, nullptr, "HIDIOCGRDESC failed");
  }
  const char* failure = nullptr;
  auto descriptor = ReportDescriptor::parse(raw, &failure);
  if (!descriptor) {
    xLog(kTag, LOG_WARNING, kFn, "HidrawDevice::open report descriptor refused: %s", failure);
    return refuse_open(ErrorCode::CapabilitiesFailed, 0, nullptr, "report descriptor not parsed");
  }
  ProtocolRefusal refusal;
  auto protocol = find_protocol_collections(*descriptor, layout.product_id, refusal);
  if (!protocol) return refuse_open(refusal.code, 0, nullptr, refusal.reason);

  protocol_ids_.reset();
  for (const ProtocolCollection& c : protocol->collections) {
    protocol_ids_.set(c.report_id);
    xLog(kTag, LOG_INFO, kFn, "HidrawDevice::open usagepage=0x%04x usage=0x%04x reportid=0x%02x len=%u",
         c.usage_page, c.usage, c.report_id, c.length);
  }
  for (const auto& [id, lengths] : descriptor->reports()) {
    if (lengths.input > layout.input_length) layout.input_length = lengths.input;
  }
  layout.report_lengths = protocol->report_lengths;
  layout.output_length = protocol->max_length;
  layout.piece_bits = protocol->piece_bits;
  layout.expected_pieces = protocol->expected_pieces;
  layout.group = parent_;

  std::string name;
  if (system_->raw_name(fd, name)) {
    layout.product_name = std::move(name);
  } else {
    xLog(kTag, LOG_WARNING, kFn, "HidrawDevice::open HIDIOCGRAWNAME failed, err=%d", errno);
  }
  return true;
}

}  // namespace dovod
