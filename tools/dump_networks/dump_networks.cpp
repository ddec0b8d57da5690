// dump_networks: renders cards and writes the exact inputs of the core's
// networks, with labels, as .npy files for tools/trainer.
//
//   dump_networks --out PREFIX [--style NAME] [--seed N] [--count N]
//                 [--frames N] [--threads N] [--what stripe|digits|both]
//                 [--renderer ours|other|other-benchmark]
//                 [--withhold SHARE | --withheld-only SHARE]
//
// --withhold leaves one share of the first renderer's training type out of
// the cards (CardStyle::withheld_share); --withheld-only draws only that
// share, the cells that calibrate a network that never saw it.
//
// --renderer other draws the second renderer's cards (tools/other_hand, its
// training type families) instead of the first's; --style then does not
// apply. other-benchmark draws its benchmark families, which no committed
// network may learn: only to measure what training on them would reach.
//
// Inputs come from the core's own preprocessing (stripe_network_input,
// digit_cell_input, and for the segmentation-driven cells find_number_stripe
// and find_digit_offsets), so the networks are trained on what they will see.
//
// Stripe rows: every row of the band around the true stripe and a random
// sample of the others, labelled 1 (16 digits) or 2 (15 digits) when the row
// shows the number's glyphs and 0 otherwise.
// Digit cells: each true cell with a small random shift, and each cell where
// the core's own stripe search and segmentation put it, when that is within a
// few pixels of the truth.
//
// Cards are split over threads but written in card order, so the output
// depends on the arguments only.
#include "cardscanner/core/DigitClassifiers.h"
#include "cardscanner/core/NumberStripe.h"
#include "tools/card_renderer/CardRenderer.h"
#include "tools/other_hand/OtherHand.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core/core_c.h>

namespace {

namespace cr = card_renderer;

struct Samples {
    std::vector<float> stripe_inputs;            // rows of 204
    std::vector<std::uint8_t> stripe_labels;
    std::vector<std::uint8_t> digit_inputs;      // cells of 27 x 19, value x 255
    std::vector<std::uint8_t> digit_labels;
    // Per cell: font, source (0 truth, 1 core), background, technique (0 flat
    // print, 1 unfoiled relief, 2 foiled relief), so the trainer can weigh the
    // cards that fail up.
    std::vector<std::uint8_t> digit_meta;
    // How the core's own stripe search and segmentation did on these frames.
    int frames = 0, stripes_found = 0, stripes_usable = 0, segmentations_close = 0;

    void append(const Samples& other)
    {
        stripe_inputs.insert(stripe_inputs.end(), other.stripe_inputs.begin(), other.stripe_inputs.end());
        stripe_labels.insert(stripe_labels.end(), other.stripe_labels.begin(), other.stripe_labels.end());
        digit_inputs.insert(digit_inputs.end(), other.digit_inputs.begin(), other.digit_inputs.end());
        digit_labels.insert(digit_labels.end(), other.digit_labels.begin(), other.digit_labels.end());
        digit_meta.insert(digit_meta.end(), other.digit_meta.begin(), other.digit_meta.end());
        frames += other.frames;
        stripes_found += other.stripes_found;
        stripes_usable += other.stripes_usable;
        segmentations_close += other.segmentations_close;
    }
};

struct Options {
    std::string out;
    std::string style = "a";
    std::uint64_t seed = 1;
    int count = 100;
    int frames = 1;
    int threads = 8;
    bool stripe = true;
    bool digits = true;
    bool other_hand = false;
    other_hand::HandFamilies hand_families = other_hand::HandFamilies::Training;
    int withheld_share = -1;
    bool only_withheld_share = false;
};

// What the dump needs to know of a photographed card, whichever hand drew it,
// in the shot's coordinates.
struct ShotTruth {
    std::string number;
    int pattern_type = 1;
    double stripe_y = 0, glyph_height = 0;
    std::vector<double> cell_x;
    std::uint8_t font = 0, background = 0, technique = 0;

