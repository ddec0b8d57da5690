#pragma once
// The page's card scanner: "scanCard" presents the payment view controller
// as a form sheet and, when the user is done, dismisses it and hands the
// card number to the command's success callback. A cancel dismisses it and
// sends nothing: that callback is never called.
//
// Main thread only. It holds one callback id, the latest scanCard's: a scan
// reports to the command that was latest when it finished. It keeps no
// reference to the controller it presents; the presenter holds it.

#include <memory>
#include <optional>
#include <string>

#include "cardscanner/screens/ZeduVIPaymentViewController.h"
#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBPlugin.h"

namespace plugins {

class CardScanner : public hybrid::HYBPlugin,
                    public cardscanner::ZeduVIPaymentViewControllerDelegate,
                    public std::enable_shared_from_this<CardScanner> {
public:
    using HYBPlugin::HYBPlugin;

    // The command's arguments are not read.
    void scanCard(const hybrid::HYBInvokedUrlCommand& command);

    void userDidProvideCreditCardInfo(std::shared_ptr<cardscanner::ZeduVICreditCardInfo> cardInfo,
                                      cardscanner::ZeduVIPaymentViewController& paymentViewController) override;
    void userDidCancelPaymentViewController(cardscanner::ZeduVIPaymentViewController& paymentViewController) override;
    std::string description() const override { return "CardScanner"; }

    // Empty for a command sent without a callback: its result goes nowhere.
    const std::optional<std::string>& callbackID() const { return callbackID_; }

protected:
    const hybrid::HYBActionTable& actionTable() const override;

private:
    std::optional<std::string> callbackID_;
};

}  // namespace plugins
