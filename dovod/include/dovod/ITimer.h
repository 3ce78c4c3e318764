#pragma once
// A one-shot timer. When it expires it produces TimerEvent with its id; owners subscribe with RunLoop
// delivery so that expiry is handled on the host thread.

namespace dovod {

class ITimer {
 public:
  class TimerEvent {
   public:
    virtual ~TimerEvent() = default;
    virtual void onTimerEvent(int timer_id) {}
  };

  virtual ~ITimer() = default;

  // Starts a countdown of ms unless one is running and has not passed its first half yet; calls made
  // in that first half are absorbed (false). Otherwise as start.
  virtual bool arm(int ms) = 0;

  // Stops any running countdown and starts a new one of ms milliseconds. True.
  virtual bool start(int ms) = 0;

  // Stops the running countdown, if any; no event of it follows once this returns. True. Never call
  // it from a Direct handler of this timer's own event: it waits for the countdown thread.
  virtual bool stop() = 0;
};

}  // namespace dovod
