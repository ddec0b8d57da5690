// Camera and scan steps: what the capture camera films and whether the app
// may use it, picks in the image picker on screen, and the card scanner's
// camera screen presented by itself, with scan options, over whatever the
// window shows, and the device turned:
//
//   {"scanCard": {"suppressScanConfirmation": true, "detectionMode": 0, "collectExpiry": true,
//                 "scanExpiry": true, "allowFreelyRotatingCardGuide": true,
//                 "disableManualEntryButtons": false, "languageOrLocale": "en",
//                 "scanInstructions": "text", "guideColor": [r, g, b, a]}}
//       presents the camera screen (every option may be left out; while the
//       confirmation is suppressed, the default, collectExpiry defaults to
//       false and no CVV is collected); logs "scenario: card scanner presented",
//       or "scenario: card scanner cancelled as it was presented" when the
//       scanner cancelled at once (no camera). Its delegate logs what the
//       screen reports and dismisses it:
//         "scan: card •••• 1234 provided (N digits)", then "scan: number matches the filmed card"
//         or "scan: number differs from the filmed card" when the camera films a card;
//         "scan: card image provided" (image-only detection, no number);
//         "scan: cancelled".
//   {"deviceOrientation": 1..6}                      turns the device; logs "scenario: device orientation N"
//
// Main thread only.
#include <memory>

#include "cardscanner/context/ZeduVIContext.h"
#include "cardscanner/results/ZeduVICreditCardInfo.h"
#include "cardscanner/screens/ZeduVIPaymentViewController.h"
#include "cardscanner/screens/ZeduVIViewController.h"
#include "platform/capture/FrameSource.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/ImagePickerController.h"
#include "platform/ui/Window.h"
#include "sim/SimCamera.h"
#include "sim/Steps.h"
#include "sim/FilmedCardSource.h"

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
    const bool suppressed = flag(options, "suppressScanConfirmation", true);
    context->setSuppressScanConfirmation(suppressed);
    // Without the confirmation there is no form to collect an expiry or a
    // CVV on, so the defaults ask for neither; only an explicit option does.
    context->setCollectExpiry(flag(options, "collectExpiry", !suppressed && context->collectExpiry()));
    context->setCollectCVV(!suppressed && context->collectCVV());
    context->setDisableManualEntryButtons(flag(options, "disableManualEntryButtons", false));
    context->setScanExpiry(flag(options, "scanExpiry", context->scanExpiry()));
    context->setAllowFreelyRotatingCardGuide(
        flag(options, "allowFreelyRotatingCardGuide", context->allowFreelyRotatingCardGuide()));
    if (!options["detectionMode"].isNil()) context->setDetectionMode(options["detectionMode"].integerValue());
    if (const std::string* language = options["languageOrLocale"].string()) context->setLanguageOrLocale(*language);
    if (const std::string* text = options["scanInstructions"].string()) context->setScanInstructions(*text);
    if (!options["guideColor"].isNil()) {
        const Value& c = options["guideColor"];
        context->setGuideColor(platform::UIColor::colorWithRedGreenBlueAlpha(
            c[0].doubleValue(), c[1].doubleValue(), c[2].doubleValue(), c[3].doubleValue()));
    }
    return context;
}

}  // namespace

StepOutcome playCamera(const StepRun& run) {
    const std::string& camera = *run.step["camera"].string();
    playerLog(platform::format("camera %s", camera.c_str()));
    std::string error;
    // Video and image paths are relative to the scenario file.
    if (!installCamera(camera, run.scenarioFolder(), error)) return StepOutcome::failed(error);
    return StepOutcome::next();
}

StepOutcome playCameraPermission(const StepRun& run) {
    const std::string& name = run.step["cameraPermission"].stringValue();
    playerLog(platform::format("camera permission %s", name.c_str()));
    std::string error;
    if (!setCameraPermission(name, error)) return StepOutcome::failed(error);
    return StepOutcome::next();
}

namespace {

using platform::UIImagePickerController;

// What each pick does with the picker on screen; false with `error` set when it cannot.
constexpr std::pair<const char*, bool (*)(const std::string& file, std::string* error)> kPicks[] = {
    {"library", [](const std::string& file, std::string* error) { return UIImagePickerController::pickLibraryFile(file, error); }},
    {"camera", [](const std::string&, std::string* error) { return UIImagePickerController::takeCameraPicture(error); }},
    {"video", [](const std::string&, std::string* error) { return UIImagePickerController::pickVideo(error); }},
    {"cancel", [](const std::string&, std::string* error) { return UIImagePickerController::cancel(error); }},
};

}  // namespace

const std::vector<std::string>& pickNames() {
    static const std::vector<std::string> names = namesOf(kPicks);
    return names;
}

StepOutcome playPick(const StepRun& run) {
    const std::string& kind = run.step["pick"].stringValue();
    const auto* pick = named(kPicks, kind);
    if (!pick) return StepOutcome::failed("unknown pick '" + kind + "'");
    const std::string* file = run.step["file"].string();
    const bool library = kind == "library";
    if (library && !file) return StepOutcome::failed("a library pick needs a \"file\"");
    playerLog(platform::format("picker %s%s%s", kind.c_str(), library ? " " : "", library ? file->c_str() : ""));
    std::string error;
    if (!pick->second(library ? *file : std::string(), &error)) return StepOutcome::failed("picker: " + error);
    return StepOutcome::next();
}

StepOutcome playScanCard(const StepRun& run) {
    const Value& options = run.step["scanCard"];
    auto window = platform::UIWindow::keyWindow();
    auto presenter = window ? window->rootViewController() : nullptr;
    while (presenter && presenter->presentedViewController()) presenter = presenter->presentedViewController();
    if (!presenter) return StepOutcome::failed("no window to present the card scanner in");
    auto context = contextFrom(options);
    auto screen = cardscanner::ZeduVIViewController::create();
    screen->setContext(context);
    auto payment = ZeduVIPaymentViewController::create(context, screen);
    payment->setPaymentDelegate(reporter());
    presenter->presentViewController(payment, false);
    // A scanner that cannot film (no camera) cancels as it is presented, and
    // its delegate has said so and dismissed it by now.
    playerLog(payment->presentingViewController() ? "card scanner presented"
                                                  : "card scanner cancelled as it was presented");
    return StepOutcome::next();
}

}  // namespace sim
