#include "platform/ui/Device.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/foundation/NotificationCenter.h"

using platform::UIDevice;

namespace {

// Restores LANG and the device after each case.
class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* lang = std::getenv("LANG")) savedLang_ = lang;
    }
    void TearDown() override {
        if (savedLang_)
            ::setenv("LANG", savedLang_->c_str(), 1);
        else
            ::unsetenv("LANG");
        device.reset();
    }
    std::string localeFor(const char* lang) {
        if (lang)
            ::setenv("LANG", lang, 1);
        else
            ::unsetenv("LANG");
        device.reset();
        return device.localeIdentifier();
    }

    UIDevice& device = UIDevice::currentDevice();

private:
    std::optional<std::string> savedLang_;
};

}  // namespace

TEST_F(DeviceTest, ResetBringsBackThePhoneDefaults) {
    device.setSystemVersion("6.1");
    device.setMachine("iPhone6,1");
    device.setName("Alice's phone");
    device.setMultitaskingSupported(std::nullopt);
    EXPECT_EQ(device.isMultitaskingSupported(), std::nullopt);
    device.reset();
    EXPECT_EQ(device.systemVersion(), "7.0");
    EXPECT_EQ(device.model(), "iPhone");
    struct utsname names {};
    ASSERT_EQ(::uname(&names), 0);
    EXPECT_EQ(device.machine(), names.machine);  // the host's own
    char host[256] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    EXPECT_EQ(device.name(), host);
    EXPECT_EQ(device.isMultitaskingSupported(), std::optional<bool>(true));
}

TEST_F(DeviceTest, LocaleComesFromLangWithoutItsEncoding) {
    EXPECT_EQ(localeFor("en_US.UTF-8"), "en_US");
    EXPECT_EQ(localeFor("de_DE@euro"), "de_DE");
    EXPECT_EQ(localeFor("fr_CA.ISO-8859-1@x"), "fr_CA");
    EXPECT_EQ(localeFor("ja"), "ja");
}

TEST_F(DeviceTest, ThePortableLocaleOrNoneOrGarbageMeansEnglishUS) {
    EXPECT_EQ(localeFor(nullptr), "en_US");
    EXPECT_EQ(localeFor(""), "en_US");
    EXPECT_EQ(localeFor("C"), "en_US");
    EXPECT_EQ(localeFor("C.UTF-8"), "en_US");
    EXPECT_EQ(localeFor("POSIX"), "en_US");
    EXPECT_EQ(localeFor("../../etc/passwd"), "en_US");
    EXPECT_EQ(localeFor(".UTF-8"), "en_US");
}

TEST_F(DeviceTest, SettingTheLocaleTellsObserversWhoSeeTheNewOne) {
    std::string seen;
    int heard = 0;
    int observer = 0;
    platform::NotificationCenter::defaultCenter().addObserver(
        &observer, platform::NSCurrentLocaleDidChangeNotification, &device, [&](const platform::Notification&) {
            ++heard;
            seen = device.localeIdentifier();
        });
    device.setLocaleIdentifier("pt_BR");
    platform::NotificationCenter::defaultCenter().removeObserver(&observer);
    EXPECT_EQ(heard, 1);
    EXPECT_EQ(seen, "pt_BR");
    EXPECT_EQ(device.localeIdentifier(), "pt_BR");
}
