#include "platform/ui/Device.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"

namespace platform {
namespace {

// "en_US.UTF-8" and "de_DE@euro" name the locales "en_US" and "de_DE"; the
// portable C locale and anything that does not look like a locale name fall
// back to the platform's default.
std::string localeFromEnvironment() {
    const char* lang = std::getenv("LANG");
    std::string identifier = lang ? lang : "";
    identifier = identifier.substr(0, identifier.find_first_of(".@"));
    if (identifier.empty() || identifier == "C" || identifier == "POSIX") return "en_US";
    for (const char c : identifier) {
        const bool fits = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                          c == '-';
        if (!fits) return "en_US";
    }
    return identifier;
}

std::string machineOfKernel() {
    struct utsname names {};
    if (::uname(&names) != 0 || names.machine[0] == '\0') return "x86_64";
    return names.machine;
}

std::string nameOfHost() {
    char name[256] = {};
    // A name that fills the buffer may come back without its terminator.
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "iPhone";
    return name;
}

}  // namespace

UIDevice::UIDevice() { reset(); }

UIDevice& UIDevice::currentDevice() {
    static NeverDestroyed<UIDevice> device{ResetStage::Interface, [](UIDevice& d) { d.reset(); }};
    return *device;
}

std::string UIDevice::systemVersion() const {
    std::lock_guard lock(mutex_);
    return systemVersion_;
}

void UIDevice::setSystemVersion(std::string version) {
    std::lock_guard lock(mutex_);
    systemVersion_ = std::move(version);
}

std::string UIDevice::model() const {
    std::lock_guard lock(mutex_);
    return model_;
}

UIUserInterfaceIdiom UIDevice::userInterfaceIdiom() const {
    return model().rfind("iPad", 0) == 0 ? UIUserInterfaceIdiomPad : UIUserInterfaceIdiomPhone;
}

void UIDevice::setModel(std::string model) {
    std::lock_guard lock(mutex_);
    model_ = std::move(model);
}

std::string UIDevice::machine() const {
    std::lock_guard lock(mutex_);
    return machine_;
}

void UIDevice::setMachine(std::string machine) {
    std::lock_guard lock(mutex_);
    machine_ = std::move(machine);
}

std::string UIDevice::name() const {
    std::lock_guard lock(mutex_);
    return name_;
}

void UIDevice::setName(std::string name) {
    std::lock_guard lock(mutex_);
    name_ = std::move(name);
}

std::optional<bool> UIDevice::isMultitaskingSupported() const {
    std::lock_guard lock(mutex_);
    return multitasking_;
}

void UIDevice::setMultitaskingSupported(std::optional<bool> supported) {
    std::lock_guard lock(mutex_);
    multitasking_ = supported;
}

std::string UIDevice::localeIdentifier() const {
    std::lock_guard lock(mutex_);
    return locale_;
}

void UIDevice::setLocaleIdentifier(std::string identifier) {
    {
        std::lock_guard lock(mutex_);
        locale_ = std::move(identifier);
    }
    // Posted without the lock, so observers can read the new locale at once.
    NotificationCenter::defaultCenter().post(NSCurrentLocaleDidChangeNotification, &currentDevice());
}

UIDeviceOrientation UIDevice::orientation() const {
    std::lock_guard lock(mutex_);
    return orientation_;
}

void UIDevice::setOrientation(UIDeviceOrientation orientation) {
    {
        std::lock_guard lock(mutex_);
        if (orientation_ == orientation) return;
        orientation_ = orientation;
        if (orientationGenerators_ == 0) return;
    }
    auto post = [] {
        NotificationCenter::defaultCenter().post(UIDeviceOrientationDidChangeNotification, &currentDevice());
    };
    if (RunLoop::isMainThread())
        post();
    else
        RunLoop::main().post(post);
}

void UIDevice::beginGeneratingDeviceOrientationNotifications() {
    std::lock_guard lock(mutex_);
    ++orientationGenerators_;
}

void UIDevice::endGeneratingDeviceOrientationNotifications() {
    std::lock_guard lock(mutex_);
    // An unbalanced end is ignored rather than leaving the count negative.
    if (orientationGenerators_ > 0) --orientationGenerators_;
}

bool UIDevice::isGeneratingDeviceOrientationNotifications() const {
    std::lock_guard lock(mutex_);
    return orientationGenerators_ > 0;
}

void UIDevice::reset() {
    std::string locale = localeFromEnvironment();
    std::string machine = machineOfKernel();
    std::string name = nameOfHost();
    std::lock_guard lock(mutex_);
    systemVersion_ = "7.0";
    model_ = "iPhone";
    machine_ = std::move(machine);
    name_ = std::move(name);
    multitasking_ = true;
    locale_ = std::move(locale);
    orientation_ = UIDeviceOrientationPortrait;
    orientationGenerators_ = 0;
    vibrations_ = 0;
}

void UIDevice::vibrate() {
    UIDevice& device = currentDevice();
    {
        std::lock_guard lock(device.mutex_);
        ++device.vibrations_;
    }
    log("device: vibrate");
}

int UIDevice::vibrationCount() {
    UIDevice& device = currentDevice();
    std::lock_guard lock(device.mutex_);
    return device.vibrations_;
}

}  // namespace platform
