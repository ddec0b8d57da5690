#pragma once
// How a remote notification reached the app, as the push service is told
// when the client reports the message's receipt.

#include "platform/ui/Application.h"

namespace push {

enum class ZODReportType : int {
    Other = 2000,       // an application state the client does not know
    Active = 2001,      // received while the app was in the foreground
    Inactive = 2002,    // received while the app was becoming or leaving active (a tap on the alert)
    Launch = 2003,      // the push that launched the app
    Background = 2004,  // received in the background
};

ZODReportType reportTypeForApplicationState(platform::UIApplicationState state);

}  // namespace push
