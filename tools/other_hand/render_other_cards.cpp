// render_other_cards: writes the second renderer's cards as PNG files with
// their ground truth, for the trainer and for looking at them.
//
//   render_other_cards --out DIR [--seed N] [--count N] [--clean] [--training]
//
// Card i is rendered with seed (seed + i); without --clean it is then
// photographed once (seed + i again) into the 428 x 270 grey image the core
// reads. DIR/truth.jsonl gets one line of ground truth per card. Cards draw
// the benchmark's type families, or with --training the training ones.
#include "tools/other_hand/OtherHand.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <opencv2/imgcodecs.hpp>

int main(int argc, char** argv)
{
    std::string out;
    std::uint64_t seed = 1;
    int count = 16;
    bool clean = false;
    auto families = other_hand::HandFamilies::Benchmark;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--out" && has_value)
            out = argv[++i];
        else if (arg == "--seed" && has_value)
            seed = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--count" && has_value)
            count = std::atoi(argv[++i]);
        else if (arg == "--clean")
            clean = true;
        else if (arg == "--training")
            families = other_hand::HandFamilies::Training;
        else {
            std::fprintf(stderr, "usage: render_other_cards --out DIR [--seed N] [--count N] [--clean] [--training]\n");
            return 2;
        }
    }
    if (out.empty()) {
        std::fprintf(stderr, "render_other_cards: --out is required\n");
        return 2;
    }
    if (const auto missing = other_hand::missing_hand_fonts(); !missing.empty()) {
        for (const std::string& family : missing)
            std::fprintf(stderr, "render_other_cards: font family %s is not installed (scripts/deps)\n",
                         family.c_str());
        return 1;
    }
    std::filesystem::create_directories(out);
    std::ofstream truth_file(out + "/truth.jsonl");
    for (int i = 0; i < count; ++i) {
        const std::uint64_t card_seed = seed + static_cast<std::uint64_t>(i);
        const other_hand::HandCard card = other_hand::render_hand_card(card_seed, {}, families);
        const cv::Mat image = clean ? card.color : other_hand::photograph_hand_card(card, card_seed);
        char name[32];
        std::snprintf(name, sizeof name, "card_%05d.png", i);
        cv::imwrite(out + "/" + name, image);
        truth_file << "{\"file\":\"" << name << "\",\"seed\":" << card_seed << ",\"truth\":" << card.truth.to_json()
                   << "}\n";
    }
    return 0;
}
