// How well and how fast whole camera frames are scanned.
//
// Accuracy: rendered camera sequences of cards in the benchmark type
// families (the renderer's "benchmark" preset: serif, rounded, condensed,
// stroke-drawn and dot-matrix digits and dates, which no network was trained
// on; our own dates, tables, light, focus and motion) go frame by frame through
// ZeduVIVideoFrame::process with a real ZeduVICardScanner reading the number
// and the expiry, and the GLES warp filter, until the scanner is complete or
// 60 frames have passed. The scanner's clock runs at 30 frames a second from
// a fixed day, so the one-second wait for an expiry is 30 frames, as on a
// phone. One line per family and layout gives its figures; a comparison line
// gives the same figures on the "heldout" preset (training families, unseen
// proportions and seeds), the figure this benchmark gave before.
// Speed: the median wall time of process() over the frames that reached the
// scan session (focus, chroma split, edges, warp, session step), plus Google
// Benchmark's median for one such frame.
//
// Cross-renderer: camera sequences of the second renderer's cards
// (tools/other_hand), held at the guide and filmed through that renderer's own
// camera (hand sway, lens, rolling exposure, sensor noise, 4:2:0 chroma), go
// through the same scan; their line gives success, wrong numbers, expiry read
// and wrong dates, on that renderer's benchmark type families, which no
// network trained on.
//
// HYBRID_BENCH_SHORT=1: 10 sequences of each preset, 10 of the second
// renderer, and a short timing run.
//
// The last line is `frames: success=X wrong=N expiry=E frames=F ms=T
// wrong_dates=D`, on the benchmark families: D counts the dated cards whose
// scan decided a date other than theirs.
//
// frame_bench_first_renderer and _second_renderer are this benchmark built
// with a weight set trained on one renderer's cards alone (bench/weights/):
// each films only the other renderer's benchmark cards. Their last line is
// `cross_renderer: success=X wrong=N expiry=E wrong_dates=D`.
#include <benchmark/benchmark.h>

#include "MedianReporter.h"
#include "ShortMode.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/capture/PixelBuffer.h"
#include "cardscanner/analysis/ZeduVICardScanner.h"
#include "cardscanner/analysis/ZeduVIReadCardInfo.h"
#include "cardscanner/analysis/ZeduVIVideoFrame.h"
#include "cardscanner/core/Transform.h"
#include "cardscanner/gpu/ZeduVIGPUTransformFilter.h"
#include "tools/camera_frames/CameraFrames.h"
#include "tools/other_hand/OtherHand.h"

namespace {

namespace cf = camera_frames;
using platform::PixelBuffer;
using cardscanner::ZeduVICardScanner;
using cardscanner::ZeduVIVideoFrame;

constexpr int kSequences = 200;
constexpr std::uint64_t kHeldOutSeed = 9500000;
constexpr std::uint64_t kBenchmarkSeed = 9700000;
constexpr int kMaxFrames = 60;
constexpr int kChunk = 16;
constexpr cf::CalendarMonth kToday{6, 2025};
constexpr std::uint64_t kTodayMilliseconds = 1750068000000ull; // 16 June 2025, 10:00 UTC
constexpr std::uint64_t kFrameMilliseconds = 33;
constexpr int kOtherHandSequences = 100;
constexpr int kOtherHandShortSequences = 10;
constexpr std::uint64_t kOtherHandSeed = 9800000;
// The cross-renderer builds name their weight set (bench/CMakeLists.txt).
#ifdef HYBRID_WEIGHT_SET
constexpr std::string_view kWeightSet = HYBRID_WEIGHT_SET;
#else
constexpr std::string_view kWeightSet;
#endif

struct Outcome {
    bool complete = false;
    bool right = false;
    bool has_date = false;
    bool date_right = false;
    int month = 0, year = 0;   // the date read, 0 for none
    int frames = 0;
    std::string read;
    int in_focus = 0, edges_found = 0, scanned = 0;
    float best_focus = 0;
};

struct Figures {
    double success = 0;
    int wrong = 0;
    double expiry = 0;
    double frames_median = 0;
    double ms_median = 0;
    double ms_all_median = 0;
    int wrong_dates = 0;
};

const char* layout_name(int pattern_type) { return pattern_type == 1 ? "16 digits 4-4-4-4" : "15 digits 4-6-5"; }

struct Tally {
    int sequences = 0, right = 0, wrong = 0, dated = 0, dated_right = 0, wrong_dates = 0;

