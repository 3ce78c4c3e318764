#pragma once
// Subscriber<E>: the base of every class that consumes events of type E; it overrides E's handlers.
// It remembers the producers it is subscribed to (weakly) and unsubscribes from the live ones when
// it is destroyed. It has no lock: its owner subscribes and unsubscribes from one thread.

#include <memory>
#include <set>
#include <string>

#include "dovod/LastError.h"
#include "dovod/Producer.h"

namespace dovod {

template <class E>
class Subscriber : public E {
 public:
  Subscriber() = default;
  Subscriber(const Subscriber&) = delete;
  Subscriber& operator=(const Subscriber&) = delete;

  ~Subscriber() override {
    for (const auto& weak : producers_) {
      if (auto producer = weak.lock()) producer->unsubscribe(this);
    }
    producers_.clear();
  }

  // Subscribes to `source`, any object deriving from Producer<E>. True when subscribed, also when
  // already subscribed to it (in whichever mode: the first mode stays). False with
  // `ErrorCode::SubscribeCastFailed` (43) when `source` is not a Producer<E>, or with the
  // producer's LastError when it refused.
  // `name` documents the call site only.
  template <class X>
  bool subscribe(const std::shared_ptr<X>& source, int delivery, const std::string& name = {}) {
    std::shared_ptr<Producer<E>> producer = std::dynamic_pointer_cast<Producer<E>>(source);
    if (!producer) {
      set_last_error(ErrorCode::SubscribeCastFailed, 0, "dynamic pointer cast in subscribe failed");
      return false;
    }
    if (producers_.count(producer)) return true;
    const bool ok = producer->subscribe(this, delivery);
    if (ok) producers_.insert(producer);
    return ok;
  }

  // Unsubscribes from `source` when subscribed to it; anything else does nothing.
  template <class X>
  void unsubscribe(const std::shared_ptr<X>& source) {
    std::shared_ptr<Producer<E>> producer = std::dynamic_pointer_cast<Producer<E>>(source);
    if (!producer) return;
    auto it = producers_.find(producer);
    if (it == producers_.end()) return;
    producer->unsubscribe(this);
    producers_.erase(it);
  }

 private:
  std::set<std::weak_ptr<Producer<E>>, std::owner_less<std::weak_ptr<Producer<E>>>> producers_;
};

}  // namespace dovod
