#include "cardscanner/core/ExpiryGroups.h"

#include "cardscanner/core/ExpiryNetworks.h"
#include "cardscanner/core/ScanSession.h"

#include "CoreTestImages.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <thread>

namespace {

constexpr uint64_t kMidJune2026 = 1781524800000ULL; // 2026-06-15 12:00 UTC

int16_t& gradient_at(IplImage* gradient, int x, int y)
{
    return reinterpret_cast<int16_t*>(gradient->imageData + y * gradient->widthStep)[x];
}

// A date candidate at (top, left) whose positions 0, 1, 3, 4 read the given
// digits, each with the given share of its row.
GroupedRects date_group(int top, int left, std::array<int, 4> digits, float share = 1.0f, int cells = 5)
{
    GroupedRects group{};
    group.top = top;
    group.left = left;
    group.width = 13 * 4 + 11;
    group.height = 16;
    group.character_width = 11;
    for (int i = 0; i < cells; ++i)
        group.character_rects.push_back({top, left + 13 * i, 1000});
    group.kind = kGroupKindDate;
    group.scores.setZero();
    const int positions[4] = {0, 1, 3, 4};
    for (int i = 0; i < 4; ++i) {
        for (int d = 0; d < 10; ++d)
            group.scores(positions[i], d) = (1.0f - share) / 9.0f;
        group.scores(positions[i], digits[static_cast<size_t>(i)]) = share;
    }
    return group;
}

GroupedRects unreadable_group(int top, int left, int cells = 5)
{
    GroupedRects group = date_group(top, left, {0, 0, 0, 0}, 1.0f, cells);
    group.scores.setZero();
    return group;
}

class ExpiryTracking : public ::testing::Test {
protected:
    ScannerState state;
    uint64_t now = kMidJune2026;

    void SetUp() override
    {
        scanner_init(state);
        state.clock = [this] { return now; };
    }

    // One usable frame of a certain Visa number carrying the given expiry
    // candidates.
    void add(std::vector<GroupedRects> groups, bool read_expiry = true)
    {
        FrameScanResult frame{};
        frame.vseg = vertical_segmentation_for_pattern(1, 20.0f, 150);
        frame.hseg.n_offsets = 16;
        frame.scores.setZero();
        const std::string number = "4111111111111111";
        for (int i = 0; i < 16; ++i)
            frame.scores(i, number[static_cast<size_t>(i)] - '0') = 1.0f;
        frame.expiry_groups = std::move(groups);
        frame.name_groups.push_back(unreadable_group(200, 30, 9));
        scanner_add_frame_scores(state, read_expiry, frame);
        ASSERT_TRUE(frame.usable);
    }

    void add_times(const std::vector<GroupedRects>& groups, int frames)
    {
        for (int i = 0; i < frames; ++i)
            add(groups);
    }

    std::pair<int, int> date() const { return {state.expiry_month, state.expiry_year}; }
};

} // namespace

