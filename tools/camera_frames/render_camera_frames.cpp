// render_camera_frames: writes frames of rendered camera sequences as PNGs
// (through the core's YCbCr conversion) with a truth.jsonl, for looking at.
//
//   render_camera_frames --out DIR [--style NAME] [--seed N] [--count N] [--frames N]
#include "tools/camera_frames/CameraFrames.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <opencv2/imgcodecs.hpp>

int main(int argc, char** argv)
{
    std::string out, style = "heldout";
    std::uint64_t seed = 9100000;
    int count = 4, frames = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i], value = argv[i + 1];
        if (key == "--out") out = value;
        else if (key == "--style") style = value;
        else if (key == "--seed") seed = std::strtoull(value.c_str(), nullptr, 10);
        else if (key == "--count") count = std::atoi(value.c_str());
        else if (key == "--frames") frames = std::atoi(value.c_str());
    }
    if (out.empty()) {
        std::fprintf(stderr, "usage: render_camera_frames --out DIR [--style NAME] [--seed N] [--count N] [--frames N]\n");
        return 2;
    }
    std::filesystem::create_directories(out);
    std::ofstream truth(out + "/truth.jsonl");
    for (int c = 0; c < count; ++c) {
        const camera_frames::CameraSequence sequence(card_renderer::style_preset(style), seed + c, {6, 2025});
        cv::imwrite(out + "/card_" + std::to_string(seed + c) + ".png", sequence.card().color);
        for (int f = 0; f < frames; ++f) {
            const camera_frames::CameraFrame frame = sequence.frame(f);
            const std::string name = "frame_" + std::to_string(seed + c) + "_" + std::to_string(f) + ".png";
            cv::imwrite(out + "/" + name, frame.to_bgr());
            char line[512];
            std::snprintf(line, sizeof line,
                          "{\"file\":\"%s\",\"number\":\"%s\",\"expiry\":\"%s\",\"upside_down\":%s,"
                          "\"defocus\":%.2f,\"corners\":[[%.2f,%.2f],[%.2f,%.2f],[%.2f,%.2f],[%.2f,%.2f]]}\n",
                          name.c_str(), frame.number.c_str(),
                          frame.expiry.present ? (std::to_string(frame.expiry.month) + "/" + std::to_string(frame.expiry.year)).c_str() : "",
                          frame.upside_down ? "true" : "false", frame.defocus_sigma, frame.corners.top_left.x,
                          frame.corners.top_left.y, frame.corners.top_right.x, frame.corners.top_right.y,
                          frame.corners.bottom_left.x, frame.corners.bottom_left.y, frame.corners.bottom_right.x,
                          frame.corners.bottom_right.y);
            truth << line;
        }
    }
    return 0;
}
