// dump_expiry: films rendered cards with dates (tools/camera_frames), cuts
// them out of the frames the way frame analysis does (edge finder, CPU warp),
// and writes the exact inputs of the two expiry networks, with labels, as
// .npy files for tools/trainer/train_expiry.py.
//
//   dump_expiry --out PREFIX [--seed N] [--count N] [--frames N] [--threads N]
//               [--renderer ours|other]
//
// Writes PREFIX_separator_inputs.npy (float32, n x 176), PREFIX_separator_labels.npy
// (uint8: 0 the separator, 1 anything else, the network's output order),
// PREFIX_digit_inputs.npy (float32, n x 176) and PREFIX_digit_labels.npy
// (uint8 0..9).
//
// Separator cells are the ones the core's own search asks about (every middle
// cell of a run of five, after its pitch fitting and cell fitting), labelled
// by their distance from the true '/' once the truth is carried through the
// frame and the warp; the true '/' (shifted by up to 3 pixels across) and the
// true digits (by a pixel) are added so that the rare positives and the hard
// negatives are well represented. Digit cells are the date candidates' cells
// where the core's fitting put them, plus the true cells shifted by up to 3
// pixels across.
//
// Card styles cycle through the renderer's training presets "a", "b", "c";
// with --renderer other the cards are the second renderer's (tools/other_hand,
// its training type families), filmed by its own camera.
// Cards are split over threads but written in card order, so the output
// depends on the arguments only.
#include "cardscanner/core/EdgeFinder.h"
#include "cardscanner/core/ExpiryGroups.h"
#include "cardscanner/core/ExpiryNetworks.h"
#include "cardscanner/core/NumberStripe.h"
#include "cardscanner/core/Transform.h"
#include "tools/camera_frames/CameraFrames.h"
#include "tools/other_hand/OtherHand.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core/core_c.h>
#include <opencv2/imgproc.hpp>

namespace {

namespace cf = camera_frames;
namespace cr = card_renderer;

constexpr cf::CalendarMonth kToday{6, 2025};
constexpr int kNegativesPerFrame = 14;

struct Samples {
    std::vector<float> separator_inputs;
    std::vector<std::uint8_t> separator_labels;
    std::vector<float> digit_inputs;
    std::vector<std::uint8_t> digit_labels;
    int frames = 0, warped_with_found_edges = 0, candidates_on_truth = 0, dated_frames = 0;
    int lines_on_date = 0; // dated frames where one of the search's text lines is the date line

    void append(const Samples& other)
    {
        separator_inputs.insert(separator_inputs.end(), other.separator_inputs.begin(), other.separator_inputs.end());
        separator_labels.insert(separator_labels.end(), other.separator_labels.begin(), other.separator_labels.end());
        digit_inputs.insert(digit_inputs.end(), other.digit_inputs.begin(), other.digit_inputs.end());
        digit_labels.insert(digit_labels.end(), other.digit_labels.begin(), other.digit_labels.end());
        frames += other.frames;
        warped_with_found_edges += other.warped_with_found_edges;
        candidates_on_truth += other.candidates_on_truth;
        lines_on_date += other.lines_on_date;
        dated_frames += other.dated_frames;
    }
};

struct Options {
    std::string out;
    std::uint64_t seed = 5000000;
    int count = 100;
    int frames = 2;
    int threads = 8;
    bool other_hand = false;
    bool renderer_known = true;
};

// The card's corners in the frame (top left, top right, bottom right, bottom
// left; pixel centres).
using FrameCorners = std::array<cv::Point2d, 4>;

// A dated or undated card to film, whichever hand drew it: its number
// stripe and date cells on the 428 x 270 card, and its frames.
struct FilmedCard {
    bool dated = false;
    char text[8] = {};                       // "MM/YY"
    double stripe_y = 0;
    double pitch = 0;
    std::array<cv::Point2d, 5> cells{};      // 11 x 16 date cells' top-left corners
    std::function<void(int, std::vector<std::uint8_t>&, std::vector<std::uint8_t>&, FrameCorners&)> frame;
};

void write_npy(const std::string& path, const char* descr, const std::vector<std::size_t>& shape, const void* data,
               std::size_t bytes)
{
    std::string dims;
    for (std::size_t i = 0; i < shape.size(); ++i)
        dims += std::to_string(shape[i]) + (shape.size() == 1 || i + 1 < shape.size() ? "," : "");
    std::string header = "{'descr': '" + std::string(descr) + "', 'fortran_order': False, 'shape': (" + dims + "), }";
    const std::size_t unpadded = 10 + header.size() + 1;
    header.append((64 - unpadded % 64) % 64, ' ');
    header.push_back('\n');
    std::ofstream out(path, std::ios::binary);
    out.write("\x93NUMPY\x01\x00", 8);
    const auto length = static_cast<std::uint16_t>(header.size());
    const char length_bytes[2] = {static_cast<char>(length & 0xff), static_cast<char>(length >> 8)};
    out.write(length_bytes, 2);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(bytes));
}