TEST_F(ExpiryTracking, DateRuleReadsMonthAndYearInEitherOrder)
{
    struct Case {
        std::array<int, 4> digits;
        int month, year; // 0, 0: ignored
        const char* why;
    };
    const Case cases[] = {
        {{1, 1, 2, 7}, 11, 2027, "month then year"},
        {{2, 7, 1, 1}, 11, 2027, "27 > 12 and 0 < 11 < 13: year then month"},
        {{3, 0, 0, 1}, 1, 2030, "year then month"},
        {{1, 2, 3, 0}, 12, 2030, "four years ahead"},
        {{0, 5, 3, 1}, 0, 0, "2031 is five years ahead"},
        {{0, 6, 2, 6}, 6, 2026, "the current month"},
        {{0, 5, 2, 6}, 0, 0, "last month"},
        {{1, 1, 2, 5}, 0, 0, "last year"},
        {{1, 3, 2, 7}, 0, 0, "month 13"},
        {{0, 0, 2, 7}, 0, 0, "month 0"},
        {{2, 7, 0, 0}, 0, 0, "year 27, month 0 reads as month 27"},
        {{9, 9, 9, 9}, 0, 0, "month 99"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        scanner_reset(state);
        add_times({date_group(200, 40, c.digits)}, 3);
        EXPECT_EQ(date(), std::make_pair(c.month, c.year));
    }
}

TEST_F(ExpiryTracking, OnlyACandidateSeenInThreeFramesDecides)
{
    const GroupedRects group = date_group(200, 40, {1, 1, 2, 7});
    add_times({group}, 2);
    EXPECT_EQ(date(), std::make_pair(0, 0));
    ASSERT_EQ(state.expiry_groups.size(), 1u);
    EXPECT_EQ(state.expiry_groups[0].frames_seen, 2);
    add({group});
    EXPECT_EQ(date(), std::make_pair(11, 2027));

    // Once both are read the date is no longer wanted: later frames leave
    // the state as it is.
    const std::vector<GroupedRects> tracked = state.expiry_groups;
    add_times({date_group(200, 40, {1, 2, 2, 8})}, 4);
    EXPECT_EQ(date(), std::make_pair(11, 2027));
    EXPECT_EQ(state.expiry_groups.size(), tracked.size());
}

TEST_F(ExpiryTracking, AnUncertainCharacterNeverGivesADate)
{
    GroupedRects group = date_group(200, 40, {1, 1, 2, 7});
    for (int d = 0; d < 10; ++d)
        group.scores(3, d) = d == 2 ? 0.69f : 0.31f / 9.0f;
    add_times({group}, 8);
    EXPECT_EQ(date(), std::make_pair(0, 0));

    for (int d = 0; d < 10; ++d)
        group.scores(3, d) = d == 2 ? 0.71f : 0.29f / 9.0f;
    scanner_reset(state);
    add_times({group}, 3);
    EXPECT_EQ(date(), std::make_pair(11, 2027));

    group.scores.row(4).setConstant(std::nanf(""));
    scanner_reset(state);
    add_times({group}, 3);
    EXPECT_EQ(date(), std::make_pair(0, 0));
}

TEST_F(ExpiryTracking, StoredScoresAreSmoothedThreeTenthsPerFrame)
{
    // The first frame reads 11/27, the later ones 12/27: position 1 carries
    // 0.51, 0.657, 0.76 of digit 2 after frames 3, 4, 5.
    add({date_group(200, 40, {1, 1, 2, 7})});
    add({date_group(200, 40, {1, 2, 2, 7})});
    add({date_group(200, 40, {1, 2, 2, 7})});
    EXPECT_NEAR(state.expiry_groups[0].scores(1, 2), 0.51f, 1e-5f);
    EXPECT_EQ(date(), std::make_pair(0, 0));
    add({date_group(200, 40, {1, 2, 2, 7})});
    EXPECT_EQ(date(), std::make_pair(0, 0));
    add({date_group(200, 40, {1, 2, 2, 7})});
    EXPECT_EQ(date(), std::make_pair(12, 2027));
}

TEST_F(ExpiryTracking, TheLatestPlausibleDateWins)
{
    for (const bool later_first : {true, false}) {
        scanner_reset(state);
        const GroupedRects november = date_group(180, 40, {1, 1, 2, 7});
        const GroupedRects december = date_group(230, 40, {1, 2, 2, 7});
        const GroupedRects too_late = date_group(200, 200, {1, 2, 3, 2});
        add_times(later_first ? std::vector{december, november, too_late} : std::vector{too_late, november, december},
                  3);
        EXPECT_EQ(date(), std::make_pair(12, 2027)) << later_first;
    }

    const ExpiryDate today{6, 2026};
    EXPECT_FALSE(expiry_date_replaces({11, 2027}, {11, 2027}, today)) << "the same date";
    EXPECT_TRUE(expiry_date_replaces({12, 2027}, {11, 2027}, today));
    EXPECT_TRUE(expiry_date_replaces({1, 2028}, {11, 2027}, today));
    EXPECT_FALSE(expiry_date_replaces({10, 2027}, {11, 2027}, today));
    EXPECT_TRUE(expiry_date_replaces({12, 2030}, {0, 0}, today));
    EXPECT_FALSE(expiry_date_replaces({1, 2031}, {0, 0}, today));
}

TEST_F(ExpiryTracking, CandidatesLiveThroughOneMissedFrame)
{
    const GroupedRects group = unreadable_group(200, 40);
    add({group});
    ASSERT_EQ(state.expiry_groups.size(), 1u);
    EXPECT_EQ(state.expiry_groups[0].lifetime, kExpiryCandidateLifetime);
    EXPECT_EQ(state.expiry_groups[0].frames_seen, kExpiryCandidateFramesSeen);

    add({group}); // matched: 3, aged to 2
    EXPECT_EQ(state.expiry_groups[0].lifetime, 2);
    EXPECT_EQ(state.expiry_groups[0].frames_seen, 2);
    add({}); // missed: aged to 1
    ASSERT_EQ(state.expiry_groups.size(), 1u);
    EXPECT_EQ(state.expiry_groups[0].lifetime, 1);
    add({group}); // matched: 2, aged to 1
    ASSERT_EQ(state.expiry_groups.size(), 1u);
    EXPECT_EQ(state.expiry_groups[0].lifetime, 1);
    EXPECT_EQ(state.expiry_groups[0].frames_seen, 3);
    add({}); // missed below 2: gone
    EXPECT_TRUE(state.expiry_groups.empty());

    add({group});
    add({});
    add({});
    EXPECT_TRUE(state.expiry_groups.empty()) << "two missed frames in a row";

    // Whatever a frame's candidate carried, it enters with the starting values.
    GroupedRects stale = group;
    stale.lifetime = 0;
    stale.frames_seen = 7;
    add({stale});
    ASSERT_EQ(state.expiry_groups.size(), 1u);
    EXPECT_EQ(state.expiry_groups[0].frames_seen, kExpiryCandidateFramesSeen);
    scanner_reset(state);
    EXPECT_TRUE(state.expiry_groups.empty());
}

TEST_F(ExpiryTracking, GroupsMatchWithinEightRowsAndFiveColumns)
{
    add({unreadable_group(100, 50)});
    add({unreadable_group(108, 55)});
    ASSERT_EQ(state.expiry_groups.size(), 1u);
    EXPECT_EQ(state.expiry_groups[0].frames_seen, 2);

    const GroupedRects elsewhere_groups[] = {unreadable_group(109, 50), unreadable_group(91, 50),
                                             unreadable_group(100, 56), unreadable_group(100, 50, 6)};
    for (const GroupedRects& elsewhere : elsewhere_groups) {
        scanner_reset(state);
        add({unreadable_group(100, 50)});
        add({elsewhere});
        EXPECT_EQ(state.expiry_groups.size(), 2u) << elsewhere.top << ", " << elsewhere.left;
    }

    // Two groups of one frame near the same stored one: only one is its match.
    scanner_reset(state);
    add({unreadable_group(100, 50)});
    add({unreadable_group(92, 50), unreadable_group(108, 50)});
    ASSERT_EQ(state.expiry_groups.size(), 2u);
    EXPECT_EQ(state.expiry_groups[0].frames_seen, 2);
    EXPECT_EQ(state.expiry_groups[1].frames_seen, 1);
}

TEST_F(ExpiryTracking, DuplicatesOfOneFrameAreAveraged)
{
    GroupedRects a = date_group(100, 50, {1, 1, 2, 7});
    GroupedRects b = date_group(108, 55, {2, 1, 2, 7});
    GroupedRects c = date_group(104, 52, {1, 1, 2, 7});
    add({a, b, c});
    ASSERT_EQ(state.expiry_groups.size(), 1u);
    EXPECT_EQ(state.expiry_groups[0].top, 100);
    EXPECT_NEAR(state.expiry_groups[0].scores(0, 1), 2.0f / 3.0f, 1e-6f);
    EXPECT_NEAR(state.expiry_groups[0].scores(0, 2), 1.0f / 3.0f, 1e-6f);
}

TEST_F(ExpiryTracking, CompletionWaitsForTheDateOnlyWhileOneIsWanted)
{
    const GroupedRects group = date_group(200, 40, {1, 1, 2, 7});
    add_times({group}, 3);
    NumberScanResult out{};
    scanner_result(state, out);
    EXPECT_TRUE(out.complete) << "number and date known together";
    EXPECT_EQ(out.expiry_month, 11);
    EXPECT_EQ(out.expiry_year, 2027);
    EXPECT_EQ(state.name_groups.size(), 1u);

    // Number first, date two frames later inside the wait.
    scanner_reset(state);
    add_times({unreadable_group(200, 40)}, 3);
    scanner_result(state, out);
    EXPECT_FALSE(out.complete);
    now += 500;
    const GroupedRects elsewhere = date_group(240, 200, {1, 1, 2, 7});
    add({elsewhere});
    add({elsewhere});
    scanner_result(state, out);
    EXPECT_FALSE(out.complete) << "a new candidate has been seen in two frames";
    add({elsewhere});
    scanner_result(state, out);
    EXPECT_TRUE(out.complete);
    EXPECT_EQ(out.expiry_month, 11);

    // Without the wish to read it, candidates are not even looked at.
    scanner_reset(state);
    for (int i = 0; i < 3; ++i)
        add({group}, false);
    EXPECT_FALSE(state.scan_expiry);
    EXPECT_TRUE(state.expiry_groups.empty());
    scanner_result(state, out);
    EXPECT_TRUE(out.complete);
    EXPECT_EQ(out.expiry_month, 0);
}

TEST(ExpiryGradient, AbsoluteHorizontalDifferencesWeightedOverThreeRows)
{
    ImagePtr source = make_image(5, 3);
    ImagePtr gradient = make_image(5, 3, IPL_DEPTH_16S);
    pixel(source.get(), 2, 1) = 100;
    pixel(source.get(), 3, 1) = 100;
    pixel(source.get(), 4, 1) = 100;
    ASSERT_TRUE(abs_horizontal_gradient(source.get(), gradient.get()));
    const int16_t expected[3][5] = {{0, 300, 300, 0, 0}, {0, 1000, 1000, 0, 0}, {0, 300, 300, 0, 0}};
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(gradient_at(gradient.get(), x, y), expected[y][x]) << x << ", " << y;
    }

    // A region stands alone: its edge replicates inward.
    cvSetZero(gradient.get());
    cvSetImageROI(source.get(), cvRect(1, 1, 3, 2));
    cvSetImageROI(gradient.get(), cvRect(1, 1, 3, 2));
    ASSERT_TRUE(abs_horizontal_gradient(source.get(), gradient.get()));
    cvResetImageROI(gradient.get());
    EXPECT_EQ(gradient_at(gradient.get(), 1, 1), 1300); // |100 - 0| with its own row above
    EXPECT_EQ(gradient_at(gradient.get(), 3, 1), 0);
    EXPECT_EQ(gradient_at(gradient.get(), 1, 0), 0);

    ImagePtr wrong = make_image(5, 3, IPL_DEPTH_16U);
    EXPECT_FALSE(abs_horizontal_gradient(source.get(), wrong.get()));
    ImagePtr small = make_image(4, 3, IPL_DEPTH_16S);
    cvResetImageROI(source.get());
    EXPECT_FALSE(abs_horizontal_gradient(source.get(), small.get()));
    EXPECT_FALSE(abs_horizontal_gradient(nullptr, gradient.get()));
}

