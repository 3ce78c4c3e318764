#include "protocol/DeviceTuning.h"

#include <cstdlib>
#include <mutex>

namespace dovod {
namespace {

std::mutex& tuning_mutex() {
  static std::mutex mutex;
  return mutex;
}

DeviceTuning& tuning() {
  static DeviceTuning value;
  return value;
}

std::function<int()>& rand_source() {
  static std::function<int()> source;
  return source;
}

}  // namespace

DeviceTuning device_tuning() {
  std::lock_guard<std::mutex> lock(tuning_mutex());
  return tuning();
}

void set_device_tuning(const DeviceTuning& value) {
  std::lock_guard<std::mutex> lock(tuning_mutex());
  tuning() = value;
}

int device_rand() {
  std::function<int()> source;
  {
    std::lock_guard<std::mutex> lock(tuning_mutex());
    source = rand_source();
  }
  return source ? source() : std::rand();
}

void set_device_rand(std::function<int()> source) {
  std::lock_guard<std::mutex> lock(tuning_mutex());
  rand_source() = std::move(source);
}

}  // namespace dovod
