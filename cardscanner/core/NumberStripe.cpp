#include "cardscanner/core/NumberStripe.h"

#include "cardscanner/core/NetworkLayers.h"

#include "cardscanner/core/ImageView.h"
#include "cardscanner/core/Weights.h"

#include <Eigen/Core>

#include <algorithm>
#include <cmath>
#include <cstring>

const float digit_template_profile[kDigitCellWidth] = {
    0.2622865f, 0.3028955f, 0.3463261f, 0.3872564f, 0.4274581f, 0.4587514f, 0.4649802f,
    0.4525845f, 0.4304522f, 0.4243046f, 0.4479655f, 0.4772653f, 0.4847164f, 0.4645774f,
    0.4279985f, 0.3885118f, 0.3396631f, 0.2880261f, 0.253776f,
};

namespace {

struct NumberPattern {
    uint8_t slots[kMaxPatternSlots];
    uint8_t length;
    uint8_t digits;
};

constexpr NumberPattern kNumberPatterns[3] = {
    {{}, 0, 0},
    {{1, 1, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1, 1, 1}, 19, 16},
    {{1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 0, 0}, 17, 15},
};

bool is_card_image(const IplImage* card, ImageView& view)
{
    return whole_image_view(card, view) && is_plane8(view) && view.width == kCardWidth && view.height == kCardHeight;
}

// Morphological gradient with a 3 x 3 cross over a region, neighbours clamped
// to the region.
void cross_gradient_region(const ImageView& in, uint8_t* out, int out_step)
{
    const int w = in.width;
    const int h = in.height;
    for (int y = 0; y < h; ++y) {
        const uint8_t* above = in.row(y > 0 ? y - 1 : y);
        const uint8_t* here = in.row(y);
        const uint8_t* below = in.row(y + 1 < h ? y + 1 : y);
        uint8_t* o = out + static_cast<std::ptrdiff_t>(y) * out_step;
        for (int x = 0; x < w; ++x) {
            const uint8_t left = here[x > 0 ? x - 1 : x];
            const uint8_t right = here[x + 1 < w ? x + 1 : x];
            const uint8_t hi = std::max({here[x], left, right, above[x], below[x]});
            const uint8_t lo = std::min({here[x], left, right, above[x], below[x]});
            o[x] = static_cast<uint8_t>(hi - lo);
        }
    }
}

// The gradient of one card row as the library's morphology computes it on a
// one-row region of interest: the region stands alone, so only the left and
// right neighbours inside it take part. The stripe network was trained on
// this.
void stripe_row_gradient(const ImageView& row, uint8_t* out)
{
    ImageView region = row;
    region.height = 1;
    cross_gradient_region(region, out, row.width);
}

// Bilinear halving, bit-exact with the library's 8-bit linear resize.
void halve_row(const uint8_t* in, int out_width, uint8_t* out)
{
    for (int i = 0; i < out_width; ++i)
        out[i] = static_cast<uint8_t>((in[2 * i] + in[2 * i + 1] + 1) >> 1);
}

// Min-max normalisation to 0..1 as the library's normalise does it: the scale
// and shift in double precision, applied in single precision; a constant
// input becomes all 0.
void normalize_min_max(float* values, int count)
{
    if (count == 0)
        return;
    float lo = values[0];
    float hi = values[0];
    for (int i = 1; i < count; ++i) {
        lo = std::min(lo, values[i]);
        hi = std::max(hi, values[i]);
    }
    const double range = static_cast<double>(hi) - static_cast<double>(lo);
    const double scale = range > 2.220446049250313e-16 ? 1.0 / range : 0.0;
    const double shift = -static_cast<double>(lo) * scale;
    const float a = static_cast<float>(scale);
    const float b = static_cast<float>(shift);
    for (int i = 0; i < count; ++i)
        values[i] = values[i] * a + b;
}

void stripe_input_from_small_row(const uint8_t* small_row, float* input)
{
    const float scale = static_cast<float>(1.0 / 255.0);
    for (int i = 0; i < kStripeInputSize; ++i)
        input[i] = static_cast<float>(small_row[i]) * scale;
    normalize_min_max(input, kStripeInputSize);
}


struct StripeWindow {
    float score = 0.0f;
    int start = 0;
    uint8_t type = 0;
};

StripeWindow best_stripe_window(const float* p16, const float* p15)
{
    StripeWindow best;
    float sum16 = 0.0f;
    float sum15 = 0.0f;
    for (int i = 0; i < kCardHeight; ++i) {
        sum16 += p16[i];
        sum15 += p15[i];
        if (i >= kStripeHeight) {
            sum16 -= p16[i - kStripeHeight];
            sum15 -= p15[i - kStripeHeight];
        }
        if (i < kStripeHeight - 1)
            continue;
        if (sum16 > best.score)
            best = {sum16, i - (kStripeHeight - 1), 1};
        if (sum15 > best.score)
            best = {sum15, i - (kStripeHeight - 1), 2};
    }
    return best;
}

} // namespace

