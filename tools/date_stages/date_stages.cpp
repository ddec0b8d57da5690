// date_stages: how far the core's expiry path gets on rendered cards, step
// by step, against their truth (tools/trainer/README.md, "The date path stage
// by stage").
//
//   date_stages [--renderer ours|other] [--preset NAME] [--cards N] [--frames F]
//               [--seed S] [--threads T] [--truth-stripe] [--film] [--look DIR]
//
// Each card is photographed F times as the core sees it after the warp
// (card_renderer::photograph of a card with camera_frames' date line, or
// other_hand::photograph_hand_card). --film takes the first F frames of a
// camera sequence (camera_frames::CameraSequence, other_hand::HandFilm) that
// frame analysis would scan (in focus, four edges found), cut out as it cuts
// them (the core's edge finder and the CPU warp), the truth carried through
// both. On each the expiry search runs below the core's own number stripe, or
// below the true one with --truth-stripe; the frame's candidates then go
// through the scan session's expiry update, and the frames through a whole
// scan session too.
// Cards are shared out over threads and counted in card order, so the
// figures depend on the arguments only. --look writes the first dated cards'
// photographs, three times enlarged, with the date's ink boxes (green), its
// true cells (blue) and the cells of the group the search cut on it (red).
#include "cardscanner/core/EdgeFinder.h"
#include "cardscanner/core/ExpiryNetworks.h"
#include "cardscanner/core/ImagePrimitives.h"
#include "cardscanner/core/NumberStripe.h"
#include "cardscanner/core/ScanSession.h"
#include "cardscanner/core/Transform.h"
#include "tools/camera_frames/CameraFrames.h"
#include "tools/card_renderer/CardRenderer.h"
#include "tools/date_stages/DateStages.h"
#include "tools/other_hand/OtherHand.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

namespace ds = date_stages;
namespace cf = camera_frames;
namespace cr = card_renderer;

constexpr int kTodayMonth = 6, kTodayYear = 2025;
constexpr std::uint64_t kTodayMilliseconds = 1750068000000ull; // 16 June 2025, 10:00 UTC
constexpr std::uint64_t kFrameMilliseconds = 33;

struct Options {
    std::string renderer = "other";
    std::string preset = "benchmark";
    int cards = 100;
    int frames = 3;
    std::uint64_t seed = 8400000;
    int threads = 3;
    bool truth_stripe = false;
    bool film = false;
    std::string look;
};

constexpr int kLookCards = 20;

struct Shot {
    cv::Mat grey;
    ds::DateTruth truth;
};

// --film: frames of a sequence, those in focus (frame analysis's own test),
// those whose four edges the core found.
struct Filming {
    int filmed = 0, in_focus = 0, edges_found = 0;
};

// Frame analysis sees a sequence for as long as it takes; this many frames
// are filmed at most for the photographs asked for.
constexpr int kMaxFilmedFrames = 60;
constexpr float kFocusOkAbove = 6.0f; // ZeduVIVideoFrame::kFocusOkAbove

struct CardOutcome {
    bool dated = false;
    std::vector<ds::FrameStages> frames;
    bool update_right = false, update_wrong = false;   // the expiry update fed the frames' candidates
    bool session_right = false, session_wrong = false; // a whole scan session on the photographs
    Filming filming;
};

