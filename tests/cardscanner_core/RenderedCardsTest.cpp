// The core on cards drawn by the training tools' renderer, and the renderer's
// own promises that training depends on: its ground truth is where the core
// looks, its numbers are numbers the core accepts, and a seed always gives the
// same card.
#include "cardnumber/CardNumberRules.h"
#include "cardscanner/core/ScanSession.h"
#include "tools/card_renderer/CairoCanvas.h"
#include "tools/card_renderer/CardRenderer.h"
#include "tools/card_renderer/Relief.h"
#include "tools/other_hand/OtherHand.h"

#include <opencv2/core/core_c.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace cr = card_renderer;
namespace oh = other_hand;

std::vector<uint8_t> digit_values(const std::string& number)
{
    std::vector<uint8_t> digits;
    for (char c : number)
        digits.push_back(static_cast<uint8_t>(c - '0'));
    return digits;
}

TEST(CardRenderer, a_seed_always_draws_the_same_card_and_photograph)
{
    const cr::CardStyle style = cr::style_preset("a");
    const cr::RenderedCard first = cr::render_card(style, 4242);
    const cr::RenderedCard again = cr::render_card(style, 4242);
    EXPECT_EQ(first.truth.to_json(), again.truth.to_json());
    EXPECT_EQ(cv::norm(first.color, again.color, cv::NORM_INF), 0.0);
    const cv::Mat shot = cr::photograph(first, style.camera, 7);
    EXPECT_EQ(cv::norm(shot, cr::photograph(again, style.camera, 7), cv::NORM_INF), 0.0);
    EXPECT_GT(cv::norm(shot, cr::photograph(first, style.camera, 8), cv::NORM_INF), 0.0)
        << "another frame seed must move, light or noise the card differently";
    EXPECT_NE(first.truth.number, cr::render_card(style, 4243).truth.number);
}

// Text caches live for the whole process, so only a fresh process shows what
// the first card drawn in it looks like: this test runs itself twice, once
// drawing the card first and once after another one (a pair that once came
// out different), and compares what the two children drew.
TEST(CardRenderer, a_card_is_the_same_whatever_the_process_drew_before_it)
{
    const cr::CardStyle style = cr::style_preset("heldout");
    if (const char* out = std::getenv("CARD_RENDERER_HISTORY_OUT")) {
        if (std::getenv("CARD_RENDERER_HISTORY_WARM"))
            cr::render_card(style, 9100100);
        const cv::Mat card = cr::render_card(style, 9000259).color;
        std::uint64_t hash = 1469598103934665603ull;
        for (int y = 0; y < card.rows; ++y)
            for (const uchar* p = card.ptr(y); p != card.ptr(y) + card.cols * card.elemSize(); ++p)
                hash = (hash ^ *p) * 1099511628211ull;
        std::ofstream(out) << hash;
        return;
    }
    const std::string self = std::filesystem::read_symlink("/proc/self/exe");
    const auto draw = [&](const std::string& name, bool warm) {
        const std::string out = ::testing::TempDir() + name;
        const std::string command = "CARD_RENDERER_HISTORY_OUT=" + out + (warm ? " CARD_RENDERER_HISTORY_WARM=1 " : " ") +
                                    self + " --gtest_filter=CardRenderer.a_card_is_the_same_whatever_the_process_drew_before_it"
                                           " > /dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        std::string hash;
        std::ifstream(out) >> hash;
        return hash;
    };
    const std::string fresh = draw("card_fresh", false);
    EXPECT_FALSE(fresh.empty());
    EXPECT_EQ(fresh, draw("card_after_another", true));
}

TEST(CardRenderer, numbers_pass_luhn_and_name_an_issuer_the_core_accepts)
{
    cr::Rng rng(99);
    std::set<uint32_t> types;
    for (int i = 0; i < 400; ++i) {
        const int length = i % 4 == 0 ? 15 : 16;
        const std::string number = cr::random_card_number(rng, length);
        ASSERT_EQ(number.size(), static_cast<std::size_t>(length));
        const std::vector<uint8_t> digits = digit_values(number);
        EXPECT_TRUE(passes_luhn(digits.data(), digits.size())) << number;
        EXPECT_TRUE(cr::luhn_valid(number)) << number;
        const CardTypeInfo info = card_info_for_number(digits.data(), digits.size(), false);
        EXPECT_GE(info.card_type, 2u) << number;
        EXPECT_EQ(info.number_length, length) << number;
        types.insert(info.card_type);
    }
    EXPECT_EQ(types.size(), 6u) << "every card type of the 15- and 16-digit layouts appears";
    EXPECT_FALSE(cr::luhn_valid("4111111111111112"));
}

