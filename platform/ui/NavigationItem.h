#pragma once
// A controller's navigation item: what a navigation bar shows while the
// controller is on top (title, left and right bar button items, the back
// button's title for the next controller). A plain shared object the bar
// reads on every rendering. Main thread only.

#include <memory>
#include <string>

namespace platform {

class UIBarButtonItem;

class UINavigationItem {
public:
    UINavigationItem() = default;
    explicit UINavigationItem(std::string title) : title_(std::move(title)) {}

    // "": the bar shows the controller's title.
    const std::string& title() const { return title_; }
    void setTitle(std::string title) { title_ = std::move(title); }
    const std::shared_ptr<UIBarButtonItem>& leftBarButtonItem() const { return left_; }
    void setLeftBarButtonItem(std::shared_ptr<UIBarButtonItem> item) { left_ = std::move(item); }
    const std::shared_ptr<UIBarButtonItem>& rightBarButtonItem() const { return right_; }
    void setRightBarButtonItem(std::shared_ptr<UIBarButtonItem> item) { right_ = std::move(item); }
    // The title of the back button that the next controller's bar shows for this one.
    const std::shared_ptr<UIBarButtonItem>& backBarButtonItem() const { return back_; }
    void setBackBarButtonItem(std::shared_ptr<UIBarButtonItem> item) { back_ = std::move(item); }
    bool hidesBackButton() const { return hidesBackButton_; }
    void setHidesBackButton(bool hides) { hidesBackButton_ = hides; }

private:
    std::string title_;
    std::shared_ptr<UIBarButtonItem> left_;
    std::shared_ptr<UIBarButtonItem> right_;
    std::shared_ptr<UIBarButtonItem> back_;
    bool hidesBackButton_ = false;
};

}  // namespace platform
