#include "platform/foundation/Bundle.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/foundation/Log.h"
#include "tests/platform/TemporaryDirectory.h"
#include "tests/support/FaultInput.h"

using platform::Bundle;

namespace {

class BundleTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_.write("App.app/Info.plist", "<plist/>");
        folder_.write("App.app/config.xml", "<widget/>");
        folder_.write("App.app/www/index.html", "<html/>");
        folder_.write("App.app/www/js/app.js", "");
        folder_.write("App.app/www/hybrid.js.d/x", "");  // a folder, not a file
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
    EXPECT_FALSE(bundle.pathForResource("hybrid.js", "d", "www"));
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

// --- Info.plist ---------------------------------------------------------------

namespace {

constexpr const char* kInfoPlist = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>CFBundleIdentifier</key><string>org.example.hybrid</string>
  <key>CFBundleVersion</key><string>1.2.3</string>
  <key>UIStatusBarHidden</key><true/>
  <key>UISupportedInterfaceOrientations</key>
  <array><string>UIInterfaceOrientationPortrait</string></array>
</dict>
</plist>
)";

class BundleInfoTest : public ::testing::Test {
protected:
    std::string bundleWithInfo(const std::string& name, const std::string& info) {
        return std::filesystem::path(folder_.write(name + "/Info.plist", info)).parent_path().string();
    }

    testing_support::TemporaryDirectory folder_;
    platform::LogCapture logs_;
};

}  // namespace

TEST_F(BundleInfoTest, ReadsTheInfoDictionaryAndItsKeys) {
    Bundle bundle(bundleWithInfo("App.app", kInfoPlist));
    EXPECT_EQ(bundle.bundleIdentifier(), "org.example.hybrid");
    EXPECT_EQ(bundle.objectForInfoDictionaryKey("CFBundleVersion"), platform::Value("1.2.3"));
    EXPECT_TRUE(bundle.objectForInfoDictionaryKey("UIStatusBarHidden").boolValue());
    EXPECT_EQ(bundle.objectForInfoDictionaryKey("UISupportedInterfaceOrientations").count(), 1u);
    EXPECT_TRUE(bundle.objectForInfoDictionaryKey("NoSuchKey").isNil());
    EXPECT_EQ(bundle.infoDictionary().size(), 4u);
    EXPECT_TRUE(logs_.lines().empty());
}

TEST_F(BundleInfoTest, ReadsTheFileOnceForTheBundleAndItsCopies) {
    const std::string root = bundleWithInfo("App.app", kInfoPlist);
    Bundle bundle(root);
    Bundle copy = bundle;
    EXPECT_EQ(bundle.bundleIdentifier(), "org.example.hybrid");
    std::filesystem::remove(root + "/Info.plist");
    EXPECT_EQ(bundle.bundleIdentifier(), "org.example.hybrid");
    EXPECT_EQ(copy.bundleIdentifier(), "org.example.hybrid");
    EXPECT_EQ(&copy.infoDictionary(), &bundle.infoDictionary());
}

TEST_F(BundleInfoTest, AMissingInfoPlistIsAnEmptyDictionaryWithoutALogLine) {
    std::filesystem::create_directories(folder_.file("Bare.app"));
    Bundle bundle(folder_.file("Bare.app"));
    EXPECT_TRUE(bundle.infoDictionary().empty());
    EXPECT_EQ(bundle.bundleIdentifier(), "");
    EXPECT_TRUE(Bundle(folder_.file("NoSuch.app")).infoDictionary().empty());
    EXPECT_TRUE(logs_.lines().empty());
}

TEST_F(BundleInfoTest, ABrokenInfoPlistIsEmptyAndLoggedOnce) {
    Bundle broken(bundleWithInfo("Broken.app", "<plist><dict><key>CFBundleIdentifier</key><string>trunc"));
    EXPECT_TRUE(broken.infoDictionary().empty());
    EXPECT_EQ(broken.bundleIdentifier(), "");
    EXPECT_TRUE(broken.objectForInfoDictionaryKey("CFBundleIdentifier").isNil());
    EXPECT_EQ(logs_.lines().size(), 1u);
    EXPECT_TRUE(logs_.contains("Info.plist"));

    logs_.clear();
    Bundle garbage(bundleWithInfo("Garbage.app", std::string("bplist00\xff\xff\0\0", 12)));
    EXPECT_TRUE(garbage.infoDictionary().empty());
    EXPECT_EQ(logs_.lines().size(), 1u);
}