    void add(const Outcome& outcome, bool date_wrong)
    {
        ++sequences;
        right += outcome.complete && outcome.right;
        wrong += outcome.complete && !outcome.right;
        dated += outcome.has_date;
        dated_right += outcome.complete && outcome.right && outcome.date_right;
        wrong_dates += date_wrong;
    }
};

void print_tally(const std::string& what, const Tally& tally)
{
    std::printf("scanned %-46s success=%.4f (%d of %d) wrong=%d expiry=%.4f (%d of %d dated) wrong_dates=%d\n",
                what.c_str(), tally.sequences ? static_cast<double>(tally.right) / tally.sequences : 0.0, tally.right,
                tally.sequences, tally.wrong, tally.dated ? static_cast<double>(tally.dated_right) / tally.dated : 0.0,
                tally.dated_right, tally.dated, tally.wrong_dates);
}

void fill_buffer(PixelBuffer& buffer, const cf::CameraFrame& frame)
{
    auto y = buffer.planeData(0);
    auto cbcr = buffer.planeData(1);
    frame.copy_planes(y.data(), buffer.bytesPerRowOfPlane(0), cbcr.data(), buffer.bytesPerRowOfPlane(1));
}

// A scanner whose clock is the simulated camera's.
std::shared_ptr<ZeduVICardScanner> scanner_at(std::shared_ptr<std::uint64_t> now)
{
    auto scanner = std::make_shared<ZeduVICardScanner>();
    ScannerState state = scanner->scannerState();
    state.clock = [now] { return *now; };
    scanner->setScannerState(state);
    return scanner;
}

// Makes frames [first, last) of a sequence on every core: the camera, not
// the scan, is what would produce them.
template <typename Frame, typename Produce>
std::vector<Frame> film(const Produce& produce, int first, int last)
{
    std::vector<Frame> frames(static_cast<std::size_t>(last - first));
    std::vector<std::thread> workers;
    const int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            for (int i = first + t; i < last; i += threads)
                frames[static_cast<std::size_t>(i - first)] = produce(i);
        });
    for (auto& worker : workers)
        worker.join();
    return frames;
}

struct ScanTruth {
    std::string number;
    bool has_date = false;
    int month = 0, year = 0;
};

template <typename Frame, typename Produce, typename Fill>
Outcome scan_frames(const Produce& produce, const Fill& fill, const ScanTruth& truth, RecoContext* reco,
                    std::vector<double>& scan_ms, std::vector<double>& all_ms)
{
    Outcome outcome;
    outcome.has_date = truth.has_date;
    auto now = std::make_shared<std::uint64_t>(kTodayMilliseconds);
    auto scanner = scanner_at(now);
    auto buffer = PixelBuffer::create(cf::kFrameWidth, cf::kFrameHeight);
    std::vector<Frame> frames;
    for (int index = 0; index < kMaxFrames; ++index) {
        if (index % kChunk == 0)
            frames = film<Frame>(produce, index, std::min(index + kChunk, kMaxFrames));
        fill(*buffer, frames[static_cast<std::size_t>(index % kChunk)]);
        *now = kTodayMilliseconds + kFrameMilliseconds * static_cast<std::uint64_t>(index);
        ZeduVIVideoFrame frame(buffer.get(), cf::kOrientation);
        frame.setReco(reco);
        frame.setScanner(scanner);
        frame.setScanExpiry(true);
        const auto start = std::chrono::steady_clock::now();
        frame.process();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        all_ms.push_back(ms);
        outcome.in_focus += frame.focusOk();
        outcome.best_focus = std::max(outcome.best_focus, frame.focusScore());
        outcome.edges_found += frame.foundAllEdges();
        if (frame.cardY()) {
            scan_ms.push_back(ms);
            ++outcome.scanned;
        }
        if (const auto info = frame.cardInfo()) {
            outcome.complete = true;
            outcome.frames = index + 1;
            outcome.read = info->number();
            outcome.right = outcome.read == truth.number;
            outcome.month = static_cast<int>(info->expiryMonth());
            outcome.year = static_cast<int>(info->expiryYear());
            outcome.date_right = truth.has_date && outcome.month == truth.month && outcome.year == truth.year;
            break;
        }
    }
    return outcome;
}