TEST(ExpiryGradient, OnlyRowsBelowTheStripeCarryGradient)
{
    ImagePtr card = random_card(5);
    ImagePtr gradient = make_image(428, 270, IPL_DEPTH_16S);
    cvSet(gradient.get(), cvScalar(-1));
    ASSERT_TRUE(expiry_gradient_image(card.get(), 150, gradient.get()));
    int nonzero_above = 0, nonzero_below = 0;
    for (int y = 0; y < 270; ++y) {
        for (int x = 0; x < 428; ++x)
            (y < 177 ? nonzero_above : nonzero_below) += gradient_at(gradient.get(), x, y) != 0;
    }
    EXPECT_EQ(nonzero_above, 0);
    EXPECT_GT(nonzero_below, 428 * 80);

    ASSERT_TRUE(expiry_gradient_image(card.get(), 250, gradient.get()));
    EXPECT_EQ(cvCountNonZero(gradient.get()), 0);
    EXPECT_FALSE(expiry_gradient_image(card.get(), -1, gradient.get()));
    ImagePtr other = make_image(428, 271, IPL_DEPTH_16S);
    EXPECT_FALSE(expiry_gradient_image(card.get(), 150, other.get()));
}

TEST(TextLines, CloseLinesYieldToTheStrongerAndAtMostThreeAreKept)
{
    ImagePtr gradient = make_image(428, 270, IPL_DEPTH_16S);
    auto line = [&](int top, int16_t value) {
        for (int y = top; y < top + 15; ++y) {
            for (int x = 27; x < 285; ++x)
                gradient_at(gradient.get(), x, y) = value;
        }
    };
    line(180, 10);
    line(190, 40); // overlaps the first: less than 15 rows apart
    line(220, 20);
    TextLine lines[3];
    int count = find_text_lines(gradient.get(), 150, lines);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(lines[0].top, 190);
    EXPECT_EQ(lines[0].energy, 15 * 258 * 40);
    EXPECT_EQ(lines[1].top, 220);

    cvSetZero(gradient.get());
    for (int i = 0; i < 4; ++i)
        line(170 + 20 * i, static_cast<int16_t>(10 + i));
    count = find_text_lines(gradient.get(), 140, lines);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(lines[0].top, 230);
    EXPECT_EQ(lines[1].top, 210);
    EXPECT_EQ(lines[2].top, 190);

    ImagePtr card = random_card(1);
    EXPECT_EQ(find_text_lines(card.get(), 140, lines), 0);
}

