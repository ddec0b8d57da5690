// The form's services: the field delegates' refusals and regrouping, the
// multi-field cell, the static table helpers, card logos and names,
// localized texts and the writing direction of a language.
#include <gtest/gtest.h>

#include "cardscanner/util/ZeduVIBundle.h"
#include "cardscanner/results/ZeduVICreditCardInfo.h"
#include "cardscanner/util/ZeduVILocalizedString.h"
#include "cardscanner/util/ZeduVILocalizer.h"
#include "cardscanner/form/ZeduVIMultipleFieldTableViewCell.h"
#include "cardscanner/form/ZeduVISectionBasedTableViewDelegate.h"
#include "cardscanner/form/ZeduVITableViewCell.h"
#include "cardscanner/form/ZeduVITextFieldDelegates.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/graphics/Image.h"
#include "platform/ui/Device.h"

using namespace cardscanner;
using namespace platform;

namespace {

class FormServices : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::main().bindToCurrentThread();
    }

    // A field served by the delegate, its caret at the end of `text`.
    template <class Delegate>
    std::shared_ptr<UITextField> field(const std::shared_ptr<Delegate>& delegate, const std::string& text = "") {
        auto made = std::make_shared<UITextField>(CGRect{{0, 0}, {200, 40}});
        made->setDelegate(delegate);
        made->setText(text);
        return made;
    }
};

}  // namespace

TEST_F(FormServices, TheNumberFieldTakesDigitsUpToItsTypesLengthAndRegroups) {
    auto delegate = std::make_shared<ZeduVINumbersTextFieldDelegate>();
    EXPECT_TRUE(delegate->numbersOnly());
    EXPECT_EQ(delegate->maxLength(), 16);
    auto number = field(delegate);

    for (char digit : std::string("3782822463100051")) {
        number->insertText(std::string(1, digit));
        delegate->cleanupTextField(*number);
    }
    // American Express stops at 15 digits, grouped 4-6-5; the 16th buzzes.
    EXPECT_EQ(number->text(), "3782 822463 10005");
    EXPECT_EQ(UIDevice::vibrationCount(), 1);
    EXPECT_EQ(delegate->maxLength(), 16);

    number->setText("");
    for (char digit : std::string("41111111111111119")) {
        number->insertText(std::string(1, digit));
        delegate->cleanupTextField(*number);
    }
    EXPECT_EQ(number->text(), "4111 1111 1111 1111");
    EXPECT_EQ(UIDevice::vibrationCount(), 2);

    // Whatever a paste holds besides digits goes in, and out again when the
    // text is regrouped: a dashed number, one with a newline after it.
    number->setText("");
    EXPECT_TRUE(number->insertText("4111-1111-1111-1111\n"));
    delegate->cleanupTextField(*number);
    EXPECT_EQ(number->text(), "4111 1111 1111 1111");
    number->setText("");
    EXPECT_TRUE(number->insertText("4a"));
    delegate->cleanupTextField(*number);
    EXPECT_EQ(number->text(), "4");
    EXPECT_EQ(UIDevice::vibrationCount(), 2);

    // An unknown prefix is never cut or grouped, and its maximum is 16.
    number->setText("");
    for (char digit : std::string("9000000000000000")) number->insertText(std::string(1, digit));
    EXPECT_EQ(number->text(), "9000000000000000");
    EXPECT_FALSE(number->insertText("1"));
    delegate->cleanupTextField(*number);
    EXPECT_EQ(number->text(), "9000000000000000");

    // The caret stays after the same digit when blanks move.
    number->setText("41111");
    number->setCaretOffset(2);
    delegate->cleanupTextField(*number);
    EXPECT_EQ(number->text(), "4111 1");
    EXPECT_EQ(number->caretOffset(), 2u);

    // A range outside the text is refused, not obeyed.
    EXPECT_FALSE(delegate->textFieldShouldChangeCharactersInRange(*number, {100, 3}, "1"));
}

TEST_F(FormServices, TheExpiryFieldRefusesImpossibleMonthsAndInsertsTheSlash) {
    auto delegate = std::make_shared<ZeduVIExpiryTextFieldDelegate>();
    auto expiry = field(delegate);

    expiry->insertText("2");
    EXPECT_TRUE(delegate->cleanupTextField(*expiry));
    EXPECT_EQ(expiry->text(), "02 / ");
    expiry->insertText("2");
    expiry->insertText("7");
    delegate->cleanupTextField(*expiry);
    EXPECT_EQ(expiry->text(), "02 / 27");
    EXPECT_FALSE(expiry->insertText("1"));  // 8 characters
    EXPECT_EQ(UIDevice::vibrationCount(), 1);

    expiry->setText("1");
    EXPECT_FALSE(expiry->insertText("3"));
    expiry->setText("0");
    EXPECT_FALSE(expiry->insertText("0"));
    EXPECT_TRUE(expiry->insertText("9"));
    EXPECT_EQ(UIDevice::vibrationCount(), 3);

    // After a backspace the cleanup leaves the text alone, once.
    expiry->setText("12 / ");
    EXPECT_TRUE(expiry->deleteBackward());
    EXPECT_TRUE(delegate->backspacing());
    EXPECT_FALSE(delegate->cleanupTextField(*expiry));
    EXPECT_EQ(expiry->text(), "12 /");
    EXPECT_FALSE(delegate->backspacing());

    // Ending the edit rewrites through the formatter, but a missing year
    // never becomes "00" (which reads back as 2000).
    int changes = 0;
    NotificationCenter::defaultCenter().addObserver(this, UITextFieldTextDidChangeNotification, expiry.get(),
                                                    [&](const Notification&) { ++changes; });
    expiry->setText("0731");
    delegate->textFieldDidEndEditing(*expiry);
    EXPECT_EQ(expiry->text(), "07 / 31");
    expiry->setText("5");
    delegate->textFieldDidEndEditing(*expiry);
    EXPECT_EQ(expiry->text(), "05 / ");
    EXPECT_EQ(changes, 2);
    NotificationCenter::defaultCenter().removeObserver(this);
}

