#pragma once
// The scanner's resource bundle: the images under cardscanner/resources
// (the card-type logos), compiled into the library by the build so that
// an app, the simulator and the tests find them without a resource path.
// Decoded images are kept; safe on any thread.

#include <memory>
#include <string>

namespace platform {
class UIImage;
}

namespace cardscanner {

class ZeduVIBundle {
public:
    // A resource path such as "CreditCardLogos/icon_visa_large.png";
    // nullptr when the bundle has no such image.
    static std::shared_ptr<platform::UIImage> imageNamed(const std::string& path);
};

}  // namespace cardscanner
