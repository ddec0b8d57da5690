#include "cardnumber/CardNumberRules.h"

namespace {

constexpr CardTypeInfo kPrefixTable[] = {
    {CardTypeDiscover, 14, 3, 300, 305},
    {CardTypeDiscover, 14, 3, 309, 309},
    {CardTypeAmex, 15, 2, 34, 34},
    {CardTypeJCB, 16, 4, 3528, 3589},
    {CardTypeDiscover, 14, 2, 36, 36},
    {CardTypeDiscover, 14, 2, 38, 39},
    {CardTypeAmex, 15, 2, 37, 37},
    {CardTypeVisa, 16, 1, 4, 4},
    {CardTypeMaestro, 16, 2, 50, 50},
    {CardTypeMastercard, 16, 2, 51, 55},
    {CardTypeMaestro, 16, 2, 56, 59},
    {CardTypeDiscover, 16, 4, 6011, 6011},
    {CardTypeMaestro, 16, 2, 61, 61},
    {CardTypeDiscover, 16, 2, 62, 62},
    {CardTypeMaestro, 16, 2, 63, 63},
    {CardTypeDiscover, 16, 3, 644, 649},
    {CardTypeDiscover, 16, 2, 65, 65},
    {CardTypeMaestro, 16, 2, 66, 69},
    {CardTypeDiscover, 16, 2, 88, 88},
};

constexpr CardTypeInfo kUnrecognized = {CardTypeUnrecognized, -1, 1, 9, 9};
constexpr CardTypeInfo kAmbiguous = {CardTypeAmbiguous, -1, 1, 9, 9};

bool all_digits(const uint8_t* digits, size_t count)
{
    if (count > 0 && digits == nullptr)
        return false;
    for (size_t i = 0; i < count; ++i) {
        if (digits[i] > 9)
            return false;
    }
    return true;
}

} // namespace

bool passes_luhn(const uint8_t* digits, size_t count)
{
    if (!all_digits(digits, count))
        return false;
    unsigned sum = 0;
    bool doubled = false;
    for (size_t i = count; i-- > 0;) {
        unsigned digit = digits[i];
        if (doubled) {
            digit *= 2;
            digit = digit / 10 + digit % 10;
        }
        sum += digit;
        doubled = !doubled;
    }
    return sum % 10 == 0;
}

CardTypeInfo card_info_for_number(const uint8_t* digits, size_t count, bool partial)
{
    if (count == 0 || !all_digits(digits, count))
        return kUnrecognized;
    const CardTypeInfo* match = nullptr;
    int matches = 0;
    for (const CardTypeInfo& row : kPrefixTable) {
        const size_t length = static_cast<size_t>(row.number_length);
        if (partial ? count > length : count != length)
            continue;
        const size_t known = count < row.prefix_length ? count : row.prefix_length;
        int64_t value = 0;
        for (size_t i = 0; i < known; ++i)
            value = value * 10 + digits[i];
        int64_t low = row.min_prefix;
        int64_t high = row.max_prefix;
        for (size_t i = known; i < row.prefix_length; ++i) {
            low /= 10;
            high /= 10;
        }
        if (low <= value && value <= high) {
            match = &row;
            ++matches;
        }
    }
    if (matches == 0)
        return kUnrecognized;
    if (matches > 1)
        return kAmbiguous;
    return *match;
}

bool is_valid_card_number(const uint8_t* digits, size_t count)
{
    // No card is shorter than 14 digits: the log asks this of every digit
    // run, and most are turned away here before the prefix table is read.
    if (count < 14 || !passes_luhn(digits, count))
        return false;
    const CardTypeInfo info = card_info_for_number(digits, count, true);
    if (info.card_type == CardTypeAmbiguous)
        return false;
    if (info.card_type == CardTypeUnrecognized || info.card_type == CardTypeMaestro)
        return count >= 14;
    return count == static_cast<size_t>(info.number_length);
}