TEST(CardRenderer, ground_truth_lays_the_digits_out_where_the_core_searches)
{
    const cr::CardStyle style = cr::style_preset("heldout");
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        const cr::CardTruth truth = cr::render_card(style, seed).truth;
        const std::size_t n = truth.number.size();
        ASSERT_EQ(truth.cell_x.size(), n);
        ASSERT_EQ(truth.pattern_type, n == 16 ? 1 : 2);
        // Upright for the core (stripe below row 120) and above the expiry limit.
        EXPECT_GT(truth.stripe_y, kUpsideDownMaxYOffset);
        EXPECT_LT(truth.stripe_y + kStripeHeight, 240);
        EXPECT_GE(truth.pitch, 17.1);
        EXPECT_LT(truth.pitch, 19.7);
        // Every cell starts where the segmentation may put one (column 408 at most).
        EXPECT_GE(truth.cell_x.front(), 0);
        EXPECT_LE(truth.cell_x.back(), 408);
        // Groups 4-4-4-4 or 4-6-5: one empty slot between groups.
        const std::vector<std::size_t> group_starts =
            n == 16 ? std::vector<std::size_t>{4, 8, 12} : std::vector<std::size_t>{4, 10};
        for (std::size_t i = 1; i < n; ++i) {
            const bool gap = std::find(group_starts.begin(), group_starts.end(), i) != group_starts.end();
            EXPECT_NEAR(truth.cell_x[i] - truth.cell_x[i - 1], truth.pitch * (gap ? 2 : 1), 1e-6) << "seed " << seed;
        }
    }
}

TEST(CardRenderer, embossed_numbers_stand_on_the_standard_line_unless_training_spreads_them)
{
    const auto baseline = [](const cr::CardTruth& truth) {
        return truth.stripe_y + kStripeHeight / 2.0 + truth.glyph_height / 2;
    };
    const cr::CardStyle real = cr::style_preset("heldout");
    double printed_low = 1e9, printed_high = -1e9;
    for (std::uint64_t seed = 1; seed <= 60; ++seed) {
        const cr::CardTruth truth = cr::render_card(real, seed).truth;
        if (truth.embossed) {
            EXPECT_NEAR(baseline(truth), cr::kEmbossedBaselineRow, real.embossed_line_tolerance + 0.5) << "seed " << seed;
        } else {
            printed_low = std::min(printed_low, truth.stripe_y);
            printed_high = std::max(printed_high, truth.stripe_y);
        }
    }
    EXPECT_GT(printed_high - printed_low, 15) << "printed numbers keep the whole band";

    const cr::CardStyle training = cr::style_preset("a");
    double low = 1e9, high = -1e9;
    for (std::uint64_t seed = 1; seed <= 30; ++seed) {
        const cr::CardTruth truth = cr::render_card(training, seed).truth;
        if (truth.embossed)
            low = std::min(low, truth.stripe_y), high = std::max(high, truth.stripe_y);
    }
    EXPECT_GT(high - low, 25) << "training sees embossed numbers all over the band";
}

TEST(CardRenderer, metering_lifts_dark_scenes_only_and_only_so_far)
{
    const cv::Rect whole(0, 0, 20, 10);
    EXPECT_DOUBLE_EQ(cr::metered_gain(cv::Mat(10, 20, CV_32FC3, cv::Scalar(50, 50, 50)), whole), 2.0);
    EXPECT_DOUBLE_EQ(cr::metered_gain(cv::Mat(10, 20, CV_32FC3, cv::Scalar(180, 180, 180)), whole), 1.0);
    EXPECT_DOUBLE_EQ(cr::metered_gain(cv::Mat(10, 20, CV_32FC3, cv::Scalar(5, 5, 5)), whole), cr::kMaxExposureGain);
    EXPECT_DOUBLE_EQ(cr::metered_gain(cv::Mat(10, 20, CV_32FC3, cv::Scalar(0, 0, 0)), whole), cr::kMaxExposureGain)
        << "a black scene must not divide by zero";
    // Only the window counts, and a window partly off the image is clipped.
    cv::Mat split(10, 20, CV_32FC3, cv::Scalar(200, 200, 200));
    split(cv::Rect(0, 0, 10, 10)) = cv::Scalar(25, 25, 25);
    EXPECT_DOUBLE_EQ(cr::metered_gain(split, cv::Rect(-5, 0, 15, 10)), 4.0);
    // Luma weights green most: a green-only scene meters brighter than a blue-only one.
    EXPECT_LT(cr::metered_gain(cv::Mat(10, 20, CV_32FC3, cv::Scalar(0, 150, 0)), whole),
              cr::metered_gain(cv::Mat(10, 20, CV_32FC3, cv::Scalar(150, 0, 0)), whole));
}

