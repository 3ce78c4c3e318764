#include "Source/HidDevice.h"

#include <system_error>

#include "Source/HidReadThread.h"
#include "dovod/LastError.h"
#include "dovod/xLog.h"

namespace dovod {
namespace {

std::string function_name(const char* name, const char* operation) {
  return std::string("dovod::") + name + "::" + operation;
}

}  // namespace

HidDevice::HidDevice(const char* name, std::weak_ptr<IHidBusLink> bus, std::string path,
                     std::chrono::milliseconds write_limit, std::uint64_t generation)
    : name_(name),
      bus_(std::move(bus)),
      path_(std::move(path)),
      write_limit_(write_limit),
      generation_(generation),
      open_fn_(function_name(name, "open")),
      close_fn_(function_name(name, "close")),
      write_fn_(function_name(name, "write")),
      start_fn_(function_name(name, "start_read_thread")),
      verify_fn_(function_name(name, "verify_connection_following_timeout")) {}

HidDevice::~HidDevice() {
  destructing_ = true;
  close();
}

bool HidDevice::fail_open(ErrorCode code, const char* why) {
  set_last_error(code);
  xLog(name_, LOG_WARNING, open_fn_.c_str(), "%s::open exit (false, %s)", name_, why);
  return false;
}

bool HidDevice::open() {
  xLog(name_, LOG_DEBUG, open_fn_.c_str(), "%s::open enter", name_);
  if (removed_) return fail_open(ErrorCode::DeviceRemoved, "DeviceRemoved");
  if (destructing_) return fail_open(ErrorCode::NotAvailable, "already destructed");

  std::unique_lock<std::mutex> lock(mutex_);
  if (open_) {
    if (channel_->still_open()) {
      xLog(name_, LOG_DEBUG, open_fn_.c_str(), "%s::open exit (true, already open)", name_);
      return true;
    }
    lock.unlock();
    close();
    xLog(name_, LOG_INFO, open_fn_.c_str(), "%s::open handle not valid, reopening", name_);
    lock.lock();
    // Another caller may have reopened it meanwhile; its handle is as fresh as ours would be.
    if (open_) return true;
  }
  if (path_.empty()) return fail_open(ErrorCode::NoPath, "no filepath");

  HidLayout layout;
  std::shared_ptr<HidChannel> channel = open_channel(validated_ ? nullptr : &layout);
  if (!channel) return false;
  if (!validated_) {
    layout_ = std::move(layout);
    validated_ = true;
  }
  channel_ = std::move(channel);
  open_ = true;
  if (subscribed_) start_read_thread();
  xLog(name_, LOG_INFO, open_fn_.c_str(), "%s::open opened dev=%s", name_, path_.c_str());
  xLog(name_, LOG_DEBUG, open_fn_.c_str(), "%s::open exit (true)", name_);
  return true;
}

void HidDevice::close() {
  xLog(name_, LOG_DEBUG, close_fn_.c_str(), "%s::close enter, dev=%s", name_, path_.c_str());
  std::thread reader;
  std::shared_ptr<HidChannel> channel;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_) {
      xLog(name_, LOG_DEBUG, close_fn_.c_str(), "%s::close exit (not open)", name_);
      return;
    }
    open_ = false;
    reader = std::move(reader_);
    if (read_state_) read_state_->running = false;
    read_state_.reset();
    channel = std::move(channel_);
  }
  // Wakes the read thread and any write waiting on the handle; both then fail or stop for good.
  channel->stop();
  if (reader.joinable()) {
    if (reader.get_id() == std::this_thread::get_id()) {
      xLog(name_, LOG_ERROR, close_fn_.c_str(),
           "close is being called from the read thread, so detaching read thread instead of joining it");
      reader.detach();
    } else {
      reader.join();
    }
  }
  // A write under way has been woken by the stop; once it lets go, only a detached read thread
  // can still hold the channel, and it releases the handle on its way out.
  { std::lock_guard<std::mutex> wait_for_write(write_mutex_); }
  channel.reset();
  xLog(name_, LOG_DEBUG, close_fn_.c_str(), "%s::close exit", name_);
}

void HidDevice::on_subscription_added(Subscriber<IHardwareDevice::Read>*, int) {
  std::lock_guard<std::mutex> lock(mutex_);
  subscribed_ = true;
  if (open_) start_read_thread();
}

void HidDevice::start_read_thread() {
  if (removed_) return;
  if (read_state_ && read_state_->running) {
    xLog(name_, LOG_DEBUG, start_fn_.c_str(), "%s::on_subscribe device already has read thread", name_);
    return;
  }
  // A thread that ended by itself holds nothing of the device's any more.
  if (reader_.joinable()) reader_.detach();
  auto state = std::make_shared<ReadThread>();
  state->channel = channel_;
  state->name = name_;
  state->length = layout_.input_length;
  state->product_id = layout_.product_id;
  try {
    reader_ = std::thread(read_loop, state, weak_from_this());
  } catch (const std::system_error& e) {
    xLog(name_, LOG_ERROR, start_fn_.c_str(), "%s::start_read_thread failed: %s", name_, e.what());
    return;
  }
  read_state_ = state;
  std::unique_lock<std::mutex> started(state->mutex);
  state->changed.wait(started, [&] { return state->started; });
}

std::shared_ptr<IHardwareBus> HidDevice::bus() {
  auto link = bus_.lock();
  return link ? link->hardware_bus() : nullptr;
}

unsigned HidDevice::pid() {
  std::lock_guard<std::mutex> lock(mutex_);
  return layout_.product_id;
}

unsigned HidDevice::vendor_id() {
  std::lock_guard<std::mutex> lock(mutex_);
  return layout_.vendor_id;
}

std::string HidDevice::product_name() {
  std::lock_guard<std::mutex> lock(mutex_);
  return layout_.product_name;
}

int HidDevice::piece_bits() {
  std::lock_guard<std::mutex> lock(mutex_);
  return layout_.piece_bits;
}

int HidDevice::expected_pieces() {
  std::lock_guard<std::mutex> lock(mutex_);
  return layout_.expected_pieces;
}

int HidDevice::report_length() {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(layout_.output_length);
}

std::string HidDevice::combine_key() {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool whole = layout_.piece_bits == layout_.expected_pieces;
  return whole || layout_.group.empty() ? path_ : layout_.group;
}

bool HidDevice::verify_connection_following_timeout() {
  auto link = bus_.lock();
  if (!link) {
    xLog(name_, LOG_INFO, verify_fn_.c_str(), "%s::verify_connection_following_timeout could not lock bus", name_);
    return true;
  }
  if (link->verify_device_exists(path_)) return true;
  xLog(name_, LOG_WARNING, verify_fn_.c_str(),
       "%s::verify_connection_following_timeout returning false (is a zombie)", name_);
  return false;
}

void HidDevice::report_removal() {
  if (removed_.exchange(true)) return;
  xLog(name_, LOG_INFO, function_name(name_, "report_removal").c_str(), "%s device removed: %s", name_,
       path_.c_str());
  if (auto link = bus_.lock()) link->read_failed_with_disconnect_error(path_, generation_);
}

}  // namespace dovod
