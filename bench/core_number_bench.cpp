// How well and how fast the recognition core reads card numbers.
//
// Accuracy: cards of the renderer's "benchmark" preset, drawn only in the
// benchmark type families (serif, rounded, condensed, stroke-drawn,
// dot-matrix), which no network was trained on, so that the figure says how
// the core reads type it has never seen. Each card is scanned as a camera
// would see it: photographed again for every frame, with fresh jitter,
// lighting and noise, and the frames go through scanner_add_frame and
// scanner_result until the scan completes or 30 frames have passed. One line
// per family and layout gives its read rate; a comparison line gives the
// same figures on the "heldout" preset (training families, unseen
// proportions and seeds), the figure this benchmark gave before.
// Stripe: per layout, and per family and layout, the share of frames whose
// found stripe lies within 2 rows of the true one (as the frame's jitter
// moved it) with the right layout, and the share judged usable.
// Confidence: each network A, B and C alone on every truth cell of the
// rendered card (before any camera effect), counting the cells where it gives
// 0.7 or more to a wrong digit, the case the combination cannot outvote,
// with the most frequent (truth -> wrong) pairs; the same on the held-out
// preset for comparison.
// Speed: one undecided, usable 16-digit frame (stripe search, segmentation,
// 16 digit cells), timed by Google Benchmark.
//
// Cross-renderer: the same scan, frame by frame, on cards of the second
// renderer (tools/other_hand), which shares no drawing code with the first,
// photographed through its own camera, in its benchmark type families, which
// no network trained on: read rate and wrong numbers, per layout, and the
// confidence count per network and for their combination (the mean of the
// two lowest scores).
//
// HYBRID_BENCH_SHORT=1: 20 cards of each preset, 40 of the second renderer,
// and a short timing run.
//
// The last line is `core_number: read=X wrong=N frames=F ms=T`, on the
// benchmark families.
//
// core_number_bench_first_renderer and _second_renderer are this benchmark
// built with a weight set trained on one renderer's cards alone
// (bench/weights/): each reads only the other renderer's benchmark cards, how
// far the reader carries to a hand it never saw. Their last line is
// `cross_renderer: read=X wrong=N confidently_wrong=P%`, P the combination's
// share of truth cells given 0.7 or more for a wrong digit.
#include <benchmark/benchmark.h>

#include "MedianReporter.h"
#include "ShortMode.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <opencv2/core/core_c.h>
#include <opencv2/imgproc.hpp>

#include "cardscanner/core/DigitClassifiers.h"
#include "cardscanner/core/ScanSession.h"
#include "tools/card_renderer/CardRenderer.h"
#include "tools/other_hand/OtherHand.h"

namespace {

namespace cr = card_renderer;

constexpr int kHeldOutCards = 400;
constexpr std::uint64_t kHeldOutSeed = 9000000;
constexpr std::uint64_t kBenchmarkSeed = 9200000;
constexpr int kMaxFrames = 30;
constexpr float kConfidentlyWrong = 0.7f;
constexpr int kShownPairs = 8;
constexpr int kStripeRowSlack = 2;
constexpr int kOtherHandCards = 200;
constexpr int kOtherHandShortCards = 40;
constexpr std::uint64_t kOtherHandSeed = 9300000;
// The cross-renderer builds name their weight set (bench/CMakeLists.txt).
#ifdef HYBRID_WEIGHT_SET
constexpr std::string_view kWeightSet = HYBRID_WEIGHT_SET;
#else
constexpr std::string_view kWeightSet;
#endif

// One network's cells and confidently wrong ones, per (truth, wrong) digit pair.
struct ConfidenceTally {
    int cells = 0;
    int confidently_wrong = 0;
    std::map<std::pair<int, int>, int> pairs;
    std::map<cr::DigitFont, int> families;

    double percent() const { return cells ? 100.0 * confidently_wrong / cells : 0.0; }