    int rounded_stripe_y() const { return static_cast<int>(std::lround(stripe_y)); }
};

ShotTruth shot_truth(const cr::CardTruth& truth)
{
    return {truth.number, truth.pattern_type, truth.stripe_y, truth.glyph_height, truth.cell_x,
            static_cast<std::uint8_t>(truth.font), static_cast<std::uint8_t>(truth.background),
            static_cast<std::uint8_t>(!truth.embossed ? 0 : truth.foil ? 2 : 1)};
}

// The other hand keeps its truth on the card and hands back the shot's
// leftover corner error, which carries it into the shot. Its cells are
// marked with font codes the first renderer never uses.
constexpr std::uint8_t kOtherHandOutlineFont = 250, kOtherHandStrokeFont = 251, kOtherHandBackground = 250;

ShotTruth shot_truth(const other_hand::HandTruth& truth, const cv::Matx33d& card_to_shot)
{
    auto carry = [&](double x, double y) {
        const cv::Vec3d q = card_to_shot * cv::Vec3d(x, y, 1.0);
        return cv::Point2d(q[0] / q[2], q[1] / q[2]);
    };
    ShotTruth out;
    out.number = truth.number;
    out.pattern_type = truth.pattern_type;
    out.glyph_height = truth.glyph_height;
    const double half_cell = other_hand::kCoreCellWidth / 2.0, half_stripe = other_hand::kCoreStripeHeight / 2.0;
    const double middle = (truth.cell_x.front() + truth.cell_x.back()) / 2 + half_cell;
    out.stripe_y = carry(middle, truth.stripe_y + half_stripe).y - half_stripe;
    for (double x : truth.cell_x)
        out.cell_x.push_back(carry(x + half_cell, truth.stripe_y + half_stripe).x - half_cell);
    out.font = truth.stroke_face ? kOtherHandStrokeFont : kOtherHandOutlineFont;
    out.background = kOtherHandBackground;
    out.technique = truth.finish == "printed" ? 0 : truth.finish == "embossed" ? 1 : 2;
    return out;
}

// NumPy's .npy format, version 1.0: a padded Python-literal header, then the
// raw little-endian array.
void write_npy(const std::string& path, const char* descr, const std::vector<std::size_t>& shape, const void* data,
               std::size_t bytes)
{
    std::string dims;
    for (std::size_t i = 0; i < shape.size(); ++i)
        dims += std::to_string(shape[i]) + (shape.size() == 1 || i + 1 < shape.size() ? "," : "");
    std::string header =
        std::string("{'descr': '") + descr + "', 'fortran_order': False, 'shape': (" + dims + "), }";
    const std::size_t total = 10 + header.size() + 1;
    header.append((64 - total % 64) % 64, ' ');
    header.push_back('\n');
    std::ofstream file(path, std::ios::binary);
    file.write("\x93NUMPY\x01\x00", 8);
    const std::uint16_t length = static_cast<std::uint16_t>(header.size());
    const char length_bytes[2] = {static_cast<char>(length & 0xff), static_cast<char>(length >> 8)};
    file.write(length_bytes, 2);
    file.write(header.data(), static_cast<std::streamsize>(header.size()));
    file.write(static_cast<const char*>(data), static_cast<std::streamsize>(bytes));
    if (!file)
        std::fprintf(stderr, "dump_networks: cannot write %s\n", path.c_str());
}

void add_digit_cell(Samples& samples, const IplImage* card, int x, int y, char digit, const ShotTruth& truth,
                    std::uint8_t source)
{
    float input[kDigitInputSize];
    if (!digit_cell_input(card, x, y, input))
        return;
    for (float v : input)
        samples.digit_inputs.push_back(static_cast<std::uint8_t>(std::lround(v * 255.0f)));
    samples.digit_labels.push_back(static_cast<std::uint8_t>(digit - '0'));
    samples.digit_meta.push_back(truth.font);
    samples.digit_meta.push_back(source);
    samples.digit_meta.push_back(truth.background);
    samples.digit_meta.push_back(truth.technique);
}

Samples dump_card(const Options& options, const cr::CardStyle& style, int index)
{
    Samples samples;
    const std::uint64_t card_seed = options.seed + static_cast<std::uint64_t>(index);
    cr::Rng rng(card_seed ^ 0x5eedc0ffee);
    std::optional<cr::RenderedCard> ours;
    std::optional<other_hand::HandCard> other;
    if (options.other_hand)
        other = other_hand::render_hand_card(card_seed, {}, options.hand_families);
    else
        ours = cr::render_card(style, card_seed);
    for (int frame = 0; frame < options.frames; ++frame) {
        const std::uint64_t shot_seed = card_seed * 31 + static_cast<std::uint64_t>(frame);
        ShotTruth truth;
        cv::Mat image;
        if (other) {
            cv::Matx33d card_to_shot;
            image = other_hand::photograph_hand_card(*other, shot_seed, &card_to_shot);
            truth = shot_truth(other->truth, card_to_shot);
        } else {
            cr::CardTruth card_truth;
            image = cr::photograph(*ours, style.camera, shot_seed, &card_truth);
            truth = shot_truth(card_truth);
        }
        IplImage ipl = cvIplImage(image);

        if (options.stripe) {
            const int top = truth.rounded_stripe_y();
            const double glyph_top = truth.stripe_y + kStripeHeight / 2.0 - truth.glyph_height / 2.0;
            const double glyph_bottom = glyph_top + truth.glyph_height;
            for (int y = 0; y < kCardHeight; ++y) {
                const bool near = y >= top - 30 && y < top + kStripeHeight + 30;
                if (!near && !rng.chance(0.15))
                    continue;
                float input[kStripeInputSize];
                if (!stripe_network_input(&ipl, y, input))
                    continue;
                // The gradient reads one row above and below, so the rows
                // just outside the ink still see the glyphs' edges.
                const bool on_glyphs = y >= std::floor(glyph_top) - 1 && y <= std::ceil(glyph_bottom) &&
                                       y >= top && y < top + kStripeHeight;
                samples.stripe_inputs.insert(samples.stripe_inputs.end(), input, input + kStripeInputSize);
                samples.stripe_labels.push_back(on_glyphs ? static_cast<std::uint8_t>(truth.pattern_type) : 0);
            }
        }

        if (options.digits) {
            for (std::size_t i = 0; i < truth.number.size(); ++i) {
                // The shift is what the core's segmentation and stripe search
                // get wrong on the frames they read; wider shifts spend the
                // small network's capacity on cells it never sees.
                const int x = static_cast<int>(std::lround(truth.cell_x[i] + rng.uniform(-1.0, 1.0)));
                const int y = static_cast<int>(std::lround(truth.stripe_y + rng.uniform(-2.0, 2.0)));
                add_digit_cell(samples, &ipl, x, y, truth.number[i], truth, 0);
            }
            const VerticalSegmentation vseg = find_number_stripe(&ipl);
            ++samples.frames;
            if (vseg.pattern_type == truth.pattern_type && std::abs(vseg.y_offset - truth.stripe_y) <= 5.0) {
                ++samples.stripes_found;
                samples.stripes_usable += vseg.score > 15.0f;
                const HorizontalSegmentation hseg = find_digit_offsets(&ipl, vseg);
                cvResetImageROI(&ipl);
                if (hseg.n_offsets == truth.number.size()) {
                    int close = 0;
                    for (std::size_t i = 0; i < truth.number.size(); ++i)
                        if (std::abs(hseg.offsets[i] - truth.cell_x[i]) <= 4.0) {
                            ++close;
                            add_digit_cell(samples, &ipl, hseg.offsets[i], vseg.y_offset, truth.number[i], truth,
                                           1);
                        }
                    samples.segmentations_close += close == static_cast<int>(truth.number.size());
                }
            }
            cvResetImageROI(&ipl);
        }
    }
    return samples;
}

bool parse_renderer(const std::string& name, bool& other, other_hand::HandFamilies& families)
{
    other = name != "ours";
    families = name == "other-benchmark" ? other_hand::HandFamilies::Benchmark : other_hand::HandFamilies::Training;
    return name == "ours" || name == "other" || name == "other-benchmark";
}

bool parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return false;
        const char* value = argv[++i];
        if (arg == "--out")
            options.out = value;
        else if (arg == "--style")
            options.style = value;
        else if (arg == "--seed")
            options.seed = std::strtoull(value, nullptr, 10);
        else if (arg == "--count")
            options.count = std::atoi(value);
        else if (arg == "--frames")
            options.frames = std::max(1, std::atoi(value));
        else if (arg == "--threads")
            options.threads = std::max(1, std::atoi(value));
        else if (arg == "--withhold" || arg == "--withheld-only") {
            char* end = nullptr;
            const long share = std::strtol(value, &end, 10);
            if (*value == '\0' || *end != '\0' || share < 0 || share >= cr::kTypeShares)
                return false;
            options.withheld_share = static_cast<int>(share);
            options.only_withheld_share = arg == "--withheld-only";
        } else if (arg == "--renderer") {
            if (!parse_renderer(value, options.other_hand, options.hand_families))
                return false;
        }
        else if (arg == "--what") {
            options.stripe = std::strcmp(value, "digits") != 0;
            options.digits = std::strcmp(value, "stripe") != 0;
        } else
            return false;
    }
    // The shares are the first renderer's type; the second has none.
    return !options.out.empty() && !(options.other_hand && options.withheld_share >= 0);
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: dump_networks --out PREFIX [--style NAME] [--seed N] [--count N] [--frames N] "
                             "[--threads N] [--what stripe|digits|both] [--renderer ours|other|other-benchmark] "
                             "[--withhold SHARE | --withheld-only SHARE]\n");
        return 2;
    }
    cr::CardStyle style = cr::style_preset(options.style);
    style.withheld_share = options.withheld_share;
    style.only_withheld_share = options.only_withheld_share;
    std::vector<Samples> per_card(static_cast<std::size_t>(options.count));
    std::atomic<int> next{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < options.threads; ++t)
        workers.emplace_back([&] {
            for (int i = next++; i < options.count; i = next++)
                per_card[static_cast<std::size_t>(i)] = dump_card(options, style, i);
        });
    for (auto& worker : workers)
        worker.join();

    Samples all;
    for (const Samples& s : per_card)
        all.append(s);
    if (options.stripe) {
        write_npy(options.out + "_stripe_x.npy", "<f4", {all.stripe_labels.size(), kStripeInputSize},
                  all.stripe_inputs.data(), all.stripe_inputs.size() * sizeof(float));
        write_npy(options.out + "_stripe_y.npy", "|u1", {all.stripe_labels.size()}, all.stripe_labels.data(),
                  all.stripe_labels.size());
    }
    if (options.digits) {
        write_npy(options.out + "_digit_x.npy", "|u1", {all.digit_labels.size(), kDigitCellHeight, kDigitCellWidth},
                  all.digit_inputs.data(), all.digit_inputs.size());
        write_npy(options.out + "_digit_y.npy", "|u1", {all.digit_labels.size()}, all.digit_labels.data(),
                  all.digit_labels.size());
        write_npy(options.out + "_digit_meta.npy", "|u1", {all.digit_labels.size(), 4}, all.digit_meta.data(),
                  all.digit_meta.size());
    }
    std::printf("dump_networks: %zu stripe rows, %zu digit cells from %d cards x %d frames (style %s, seed %llu)\n",
                all.stripe_labels.size(), all.digit_labels.size(), options.count, options.frames,
                options.style.c_str(), static_cast<unsigned long long>(options.seed));
    if (options.digits)
        std::printf("dump_networks: core stripe search right on %d of %d frames (%d usable), "
                    "segmentation within 4 px on %d\n",
                    all.stripes_found, all.frames, all.stripes_usable, all.segmentations_close);
    return 0;
}