Outcome scan_sequence(const cf::CameraSequence& sequence, RecoContext* reco, std::vector<double>& scan_ms,
                      std::vector<double>& all_ms)
{
    const auto& expiry = sequence.card().expiry;
    const ScanTruth truth{sequence.card().truth.number, expiry.present, expiry.month, expiry.year};
    return scan_frames<cf::CameraFrame>([&](int i) { return sequence.frame(i); }, fill_buffer, truth, reco, scan_ms,
                                        all_ms);
}

void fill_hand_buffer(PixelBuffer& buffer, const other_hand::HandFrame& frame)
{
    auto y = buffer.planeData(0);
    auto cbcr = buffer.planeData(1);
    const std::size_t y_stride = buffer.bytesPerRowOfPlane(0), cbcr_stride = buffer.bytesPerRowOfPlane(1);
    for (int row = 0; row < frame.height; ++row)
        std::copy_n(frame.y.data() + static_cast<std::size_t>(row) * frame.width, frame.width,
                    y.data() + static_cast<std::size_t>(row) * y_stride);
    for (int row = 0; row < frame.height / 2; ++row)
        std::copy_n(frame.cbcr.data() + static_cast<std::size_t>(row) * frame.width, frame.width,
                    cbcr.data() + static_cast<std::size_t>(row) * cbcr_stride);
}

// The second renderer's sequences: success, wrong numbers, expiry read (of
// the dated cards, read with their number) and wrong dates, overall and per
// layout.
Figures measure_other_hand(RecoContext* reco, int sequences)
{
    const cf::Quad guide = cf::guide_quad();
    const std::array<cv::Point2d, 4> corners{guide.top_left, guide.top_right, guide.bottom_right, guide.bottom_left};
    std::vector<double> scan_ms, all_ms, frames;
    Tally all;
    std::map<int, Tally> per_layout;
    for (int i = 0; i < sequences; ++i) {
        const std::uint64_t seed = kOtherHandSeed + static_cast<std::uint64_t>(i);
        const other_hand::HandCard card =
            other_hand::render_hand_card(seed, other_hand::CalendarMonth{kToday.month, kToday.year});
        const other_hand::HandFilm camera(card, corners, seed);
        const ScanTruth truth{card.truth.number, card.truth.has_date, card.truth.month, card.truth.year};
        const Outcome outcome = scan_frames<other_hand::HandFrame>([&](int index) { return camera.frame(index); },
                                                                   fill_hand_buffer, truth, reco, scan_ms, all_ms);
        const bool date_wrong = outcome.complete && outcome.has_date && outcome.month != 0 && !outcome.date_right;
        for (Tally* tally : {&all, &per_layout[card.truth.pattern_type]})
            tally->add(outcome, date_wrong);
        if (outcome.complete)
            frames.push_back(outcome.frames);
        if (outcome.complete && !outcome.right)
            std::printf("  other hand wrong: seed %llu read %s, truth %s\n", static_cast<unsigned long long>(seed),
                        outcome.read.c_str(), card.truth.number.c_str());
    }
    std::printf("second renderer (tools/other_hand, filmed through its own camera; its benchmark type families, "
                "which no network trained on): %d sequences, seeds %llu on\n",
                sequences, static_cast<unsigned long long>(kOtherHandSeed));
    for (const auto& [layout, tally] : per_layout)
        print_tally(std::string("other hand, layout ") + layout_name(layout) + ":", tally);
    Figures figures;
    figures.success = all.sequences ? static_cast<double>(all.right) / all.sequences : 0.0;
    figures.wrong = all.wrong;
    figures.expiry = all.dated ? static_cast<double>(all.dated_right) / all.dated : 0.0;
    figures.frames_median = median(frames);
    figures.wrong_dates = all.wrong_dates;
    std::printf("other_hand_frames: success=%.4f wrong=%d expiry=%.4f frames=%.1f wrong_dates=%d\n", figures.success,
                figures.wrong, figures.expiry, figures.frames_median, figures.wrong_dates);
    return figures;
}

RecoContext* make_context()
{
    std::string why;
    if (!cardscanner::ZeduVIGPUTransformFilter::create(cf::kFrameWidth, cf::kFrameHeight, why)) {
        std::printf("note: no EGL/GLES context (%s); the CPU warp filter stands in\n", why.c_str());
        return reco_context_create();
    }
    std::printf("warp filter: OpenGL ES 2 (EGL surfaceless)\n");
    return reco_context_create(cardscanner::gpu_transform_filter_factory());
}

