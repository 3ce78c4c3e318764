#pragma once
// The process-wide map from feature id to the creator of its class. Feature units register at static
// initialisation, before any other thread exists; afterwards the map is only read.

#include <functional>
#include <map>
#include <memory>

#include "dovod/Types.h"

namespace dovod {

class IDevice;
class Feature;

using FeatureCreator = std::function<std::shared_ptr<Feature>(Byte index, std::weak_ptr<IDevice> device)>;

class FeatureRegistry {
 public:
  static FeatureRegistry& instance();

  void register_creator(int id, FeatureCreator creator);
  bool has_creator(int id) const;
  // Never fails: an id without a class gets a plain Feature that casts to no feature interface.
  std::shared_ptr<Feature> create_feature(int id, Byte index, std::weak_ptr<IDevice> device) const;

 private:
  std::map<int, FeatureCreator> creators_;
};

}  // namespace dovod
