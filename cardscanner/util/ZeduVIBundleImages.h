#pragma once
// The images of resources/, compiled into the library by the build
// (cardscanner/CMakeLists.txt writes their definition). Private to
// ZeduVIBundle.cpp.

#include <cstddef>
#include <vector>

namespace cardscanner {

struct EmbeddedBundleImage {
    const char* path;  // "CreditCardLogos/icon_visa_large.png"
    const unsigned char* bytes;
    std::size_t size;
};

const std::vector<EmbeddedBundleImage>& embeddedBundleImages();

}  // namespace cardscanner