// `detailed`: a line per incomplete or wrong sequence and per family and
// layout, for the run whose figure is the benchmark's.
Figures measure(RecoContext* reco, const card_renderer::CardStyle& style, std::uint64_t first_seed, int sequences,
                bool detailed)
{
    std::vector<double> scan_ms, all_ms, frames;
    std::map<std::pair<card_renderer::DigitFont, int>, Tally> per_family_layout;
    std::map<card_renderer::DigitFont, Tally> per_family;
    std::map<int, Tally> per_layout;
    int right = 0, wrong = 0, dated = 0, dated_right = 0, incomplete = 0, wrong_dates = 0;
    int focus = 0, edges = 0, scanned = 0, total_frames = 0;
    for (int i = 0; i < sequences; ++i) {
        const std::uint64_t seed = first_seed + static_cast<std::uint64_t>(i);
        const cf::CameraSequence sequence(style, seed, kToday);
        const Outcome outcome = scan_sequence(sequence, reco, scan_ms, all_ms);
        // A date decided is one the scan completed with (a month read); a
        // wrong one on a dated card is what a user would be handed.
        const bool date_wrong = outcome.complete && outcome.has_date && outcome.month != 0 && !outcome.date_right;
        wrong_dates += date_wrong;
        const auto& card_truth = sequence.card().truth;
        Tally* tallies[] = {&per_family_layout[{card_truth.font, card_truth.pattern_type}],
                            &per_family[card_truth.font], &per_layout[card_truth.pattern_type]};
        for (Tally* tally : tallies)
            tally->add(outcome, date_wrong);
        total_frames += outcome.complete ? outcome.frames : kMaxFrames;
        focus += outcome.in_focus;
        edges += outcome.edges_found;
        scanned += outcome.scanned;
        if (outcome.has_date)
            ++dated;
        if (!outcome.complete) {
            ++incomplete;
            if (detailed)
                std::printf("  incomplete: seed %llu (%s, %s, stripe at row %.0f): %d in focus (best score %.1f), "
                            "%d with edges, %d scanned\n",
                            static_cast<unsigned long long>(seed), card_renderer::digit_font_name(card_truth.font),
                            card_renderer::background_name(card_truth.background), card_truth.stripe_y,
                            outcome.in_focus, static_cast<double>(outcome.best_focus), outcome.edges_found,
                            outcome.scanned);
            continue;
        }
        frames.push_back(outcome.frames);
        if (outcome.right) {
            ++right;
            if (outcome.date_right)
                ++dated_right;
        } else {
            ++wrong;
            // Every wrong number is named, on the comparison lines too: it is
            // the one result that must never pass unseen.
            std::printf("  wrong: seed %llu (%s) read %s, truth %s\n", static_cast<unsigned long long>(seed),
                        card_renderer::digit_font_name(card_truth.font), outcome.read.c_str(),
                        card_truth.number.c_str());
        }
        if (detailed && outcome.has_date && !outcome.date_right && outcome.right)
            std::printf("  expiry missed: seed %llu (truth %02d/%d, read %02d/%d)\n",
                        static_cast<unsigned long long>(seed), sequence.card().expiry.month,
                        sequence.card().expiry.year, outcome.month, outcome.year);
    }
    if (detailed) {
        std::printf("frames: %d filmed, %d in focus, %d with four edges, %d scanned; %d sequences incomplete\n",
                    total_frames, focus, edges, scanned, incomplete);
        for (const auto& [key, tally] : per_family_layout)
            print_tally(std::string("family ") + card_renderer::face_family(key.first) + " (" +
                            card_renderer::digit_font_name(key.first) + "), " + layout_name(key.second) + ":",
                        tally);
        for (const auto& [font, tally] : per_family)
            print_tally(std::string("family ") + card_renderer::face_family(font) + ", both layouts:", tally);
        for (const auto& [layout, tally] : per_layout)
            print_tally(std::string("layout ") + layout_name(layout) + ", all families:", tally);
    }
    Figures figures;
    figures.success = static_cast<double>(right) / sequences;
    figures.wrong = wrong;
    figures.expiry = dated ? static_cast<double>(dated_right) / dated : 0;
    figures.frames_median = median(frames);
    figures.ms_median = median(scan_ms);
    figures.ms_all_median = median(all_ms);
    figures.wrong_dates = wrong_dates;
    return figures;
}

RecoContext* g_reco = nullptr;