// Carries a point of the composed card (pixel centres on whole coordinates)
// into the warped card: card -> frame through the filming's quad, frame ->
// warp through the corners the warp was given (the filter addresses pixel
// edges, hence the half pixels).
struct TruthMapping {
    cv::Matx33d card_to_frame;
    cv::Matx33d frame_to_warp;

    static cv::Point2d apply(const cv::Matx33d& h, cv::Point2d p)
    {
        const cv::Vec3d q = h * cv::Vec3d(p.x, p.y, 1.0);
        return {q[0] / q[2], q[1] / q[2]};
    }
    cv::Point2d operator()(cv::Point2d card_point) const
    {
        const cv::Point2d frame = apply(card_to_frame, card_point);
        return apply(frame_to_warp, frame + cv::Point2d(0.5, 0.5)) - cv::Point2d(0.5, 0.5);
    }
    // A cell's top-left corner, moved with its centre.
    cv::Point2d cell(cv::Point2d top_left) const
    {
        const cv::Point2d centre(kExpiryCellWidth / 2.0, kExpiryCellHeight / 2.0);
        return (*this)(top_left + centre) - centre;
    }
};

TruthMapping mapping_for(const FrameCorners& frame_corners, const CornerPoints& corners)
{
    const cv::Point2f outline[4] = {{-0.5f, -0.5f}, {427.5f, -0.5f}, {427.5f, 269.5f}, {-0.5f, 269.5f}};
    auto f = [](cv::Point2d p) { return cv::Point2f(static_cast<float>(p.x), static_cast<float>(p.y)); };
    const cv::Point2f quad[4] = {f(frame_corners[0]), f(frame_corners[1]), f(frame_corners[2]), f(frame_corners[3])};
    auto g = [](CvPoint2D32f p) { return cv::Point2f(p.x, p.y); };
    const cv::Point2f found[4] = {g(corners.top_left), g(corners.top_right), g(corners.bottom_right),
                                  g(corners.bottom_left)};
    const cv::Point2f card[4] = {{0, 0}, {428, 0}, {428, 270}, {0, 270}};
    return {cv::Matx33d(cv::getPerspectiveTransform(outline, quad)),
            cv::Matx33d(cv::getPerspectiveTransform(found, card))};
}

CornerPoints truth_corners(const FrameCorners& frame_corners)
{
    auto p = [](cv::Point2d q) { return cvPoint2D32f(q.x, q.y); };
    CornerPoints corners;
    corners.top_left = p(frame_corners[0]);
    corners.top_right = p(frame_corners[1]);
    corners.bottom_right = p(frame_corners[2]);
    corners.bottom_left = p(frame_corners[3]);
    return corners;
}

