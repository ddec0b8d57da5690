#pragma once
// The software keyboard stand-in, one per process. It shows while a text
// field is the first responder and hides when the last one resigns, posting
// UIKeyboardWillShowNotification then UIKeyboardDidShowNotification (or the
// Hide pair) with userInfo {UIKeyboardFrameEndUserInfoKey: [x, y, w, h] in
// screen points, UIKeyboardAnimationDurationUserInfoKey: 0.25}. Its frame is
// the bottom 216 points of the screen in portrait, 162 in landscape (the
// status bar's orientation). The key window draws it over everything while
// it is visible: labelled letter keys, or the digit pad when the first
// responder asks for the number pad.
//
// Typing is for the simulator and tests: each character goes through the
// first responder's insertText, as a key press would. Main thread only.

#include <cstddef>
#include <string>

#include "platform/foundation/NeverDestroyed.h"
#include "platform/graphics/Geometry.h"

namespace platform {

inline constexpr const char* UIKeyboardWillShowNotification = "UIKeyboardWillShowNotification";
inline constexpr const char* UIKeyboardDidShowNotification = "UIKeyboardDidShowNotification";
inline constexpr const char* UIKeyboardWillHideNotification = "UIKeyboardWillHideNotification";
inline constexpr const char* UIKeyboardDidHideNotification = "UIKeyboardDidHideNotification";
inline constexpr const char* UIKeyboardFrameEndUserInfoKey = "UIKeyboardFrameEndUserInfoKey";
inline constexpr const char* UIKeyboardAnimationDurationUserInfoKey = "UIKeyboardAnimationDurationUserInfoKey";

inline constexpr double UIKeyboardPortraitHeight = 216;
inline constexpr double UIKeyboardLandscapeHeight = 162;
inline constexpr double UIKeyboardAnimationDuration = 0.25;

class UIKeyboard {
public:
    static UIKeyboard& shared();

    bool isVisible() const { return visible_; }
    // Where it is (or would be) on the screen now.
    CGRect frame() const;

    // False when no field has the keyboard. typeText stops at the first
    // character the field refuses, and still answers true: the keys were pressed.
    bool typeText(const std::string& text);
    bool pressBackspace(std::size_t count = 1);
    bool pressReturn();

    // The text fields' side: a field took or gave up the keyboard.
    void show();
    void hide();
    // Draws the keys into the current context (the key window's overlay).
    void draw() const;

private:
    UIKeyboard() = default;
    friend class NeverDestroyed<UIKeyboard>;
    void post(const char* name) const;
    bool visible_ = false;
};

}  // namespace platform
