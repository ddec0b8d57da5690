#include "platform/ui/BarButtonItem.h"

#include "platform/foundation/RunLoop.h"

namespace platform {

bool UIBarButtonItem::trigger() {
    assertMainThread("UIBarButtonItem::trigger");
    if (!enabled_ || !action_) return false;
    // A copy: the action may replace or drop this item.
    const auto action = action_;
    action();
    return true;
}

}  // namespace platform
