#include "cardscanner/core/ScanSession.h"

#include "CoreTestImages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

const std::string kVisa = "4111111111111111";
const std::string kAmex = "378282246310005";

// Completes a prefix with its Luhn check digit.
std::string with_check_digit(const std::string& prefix)
{
    for (char check = '0'; check <= '9'; ++check) {
        const std::string number = prefix + check;
        uint8_t digits[32];
        for (size_t i = 0; i < number.size(); ++i)
            digits[i] = static_cast<uint8_t>(number[i] - '0');
        if (passes_luhn(digits, number.size()))
            return number;
    }
    return {};
}

class ScanSession : public ::testing::Test {
protected:
    ScannerState state;
    uint64_t now = 5000;

    void SetUp() override
    {
        scanner_init(state);
        state.clock = [this] { return now; };
    }

    // A frame whose stripe sits at y_offset with score and whose cells read
    // the number's digits with certainty.
    static FrameScanResult frame_reading(const std::string& number, uint16_t y_offset = 150, float score = 20.0f)
    {
        FrameScanResult frame{};
        frame.vseg = vertical_segmentation_for_pattern(number.size() == 15 ? 2 : 1, score, y_offset);
        frame.hseg.n_offsets = static_cast<uint8_t>(number.size());
        for (size_t i = 0; i < number.size(); ++i)
            frame.hseg.offsets[i] = static_cast<uint16_t>(20 + 19 * i);
        frame.scores.setZero();
        for (size_t i = 0; i < number.size(); ++i)
            frame.scores(static_cast<int>(i), number[i] - '0') = 1.0f;
        return frame;
    }

    FrameScanResult add(const std::string& number, bool read_expiry = false)
    {
        FrameScanResult frame = frame_reading(number);
        scanner_add_frame_scores(state, read_expiry, frame);
        return frame;
    }

    void add_counts(int fifteen, int sixteen)
    {
        for (int i = 0; i < fifteen; ++i)
            add(kAmex);
        for (int i = 0; i < sixteen; ++i)
            add(kVisa);
    }

    NumberScanResult result()
    {
        NumberScanResult out{};
        scanner_result(state, out);
        return out;
    }

    std::string digits_of(const NumberScanResult& out)
    {
        std::string number;
        for (int i = 0; i < out.n_numbers; ++i)
            number += static_cast<char>('0' + out.predictions[i]);
        return number;
    }

    // Evidence set directly in the averages: row i of the 16-digit matrix
    // holds best at the number's digit and rest at the next digit.
    void set_sixteen_rows(const std::string& number, float best, float rest)
    {
        state.count16 = 3;
        state.aggregated16.setZero();
        for (int i = 0; i < 16; ++i) {
            const int digit = number[static_cast<size_t>(i)] - '0';
            state.aggregated16(i, digit) = best;
            state.aggregated16(i, (digit + 1) % 10) = rest;
        }
    }
};

} // namespace

TEST_F(ScanSession, CountsDecideBetweenFifteenAndSixteenDigits)
{
    struct Case {
        int fifteen, sixteen;
        int decided; // 0: nothing
    };
    for (const Case c : {Case{0, 3, 16}, Case{5, 2, 15}, Case{6, 3, 15}, Case{7, 4, 0}, Case{2, 0, 0}, Case{3, 3, 0},
                         Case{0, 2, 0}}) {
        scanner_reset(state);
        add_counts(c.fifteen, c.sixteen);
        const NumberScanResult out = result();
        SCOPED_TRACE(testing::Message() << c.fifteen << " fifteen, " << c.sixteen << " sixteen");
        EXPECT_EQ(out.complete, c.decided != 0);
        if (c.decided != 0) {
            EXPECT_EQ(out.n_numbers, c.decided);
            EXPECT_EQ(digits_of(out), c.decided == 16 ? kVisa : kAmex);
            EXPECT_EQ(out.expiry_month, 0);
            EXPECT_EQ(out.expiry_year, 0);
        }
    }
}

TEST_F(ScanSession, EveryDigitMustHoldSevenTenthsOfItsRow)
{
    state.mostRecentUsableVSeg = vertical_segmentation_for_pattern(1, 20.0f, 150);
    set_sixteen_rows(kVisa, 0.7f, 0.3f);
    EXPECT_TRUE(result().complete);

    scanner_reset(state);
    set_sixteen_rows(kVisa, 0.7f, 0.3f);
    state.aggregated16(9, 1) = 0.69f;
    state.aggregated16(9, 2) = 0.31f;
    EXPECT_FALSE(result().complete);
}