TEST_F(BundleInfoTest, AnInfoPlistThatIsNoDictionaryOrNoFileIsRefused) {
    Bundle array(bundleWithInfo("Array.app", "<plist version=\"1.0\"><array><string>x</string></array></plist>"));
    EXPECT_TRUE(array.infoDictionary().empty());
    EXPECT_EQ(logs_.count("no dictionary"), 1u);

    std::filesystem::create_directories(folder_.file("Folder.app/Info.plist"));
    EXPECT_TRUE(Bundle(folder_.file("Folder.app")).infoDictionary().empty());
    EXPECT_EQ(logs_.count("not a regular file"), 1u);
}

TEST_F(BundleInfoTest, SettingTheMainBundleBringsItsOwnInfo) {
    Bundle& main = Bundle::main();
    const std::string before = main.bundlePath();
    Bundle::setMain(bundleWithInfo("First.app", kInfoPlist));
    EXPECT_EQ(main.bundleIdentifier(), "org.example.hybrid");
    Bundle::setMain(bundleWithInfo("Second.app", "<plist version=\"1.0\"><dict><key>CFBundleIdentifier</key>"
                                                 "<string>org.example.second</string></dict></plist>"));
    EXPECT_EQ(main.bundleIdentifier(), "org.example.second");
    Bundle::setMain(before);
}

TEST_F(BundleInfoTest, StringsComeFromTheDevelopmentRegionsTableThenBase) {
    const std::string root = bundleWithInfo("Strings.app", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>CFBundleDevelopmentRegion</key><string>fr</string></dict></plist>)");
    folder_.write("Strings.app/fr.lproj/Localizable.strings",
                  "/* titles */\n\"Videos title\" = \"Vid\u00e9os \\\"HD\\\"\";  // a comment\n\"Photos\" = \"Images\";\n");
    folder_.write("Strings.app/Base.lproj/Localizable.strings", "\"Only base\" = \"Base\";\n\"Broken\" = ;\n\"Lost\" = \"x\";");
    const Bundle bundle(root);
    EXPECT_EQ(bundle.localizedStringForKeyValueTable("Photos", "", ""), "Images");
    EXPECT_EQ(bundle.localizedStringForKeyValueTable("Videos title", "", ""), "Vid\u00e9os \"HD\"");
    EXPECT_EQ(bundle.localizedStringForKeyValueTable("Only base", "", "Localizable"), "Base");
    // What a damaged table holds after its fault is ignored, and said.
    EXPECT_EQ(bundle.localizedStringForKeyValueTable("Lost", "fallback", ""), "fallback");
    EXPECT_TRUE(logs_.contains("cannot read the strings after \"Broken\""));
    EXPECT_EQ(bundle.localizedStringForKeyValueTable("Missing", "", ""), "Missing");
    EXPECT_EQ(bundle.localizedStringForKeyValueTable("Photos", "", "Other"), "Photos");
}

TEST_F(BundleInfoTest, AStringsTableMayStartWithAByteOrderMarkAndEndInsideAnEscape) {
    const std::string root = bundleWithInfo("Marks.app", "<plist version=\"1.0\"><dict/></plist>");
    auto text = [](const char* name) {
        const platform::Data bytes = testing_support::faultInput(name);
        return std::string(bytes.begin(), bytes.end());
    };
    const std::string cut = folder_.write("Marks.app/en.lproj/Localizable.strings",
                                          "\"Photos\" = \"Images\";\n" + text("strings-trailing-backslash.strings"));
    folder_.write("Marks.app/en.lproj/Saved.strings", text("strings-utf8-bom.strings"));
    const Bundle bundle(root);
    EXPECT_EQ(bundle.localizedStringForKeyValueTable("Photos", "", ""), "Images");
    EXPECT_EQ(bundle.localizedStringForKeyValueTable("Videos title", "", ""), "Videos title");
    EXPECT_TRUE(logs_.contains("Bundle: " + cut + ": cannot read the strings after"));
    EXPECT_EQ(bundle.localizedStringForKeyValueTable("Videos title", "", "Saved"), "Videos");
}