namespace {

// A card, flat but for one line of textured characters 7 wide and 14 high
// every 13 columns, starting at (40, 200): each leaves a gradient 9 columns
// wide (39..47 for the first) and four quiet columns before the next.
ImagePtr card_with_text_line(int characters, unsigned seed)
{
    ImagePtr card = make_image(428, 270);
    cvSet(card.get(), cvScalar(200));
    std::mt19937 random(seed);
    for (int i = 0; i < characters; ++i) {
        for (int y = 200; y < 214; ++y) {
            for (int x = 0; x < 7; ++x)
                pixel(card.get(), 40 + 13 * i + x, y) = static_cast<uint8_t>(20 + random() % 120);
        }
    }
    return card;
}

} // namespace

TEST(TextGroups, ALineIsCutIntoCellsAtItsPitch)
{
    ImagePtr card = card_with_text_line(10, 3);
    ImagePtr gradient = make_image(428, 270, IPL_DEPTH_16S);
    ASSERT_TRUE(expiry_gradient_image(card.get(), 150, gradient.get()));
    TextLine lines[3];
    ASSERT_GE(find_text_lines(gradient.get(), 150, lines), 1);
    EXPECT_NEAR(lines[0].top, 199, 1);

    std::vector<GroupedRects> expiry, names;
    std::vector<int> asked;
    // Only the third run of five (cells 2..6, cell 4 in the middle) holds a
    // separator; 0.7 itself is not enough.
    const SeparatorScorer separator = [&](const IplImage*, const CharacterRect& cell) {
        asked.push_back(cell.left);
        return asked.size() == 3 ? 0.9f : 0.7f;
    };
    classify_text_groups_scored(gradient.get(), lines[0].top, lines[0].energy, separator, expiry, names);
    ASSERT_EQ(names.size(), 1u);
    const GroupedRects& group = names[0];
    const std::vector<CharacterRect>& cells = group.character_rects;
    EXPECT_EQ(group.kind, kGroupKindText);
    EXPECT_EQ(group.character_width, 12) << "pitch 13";
    ASSERT_EQ(cells.size(), 10u);
    for (size_t i = 0; i < 10; ++i) {
        // One cell per character, nearer its own (whose gradient starts at
        // 39 + 13 i) than any other; the noisy texture decides the last few
        // columns of the fit.
        EXPECT_NEAR(cells[i].left, 39 + 13 * static_cast<int>(i), 5) << i;
        EXPECT_EQ(cells[i].top, 200) << i << ": the faint rows above and below are cut";
    }
    EXPECT_EQ(group.left, cells.front().left);
    EXPECT_EQ(group.width, cells.back().left + 11 - cells.front().left);
    EXPECT_EQ(group.top, 200);
    EXPECT_EQ(group.height, 16);
    ASSERT_EQ(asked.size(), 6u) << "one question per run of five cells";
    EXPECT_EQ(asked[2], cells[4].left);

    ASSERT_EQ(expiry.size(), 1u);
    const GroupedRects& candidate = expiry[0];
    EXPECT_EQ(candidate.kind, kGroupKindDate);
    ASSERT_EQ(candidate.character_rects.size(), 5u);
    EXPECT_EQ(candidate.character_rects[0].left, cells[2].left);
    EXPECT_EQ(candidate.character_rects[4].left, cells[6].left);
    EXPECT_EQ(candidate.left, cells[2].left);
    EXPECT_EQ(candidate.character_width, 11);
    EXPECT_EQ(candidate.lifetime, kExpiryCandidateLifetime);
    EXPECT_EQ(candidate.frames_seen, kExpiryCandidateFramesSeen);
    EXPECT_TRUE(candidate.scores.isZero());

    // Three characters are not a line of text.
    ImagePtr short_card = card_with_text_line(3, 3);
    ASSERT_TRUE(expiry_gradient_image(short_card.get(), 150, gradient.get()));
    expiry.clear();
    names.clear();
    classify_text_groups_scored(gradient.get(), lines[0].top, lines[0].energy, separator, expiry, names);
    EXPECT_TRUE(names.empty());
}

