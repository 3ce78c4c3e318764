#include "protocol/features/FeatureUnit.h"

#include "dovod/xLog.h"

namespace dovod {

void log_feature_included(std::atomic<bool>& logged, const char* tag, const char* function, const char* id_text) {
  if (logged.exchange(true)) return;
  xLog(tag, LOG_DEBUG, function, "Dovod: Feature%s included", id_text);
}

}  // namespace dovod