// A frame cut out as frame analysis cuts it, if frame analysis would: in
// focus, its four edges found. `card_to_shot` receives the homography (pixel
// centres) from the drawn card into the cut-out one; `corners` is the card's
// outline in the frame, top left, top right, bottom right, bottom left.
bool cut_out(RecoContext* reco, const std::uint8_t* y_plane, const std::uint8_t* cbcr_plane,
             const std::array<cv::Point2d, 4>& corners, Shot& shot, cv::Matx33d& card_to_shot, Filming& filming)
{
    cv::Mat y(cf::kFrameHeight, cf::kFrameWidth, CV_8UC1, const_cast<std::uint8_t*>(y_plane));
    IplImage y_image = cvIplImage(y);
    ++filming.filmed;
    if (!(focus_score_for_frame(&y_image, false) > kFocusOkAbove))
        return false;
    ++filming.in_focus;
    cv::Mat pairs(cf::kFrameHeight / 2, cf::kFrameWidth / 2, CV_8UC2, const_cast<std::uint8_t*>(cbcr_plane));
    cv::Mat chroma[2];
    cv::split(pairs, chroma);
    IplImage cb_image = cvIplImage(chroma[0]), cr_image = cvIplImage(chroma[1]);
    FoundEdges edges{};
    CornerPoints found{};
    if (!detect_card_edges(&y_image, &cb_image, &cr_image, cf::kOrientation, edges, found))
        return false;
    ++filming.edges_found;
    IplImage* card = nullptr;
    if (!transform_card(reco, &y_image, found, cf::kOrientation, &card)) {
        cvReleaseImage(&card);
        return false;
    }
    shot.grey = cv::cvarrToMat(card).clone();
    cvReleaseImage(&card);
    // As dump_expiry carries its truth: the card's outer pixel edges onto the
    // frame's quad, the found corners onto the warp's pixel edges.
    const cv::Point2f outline[4] = {{-0.5f, -0.5f}, {427.5f, -0.5f}, {427.5f, 269.5f}, {-0.5f, 269.5f}};
    cv::Point2f quad[4];
    for (int i = 0; i < 4; ++i)
        quad[i] = cv::Point2f(static_cast<float>(corners[static_cast<std::size_t>(i)].x),
                              static_cast<float>(corners[static_cast<std::size_t>(i)].y));
    auto g = [](CvPoint2D32f p) { return cv::Point2f(p.x + 0.5f, p.y + 0.5f); };
    const cv::Point2f from[4] = {g(found.top_left), g(found.top_right), g(found.bottom_right), g(found.bottom_left)};
    const cv::Point2f to[4] = {{0, 0}, {428, 0}, {428, 270}, {0, 270}};
    const cv::Matx33d half_in(1, 0, 0.5, 0, 1, 0.5, 0, 0, 1), half_out(1, 0, -0.5, 0, 1, -0.5, 0, 0, 1);
    card_to_shot = half_out * cv::Matx33d(cv::getPerspectiveTransform(from, to)) * half_in
        * cv::Matx33d(cv::getPerspectiveTransform(outline, quad));
    return true;
}

ds::DateTruth our_date_truth(const cf::ExpiryTruth& expiry, double stripe_y, double number_middle,
                             const cv::Matx33d& card_to_shot)
{
    ds::DateTruth truth;
    truth.month = expiry.month;
    truth.year = expiry.year;
    const double half_stripe = kStripeHeight / 2.0;
    truth.stripe_y = ds::carry(card_to_shot, {number_middle, stripe_y + half_stripe}).y - half_stripe;
    const cv::Point2d half_cell(kExpiryCellWidth / 2.0, kExpiryCellHeight / 2.0);
    for (std::size_t i = 0; i < 5; ++i) {
        const cv::Point2d centre = expiry.cell_top_left[i] + half_cell;
        const cv::Rect2d box(centre.x - expiry.glyph_width / 2, centre.y - expiry.glyph_height / 2, expiry.glyph_width,
                             expiry.glyph_height);
        truth.boxes[i] = ds::carry(card_to_shot, box);
        truth.cell_top_left[i] = ds::carry(card_to_shot, centre) - half_cell;
    }
    truth.pitch = (truth.cell_top_left[4].x - truth.cell_top_left[0].x) / 4;
    return truth;
}

std::vector<Shot> our_film(const cr::CardStyle& style, std::uint64_t seed, int frames, bool& dated,
                           RecoContext* reco, Filming& filming)
{
    cf::FilmingStyle filming_style;
    filming_style.upside_down_share = 0;
    cf::ExpiryStyle expiry_style;
    expiry_style.date_share = 1.0;
    const cf::CameraSequence sequence(style, seed, {kTodayMonth, kTodayYear}, filming_style, expiry_style);
    const cf::ExpiryTruth& expiry = sequence.card().expiry;
    const cr::CardTruth& number = sequence.card().truth;
    dated = expiry.present;
    std::vector<Shot> shots;
    for (int f = 0; dated && f < kMaxFilmedFrames && static_cast<int>(shots.size()) < frames; ++f) {
        const cf::CameraFrame frame = sequence.frame(f);
        const std::array<cv::Point2d, 4> corners{frame.corners.top_left, frame.corners.top_right,
                                                 frame.corners.bottom_right, frame.corners.bottom_left};
        Shot shot;
        cv::Matx33d card_to_shot;
        if (!cut_out(reco, frame.y.data(), frame.cbcr.data(), corners, shot, card_to_shot, filming))
            continue;
        shot.truth = our_date_truth(expiry, number.stripe_y,
                                    (number.cell_x.front() + number.cell_x.back() + cr::kCellWidth) / 2, card_to_shot);
        shots.push_back(std::move(shot));
    }
    return shots;
}

