#include "platform/foundation/Bundle.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/platform/TemporaryDirectory.h"

using platform::Bundle;

namespace {

class BundleTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_.write("App.app/Info.plist", "<plist/>");
        folder_.write("App.app/config.xml", "<widget/>");
        folder_.write("App.app/www/index.html", "<html/>");
        folder_.write("App.app/www/js/app.js", "");
        folder_.write("App.app/www/cordova.js.d/x", "");  // a folder, not a file
        folder_.write("secret.txt", "outside the bundle");
        root_ = folder_.file("App.app");
    }

    testing_support::TemporaryDirectory folder_;
    std::string root_;
};

}  // namespace

TEST_F(BundleTest, FindsResourcesByNameTypeAndFolder) {
    Bundle bundle(root_);
    EXPECT_EQ(bundle.bundlePath(), root_);
    EXPECT_EQ(bundle.pathForResource("Info", "plist"), root_ + "/Info.plist");
    EXPECT_EQ(bundle.pathForResource("config.xml", ""), root_ + "/config.xml");
    EXPECT_EQ(bundle.pathForResource("index", "html", "www"), root_ + "/www/index.html");
    EXPECT_EQ(bundle.pathForResource("app.js", "", "www/js"), root_ + "/www/js/app.js");
}

TEST_F(BundleTest, OnlyExistingRegularFiles) {
    Bundle bundle(root_);
    EXPECT_FALSE(bundle.pathForResource("missing", "plist"));
    EXPECT_FALSE(bundle.pathForResource("Info", ""));  // the extension is part of the name
    EXPECT_FALSE(bundle.pathForResource("www", ""));
    EXPECT_FALSE(bundle.pathForResource("cordova.js", "d", "www"));
    EXPECT_FALSE(bundle.pathForResource("", ""));
    EXPECT_FALSE(Bundle(folder_.file("NoSuch.app")).pathForResource("Info", "plist"));
}

TEST_F(BundleTest, HostilePathsCannotLeaveTheBundle) {
    Bundle bundle(root_);
    ASSERT_TRUE(std::filesystem::exists(folder_.file("secret.txt")));
    EXPECT_FALSE(bundle.pathForResource("../secret", "txt"));
    EXPECT_FALSE(bundle.pathForResource("secret", "txt", ".."));
    EXPECT_FALSE(bundle.pathForResource("secret.txt", "", "www/../.."));
    EXPECT_FALSE(bundle.pathForResource("secret", "/../../secret.txt"));
    EXPECT_FALSE(bundle.pathForResource("secret.txt", "", folder_.path().string()));
    EXPECT_FALSE(bundle.pathForResource(folder_.file("secret.txt"), ""));
    // ".." inside the bundle is refused too, even though it would stay inside.
    EXPECT_FALSE(bundle.pathForResource("Info.plist", "", "www/.."));
}

TEST_F(BundleTest, MainDefaultsToTheWorkingFolderUntilSet) {
    Bundle& main = Bundle::main();
    const std::string before = main.bundlePath();
    EXPECT_TRUE(std::filesystem::equivalent(before, std::filesystem::current_path()));

    Bundle::setMain(root_);
    EXPECT_EQ(&Bundle::main(), &main);  // earlier references see the new bundle
    EXPECT_EQ(main.pathForResource("Info", "plist"), root_ + "/Info.plist");
    Bundle::setMain(before);
}
