#include "protocol/FeatureRegistry.h"

#include "protocol/Feature.h"

namespace dovod {

FeatureRegistry& FeatureRegistry::instance() {
  // Made on first use, so that feature units may register from their static initialisers in any order.
  static FeatureRegistry registry;
  return registry;
}

void FeatureRegistry::register_creator(int id, FeatureCreator creator) { creators_[id] = std::move(creator); }

bool FeatureRegistry::has_creator(int id) const { return creators_.count(id) != 0; }

std::shared_ptr<Feature> FeatureRegistry::create_feature(int id, Byte index, std::weak_ptr<IDevice> device) const {
  auto it = creators_.find(id);
  if (it != creators_.end() && it->second) {
    if (std::shared_ptr<Feature> feature = it->second(index, device)) return feature;
  }
  return std::make_shared<Feature>(id, index, std::move(device));
}

}  // namespace dovod
