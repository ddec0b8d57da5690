#include "push/RODevezir.h"

#include <string>

#include "platform/foundation/Bundle.h"
#include "platform/ui/Application.h"
#include "push/ZODLogger.h"

namespace push {

void RODevezir::setupWithOption(const platform::Value& launchOptions) {
    ZODLogger::setLevel(ZODLogLevel::Info);
    ZODLogger::info(kZODVersionBanner);
    ZODService& service = sharedService();

    if (launchOptions.isNil()) return;
    if (!launchOptions.isDictionary()) {
        ZODLogger::error("launch options are not a dictionary; they are ignored");
        return;
    }
    const platform::Value& payload = launchOptions[platform::UIApplicationLaunchOptionsRemoteNotificationKey];
    if (payload.isNil()) return;  // not launched by a push
    if (!payload.isDictionary()) {
        ZODLogger::error("the launch push is not a dictionary; it is ignored");
        return;
    }
    if (payload.dictionary()->empty()) {
        ZODLogger::info("the launch push is empty; it is ignored");
        return;
    }
    service.handleRemoteNotification(ZODReportType::Launch, *payload.dictionary());
}

void RODevezir::registerDeviceToken(const platform::Data& token) {
    sharedService().registerDeviceToken(token);
}

void RODevezir::handleRemoteNotification(const platform::Dictionary& payload) {
    if (payload.empty()) {
        ZODLogger::info("an empty remote notification is ignored");
        return;
    }
    // Read now, on the caller's thread: by the time the client thread gets to
    // the work the app may have changed state.
    const ZODReportType type =
        reportTypeForApplicationState(platform::UIApplication::sharedApplication().applicationState());
    sharedService().handleRemoteNotification(type, payload);
}

ZODService& RODevezir::sharedService() {
    // Destroyed at exit, which finishes the work handed over and joins the
    // client thread. Statics destroyed earlier than it must not be read by that
    // work: the main bundle its set-up reads is therefore made first. So this
    // one is a plain static, not a never-destroyed one, and has no reset: its
    // thread runs from first use to exit, and tests flush it instead.
    static ZODService& service = []() -> ZODService& {
        platform::Bundle::main();
        static ZODService instance;
        return instance;
    }();
    return service;
}

}  // namespace push