TEST(CardRenderer, the_photograph_moves_the_truth_with_the_card)
{
    cr::CardStyle style = cr::style_preset("a");
    style.camera.perspective_px = 0;
    style.camera.shift_px = 3;
    const cr::RenderedCard card = cr::render_card(style, 5);
    cr::CardTruth moved;
    cr::photograph(card, style.camera, 11, &moved);
    const double dx = moved.cell_x[0] - card.truth.cell_x[0];
    const double dy = moved.stripe_y - card.truth.stripe_y;
    EXPECT_LE(std::abs(dx), 3.0 + 1e-6);
    EXPECT_LE(std::abs(dy), 3.0 + 1e-6);
    EXPECT_GT(std::abs(dx) + std::abs(dy), 0.0);
    for (std::size_t i = 0; i < moved.cell_x.size(); ++i)
        EXPECT_NEAR(moved.cell_x[i] - card.truth.cell_x[i], dx, 1e-3) << "a pure shift moves every cell alike";
}

// A bare embossed bar on a grey card, lit along its length from 45 degrees up.
TEST(CardRenderer, bare_relief_shows_every_edge_and_brightens_the_slopes_facing_the_light)
{
    cv::Mat card(60, 60, CV_32FC3, cv::Scalar(128, 128, 128));
    cv::Mat mask = cv::Mat::zeros(60, 60, CV_32F);
    mask(cv::Rect(26, 10, 8, 40)) = 1.0f;   // runs down the card
    cr::Relief relief;
    relief.embossed = true;
    relief.light_x = 0;
    relief.light_y = -std::sqrt(0.5);         // from the top of the card
    relief.light_z = std::sqrt(0.5);
    relief.height = 2.3;
    relief.softness = 1.0;
    relief.brightness = 200;
    relief.face_opacity = 0;
    cr::apply_relief(card, mask, relief);
    const auto grey = [&](int x, int y) { return card.at<cv::Vec3f>(y, x)[0]; };
    // The long sides run along the light, yet both darken: they lean away
    // from its height.
    EXPECT_LT(grey(26, 30), 128 - 10);
    EXPECT_LT(grey(33, 30), 128 - 10);
    EXPECT_NEAR(grey(29, 30), 128, 1.0) << "the raised face is as flat as the card";
    EXPECT_NEAR(grey(5, 30), 128, 1e-3) << "away from the bar nothing changes";
    // The top end faces the light, the bottom end turns from it.
    EXPECT_GT(grey(30, 10), 128 + 10);
    EXPECT_LT(grey(30, 49), 128 - 10);
}

// Worn tipping: where the wear map has rubbed the foil off, the face keeps
// the card's colour; where it is left, the foil covers as before.
TEST(CardRenderer, worn_foil_is_missing_only_where_rubbed_off)
{
    cv::Mat card(20, 40, CV_32FC3, cv::Scalar(40, 40, 40));
    cv::Mat mask = cv::Mat::zeros(20, 40, CV_32F);
    mask(cv::Rect(4, 4, 32, 12)) = 1.0f;
    cr::Relief relief;
    relief.embossed = false;
    relief.face = cv::Vec3d(230, 230, 230);
    relief.face_opacity = 1;
    relief.wear = cv::Mat::ones(20, 40, CV_32F);
    relief.wear(cv::Rect(20, 0, 20, 20)) = 0.0f;
    cr::apply_relief(card, mask, relief);
    EXPECT_NEAR(card.at<cv::Vec3f>(10, 10)[0], 230, 1.0);
    EXPECT_NEAR(card.at<cv::Vec3f>(10, 30)[0], 40, 1e-3);
}

// Cards are rendered on many threads at once when the sets are dumped; with
// dozens of type faces in play that once crashed inside the font back end,
// and a card must not depend on what other threads draw.
TEST(CardRenderer, cards_drawn_on_several_threads_are_the_cards_drawn_alone)
{
    const cr::CardStyle style = cr::style_preset("b");
    const std::uint64_t first = 3100000;
    constexpr int kCards = 24;
    std::vector<cv::Mat> alone;
    for (int i = 0; i < kCards; ++i)
        alone.push_back(cr::render_card(style, first + static_cast<std::uint64_t>(i)).color);
    std::vector<cv::Mat> together(kCards);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = t; i < kCards; i += 4)
                together[static_cast<std::size_t>(i)] =
                    cr::render_card(style, first + static_cast<std::uint64_t>(i)).color;
        });
    for (std::thread& thread : threads)
        thread.join();
    for (int i = 0; i < kCards; ++i)
        EXPECT_EQ(cv::norm(alone[static_cast<std::size_t>(i)], together[static_cast<std::size_t>(i)], cv::NORM_INF), 0.0)
            << "card " << i;
}