ds::DateTruth hand_date_truth(const other_hand::HandTruth& hand, const cv::Matx33d& card_to_shot)
{
    ds::DateTruth truth;
    truth.month = hand.month;
    truth.year = hand.year;
    const double number_middle = (hand.cell_x.front() + hand.cell_x.back() + other_hand::kCoreCellWidth) / 2;
    const double half_stripe = other_hand::kCoreStripeHeight / 2.0;
    truth.stripe_y = ds::carry(card_to_shot, {number_middle, hand.stripe_y + half_stripe}).y - half_stripe;
    const cv::Point2d half_cell(kExpiryCellWidth / 2.0, kExpiryCellHeight / 2.0);
    for (std::size_t i = 0; i < 5; ++i) {
        const other_hand::InkBox& ink = hand.date_boxes[i];
        truth.boxes[i] = ds::carry(card_to_shot, cv::Rect2d(ink.x, ink.y, ink.width, ink.height));
        truth.cell_top_left[i] = ds::carry(card_to_shot, hand.date_cell_top_left[i] + half_cell) - half_cell;
    }
    truth.pitch = (truth.cell_top_left[4].x - truth.cell_top_left[0].x) / 4;
    return truth;
}

std::vector<Shot> other_film(std::uint64_t seed, int frames, bool& dated, RecoContext* reco, Filming& filming)
{
    const other_hand::HandCard card = other_hand::render_hand_card(seed, {kTodayMonth, kTodayYear});
    dated = card.truth.has_date;
    std::vector<Shot> shots;
    const cf::Quad guide = cf::guide_quad();
    const other_hand::HandFilm camera(card, {guide.top_left, guide.top_right, guide.bottom_right, guide.bottom_left},
                                      seed);
    for (int f = 0; dated && f < kMaxFilmedFrames && static_cast<int>(shots.size()) < frames; ++f) {
        const other_hand::HandFrame frame = camera.frame(f);
        Shot shot;
        cv::Matx33d card_to_shot;
        if (!cut_out(reco, frame.y.data(), frame.cbcr.data(), frame.corners, shot, card_to_shot, filming))
            continue;
        shot.truth = hand_date_truth(card.truth, card_to_shot);
        shots.push_back(std::move(shot));
    }
    return shots;
}

// Our renderer's card with camera_frames' date line on it, whose truth gives
// the date's place; the ink boxes are the character slots at the drawn glyph
// size, since that renderer keeps no ink.
std::vector<Shot> our_photographs(const cr::CardStyle& style, std::uint64_t seed, int frames, bool& dated)
{
    cf::ExpiryStyle expiry_style;
    expiry_style.date_share = 1.0;
    const cf::ComposedCard composed = cf::compose_card(style, seed, {kTodayMonth, kTodayYear}, expiry_style);
    dated = composed.expiry.present;
    std::vector<Shot> shots;
    if (!dated)
        return shots;
    const cr::RenderedCard card{composed.color, composed.truth};
    const double number_middle = (card.truth.cell_x.front() + card.truth.cell_x.back() + cr::kCellWidth) / 2;
    for (int f = 0; f < frames; ++f) {
        Shot shot;
        cv::Matx33d card_to_shot;
        shot.grey = cr::photograph(card, style.camera, seed * 1000 + static_cast<std::uint64_t>(f), nullptr, &card_to_shot);
        shot.truth = our_date_truth(composed.expiry, card.truth.stripe_y, number_middle, card_to_shot);
        shots.push_back(std::move(shot));
    }
    return shots;
}

std::vector<Shot> other_photographs(std::uint64_t seed, int frames, bool& dated)
{
    const other_hand::HandCard card = other_hand::render_hand_card(seed, {kTodayMonth, kTodayYear});
    dated = card.truth.has_date;
    std::vector<Shot> shots;
    if (!dated)
        return shots;
    for (int f = 0; f < frames; ++f) {
        Shot shot;
        cv::Matx33d card_to_shot;
        shot.grey = other_hand::photograph_hand_card(card, seed * 1000 + static_cast<std::uint64_t>(f), &card_to_shot);
        shot.truth = hand_date_truth(card.truth, card_to_shot);
        shots.push_back(std::move(shot));
    }
    return shots;
}

