#pragma once
// A control: a view that tracks its own touches and turns them into control
// events (touch down, touch up inside, ...) sent to the actions registered
// for them. A touch that goes down inside and comes up inside is a
// touch-up-inside; one that comes up elsewhere is a touch-up-outside.
// Targets are held weakly, as the phone's are. Main thread only.

#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/View.h"

namespace platform {

enum UIControlState : unsigned {
    UIControlStateNormal = 0,
    UIControlStateHighlighted = 1 << 0,
    UIControlStateDisabled = 1 << 1,
    UIControlStateSelected = 1 << 2,
};

enum UIControlEvents : unsigned {
    UIControlEventTouchDown = 1 << 0,
    UIControlEventTouchDragInside = 1 << 2,
    UIControlEventTouchDragOutside = 1 << 3,
    UIControlEventTouchUpInside = 1 << 6,
    UIControlEventTouchUpOutside = 1 << 7,
    UIControlEventTouchCancel = 1 << 8,
    UIControlEventValueChanged = 1 << 12,
    UIControlEventAllTouchEvents = 0x0FFF,
};

class UIControl : public UIView {
public:
    using UIView::UIView;
    using Action = std::function<void(UIControl& sender)>;

    void addTarget(Action action, unsigned controlEvents);
    // A member function of a shared target, called while the target lives;
    // the sender is passed as the type the function asks for (a control of
    // another type is not passed at all).
    template <class Target, class Sender>
    void addTarget(const std::shared_ptr<Target>& target, void (Target::*action)(Sender&), unsigned controlEvents) {
        std::weak_ptr<Target> weak = target;
        addTarget(
            [weak, action](UIControl& sender) {
                auto strong = weak.lock();
                auto* typed = dynamic_cast<Sender*>(&sender);
                if (strong && typed) ((*strong).*action)(*typed);
            },
            controlEvents);
    }
    void sendActionsForControlEvents(unsigned controlEvents);

    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    bool isSelected() const { return selected_; }
    void setSelected(bool selected);
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool highlighted);
    // The UIControlState bits that hold now.
    unsigned state() const;
    bool isTracking() const { return tracking_; }

    std::shared_ptr<UIView> hitTest(CGPoint point, const UIEvent* event = nullptr) override;
    void touchesBegan(const UITouchSet& touches, const UIEvent& event) override;
    void touchesMoved(const UITouchSet& touches, const UIEvent& event) override;
    void touchesEnded(const UITouchSet& touches, const UIEvent& event) override;
    void touchesCancelled(const UITouchSet& touches, const UIEvent& event) override;

    bool isKindOfClass(const std::string& className) const override {
        return className == "UIControl" || UIView::isKindOfClass(className);
    }

private:
    bool touchInside(const UITouchSet& touches) const;

    struct Target {
        Action action;
        unsigned events;
    };
    std::vector<Target> targets_;
    bool enabled_ = true;
    bool selected_ = false;
    bool highlighted_ = false;
    bool tracking_ = false;
};

}  // namespace platform
