#pragma once
// The device stand-in: system version, model, machine, name, multitasking,
// and the current locale. The machine and the name come from the real host
// (the kernel's machine field, the host name); every answer is settable, so
// version gates can be tested. Thread-safe.
//
// The physical orientation is a hook too: setOrientation() (tests, the
// simulator) posts UIDeviceOrientationDidChangeNotification, object the
// device, on the main thread (posted there from other threads), and only
// while someone generates orientation notifications.

#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/NeverDestroyed.h"

namespace platform {

inline constexpr const char* NSCurrentLocaleDidChangeNotification = "kCFLocaleCurrentLocaleDidChangeNotification";

inline constexpr const char* UIDeviceOrientationDidChangeNotification = "UIDeviceOrientationDidChangeNotification";

enum UIDeviceOrientation : long {
    UIDeviceOrientationUnknown = 0,
    UIDeviceOrientationPortrait = 1,
    UIDeviceOrientationPortraitUpsideDown = 2,
    UIDeviceOrientationLandscapeLeft = 3,
    UIDeviceOrientationLandscapeRight = 4,
    UIDeviceOrientationFaceUp = 5,
    UIDeviceOrientationFaceDown = 6,
};

enum UIUserInterfaceIdiom : long {
    UIUserInterfaceIdiomPhone = 0,
    UIUserInterfaceIdiomPad = 1,
};

class UIDevice {
public:
    static UIDevice& currentDevice();

    std::string systemVersion() const;  // default "7.0"
    void setSystemVersion(std::string version);
    std::string model() const;  // default "iPhone"
    void setModel(std::string model);
    // Pad when the model begins with "iPad", else phone.
    UIUserInterfaceIdiom userInterfaceIdiom() const;
    // The "hw.machine" text: by default the kernel's machine field ("x86_64", "aarch64").
    std::string machine() const;
    void setMachine(std::string machine);
    // The user-visible device name: by default the host's name ("iPhone" when it has none).
    std::string name() const;
    void setName(std::string name);
    // Nothing when the device does not know the question; default true.
    std::optional<bool> isMultitaskingSupported() const;
    void setMultitaskingSupported(std::optional<bool> supported);

    // The current locale's identifier (default from the environment's LANG,
    // "en_US" when unset); setting it posts NSCurrentLocaleDidChangeNotification.
    std::string localeIdentifier() const;
    void setLocaleIdentifier(std::string identifier);

    // Default portrait.
    UIDeviceOrientation orientation() const;
    void setOrientation(UIDeviceOrientation orientation);
    // Nest: notifications flow while more begins than ends were made.
    void beginGeneratingDeviceOrientationNotifications();
    void endGeneratingDeviceOrientationNotifications();
    bool isGeneratingDeviceOrientationNotifications() const;

    // The vibration motor (the alert sound 4095 stands for it): logs
    // "device: vibrate" and counts. Static, so it reads as the phone's one call.
    static void vibrate();
    static int vibrationCount();

    // Back to the defaults (tests); clears the vibration count.
    void reset();

private:
    UIDevice();
    friend class NeverDestroyed<UIDevice>;
    mutable std::mutex mutex_;
    std::string systemVersion_;
    std::string model_;
    std::string machine_;
    std::string name_;
    std::optional<bool> multitasking_;
    std::string locale_;
    UIDeviceOrientation orientation_ = UIDeviceOrientationPortrait;
    int orientationGenerators_ = 0;
    int vibrations_ = 0;
};

}  // namespace platform
