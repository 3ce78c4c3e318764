// The run-loop queue: events queued by any thread, delivered one at a time on the host thread.
#include <utility>

#include "core/DeviceManager.h"
#include "core/DeviceManagerLog.h"

namespace dovod {

void DeviceManager::produce_trigger() {
  Producer<IDeviceManager::RunLoopEvent>::produce([](IDeviceManager::RunLoopEvent* s) { s->onRunLoopEvent(); },
                                                  "DeviceManager::RunLoopEvent::onRunLoopEvent");
}

void DeviceManager::enqueue_event_for_runloop(RunLoopCall call, const void* subscriber_key,
                                              const void* producer_key, const std::string& description) {
  if (destroying_) return;
  {
    std::lock_guard<std::mutex> lock(queue_mutex_);
    queue_.push_back(RunLoopEntry{std::move(call), subscriber_key, producer_key, description});
    ++in_flight_;
  }
  produce_trigger();
}

void DeviceManager::call_event_from_runloop() {
  RunLoopEntry entry;
  bool delivering = false;
  bool trigger_again = false;
  int in_flight = 0;
  {
    std::lock_guard<std::mutex> lock(queue_mutex_);
    in_flight = --in_flight_;
    if (!queue_.empty()) {
      delivering = true;
      entry = std::move(queue_.front());
      queue_.pop_front();
      if (!queue_.empty()) {
        ++in_flight_;
        trigger_again = true;
      }
    }
  }
  // Logged after the queue mutex is released, so that producers never wait for the formatting.
  DM_LOG(LOG_VERBOSE, "call_event_from_runloop", "DeviceManager::call_event_from_runloop now %d triggers are in-flight",
         in_flight);
  if (!delivering) return;
  // One extra trigger keeps a host that folds several triggers into one call draining the queue.
  if (trigger_again) produce_trigger();
  entry.call();
}

void DeviceManager::remove_runloop_events(const void* subscriber_key, const void* producer_key) {
  std::lock_guard<std::mutex> lock(queue_mutex_);
  if (subscriber_key == nullptr && producer_key == nullptr) {
    DM_LOG(LOG_INFO, "remove_runloop_events", "DeviceManager::remove_runloop_events discarding all: %d events",
           static_cast<int>(queue_.size()));
    for (const RunLoopEntry& entry : queue_) {
      DM_LOG(LOG_INFO, "remove_runloop_events", "DeviceManager::remove_runloop_events discarding all: %s",
             entry.description.c_str());
    }
    queue_.clear();
    return;
  }
  for (auto it = queue_.begin(); it != queue_.end();) {
    if (it->subscriber_key == subscriber_key && it->producer_key == producer_key) {
      DM_LOG(LOG_DEBUG, "remove_runloop_events", "DeviceManager::remove_runloop_events discarding %s",
             it->description.c_str());
      it = queue_.erase(it);
    } else {
      ++it;
    }
  }
}

bool DeviceManager::subscribe(Subscriber<IDeviceManager::RunLoopEvent>* s, int delivery) {
  if (delivery == RunLoop) {
    DM_LOG(LOG_ERROR, "subscribe", "DeviceManager::subscribe exit (false, RunLoopEvent needs Direct delivery)");
    set_last_error(ErrorCode::Mismatch, 0, "the run-loop trigger is delivered Direct only");
    return false;
  }
  return Producer<IDeviceManager::RunLoopEvent>::subscribe(s, delivery);
}

void DeviceManager::on_subscription_added(Subscriber<IDeviceManager::RunLoopEvent>* s, int delivery) {
  DM_LOG(LOG_INFO, "on_subscription_added", "-api- IDeviceManager::RunLoopEvent, delivery=%d", delivery);
  std::size_t waiting = 0;
  {
    std::lock_guard<std::mutex> lock(queue_mutex_);
    waiting = queue_.size();
  }
  if (waiting == 0) return;
  // Events queued before the host listened would otherwise wait for the next unrelated trigger.
  DM_LOG(LOG_INFO, "on_subscription_added",
         "Subscribed to run loop after %d events are already in the queue... delivering events now",
         static_cast<int>(waiting));
  for (std::size_t i = 0; i < waiting; ++i) produce_trigger();
  DM_LOG(LOG_INFO, "on_subscription_added", "All pre-existing events have been delivered");
}

}  // namespace dovod
