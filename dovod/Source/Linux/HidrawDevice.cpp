#include "Source/Linux/HidrawDevice.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "Source/Linux/HidrawReadChannel.h"
#include "Source/ReportDescriptor.h"
#include "dovod/LastError.h"
#include "dovod/MakerValues.h"
#include "dovod/xLog.h"

namespace dovod {
namespace {

constexpr const char* kTag = "HidrawDevice";

// Fails an open step: records the code and says why in the log.
bool refuse_open(ErrorCode code, unsigned long system_error, const char* message, const char* why) {
  set_last_error(code, system_error, message);
  xLog(kTag, LOG_WARNING, "dovod::HidrawDevice::open", "HidrawDevice::open exit (false, %s)", why);
  return false;
}

void close_fd(int fd) {
  if (fd >= 0) ::close(fd);
}

}  // namespace

HidrawDevice::HidrawDevice(std::weak_ptr<IHidrawBusLink> bus, std::shared_ptr<IHidrawSystem> system,
                           std::string path, std::string parent,
                           std::chrono::milliseconds write_limit, std::uint64_t generation)
    : bus_(std::move(bus)),
      system_(std::move(system)),
      path_(std::move(path)),
      parent_(std::move(parent)),
      write_limit_(write_limit),
      generation_(generation) {}

HidrawDevice::~HidrawDevice() {
  destructing_ = true;
  close();
}

bool HidrawDevice::open() {
  static constexpr const char* kFn = "dovod::HidrawDevice::open";
  xLog(kTag, LOG_DEBUG, kFn, "HidrawDevice::open enter");
  if (removed_) return refuse_open(ErrorCode::DeviceRemoved, 0, nullptr, "DeviceRemoved");
  if (destructing_) return refuse_open(ErrorCode::NotAvailable, 0, nullptr, "already destructed");

  std::lock_guard<std::mutex> lock(mutex_);
  if (open_) {
    xLog(kTag, LOG_DEBUG, kFn, "HidrawDevice::open exit (true, already open)");
    return true;
  }
  if (path_.empty()) return refuse_open(ErrorCode::NoPath, 0, nullptr, "no filepath");

  const int fd = system_->open_node(path_);
  if (fd < 0) return refuse_open(ErrorCode::OpenFailed, errno, "open failed", "open failed");
  // Reads and writes wait in poll, never in the call itself, so that close and the write limit
  // can always cut them short.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
    const int error = errno;
    close_fd(fd);
    return refuse_open(ErrorCode::OpenFailed, error, "open failed", "fcntl failed");
  }
  if (!validated_ && !validate(fd)) {
    close_fd(fd);
    return false;
  }
  int stop[2];
  if (::pipe2(stop, O_CLOEXEC | O_NONBLOCK) < 0) {
    const int error = errno;
    close_fd(fd);
    return refuse_open(ErrorCode::OpenFailed, error, "pipe failed", "pipe failed");
  }
  fd_ = fd;
  stop_read_ = stop[0];
  stop_write_ = stop[1];
  open_ = true;
  if (subscribed_) start_read_thread();
  xLog(kTag, LOG_INFO, kFn, "HidrawDevice::open opened dev=%s", path_.c_str());
  xLog(kTag, LOG_DEBUG, kFn, "HidrawDevice::open exit (true)");
  return true;
}

bool HidrawDevice::validate(int fd) {
  static constexpr const char* kFn = "dovod::HidrawDevice::open";
  HidrawInfo info;
  if (!system_->raw_info(fd, info)) {
    return refuse_open(ErrorCode::AttributesFailed, errno, nullptr, "HIDIOCGRAWINFO failed");
  }
  vendor_id_ = info.vendor_id;
  product_id_ = info.product_id;
  xLog(kTag, LOG_INFO, kFn, "HidrawDevice::open vid=0x%04x pid=0x%04x bus=%u", vendor_id_,
       product_id_, info.bus_type);
  if (vendor_id_ != maker::kVendorId) {
    return refuse_open(ErrorCode::NotMakerDevice, product_id_, nullptr, "ignoring non corvane device");
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
  auto protocol = find_protocol_collections(*descriptor, product_id_, refusal);
  if (!protocol) return refuse_open(refusal.code, 0, nullptr, refusal.reason);

  protocol_ = std::move(*protocol);
  read_length_ = 0;
  for (const auto& [id, lengths] : descriptor->reports()) {
    if (lengths.input > read_length_) read_length_ = lengths.input;
  }
  for (const ProtocolCollection& c : protocol_.collections) {
    xLog(kTag, LOG_INFO, kFn, "HidrawDevice::open usagepage=0x%04x usage=0x%04x reportid=0x%02x len=%u",
         c.usage_page, c.usage, c.report_id, c.length);
  }

  std::string name;
  if (system_->raw_name(fd, name)) {
    product_name_ = std::move(name);
  } else {
    xLog(kTag, LOG_WARNING, kFn, "HidrawDevice::open HIDIOCGRAWNAME failed, err=%d", errno);
  }
  validated_ = true;
  return true;
}

void HidrawDevice::close() {
  static constexpr const char* kFn = "dovod::HidrawDevice::close";
  xLog(kTag, LOG_DEBUG, kFn, "HidrawDevice::close enter, dev=%s", path_.c_str());
  std::thread reader;
  int fd = -1, stop_read = -1, stop_write = -1;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_) {
      xLog(kTag, LOG_DEBUG, kFn, "HidrawDevice::close exit (not open)");
      return;
    }
    open_ = false;
    reader = std::move(reader_);
    if (channel_) channel_->running = false;
    channel_.reset();
    fd = fd_;
    stop_read = stop_read_;
    stop_write = stop_write_;
    fd_ = stop_read_ = stop_write_ = -1;
    // Wakes the read thread and any write waiting for room; the pipe stays readable for both.
    const char wake = 1;
    if (::write(stop_write, &wake, 1) < 0) {
      xLog(kTag, LOG_ERROR, kFn, "HidrawDevice::close could not signal stop, err=%d", errno);
    }
  }
  if (reader.joinable()) {
    if (reader.get_id() == std::this_thread::get_id()) {
      xLog(kTag, LOG_ERROR, kFn,
           "close is being called from the read thread, so detaching read thread instead of joining it");
      reader.detach();
    } else {
      reader.join();
    }
  }
  // A write still under way has been woken by the stop pipe; once it lets go, nothing uses the
  // descriptors any more.
  { std::lock_guard<std::mutex> wait_for_write(write_mutex_); }
  close_fd(fd);
  close_fd(stop_read);
  close_fd(stop_write);
  xLog(kTag, LOG_DEBUG, kFn, "HidrawDevice::close exit");
}