void look_at(const std::string& path, const Shot& shot, const ds::FrameStages& stages)
{
    constexpr int kScale = 3;
    cv::Mat picture;
    cv::cvtColor(shot.grey, picture, cv::COLOR_GRAY2BGR);
    cv::resize(picture, picture, {}, kScale, kScale, cv::INTER_NEAREST);
    auto outline = [&](const cv::Rect2d& box, const cv::Scalar& colour) {
        cv::rectangle(picture, cv::Rect(cv::Point(static_cast<int>(std::lround(box.x * kScale)), static_cast<int>(std::lround(box.y * kScale))),
                                        cv::Point(static_cast<int>(std::lround(box.br().x * kScale)) - 1,
                                                  static_cast<int>(std::lround(box.br().y * kScale)) - 1)),
                      colour, 1);
    };
    const cv::Size2d cell(kExpiryCellWidth, kExpiryCellHeight);
    for (std::size_t i = 0; i < 5; ++i) {
        outline(shot.truth.boxes[i], {0, 200, 0});
        outline(cv::Rect2d(shot.truth.cell_top_left[i], cell), {255, 120, 0});
    }
    for (const CharacterRect& rect : stages.date_group_cells)
        outline(cv::Rect2d(cv::Point2d(rect.left, rect.top), cell), {0, 0, 255});
    cv::imwrite(path, picture);
}

ScannerState fresh_state(std::uint64_t& now)
{
    ScannerState state{};
    scanner_init(state);
    state.clock = [&now] { return now; };
    return state;
}

CardOutcome measure_card(const Options& options, const cr::CardStyle& style, std::uint64_t seed)
{
    CardOutcome out;
    const bool ours = options.renderer == "ours";
    std::vector<Shot> shots;
    if (options.film) {
        RecoContext* reco = reco_context_create();
        shots = ours ? our_film(style, seed, options.frames, out.dated, reco, out.filming)
                     : other_film(seed, options.frames, out.dated, reco, out.filming);
        reco_context_destroy(reco);
    } else {
        shots = ours ? our_photographs(style, seed, options.frames, out.dated)
                     : other_photographs(seed, options.frames, out.dated);
    }
    if (!out.dated || shots.empty())
        return out;
    std::uint64_t now = kTodayMilliseconds;
    ScannerState update = fresh_state(now);
    ScannerState session = fresh_state(now);
    for (std::size_t f = 0; f < shots.size(); ++f) {
        now = kTodayMilliseconds + kFrameMilliseconds * f;
        const Shot& shot = shots[f];
        IplImage image = cvIplImage(shot.grey);
        const int y_offset = options.truth_stripe ? static_cast<int>(std::lround(shot.truth.stripe_y))
                                                  : find_number_stripe(&image).y_offset;
        ds::FrameStages stages = ds::measure_frame(shot.grey, shot.truth, y_offset);

        FrameScanResult frame{};
        frame.expiry_groups = stages.expiry_groups;
        frame.name_groups = stages.name_groups;
        scanner_update_expiry(update, frame);

        cv::Mat writable = shot.grey.clone();
        IplImage session_image = cvIplImage(writable);
        FrameScanResult whole{};
        scanner_add_frame(session, &session_image, true, whole);

        if (!options.look.empty() && seed - options.seed < kLookCards)
            look_at(options.look + "/card" + std::to_string(seed) + "_" + std::to_string(f) + ".png", shot, stages);
        stages.expiry_groups.clear();
        stages.name_groups.clear();
        out.frames.push_back(std::move(stages));
    }
    const ds::DateTruth& truth = shots.front().truth;
    auto judge = [&](const ScannerState& state, bool& right, bool& wrong) {
        if (state.expiry_month == 0)
            return;
        right = state.expiry_month == truth.month && state.expiry_year == truth.year;
        wrong = !right;
    };
    judge(update, out.update_right, out.update_wrong);
    judge(session, out.session_right, out.session_wrong);
    return out;
}

void print_stage(const char* name, long count, long of)
{
    std::printf("stage %-28s %.4f (%ld of %ld)\n", name, of ? static_cast<double>(count) / of : 0.0, count, of);
}

