#pragma once

namespace dovod {

// How a subscriber wants its events: queued for the host's thread, or called on the producing
// thread. Any other value is accepted by subscribe and ignored.
enum Delivery : int {
  RunLoop = 0,
  Direct = 1,
};

}  // namespace dovod