TEST_F(ScanSession, EmptyOrNaNRowsAreNeverConfident)
{
    set_sixteen_rows(kVisa, 1.0f, 0.0f);
    state.aggregated16.row(3).setZero();
    EXPECT_FALSE(result().complete);
    set_sixteen_rows(kVisa, 1.0f, 0.0f);
    state.aggregated16(3, 2) = std::nanf("");
    EXPECT_FALSE(result().complete);
    set_sixteen_rows(kVisa, 1.0f, 0.0f);
    state.aggregated16(3, 1) = INFINITY;
    EXPECT_FALSE(result().complete);
    set_sixteen_rows(kVisa, 1.0f, 0.0f);
    state.aggregated16(3, 1) = -1.0f;
    state.aggregated16(3, 2) = 0.5f;
    EXPECT_FALSE(result().complete);
}

TEST_F(ScanSession, TiedRowsReadAsTheLowerDigit)
{
    // Row 15 ties 1 and 6 at 0.5 each, below 0.7: the number waits; with a
    // third class at 0 the lower digit is still what the prediction holds.
    set_sixteen_rows(kVisa, 1.0f, 0.0f);
    state.aggregated16.row(15).setZero();
    state.aggregated16(15, 6) = 0.5f;
    state.aggregated16(15, 1) = 0.5f;
    NumberScanResult out = result();
    EXPECT_FALSE(out.complete);
    EXPECT_EQ(out.predictions[15], 1);
}

TEST_F(ScanSession, OnlyKnownCardTypesPassingLuhnAreAccepted)
{
    const std::string maestro = with_check_digit("560000000000000");
    ASSERT_EQ(maestro.size(), 16u);
    add_counts(0, 3);
    EXPECT_TRUE(result().complete);

    scanner_reset(state);
    for (int i = 0; i < 3; ++i)
        add(maestro);
    const NumberScanResult accepted = result();
    EXPECT_TRUE(accepted.complete);
    EXPECT_EQ(digits_of(accepted), maestro);

    scanner_reset(state);
    for (int i = 0; i < 3; ++i)
        add(with_check_digit("100000000000000"));
    EXPECT_FALSE(result().complete);

    scanner_reset(state);
    for (int i = 0; i < 3; ++i)
        add("4111111111111112");
    EXPECT_FALSE(result().complete);
}

TEST_F(ScanSession, ExpiryWaitEndsOneSecondAfterTheDecision)
{
    for (int i = 0; i < 3; ++i)
        add(kVisa, true);
    EXPECT_TRUE(state.scan_expiry);
    now = 10000;
    EXPECT_FALSE(result().complete);
    EXPECT_EQ(state.timeOfCardNumberCompletionInMilliseconds, 10000u);
    now = 11000;
    EXPECT_FALSE(result().complete);
    now = 11001;
    const NumberScanResult out = result();
    EXPECT_TRUE(out.complete);
    EXPECT_EQ(digits_of(out), kVisa);
    EXPECT_EQ(out.expiry_month, 0);
    EXPECT_EQ(out.expiry_year, 0);
}

TEST_F(ScanSession, AReadExpiryCompletesAtOnce)
{
    for (int i = 0; i < 3; ++i)
        add(kVisa, true);
    state.expiry_month = 11;
    state.expiry_year = 2027;
    const NumberScanResult out = result();
    EXPECT_TRUE(out.complete);
    EXPECT_EQ(out.expiry_month, 11);
    EXPECT_EQ(out.expiry_year, 2027);
}

TEST_F(ScanSession, AClockAtZeroStillDecides)
{
    now = 0;
    add_counts(0, 3);
    EXPECT_TRUE(result().complete);
    EXPECT_NE(state.timeOfCardNumberCompletionInMilliseconds, 0u);
}

TEST_F(ScanSession, StripeRulesOfAFrame)
{
    FrameScanResult upside_down = frame_reading(kVisa, 120);
    scanner_add_frame_scores(state, false, upside_down);
    EXPECT_TRUE(upside_down.upside_down);
    EXPECT_FALSE(upside_down.usable);
    EXPECT_EQ(state.session_analytics.num_frames_scanned, 0u);
    EXPECT_EQ(state.count16, 0);

    FrameScanResult weak = frame_reading(kVisa, 121, 15.0f);
    scanner_add_frame_scores(state, false, weak);
    EXPECT_FALSE(weak.upside_down);
    EXPECT_FALSE(weak.usable);
    EXPECT_EQ(state.session_analytics.num_frames_scanned, 1u);
    EXPECT_EQ(state.count16, 0);

    FrameScanResult strong = frame_reading(kVisa, 121, 15.01f);
    scanner_add_frame_scores(state, false, strong);
    EXPECT_TRUE(strong.usable);
    EXPECT_EQ(state.count16, 1);
}

