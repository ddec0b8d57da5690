// The camera path from pick to callback for a 12-megapixel photo: the JPEG a
// camera hands over (3000 x 4000 stored, EXIF orientation "right", so 4000 x
// 3000 upright), as the picker hands it (decoded when needed), is decoded,
// its orientation fixed, scaled to 1024 x 768, encoded at quality 80,
// stamped with a location fix through the location pass, written to its
// temporary file and answered. Next to it, the bare work no path can avoid:
// decoding that JPEG at full size and encoding the scaled result with the
// same codec library. The two run as pairs, taking turns at going first;
// each pair gives the ratio of its two times, and the median of the ratios
// holds still under load that comes and goes. Times are CPU time.
//
// HYBRID_BENCH_SHORT=1: 3 pairs.
// HYBRID_CAMERA_BENCH_JPEG=/path/to/photo.jpg: times that JPEG (with its own
// size and orientation) instead of the generated one; the target stays
// 1024 x 768.
//
// Prints `camera_pick_ms: T` (the path's median) and, last, `camera_pick_ratio: R`.
#include <benchmark/benchmark.h>

#include "MedianReporter.h"
#include "ShortMode.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "hybrid/HYBCommandDelegate.h"
#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBPluginResult.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/graphics/Context.h"
#include "platform/imageio/ImageMetadata.h"
#include "platform/location/LocationSource.h"
#include "platform/ui/ImagePickerController.h"
#include "plugins/camera/HYBCamera.h"
#include "tools/harness/StubCommandDelegate.h"

namespace {

using namespace platform;

double cpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

class AnswerCounter : public testsupport::StubCommandDelegate {
public:
    int answers = 0;
    std::string lastMessage;
    void sendPluginResult(const hybrid::HYBPluginResult& result, const std::optional<std::string>&) override {
        ++answers;
        lastMessage = result.message().isString() ? *result.message().string() : "";
    }
};

// A camera-like JPEG: 3000 x 4000 stored pixels of bands and blocks (texture
// enough for the codec to work as on a photo), EXIF orientation 6.
Data cameraJpeg() {
    const int w = 3000, h = 4000;
    UIGraphicsBeginImageContextWithOptions(CGSize{double(w), double(h)}, true, 1);
    CGContextRef context = UIGraphicsGetCurrentContext();
    for (int y = 0; y < h; y += 40)
        for (int x = 0; x < w; x += 50) {
            const double r = (x * 7 % 255) / 255.0, g = (y * 3 % 255) / 255.0, b = ((x + y) * 5 % 255) / 255.0;
            CGContextSetFillColorWithColor(context, CGColor{r, g, b, 1});
            CGContextFillRect(context, CGRectMake(x, y, 50 - (y / 40) % 7, 40 - (x / 50) % 5));
        }
    const auto stored = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return UIImageJPEGRepresentation(*UIImage::imageWithImage(*stored, UIImageOrientationRight), 0.92);
}

struct Bench {
    Data jpeg;
    std::shared_ptr<UIImage> scaledResult;  // what the path encodes, for the bare half
    std::shared_ptr<AnswerCounter> delegate = std::make_shared<AnswerCounter>();
    std::shared_ptr<plugins::HYBCamera> camera = std::make_shared<plugins::HYBCamera>(nullptr);

    explicit Bench(Data bytes) : jpeg(std::move(bytes)) {
        camera->setCommandDelegate(delegate);
        const auto upright = UIImage::imageWithData(jpeg)->uprightImage();
        scaledResult = plugins::HYBCamera::imageByScalingNotCroppingForSize(*upright, CGSize{1024, 768});
    }