    void add(const ConfidenceTally& other)
    {
        cells += other.cells;
        confidently_wrong += other.confidently_wrong;
        for (const auto& [pair, count] : other.pairs)
            pairs[pair] += count;
        for (const auto& [font, count] : other.families)
            families[font] += count;
    }
};

using NetworkTallies = std::array<ConfidenceTally, 4>;   // A, B, C, combined
constexpr const char* kNetworkNames[] = {"network A", "network B", "network C", "combined"};

// Every truth cell of the card as rendered, so that what is measured is the
// networks and not the stripe search or segmentation.
// Runs A, B, C and their combination on every truth cell of a drawn card,
// counting for each the cells given kConfidentlyWrong or more for a wrong
// digit. `family`, when given, is counted against those cells too.
void tally_truth_cells(const cv::Mat& color, const std::string& number, int stripe_y,
                       const std::function<int(std::size_t)>& cell_x, NetworkTallies& tallies,
                       const std::optional<cr::DigitFont>& family)
{
    cv::Mat grey;
    cv::cvtColor(color, grey, cv::COLOR_BGR2GRAY);
    IplImage ipl = cvIplImage(grey);
    float input[kDigitInputSize];
    for (std::size_t i = 0; i < number.size(); ++i) {
        if (!digit_cell_input(&ipl, cell_x(i), stripe_y, input))
            continue;
        const int truth = number[i] - '0';
        std::array<DigitScores, 4> scores;
        scores[0] = run_digit_network(digit_network_a, input);
        scores[1] = run_digit_network(digit_network_b, input);
        scores[2] = run_digit_network(digit_network_c, input);
        scores[3] = combine_digit_scores(scores[0], scores[1], scores[2]);
        for (std::size_t n = 0; n < tallies.size(); ++n) {
            ConfidenceTally& tally = tallies[n];
            ++tally.cells;
            for (int d = 0; d < 10; ++d)
                if (d != truth && scores[n][static_cast<std::size_t>(d)] >= kConfidentlyWrong) {
                    ++tally.confidently_wrong;
                    ++tally.pairs[{truth, d}];
                    if (family)
                        ++tally.families[*family];
                }
        }
    }
}

NetworkTallies tally_confidence(const cr::RenderedCard& card)
{
    NetworkTallies tallies;
    tally_truth_cells(
        card.color, card.truth.number, card.truth.rounded_stripe_y(),
        [&](std::size_t i) { return card.truth.rounded_cell_x(i); }, tallies, card.truth.font);
    return tallies;
}

void print_confidence(const NetworkTallies& tallies, const char* label, bool pairs)
{
    for (std::size_t n = 0; n < tallies.size(); ++n) {
        const ConfidenceTally& tally = tallies[n];
        std::printf("confidently wrong %s%s: %d of %d cells (%.3f%%)\n", kNetworkNames[n], label,
                    tally.confidently_wrong, tally.cells, tally.percent());
        if (!pairs)
            continue;
        std::vector<std::pair<std::pair<int, int>, int>> sorted(tally.pairs.begin(), tally.pairs.end());
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const auto& a, const auto& b) { return a.second > b.second; });
        for (std::size_t i = 0; i < sorted.size() && i < static_cast<std::size_t>(kShownPairs); ++i)
            std::printf("  %d->%d: %d\n", sorted[i].first.first, sorted[i].first.second, sorted[i].second);
        std::string families;
        for (const auto& [font, count] : tally.families)
            families += std::string(families.empty() ? "" : ", ") + cr::face_family(font) + " " + std::to_string(count);
        if (!families.empty())
            std::printf("  by family: %s\n", families.c_str());
    }
}

bool stripe_usable(const VerticalSegmentation& vseg) { return vseg.score > kUsableStripeScore; }

// Where the stripe network put the number, frame by frame: on the true row
// with the right layout, usable, or both.
struct StripeTally {
    int frames = 0, at_row = 0, usable = 0, usable_at_row = 0;

    void count(const VerticalSegmentation& vseg, bool on_row)
    {
        ++frames;
        at_row += on_row;
        usable += stripe_usable(vseg);
        usable_at_row += on_row && stripe_usable(vseg);
    }
    void add(const StripeTally& other)
    {
        frames += other.frames;
        at_row += other.at_row;
        usable += other.usable;
        usable_at_row += other.usable_at_row;
    }
    double row_rate() const { return frames ? static_cast<double>(at_row) / frames : 0.0; }
    double usable_rate() const { return frames ? static_cast<double>(usable) / frames : 0.0; }
    double usable_row_rate() const { return usable ? static_cast<double>(usable_at_row) / usable : 0.0; }
};

