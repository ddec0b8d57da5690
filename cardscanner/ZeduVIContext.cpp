#include "cardscanner/ZeduVIContext.h"

#include "cardscanner/ZeduVIAnalytics.h"
#include "platform/ui/View.h"

namespace cardscanner {

ZeduVIContext::ZeduVIContext() : config_(std::make_shared<ZeduVIConfig>()) {}

}  // namespace cardscanner
