// The hidraw bus's monitor thread: it waits on the device source's descriptor and turns each node
// event into onPlug or onUnplug.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "Source/Linux/HidrawBus.h"
#include "Source/Linux/HidrawMonitorChannel.h"
#include "dovod/xLog.h"

namespace dovod {
namespace {

constexpr const char* kTag = "HidrawBus";

}  // namespace

void hidraw_monitor_loop(std::shared_ptr<HidrawMonitorChannel> channel, std::weak_ptr<HidrawBus> bus) {
  static constexpr const char* kFn = "dovod::HidrawBus::monitor_thread";
  xLog(kTag, LOG_DEBUG, kFn, "HidrawBus::monitor_thread start");
  while (channel->running) {
    pollfd fds[2] = {{channel->fd, POLLIN, 0}, {channel->stop_read, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      xLog(kTag, LOG_ERROR, kFn, "HidrawBus::monitor_thread poll failed, err=%d", errno);
      break;
    }
    if (fds[1].revents != 0) break;
    if (fds[0].revents == 0) continue;
    if ((fds[0].revents & POLLIN) == 0) {
      xLog(kTag, LOG_ERROR, kFn, "HidrawBus::monitor_thread monitor failed, revents=0x%x", fds[0].revents);
      break;
    }
    // Releasing `self` may destroy the bus here; only `channel` is used after that.
    std::shared_ptr<HidrawBus> self = bus.lock();
    if (!self) break;
    while (channel->running) {
      std::optional<HidrawNodeEvent> event = self->source_->next_event();
      if (!event) break;
      if (event->added) {
        self->node_added(event->node);
      } else {
        self->unplug(event->node.path, std::nullopt);
      }
    }
  }
  xLog(kTag, LOG_DEBUG, kFn, "HidrawBus::monitor_thread end");
}

bool HidrawBus::on_subscribe(Subscriber<IHardwareBus::PlugUnplug>*) {
  lazy_start();
  return true;
}

void HidrawBus::lazy_start() {
  static constexpr const char* kFn = "dovod::HidrawBus::lazy_start";
  std::lock_guard<std::mutex> lock(start_mutex_);
  if (started_) return;
  started_ = true;
  // Without a monitor the bus still lists devices and finds removals by reading; it only misses
  // arrivals, so this is a warning, not a failure.
  const int fd = source_->start_monitor();
  if (fd < 0) {
    xLog(kTag, LOG_WARNING, kFn, "HidrawBus::lazy_start no device monitor, err=%d", errno);
    return;
  }
  int stop[2];
  if (::pipe2(stop, O_CLOEXEC | O_NONBLOCK) < 0) {
    xLog(kTag, LOG_WARNING, kFn, "HidrawBus::lazy_start pipe failed, err=%d", errno);
    return;
  }
  auto channel = std::make_shared<HidrawMonitorChannel>();
  channel->fd = fd;
  channel->stop_read = stop[0];
  channel->stop_write = stop[1];
  try {
    monitor_ = std::thread(hidraw_monitor_loop, channel, weak_from_this());
    channel_ = std::move(channel);
  } catch (const std::system_error& e) {
    xLog(kTag, LOG_ERROR, kFn, "HidrawBus::lazy_start thread failed: %s", e.what());
    ::close(stop[0]);
    ::close(stop[1]);
  }
}

HidrawBus::~HidrawBus() {
  std::thread monitor;
  std::shared_ptr<HidrawMonitorChannel> channel;
  {
    std::lock_guard<std::mutex> lock(start_mutex_);
    monitor = std::move(monitor_);
    channel = std::move(channel_);
  }
  if (!channel) return;
  channel->running = false;
  const char wake = 1;
  if (::write(channel->stop_write, &wake, 1) < 0) {
    xLog(kTag, LOG_ERROR, "dovod::HidrawBus::~HidrawBus", "HidrawBus could not signal stop, err=%d", errno);
  }
  if (monitor.get_id() == std::this_thread::get_id()) {
    monitor.detach();
  } else if (monitor.joinable()) {
    monitor.join();
  }
  ::close(channel->stop_read);
  ::close(channel->stop_write);
}

}  // namespace dovod
