#include "sim/FormStep.h"

#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/Log.h"
#include "platform/foundation/Strings.h"
#include "platform/graphics/GeometryFunctions.h"
#include "platform/ui/Button.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/TextField.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Window.h"

namespace sim {

using platform::CGPoint;
using platform::CGRect;
using platform::UIView;
using platform::Value;

namespace {

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

bool isFormStep(const Value& step) {
    return !step["type"].isNil() || !step["backspace"].isNil() || !step["return"].isNil() ||
           !step["tapField"].isNil() || !step["tapButton"].isNil() || !step["expectButton"].isNil();
}

bool playFormStep(const Value& step, std::string& error) {
    platform::UIKeyboard& keyboard = platform::UIKeyboard::shared();
    if (!step["type"].isNil()) {
        const std::string* text = step["type"].string();
        if (!text) return error = "\"type\" is a text", false;
        platform::logf("scenario: type %s (%zu characters)", maskDigits(*text).c_str(), text->size());
        if (!keyboard.typeText(*text)) return error = "no text field has the keyboard", false;
        return true;
    }
    if (!step["backspace"].isNil()) {
        const Value& count = step["backspace"];
        if (!count.isNumber() || count.integerValue() < 1) return error = "\"backspace\" is a count of 1 or more", false;
        const auto field = platform::UITextField::firstResponder();
        if (!field) return error = "no text field has the keyboard", false;
        // More presses than the field has characters is a mistake in the
        // scenario, and a huge count would hold the run loop for hours.
        const std::size_t characters = platform::utf16Length(field->text());
        if (static_cast<unsigned long long>(count.integerValue()) > characters)
            return error = platform::format("\"backspace\" asks for %lld, the field holds %zu characters",
                                            static_cast<long long>(count.integerValue()), characters),
                   false;
        platform::logf("scenario: backspace %lld", static_cast<long long>(count.integerValue()));
        keyboard.pressBackspace(static_cast<std::size_t>(count.integerValue()));
        return true;
    }
    if (!step["return"].isNil()) {
        platform::log("scenario: return");
        if (!keyboard.pressReturn()) return error = "no text field has the keyboard", false;
        return true;
    }
    const auto window = platform::UIWindow::keyWindow();
    if (!window) return error = "no key window", false;
    if (!step["tapField"].isNil()) {
        const std::string* placeholder = step["tapField"].string();
        if (!placeholder) return error = "\"tapField\" is a placeholder text", false;
        platform::logf("scenario: tap field %s", placeholder->c_str());
        const auto field = findField(*window, *placeholder);
        if (!field) return error = "no text field with the placeholder '" + *placeholder + "' shows", false;
        window->tap(centreInWindow(*field, field->bounds()));
        if (!field->isFirstResponder()) return error = "the field '" + *placeholder + "' did not take the keyboard", false;
        return true;
    }
    if (!step["tapButton"].isNil()) {
        const std::string* title = step["tapButton"].string();
        if (!title) return error = "\"tapButton\" is a title", false;
        platform::logf("scenario: tap button %s", title->c_str());
        const auto button = findButton(*window, *title);
        if (!button) return error = "no button titled '" + *title + "' shows", false;
        if (!button->enabled) return error = "the button '" + *title + "' is disabled", false;
        window->tap(button->point);
        return true;
    }
    const Value& expected = step["expectButton"];
    const std::string* title = expected["title"].string();
    if (!title || !expected["enabled"].isBool())
        return error = "\"expectButton\" needs a \"title\" and \"enabled\" true or false", false;
    const bool enabled = expected["enabled"].boolValue();
    platform::logf("scenario: expect button %s %s", title->c_str(), enabled ? "enabled" : "disabled");
    const auto button = findButton(*window, *title);
    if (!button) return error = "no button titled '" + *title + "' shows", false;
    if (button->enabled != enabled)
        return error = "the button '" + *title + "' is " + (button->enabled ? "enabled" : "disabled"), false;
    return true;
}

}  // namespace sim
