#pragma once
// How the scanner's screens are held: one listener for the device's
// orientation changes, shared through the context, and the one rule by
// which each screen turns the device's orientation into one it may use.
//
// The camera screen, the camera view and the capture stream each need the
// orientation, but the device's notifications are generated and observed
// once, for as long as any of them listens. The rule: the device's
// orientation while it is upright or on its side (1..4); lying flat, the
// one the screen had, or, before it had one, the orientation the screens
// were last laid out in (portrait when none is known); an orientation the
// screen does not support gives way to the one it had when that is
// supported, else to the screen's fallback (0: none).
//
// Main thread only.

#include <functional>
#include <utility>
#include <vector>

namespace cardscanner {

class ZeduVIOrientation {
public:
    using Supported = std::function<bool(long orientation)>;

    ZeduVIOrientation() = default;
    ~ZeduVIOrientation();
    ZeduVIOrientation(const ZeduVIOrientation&) = delete;
    ZeduVIOrientation& operator=(const ZeduVIOrientation&) = delete;

    static bool isInterfaceOrientation(long orientation) { return orientation >= 1 && orientation <= 4; }

    // The orientation the screens were last laid out in: the status bar's
    // when the payment view controller was made, then what the screens set;
    // 0 while no host has said.
    long interfaceOrientation() const { return interfaceOrientation_; }
    void setInterfaceOrientation(long orientation) { interfaceOrientation_ = orientation; }

    // `changed` runs after each device-orientation change until the owner is
    // removed; adding an owner again replaces its call.
    void addListener(const void* owner, std::function<void()> changed);
    void removeListener(const void* owner);
    bool isListening(const void* owner) const;

    // The rule above for the device's current orientation; `initial` stands
    // for the last layout when the screen has its own source for it.
    long resolve(long current, const Supported& supported, long fallback) const {
        return resolve(current, interfaceOrientation_, supported, fallback);
    }
    static long resolve(long current, long initial, const Supported& supported, long fallback);

private:
    void deviceOrientationDidChange();

    std::vector<std::pair<const void*, std::function<void()>>> listeners_;
    long interfaceOrientation_ = 0;
};

}  // namespace cardscanner
