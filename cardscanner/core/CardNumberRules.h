#pragma once
// Card number rules: the Luhn checksum and the issuer prefix table.
//
// A number is a pointer to bytes holding digit values 0..9 (not character
// codes), most significant first, and a count. Pure functions: no state, no
// allocation, safe from any thread.

#include <cstddef>
#include <cstdint>

enum RecoCardType : uint8_t {
    CardTypeUnrecognized = 0,
    CardTypeAmbiguous = 1,
    CardTypeAmex = 2,
    CardTypeJCB = 3,
    CardTypeVisa = 4,
    CardTypeMastercard = 5,
    CardTypeDiscover = 6,
    CardTypeMaestro = 7,
};

struct CardTypeInfo {
    uint32_t card_type; // a RecoCardType
    int32_t number_length; // -1 unless exactly one table row matched
    uint32_t prefix_length;
    int64_t min_prefix;
    int64_t max_prefix;
};

// True when the number passes the Luhn check (an empty number does). A byte
// that is not a digit value 0..9 fails the check.
bool passes_luhn(const uint8_t* digits, size_t count);

// Looks the leading digits up in the 19-row prefix table. partial: the number
// is still being typed (count may be below the type's length); otherwise the
// count must equal the type's length. A number holding a byte that is not a
// digit value is unrecognized.
CardTypeInfo card_info_for_number(const uint8_t* digits, size_t count, bool partial);
