#pragma once
// Card number rules: the Luhn checksum, the issuer prefix table and what
// makes a whole card number. They depend on nothing: the recognition core,
// the card form and the log's card-number mask all go by them.
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

// A whole card number, as the card form takes one: it passes the Luhn check
// and has the length of the type its prefix names (partial lookup), or at
// least 14 digits when the prefix names no type the form knows (unrecognized,
// or Maestro, which the form shows as unrecognized); an ambiguous prefix
// never passes. Every number the scan session decides passes too: it takes
// only 15 or 16 digits of a recognized type with their exact length.
bool is_valid_card_number(const uint8_t* digits, size_t count);
