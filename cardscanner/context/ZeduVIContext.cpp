#include "cardscanner/context/ZeduVIContext.h"

#include "cardscanner/context/ZeduVIAnalytics.h"
#include "platform/ui/View.h"

namespace cardscanner {

ZeduVIContext::ZeduVIContext() : scanReport_(std::make_shared<ZeduVIAnalytics>()) {}

ZeduVIContext::~ZeduVIContext() = default;

}  // namespace cardscanner
