#pragma once
// The device stand-in: system version, model, machine, name, multitasking,
// and the current locale. The machine and the name come from the real host
// (the kernel's machine field, the host name); every answer is settable, so
// version gates can be tested. Thread-safe.

#include <mutex>
#include <optional>
#include <string>

namespace platform {

inline constexpr const char* NSCurrentLocaleDidChangeNotification = "kCFLocaleCurrentLocaleDidChangeNotification";

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

    // Back to the defaults (tests).
    void reset();

private:
    UIDevice();
    mutable std::mutex mutex_;
    std::string systemVersion_;
    std::string model_;
    std::string machine_;
    std::string name_;
    std::optional<bool> multitasking_;
    std::string locale_;
};

}  // namespace platform
