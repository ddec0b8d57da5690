#pragma once
// The empty controller from which the camera plugin presents its picker full
// screen, so the picker never replaces the container's own view. One instance
// for the life of the process, made on first use. Main thread only.

#include <memory>

#include "platform/ui/ViewController.h"

namespace plugins {

class TempUIViewControler : public platform::UIViewController {
public:
    static std::shared_ptr<TempUIViewControler> shared();

    bool shouldAutorotate() override { return false; }
    unsigned long supportedInterfaceOrientations() override { return 30; }
};

}  // namespace plugins