// One in-focus frame whose card is found, processed again and again with a
// fresh scanner each time: the cost of a scanning frame.
void BM_ScanningFrame(benchmark::State& bench)
{
    const cf::CameraSequence sequence(card_renderer::style_preset("benchmark"), kBenchmarkSeed + 100000, kToday);
    cf::CameraFrame chosen = sequence.frame(0);
    for (int i = 0; i < 20; ++i) {
        cf::CameraFrame candidate = sequence.frame(i);
        if (!candidate.upside_down && candidate.defocus_sigma < 0.8) {
            chosen = std::move(candidate);
            break;
        }
    }
    auto buffer = PixelBuffer::create(cf::kFrameWidth, cf::kFrameHeight);
    fill_buffer(*buffer, chosen);
    auto now = std::make_shared<std::uint64_t>(kTodayMilliseconds);
    auto scanner = scanner_at(now);
    for (auto _ : bench) {
        bench.PauseTiming();
        scanner->reset();
        ZeduVIVideoFrame frame(buffer.get(), cf::kOrientation);
        frame.setReco(g_reco);
        frame.setScanner(scanner);
        frame.setScanExpiry(true);
        bench.ResumeTiming();
        frame.process();
        benchmark::DoNotOptimize(frame.cardY());
    }
}

// A build with a weight set trained on one renderer alone films the other
// renderer's benchmark cards only, as above.
int measure_across(const card_renderer::CardStyle& benchmark_style, bool brief)
{
    const bool first = kWeightSet == "first_renderer";
    std::printf("weights: bench/weights/%s, trained on the %s renderer's cards alone\n",
                std::string(kWeightSet).c_str(), first ? "first" : "second");
    const Figures figures =
        first ? measure_other_hand(g_reco, brief ? kOtherHandShortSequences : kOtherHandSequences)
              : measure(g_reco, benchmark_style, kBenchmarkSeed, brief ? 10 : kSequences, true);
    std::printf("cross_renderer: success=%.4f wrong=%d expiry=%.4f wrong_dates=%d\n", figures.success,
                figures.wrong, figures.expiry, figures.wrong_dates);
    reco_context_destroy(g_reco);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const card_renderer::CardStyle benchmark_style = card_renderer::style_preset("benchmark");
    if (const auto missing = card_renderer::missing_faces(benchmark_style); !missing.empty()) {
        for (const std::string& face : missing)
            std::fprintf(stderr, "frame_bench: benchmark face %s is not installed (scripts/deps)\n", face.c_str());
        return 1;
    }
    if (const auto missing = other_hand::missing_hand_fonts(); !missing.empty()) {
        for (const std::string& family : missing)
            std::fprintf(stderr, "frame_bench: font family %s is not installed (scripts/deps)\n", family.c_str());
        return 1;
    }
    g_reco = make_context();
    benchmark::Initialize(&argc, argv);
    const bool brief = benchShortMode();
    if (!kWeightSet.empty())
        return measure_across(benchmark_style, brief);
    benchmark::RegisterBenchmark("BM_ScanningFrame", BM_ScanningFrame)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(brief ? 0.05 : 0.5)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("family split: %s\n", card_renderer::split_description(card_renderer::family_split()).c_str());
    const int sequences = brief ? 10 : kSequences;
    const Figures figures = measure(g_reco, benchmark_style, kBenchmarkSeed, sequences, true);
    const Figures today = measure(g_reco, card_renderer::style_preset("heldout"), kHeldOutSeed, sequences, false);
    std::printf("for comparison, today's held-out preset (training families): success=%.4f wrong=%d expiry=%.4f "
                "frames=%.1f wrong_dates=%d\n",
                today.success, today.wrong, today.expiry, today.frames_median, today.wrong_dates);
    measure_other_hand(g_reco, brief ? kOtherHandShortSequences : kOtherHandSequences);
    std::printf("one scanning frame (Google Benchmark median): %.3f ms; every frame's process(): %.3f ms median\n",
                reporter.median("BM_ScanningFrame"), figures.ms_all_median);
    std::printf("scan_success_rate: %.4f\n", figures.success);
    std::printf("wrong_numbers: %d\n", figures.wrong);
    std::printf("expiry_read_rate: %.4f\n", figures.expiry);
    std::printf("frames_to_complete_median: %.1f\n", figures.frames_median);
    std::printf("frame_ms_median: %.3f\n", figures.ms_median);
    std::printf("frames: success=%.4f wrong=%d expiry=%.4f frames=%.1f ms=%.3f wrong_dates=%d\n", figures.success,
                figures.wrong, figures.expiry, figures.frames_median, figures.ms_median, figures.wrong_dates);
    reco_context_destroy(g_reco);
    return 0;
}
