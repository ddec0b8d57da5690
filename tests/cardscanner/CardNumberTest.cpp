#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "cardnumber/CardNumberRules.h"
#include "cardscanner/results/ZeduVICreditCardInfo.h"
#include "cardscanner/results/ZeduVICreditCardNumber.h"
#include "cardscanner/results/ZeduVICreditCardNumberFormatter.h"

namespace cardscanner {
namespace {

using Number = ZeduVICreditCardNumber;

TEST(CardTypes, TheCoresSevenTypesMapOntoTheRecordsCodesAndEverythingElseIsUnrecognized) {
    EXPECT_EQ(Number::cardTypeFromRecoCardType(CardTypeUnrecognized), ZeduVICardTypeUnrecognized);
    EXPECT_EQ(Number::cardTypeFromRecoCardType(CardTypeAmbiguous), ZeduVICardTypeAmbiguous);
    EXPECT_EQ(Number::cardTypeFromRecoCardType(CardTypeAmex), '3');
    EXPECT_EQ(Number::cardTypeFromRecoCardType(CardTypeJCB), 'J');
    EXPECT_EQ(Number::cardTypeFromRecoCardType(CardTypeVisa), '4');
    EXPECT_EQ(Number::cardTypeFromRecoCardType(CardTypeMastercard), '5');
    EXPECT_EQ(Number::cardTypeFromRecoCardType(CardTypeDiscover), '6');
    EXPECT_EQ(Number::cardTypeFromRecoCardType(CardTypeMaestro), ZeduVICardTypeUnrecognized);
    EXPECT_EQ(Number::cardTypeFromRecoCardType(255), ZeduVICardTypeUnrecognized);
    EXPECT_EQ(Number::cardTypeFromRecoCardType(-1), ZeduVICardTypeUnrecognized);
}

TEST(CardTypes, PrefixesAreReadAsTypedAndIgnoreEverythingButDigits) {
    EXPECT_EQ(Number::cardTypeForCardNumber("4"), ZeduVICardTypeVisa);
    EXPECT_EQ(Number::cardTypeForCardNumber("4111 1111 1111 1111"), ZeduVICardTypeVisa);
    EXPECT_EQ(Number::cardTypeForCardNumber("37-82"), ZeduVICardTypeAmericanExpress);
    EXPECT_EQ(Number::cardTypeForCardNumber("3530"), ZeduVICardTypeJCB);
    EXPECT_EQ(Number::cardTypeForCardNumber("5555"), ZeduVICardTypeMasterCard);
    EXPECT_EQ(Number::cardTypeForCardNumber("6011"), ZeduVICardTypeDiscover);
    // "3" could still become American Express, JCB or Discover.
    EXPECT_EQ(Number::cardTypeForCardNumber("3"), ZeduVICardTypeAmbiguous);
    EXPECT_EQ(Number::cardTypeForCardNumber(""), ZeduVICardTypeUnrecognized);
    EXPECT_EQ(Number::cardTypeForCardNumber("abc"), ZeduVICardTypeUnrecognized);
    EXPECT_EQ(Number::cardTypeForCardNumber("5000"), ZeduVICardTypeUnrecognized);  // Maestro
    // Longer than any type: nothing fits while typing.
    EXPECT_EQ(Number::cardTypeForCardNumber(std::string(40, '4')), ZeduVICardTypeUnrecognized);
}

TEST(CardTypes, NumberLengthComesFromTheOneMatchingRow) {
    EXPECT_EQ(Number::numberLengthForCardNumber("4"), 16);
    EXPECT_EQ(Number::numberLengthForCardNumber("34"), 15);
    EXPECT_EQ(Number::numberLengthForCardNumber("36 00"), 14);
    EXPECT_EQ(Number::numberLengthForCardNumber("3"), -1);
    EXPECT_EQ(Number::numberLengthForCardNumber("9"), -1);
    // Maestro has a length though it has no record code.
    EXPECT_EQ(Number::numberLengthForCardNumber("50"), 16);
}

TEST(CardNumberRules, LuhnTakesEveryCharacterAsADigit) {
    EXPECT_TRUE(Number::passesLuhnChecksum("4111111111111111"));
    EXPECT_FALSE(Number::passesLuhnChecksum("4111111111111112"));
    EXPECT_FALSE(Number::passesLuhnChecksum("4111 1111 1111 1111"));
    EXPECT_FALSE(Number::passesLuhnChecksum("41111111111111\xc3\xa9"));
    EXPECT_TRUE(Number::passesLuhnChecksum(""));
}

TEST(CardNumberRules, ValidityNeedsTheTypesLengthOrFourteenDigitsForUnknownTypes) {
    EXPECT_TRUE(Number::isValidNumber("4111111111111111"));
    EXPECT_TRUE(Number::isValidNumber("4111 1111 1111 1111"));
    EXPECT_TRUE(Number::isValidNumber("378282246310005"));
    EXPECT_FALSE(Number::isValidNumber("4111111111111112"));  // checksum
    EXPECT_FALSE(Number::isValidNumber("411111111111116"));   // Visa, 15 digits, Luhn passes
    // Unrecognized prefix: 14 digits passing Luhn are enough, 13 are not.
    EXPECT_TRUE(Number::isValidNumber("90000000000001"));
    EXPECT_FALSE(Number::isValidNumber("9000000000001"));
    // Maestro is unrecognized here, so the length rule is the generic one.
    EXPECT_TRUE(Number::isValidNumber("5000000000000009"));
    EXPECT_FALSE(Number::isValidNumber("3"));
    EXPECT_FALSE(Number::isValidNumber(""));
}

TEST(CardNumberRules, CvvLengthsAndTextCleanUp) {
    EXPECT_EQ(Number::cvvLengthForCardType(ZeduVICardTypeJCB), 3);
    EXPECT_EQ(Number::cvvLengthForCardType(ZeduVICardTypeAmericanExpress), 4);
    EXPECT_EQ(Number::cvvLengthForCardType(ZeduVICardTypeAmbiguous), -1);
    EXPECT_EQ(Number::cvvLengthForCardType(7), -1);

    EXPECT_EQ(Number::stringByRemovingNonNumbers(" 4a1-2\xef\xbc\x93 9"), "4129");
    EXPECT_EQ(Number::stringbyRemovingSpaces(" 41 1\t2 "), "411\t2");
}

TEST(NumberFormatter, GroupsByTypeOnlyOnceADigitFollowsAndCutsToTheTypesLength) {
    const ZeduVICreditCardNumberFormatter formatter;
    auto text = [&](std::string s) { return formatter.stringForObjectValue(ZeduVIFormatterObject(s)); };
    EXPECT_EQ(text("4111"), "4111");
    EXPECT_EQ(text("41111"), "4111 1");
    // A paste with extra digits is cut back to the type's length.
    EXPECT_EQ(text("4111 1111 1111 1111 999"), "4111 1111 1111 1111");
    EXPECT_EQ(text("3782822463100"), "3782 822463 100");
    EXPECT_EQ(text("378282246310005"), "3782 822463 10005");
    EXPECT_EQ(text("37828224631000599"), "3782 822463 10005");
    EXPECT_EQ(text("3530111333300000"), "3530 1113 3330 0000");
    // Unrecognized and ambiguous numbers stay as typed, uncut.
    EXPECT_EQ(text("90000000000000000000"), "90000000000000000000");
    EXPECT_EQ(text("3"), "3");
    // Maestro has a length but no grouping.
    EXPECT_EQ(text("500000000000000999"), "5000000000000009");
    EXPECT_EQ(formatter.stringForObjectValue(ZeduVIFormatterObject()), "");

    auto record = std::make_shared<ZeduVICreditCardInfo>();
    record->setCardNumber("6011000990139424");
    EXPECT_EQ(formatter.stringForObjectValue(record), "6011 0009 9013 9424");
}

TEST(NumberFormatter, ReadingTextSetsARecordsDigitsOrBecomesTheDigitString) {
    const ZeduVICreditCardNumberFormatter formatter;
    auto record = std::make_shared<ZeduVICreditCardInfo>();
    ZeduVIFormatterObject object = record;
    EXPECT_TRUE(formatter.getObjectValue(object, "4111 1111-1111 1111", nullptr));
    EXPECT_EQ(record->cardNumber(), "4111111111111111");
    EXPECT_EQ(std::get<std::shared_ptr<ZeduVICreditCardInfo>>(object), record);

    ZeduVIFormatterObject nothing;
    EXPECT_TRUE(formatter.getObjectValue(nothing, "37 82", nullptr));
    EXPECT_EQ(std::get<std::string>(nothing), "3782");
}

TEST(ExpiryFormatter, ReadsMonthAndYearAroundTheSlash) {
    const ZeduVICreditCardExpiryFormatter formatter;
    auto record = std::make_shared<ZeduVICreditCardInfo>();
    ZeduVIFormatterObject object = record;
    std::string error;

    EXPECT_TRUE(formatter.getObjectValue(object, "08 / 27", &error));
    EXPECT_EQ(record->expiryMonth(), 8u);
    EXPECT_EQ(record->expiryYear(), 2027u);

    EXPECT_TRUE(formatter.getObjectValue(object, "12/2031", &error));
    EXPECT_EQ(record->expiryYear(), 2031u);
    EXPECT_TRUE(formatter.getObjectValue(object, "1/1999", &error));
    EXPECT_EQ(record->expiryYear(), 2099u);
    EXPECT_TRUE(formatter.getObjectValue(object, "1/00", &error));
    EXPECT_EQ(record->expiryYear(), 2000u);

    // Without a year part there is no year, rather than the year 2000.
    EXPECT_TRUE(formatter.getObjectValue(object, "11", &error));
    EXPECT_EQ(record->expiryMonth(), 11u);
    EXPECT_EQ(record->expiryYear(), 0u);

    EXPECT_TRUE(formatter.getObjectValue(object, "99999999999999999999/1", &error));
    EXPECT_EQ(record->expiryMonth(), 4294967295u);
    EXPECT_TRUE(error.empty());
}

TEST(ExpiryFormatter, RefusesAnythingButARecord) {
    const ZeduVICreditCardExpiryFormatter formatter;
    std::string error;
    ZeduVIFormatterObject text = std::string("x");
    EXPECT_FALSE(formatter.getObjectValue(text, "08/27", &error));
    EXPECT_EQ(error, "Unknown object type");
    ZeduVIFormatterObject nothing;
    EXPECT_FALSE(formatter.getObjectValue(nothing, "08/27", nullptr));
    EXPECT_EQ(formatter.stringForObjectValue(text), "");
}

TEST(ExpiryFormatter, ShowsTwoDigitMonthAndYear) {
    const ZeduVICreditCardExpiryFormatter formatter;
    auto record = std::make_shared<ZeduVICreditCardInfo>();
    record->setExpiryMonth(3);
    record->setExpiryYear(2105);
    EXPECT_EQ(formatter.stringForObjectValue(record), "03 / 05");
    EXPECT_EQ(formatter.stringForObjectValue(std::make_shared<ZeduVICreditCardInfo>()), "00 / 00");
}

TEST(CreditCardInfo, StartsEmptyAndDerivesTypeAndRedactionFromTheNumber) {
    ZeduVICreditCardInfo info;
    EXPECT_EQ(info.cardNumber(), "");
    EXPECT_EQ(info.expiryMonth(), 0u);
    EXPECT_EQ(info.expiryYear(), 0u);
    EXPECT_FALSE(info.scanned());
    EXPECT_EQ(info.cardImage(), nullptr);
    EXPECT_EQ(info.cardType(), ZeduVICardTypeUnrecognized);
    EXPECT_EQ(info.redactedCardNumber(), "");

    info.setCardNumber("378282246310005");
    EXPECT_EQ(info.cardType(), ZeduVICardTypeAmericanExpress);
    EXPECT_EQ(info.redactedCardNumber(), "\u2022\u2022\u2022\u2022 \u2022\u2022\u2022\u2022\u2022\u2022 \u20220005");
    info.setCardNumber("411");
    EXPECT_EQ(info.redactedCardNumber(), "411");
}

}  // namespace
}  // namespace cardscanner
