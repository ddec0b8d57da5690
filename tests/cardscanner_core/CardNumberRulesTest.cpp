#include "cardnumber/CardNumberRules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<uint8_t> digits_of(const std::string& text)
{
    std::vector<uint8_t> digits;
    for (char c : text)
        digits.push_back(static_cast<uint8_t>(c - '0'));
    return digits;
}

bool luhn(const std::string& text)
{
    const auto digits = digits_of(text);
    return passes_luhn(digits.data(), digits.size());
}

CardTypeInfo lookup(const std::string& text, bool partial)
{
    const auto digits = digits_of(text);
    return card_info_for_number(digits.data(), digits.size(), partial);
}

std::string padded(const std::string& prefix, size_t length) { return prefix + std::string(length - prefix.size(), '0'); }

} // namespace

TEST(LuhnCheck, KnownNumbersPassAndOneChangedDigitFails)
{
    EXPECT_TRUE(luhn("4111111111111111"));
    EXPECT_TRUE(luhn("378282246310005"));
    EXPECT_TRUE(luhn("5555555555554444"));
    EXPECT_FALSE(luhn("4111111111111112"));
    EXPECT_FALSE(luhn("378282246310006"));
}

TEST(LuhnCheck, DoubledDigitsAddBothTheirDigits)
{
    // 9 doubled is 18, adding 1 + 8 = 9; with the final 1: 10.
    EXPECT_TRUE(luhn("91"));
    EXPECT_FALSE(luhn("90"));
    // 7 doubled adds 1 + 4.
    EXPECT_TRUE(luhn("75"));
}

TEST(LuhnCheck, EmptyPassesAndBytesThatAreNotDigitsFail)
{
    EXPECT_TRUE(passes_luhn(nullptr, 0));
    // '0' as a character code and 10 both sum to a multiple of 10 if taken as
    // values, which is why they must be refused.
    const uint8_t character_codes[] = {'4', '0'};
    EXPECT_FALSE(passes_luhn(character_codes, 2));
    const uint8_t ten[] = {10};
    EXPECT_FALSE(passes_luhn(ten, 1));
    EXPECT_FALSE(passes_luhn(nullptr, 3));
}

TEST(PrefixTable, PartialLookupsOfShortPrefixes)
{
    const CardTypeInfo visa = lookup("4", true);
    EXPECT_EQ(visa.card_type, CardTypeVisa);
    EXPECT_EQ(visa.number_length, 16);
    EXPECT_EQ(visa.prefix_length, 1u);
    EXPECT_EQ(visa.min_prefix, 4);
    EXPECT_EQ(visa.max_prefix, 4);

    for (const char* ambiguous : {"3", "5", "6", "30"}) {
        const CardTypeInfo info = lookup(ambiguous, true);
        EXPECT_EQ(info.card_type, CardTypeAmbiguous) << ambiguous;
        EXPECT_EQ(info.number_length, -1);
        EXPECT_EQ(info.prefix_length, 1u);
        EXPECT_EQ(info.min_prefix, 9);
        EXPECT_EQ(info.max_prefix, 9);
    }

    EXPECT_EQ(lookup("38", true).card_type, CardTypeDiscover);
    EXPECT_EQ(lookup("38", true).number_length, 14);
    EXPECT_EQ(lookup("35", true).card_type, CardTypeJCB);
    EXPECT_EQ(lookup("352", true).card_type, CardTypeJCB);
    EXPECT_EQ(lookup("351", true).card_type, CardTypeUnrecognized);
    EXPECT_EQ(lookup("60", true).card_type, CardTypeDiscover);
    EXPECT_EQ(lookup("64", true).card_type, CardTypeDiscover);
    EXPECT_EQ(lookup("51", true).card_type, CardTypeMastercard);
    EXPECT_EQ(lookup("50", true).card_type, CardTypeMaestro);
    EXPECT_EQ(lookup("1", true).card_type, CardTypeUnrecognized);
}

TEST(PrefixTable, LengthRulesOfBothModes)
{
    EXPECT_EQ(lookup(padded("4", 17), true).card_type, CardTypeUnrecognized);
    EXPECT_EQ(lookup(padded("4", 16), false).card_type, CardTypeVisa);
    EXPECT_EQ(lookup(padded("4", 15), false).card_type, CardTypeUnrecognized);
    EXPECT_EQ(lookup(padded("4", 15), true).card_type, CardTypeVisa);

    const CardTypeInfo diners = lookup(padded("36", 14), false);
    EXPECT_EQ(diners.card_type, CardTypeDiscover);
    EXPECT_EQ(diners.number_length, 14);
    EXPECT_EQ(lookup(padded("34", 15), false).card_type, CardTypeAmex);
    EXPECT_EQ(lookup(padded("37", 15), false).card_type, CardTypeAmex);
    EXPECT_EQ(lookup(padded("37", 16), false).card_type, CardTypeUnrecognized);

    // Only the first prefix_length digits are compared in exact mode.
    EXPECT_EQ(lookup(padded("3589", 16), false).card_type, CardTypeJCB);
    EXPECT_EQ(lookup(padded("3590", 16), false).card_type, CardTypeUnrecognized);
}

TEST(PrefixTable, MaestroRangesKeepTheirOwnCode)
{
    for (const char* prefix : {"50", "56", "59", "61", "63", "66", "69"})
        EXPECT_EQ(lookup(padded(prefix, 16), false).card_type, CardTypeMaestro) << prefix;
    EXPECT_EQ(lookup(padded("62", 16), false).card_type, CardTypeDiscover);
    EXPECT_EQ(lookup(padded("88", 16), false).card_type, CardTypeDiscover);
    EXPECT_EQ(lookup(padded("6011", 16), false).card_type, CardTypeDiscover);
    EXPECT_EQ(lookup(padded("6012", 16), false).card_type, CardTypeUnrecognized);
}

TEST(PrefixTable, EmptyAndNonDigitNumbersAreUnrecognized)
{
    EXPECT_EQ(card_info_for_number(nullptr, 0, true).card_type, CardTypeUnrecognized);
    EXPECT_EQ(card_info_for_number(nullptr, 0, false).card_type, CardTypeUnrecognized);
    EXPECT_EQ(card_info_for_number(nullptr, 0, false).number_length, -1);
    const uint8_t character_code[] = {'4'};
    EXPECT_EQ(card_info_for_number(character_code, 1, true).card_type, CardTypeUnrecognized);
}

// The log masks the numbers the card form takes; a number the scan session
// decides (15 or 16 digits of a recognized type, exact lookup) must be one
// of them, or a scanned number would reach the log whole.
TEST(WholeNumber, EveryNumberTheScanSessionCanDecideIsOneTheFormTakes)
{
    for (int prefix = 0; prefix < 10000; ++prefix) {
        std::string leading = std::to_string(prefix);
        leading.insert(0, 4 - leading.size(), '0');
        for (size_t length : {15u, 16u}) {
            std::string number = padded(leading, length - 1) + '0';
            while (!luhn(number))
                ++number.back();
            const auto digits = digits_of(number);
            if (lookup(number, false).card_type >= CardTypeAmex) {
                EXPECT_TRUE(is_valid_card_number(digits.data(), digits.size())) << number;
            }
        }
    }
}
