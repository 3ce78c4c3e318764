#pragma once
// A small event type with its producer and a recording subscriber, for the event framework tests.

#include <memory>
#include <string>
#include <vector>

#include "dovod/CDovod.h"
#include "dovod/Producer.h"
#include "dovod/Subscriber.h"

namespace dovod::testing {

class Ping {
 public:
  virtual ~Ping() = default;
  virtual void onPing(int n) {}
};

class PingSource : public Producer<Ping> {
 public:
  void Fire(int n) {
    produce([n](Ping* s) { s->onPing(n); }, "PingSource::Ping::onPing");
  }
};

class PingSink : public Subscriber<Ping> {
 public:
  void onPing(int n) override { got.push_back(n); }
  std::vector<int> got;
};

// Not a producer of Ping.
class Unrelated {
 public:
  virtual ~Unrelated() = default;
};

}  // namespace dovod::testing