struct ScanOutcome {
    bool decided = false;
    bool right = false;
    int frames = 0;
    cr::DigitFont font = cr::DigitFont::OcrB;
    int pattern_type = 1;
    std::string technique;
    cr::Background background = cr::Background::Solid;
    std::string truth;
    double legibility = 0;
    std::string read;
    int weak_stripe_frames = 0;    // stripe score not above the usable threshold
    int unsure_digit_frames = 0;   // stripe fine, digits not confident enough
    StripeTally stripe;            // every frame photographed; on the row: within kStripeRowSlack, right layout
    NetworkTallies confidence;
};

std::string predicted_number(const NumberScanResult& result)
{
    std::string number;
    for (int i = 0; i < result.n_numbers; ++i)
        number.push_back(static_cast<char>('0' + result.predictions(i)));
    return number;
}

// Where an undecided card stands: the digits the running averages favour and
// the least sure of them, e.g. "5227354920230395 (digit 6: 5 at 0.55, 9 at 0.44)".
std::string leaning_number(const ScannerState& state)
{
    const bool fifteen = state.count15 > state.count16;
    const DigitScoreMatrix& m = fifteen ? state.aggregated15 : state.aggregated16;
    std::string number;
    int least_sure = -1, runner_up = 0;
    float least_share = 0, runner_up_share = 0;
    for (int i = 0; i < (fifteen ? 15 : 16); ++i) {
        int best = 0, second = 1;
        if (m(i, 1) > m(i, 0))
            std::swap(best, second);
        float sum = m(i, 0) + m(i, 1);
        for (int d = 2; d < 10; ++d) {
            sum += m(i, d);
            if (m(i, d) > m(i, best)) {
                second = best;
                best = d;
            } else if (m(i, d) > m(i, second)) {
                second = d;
            }
        }
        number.push_back(static_cast<char>('0' + best));
        if (sum > 0 && (least_sure < 0 || m(i, best) / sum < least_share)) {
            least_sure = i;
            least_share = m(i, best) / sum;
            runner_up = second;
            runner_up_share = m(i, second) / sum;
        }
    }
    if (least_sure < 0)
        return number;
    char detail[96];
    std::snprintf(detail, sizeof detail, " (digit %d: %c at %.2f, %d at %.2f)", least_sure + 1,
                  number[static_cast<std::size_t>(least_sure)], static_cast<double>(least_share), runner_up,
                  static_cast<double>(runner_up_share));
    return number + detail;
}

// `truth` as moved by the frame's jitter, so a found row is judged where the
// camera put the stripe, not where the card was drawn.
bool stripe_at_truth(const VerticalSegmentation& vseg, const cr::CardTruth& truth)
{
    return vseg.pattern_type == truth.pattern_type &&
           std::abs(vseg.y_offset - truth.rounded_stripe_y()) <= kStripeRowSlack;
}

ScanOutcome scan_card(const cr::CardStyle& style, std::uint64_t seed)
{
    const cr::RenderedCard card = cr::render_card(style, seed);
    ScanOutcome outcome;
    outcome.font = card.truth.font;
    outcome.pattern_type = card.truth.pattern_type;
    outcome.background = card.truth.background;
    outcome.truth = card.truth.number;
    outcome.legibility = card.truth.legibility;
    outcome.technique = !card.truth.embossed ? "flat print" : card.truth.foil ? "foiled relief" : "unfoiled relief";
    outcome.confidence = tally_confidence(card);
    ScannerState state{};
    scanner_init(state);
    for (int f = 0; f < kMaxFrames; ++f) {
        cr::CardTruth moved;
        cv::Mat image = cr::photograph(card, style.camera, seed * 1000 + static_cast<std::uint64_t>(f), &moved);
        IplImage ipl = cvIplImage(image);
        FrameScanResult frame{};
        scanner_add_frame(state, &ipl, false, frame);
        outcome.stripe.count(frame.vseg, stripe_at_truth(frame.vseg, moved));
        if (!frame.usable) {
            if (!stripe_usable(frame.vseg))
                ++outcome.weak_stripe_frames;
            else
                ++outcome.unsure_digit_frames;
            continue;
        }
        NumberScanResult result{};
        scanner_result(state, result);
        if (result.complete) {
            outcome.decided = true;
            outcome.frames = f + 1;
            outcome.read = predicted_number(result);
            outcome.right = outcome.read == card.truth.number;
            break;
        }
    }
    if (!outcome.decided)
        outcome.read = leaning_number(state);
    scanner_destroy(state);
    return outcome;
}

