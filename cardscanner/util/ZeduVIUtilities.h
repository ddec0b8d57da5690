#pragma once
// Small questions the scan screens ask of the device and the screen: can the
// camera read cards at all, and a blurred picture of the screen to cover it
// while the app is inactive. Main thread only.

#include <memory>

namespace platform {
class UIImageView;
}

namespace cardscanner {

class ZeduVIUtilities {
public:
    // Yes when the device has a video camera and, from system version 7 on,
    // its use is neither restricted nor denied. A missing camera is logged
    // once and the answer remembered for the life of the process, as is a
    // yes below version 7.
    static bool canReadCardWithCamera();
    // A new image view the size of the key window holding a blurred snapshot
    // of it; nullptr without a key window.
    static std::shared_ptr<platform::UIImageView> blurredScreenImageView();

    // The quarter turns that make what is drawn on a portrait screen read
    // upright to someone holding the device in `deviceOrientation` (1..4;
    // anything else: none), in radians, clockwise on screen. The interface
    // orientations 1..4 take the same turns, so the camera screen's floating
    // card uses it for those too.
    static double rotationForDeviceOrientation(long deviceOrientation);

    // Forgets the remembered answers (tests, and the simulator when it
    // changes the camera).
    static void resetRememberedCameraAnswer();
};

}  // namespace cardscanner
