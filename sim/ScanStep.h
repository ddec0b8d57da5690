#pragma once
// The simulator's card-scanner steps: present the camera screen by itself,
// with scan options, over whatever the window shows, and turn the device.
//
//   {"scanCard": {"suppressScanConfirmation": true, "detectionMode": 0, "collectExpiry": true,
//                 "scanExpiry": true, "allowFreelyRotatingCardGuide": true,
//                 "disableManualEntryButtons": false, "languageOrLocale": "en",
//                 "scanInstructions": "text", "guideColor": [r, g, b, a]}}
//       presents the camera screen (every option may be left out); logs
//       "scenario: card scanner presented". Its delegate logs what the screen
//       reports and dismisses it:
//         "scan: card •••• 1234 provided (N digits)", then "scan: number matches the filmed card"
//         or "scan: number differs from the filmed card" when the camera films a card;
//         "scan: card image provided" (image-only detection, no number);
//         "scan: cancelled".
//   {"deviceOrientation": 1..6}                      turns the device; logs "scenario: device orientation N"
//
// Main thread only.

#include <string>

#include "platform/foundation/Value.h"

namespace sim {

// Whether the step table plays the step as one of these, and playing it by
// itself, outside a scenario: false with `error` saying why it could not run.
// The player plays them through the table (sim/Steps.h) like every step.
bool isScanStep(const platform::Value& step);
bool playScanStep(const platform::Value& step, std::string& error);

}  // namespace sim
