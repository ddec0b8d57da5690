// A second card renderer, written apart from tools/card_renderer so that the
// recognition core can be measured on cards that no code of its training
// world drew: its own type (outline fonts of families the first renderer
// never loads, and stroke-drawn digits of our own skeletons), its own relief
// (a height field of the strokes lit by a point or area light with cast
// shadows), its own designs and its own camera.
//
// Cards are drawn on the 428 x 270 warped-card frame the core reads, at the
// card standard's places: the number's baseline on row 163 give or take 3,
// the date line below it. The truth uses the core's own conventions beside
// the ink boxes (stripe_y, the top of the 27-row stripe centred on the
// glyphs; cell_x, the left edge of each 19-px cell centred on its slot), so
// the benchmarks can hand it to the core without converting.
//
// Deterministic per seed through our own generator (no standard
// distributions). Every function is reentrant: nothing is shared between
// calls but fontconfig's and cairo's internal caches.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace other_hand {

// A counter hashed by SplitMix64's finaliser: one 64-bit word of state, so a
// stream can be forked from a seed and a purpose without drawing from it.
class Dice {
public:
    explicit Dice(std::uint64_t seed);
    Dice(std::uint64_t seed, std::uint64_t purpose) : Dice(seed ^ (purpose * 0xD1B54A32D192ED03ull)) {}
    std::uint64_t word();
    double unit();                              // [0, 1)
    double range(double lo, double hi);         // [lo, hi)
    int whole(int lo, int hi);                  // [lo, hi]
    bool coin(double p);
    double gauss();                             // standard normal

private:
    std::uint64_t counter_;
};

constexpr int kCardWidth = 428;
constexpr int kCardHeight = 270;
constexpr double kStandardBaselineRow = 163.0;   // 21.42 mm above the bottom edge of a 53.98 mm card
constexpr int kCoreCellWidth = 19;
constexpr int kCoreStripeHeight = 27;
constexpr int kCoreDateCellWidth = 11;
constexpr int kCoreDateCellHeight = 16;

struct InkBox {
    double x = 0, y = 0, width = 0, height = 0;
};

struct CalendarMonth {
    int month = 6;
    int year = 2025;
};

struct HandTruth {
    std::string number;
    int pattern_type = 1;                 // 1: 16 digits 4-4-4-4, 2: 15 digits 4-6-5
    std::vector<InkBox> digit_boxes;      // the drawn ink of each digit, reading order
    double pitch = 0;
    double glyph_height = 0;
    double stripe_y = 0;                  // core convention: top row of the 27-row stripe
    std::vector<double> cell_x;           // core convention: left edge of each 19-px cell

    bool has_date = false;
    int month = 0, year = 0;              // four-digit year
    std::vector<InkBox> date_boxes;       // "M", "M", "/", "Y", "Y"
    std::array<cv::Point2d, 5> date_cell_top_left{};   // core convention: 11 x 16 cells
    double date_pitch = 0;
    double date_glyph_height = 0;
    std::string date_label;               // "" or the words beside the date

    std::string face;                     // "Inter Black", "stroke serif 0.14 round", ...
    bool stroke_face = false;
    std::string finish;                   // "printed", "embossed" or "foil"
    double relief_height = 0, relief_softness = 0;
    double light_azimuth = 0, light_elevation = 0;   // degrees
    std::string name;

    int rounded_stripe_y() const;
    int rounded_cell_x(std::size_t i) const;
    std::string to_json() const;
};

struct HandCard {
    cv::Mat color;   // CV_8UC3 BGR, 428 x 270
    HandTruth truth;
};

// The type families are split in two, so that networks trained on some of
// this hand's cards can still be measured on type they never saw: the
// benchmark draws Karla, Noto Serif Display, Old Standard and the stroked
// serif digits; training draws Inter, Noto Sans and its Display cut, Carlito,
// Noto Serif and the stroked sans digits. Only the face changes with the
// split; every other draw of a seed stays the same.
enum class HandFamilies { Benchmark, Training };

// Dates run from `today` to December four years on, the span the core
// accepts as an expiry.
HandCard render_hand_card(std::uint64_t seed, CalendarMonth today = {},
                          HandFamilies families = HandFamilies::Benchmark);

// The outline families the cards draw from that fontconfig does not have
// (a substitute would silently draw another face); empty when all are there.
std::vector<std::string> missing_hand_fonts();

// A random number of the given length (15: American Express; 16: the
// 16-digit issuers) with a real issuer prefix, passing Luhn.
std::string issuer_number(Dice& dice, int length);
bool passes_luhn(const std::string& digits);

// One camera shot of the card already warped to 428 x 270, as the core sees
// it after the edge finder: 8-bit grey. `card_to_shot`, when given, receives
// the corners' leftover error as a homography (pixel centres on whole
// coordinates), so that a measuring tool can carry the truth into the shot.
cv::Mat photograph_hand_card(const HandCard& card, std::uint64_t seed, cv::Matx33d* card_to_shot = nullptr);

// One 640 x 480 frame of the card held at `guide` (top left, top right,
// bottom right, bottom left; pixel centres), as a phone's preview stream
// delivers it: full-range BT.601 luma and interleaved 4:2:0 CbCr.
struct HandFrame {
    int width = 640, height = 480;
    std::vector<std::uint8_t> y;
    std::vector<std::uint8_t> cbcr;
    std::array<cv::Point2d, 4> corners{};
};
class HandFilm {
public:
    HandFilm(const HandCard& card, const std::array<cv::Point2d, 4>& guide, std::uint64_t seed);
    // The same index always gives the same frame; frames may be made on
    // several threads at once.
    HandFrame frame(int index) const;

private:
    cv::Mat card_rgba_;    // CV_32FC4, the card with its rounded corners in alpha
    cv::Mat table_;        // CV_32FC3, 640 x 480
    std::array<cv::Point2d, 4> placed_{};
    cv::Point2d drift_{};
    std::uint64_t seed_;
};

}  // namespace other_hand