TEST_F(FormServices, CvvAndPostalCodeFieldsKeepTheirLimitsAndValidity) {
    auto cvv = std::make_shared<ZeduVICVVTextFieldDelegate>();
    EXPECT_EQ(cvv->maxLength(), 4);
    cvv->setMaxLength(3);
    EXPECT_EQ(cvv->maxLength(), 3);
    cvv->setMaxLength(0);
    EXPECT_EQ(cvv->maxLength(), 4);
    cvv->setMaxLength(-1);
    EXPECT_EQ(cvv->maxLength(), 4);
    cvv->setMaxLength(3);
    auto cvvField = field(cvv, "12");
    EXPECT_FALSE(cvvField->insertText("x"));
    EXPECT_TRUE(cvvField->insertText("3"));
    EXPECT_FALSE(cvvField->insertText("4"));
    EXPECT_EQ(UIDevice::vibrationCount(), 2);

    EXPECT_TRUE(ZeduVICVVTextFieldDelegate::isValidCVV("1234", "378282246310005"));
    EXPECT_FALSE(ZeduVICVVTextFieldDelegate::isValidCVV("123", "378282246310005"));
    EXPECT_TRUE(ZeduVICVVTextFieldDelegate::isValidCVV("123", "4111111111111111"));
    EXPECT_FALSE(ZeduVICVVTextFieldDelegate::isValidCVV("1234", "4111111111111111"));
    EXPECT_TRUE(ZeduVICVVTextFieldDelegate::isValidCVV("1234", "9000"));
    EXPECT_FALSE(ZeduVICVVTextFieldDelegate::isValidCVV("12", ""));

    auto postal = std::make_shared<ZeduVIPostalCodeTextFieldDelegate>();
    auto postalField = field(postal, "SW1A 1AA-123456789A");
    EXPECT_TRUE(postalField->insertText("B"));
    EXPECT_FALSE(postalField->insertText("C"));
    EXPECT_TRUE(ZeduVIPostalCodeTextFieldDelegate::isValidPostalCode("75001"));
    EXPECT_FALSE(ZeduVIPostalCodeTextFieldDelegate::isValidPostalCode(""));
}

TEST_F(FormServices, TheMultiFieldCellMatchesItsFieldCountAndJudgesTheFit) {
    ZeduVIMultipleFieldTableViewCell cell;
    EXPECT_EQ(cell.numberOfFields(), 1u);
    const auto first = cell.textFields().front();
    cell.setNumberOfFields(3);
    ASSERT_EQ(cell.textFields().size(), 3u);
    EXPECT_EQ(cell.textFields().front(), first);
    EXPECT_EQ(cell.labels().size(), 3u);
    cell.setNumberOfFields(2);
    EXPECT_EQ(cell.numberOfFields(), 2u);
    EXPECT_EQ(cell.textFields().front(), first);
    EXPECT_EQ(cell.fieldsView()->subviews().size(), 4u);

    const double placeholderWidth =
        sizeWithFont("MM / YY", ZeduVITableViewCell::defaultDetailTextLabelFontForCellStyle(2)).width;
    EXPECT_TRUE(ZeduVIMultipleFieldTableViewCell::textFitsInMultiFieldForLabel("", "MM / YY", placeholderWidth + 21.5));
    EXPECT_FALSE(ZeduVIMultipleFieldTableViewCell::textFitsInMultiFieldForLabel("", "MM / YY", placeholderWidth + 21));
    EXPECT_FALSE(ZeduVIMultipleFieldTableViewCell::textFitsInMultiFieldForLabel(
        "Expires", "MM / YY", placeholderWidth + 21.5));
}

