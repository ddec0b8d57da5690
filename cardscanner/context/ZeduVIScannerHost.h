#pragma once
// What the scanner's screens need from the controller they are shown in
// (the ZeduVIPaymentViewController): its delegate's two calls, made with the
// host as their controller, and the hand-over between the camera screen and
// the form. Everything else travels down in the ZeduVIContext the screens
// are made with. A screen finds its host as its navigation controller; shown
// without one, the calls are skipped.
//
// Main thread only.

#include <memory>

namespace cardscanner {

class ZeduVICreditCardInfo;

class ZeduVIScannerHost {
public:
    virtual ~ZeduVIScannerHost() = default;

    // The delegate's calls; nothing happens without a delegate.
    virtual void scannerDidCancel() = 0;
    virtual void scannerDidProvideCreditCardInfo(std::shared_ptr<ZeduVICreditCardInfo> cardInfo) = 0;

    // The form comes on top (true) or goes back to the camera (false); the
    // host's rotation rules follow it.
    virtual void setCurrentViewControllerIsDataEntry(bool isDataEntry) = 0;

    // Mask of 1 << orientation for the guide overlay.
    virtual unsigned long supportedOverlayOrientationsMask() = 0;
};

}  // namespace cardscanner
