#pragma once
// The process-wide run-loop queue as producers see it. These forward to the facade (CDovod), which
// forwards to the device manager when one exists and otherwise drops the call with a log line.

#include <functional>
#include <string>

namespace dovod {

using RunLoopCall = std::function<void()>;

// Queues one call for the host thread, keyed by subscriber and producer run-loop set, and produces
// the run-loop trigger. Any thread; takes the facade mutex, then the queue mutex.
void enqueue_event_for_runloop(RunLoopCall call, const void* subscriber_key, const void* producer_key,
                               const std::string& description);

// Discards every queued call whose two keys match; two null keys discard everything. Any thread.
void remove_runloop_events(const void* subscriber_key, const void* producer_key);

}  // namespace dovod