TEST(TextGroups, SearchIsRefusedOffTheCardAndSafeOnManyThreads)
{
    std::vector<GroupedRects> expiry, names;
    ImagePtr card = card_with_text_line(10, 9);
    for (const int y_offset : {-30, 241, 243, 400}) {
        find_expiry_and_name_groups(card.get(), y_offset, expiry, names);
        EXPECT_TRUE(names.empty()) << y_offset;
    }
    ImagePtr small = make_image(427, 270);
    find_expiry_and_name_groups(small.get(), 150, expiry, names);
    find_expiry_and_name_groups(nullptr, 150, expiry, names);
    EXPECT_TRUE(names.empty());

    ImagePtr other = card_with_text_line(12, 10);
    std::vector<GroupedRects> first_names, second_names, ignored;
    find_expiry_and_name_groups(card.get(), 150, ignored, first_names);
    find_expiry_and_name_groups(other.get(), 150, ignored, second_names);
    ASSERT_EQ(first_names.size(), 1u);
    ASSERT_EQ(second_names.size(), 1u);
    ASSERT_NE(first_names[0].character_rects.size(), second_names[0].character_rects.size());

    auto search = [](const IplImage* image, size_t cells, bool* same) {
        for (int i = 0; i < 20; ++i) {
            std::vector<GroupedRects> e, n;
            find_expiry_and_name_groups(image, 150, e, n);
            *same = *same && n.size() == 1 && n[0].character_rects.size() == cells;
        }
    };
    bool first_same = true, second_same = true;
    std::thread a(search, card.get(), first_names[0].character_rects.size(), &first_same);
    std::thread b(search, other.get(), second_names[0].character_rects.size(), &second_same);
    a.join();
    b.join();
    EXPECT_TRUE(first_same);
    EXPECT_TRUE(second_same);
}

