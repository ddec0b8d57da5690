#pragma once
// The simulator's form steps: typing on the software keyboard, tapping text
// fields and buttons by what they show, and checking a button's state. Only
// what is visible in the key window counts: views not hidden, not faded out
// and at least partly inside the window; the topmost match wins.
//
//   {"type": "text"}          each character through the keyboard; fails when no field has it
//   {"backspace": N}          N presses of the backspace key; fails when no field has the keyboard
//   {"return": true}          the return key; fails when no field has the keyboard
//   {"tapField": "PLACEHOLDER"}
//                             taps the text field with that placeholder; fails unless it then
//                             holds the keyboard
//   {"tapButton": "TITLE"}    taps the navigation-bar item or button with that title; fails when
//                             none shows or it is disabled
//   {"expectButton": {"title": "Done", "enabled": false}}
//                             fails unless a bar item or button with that title shows in that state
//
// Each logs "scenario: ..." as it runs ("scenario: type ••••••••••••1111 (16 characters)":
// what is typed into the card form's number or CVV field is masked, all but
// the last four digits of a whole number, as card numbers must never reach
// the log; "scenario: backspace N", "scenario: return",
// "scenario: tap field PLACEHOLDER", "scenario: tap button TITLE",
// "scenario: expect button TITLE enabled|disabled"). Main thread only.

#include <string>

#include "platform/foundation/Value.h"

namespace sim {

// Playing one of these steps by itself, outside a scenario: false with
// `error` saying why it could not run. The player plays them through the
// table (sim/StepTable.cpp) like every step.
bool playFormStep(const platform::Value& step, std::string& error);

// The typed text with its digits replaced by "•": all but the last four of
// a text of 13 digits or more, every one of a shorter text (a CVV).
std::string maskDigits(const std::string& text);
// The typed text as the log shows it: masked by maskDigits when the field
// with the keyboard is the card form's number or CVV field, else as typed.
std::string typedTextForLog(const std::string& text);

}  // namespace sim
