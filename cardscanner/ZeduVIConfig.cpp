#include "cardscanner/ZeduVIConfig.h"

#include "cardscanner/ZeduVIAnalytics.h"
#include "platform/ui/View.h"

namespace cardscanner {

ZeduVIConfig::ZeduVIConfig() : scanReport_(std::make_shared<ZeduVIAnalytics>()) {}

}  // namespace cardscanner
