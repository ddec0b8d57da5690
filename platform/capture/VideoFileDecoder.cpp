#include "platform/capture/VideoFileDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <opencv2/core.hpp>

#include <mutex>

#include "platform/foundation/Log.h"

namespace platform {
namespace {

// Larger frames than any camera films; a header claiming more is damage.
constexpr int kLargestSide = 16384;
constexpr long long kPixelBudget = 100LL * 1000 * 1000;

std::string describe(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace

struct VideoFileDecoder::State {
    std::string name;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    SwsContext* scaler = nullptr;
    int stream = -1;
    int decoded = 0;
    bool draining = false;
    bool ended = false;

    ~State() {
        sws_freeContext(scaler);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }
};

std::unique_ptr<VideoFileDecoder> VideoFileDecoder::open(const std::string& path, std::string* error) {
    static std::once_flag quiet;
    // Damaged files make the demuxers talk at length; what matters reaches our log.
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_FATAL); });
    auto fail = [&](const std::string& why) -> std::unique_ptr<VideoFileDecoder> {
        if (error) *error = "cannot read the video " + path + ": " + why;
        return nullptr;
    };
    auto state = std::make_unique<State>();
    state->name = path;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const int opened = avformat_open_input(&state->format, ("file:" + path).c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) return fail(describe(opened));
    if (const int found = avformat_find_stream_info(state->format, nullptr); found < 0) return fail(describe(found));
    const AVCodec* decoder = nullptr;
    state->stream = av_find_best_stream(state->format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (state->stream < 0 || !decoder) return fail("no video stream it can decode");
    state->codec = avcodec_alloc_context3(decoder);
    if (!state->codec) return fail("out of memory");
    const int copied =
        avcodec_parameters_to_context(state->codec, state->format->streams[state->stream]->codecpar);
    if (copied < 0) return fail(describe(copied));
    state->codec->max_pixels = kPixelBudget;
    if (const int started = avcodec_open2(state->codec, decoder, nullptr); started < 0) return fail(describe(started));
    state->packet = av_packet_alloc();
    state->frame = av_frame_alloc();
    if (!state->packet || !state->frame) return fail("out of memory");
    return std::unique_ptr<VideoFileDecoder>(new VideoFileDecoder(std::move(state)));
}

VideoFileDecoder::VideoFileDecoder(std::unique_ptr<State> state) : state_(std::move(state)) {}

VideoFileDecoder::~VideoFileDecoder() = default;

bool VideoFileDecoder::next(cv::Mat& bgr) {
    State& s = *state_;
    while (!s.ended) {
        const int received = avcodec_receive_frame(s.codec, s.frame);
        if (received == 0) {
            const bool converted = convert(bgr);
            av_frame_unref(s.frame);
            if (!converted) s.ended = true;
            return converted;
        }
        if (received != AVERROR(EAGAIN) || s.draining) {
            if (received != AVERROR_EOF)
                logf("video %s: %s; the video ends there", s.name.c_str(), describe(received).c_str());
            s.ended = true;
            break;
        }
        const int read = av_read_frame(s.format, s.packet);
        if (read < 0) {
            // The end of the file: what the decoder still holds comes out next.
            s.draining = true;
            avcodec_send_packet(s.codec, nullptr);
            continue;
        }
        // A damaged packet is skipped, as a player skips it; the frames after
        // it may still decode.
        if (s.packet->stream_index == s.stream) avcodec_send_packet(s.codec, s.packet);
        av_packet_unref(s.packet);
    }
    return false;
}

bool VideoFileDecoder::convert(cv::Mat& bgr) {
    State& s = *state_;
    const AVFrame& f = *s.frame;
    const int index = s.decoded++;
    const bool sized = f.width > 0 && f.height > 0 && f.width <= kLargestSide && f.height <= kLargestSide &&
                       static_cast<long long>(f.width) * f.height <= kPixelBudget;
    const auto format = static_cast<AVPixelFormat>(f.format);
    if (sized && f.format >= 0 && f.data[0]) {
        s.scaler = sws_getCachedContext(s.scaler, f.width, f.height, format, f.width, f.height, AV_PIX_FMT_BGR24,
                                        SWS_BILINEAR, nullptr, nullptr, nullptr);
    }
    if (!sized || f.format < 0 || !f.data[0] || !s.scaler) {
        logf("video %s: frame %d (%d x %d, pixel format %d) cannot be used; the video ends there", s.name.c_str(),
             index, f.width, f.height, f.format);
        return false;
    }
    bgr.create(f.height, f.width, CV_8UC3);
    std::uint8_t* planes[4] = {bgr.data, nullptr, nullptr, nullptr};
    int strides[4] = {static_cast<int>(bgr.step[0]), 0, 0, 0};
    sws_scale(s.scaler, f.data, f.linesize, 0, f.height, planes, strides);
    return true;
}

}  // namespace platform