struct ReadFigures {
    double read_rate = 0;
    int wrong = 0;
    double frames_median = 0;
    NetworkTallies confidence;
};

const char* layout_name(int pattern_type) { return pattern_type == 1 ? "16 digits 4-4-4-4" : "15 digits 4-6-5"; }

struct Tally {
    int right = 0, wrong = 0, total = 0;
};

void print_stripe_tally(const std::string& what, const StripeTally& tally)
{
    std::printf("%s: row accuracy %.4f (%d of %d frames), usable %.4f, on the row of usable frames %.4f\n",
                what.c_str(), tally.row_rate(), tally.at_row, tally.frames, tally.usable_rate(),
                tally.usable_row_rate());
}

void print_tally(const std::string& what, const Tally& tally)
{
    std::printf("read by %-46s read=%.4f (%d of %d) wrong=%d\n", what.c_str(),
                tally.total ? static_cast<double>(tally.right) / tally.total : 0.0, tally.right, tally.total,
                tally.wrong);
}

// Runs work(i) for every i below `count` on all cores. Each result is stored
// by its index, so the figures do not depend on the number of threads.
template <typename Work>
void for_each_index_in_parallel(int count, Work work)
{
    std::atomic<int> next{0};
    std::vector<std::thread> workers;
    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned t = 0; t < threads; ++t)
        workers.emplace_back([&] {
            for (int i = next++; i < count; i = next++)
                work(i);
        });
    for (auto& worker : workers)
        worker.join();
}