TEST(TextGroups, PitchRatiosWithoutEnergyBetweenCellsAreSkipped)
{
    ImagePtr gradient = make_image(428, 270, IPL_DEPTH_16S);
    GroupedRects group{};
    group.top = 0;
    group.left = 100;
    group.width = 9;
    group.height = 1;
    group.character_width = 9;
    group.character_rects.push_back({0, 100, 0});
    EXPECT_FALSE(sum_gradient_window(gradient.get(), group)) << "no energy at all";
    EXPECT_EQ(group.character_rects.size(), 1u);
    EXPECT_EQ(group.character_width, 9);

    // All energy in column 97, 15 columns into the range 82..126: pitch 15
    // at phase 0 would put it on a cell boundary with a negative ratio.
    gradient_at(gradient.get(), 97, 0) = 1000;
    ASSERT_TRUE(sum_gradient_window(gradient.get(), group));
    EXPECT_EQ(group.character_width, 10);
    ASSERT_EQ(group.character_rects.size(), 4u);
    EXPECT_EQ(group.character_rects[0].left, 83);
    EXPECT_EQ(group.character_rects[1].sum, 1000);

    ImagePtr eight_bit = make_image(428, 270);
    EXPECT_FALSE(sum_gradient_window(eight_bit.get(), group));
}

