#pragma once
// Bar button items: the buttons a navigation bar shows for the controller on
// top (NavigationItem.h). Items are plain shared objects, not views: the bar
// draws them on every rendering, so a change (title, enabled) shows on the
// next screenshot. trigger() is what a tap on the item does. Main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/graphics/Color.h"

namespace platform {

enum UIBarButtonItemStyle : long {
    UIBarButtonItemStylePlain = 0,
    UIBarButtonItemStyleBordered = 1,
    UIBarButtonItemStyleDone = 2,
};

class UIBarButtonItem {
public:
    // An empty action: the item has no target and a tap does nothing.
    UIBarButtonItem(std::string title, UIBarButtonItemStyle style, std::function<void()> action = nullptr)
        : title_(std::move(title)), style_(style), action_(std::move(action)) {}

    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }
    UIBarButtonItemStyle style() const { return style_; }
    void setStyle(UIBarButtonItemStyle style) { style_ = style; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    const std::optional<UIColor>& tintColor() const { return tintColor_; }
    void setTintColor(std::optional<UIColor> color) { tintColor_ = std::move(color); }
    void setAction(std::function<void()> action) { action_ = std::move(action); }

    // Runs the action when the item is enabled and has one; answers whether it ran.
    bool trigger();

private:
    std::string title_;
    UIBarButtonItemStyle style_;
    std::function<void()> action_;
    std::optional<UIColor> tintColor_;
    bool enabled_ = true;
};

}  // namespace platform