void print_reads(const char* name, const std::vector<ds::DigitRead>& reads, long true_digits)
{
    long right = 0, sure_wrong = 0;
    std::map<std::pair<int, int>, int> confusions;
    long per_digit[10] = {}, per_digit_right[10] = {};
    for (const ds::DigitRead& read : reads) {
        ++per_digit[read.truth];
        if (read.read == read.truth) {
            ++right;
            ++per_digit_right[read.truth];
            continue;
        }
        ++confusions[{read.truth, read.read}];
        sure_wrong += read.confidence >= kExpiryCharacterConfidence;
    }
    const long cells = static_cast<long>(reads.size());
    std::printf("stage %-28s %.4f (%ld of %ld cells; %ld of the %ld true digits had a cell)\n", name,
                cells ? static_cast<double>(right) / cells : 0.0, right, cells, cells, true_digits);
    std::printf("      %-28s %.4f (%ld of %ld cells given >= %.1f for a wrong digit)\n", "sure of a wrong digit",
                cells ? static_cast<double>(sure_wrong) / cells : 0.0, sure_wrong, cells,
                static_cast<double>(kExpiryCharacterConfidence));
    std::printf("      per true digit:");
    for (int d = 0; d < 10; ++d)
        if (per_digit[d])
            std::printf(" %d %.2f (%ld)", d, static_cast<double>(per_digit_right[d]) / per_digit[d], per_digit[d]);
    std::vector<std::pair<int, std::pair<int, int>>> pairs;
    for (const auto& [pair, count] : confusions)
        pairs.push_back({count, pair});
    std::stable_sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::printf("\n      read as (truth->read count):");
    for (std::size_t i = 0; i < pairs.size() && i < 12; ++i)
        std::printf(" %d->%d %d", pairs[i].second.first, pairs[i].second.second, pairs[i].first);
    std::printf("\n");
}