// `detailed`: a line per undecided card and per font and technique, for
// the run whose figure is the benchmark's.
ReadFigures measure_reading(const cr::CardStyle& style, std::uint64_t first_seed, int cards, bool detailed)
{
    std::vector<ScanOutcome> outcomes(static_cast<std::size_t>(cards));
    for_each_index_in_parallel(cards, [&](int i) {
        outcomes[static_cast<std::size_t>(i)] = scan_card(style, first_seed + static_cast<std::uint64_t>(i));
    });

    ReadFigures figures;
    std::vector<double> frames;
    std::map<cr::DigitFont, std::pair<int, int>> per_font;   // right, total
    std::map<std::string, std::pair<int, int>> per_technique;
    std::map<std::pair<cr::DigitFont, int>, Tally> per_family_layout;
    std::map<cr::DigitFont, Tally> per_family;
    std::map<int, Tally> per_layout;
    std::map<int, StripeTally> stripe_per_layout;
    std::map<cr::DigitFont, std::map<int, StripeTally>> stripe_per_family;
    int right = 0, weak_stripe = 0, unsure_digits = 0, undecided = 0;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const ScanOutcome& outcome = outcomes[i];
        for (std::size_t n = 0; n < figures.confidence.size(); ++n)
            figures.confidence[n].add(outcome.confidence[n]);
        auto& font = per_font[outcome.font];
        auto& technique = per_technique[outcome.technique];
        ++font.second;
        ++technique.second;
        Tally* tallies[] = {&per_family_layout[{outcome.font, outcome.pattern_type}], &per_family[outcome.font],
                            &per_layout[outcome.pattern_type]};
        for (Tally* tally : tallies) {
            ++tally->total;
            tally->right += outcome.decided && outcome.right;
            tally->wrong += outcome.decided && !outcome.right;
        }
        stripe_per_layout[outcome.pattern_type].add(outcome.stripe);
        stripe_per_family[outcome.font][outcome.pattern_type].add(outcome.stripe);
        weak_stripe += outcome.weak_stripe_frames;
        unsure_digits += outcome.unsure_digit_frames;
        if (!outcome.decided) {
            ++undecided;
            if (detailed)
                std::printf("  undecided: seed %llu (%s, %s, %s), legibility %.1f: %d frames with a weak stripe, "
                            "%d with unsure digits; leaning to %s for %s\n",
                            static_cast<unsigned long long>(first_seed + i), cr::digit_font_name(outcome.font),
                            cr::background_name(outcome.background), outcome.technique.c_str(), outcome.legibility,
                            outcome.weak_stripe_frames, outcome.unsure_digit_frames, outcome.read.c_str(),
                            outcome.truth.c_str());
            continue;
        }
        frames.push_back(outcome.frames);
        if (outcome.right) {
            ++right;
            ++font.first;
            ++technique.first;
        } else {
            ++figures.wrong;
        }
    }
    if (detailed) {
        for (const auto& [font, counts] : per_font)
            std::printf("read by font %-22s %d of %d\n", cr::digit_font_name(font), counts.first, counts.second);
        for (const auto& [name, counts] : per_technique)
            std::printf("read by technique %-18s %d of %d\n", name.c_str(), counts.first, counts.second);
        for (const auto& [key, tally] : per_family_layout)
            print_tally(std::string("family ") + cr::face_family(key.first) + " (" + cr::digit_font_name(key.first) +
                            "), " + layout_name(key.second) + ":",
                        tally);
        for (const auto& [font, tally] : per_family)
            print_tally(std::string("family ") + cr::face_family(font) + ", both layouts:", tally);
        for (const auto& [layout, tally] : per_layout)
            print_tally(std::string("layout ") + layout_name(layout) + ", all families:", tally);
    }
    if (detailed) {
        std::printf("undecided cards: %d; unusable frames: %d with a weak stripe, %d with unsure digits\n",
                    undecided, weak_stripe, unsure_digits);
        for (const auto& [layout, tally] : stripe_per_layout)
            print_stripe_tally(std::string("stripe ") + (layout == 1 ? "16 digits (4-4-4-4)" : "15 digits (4-6-5)"),
                               tally);
        for (const auto& [font, layouts] : stripe_per_family) {
            std::string line = std::string("stripe by family ") + cr::face_family(font) + " (" +
                               cr::digit_font_name(font) + "):";
            const char* separator = " ";
            for (const auto& [layout, tally] : layouts) {
                char figures[64];
                std::snprintf(figures, sizeof figures, "%s%d row %.2f usable %.2f", separator, layout == 1 ? 16 : 15,
                              tally.row_rate(), tally.usable_rate());
                line += figures;
                separator = " | ";
            }
            std::printf("%s\n", line.c_str());
        }
    }
    figures.read_rate = static_cast<double>(right) / cards;
    figures.frames_median = median(frames);
    return figures;
}

// The second renderer's cards. Confidence is tallied on the card as drawn,
// per network and for the combination the scan session uses.
struct OtherHandOutcome {
    bool decided = false, right = false;
    int frames = 0;
    int pattern_type = 1;
    std::string finish;
    bool stroke_face = false;
    NetworkTallies confidence;
    StripeTally stripe;
};

OtherHandOutcome scan_other_hand_card(std::uint64_t seed)
{
    const other_hand::HandCard card = other_hand::render_hand_card(seed);
    OtherHandOutcome outcome;
    outcome.pattern_type = card.truth.pattern_type;
    outcome.finish = card.truth.finish;
    outcome.stroke_face = card.truth.stroke_face;
    tally_truth_cells(
        card.color, card.truth.number, card.truth.rounded_stripe_y(),
        [&](std::size_t i) { return card.truth.rounded_cell_x(i); }, outcome.confidence, std::nullopt);
    ScannerState state{};
    scanner_init(state);
    for (int f = 0; f < kMaxFrames; ++f) {
        cv::Matx33d card_to_shot;
        cv::Mat image =
            other_hand::photograph_hand_card(card, seed * 1000 + static_cast<std::uint64_t>(f), &card_to_shot);
        IplImage ipl = cvIplImage(image);
        FrameScanResult frame{};
        scanner_add_frame(state, &ipl, false, frame);
        // The stripe's middle carried into the shot.
        const double half = other_hand::kCoreStripeHeight / 2.0;
        const cv::Vec3d middle = card_to_shot * cv::Vec3d(other_hand::kCardWidth / 2.0, card.truth.stripe_y + half, 1);
        const bool at_row = frame.vseg.pattern_type == card.truth.pattern_type &&
                            std::abs(frame.vseg.y_offset - (middle[1] / middle[2] - half)) <= kStripeRowSlack + 0.5;
        outcome.stripe.count(frame.vseg, at_row);
        if (!frame.usable)
            continue;
        NumberScanResult result{};
        scanner_result(state, result);
        if (result.complete) {
            outcome.decided = true;
            outcome.frames = f + 1;
            outcome.right = predicted_number(result) == card.truth.number;
            break;
        }
    }
    scanner_destroy(state);
    return outcome;
}

