// Touch and text steps: touches and taps in window points or through the
// gesture grid's nodes, and the keyboard and the form's fields and buttons
// found by what they show (see sim/FormStep.h).
#include <cmath>
#include <functional>
#include <memory>
#include <optional>

#include "app/AppDelegate.h"
#include "cardscanner/form/ZeduVITextFieldDelegates.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Strings.h"
#include "platform/graphics/GeometryFunctions.h"
#include "platform/ui/Button.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/TextField.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Window.h"
#include "plugins/lockpattern/GPGestureLockView.h"
#include "sim/FormStep.h"
#include "sim/Steps.h"

namespace sim {

using platform::CGPoint;
using platform::CGRect;
using platform::UIView;
using platform::Value;

namespace {

CGPoint pointOf(const Value& value) { return CGPoint{value[0].doubleValue(), value[1].doubleValue()}; }

// The path of [x, y] points; nothing when one is not a point in the window.
std::optional<std::vector<CGPoint>> pathOfPoints(const Value& points, const platform::UIWindow& window) {
    std::vector<CGPoint> path;
    for (std::size_t i = 0; i < points.count(); ++i) {
        const CGPoint point = pointOf(points[i]);
        // A finger stays on the screen; a path to far away would also be
        // millions of moves long.
        if (!platform::CGRectContainsPoint(window.bounds(), point)) return std::nullopt;
        path.push_back(point);
    }
    return path;
}

void touchPath(platform::UIWindow& window, const std::vector<CGPoint>& path, double spacing) {
    window.sendTouch(platform::UITouchPhase::Began, path.front());
    // Intermediate points every `spacing` points, as a finger reports them.
    for (std::size_t i = 1; i < path.size(); ++i) {
        const double dx = path[i].x - path[i - 1].x, dy = path[i].y - path[i - 1].y;
        const int pieces = std::max(1, static_cast<int>(std::ceil(std::hypot(dx, dy) / std::max(1.0, spacing))));
        for (int k = 1; k <= pieces; ++k)
            window.sendTouch(platform::UITouchPhase::Moved,
                             {path[i - 1].x + dx * k / pieces, path[i - 1].y + dy * k / pieces});
    }
    window.sendTouch(platform::UITouchPhase::Ended, path.back());
}

// Depth first, so later (higher) views come later.
void visitVisible(const std::shared_ptr<UIView>& view, const platform::UIWindow& window,
                  const std::function<void(const std::shared_ptr<UIView>&)>& visit) {
    if (view->isHidden() || view->alpha() < 0.01) return;
    const CGRect inWindow = view->convertRectToView(view->bounds(), nullptr);
    const CGRect screen = window.bounds();
    const bool onScreen = inWindow.origin.x < screen.origin.x + screen.size.width &&
                          inWindow.origin.x + inWindow.size.width > screen.origin.x &&
                          inWindow.origin.y < screen.origin.y + screen.size.height &&
                          inWindow.origin.y + inWindow.size.height > screen.origin.y;
    if (onScreen) visit(view);
    for (const auto& subview : view->subviews()) visitVisible(subview, window, visit);
}

CGPoint centreInWindow(const UIView& view, CGRect rect) {
    return view.convertPointToView({rect.origin.x + rect.size.width / 2, rect.origin.y + rect.size.height / 2}, nullptr);
}

struct FoundButton {
    CGPoint point;  // where to tap, window coordinates
    bool enabled = false;
};

std::optional<FoundButton> findButton(platform::UIWindow& window, const std::string& title) {
    std::optional<FoundButton> found;
    visitVisible(window.shared_from_this(), window, [&](const std::shared_ptr<UIView>& view) {
        if (const auto bar = std::dynamic_pointer_cast<platform::UINavigationBar>(view)) {
            for (const auto& placed : bar->visibleItems()) {
                if (placed.item->title() == title)
                    found = FoundButton{centreInWindow(*bar, placed.rect), placed.item->isEnabled()};
            }
        } else if (const auto button = std::dynamic_pointer_cast<platform::UIButton>(view)) {
            if (button->titleForState(platform::UIControlStateNormal) == title || button->currentTitle() == title)
                found = FoundButton{centreInWindow(*button, button->bounds()), button->isEnabled()};
        }
    });
    return found;
}

std::shared_ptr<platform::UITextField> findField(platform::UIWindow& window, const std::string& placeholder) {
    std::shared_ptr<platform::UITextField> found;
    visitVisible(window.shared_from_this(), window, [&](const std::shared_ptr<UIView>& view) {
        if (const auto field = std::dynamic_pointer_cast<platform::UITextField>(view)) {
            if (field->placeholder() == placeholder) found = field;
        }
    });
    return found;
}

// The centres of the named nodes of the gesture grid on screen (the last one
// drawn, the previews of a pattern aside), in window points.
std::optional<std::vector<CGPoint>> pathOfNodes(const Value& nodes, platform::UIWindow& window, std::string& error) {
    std::shared_ptr<plugins::GPGestureLockView> grid;
    visitVisible(window.shared_from_this(), window, [&](const std::shared_ptr<UIView>& view) {
        auto found = std::dynamic_pointer_cast<plugins::GPGestureLockView>(view);
        if (found && !std::dynamic_pointer_cast<plugins::GPGestureLockPreviewView>(view)) grid = found;
    });
    if (!grid || grid->buttons().empty()) {
        error = "no gesture grid shows";
        return std::nullopt;
    }
    const auto& buttons = grid->buttons();
    std::vector<CGPoint> path;
    for (std::size_t i = 0; i < nodes.count(); ++i) {
        const Value& node = nodes[i];
        if (!node.isInteger() || node.integerValue() < 0 || node.integerValue() >= static_cast<long>(buttons.size())) {
            error = platform::format("the gesture grid's nodes are 0 to %zu", buttons.size() - 1);
            return std::nullopt;
        }
        const auto& button = buttons[static_cast<std::size_t>(node.integerValue())];
        path.push_back(centreInWindow(*button, button->bounds()));
    }
    return path;
}

}  // namespace

std::string maskDigits(const std::string& text) {
    std::size_t digits = 0;
    for (char c : text) digits += (c >= '0' && c <= '9');
    // A whole card number keeps its last four, as everything else shows it;
    // a CVV, a piece of a number or a number with a digit wrong keeps none.
    const std::size_t shown = digits >= 13 ? 4 : 0;
    std::string masked;
    std::size_t seen = 0;
    for (char c : text) {
        const bool digit = c >= '0' && c <= '9';
        if (digit && ++seen + shown <= digits) masked += "\u2022";
        else masked += c;
    }
    return masked;
}

std::string typedTextForLog(const std::string& text) {
    const auto field = platform::UITextField::firstResponder();
    const auto delegate = field ? field->delegate() : nullptr;
    const bool secret = std::dynamic_pointer_cast<cardscanner::ZeduVINumbersTextFieldDelegate>(delegate) ||
                        std::dynamic_pointer_cast<cardscanner::ZeduVICVVTextFieldDelegate>(delegate);
    return secret ? maskDigits(text) : text;
}

bool playFormStep(const Value& step, std::string& error) {
    return playAlone(step, {"type", "backspace", "return", "tapField", "tapButton", "expectButton"}, error);
}

// A path of [x, y] window points, or {"nodes": [...]} through the gesture grid's nodes.
StepOutcome playTouch(const StepRun& run) {
    auto delegate = appDelegate();
    auto window = delegate ? delegate->window() : nullptr;
    if (!window) return StepOutcome::failed("no window to touch");
    const Value& touch = run.step["touch"];
    const double spacing = run.step["step"].isNil() ? 10.0 : run.step["step"].doubleValue();
    std::optional<std::vector<CGPoint>> path;
    std::string error;
    if (!touch.isDictionary()) {
        path = pathOfPoints(touch, *window);
        error = "a touch path is a list of [x, y] points in a window";
    } else {
        path = pathOfNodes(touch["nodes"], *window, error);
    }
    if (!path || path->empty()) return StepOutcome::failed(error);
    touchPath(*window, *path, spacing);
    return StepOutcome::next();
}

StepOutcome playTap(const StepRun& run) {
    auto delegate = appDelegate();
    auto window = delegate ? delegate->window() : nullptr;
    auto path = window ? pathOfPoints(Value(platform::Array{run.step["tap"]}), *window) : std::nullopt;
    if (!path) return StepOutcome::failed("a tap is one [x, y] point in a window");
    touchPath(*window, {path->front(), path->front()}, 10.0);
    return StepOutcome::next();
}

StepOutcome playType(const StepRun& run) {
    const std::string& text = *run.step["type"].string();
    playerLog(platform::format("type %s (%zu characters)", typedTextForLog(text).c_str(), text.size()));
    if (!platform::UIKeyboard::shared().typeText(text)) return StepOutcome::failed("no text field has the keyboard");
    return StepOutcome::next();
}

StepOutcome playBackspace(const StepRun& run) {
    const Value& count = run.step["backspace"];
    const auto field = platform::UITextField::firstResponder();
    if (!field) return StepOutcome::failed("no text field has the keyboard");
    // More presses than the field has characters is a mistake in the
    // scenario, and a huge count would hold the run loop for hours.
    const std::size_t characters = platform::utf16Length(field->text());
    if (static_cast<unsigned long long>(count.integerValue()) > characters)
        return StepOutcome::failed(platform::format("\"backspace\" asks for %lld, the field holds %zu characters",
                                                    static_cast<long long>(count.integerValue()), characters));
    playerLog(platform::format("backspace %lld", static_cast<long long>(count.integerValue())));
    platform::UIKeyboard::shared().pressBackspace(static_cast<std::size_t>(count.integerValue()));
    return StepOutcome::next();
}

StepOutcome playReturn(const StepRun&) {
    playerLog("return");
    if (!platform::UIKeyboard::shared().pressReturn()) return StepOutcome::failed("no text field has the keyboard");
    return StepOutcome::next();
}

StepOutcome playTapField(const StepRun& run) {
    const auto window = platform::UIWindow::keyWindow();
    if (!window) return StepOutcome::failed("no key window");
    const std::string* placeholder = run.step["tapField"].string();
    playerLog(platform::format("tap field %s", placeholder->c_str()));
    const auto field = findField(*window, *placeholder);
    if (!field) return StepOutcome::failed("no text field with the placeholder '" + *placeholder + "' shows");
    window->tap(centreInWindow(*field, field->bounds()));
    if (!field->isFirstResponder())
        return StepOutcome::failed("the field '" + *placeholder + "' did not take the keyboard");
    return StepOutcome::next();
}

StepOutcome playTapButton(const StepRun& run) {
    const auto window = platform::UIWindow::keyWindow();
    if (!window) return StepOutcome::failed("no key window");
    const std::string* title = run.step["tapButton"].string();
    playerLog(platform::format("tap button %s", title->c_str()));
    const auto button = findButton(*window, *title);
    if (!button) return StepOutcome::failed("no button titled '" + *title + "' shows");
    if (!button->enabled) return StepOutcome::failed("the button '" + *title + "' is disabled");
    window->tap(button->point);
    return StepOutcome::next();
}

StepOutcome playExpectButton(const StepRun& run) {
    const auto window = platform::UIWindow::keyWindow();
    if (!window) return StepOutcome::failed("no key window");
    const Value& expected = run.step["expectButton"];
    const std::string* title = expected["title"].string();
    const bool enabled = expected["enabled"].boolValue();
    playerLog(platform::format("expect button %s %s", title->c_str(), enabled ? "enabled" : "disabled"));
    const auto button = findButton(*window, *title);
    if (!button) return StepOutcome::failed("no button titled '" + *title + "' shows");
    if (button->enabled != enabled)
        return StepOutcome::failed("the button '" + *title + "' is " + (button->enabled ? "enabled" : "disabled"));
    return StepOutcome::next();
}

}  // namespace sim