VerticalSegmentation vertical_segmentation_for_pattern(uint8_t pattern_type, float score, uint16_t y_offset)
{
    const uint8_t type = pattern_type <= 2 ? pattern_type : 0;
    const NumberPattern& pattern = kNumberPatterns[type];
    VerticalSegmentation vseg{};
    vseg.score = score;
    vseg.y_offset = y_offset;
    vseg.pattern_type = type;
    std::memcpy(vseg.number_pattern, pattern.slots, sizeof vseg.number_pattern);
    vseg.number_pattern_length = pattern.length;
    vseg.number_length = pattern.digits;
    return vseg;
}

bool cross_gradient(const IplImage* src, IplImage* dst)
{
    ImageView in, out;
    if (!image_view(src, in) || !image_view(dst, out) || !is_plane8(in) || !is_plane8(out) || in.width != out.width
        || in.height != out.height)
        return false;
    if (in.data == out.data && in.width > 0 && in.height > 0)
        return false; // the gradient reads rows it has already written
    cross_gradient_region(in, out.data, out.step);
    return true;
}

bool stripe_network_input(const IplImage* card, int y, float input[kStripeInputSize])
{
    ImageView view;
    if (input == nullptr || !is_card_image(card, view) || y < 0 || y >= kCardHeight)
        return false;
    ImageView row = view;
    row.data = view.row(y) + kStripeRowX;
    row.width = kStripeRowWidth;
    row.height = 1;
    uint8_t gradient[kStripeRowWidth];
    uint8_t small_row[kStripeInputSize];
    stripe_row_gradient(row, gradient);
    halve_row(gradient, kStripeInputSize, small_row);
    stripe_input_from_small_row(small_row, input);
    return true;
}

std::array<float, 3> run_stripe_network(const float input[kStripeInputSize])
{
    const Eigen::Map<const Eigen::Matrix<float, kStripeInputSize, 1>> x(input);
    const auto hidden = dense_layer<50, kStripeInputSize>(stripe_network.hidden_weights, stripe_network.hidden_biases,
                                                          x, Activation::Tanh);
    return softmax<3>(dense_layer<3, 50>(stripe_network.output_weights, stripe_network.output_biases, hidden,
                                         Activation::None));
}

std::array<float, 3> classify_number_stripe(const IplImage* row, IplImage* gradient_row, IplImage* small_row,
                                            IplImage* input_row)
{
    ImageView region, gradient, small, inputs;
    if (!image_view(row, region) || !is_plane8(region)
        || region.width != kStripeRowWidth || region.height != 1)
        return {};
    if (!image_view(gradient_row, gradient) || !is_plane8(gradient) || gradient.width != kStripeRowWidth
        || gradient.height != 1)
        return {};
    if (!image_view(small_row, small) || !is_plane8(small) || small.width != kStripeInputSize || small.height != 1)
        return {};
    if (!image_view(input_row, inputs) || inputs.depth != IPL_DEPTH_32F || inputs.channels != 1
        || inputs.width != kStripeInputSize || inputs.height != 1)
        return {};
    stripe_row_gradient(region, gradient.data);
    halve_row(gradient.data, kStripeInputSize, small.data);
    auto* input = reinterpret_cast<float*>(inputs.data);
    stripe_input_from_small_row(small.data, input);
    return run_stripe_network(input);
}

VerticalSegmentation search_number_stripe(const StripeRowScorer& score_row)
{
    float p16[kCardHeight] = {};
    float p15[kCardHeight] = {};
    auto score = [&](int y) {
        const std::array<float, 3> p = score_row(y);
        p16[y] = p[1];
        p15[y] = p[2];
    };
    for (int y = 0; y < kCardHeight; y += 4)
        score(y);
    const int band_start = best_stripe_window(p16, p15).start;
    const int from = std::max(0, band_start - 8);
    const int to = std::min(band_start + 35, kCardHeight);
    for (int y = from; y < to; ++y) {
        // Rows the coarse pass skipped are the ones still exactly 0.
        if (p16[y] == 0.0f && p15[y] == 0.0f)
            score(y);
    }
    const StripeWindow best = best_stripe_window(p16, p15);
    return vertical_segmentation_for_pattern(best.type, best.score, static_cast<uint16_t>(best.start));
}

VerticalSegmentation find_number_stripe(IplImage* card)
{
    ImageView view;
    if (!is_card_image(card, view))
        return vertical_segmentation_for_pattern(0, 0.0f, 0);
    cvResetImageROI(card);
    return search_number_stripe([card](int y) {
        float input[kStripeInputSize];
        stripe_network_input(card, y, input);
        return run_stripe_network(input);
    });
}