struct OtherHandFigures {
    double read_rate = 0;
    int wrong = 0;
    double combined_confidently_wrong = 0;   // per cent of truth cells
};

OtherHandFigures measure_other_hand(int cards)
{
    std::vector<OtherHandOutcome> outcomes(static_cast<std::size_t>(cards));
    for_each_index_in_parallel(cards, [&](int i) {
        outcomes[static_cast<std::size_t>(i)] = scan_other_hand_card(kOtherHandSeed + static_cast<std::uint64_t>(i));
    });

    Tally all;
    std::map<int, Tally> per_layout;
    std::map<std::string, Tally> per_look;
    std::map<int, StripeTally> stripe_per_layout;
    NetworkTallies confidence;
    std::vector<double> frames;
    for (const OtherHandOutcome& outcome : outcomes) {
        Tally* tallies[] = {&all, &per_layout[outcome.pattern_type],
                            &per_look[outcome.finish + (outcome.stroke_face ? ", stroke-drawn" : ", outline font")]};
        for (Tally* tally : tallies) {
            ++tally->total;
            tally->right += outcome.decided && outcome.right;
            tally->wrong += outcome.decided && !outcome.right;
        }
        if (outcome.decided)
            frames.push_back(outcome.frames);
        for (std::size_t n = 0; n < confidence.size(); ++n)
            confidence[n].add(outcome.confidence[n]);
        stripe_per_layout[outcome.pattern_type].add(outcome.stripe);
    }
    std::printf("second renderer (tools/other_hand, its own camera; its benchmark type families, which no "
                "network trained on): %d cards, seeds %llu on\n",
                cards, static_cast<unsigned long long>(kOtherHandSeed));
    for (const auto& [layout, tally] : per_layout)
        print_tally(std::string("other hand, layout ") + layout_name(layout) + ":", tally);
    for (const auto& [look, tally] : per_look)
        print_tally(std::string("other hand, ") + look + ":", tally);
    for (const auto& [layout, tally] : stripe_per_layout)
        print_stripe_tally(std::string("other hand stripe ") + (layout == 1 ? "16 digits (4-4-4-4)" : "15 digits (4-6-5)"),
                           tally);
    print_confidence(confidence, " (other hand)", true);
    std::printf("other_hand: read=%.4f wrong=%d frames=%.1f (read=%.4f wrong=%d for 16 digits, read=%.4f wrong=%d "
                "for 15 digits)\n",
                all.total ? static_cast<double>(all.right) / all.total : 0.0, all.wrong, median(frames),
                per_layout[1].total ? static_cast<double>(per_layout[1].right) / per_layout[1].total : 0.0,
                per_layout[1].wrong,
                per_layout[2].total ? static_cast<double>(per_layout[2].right) / per_layout[2].total : 0.0,
                per_layout[2].wrong);
    return {all.total ? static_cast<double>(all.right) / all.total : 0.0, all.wrong, confidence.back().percent()};
}

// A usable 16-digit frame of the benchmark families for the speed figure.
cv::Mat usable_frame()
{
    const cr::CardStyle style = cr::style_preset("benchmark");
    for (std::uint64_t seed = kHeldOutSeed + 100000;; ++seed) {
        const cr::RenderedCard card = cr::render_card(style, seed);
        if (card.truth.pattern_type != 1)
            continue;
        cv::Mat image = cr::photograph(card, style.camera, seed);
        IplImage ipl = cvIplImage(image);
        ScannerState state{};
        scanner_init(state);
        FrameScanResult frame{};
        scanner_add_frame(state, &ipl, false, frame);
        if (frame.usable && frame.hseg.n_offsets == 16)
            return image;
        if (seed > kHeldOutSeed + 100200)
            return image;
    }
}

