#pragma once
// A payment delegate that counts what the scanner's screens tell it and
// keeps the last card provided.

#include <memory>

#include "cardscanner/ZeduVICreditCardInfo.h"
#include "cardscanner/ZeduVIPaymentViewController.h"

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
