// The simulator's form steps against a small form in the key window: a field
// found by its placeholder, typing shown in the log (masked in the card
// form's CVV field), and the Done item checked and tapped by its title.
#include "sim/FormStep.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "cardscanner/form/ZeduVITextFieldDelegates.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/TextField.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Window.h"
#include "sim/ScenarioPlayer.h"

using namespace platform;

namespace {

class FourDigitsForm : public UIViewController, public UITextFieldDelegate {
public:
    void viewDidLoad() override {
        field = std::make_shared<UITextField>(CGRectMake(10, 10, 200, 30));
        field->setPlaceholder("Card Number");
        field->setDelegate(std::dynamic_pointer_cast<UITextFieldDelegate>(shared_from_this()));
        view()->addSubview(field);
        cvv = std::make_shared<UITextField>(CGRectMake(10, 50, 200, 30));
        cvv->setPlaceholder("CVV");
        cvv->setDelegate(cvvDelegate);
        view()->addSubview(cvv);
        done = std::make_shared<UIBarButtonItem>("Done", UIBarButtonItemStyleDone, [this] { ++dones; });
        done->setEnabled(false);
        navigationItem()->setRightBarButtonItem(done);
    }
    bool textFieldShouldChangeCharactersInRange(UITextField& f, NSRange range, const std::string& text) override {
        done->setEnabled(f.text().size() - range.length + text.size() == 4);
        return true;
    }
    std::shared_ptr<UITextField> field;
    std::shared_ptr<UITextField> cvv;
    std::shared_ptr<cardscanner::ZeduVICVVTextFieldDelegate> cvvDelegate =
        std::make_shared<cardscanner::ZeduVICVVTextFieldDelegate>();
    std::shared_ptr<UIBarButtonItem> done;
    int dones = 0;
};

bool play(const std::string& json, std::string& error) {
    const auto step = readJson(json);
    return step.value && sim::playFormStep(*step.value, error);
}

}  // namespace

TEST(FormSteps, TypeIntoAFieldByPlaceholderAndTapDoneOnceEnabled) {
    auto form = std::make_shared<FourDigitsForm>();
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    window->setRootViewController(UINavigationController::create(form));
    window->makeKeyAndVisible();
    LogCapture log;
    std::string error;

    EXPECT_FALSE(play(R"({"type": "12"})", error));
    EXPECT_EQ(error, "no text field has the keyboard");
    EXPECT_FALSE(play(R"({"tapField": "Expiry"})", error));
    ASSERT_TRUE(play(R"({"tapField": "Card Number"})", error)) << error;
    ASSERT_TRUE(play(R"({"type": "42424"})", error)) << error;
    EXPECT_TRUE(play(R"({"expectButton": {"title": "Done", "enabled": false}})", error)) << error;
    EXPECT_FALSE(play(R"({"tapButton": "Done"})", error));
    EXPECT_EQ(error, "the button 'Done' is disabled");
    ASSERT_TRUE(play(R"({"backspace": 1})", error)) << error;
    EXPECT_EQ(form->field->text(), "4242");
    EXPECT_FALSE(play(R"({"expectButton": {"title": "Done", "enabled": false}})", error));
    ASSERT_TRUE(play(R"({"tapButton": "Done"})", error)) << error;
    EXPECT_EQ(form->dones, 1);
    EXPECT_TRUE(play(R"({"return": true})", error));

    ASSERT_TRUE(play(R"({"tapField": "CVV"})", error)) << error;
    ASSERT_TRUE(play(R"({"type": "737"})", error)) << error;
    EXPECT_EQ(form->cvv->text(), "737");

    EXPECT_TRUE(log.contains("scenario: type 42424 (5 characters)"));
    EXPECT_TRUE(log.contains("scenario: type \u2022\u2022\u2022 (3 characters)"));
    EXPECT_FALSE(log.contains("737"));
    EXPECT_EQ(sim::maskDigits("4242 4242 4242 4242"), "\u2022\u2022\u2022\u2022 \u2022\u2022\u2022\u2022 \u2022\u2022\u2022\u2022 4242");
    EXPECT_EQ(sim::maskDigits("737"), "\u2022\u2022\u2022");  // a CVV shows none
    form->cvv->resignFirstResponder();
}

// A scenario's step lines show each step as it starts, but what it types into
// the card form's number and CVV fields no more than the type step's own line.
TEST(FormSteps, TheScenarioStepLinesMaskWhatIsTypedIntoTheCardNumberAndCvv) {
    auto form = std::make_shared<UIViewController>();
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 568));
    window->setRootViewController(form);
    window->makeKeyAndVisible();
    const std::pair<const char*, std::shared_ptr<UITextFieldDelegate>> fields[] = {
        {"Card Number", std::make_shared<cardscanner::ZeduVINumbersTextFieldDelegate>()},
        {"CVV", std::make_shared<cardscanner::ZeduVICVVTextFieldDelegate>()}};
    for (const auto& [placeholder, delegate] : fields) {
        auto field = std::make_shared<UITextField>(CGRectMake(10, 10 + 40 * form->view()->subviews().size(), 200, 30));
        field->setPlaceholder(placeholder);
        field->setDelegate(delegate);
        form->view()->addSubview(field);
    }

    LogCapture log;
    // A number with a digit wrong, which the log's own masking of card numbers lets through.
    auto steps = readJson(R"([{"tapField": "Card Number"}, {"type": "4242424242424243"}, {"tapField": "CVV"},
                             {"type": "737"}])");
    ASSERT_TRUE(steps.value);
    auto player = std::make_shared<sim::ScenarioPlayer>(*steps.value, log, "");
    std::optional<bool> outcome;
    player->start([&](bool ok) { outcome = ok; });
    RunLoop::main().runUntil([&] { return outcome.has_value(); }, 10);
    EXPECT_EQ(outcome, true);
    EXPECT_TRUE(log.contains("scenario: step 4: {\"type\":"));
    EXPECT_FALSE(log.contains("42424243"));
    EXPECT_FALSE(log.contains("737"));
    if (const auto field = UITextField::firstResponder()) field->resignFirstResponder();
}
