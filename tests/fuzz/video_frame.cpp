// Frame analysis of whatever the camera delivers: a 640 x 480 bi-planar frame
// whose luma and chroma planes are filled with the input, repeated to size,
// analysed by a real scanner. The first byte picks the frame's settings.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/capture/PixelBuffer.h"
#include "cardscanner/analysis/ZeduVICardScanner.h"
#include "cardscanner/analysis/ZeduVIVideoFrame.h"
#include "cardscanner/core/Transform.h"
#include "platform/foundation/Log.h"

using namespace cardscanner;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static RecoContext* reco = reco_context_create();
    if (size < 2) return 0;
    platform::LogCapture quiet;
    const uint8_t settings = data[0];
    const uint8_t* fill = data + 1;
    const std::size_t fillSize = size - 1;

    // Rows padded as some camera drivers pad them.
    auto buffer = PixelBuffer::create(640, 480, (settings & 0x40) ? 16 : 0);
    std::size_t at = 0;
    for (std::size_t plane = 0; plane < buffer->planeCount(); ++plane) {
        for (std::uint8_t& byte : buffer->planeData(plane)) byte = fill[at++ % fillSize];
    }

    auto scanner = std::make_shared<ZeduVICardScanner>();
    // Orientations 0 to 7: the four of the interface and some it never has.
    ZeduVIVideoFrame frame(buffer.get(), settings & 0x07);
    frame.setReco(reco);
    frame.setScanner(scanner);
    const ZeduVIDetectionMode modes[] = {ZeduVIDetectionModeNumber, ZeduVIDetectionModeImage,
                                         ZeduVIDetectionModeAuto, ZeduVIDetectionModeNumber};
    frame.setDetectionMode(modes[(settings >> 3) & 0x03]);
    frame.setCalculateBrightness(true);
    frame.setTorchIsOn(settings & 0x20);
    frame.setScanExpiry(settings & 0x80);
    frame.setIsoSpeed(80);
    frame.setShutterSpeed(0.02f);
    frame.process();
    frame.encodedImageUsingEncoding(1);
    frame.encodedImageUsingEncoding(2);
    return 0;
}
