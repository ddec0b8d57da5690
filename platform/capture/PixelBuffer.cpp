#include "platform/capture/PixelBuffer.h"

namespace platform {

std::shared_ptr<PixelBuffer> PixelBuffer::create(int width, int height, std::size_t rowPadding) {
    if (width <= 0 || height <= 0) return nullptr;
    return std::make_shared<PixelBuffer>(width, height, rowPadding);
}

PixelBuffer::PixelBuffer(int width, int height, std::size_t rowPadding) {
    width_[0] = static_cast<std::size_t>(width > 0 ? width : 0);
    height_[0] = static_cast<std::size_t>(height > 0 ? height : 0);
    width_[1] = (width_[0] + 1) / 2;
    height_[1] = (height_[0] + 1) / 2;
    bytesPerRow_[0] = width_[0] + rowPadding;
    bytesPerRow_[1] = 2 * width_[1] + rowPadding;
    planes_[0].assign(bytesPerRow_[0] * height_[0], 0);
    planes_[1].assign(bytesPerRow_[1] * height_[1], 128);
}

std::size_t PixelBuffer::widthOfPlane(std::size_t plane) const { return plane < kPlaneCount ? width_[plane] : 0; }

std::size_t PixelBuffer::heightOfPlane(std::size_t plane) const { return plane < kPlaneCount ? height_[plane] : 0; }

std::size_t PixelBuffer::bytesPerRowOfPlane(std::size_t plane) const {
    return plane < kPlaneCount ? bytesPerRow_[plane] : 0;
}

std::uint8_t* PixelBuffer::baseAddressOfPlane(std::size_t plane) {
    if (plane >= kPlaneCount || !isLocked() || planes_[plane].empty()) return nullptr;
    return planes_[plane].data();
}

void PixelBuffer::lockBaseAddress() { ++lockCount_; }

bool PixelBuffer::unlockBaseAddress() {
    if (lockCount_ == 0) return false;
    --lockCount_;
    return true;
}

}  // namespace platform