void BM_CoreFrame(benchmark::State& bench)
{
    cv::Mat image = usable_frame();
    IplImage ipl = cvIplImage(image);
    ScannerState state{};
    scanner_init(state);
    for (auto _ : bench) {
        bench.PauseTiming();
        scanner_reset(state);
        FrameScanResult frame{};
        bench.ResumeTiming();
        scanner_add_frame(state, &ipl, false, frame);
        benchmark::DoNotOptimize(frame.scores.data());
    }
}

// A build with a weight set trained on one renderer alone reads the other
// renderer's benchmark cards only, as above.
int measure_across(const cr::CardStyle& benchmark_style, bool brief)
{
    const bool first = kWeightSet == "first_renderer";
    std::printf("weights: bench/weights/%s, trained on the %s renderer's cards alone\n",
                std::string(kWeightSet).c_str(), first ? "first" : "second");
    double read_rate = 0, confidently_wrong = 0;
    int wrong = 0;
    if (first) {
        const OtherHandFigures figures = measure_other_hand(brief ? kOtherHandShortCards : kOtherHandCards);
        read_rate = figures.read_rate;
        wrong = figures.wrong;
        confidently_wrong = figures.combined_confidently_wrong;
    } else {
        std::printf("first renderer's benchmark preset (its benchmark type families)\n");
        const ReadFigures figures = measure_reading(benchmark_style, kBenchmarkSeed, brief ? 20 : kHeldOutCards, true);
        print_confidence(figures.confidence, "", true);
        read_rate = figures.read_rate;
        wrong = figures.wrong;
        confidently_wrong = figures.confidence.back().percent();
    }
    std::printf("cross_renderer: read=%.4f wrong=%d confidently_wrong=%.3f%%\n", read_rate, wrong, confidently_wrong);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const bool brief = benchShortMode();
    const cr::CardStyle benchmark_style = cr::style_preset("benchmark");
    if (const auto missing = cr::missing_faces(benchmark_style); !missing.empty()) {
        for (const std::string& face : missing)
            std::fprintf(stderr, "core_number_bench: benchmark face %s is not installed (scripts/deps)\n",
                         face.c_str());
        return 1;
    }
    if (const auto missing = other_hand::missing_hand_fonts(); !missing.empty()) {
        for (const std::string& family : missing)
            std::fprintf(stderr, "core_number_bench: font family %s is not installed (scripts/deps)\n",
                         family.c_str());
        return 1;
    }
    if (!kWeightSet.empty())
        return measure_across(benchmark_style, brief);
    // Medians of several runs: the machines are shared.
    benchmark::RegisterBenchmark("BM_CoreFrame", BM_CoreFrame)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(brief ? 0.05 : 0.5)
        ->Repetitions(brief ? 3 : 5)
        ->ReportAggregatesOnly(true);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("family split: %s\n", cr::split_description(cr::family_split()).c_str());
    const int cards = brief ? 20 : kHeldOutCards;
    const ReadFigures figures = measure_reading(benchmark_style, kBenchmarkSeed, cards, true);
    const ReadFigures today = measure_reading(cr::style_preset("heldout"), kHeldOutSeed, cards, false);
    std::printf("for comparison, today's held-out preset (training families): read=%.4f wrong=%d frames=%.1f\n",
                today.read_rate, today.wrong, today.frames_median);
    print_confidence(figures.confidence, "", true);
    print_confidence(today.confidence, " (for comparison, held-out preset)", false);
    measure_other_hand(brief ? kOtherHandShortCards : kOtherHandCards);
    std::printf("number_read_rate: %.4f\n", figures.read_rate);
    std::printf("wrong_numbers: %d\n", figures.wrong);
    std::printf("frames_to_decision_median: %.1f\n", figures.frames_median);
    std::printf("core_frame_ms_median: %.3f\n", reporter.median("BM_CoreFrame"));
    std::printf("core_number: read=%.4f wrong=%d frames=%.1f ms=%.3f\n", figures.read_rate, figures.wrong,
                figures.frames_median, reporter.median("BM_CoreFrame"));
    return 0;
}
