#pragma once
// The rotation questions a container answers for the screen.

#include "platform/ui/ViewController.h"

namespace hybrid {

class HYBScreenOrientationDelegate {
public:
    virtual ~HYBScreenOrientationDelegate() = default;
    virtual unsigned long supportedInterfaceOrientations() = 0;
    virtual bool shouldAutorotateToInterfaceOrientation(platform::UIInterfaceOrientation orientation) = 0;
    virtual bool shouldAutorotate() = 0;
};

}  // namespace hybrid