bool parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string key = argv[i];
        if (key == "--truth-stripe" || key == "--film") {
            (key == "--film" ? options.film : options.truth_stripe) = true;
            continue;
        }
        if (i + 1 >= argc)
            return false;
        const std::string value = argv[++i];
        if (key == "--look")
            options.look = value;
        else if (key == "--renderer")
            options.renderer = value;
        else if (key == "--preset")
            options.preset = value;
        else if (key == "--cards")
            options.cards = std::atoi(value.c_str());
        else if (key == "--frames")
            options.frames = std::atoi(value.c_str());
        else if (key == "--seed")
            options.seed = std::strtoull(value.c_str(), nullptr, 10);
        else if (key == "--threads")
            options.threads = std::atoi(value.c_str());
        else
            return false;
    }
    return (options.renderer == "ours" || options.renderer == "other") && options.cards > 0 && options.frames > 0
        && options.threads > 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: date_stages [--renderer ours|other] [--preset NAME] [--cards N] [--frames F] "
                             "[--seed S] [--threads T] [--truth-stripe] [--film] [--look DIR]\n");
        return 2;
    }
    const cr::CardStyle style = cr::style_preset(options.preset);
    if (options.renderer == "ours") {
        if (const auto missing = cr::missing_faces(style); !missing.empty()) {
            for (const std::string& face : missing)
                std::fprintf(stderr, "date_stages: face %s is not installed (scripts/deps)\n", face.c_str());
            return 1;
        }
    } else if (const auto missing = other_hand::missing_hand_fonts(); !missing.empty()) {
        for (const std::string& family : missing)
            std::fprintf(stderr, "date_stages: font family %s is not installed (scripts/deps)\n", family.c_str());
        return 1;
    }

    std::vector<CardOutcome> outcomes(static_cast<std::size_t>(options.cards));
    std::atomic<int> next{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < options.threads; ++t)
        workers.emplace_back([&] {
            for (int i = next++; i < options.cards; i = next++)
                outcomes[static_cast<std::size_t>(i)] = measure_card(options, style, options.seed + static_cast<std::uint64_t>(i));
        });
    for (std::thread& worker : workers)
        worker.join();

    long dated = 0, frames = 0, filmed = 0, in_focus = 0, edges = 0, short_cards = 0;
    long stripe = 0, line = 0, group = 0, pitch = 0, all_cells = 0, slash_cell = 0, on_slash = 0, on_digit = 0;
    long truth_slash = 0, truth_digit = 0, candidate = 0, read_right = 0, read_wrong = 0;
    long cells_right[6] = {};
    long pitch_small = 0, pitch_large = 0;
    long update_right = 0, update_wrong = 0, session_right = 0, session_wrong = 0;
    std::vector<ds::DigitRead> path_reads, truth_reads;
    for (const CardOutcome& card : outcomes) {
        if (!card.dated)
            continue;
        ++dated;
        update_right += card.update_right;
        update_wrong += card.update_wrong;
        session_right += card.session_right;
        session_wrong += card.session_wrong;
        filmed += card.filming.filmed;
        in_focus += card.filming.in_focus;
        edges += card.filming.edges_found;
        short_cards += static_cast<int>(card.frames.size()) < options.frames;
        for (const ds::FrameStages& f : card.frames) {
            ++frames;
            stripe += f.stripe_near_truth;
            line += f.line_found;
            group += f.group_on_date;
            pitch += f.pitch_right;
            pitch_small += f.group_on_date && !f.pitch_right && f.pitch_error < 0;
            pitch_large += f.group_on_date && !f.pitch_right && f.pitch_error > 0;
            ++cells_right[f.cells_right];
            all_cells += f.cells_right == 5;
            slash_cell += f.slash_has_cell;
            on_slash += f.separator_on_slash;
            on_digit += f.separator_on_digit;
            truth_slash += f.truth_separator_on_slash;
            truth_digit += f.truth_separator_on_digit;
            candidate += f.candidate_on_date;
            read_right += f.frame_read_right;
            read_wrong += f.frame_read_wrong;
            path_reads.insert(path_reads.end(), f.path_reads.begin(), f.path_reads.end());
            truth_reads.insert(truth_reads.end(), f.truth_reads.begin(), f.truth_reads.end());
        }
    }

    const std::string shots = options.film
        ? "the first " + std::to_string(options.frames) + " frames a card that frame analysis would scan (of "
            + std::to_string(kMaxFilmedFrames) + " filmed at most; the card seed's sequence, cut out by the core's "
            "edge finder and CPU warp)"
        : std::to_string(options.frames) + " photographs a card (photograph seeds card seed x 1000 + 0.."
            + std::to_string(options.frames - 1) + ")";
    std::printf("date_stages: renderer %s, preset %s, cards %d (seeds %llu..%llu), %s, stripe from %s\n",
                options.renderer == "ours" ? "ours (tools/card_renderer, dates of tools/camera_frames)"
                                           : "other (tools/other_hand)",
                options.renderer == "ours" ? options.preset.c_str() : "-", options.cards,
                static_cast<unsigned long long>(options.seed),
                static_cast<unsigned long long>(options.seed + static_cast<std::uint64_t>(options.cards) - 1),
                shots.c_str(), options.truth_stripe ? "the truth" : "the core's stripe search");
    std::printf("dated cards %ld, their frames %ld; shares below are of those frames unless said\n", dated, frames);
    if (options.film)
        std::printf("filmed %ld frames of the dated cards, %ld in focus, %ld with four edges found; %ld cards had "
                    "fewer than %d such frames in the first %d\n",
                    filmed, in_focus, edges, short_cards, options.frames, kMaxFilmedFrames);
    print_stage("stripe_near_truth:", stripe, frames);
    print_stage("line_found:", line, frames);
    print_stage("group_on_date:", group, frames);
    print_stage("pitch_picked:", pitch, frames);
    std::printf("      pitch off on the group on the date: %ld too small, %ld too large\n", pitch_small, pitch_large);
    print_stage("cells_on_all_five:", all_cells, frames);
    std::printf("      cells right per frame:");
    for (int k = 0; k <= 5; ++k)
        std::printf(" %d: %.4f", k, frames ? static_cast<double>(cells_right[k]) / frames : 0.0);
    std::printf("\n");
    print_stage("slash_has_cell:", slash_cell, frames);
    print_stage("separator_on_slash:", on_slash, frames);
    print_stage("separator_on_digit:", on_digit, frames);
    print_stage("separator_on_true_slash:", truth_slash, frames);
    print_stage("separator_on_true_digit:", truth_digit, frames);
    print_stage("candidate_on_date:", candidate, frames);
    print_reads("digits_read_on_path_cells:", path_reads, 4 * frames);
    print_reads("digits_read_on_true_cells:", truth_reads, 4 * frames);
    print_stage("frame_candidate_reads_date:", read_right, frames);
    print_stage("frame_candidate_wrong_date:", read_wrong, frames);
    print_stage("date_decided_right:", update_right, dated);
    print_stage("date_decided_wrong:", update_wrong, dated);
    print_stage("session_date_right:", session_right, dated);
    print_stage("session_date_wrong:", session_wrong, dated);
    return 0;
}