TEST(TextGroups, WeakEndCellsAreTrimmedFromLongGroups)
{
    GroupedRects group{};
    group.character_width = 12;
    for (const int64_t energy : {10, 100, 100, 100, 100, 100, 5})
        group.character_rects.push_back({0, 13 * static_cast<int>(group.character_rects.size()), energy});
    group.left = 0;
    trim_group_outliers(group);
    ASSERT_EQ(group.character_rects.size(), 5u);
    EXPECT_EQ(group.left, 13);
    EXPECT_EQ(group.width, 12 + 13 * 4);

    GroupedRects five{};
    five.character_width = 12;
    for (const int64_t energy : {1, 100, 100, 100, 1})
        five.character_rects.push_back({0, 13 * static_cast<int>(five.character_rects.size()), energy});
    trim_group_outliers(five);
    EXPECT_EQ(five.character_rects.size(), 5u);

    GroupedRects empty{};
    trim_group_outliers(empty);
    EXPECT_TRUE(empty.character_rects.empty());
}

TEST(TextGroups, CellsAreFittedToTheirStrokesOrDropped)
{
    ImagePtr gradient = make_image(428, 270, IPL_DEPTH_16S);
    for (int y = 30; y < 46; ++y) {
        for (int x = 60; x < 71; ++x)
            gradient_at(gradient.get(), x, y) = 1000;
    }
    gradient_at(gradient.get(), 57, 28) = 90; // faint: below the cut after scaling
    GroupedRects group{};
    group.top = 29;
    group.height = 17;
    group.character_width = 12;
    group.character_rects = {{29, 1, 0}, {29, 58, 0}, {29, 420, 0}};
    group_rects(gradient.get(), group);
    ASSERT_EQ(group.character_rects.size(), 1u) << "windows off the image are dropped";
    EXPECT_EQ(group.character_rects[0].left, 60);
    EXPECT_EQ(group.character_rects[0].top, 30);
    EXPECT_EQ(group.left, 60);
    EXPECT_EQ(group.top, 30);
    EXPECT_EQ(group.width, 11);
    EXPECT_EQ(group.height, 16);

    group.character_width = 40; // wider than any pitch
    group_rects(gradient.get(), group);
    EXPECT_TRUE(group.character_rects.empty());
}
