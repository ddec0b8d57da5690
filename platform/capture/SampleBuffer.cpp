#include "platform/capture/SampleBuffer.h"

namespace platform {

PixelBuffer* CMSampleBufferGetImageBuffer(const CMSampleBuffer* buffer) {
    return buffer ? buffer->imageBuffer().get() : nullptr;
}

Value CMGetAttachment(const CMSampleBuffer* buffer, const std::string& key) {
    if (!buffer) return {};
    auto it = buffer->attachments().find(key);
    return it == buffer->attachments().end() ? Value() : it->second;
}

}  // namespace platform
