#pragma once
// Producer<E>: the base of every class that produces events of type E. Subscribers ask for direct
// delivery (called on the producing thread, with this producer's lock held) or run-loop delivery
// (queued for the host thread through the facade).

#include <cstddef>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "dovod/Delivery.h"
#include "dovod/RunLoop.h"

namespace dovod {

template <class E>
class Subscriber;

template <class E>
class Producer {
 public:
  using SubscriberSet = std::set<Subscriber<E>*>;

  virtual ~Producer() = default;

  // Adds s in the given mode. True when added or already present in that mode, and for a mode other
  // than RunLoop or Direct (nothing is added). False when on_subscribe refused; the hook set
  // LastError. Any thread; on_subscribe runs without the lock, on_subscription_added with it.
  virtual bool subscribe(Subscriber<E>* s, int delivery) {
    if (delivery != RunLoop && delivery != Direct) return true;
    {
      std::lock_guard<std::recursive_mutex> lock(mutex_);
      if (set_for(delivery).count(s)) return true;
    }
    if (!on_subscribe(s)) return false;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    set_for(delivery).insert(s);
    on_subscription_added(s, delivery);
    return true;
  }

  // Removes s from both modes; its queued run-loop events from this producer are discarded before
  // this returns. Any thread.
  virtual void unsubscribe(Subscriber<E>* s) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (direct_.erase(s)) on_unsubscribe(s);
    if (runloop_.erase(s)) {
      on_unsubscribe(s);
      remove_runloop_events(s, &runloop_);
    }
  }

  // Calls `call` once per subscriber: direct ones now, in address order, run-loop ones queued in
  // address order. Holds the producer's lock throughout. Any thread.
  virtual void produce(std::function<void(E*)> call, std::string description) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    // A direct handler may unsubscribe itself; iterate over a snapshot so that stays safe.
    const std::vector<Subscriber<E>*> direct(direct_.begin(), direct_.end());
    for (Subscriber<E>* s : direct) {
      if (direct_.count(s)) call(s);
    }
    for (Subscriber<E>* s : runloop_) {
      enqueue_event_for_runloop([call, s] { call(s); }, s, &runloop_, description);
    }
  }

  // Subscribers in both modes.
  virtual std::size_t subscriber_count() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return direct_.size() + runloop_.size();
  }

 protected:
  // False refuses a subscription; the override sets LastError. Called without the lock.
  virtual bool on_subscribe(Subscriber<E>* s) { return true; }
  // Called with the lock held, after s was added.
  virtual void on_subscription_added(Subscriber<E>* s, int delivery) {}
  // Called with the lock held, after s was removed from one mode.
  virtual void on_unsubscribe(Subscriber<E>* s) {}

 private:
  SubscriberSet& set_for(int delivery) { return delivery == Direct ? direct_ : runloop_; }

  std::recursive_mutex mutex_;
  SubscriberSet direct_;
  SubscriberSet runloop_;
};

}  // namespace dovod

// Producers are used together with subscribers; this saves every user from including both.
#include "dovod/Subscriber.h"