FilmedCard our_card(std::uint64_t seed)
{
    static const char* const styles[] = {"a", "b", "c"};
    cf::FilmingStyle filming;
    filming.upside_down_share = 0;
    filming.hunting_share = 0.05;
    cf::ExpiryStyle expiry_style;
    expiry_style.date_share = 0.9;
    auto sequence = std::make_shared<const cf::CameraSequence>(cr::style_preset(styles[seed % 3]), seed, kToday,
                                                               filming, expiry_style);
    const cf::ExpiryTruth& truth = sequence->card().expiry;
    FilmedCard card;
    card.dated = truth.present;
    std::snprintf(card.text, sizeof card.text, "%02d/%02d", truth.month, truth.year % 100);
    card.stripe_y = sequence->card().truth.stripe_y;
    card.pitch = truth.pitch;
    card.cells = truth.cell_top_left;
    card.frame = [sequence](int index, std::vector<std::uint8_t>& y, std::vector<std::uint8_t>& cbcr,
                            FrameCorners& corners) {
        cf::CameraFrame frame = sequence->frame(index);
        y = std::move(frame.y);
        cbcr = std::move(frame.cbcr);
        corners = {frame.corners.top_left, frame.corners.top_right, frame.corners.bottom_right,
                   frame.corners.bottom_left};
    };
    return card;
}

FilmedCard other_card(std::uint64_t seed)
{
    const other_hand::HandCard hand = other_hand::render_hand_card(seed, {kToday.month, kToday.year},
                                                                   other_hand::HandFamilies::Training);
    const cf::Quad guide = cf::guide_quad();
    auto film = std::make_shared<const other_hand::HandFilm>(
        hand, FrameCorners{guide.top_left, guide.top_right, guide.bottom_right, guide.bottom_left}, seed);
    FilmedCard card;
    card.dated = hand.truth.has_date;
    std::snprintf(card.text, sizeof card.text, "%02d/%02d", hand.truth.month % 100, hand.truth.year % 100);
    card.stripe_y = hand.truth.stripe_y;
    card.pitch = hand.truth.date_pitch;
    card.cells = hand.truth.date_cell_top_left;
    card.frame = [film](int index, std::vector<std::uint8_t>& y, std::vector<std::uint8_t>& cbcr,
                        FrameCorners& corners) {
        other_hand::HandFrame frame = film->frame(index);
        y = std::move(frame.y);
        cbcr = std::move(frame.cbcr);
        corners = frame.corners;
    };
    return card;
}

void add_separator(Samples& out, const IplImage* gradient, int x, int y, std::uint8_t label)
{
    float input[kExpiryInputSize];
    if (!separator_network_input(gradient, x, y, input))
        return;
    out.separator_inputs.insert(out.separator_inputs.end(), input, input + kExpiryInputSize);
    out.separator_labels.push_back(label);
}

void add_digit(Samples& out, const IplImage* card, int x, int y, int digit)
{
    float input[kExpiryInputSize];
    if (!expiry_digit_input(card, x, y, input))
        return;
    out.digit_inputs.insert(out.digit_inputs.end(), input, input + kExpiryInputSize);
    out.digit_labels.push_back(static_cast<std::uint8_t>(digit));
}