TEST(CardRenderer, the_design_never_drowns_the_number)
{
    for (const std::string& name : cr::style_preset_names()) {
        const cr::CardStyle style = cr::style_preset(name);
        for (std::uint64_t seed = 1; seed <= 25; ++seed)
            EXPECT_GE(cr::render_card(style, seed).truth.legibility, cr::kMinNumberLegibility) << name << " seed " << seed;
    }
}

// The benchmarks measure type the networks never saw only while no training
// preset draws a benchmark face and the benchmark preset draws nothing else,
// in either split of the families.
TEST(CardRenderer, training_and_benchmark_presets_draw_disjoint_type_families)
{
    // A family's other cuts (Roboto beside Roboto Condensed) are the family.
    const std::map<cr::FamilySplit, std::vector<std::string>> kept = {
        {cr::FamilySplit::Standard, {"Caladea", "Comfortaa", "Roboto"}},
        {cr::FamilySplit::Reverse, {"DejaVu", "Liberation", "OCR"}},
    };
    for (const auto& [split, families] : kept) {
        const std::string name = cr::split_description(split);
        for (const char* preset : {"stripe", "a", "b", "c", "heldout"}) {
            const cr::CardStyle style = cr::style_preset(preset, split);
            for (cr::DigitFont face : cr::faces_on(cr::FaceSide::Benchmark, split))
                EXPECT_EQ(style.font_weights[static_cast<std::size_t>(face)], 0)
                    << name << " " << preset << " " << cr::digit_font_name(face);
            if (split == cr::FamilySplit::Reverse) {
                for (cr::DigitFont face : cr::faces_on(cr::FaceSide::Benchmark, cr::FamilySplit::Standard))
                    EXPECT_GT(style.font_weights[static_cast<std::size_t>(face)], 0)
                        << preset << " " << cr::digit_font_name(face);
            }
        }
        EXPECT_TRUE(cr::missing_faces(cr::style_preset("benchmark", split)).empty()) << name;
        EXPECT_TRUE(cr::missing_faces(cr::style_preset("a", split)).empty()) << name;
        for (const cr::Typeface& face : cr::training_typefaces(split)) {
            for (const std::string& benchmark : families)
                EXPECT_NE(std::string(face.family).rfind(benchmark, 0), 0u) << name << " " << face.family;
            if (split == cr::FamilySplit::Reverse) {
                EXPECT_TRUE(std::string(face.kind) != "sans" && std::string(face.kind) != "mono") << face.family;
            }
        }
        std::set<cr::DigitFont> drawn;
        std::set<int> layouts;
        for (std::uint64_t seed = 1; seed <= 40; ++seed) {
            const cr::RenderedCard card = cr::render_card(cr::style_preset("benchmark", split), seed);
            EXPECT_EQ(cr::face_side(card.truth.font, split), cr::FaceSide::Benchmark) << name << " seed " << seed;
            drawn.insert(card.truth.font);
            layouts.insert(card.truth.pattern_type);
        }
        EXPECT_EQ(drawn.size(), cr::faces_on(cr::FaceSide::Benchmark, split).size()) << name;
        EXPECT_EQ(layouts.size(), 2u) << name;
    }
}

// A network kept from one share of the training type must never see it, and
// its calibration cards must show nothing else.
TEST(CardRenderer, a_withheld_type_share_is_drawn_only_when_asked_for)
{
    const auto& typefaces = cr::training_typefaces();
    auto share_of = [&](const cr::CardTruth& truth) {
        if (truth.font == cr::DigitFont::DrawnDigits)
            return -1;
        if (truth.font != cr::DigitFont::TrainingTypeface)
            return cr::type_share(truth.font);
        for (std::size_t i = 0; i < typefaces.size(); ++i)
            if (truth.typeface == typefaces[i].family)
                return cr::type_share(i);
        ADD_FAILURE() << "unknown typeface " << truth.typeface;
        return -2;
    };
    for (bool only : {false, true}) {
        cr::CardStyle style = cr::style_preset("a");
        style.withheld_share = 1;
        style.only_withheld_share = only;
        std::set<int> shares;
        for (std::uint64_t seed = 2700000; seed < 2700060; ++seed)
            shares.insert(share_of(cr::render_card(style, seed).truth));
        if (only)
            EXPECT_EQ(shares, std::set<int>{1});
        else
            EXPECT_EQ(shares, (std::set<int>{-1, 0, 2}));
    }
}

