#pragma once
// For tests of the scanner's screens: a payment delegate that counts what
// the screens tell it and keeps the last card provided, and the reset of the
// process-wide state the screens read (main run loop, application, device,
// system-version answers) that each such test starts from.

#include <memory>

#include "cardscanner/results/ZeduVICreditCardInfo.h"
#include "cardscanner/util/ZeduVIMacros.h"
#include "cardscanner/screens/ZeduVIPaymentViewController.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"

namespace cardscanner::testing {

struct RecordingPaymentDelegate : ZeduVIPaymentViewControllerDelegate {
    void userDidCancelPaymentViewController(ZeduVIPaymentViewController&) override { ++cancels; }
    void userDidProvideCreditCardInfo(std::shared_ptr<ZeduVICreditCardInfo> info,
                                      ZeduVIPaymentViewController&) override {
        ++provides;
        provided = std::move(info);
    }
    int cancels = 0;
    int provides = 0;
    std::shared_ptr<ZeduVICreditCardInfo> provided;
};

}  // namespace cardscanner::testing