Samples dump_card(std::uint64_t seed, int frame_count, bool other_hand, RecoContext* reco)
{
    Samples out;
    const FilmedCard filmed = other_hand ? other_card(seed) : our_card(seed);
    const char* const text = filmed.text;
    cr::Rng rng(seed * 31 + 7);

    IplImage* gradient = cvCreateImage(cvSize(kCardImageWidth, kCardImageHeight), IPL_DEPTH_16S, 1);
    for (int f = 0; f < frame_count; ++f) {
        std::vector<std::uint8_t> luma, chroma_pairs;
        FrameCorners frame_corners;
        filmed.frame(f, luma, chroma_pairs, frame_corners);
        ++out.frames;
        cv::Mat y(cf::kFrameHeight, cf::kFrameWidth, CV_8UC1, luma.data());
        cv::Mat pairs(cf::kFrameHeight / 2, cf::kFrameWidth / 2, CV_8UC2, chroma_pairs.data());
        cv::Mat chroma[2];
        cv::split(pairs, chroma);
        IplImage y_image = cvIplImage(y), cb_image = cvIplImage(chroma[0]), cr_image = cvIplImage(chroma[1]);
        FoundEdges edges{};
        CornerPoints corners{};
        if (detect_card_edges(&y_image, &cb_image, &cr_image, cf::kOrientation, edges, corners))
            ++out.warped_with_found_edges;
        else
            corners = truth_corners(frame_corners);
        IplImage* card = nullptr;
        if (!transform_card(reco, &y_image, corners, cf::kOrientation, &card)) {
            cvReleaseImage(&card);
            continue;
        }
        const TruthMapping map = mapping_for(frame_corners, corners);

        const double true_stripe = map(cv::Point2d(100, filmed.stripe_y)).y;
        const VerticalSegmentation vseg = find_number_stripe(card);
        int y_offset = static_cast<int>(std::lround(true_stripe));
        if (vseg.pattern_type != 0 && std::abs(vseg.y_offset - true_stripe) <= 4)
            y_offset = vseg.y_offset;
        if (y_offset < 0 || !expiry_gradient_image(card, y_offset, gradient)) {
            cvReleaseImage(&card);
            continue;
        }

        cv::Point2d cells[5];
        for (int i = 0; i < 5; ++i)
            cells[i] = map.cell(filmed.cells[static_cast<std::size_t>(i)]);
        const cv::Point2d slash = cells[2];
        auto near = [](cv::Point2d p, int x, int y, double limit) {
            return std::abs(p.x - x) <= limit && std::abs(p.y - y) <= limit;
        };
        // The search's pitch fitting places a line's cells up to a few pixels
        // to either side of the characters, so a cell that far off the '/'
        // still marks the date.
        auto near_slash = [&](int x, int y) { return std::abs(slash.x - x) <= 4.0 && std::abs(slash.y - y) <= 2.0; };

        // The cells the core's search would ask the separator about; the
        // oracle answer makes the candidate on the true date go on to digit
        // fitting.
        struct Asked {
            int x, y;
        };
        std::vector<Asked> asked;
        const SeparatorScorer oracle = [&](const IplImage*, const CharacterRect& cell) {
            asked.push_back({cell.left, cell.top});
            return filmed.dated && near_slash(cell.left, cell.top) ? 1.0f : 0.0f;
        };
        TextLine lines[3];
        const int line_count = find_text_lines(gradient, y_offset, lines);
        std::vector<GroupedRects> expiry_groups, name_groups;
        for (int i = 0; i < line_count; ++i)
            classify_text_groups_scored(gradient, lines[i].top, lines[i].energy, oracle, expiry_groups, name_groups);

        std::vector<Asked> negatives;
        for (const Asked& cell : asked) {
            if (filmed.dated && near_slash(cell.x, cell.y))
                add_separator(out, gradient, cell.x, cell.y, 0);
            else if (!filmed.dated || !near(slash, cell.x, cell.y, 5.5))
                negatives.push_back(cell);
        }
        for (int i = 0; i < kNegativesPerFrame && !negatives.empty(); ++i) {
            const std::size_t k = static_cast<std::size_t>(rng.integer(0, static_cast<int>(negatives.size()) - 1));
            add_separator(out, gradient, negatives[k].x, negatives[k].y, 1);
            negatives.erase(negatives.begin() + static_cast<std::ptrdiff_t>(k));
        }

        if (filmed.dated) {
            ++out.dated_frames;
            // A line's cells start one row above its top.
            if (std::any_of(lines, lines + line_count,
                            [&](const TextLine& line) { return std::abs(line.top - 1 - slash.y) <= 3.0; }))
                ++out.lines_on_date;
            for (int copy = 0; copy < 3; ++copy)
                add_separator(out, gradient, static_cast<int>(std::lround(slash.x)) + rng.integer(-3, 3),
                              static_cast<int>(std::lround(slash.y)) + rng.integer(-1, 1), 0);
            for (const int position : {0, 1, 3, 4}) {
                const cv::Point2d at = cells[position];
                const int digit = text[position] - '0';
                add_separator(out, gradient, static_cast<int>(std::lround(at.x)) + rng.integer(-1, 1),
                              static_cast<int>(std::lround(at.y)) + rng.integer(-1, 1), 1);
                for (int copy = 0; copy < 2; ++copy)
                    add_digit(out, card, static_cast<int>(std::lround(at.x)) + rng.integer(-3, 3),
                              static_cast<int>(std::lround(at.y)) + rng.integer(-1, 1), digit);
            }
            // Half a pitch off: between two characters.
            add_separator(out, gradient, static_cast<int>(std::lround(slash.x + filmed.pitch / 2)),
                          static_cast<int>(std::lround(slash.y)), 1);
            for (const GroupedRects& group : expiry_groups) {
                if (group.character_rects.size() < 5)
                    continue;
                ++out.candidates_on_truth;
                for (const int position : {0, 1, 3, 4}) {
                    const CharacterRect& cell = group.character_rects[static_cast<std::size_t>(position)];
                    if (near(cells[position], cell.left, cell.top, 4.0))
                        add_digit(out, card, cell.left, cell.top, text[position] - '0');
                }
            }
        }
        cvReleaseImage(&card);
    }
    cvReleaseImage(&gradient);
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i], value = argv[i + 1];
        if (key == "--out")
            options.out = value;
        else if (key == "--seed")
            options.seed = std::strtoull(value.c_str(), nullptr, 10);
        else if (key == "--count")
            options.count = std::atoi(value.c_str());
        else if (key == "--frames")
            options.frames = std::atoi(value.c_str());
        else if (key == "--threads")
            options.threads = std::atoi(value.c_str());
        else if (key == "--renderer") {
            options.other_hand = value == "other";
            options.renderer_known = value == "ours" || value == "other";
        }
    }
    if (!options.renderer_known || options.out.empty() || options.count <= 0 || options.frames <= 0 || options.threads <= 0) {
        std::fprintf(stderr, "usage: dump_expiry --out PREFIX [--seed N] [--count N] [--frames N] [--threads N] [--renderer ours|other]\n");
        return 2;
    }

    std::vector<Samples> per_card(static_cast<std::size_t>(options.count));
    std::atomic<int> next{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < options.threads; ++t)
        workers.emplace_back([&] {
            RecoContext* reco = reco_context_create();
            for (int i = next++; i < options.count; i = next++)
                per_card[static_cast<std::size_t>(i)] =
                    dump_card(options.seed + static_cast<std::uint64_t>(i), options.frames, options.other_hand, reco);
            reco_context_destroy(reco);
        });
    for (auto& worker : workers)
        worker.join();
    Samples all;
    for (const Samples& samples : per_card)
        all.append(samples);

    const std::size_t separators = all.separator_labels.size(), digits = all.digit_labels.size();
    write_npy(options.out + "_separator_inputs.npy", "<f4", {separators, kExpiryInputSize},
              all.separator_inputs.data(), all.separator_inputs.size() * sizeof(float));
    write_npy(options.out + "_separator_labels.npy", "|u1", {separators}, all.separator_labels.data(), separators);
    write_npy(options.out + "_digit_inputs.npy", "<f4", {digits, kExpiryInputSize}, all.digit_inputs.data(),
              all.digit_inputs.size() * sizeof(float));
    write_npy(options.out + "_digit_labels.npy", "|u1", {digits}, all.digit_labels.data(), digits);
    std::size_t positives = 0;
    for (std::uint8_t label : all.separator_labels)
        positives += label == 0;
    std::printf("dump_expiry: %d frames (%d warped with found edges, %d dated, %d with a text line on the date, %d core "
                "candidates on the date); %zu separator cells (%zu separators), %zu digit cells\n",
                all.frames, all.warped_with_found_edges, all.dated_frames, all.lines_on_date, all.candidates_on_truth,
                separators, positives, digits);
    return 0;
}
