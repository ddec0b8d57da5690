#pragma once
// Stand-in for the camera's pixel buffer: one bi-planar 4:2:0 frame, a Y
// plane (640 x 480 from the camera) and an interleaved CbCr plane of half
// the width and height, each row optionally followed by padding bytes, as
// camera drivers lay rows out on aligned strides.
//
// As on the phone, the planes' memory may be touched only between
// lockBaseAddress() and unlockBaseAddress(): baseAddressOfPlane() answers
// nullptr otherwise. Locks nest. The buffer belongs to the capture queue
// that delivered it; it is not guarded for use from several threads.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace platform {

class PixelBuffer {
public:
    static constexpr std::size_t kPlaneCount = 2;

    // Y width x height, CbCr ceil(width / 2) x ceil(height / 2) pairs; every
    // byte 0 (Y) or 128 (CbCr: no colour). nullptr for an empty size.
    static std::shared_ptr<PixelBuffer> create(int width = 640, int height = 480, std::size_t rowPadding = 0);

    PixelBuffer(int width, int height, std::size_t rowPadding);

    std::size_t planeCount() const { return kPlaneCount; }
    // 0 for a plane that does not exist.
    std::size_t widthOfPlane(std::size_t plane) const;
    std::size_t heightOfPlane(std::size_t plane) const;
    std::size_t bytesPerRowOfPlane(std::size_t plane) const;
    // nullptr while unlocked or for a plane that does not exist.
    std::uint8_t* baseAddressOfPlane(std::size_t plane);

    void lockBaseAddress();
    // False (and nothing changes) when the buffer was not locked.
    bool unlockBaseAddress();
    bool isLocked() const { return lockCount_ > 0; }

    // The plane's bytes whatever the lock, for whoever fills the frame (the
    // frame source, tests); empty for a plane that does not exist.
    std::span<std::uint8_t> planeData(std::size_t plane) {
        return plane < kPlaneCount ? std::span<std::uint8_t>(planes_[plane]) : std::span<std::uint8_t>();
    }

private:
    std::size_t width_[kPlaneCount];
    std::size_t height_[kPlaneCount];
    std::size_t bytesPerRow_[kPlaneCount];
    std::vector<std::uint8_t> planes_[kPlaneCount];
    int lockCount_ = 0;
};

}  // namespace platform