    // Pick to callback; false when the answer is missing or not a file URL.
    bool cameraPath(double* seconds) {
        const int before = delegate->answers;
        camera->takePicture(hybrid::HYBInvokedUrlCommand(
            {Value(80), Value(1), Value(1), Value(1024), Value(768), Value(0), Value(0), Value(false), Value(true)},
            std::string("Camera1"), std::string("Camera"), std::string("takePicture")));
        const double start = cpuSeconds();
        UIImagePickerInfo info;
        info.mediaType = kUTTypeImage;
        info.originalImage = UIImage::imageWithDataDecodedWhenNeeded(jpeg);
        info.mediaMetadata = Dictionary{{kCGImagePropertyExifDictionary, Value(Dictionary{{"FNumber", Value(2.2)}})}};
        camera->imagePickerControllerDidFinishPickingMediaWithInfo(*camera->pickerController(), info);
        RunLoop::main().runUntil([&] { return delegate->answers > before; }, 30);
        *seconds = cpuSeconds() - start;
        const bool answered = delegate->answers == before + 1 && delegate->lastMessage.rfind("file://", 0) == 0;
        if (answered) std::filesystem::remove(delegate->lastMessage.substr(7));
        return answered;
    }

    double bareCodec() {
        const double start = cpuSeconds();
        const auto decoded = UIImage::imageWithData(jpeg);
        benchmark::DoNotOptimize(decoded.get());
        const Data encoded = UIImageJPEGRepresentation(*scaledResult, 0.8);
        benchmark::DoNotOptimize(encoded.data());
        return cpuSeconds() - start;
    }
};

std::vector<double> g_ratios;
std::vector<double> g_pathSeconds;

Data g_jpeg;

void BM_CameraPick(benchmark::State& state) {
    Bench bench(g_jpeg);
    double warmUp = 0;
    if (!bench.cameraPath(&warmUp)) {
        state.SkipWithError("the camera path gave no file URL");
        return;
    }
    bench.bareCodec();
    g_ratios.clear();
    g_pathSeconds.clear();
    std::vector<double> bare;
    for (auto _ : state) {
        double path = 0, codec = 0;
        bool ok = true;
        if (g_pathSeconds.size() % 2 == 0) {
            ok = bench.cameraPath(&path);
            codec = bench.bareCodec();
        } else {
            codec = bench.bareCodec();
            ok = bench.cameraPath(&path);
        }
        if (!ok) {
            state.SkipWithError("the camera path gave no file URL");
            g_ratios.clear();
            return;
        }
        g_pathSeconds.push_back(path);
        bare.push_back(codec);
        if (codec > 0) g_ratios.push_back(path / codec);
        state.SetIterationTime(path + codec);
    }
    state.counters["path_ms"] = median(g_pathSeconds) * 1e3;
    state.counters["codec_ms"] = median(bare) * 1e3;
    state.counters["ratio"] = median(g_ratios);
}

}  // namespace

int main(int argc, char** argv) {
    RunLoop::main().bindToCurrentThread();
    benchmark::Initialize(&argc, argv);
    char home[] = "/tmp/camera-bench-XXXXXX";
    if (!mkdtemp(home)) return 1;
    FileManager::setHomeDirectory(home);
    if (const char* path = std::getenv("HYBRID_CAMERA_BENCH_JPEG"); path && *path) {
        const auto bytes = FileManager::defaultManager().contentsAtPath(path);
        if (!bytes || !UIImage::imageWithData(*bytes)) {
            std::fprintf(stderr, "camera_bench: %s is not a readable JPEG\n", path);
            std::filesystem::remove_all(home);
            return 1;
        }
        g_jpeg = *bytes;
        std::printf("JPEG: %s\n", path);
    } else {
        g_jpeg = cameraJpeg();
    }
    // The device knows where it is, so the location pass ends on the next turn.
    CLLocation fix;
    fix.coordinate = {48.8584, 2.2945};
    fix.altitude = 35;
    fix.timestamp = 1.7e9;
    std::dynamic_pointer_cast<ScriptedLocationSource>(LocationSource::shared())->deliverLocation(fix);
    {
        LogCapture log;
        benchmark::RegisterBenchmark("BM_CameraPick", BM_CameraPick)
            ->Iterations(benchShortMode() ? 3 : 21)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
        MedianReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        for (const std::string& line : log.lines()) std::printf("log: %s\n", line.c_str());
    }
    benchmark::Shutdown();
    std::filesystem::remove_all(home);
    if (g_ratios.empty()) {
        std::printf("camera_pick_ratio: unavailable\n");
        return 1;
    }
    std::printf("camera_pick_ms: %.1f\n", median(g_pathSeconds) * 1e3);
    std::printf("camera_pick_ratio: %.2f\n", median(g_ratios));
    return 0;
}