// The drawn training digits must be digits: every one leaves ink, and no
// two digits of a face come out as the same shape, whatever the face.
TEST(CardRenderer, every_drawn_face_draws_ten_different_digits)
{
    for (std::uint64_t seed = 1; seed <= 30; ++seed) {
        cr::CardTruth truth;
        truth.font = cr::DigitFont::DrawnDigits;
        truth.face_seed = seed;
        std::vector<cv::Mat> glyphs;
        for (char ch = '0'; ch <= '9'; ++ch) {
            cr::CairoCanvas canvas(CAIRO_FORMAT_A8, 24, 32);
            cairo_set_source_rgba(canvas.cr, 0, 0, 0, 1);
            cr::draw_card_character(canvas.cr, truth, ch, 12, 16, 13, 22);
            glyphs.push_back(canvas.pixels(CV_8UC1).clone());
            EXPECT_GT(cv::countNonZero(glyphs.back() > 128), 10) << "face " << seed << " digit " << ch;
        }
        for (std::size_t i = 0; i < glyphs.size(); ++i)
            for (std::size_t j = i + 1; j < glyphs.size(); ++j)
                EXPECT_GT(cv::countNonZero(glyphs[i] != glyphs[j]), 15) << "face " << seed << ": " << i << " and " << j;
    }
}

// Up to ten camera shots of one card through the scan session: the number
// decided, or "" when none was. `usable` sees every usable frame.
std::string scan_up_to_ten_frames(const std::function<cv::Mat(int)>& shoot,
                                  const std::function<void(const FrameScanResult&)>& usable)
{
    ScannerState state{};
    scanner_init(state);
    std::string decided;
    for (int f = 0; f < 10 && decided.empty(); ++f) {
        cv::Mat image = shoot(f);
        IplImage ipl = cvIplImage(image);
        FrameScanResult frame{};
        EXPECT_TRUE(scanner_add_frame(state, &ipl, false, frame));
        if (frame.usable) usable(frame);
        NumberScanResult result{};
        scanner_result(state, result);
        if (result.complete)
            for (int i = 0; i < result.n_numbers; ++i) decided.push_back(static_cast<char>('0' + result.predictions(i)));
    }
    return decided;
}

// The trained networks on whole scans of type they never saw. Seeds are
// outside every training set and outside the benchmarks' own.
TEST(RenderedCards, the_core_reads_rendered_cards_within_a_few_frames)
{
    const cr::CardStyle style = cr::style_preset("benchmark");
    int read = 0;
    const std::vector<std::uint64_t> seeds = {7000001, 7000002, 7000003, 7000004, 7000005, 7000006};
    for (std::uint64_t seed : seeds) {
        const cr::RenderedCard card = cr::render_card(style, seed);
        const std::string decided = scan_up_to_ten_frames(
            [&](int f) { return cr::photograph(card, style.camera, seed * 100 + static_cast<std::uint64_t>(f)); },
            [&](const FrameScanResult& frame) {
                EXPECT_EQ(frame.vseg.pattern_type, card.truth.pattern_type) << "seed " << seed;
                EXPECT_NEAR(frame.vseg.y_offset, card.truth.stripe_y, 6.0) << "seed " << seed;
            });
        if (!decided.empty()) {
            EXPECT_EQ(decided, card.truth.number) << "seed " << seed << ": a decided number must be right";
            read += decided == card.truth.number;
        }
    }
    EXPECT_GE(read, static_cast<int>(seeds.size()) - 1) << "at most one card of a few may go unread";
}

// Cards drawn by the other renderer, which no network learnt from: fewer are
// read, and none may be read wrong.
TEST(RenderedCards, cards_of_another_hand_are_read_right_or_not_at_all)
{
    int read = 0;
    const std::vector<std::uint64_t> seeds = {7100001, 7100002, 7100003, 7100004, 7100005, 7100006};
    for (std::uint64_t seed : seeds) {
        const oh::HandCard card = oh::render_hand_card(seed);
        const std::string decided = scan_up_to_ten_frames(
            [&](int f) { return oh::photograph_hand_card(card, seed * 100 + static_cast<std::uint64_t>(f)); },
            [](const FrameScanResult&) {});
        if (!decided.empty()) {
            EXPECT_EQ(decided, card.truth.number) << "seed " << seed << ": a decided number must be right";
            read += decided == card.truth.number;
        }
    }
    EXPECT_GE(read, static_cast<int>(seeds.size()) / 2) << "half of a few cards at least";
}

}  // namespace
