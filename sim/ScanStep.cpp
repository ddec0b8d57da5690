#include "sim/ScanStep.h"

#include <memory>

#include "cardscanner/ZeduVIContext.h"
#include "cardscanner/ZeduVICreditCardInfo.h"
#include "cardscanner/ZeduVIPaymentViewController.h"
#include "cardscanner/ZeduVIViewController.h"
#include "platform/capture/FrameSource.h"
#include "platform/foundation/Log.h"
#include "platform/ui/Device.h"
#include "platform/ui/Window.h"
#include "tools/camera_frames/FilmedCardSource.h"

namespace sim {

using cardscanner::ZeduVICreditCardInfo;
using cardscanner::ZeduVIPaymentViewController;
using platform::Value;

namespace {

class ScanReporter final : public cardscanner::ZeduVIPaymentViewControllerDelegate {
public:
    void userDidCancelPaymentViewController(ZeduVIPaymentViewController& controller) override {
        platform::log("scan: cancelled");
        controller.dismissViewControllerAnimated(false);
    }

    void userDidProvideCreditCardInfo(std::shared_ptr<ZeduVICreditCardInfo> info,
                                      ZeduVIPaymentViewController& controller) override {
        if (!info || info->cardNumber().empty()) {
            platform::log("scan: card image provided");
        } else {
            platform::logf("scan: card %s provided (%zu digits)", info->redactedCardNumber().c_str(),
                           info->cardNumber().size());
            // The filmed card's number is known, so the simulator can say
            // whether the right one was read without ever logging it.
            if (auto filmed = std::dynamic_pointer_cast<camera_frames::FilmedCardSource>(platform::cameraFrameSource()))
                platform::log(filmed->cardNumber() == info->cardNumber() ? "scan: number matches the filmed card"
                                                                         : "scan: number differs from the filmed card");
        }
        controller.dismissViewControllerAnimated(false);
    }
};

std::shared_ptr<ScanReporter>& reporter() {
    static auto shared = std::make_shared<ScanReporter>();
    return shared;
}

bool flag(const Value& options, const char* key, bool fallback) {
    return options[key].isNil() ? fallback : options[key].boolValue();
}

std::shared_ptr<cardscanner::ZeduVIContext> contextFrom(const Value& options) {
    auto context = std::make_shared<cardscanner::ZeduVIContext>();
    context->setSuppressScanConfirmation(flag(options, "suppressScanConfirmation", true));
    context->setCollectExpiry(flag(options, "collectExpiry", context->collectExpiry()));
    context->setDisableManualEntryButtons(flag(options, "disableManualEntryButtons", false));
    context->config()->setScanExpiry(flag(options, "scanExpiry", context->config()->scanExpiry()));
    context->setAllowFreelyRotatingCardGuide(
        flag(options, "allowFreelyRotatingCardGuide", context->allowFreelyRotatingCardGuide()));
    if (options["detectionMode"].isNumber()) context->setDetectionMode(options["detectionMode"].integerValue());
    if (const std::string* language = options["languageOrLocale"].string()) context->setLanguageOrLocale(*language);
    if (const std::string* text = options["scanInstructions"].string()) context->setScanInstructions(*text);
    if (options["guideColor"].isArray() && options["guideColor"].count() == 4) {
        const Value& c = options["guideColor"];
        context->setGuideColor(platform::UIColor::colorWithRedGreenBlueAlpha(
            c[0].doubleValue(), c[1].doubleValue(), c[2].doubleValue(), c[3].doubleValue()));
    }
    return context;
}

}  // namespace

bool isScanStep(const Value& step) { return !step["scanCard"].isNil() || !step["deviceOrientation"].isNil(); }

bool playScanStep(const Value& step, std::string& error) {
    if (!step["deviceOrientation"].isNil()) {
        const long orientation = step["deviceOrientation"].integerValue();
        if (!step["deviceOrientation"].isNumber() || orientation < 0 || orientation > 6) {
            error = "a device orientation is a number from 0 to 6";
            return false;
        }
        platform::logf("scenario: device orientation %ld", orientation);
        platform::UIDevice::currentDevice().setOrientation(static_cast<platform::UIDeviceOrientation>(orientation));
        return true;
    }
    const Value& options = step["scanCard"];
    if (!options.isDictionary()) {
        error = "scanCard takes an object of options";
        return false;
    }
    auto window = platform::UIWindow::keyWindow();
    auto presenter = window ? window->rootViewController() : nullptr;
    while (presenter && presenter->presentedViewController()) presenter = presenter->presentedViewController();
    if (!presenter) {
        error = "no window to present the card scanner in";
        return false;
    }
    auto context = contextFrom(options);
    auto screen = cardscanner::ZeduVIViewController::create();
    screen->setContext(context);
    auto payment = ZeduVIPaymentViewController::create(context, screen);
    payment->setPaymentDelegate(reporter());
    presenter->presentViewController(payment, false);
    platform::log("scenario: card scanner presented");
    return true;
}

}  // namespace sim