HorizontalSegmentation segment_number_stripe(const float* profile, const VerticalSegmentation& vseg,
                                             HorizontalSegmentation& best, uint16_t x_start, uint16_t x_end,
                                             uint16_t x_step, float pitch_start, float pitch_end, float pitch_step)
{
    if (!(pitch_start < pitch_end))
        return best;
    if (profile == nullptr || x_step == 0 || !(pitch_step > 0.0f) || !std::isfinite(pitch_start)
        || !std::isfinite(pitch_end) || !std::isfinite(pitch_step))
        return best;
    const int slots = std::min<int>(vseg.number_pattern_length, kMaxPatternSlots);
    float synthetic[kCardWidth];
    uint16_t offsets[kMaxDigits];
    for (float p = pitch_start; p < pitch_end; p += pitch_step) {
        // Limits in signed arithmetic: a pattern wider than the card leaves no
        // start position instead of wrapping round to a huge limit.
        int x_limit = std::max(kCardWidth - static_cast<int>(std::lround(p * static_cast<float>(slots))), 0);
        if (x_end != 65535 && x_end <= x_limit)
            x_limit = x_end;
        for (int x = x_start; x < x_limit; x += x_step) {
            std::fill(std::begin(synthetic), std::end(synthetic), 0.0f);
            bool fits = true;
            int count = 0;
            for (int j = 0; j < slots; ++j) {
                if (vseg.number_pattern[j] != 1)
                    continue;
                const int cell = x + static_cast<int>(std::lround(p * static_cast<float>(j)));
                if (cell >= 0 && cell + kDigitCellWidth <= kCardWidth - 1)
                    std::copy(std::begin(digit_template_profile), std::end(digit_template_profile), synthetic + cell);
                else
                    fits = false;
                if (count < kMaxDigits)
                    offsets[count++] = static_cast<uint16_t>(std::max(cell, 0));
            }
            if (!fits)
                continue;
            float score = 0.0f;
            for (int i = 0; i < kCardWidth; ++i)
                score += std::fabs(profile[i] - synthetic[i]);
            if (score < best.score) {
                std::copy(offsets, offsets + count, best.offsets);
                best.score = score;
                best.number_width = p;
                best.pattern_offset = static_cast<uint16_t>(x);
            }
        }
        if (p + pitch_step == p)
            break;
    }
    return best;
}

bool number_stripe_profile(const IplImage* card, int y_offset, float profile[kCardWidth])
{
    ImageView view;
    if (profile == nullptr || !is_card_image(card, view) || y_offset < 0 || y_offset + kStripeHeight > kCardHeight)
        return false;
    ImageView stripe = view;
    stripe.data = view.row(y_offset);
    stripe.height = kStripeHeight;
    uint8_t gradient[kStripeHeight * kCardWidth];
    cross_gradient_region(stripe, gradient, kCardWidth);
    for (int x = 0; x < kCardWidth; ++x) {
        int sum = 0;
        for (int y = 0; y < kStripeHeight; ++y)
            sum += gradient[y * kCardWidth + x];
        profile[x] = static_cast<float>(sum);
    }
    normalize_min_max(profile, kCardWidth);
    return true;
}

HorizontalSegmentation segment_digits(const float profile[kCardWidth], const VerticalSegmentation& vseg)
{
    HorizontalSegmentation best{};
    best.n_offsets = std::min<uint8_t>(vseg.number_length, kMaxDigits);
    best.score = static_cast<float>(kCardWidth);
    segment_number_stripe(profile, vseg, best, 0, 65535, 10, 17.1f, 19.7f, 0.5f);
    struct Pass {
        float pitch_span;
        float pitch_step;
        int x_span;
    };
    constexpr Pass kFinePasses[] = {{0.5f, 0.2f, 10}, {0.2f, 0.1f, 3}, {0.1f, 0.05f, 3}};
    for (const Pass& pass : kFinePasses) {
        const float w = best.number_width;
        const int o = best.pattern_offset;
        const auto x_from = static_cast<uint16_t>(std::max(o - pass.x_span, 0));
        const auto x_to = static_cast<uint16_t>(o + pass.x_span);
        segment_number_stripe(profile, vseg, best, x_from, x_to, 1, w - pass.pitch_span, w + pass.pitch_span,
                              pass.pitch_step);
    }
    return best;
}

HorizontalSegmentation find_digit_offsets(IplImage* card, const VerticalSegmentation& vseg)
{
    float profile[kCardWidth];
    if (!number_stripe_profile(card, vseg.y_offset, profile))
        return HorizontalSegmentation{};
    cvSetImageROI(card, cvRect(0, vseg.y_offset, kCardWidth, kStripeHeight));
    return segment_digits(profile, vseg);
}