void HidrawDevice::on_subscription_added(Subscriber<IHardwareDevice::Read>*, int) {
  std::lock_guard<std::mutex> lock(mutex_);
  subscribed_ = true;
  if (open_) start_read_thread();
}

void HidrawDevice::start_read_thread() {
  static constexpr const char* kFn = "dovod::HidrawDevice::start_read_thread";
  if (removed_) return;
  if (channel_ && channel_->running) {
    xLog(kTag, LOG_DEBUG, kFn, "HidrawDevice::on_subscribe device already has read thread");
    return;
  }
  auto channel = std::make_shared<HidrawReadChannel>();
  channel->fd = fd_;
  channel->stop = stop_read_;
  channel->length = read_length_;
  channel->product_id = product_id_;
  for (const ProtocolCollection& c : protocol_.collections) channel->protocol_ids.set(c.report_id);
  try {
    reader_ = std::thread(hidraw_read_loop, channel, weak_from_this());
    channel_ = std::move(channel);
  } catch (const std::system_error& e) {
    xLog(kTag, LOG_ERROR, kFn, "HidrawDevice::start_read_thread failed: %s", e.what());
  }
}

std::shared_ptr<IHardwareBus> HidrawDevice::bus() {
  auto link = bus_.lock();
  return link ? link->hardware_bus() : nullptr;
}

unsigned HidrawDevice::pid() {
  std::lock_guard<std::mutex> lock(mutex_);
  return product_id_;
}

unsigned HidrawDevice::vendor_id() {
  std::lock_guard<std::mutex> lock(mutex_);
  return vendor_id_;
}

std::string HidrawDevice::product_name() {
  std::lock_guard<std::mutex> lock(mutex_);
  return product_name_;
}

int HidrawDevice::piece_bits() {
  std::lock_guard<std::mutex> lock(mutex_);
  return protocol_.piece_bits;
}

int HidrawDevice::expected_pieces() {
  std::lock_guard<std::mutex> lock(mutex_);
  return protocol_.expected_pieces;
}

int HidrawDevice::report_length() {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(protocol_.max_length);
}

std::string HidrawDevice::combine_key() {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool whole = protocol_.piece_bits == protocol_.expected_pieces;
  return whole || parent_.empty() ? path_ : parent_;
}

bool HidrawDevice::verify_connection_following_timeout() {
  static constexpr const char* kFn = "dovod::HidrawDevice::verify_connection_following_timeout";
  auto link = bus_.lock();
  if (!link) {
    xLog(kTag, LOG_INFO, kFn, "HidrawDevice::verify_connection_following_timeout could not lock bus");
    return true;
  }
  if (link->verify_device_exists(path_)) return true;
  xLog(kTag, LOG_WARNING, kFn,
       "HidrawDevice::verify_connection_following_timeout returning false (is a zombie)");
  return false;
}

void HidrawDevice::report_removal() {
  if (removed_.exchange(true)) return;
  xLog(kTag, LOG_INFO, "dovod::HidrawDevice::report_removal", "HidrawDevice device removed: %s",
       path_.c_str());
  if (auto link = bus_.lock()) link->read_failed_with_disconnect_error(path_, generation_);
}

void HidrawDevice::deliver(Bytes report, unsigned length) {
  Producer<IHardwareDevice::Read>::produce(
      [report, length](IHardwareDevice::Read* s) { s->onRead(report, false, 0, length); },
      "HidrawDevice::Read::onRead");
}

void HidrawDevice::deliver_failure(int error, unsigned length) {
  Producer<IHardwareDevice::Read>::produce(
      [error, length](IHardwareDevice::Read* s) { s->onRead({}, false, static_cast<unsigned>(error), length); },
      "HidrawDevice::Read::onRead");
}

void HidrawDevice::deliver_removal(int error) {
  report_removal();
  deliver_failure(error, 0);
}

}  // namespace dovod
