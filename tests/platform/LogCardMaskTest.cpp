// The log's safety net for payment cards: card numbers are masked to their
// last four digits in every line, whoever logs it; numbers the card form
// would not take (timestamps, device identifiers, ISBNs, phone numbers,
// failed checksums) stay.
#include <gtest/gtest.h>

#include <utility>

#include "platform/foundation/Log.h"

using platform::maskCardNumbers;

namespace {

TEST(LogCardMask, CardNumbersOfEveryIssuerKeepOnlyTheirLastFourDigits) {
    EXPECT_EQ(maskCardNumbers("card 4111111111111111 read"), "card ••••••••••••1111 read");
    EXPECT_EQ(maskCardNumbers("4111 1111 1111 1111"), "•••• •••• •••• 1111");
    EXPECT_EQ(maskCardNumbers("amex 3782-822463-10005."), "amex ••••-••••••-•0005.");
    EXPECT_EQ(maskCardNumbers("5555555555554444"), "••••••••••••4444");          // MasterCard 51-55
    EXPECT_EQ(maskCardNumbers("2223003122003222"), "••••••••••••3222");          // MasterCard 2221-2720
    EXPECT_EQ(maskCardNumbers("6011111111111117"), "••••••••••••1117");          // Discover
    EXPECT_EQ(maskCardNumbers("3530111333300000"), "••••••••••••0000");          // JCB
    EXPECT_EQ(maskCardNumbers("30569309025904"), "••••••••••5904");              // Diners 300-305
    EXPECT_EQ(maskCardNumbers("x=4111111111111111,y=5555555555554444"),
              "x=••••••••••••1111,y=••••••••••••4444");
}

TEST(LogCardMask, GroupsJoinedByShortRunsOfSeparatorsAreMaskedToo) {
    // The form takes each of these as typed or pasted: it keeps only the digits.
    const std::pair<const char*, const char*> cases[] = {
        {"card 4111.1111.1111.1111 end", "card ••••.••••.••••.1111 end"},
        {"card 4111  1111  1111  1111 end", "card ••••  ••••  ••••  1111 end"},
        {"4111  1111 1111 1111", "••••  •••• •••• 1111"},
        {"card 4111/1111/1111/1111", "card ••••/••••/••••/1111"},
        {"amex 3782.822463.10005.", "amex ••••.••••••.•0005."},
        {"4111.1111 1111-1111", "••••.•••• ••••-1111"},
        {"card 4111 - 1111 - 1111 - 1111 end", "card •••• - •••• - •••• - 1111 end"},
        {"card 4111\t1111\t1111\t1111 end", "card ••••\t••••\t••••\t1111 end"},
        {"card 4111_1111_1111_1111 end", "card ••••_••••_••••_1111 end"},
        {"4111 _ 1111\t-\t1111 /1111", "•••• _ ••••\t-\t•••• /1111"},
    };
    for (const auto& [line, masked] : cases) EXPECT_EQ(maskCardNumbers(line), masked) << line;
}

// The fault scenario played by ctest (card_number_comma) logs the ASCII joins.
TEST(LogCardMask, GroupsJoinedByAnyShortRunOfNonLettersAreMasked) {
    const std::pair<const char*, const char*> cases[] = {
        {"card 4111,1111,1111,1111 end", "card ••••,••••,••••,1111 end"},
        {"4111\u00a01111\u00a01111\u00a01111", "••••\u00a0••••\u00a0••••\u00a01111"},  // no-break spaces
        {"4111\u20131111\u20131111\u20131111", "••••\u2013••••\u2013••••\u20131111"},  // en dashes
        {"4111\u202f1111\u30001111\xff" "1111", "••••\u202f••••\u3000••••\xff" "1111"},  // \xff: no UTF-8 at all
        // The bound counts characters, not bytes: 8 em dashes join, 9 do not.
        {"4111\u2014\u2014\u2014\u2014\u2014\u2014\u2014\u20141111 1111 1111",
         "••••\u2014\u2014\u2014\u2014\u2014\u2014\u2014\u2014•••• •••• 1111"},
        {"4111\u00a0\u00a0\u00a0\u00a0\u00a0\u00a0\u00a0\u00a0\u00a01111 1111 1111",
         "4111\u00a0\u00a0\u00a0\u00a0\u00a0\u00a0\u00a0\u00a0\u00a01111 1111 1111"},
        // Dates and addresses whose digits the form would take are masked too.
        {"2026-12-09 \u2013 2027-01-07", "••••-••-•• \u2013 ••••-01-07"},
        {"10.0.0.1, 192.168.100.9", "••.•.•.•, •••.•••.100.9"},
        // A letter parts groups, whatever its script: the 22 is no part of the card.
        {"22\u00e9 4111 1111 1111 1111", "22\u00e9 •••• •••• •••• 1111"},
    };
    for (const auto& [line, masked] : cases) EXPECT_EQ(maskCardNumbers(line), masked) << line;
}

TEST(LogCardMask, ACardInsideALongerGroupedRunIsStillMasked) {
    // Followed by an expiry, the run has 22 digits; the card's groups are masked.
    EXPECT_EQ(maskCardNumbers("4111 1111 1111 1111 12 2030"), "•••• •••• •••• 1111 12 2030");
    // A stray group in front that makes a shorter card number of its own
    // must not leave the real card's middle digits showing.
    EXPECT_EQ(maskCardNumbers("22 4111 1111 1111 1111"), "•• •••• •••• •••• 1111");
    // One unbroken run of more than 19 digits is not a card number.
    EXPECT_EQ(maskCardNumbers("41111111111111111111111"), "41111111111111111111111");
}

TEST(LogCardMask, NumbersTheFormTakesAreMaskedWhateverTheirPrefix) {
    EXPECT_EQ(maskCardNumbers("6200000000000005"), "••••••••••••0005");
    // A prefix of no type the form knows: 14 digits or more that pass the check.
    EXPECT_EQ(maskCardNumbers("90000000000001"), "••••••••••0001");
    EXPECT_EQ(maskCardNumbers("imei 867523031234563"), "imei •••••••••••4563");
}

TEST(LogCardMask, OtherLongNumbersStay) {
    for (const char* line : {"at 1767225600000 ms",            // millisecond timestamp, 13 digits
                             "at 1767225600009 ms",            // one that passes the check: no 13 digits are a card
                             "imei 356938035643809",           // passes the check, but a JCB prefix needs 16 digits
                             "4222222222222",                  // Visa's prefix with 13 digits
                             "typed 4242424242424243",         // a card typed with a digit wrong
                             "isbn 978-3-16-148410-0",         // 13 digits, no card prefix
                             "call +1 555-123-4567 now",       // too short
                             "4111111111111112",               // fails the Luhn check
                             "9111111111111119",               // fails the check too
                             "4111.1111.1111.1112",            // grouped, but fails the check
                             "at 2026-12-09T10:15:33.123Z",    // a timestamp
                             "on 2026.12.09 and 2026/12/09",   // dates
                             "version 1.2.3.4 or 4.1.1.1",     // version numbers
                             "from 192.168.100.200",           // an IP address
                             "frames 123456789012 and 42",
                             "4111         1111 1111 1111"}) {  // columns further apart than a separator
        EXPECT_EQ(maskCardNumbers(line), line);
    }
}

TEST(LogCardMask, EveryLoggedLineIsMasked) {
    platform::LogCapture capture;
    platform::logf("scenario: step 4: {\"eval\":\"scanCard('%s')\"}", "4441668936710352");
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0], "scenario: step 4: {\"eval\":\"scanCard('••••••••••••0352')\"}");
}

}  // namespace
