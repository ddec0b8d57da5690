#pragma once
// Number rules of the scanner and the form: card type and length from the
// issuer prefix, the Luhn check, CVV lengths and digit clean-up. A thin layer
// over the recognition core's rules (CardNumberRules.h) that works on the
// text a user typed or the scanner read. Stateless; safe from any thread.

#include <string>
#include <string_view>

#include "cardscanner/results/ZeduVICardType.h"

namespace cardscanner {

class ZeduVICreditCardNumber {
public:
    ZeduVICreditCardNumber() = delete;

    // The core's RecoCardType (0..7) to the record's code; Maestro (7), any
    // larger value and any negative one are unrecognized.
    static ZeduVICardType cardTypeFromRecoCardType(long long recoCardType);

    // Non-digits are ignored; the prefix is matched as a number still being
    // typed, so "4" is already Visa.
    static ZeduVICardType cardTypeForCardNumber(std::string_view number);
    // -1 when the prefix is unrecognized or ambiguous.
    static int numberLengthForCardNumber(std::string_view number);

    // Every character must be a decimal digit: a blank or any other
    // character fails the check. The empty text passes.
    static bool passesLuhnChecksum(std::string_view number);
    // Non-digits are ignored.
    static bool isValidNumber(std::string_view number);

    // 3 or 4 for a known type, -1 otherwise.
    static int cvvLengthForCardType(int cardType);

    static std::string stringByRemovingNonNumbers(std::string_view text);
    static std::string stringbyRemovingSpaces(std::string_view text);
};

}  // namespace cardscanner
