#pragma once
// One delivered camera frame: its pixel buffer, presentation time and
// attachments. Made by the capture session and handed to a sample-buffer
// delegate on its queue; immutable after that, so it may be read anywhere,
// though its pixel buffer's lock belongs to the queue it was delivered on.

#include <memory>
#include <string>

#include "platform/capture/PixelBuffer.h"
#include "platform/foundation/Value.h"

namespace platform {

// The camera's attachment key: a dictionary with "ISOSpeedRatings" (an array
// of one integer) and "ShutterSpeedValue" (APEX, log2(1 / exposure seconds)).
inline constexpr const char* kCGImagePropertyExifDictionary = "{Exif}";
inline constexpr const char* kCGImagePropertyExifISOSpeedRatings = "ISOSpeedRatings";
inline constexpr const char* kCGImagePropertyExifShutterSpeedValue = "ShutterSpeedValue";

class CMSampleBuffer {
public:
    // A dropped frame's buffer has no pixel buffer.
    CMSampleBuffer(std::shared_ptr<PixelBuffer> imageBuffer, double presentationTime, Dictionary attachments = {})
        : imageBuffer_(std::move(imageBuffer)), presentationTime_(presentationTime),
          attachments_(std::move(attachments)) {}

    const std::shared_ptr<PixelBuffer>& imageBuffer() const { return imageBuffer_; }
    double presentationTime() const { return presentationTime_; }
    const Dictionary& attachments() const { return attachments_; }

private:
    std::shared_ptr<PixelBuffer> imageBuffer_;
    double presentationTime_;
    Dictionary attachments_;
};

using CMSampleBufferRef = CMSampleBuffer*;

// nullptr for a null buffer or one without an image.
PixelBuffer* CMSampleBufferGetImageBuffer(const CMSampleBuffer* buffer);
// nil when the buffer is null or has no such attachment.
Value CMGetAttachment(const CMSampleBuffer* buffer, const std::string& key);

}  // namespace platform
