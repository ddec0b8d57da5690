// render_cards: writes synthetic cards as PNG files with their ground truth,
// for looking at what the networks are trained and checked on.
//
//   render_cards --out DIR [--style NAME] [--seed N] [--count N] [--clean]
//
// Each card i is rendered with seed (seed + i); without --clean it is then
// photographed once (seed + i again) into the 428 x 270 grey image the core
// reads. DIR/truth.jsonl gets one line of ground truth per card.
#include "tools/card_renderer/CardRenderer.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <opencv2/imgcodecs.hpp>

int main(int argc, char** argv)
{
    std::string out, style_name = "heldout";
    std::uint64_t seed = 1;
    int count = 16;
    bool clean = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--out" && has_value)
            out = argv[++i];
        else if (arg == "--style" && has_value)
            style_name = argv[++i];
        else if (arg == "--seed" && has_value)
            seed = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--count" && has_value)
            count = std::atoi(argv[++i]);
        else if (arg == "--clean")
            clean = true;
        else {
            std::fprintf(stderr, "usage: render_cards --out DIR [--style NAME] [--seed N] [--count N] [--clean]\n");
            return 2;
        }
    }
    if (out.empty()) {
        std::fprintf(stderr, "render_cards: --out is required\n");
        return 2;
    }
    std::filesystem::create_directories(out);
    const card_renderer::CardStyle style = card_renderer::style_preset(style_name);
    std::ofstream truth_file(out + "/truth.jsonl");
    for (int i = 0; i < count; ++i) {
        const std::uint64_t card_seed = seed + static_cast<std::uint64_t>(i);
        const card_renderer::RenderedCard card = card_renderer::render_card(style, card_seed);
        card_renderer::CardTruth truth = card.truth;
        const cv::Mat image = clean ? card.color : card_renderer::photograph(card, style.camera, card_seed, &truth);
        char name[32];
        std::snprintf(name, sizeof name, "card_%05d.png", i);
        cv::imwrite(out + "/" + name, image);
        truth_file << "{\"file\":\"" << name << "\",\"seed\":" << card_seed << ",\"truth\":" << truth.to_json()
                   << "}\n";
    }
    return 0;
}
