#include "cardscanner/util/ZeduVIUtilities.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

#include <cairo.h>
#include <opencv2/imgproc.hpp>

#include "cardscanner/util/ZeduVIMacros.h"
#include "platform/capture/CaptureDevice.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/graphics/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Render.h"
#include "platform/ui/Window.h"

namespace cardscanner {

namespace {

std::optional<bool>& rememberedAnswer() {
    static std::optional<bool> answer;
    return answer;
}

// Strong enough that the screen's text is no longer readable, as a cover for
// the task switcher should be.
constexpr double kBlurSigmaPoints = 8.0;

}  // namespace

bool ZeduVIUtilities::canReadCardWithCamera() {
    platform::assertMainThread("ZeduVIUtilities::canReadCardWithCamera");
    std::optional<bool>& remembered = rememberedAnswer();
    if (remembered) return *remembered;
    if (!platform::AVCaptureDevice::defaultDeviceWithMediaType(platform::AVMediaTypeVideo)) {
        platform::log("card scanner: this device has no video camera; cards can only be typed in");
        remembered = false;
        return false;
    }
    if (ZeduVIMacros::deviceSystemMajorVersion() < 7) {
        remembered = true;
        return true;
    }
    const platform::AVAuthorizationStatus status =
        platform::AVCaptureDevice::authorizationStatusForMediaType(platform::AVMediaTypeVideo);
    return status != platform::AVAuthorizationStatusRestricted && status != platform::AVAuthorizationStatusDenied;
}

double ZeduVIUtilities::rotationForDeviceOrientation(long deviceOrientation) {
    switch (deviceOrientation) {
        case 2: return std::numbers::pi;
        case 3: return std::numbers::pi / 2;
        case 4: return -std::numbers::pi / 2;
        default: return 0;
    }
}

void ZeduVIUtilities::resetRememberedCameraAnswer() { rememberedAnswer().reset(); }

std::shared_ptr<platform::UIImageView> ZeduVIUtilities::blurredScreenImageView() {
    platform::assertMainThread("ZeduVIUtilities::blurredScreenImageView");
    const std::shared_ptr<platform::UIWindow> window = platform::UIWindow::keyWindow();
    if (!window) return nullptr;
    const platform::CGRect bounds = window->bounds();
    auto imageView = std::make_shared<platform::UIImageView>(bounds);
    const double scale = 1;
    const std::shared_ptr<platform::UIImage> snapshot = platform::renderViewToImage(*window, scale);
    if (!snapshot) return imageView;
    cairo_surface_t* surface = snapshot->surface();
    cairo_surface_flush(surface);
    cv::Mat pixels(cairo_image_surface_get_height(surface), cairo_image_surface_get_width(surface), CV_8UC4,
                   cairo_image_surface_get_data(surface),
                   static_cast<std::size_t>(cairo_image_surface_get_stride(surface)));
    // Replicated borders keep the edges from darkening into the blur.
    cv::GaussianBlur(pixels, pixels, cv::Size(0, 0), kBlurSigmaPoints * scale, 0, cv::BORDER_REPLICATE);
    cairo_surface_mark_dirty(surface);
    imageView->setImage(snapshot);
    return imageView;
}

}  // namespace cardscanner
