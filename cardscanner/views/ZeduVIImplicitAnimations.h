#pragma once
// Layer changes that must show at once, never as the platform's implicit
// fades and moves. Main thread only, like the layers it wraps.

#include <functional>

#include "platform/graphics/Layer.h"

namespace cardscanner {

// Runs `block` inside its own layer transaction with implicit actions off.
inline void run_without_implicit_animations(const std::function<void()>& block) {
    platform::CATransaction::begin();
    platform::CATransaction::setDisableActions(true);
    if (block) block();
    platform::CATransaction::commit();
}

}  // namespace cardscanner
