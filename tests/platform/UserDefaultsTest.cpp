#include "platform/foundation/UserDefaults.h"

#include <gtest/gtest.h>

#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"
#include "tests/platform/TemporaryDirectory.h"

using namespace platform;

TEST(UserDefaultsLookup, ApplicationDomainWinsOverRegistration) {
    UserDefaults defaults;
    defaults.registerDefaults({{"volume", 5}, {"name", "guest"}});
    defaults.setObject("volume", 9);
    EXPECT_EQ(defaults.integerForKey("volume"), 9);
    EXPECT_EQ(defaults.stringForKey("name"), "guest");

    // Removing the app's value uncovers the registered one again.
    defaults.removeObjectForKey("volume");
    EXPECT_EQ(defaults.integerForKey("volume"), 5);
    defaults.setObject("name", "ann");
    defaults.setObject("name", Value());
    EXPECT_EQ(defaults.stringForKey("name"), "guest");

    EXPECT_TRUE(defaults.objectForKey("absent").isNil());
    defaults.setObject("number", 7);
    EXPECT_EQ(defaults.stringForKey("number"), "");  // only strings read as strings
}

TEST(UserDefaultsLookup, RegistrationMergesRatherThanReplaces) {
    UserDefaults defaults;
    defaults.registerDefaults({{"a", 1}, {"b", 2}});
    defaults.registerDefaults({{"b", 3}, {"c", 4}});
    EXPECT_EQ(defaults.registeredDefaults(), (Dictionary{{"a", 1}, {"b", 3}, {"c", 4}}));
}

TEST(UserDefaultsLookup, NullValuesAreRefusedWithALogLine) {
    UserDefaults defaults;
    defaults.setObject("kept", 1);
    LogCapture capture;
    defaults.setObject("kept", Value::null());
    defaults.setObject("list", Array{1, Value::null()});
    EXPECT_EQ(defaults.integerForKey("kept"), 1);
    EXPECT_TRUE(defaults.objectForKey("list").isNil());
    EXPECT_EQ(capture.count("UserDefaults"), 2u);
    // So the in-memory defaults always stay writable.
    EXPECT_TRUE(defaults.synchronize());
}

TEST(UserDefaultsFile, SynchronizedValuesSurviveARestart) {
    testing_support::TemporaryDirectory folder;
    const std::string path = folder.file("Library/Preferences/app.plist");  // folders made on demand
    {
        UserDefaults defaults(path);
        defaults.registerDefaults({{"registered", true}});
        defaults.setObject("name", "ann");
        defaults.setObject("scores", Array{1, 2.5});
        defaults.setObject("seen", Date{1000.0});
        ASSERT_TRUE(defaults.synchronize());
    }
    UserDefaults again(path);
    EXPECT_EQ(again.stringForKey("name"), "ann");
    EXPECT_EQ(again.objectForKey("scores"), Value(Array{1, 2.5}));
    EXPECT_EQ(again.objectForKey("seen"), Value(Date{1000.0}));
    EXPECT_TRUE(again.objectForKey("registered").isNil());  // registration is never stored
}

TEST(UserDefaultsFile, ReloadDropsUnsavedChanges) {
    testing_support::TemporaryDirectory folder;
    UserDefaults defaults(folder.file("app.plist"));
    defaults.setObject("saved", 1);
    ASSERT_TRUE(defaults.synchronize());
    defaults.setObject("unsaved", 2);
    defaults.registerDefaults({{"r", 3}});
    defaults.reload();
    EXPECT_EQ(defaults.integerForKey("saved"), 1);
    EXPECT_TRUE(defaults.objectForKey("unsaved").isNil());
    EXPECT_TRUE(defaults.registeredDefaults().empty());
}

TEST(UserDefaultsFile, BrokenFileStartsEmptyLogsAndIsReplacedOnSave) {
    testing_support::TemporaryDirectory folder;
    for (const std::string& content : {std::string("garbage \x01\x02\xff"), std::string("bplist00\xff\xff"),
                                       *writePropertyList(Value(Array{1, 2}))}) {
        const std::string path = folder.write("broken.plist", content);
        LogCapture capture;
        UserDefaults defaults(path);
        EXPECT_TRUE(defaults.objectForKey("anything").isNil());
        EXPECT_TRUE(capture.contains("broken.plist")) << "no log line naming the file";

        defaults.setObject("fresh", "start");
        ASSERT_TRUE(defaults.synchronize());
        EXPECT_EQ(UserDefaults(path).stringForKey("fresh"), "start");
    }
}

TEST(UserDefaultsFile, MissingFileIsAQuietFirstRun) {
    testing_support::TemporaryDirectory folder;
    LogCapture capture;
    UserDefaults defaults(folder.file("new.plist"));
    EXPECT_TRUE(defaults.objectForKey("x").isNil());
    EXPECT_TRUE(capture.lines().empty());
}

TEST(UserDefaultsFile, UnwritableLocationFailsWithALogLine) {
    testing_support::TemporaryDirectory folder;
    const std::string blocker = folder.write("blocker", "a file where a folder should be");
    UserDefaults defaults(blocker + "/app.plist");
    defaults.setObject("x", 1);
    LogCapture capture;
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_FALSE(capture.lines().empty());
}

TEST(UserDefaultsStandard, SetStandardFileLoadsIt) {
    testing_support::TemporaryDirectory folder;
    const std::string path = folder.file("standard.plist");
    ASSERT_TRUE(writePropertyListFile(Value(Dictionary{{"launches", 3}}), path));

    UserDefaults::setStandardFile(path);
    EXPECT_EQ(&UserDefaults::standard(), &UserDefaults::standard());
    EXPECT_EQ(UserDefaults::standard().path(), path);
    EXPECT_EQ(UserDefaults::standard().integerForKey("launches"), 3);

    UserDefaults::setStandardFile("");
    EXPECT_TRUE(UserDefaults::standard().objectForKey("launches").isNil());
}