TEST_F(ScanSession, FrameConfidenceComesFromTheSummedScores)
{
    FrameScanResult doubtful = frame_reading(kVisa);
    doubtful.scores.row(0).setZero();
    doubtful.scores.row(1).setZero();
    doubtful.scores.row(2).setZero(); // 16 - 13 = 3, not below 3
    scanner_add_frame_scores(state, false, doubtful);
    EXPECT_FALSE(doubtful.usable);
    EXPECT_EQ(state.count16, 0);
    EXPECT_EQ(state.session_analytics.num_frames_scanned, 1u);

    FrameScanResult nan = frame_reading(kVisa);
    nan.scores(4, 4) = std::nanf("");
    scanner_add_frame_scores(state, false, nan);
    EXPECT_FALSE(nan.usable);

    FrameScanResult too_many = frame_reading(kVisa);
    too_many.hseg.n_offsets = 17;
    scanner_add_frame_scores(state, false, too_many);
    EXPECT_FALSE(too_many.usable);
    EXPECT_EQ(state.count16, 0);
}

TEST_F(ScanSession, CountersSaturate)
{
    state.count16 = 65535;
    add(kVisa);
    EXPECT_EQ(state.count16, 65535);
}

TEST_F(ScanSession, RingOfRecentUprightFrames)
{
    for (int i = 0; i < 20; ++i)
        add(kVisa);
    EXPECT_EQ(state.session_analytics.frames_ring_start, 0);
    EXPECT_EQ(state.session_analytics.frames_ring[19].frame_index, 19u);
    state.session_analytics.frames_ring[0].frame_values["focus"] = "7";

    FrameScanResult weak = frame_reading(kVisa, 200, 1.0f); // upright, unusable
    scanner_add_frame_scores(state, false, weak);
    EXPECT_EQ(state.session_analytics.frames_ring[0].frame_index, 20u);
    EXPECT_EQ(state.session_analytics.frames_ring[0].frame_values.at("focus"), "7");
    EXPECT_EQ(state.session_analytics.frames_ring_start, 1);
    add(kVisa);
    EXPECT_EQ(state.session_analytics.frames_ring[1].frame_index, 21u);
    EXPECT_EQ(state.session_analytics.frames_ring_start, 2);
    EXPECT_EQ(state.session_analytics.num_frames_scanned, 22u);
}

TEST_F(ScanSession, DecidedNumberIsFrozen)
{
    add_counts(0, 3);
    ASSERT_TRUE(result().complete);
    const DigitScoreMatrix averages = state.aggregated16;
    const uint16_t y_offset = state.mostRecentUsableVSeg.y_offset;

    FrameScanResult later = frame_reading(kAmex, 190);
    scanner_add_frame_scores(state, false, later);
    EXPECT_TRUE(later.usable);
    EXPECT_EQ(state.count15, 0);
    EXPECT_EQ(state.count16, 3);
    EXPECT_EQ(state.aggregated16, averages);
    EXPECT_EQ(state.mostRecentUsableVSeg.y_offset, y_offset);
    EXPECT_EQ(state.session_analytics.num_frames_scanned, 4u);

    const NumberScanResult again = result();
    EXPECT_TRUE(again.complete);
    EXPECT_EQ(digits_of(again), kVisa);
}

TEST_F(ScanSession, DecisionCarriesTheMostRecentFoldedSegmentation)
{
    add_counts(0, 4);
    FrameScanResult fifteen = frame_reading(kAmex, 170);
    scanner_add_frame_scores(state, false, fifteen);
    const NumberScanResult out = result();
    ASSERT_TRUE(out.complete);
    EXPECT_EQ(out.n_numbers, 16);
    EXPECT_EQ(out.hseg.n_offsets, 15);
    EXPECT_EQ(out.vseg.y_offset, 170);
}

TEST_F(ScanSession, ResetStartsOver)
{
    add_counts(0, 3);
    ASSERT_TRUE(result().complete);
    scanner_reset(state);
    EXPECT_FALSE(result().complete);
    EXPECT_EQ(state.session_analytics.num_frames_scanned, 0u);
    EXPECT_EQ(state.aggregated16.sum(), 0.0f);
    add_counts(0, 3);
    EXPECT_TRUE(result().complete);
}

TEST_F(ScanSession, CardImagesAreCheckedAndLeftWithoutRegion)
{
    ImagePtr wrong = make_image(428, 269);
    FrameScanResult frame{};
    frame.usable = true;
    EXPECT_FALSE(scanner_add_frame(state, wrong.get(), false, frame));
    EXPECT_FALSE(frame.usable);
    EXPECT_FALSE(scanner_add_frame(state, nullptr, false, frame));
    EXPECT_EQ(state.session_analytics.num_frames_scanned, 0u);

    ImagePtr card = random_card(41);
    cvSetImageROI(card.get(), cvRect(0, 0, 10, 10));
    EXPECT_TRUE(scanner_add_frame(state, card.get(), true, frame));
    EXPECT_EQ(card->roi, nullptr);
    EXPECT_EQ(frame.vseg.y_offset <= 120, frame.upside_down);
}
