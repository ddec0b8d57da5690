#include "plugins/cardscanner/CardScanner.h"

#include "cardscanner/results/ZeduVICreditCardInfo.h"
#include "hybrid/HYBContainer.h"
#include "hybrid/HYBPluginResult.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace plugins {

namespace {

// The container when it is a view controller; otherwise (a container
// without views, as in tests) whatever the key window shows on top.
std::shared_ptr<platform::UIViewController> presenterFor(const hybrid::HYBPlugin& plugin) {
    if (auto container = std::dynamic_pointer_cast<platform::UIViewController>(plugin.viewController()))
        return container;
    const auto window = platform::UIWindow::keyWindow();
    auto presenter = window ? window->rootViewController() : nullptr;
    while (presenter && presenter->presentedViewController()) presenter = presenter->presentedViewController();
    return presenter;
}

// Dismisses the scanner from its presenter. The screen that called the
// delegate is still on the stack: the controller is kept until the next turn.
void dismiss(cardscanner::ZeduVIPaymentViewController& payment) {
    auto keepAlive = payment.shared_from_this();
    if (auto presenter = payment.presentingViewController()) presenter->dismissViewControllerAnimated(true);
    platform::RunLoop::main().post([keepAlive] {});
}

}  // namespace

const hybrid::HYBActionTable& CardScanner::actionTable() const {
    static const auto table = hybrid::HYBActionTable::of<CardScanner>({{"scanCard", &CardScanner::scanCard}});
    return table;
}

void CardScanner::scanCard(const hybrid::HYBInvokedUrlCommand& command) {
    platform::assertMainThread("CardScanner::scanCard");
    callbackID_ = command.callbackId();
    // nullptr (so no scanner, logged) for a plugin not held by a shared_ptr.
    auto payment = cardscanner::ZeduVIPaymentViewController::createWithPaymentDelegate(weak_from_this().lock());
    if (!payment) return;
    payment->setModalPresentationStyle(platform::UIModalPresentationFormSheet);
    payment->setCollectCVV(false);
    payment->setCollectExpiry(false);
    payment->setCollectPostalCode(false);
    if (auto presenter = presenterFor(*this)) presenter->presentViewController(payment, true);
}

void CardScanner::userDidProvideCreditCardInfo(std::shared_ptr<cardscanner::ZeduVICreditCardInfo> cardInfo,
                                               cardscanner::ZeduVIPaymentViewController& paymentViewController) {
    platform::assertMainThread("CardScanner::userDidProvideCreditCardInfo");
    dismiss(paymentViewController);
    if (!callbackID_) return;
    const auto result = hybrid::HYBPluginResult::resultWithStatusMessageAsString(
        hybrid::HYBResultStatusOK, cardInfo ? cardInfo->cardNumber() : std::string());
    writeJavascript(result->toSuccessCallbackString(*callbackID_));
}

void CardScanner::userDidCancelPaymentViewController(cardscanner::ZeduVIPaymentViewController& paymentViewController) {
    platform::assertMainThread("CardScanner::userDidCancelPaymentViewController");
    dismiss(paymentViewController);
}

}  // namespace plugins
