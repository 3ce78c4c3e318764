#pragma once
// What every feature unit does at static initialisation: register its class under its id, and log
// once per process that the unit was linked in.

#include <atomic>
#include <memory>

#include "protocol/Feature.h"
#include "protocol/FeatureRegistry.h"

namespace dovod {

template <class F>
bool register_feature_class(int id) {
  FeatureRegistry::instance().register_creator(
      id, [](Byte index, std::weak_ptr<IDevice> device) -> std::shared_ptr<Feature> {
        return std::make_shared<F>(index, std::move(device));
      });
  return true;
}

// Writes "Dovod: Feature<id_text> included" the first time `logged` is seen clear.
void log_feature_included(std::atomic<bool>& logged, const char* tag, const char* function, const char* id_text);

}  // namespace dovod