TEST_F(FormServices, SectionsServeTheirReadyCellsInOrder) {
    auto rows = std::make_shared<ZeduVIRowBasedTableViewSection>();
    auto a = std::make_shared<ZeduVIMultipleFieldTableViewCell>();
    auto b = std::make_shared<ZeduVIMultipleFieldTableViewCell>();
    rows->setRows({a, b});
    auto delegate = std::make_shared<ZeduVISectionBasedTableViewDelegate>();
    delegate->setSections({rows, std::make_shared<ZeduVIRowBasedTableViewSection>()});

    auto table = std::make_shared<UITableView>(CGRect{{0, 0}, {320, 400}}, UITableViewStyleGrouped);
    table->setDataSource(delegate);
    table->setDelegate(delegate);
    table->reloadData();
    EXPECT_EQ(table->numberOfSections(), 2);
    EXPECT_EQ(table->numberOfRowsInSection(0), 2);
    EXPECT_EQ(table->numberOfRowsInSection(1), 0);
    EXPECT_EQ(table->cellForRowAtIndexPath({0, 1}), b);
    EXPECT_EQ(delegate->cellForRowAtIndexPath(*table, {0, 2}), nullptr);
    EXPECT_EQ(delegate->cellForRowAtIndexPath(*table, {-1, 0}), nullptr);
    EXPECT_EQ(delegate->numberOfRowsInSection(*table, 7), 0);
}

TEST_F(FormServices, CellStyleDefaults) {
    EXPECT_EQ(ZeduVITableViewCell::defaultCellStyle(), UITableViewCellStyleValue2);
    EXPECT_EQ(ZeduVITableViewCell::defaultTextLabelFontSizeForCellStyle(0), 20);
    EXPECT_EQ(ZeduVITableViewCell::defaultDetailTextLabelFontSizeForCellStyle(3), 14);
    EXPECT_EQ(ZeduVITableViewCell::defaultTextLabelFontSizeForCellStyle(4), 0);
    EXPECT_EQ(ZeduVITableViewCell::defaultTextLabelColorForCellStyle(9), UIColor::darkGrayColor());
    EXPECT_EQ(ZeduVITableViewCell::defaultDetailTextLabelColorForCellStyle(2), UIColor::blackColor());
}

TEST_F(FormServices, LogosAndNamesForTheFiveTypesOnly) {
    for (int type : {ZeduVICardTypeAmericanExpress, ZeduVICardTypeVisa, ZeduVICardTypeMasterCard,
                     ZeduVICardTypeDiscover, ZeduVICardTypeJCB}) {
        const auto logo = ZeduVICreditCardInfo::logoForCardType(type);
        ASSERT_NE(logo, nullptr) << type;
        EXPECT_GT(logo->size().width, logo->size().height);
        EXPECT_FALSE(ZeduVICreditCardInfo::displayStringForCardType(type, "fr").empty());
    }
    for (int type : {int{ZeduVICardTypeUnrecognized}, int{ZeduVICardTypeAmbiguous}, 7, -1}) {
        EXPECT_EQ(ZeduVICreditCardInfo::logoForCardType(type), nullptr);
        EXPECT_EQ(ZeduVICreditCardInfo::displayStringForCardType(type, "en"), "");
    }
    EXPECT_NE(ZeduVICreditCardInfo::logoForCardType(ZeduVICardTypeVisa),
              ZeduVICreditCardInfo::logoForCardType(ZeduVICardTypeJCB));
    EXPECT_EQ(ZeduVIBundle::imageNamed("CreditCardLogos/missing.png"), nullptr);
    EXPECT_EQ(ZeduVICreditCardInfo::displayStringForCardType(ZeduVICardTypeAmericanExpress, "de_DE"),
              "American Express");
}

TEST_F(FormServices, LocalizedTextsFallBackToTheLanguageThenEnglishThenTheKey) {
    for (const char* key : {"entry_title", "entry_number", "entry_card_number", "entry_expires",
                            "expires_placeholder", "entry_cvv", "entry_postal_code", "cancel", "done", "camera",
                            "card_info", "manual_entry", "scan_guide"}) {
        EXPECT_NE(localized_string(key, "en"), key) << key;
    }
    EXPECT_EQ(localized_string("done", "fr_CA"), "OK");
    EXPECT_EQ(localized_string("done", "de-AT"), "Fertig");
    EXPECT_EQ(localized_string("done", "ja"), "Done");
    EXPECT_EQ(localized_string("card_type_visa", "fr"), "Visa");
    EXPECT_EQ(localized_string("no_such_key", "fr"), "no_such_key");
}

TEST_F(FormServices, RightToLeftLanguagesAlignRight) {
    EXPECT_EQ(ZeduVILocalizer::textAlignmentForLanguageOrLocale("ar"), NSTextAlignmentRight);
    EXPECT_EQ(ZeduVILocalizer::textAlignmentForLanguageOrLocale("he_IL"), NSTextAlignmentRight);
    EXPECT_EQ(ZeduVILocalizer::textAlignmentForLanguageOrLocale("en"), NSTextAlignmentLeft);
    EXPECT_EQ(ZeduVILocalizer::textAlignmentForLanguageOrLocale("fr-CA"), NSTextAlignmentLeft);
    EXPECT_EQ(ZeduVILocalizer::textAlignmentForLanguageOrLocale("@#!"), NSTextAlignmentLeft);
    UIDevice::currentDevice().setLocaleIdentifier("fa_IR");
    EXPECT_EQ(ZeduVILocalizer::textAlignmentForLanguageOrLocale(""), NSTextAlignmentRight);
}
