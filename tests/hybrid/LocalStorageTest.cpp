// Web-storage backup: which side is newer, the copy that never loses the old
// data, the plugin's backups and restores with what the page hears of them,
// the repair of stale database paths and the move of data left in older places.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "../platform/TemporaryDirectory.h"
#include "tools/harness/BridgeHarness.h"
#include "hybrid/HYBLocalStorage.h"
#include "hybrid/HYBNotifications.h"
#include "platform/foundation/AssertionFailure.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Application.h"
#include "platform/ui/ApplicationNotifications.h"
#include "platform/ui/Device.h"
#include "platform/ui/WebStorage.h"
#include "platform/ui/WebView.h"

using namespace hybrid;
using platform::Date;
using platform::FileManager;
using testsupport::TestContainer;

namespace {

constexpr Date kOlder{1000.0};
constexpr Date kNewer{2000.0};
constexpr const char* kBundleIdentifier = "com.example.storage";

// A fresh app home and main bundle for each case; the process's own come back afterwards.
class AppHomeTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousHome_ = FileManager::homeDirectory();
        previousBundle_ = platform::Bundle::main().bundlePath();
        home = directory_.file("home");
        FileManager::setHomeDirectory(home);
        setInfo({});
        platform::UserDefaults::standard().removeObjectForKey("WebKitStoreWebDataForBackup");
    }

    void TearDown() override {
        platform::setGlobalQueue(nullptr);
        platform::UserDefaults::standard().removeObjectForKey("WebKitStoreWebDataForBackup");
        platform::Bundle::setMain(previousBundle_);
        FileManager::setHomeDirectory(previousHome_);
    }

    // A main bundle whose Info.plist holds the identifier plus `extra`.
    void setInfo(platform::Dictionary extra) {
        extra["CFBundleIdentifier"] = kBundleIdentifier;
        const std::string bundle = directory_.file("App.app");
        std::filesystem::create_directories(bundle);
        ASSERT_TRUE(platform::writePropertyListFile(platform::Value(extra), bundle + "/Info.plist"));
        platform::Bundle::setMain(bundle);
    }

    std::string path(const std::string& relative) const { return home + "/" + relative; }
    std::string caches(const std::string& name) const { return path("Library/Caches/" + name); }
    std::string backups(const std::string& name) const { return path("Documents/Backups/" + name); }

    static void write(const std::string& file, const std::string& text, Date modified) {
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        std::ofstream(file, std::ios::binary) << text;
        ASSERT_TRUE(FileManager::defaultManager().setModificationDate(file, modified));
    }
    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        if (!in) return "<missing>";
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static bool exists(const std::string& file) { return FileManager::defaultManager().fileExistsAtPath(file); }
    std::size_t temporaryEntries() const {
        return FileManager::defaultManager().contentsOfDirectoryAtPath(path("tmp")).size();
    }

    std::string home;

private:
    testing_support::TemporaryDirectory directory_;
    std::string previousHome_;
    std::string previousBundle_;
};

// ---------------------------------------------------------------------------
// Which side is newer

using BackupInfoTest = AppHomeTest;

TEST_F(BackupInfoTest, AFileIsNewerWhenModifiedLaterOrWhenTheOtherIsMissing) {
    const std::string a = path("a"), b = path("b");
    EXPECT_FALSE(HYBBackupInfo::file(a, b));  // neither exists
    write(b, "b", kOlder);
    EXPECT_FALSE(HYBBackupInfo::file(a, b));  // a is missing
    EXPECT_FALSE(HYBBackupInfo::item(a, b));
    write(a, "a", kNewer);
    EXPECT_TRUE(HYBBackupInfo::file(a, b));
    EXPECT_FALSE(HYBBackupInfo::file(b, a));
    FileManager::defaultManager().setModificationDate(b, kNewer);
    EXPECT_FALSE(HYBBackupInfo::file(a, b));  // same time: not newer
    FileManager::defaultManager().removeItemAtPath(b);
    EXPECT_TRUE(HYBBackupInfo::file(a, b));
    EXPECT_TRUE(HYBBackupInfo::item(a, b));
}

TEST_F(BackupInfoTest, FoldersCompareEntryByEntry) {
    const std::string a = path("a"), b = path("b");
    write(a + "/x/deep.db", "1", kOlder);
    write(a + "/top.db", "1", kOlder);
    write(b + "/x/deep.db", "1", kOlder);
    write(b + "/top.db", "1", kOlder);
    write(b + "/only-in-b.db", "1", kNewer);
    for (const auto& folder : {a, a + "/x", b, b + "/x"}) FileManager::defaultManager().setModificationDate(folder, kOlder);
    EXPECT_FALSE(HYBBackupInfo::item(a, b));  // b's extra entry does not make a newer

    FileManager::defaultManager().setModificationDate(a + "/x/deep.db", kNewer);
    EXPECT_TRUE(HYBBackupInfo::item(a, b));  // one newer file anywhere is enough

    FileManager::defaultManager().setModificationDate(a + "/x/deep.db", kOlder);
    write(a + "/x/new.db", "1", kOlder);
    FileManager::defaultManager().setModificationDate(a + "/x", kOlder);
    EXPECT_TRUE(HYBBackupInfo::item(a, b));  // an entry b lacks
}

TEST_F(BackupInfoTest, AFolderAgainstAFileFallsBackToTheFileRule) {
    write(path("folder/inside"), "1", kOlder);
    FileManager::defaultManager().setModificationDate(path("folder"), kNewer);
    write(path("file"), "1", kOlder);
    EXPECT_TRUE(HYBBackupInfo::item(path("folder"), path("file")));
    EXPECT_FALSE(HYBBackupInfo::item(path("file"), path("folder")));
}

TEST_F(BackupInfoTest, ThePairsNameTheWebViewFilesAndTheirCopies) {
    auto pairs = HYBLocalStorage::createBackupInfoWithTargetDir("/t", "/b", false, false, true);
    ASSERT_EQ(pairs.size(), 3u);
    EXPECT_EQ(pairs[0], HYBBackupInfo("/t/file__0.localstorage", "/b/localstorage.appdata.db", "localStorage database"));
    EXPECT_EQ(pairs[1], HYBBackupInfo("/t/Databases.db", "/b/websqlmain.appdata.db", "websql main database"));
    EXPECT_EQ(pairs[2], HYBBackupInfo("/t/file__0", "/b/websqldbs.appdata.db", "websql databases"));

    pairs = HYBLocalStorage::createBackupInfoWithTargetDir("/t", "/b", true, false, false);
    EXPECT_EQ(pairs[0].original(), "/t/WebKit/LocalStorage/file__0.localstorage");
    EXPECT_EQ(pairs[0].backup(), "/b/file__0.localstorage");
    EXPECT_EQ(pairs[2].backup(), "/b/file__0");

    pairs = HYBLocalStorage::createBackupInfoWithTargetDir("/t", "/b", false, true, false);
    EXPECT_EQ(pairs[1].original(), "/t/Databases.db");
    EXPECT_EQ(pairs[1].backup(), "/b/WebKit/LocalStorage/Databases.db");
}

// ---------------------------------------------------------------------------
// Copy with rollback

using LocalStorageCopyTest = AppHomeTest;

TEST_F(LocalStorageCopyTest, AMissingSourceIsErrorOneAndTouchesNothing) {
    write(path("dest"), "kept", kOlder);
    platform::Error error;
    EXPECT_FALSE(HYBLocalStorage::copyFrom(path("nothing"), path("dest"), &error));
    EXPECT_EQ(error.domain, "kHYBLocalStorageErrorDomain");
    EXPECT_EQ(error.code, 1);
    EXPECT_EQ(error.localizedDescription, path("nothing") + " file does not exist.");
    EXPECT_EQ(read(path("dest")), "kept");
    EXPECT_FALSE(HYBLocalStorage::copyFrom(path("nothing"), path("dest")));  // no error slot
}

TEST_F(LocalStorageCopyTest, CreatesTheDestinationFoldersAndKeepsTimes) {
    write(path("src"), "data", kNewer);
    ASSERT_TRUE(HYBLocalStorage::copyFrom(path("src"), path("a/b/c/dest")));
    EXPECT_EQ(read(path("a/b/c/dest")), "data");
    EXPECT_EQ(FileManager::defaultManager().modificationDateOfItemAtPath(path("a/b/c/dest")), kNewer);
}

TEST_F(LocalStorageCopyTest, ADestinationUnderAFileFailsWithoutCreatingAnything) {
    write(path("src"), "data", kNewer);
    write(path("blocker"), "a file", kOlder);
    platform::Error error;
    platform::LogCapture log;
    EXPECT_FALSE(HYBLocalStorage::copyFrom(path("src"), path("blocker/dest"), &error));
    EXPECT_FALSE(error.localizedDescription.empty());
    EXPECT_EQ(read(path("blocker")), "a file");
}

TEST_F(LocalStorageCopyTest, WhenTheRollbackCopyCannotBeMadeTheDestinationStays) {
    write(path("src"), "new", kNewer);
    write(path("dest"), "old", kOlder);
    FileManager::defaultManager().removeItemAtPath(path("tmp"));
    write(path("tmp"), "not a folder", kOlder);
    platform::LogCapture log;
    EXPECT_FALSE(HYBLocalStorage::copyFrom(path("src"), path("dest")));
    EXPECT_EQ(read(path("dest")), "old");
}

// A source entry whose path fits the system's path limit while its copy's
// path does not: the copy fails half-way, as root too.
std::string makeEntryTooDeepToCopy(const std::string& sourceFolder, std::size_t extraLengthOfDestination) {
    const std::size_t limit = 4095;  // PATH_MAX without its terminating NUL
    const std::size_t target = limit - extraLengthOfDestination / 2;
    std::string deep = sourceFolder;
    while (target - deep.size() > 250) deep += "/" + std::string(200, 'd');
    deep += "/" + std::string(target - deep.size() - 1, 'f');
    std::filesystem::create_directories(std::filesystem::path(deep).parent_path());
    std::ofstream(deep) << "deep";
    return deep;
}

TEST_F(LocalStorageCopyTest, AFailureHalfWayThroughPutsTheOldDestinationBack) {
    write(path("s/a.db"), "new", kNewer);
    const std::string destination = path("a-much-longer-destination-folder-name");
    const std::string deep = makeEntryTooDeepToCopy(path("s"), destination.size() - path("s").size());
    ASSERT_LE(deep.size(), 4095u);
    ASSERT_GT(deep.size() - path("s").size() + destination.size(), 4095u);
    write(destination + "/a.db", "old", kOlder);
    write(destination + "/b.db", "old b", kOlder);

    platform::LogCapture log;
    platform::Error error;
    EXPECT_FALSE(HYBLocalStorage::copyFrom(path("s"), destination, &error));
    EXPECT_FALSE(error.localizedDescription.empty());
    EXPECT_EQ(read(destination + "/a.db"), "old");
    EXPECT_EQ(read(destination + "/b.db"), "old b");
    EXPECT_EQ(FileManager::defaultManager().modificationDateOfItemAtPath(destination + "/a.db"), kOlder);
    EXPECT_EQ(FileManager::defaultManager().contentsOfDirectoryAtPath(destination).size(), 2u);
    EXPECT_EQ(temporaryEntries(), 0u);  // the rollback copy went once it was back
}

// The page writes while the background queue backs its file up: each copy
// is a whole file, and the last holds every change though the newest wait
// in the store's WAL, beside the file, until it is settled.
TEST_F(LocalStorageCopyTest, ACopyOfAStoreFileIsWholeAndHoldsEveryChangeSavedBeforeIt) {
    auto area = platform::StorageArea::local(platform::localStorageDirectory(), "file__0");
    ASSERT_EQ(area->setItem("first", "1"), platform::StorageWriteResult::Saved);
    // The copy's items when SQLite's whole check passes it, else -1.
    auto copied = [this] {
        HYBLocalStorage::copyFrom(caches("file__0.localstorage"), backups("copy.db"));
        sqlite3* copy = nullptr;
        sqlite3_stmt* count = nullptr;
        sqlite3_open(backups("copy.db").c_str(), &copy);
        sqlite3_prepare_v2(copy, "SELECT IIF((SELECT * FROM pragma_integrity_check) = 'ok', count(*), -1) FROM ItemTable",
                           -1, &count, nullptr);
        const long long items = sqlite3_step(count) == SQLITE_ROW ? sqlite3_column_int64(count, 0) : -1;
        sqlite3_finalize(count);
        sqlite3_close(copy);
        return items;
    };
    std::atomic<bool> writing = true;
    std::atomic<int> copies = 0;
    std::thread backup([&] {
        for (; writing; ++copies) EXPECT_GE(copied(), 0);
    });
    for (int i = 0; i < 300 && (i < 30 || copies < 3); ++i)
        EXPECT_EQ(area->setItem("k" + std::to_string(i), std::string(2000, 'v')), platform::StorageWriteResult::Saved);
    writing = false;
    backup.join();
    EXPECT_EQ(copied(), static_cast<long long>(area->length()));
}

TEST_F(LocalStorageCopyTest, MarkingForBackupNeedsSystem51) {
    const auto url = platform::URL::fileURLWithPath(path("Documents"));
    platform::UIDevice::currentDevice().setSystemVersion("10.0");  // numeric, not textual, comparison
    EXPECT_TRUE(HYBLocalStorage::addSkipBackupAttributeToItemAtURL(url, true));
    platform::UIDevice::currentDevice().setSystemVersion("5.0");
    try {
        HYBLocalStorage::addSkipBackupAttributeToItemAtURL(url, true);
        ADD_FAILURE() << "expected a fatal failure";
    } catch (const platform::AssertionFailure& failure) {
        EXPECT_EQ(failure.description(), "Cannot mark files for NSURLIsExcludedFromBackupKey on iOS less than 5.1");
    }
}

TEST_F(LocalStorageCopyTest, AMarkThatCannotBeSetIsLogged) {
    platform::LogCapture log;
    EXPECT_FALSE(HYBLocalStorage::addSkipBackupAttributeToItemAtURL(
        platform::URL::fileURLWithPath(path("missing-folder")), true));
    EXPECT_TRUE(log.contains("Error excluding missing-folder from backup "));
}

// ---------------------------------------------------------------------------
// The plugin

class LocalStoragePluginTest : public AppHomeTest {
protected:
    void SetUp() override {
        AppHomeTest::SetUp();
        container = TestContainer::create();
        container->eval(R"(
            var seen = [];
            (function () {
                var exec = hybrid.require('hybrid/exec');
                exec.nativeCallback = function (id, status, message, keep) {
                    seen.push(id + ':' + status + ':' + message);
                    return '';
                };
            })();)");
    }

    void TearDown() override {
        plugin.reset();
        container.reset();
        AppHomeTest::TearDown();
    }

    void addPlugin(const char* setting = "local") {
        if (setting) container->settings_["backupwebstorage"] = setting;
        plugin = std::make_shared<HYBLocalStorage>(container->webView());
        container->addPlugin("LocalStorage", plugin);
    }

    void call(const std::string& action, const std::string& callbackId = "LocalStorage1") {
        container->queue().enqueueCommandBatch("[[\"" + callbackId + "\",\"LocalStorage\",\"" + action + "\",[]]]");
        container->queue().executePending();
        platform::RunLoop::main().drain();
    }

    std::string seen() { return container->eval("seen.join('|')"); }

    // The web view's three items, all newer than anything in the backup.
    void writeWebViewData(const std::string& text = "web") {
        write(caches("file__0.localstorage"), text + " local", kNewer);
        write(caches("Databases.db"), text + " main", kNewer);
        write(caches("file__0/https_example.com_0/0000000000000001.db"), text + " db", kNewer);
        FileManager::defaultManager().setModificationDate(caches("file__0/https_example.com_0"), kNewer);
        FileManager::defaultManager().setModificationDate(caches("file__0"), kNewer);
    }

    std::shared_ptr<TestContainer> container;
    std::shared_ptr<HYBLocalStorage> plugin;
};

bool extendedAttributesWork(const std::string& folder) {
    auto& fileManager = FileManager::defaultManager();
    return fileManager.setExcludedFromBackup(folder, true) && fileManager.isExcludedFromBackup(folder) &&
           fileManager.setExcludedFromBackup(folder, false);
}

TEST_F(LocalStoragePluginTest, PairsTheCachesWithDocumentsBackupsMarkedByTheSetting) {
    addPlugin("local");
    ASSERT_EQ(plugin->backupInfo().size(), 3u);
    EXPECT_EQ(plugin->backupInfo()[0], HYBBackupInfo(caches("file__0.localstorage"), backups("localstorage.appdata.db"),
                                                     "localStorage database"));
    EXPECT_EQ(plugin->backupInfo()[2].original(), caches("file__0"));
    EXPECT_EQ(plugin->backupInfo()[2].backup(), backups("websqldbs.appdata.db"));
    bool isDirectory = false;
    ASSERT_TRUE(FileManager::defaultManager().fileExistsAtPath(path("Documents/Backups"), &isDirectory));
    EXPECT_TRUE(isDirectory);
    if (!extendedAttributesWork(path("Documents"))) GTEST_SKIP() << "no extended attributes on this file system";
    EXPECT_TRUE(FileManager::defaultManager().isExcludedFromBackup(path("Documents/Backups")));

    addPlugin("cloud");
    EXPECT_FALSE(FileManager::defaultManager().isExcludedFromBackup(path("Documents/Backups")));
    addPlugin("Cloud");  // only the exact text means the cloud
    EXPECT_TRUE(FileManager::defaultManager().isExcludedFromBackup(path("Documents/Backups")));
}

TEST_F(LocalStoragePluginTest, WithNeitherSidePresentNothingIsCopiedOrReported) {
    addPlugin();
    EXPECT_FALSE(plugin->shouldBackup());
    EXPECT_FALSE(plugin->shouldRestore());
    call("backup");
    call("restore");
    EXPECT_EQ(seen(), "");
    EXPECT_TRUE(FileManager::defaultManager().contentsOfDirectoryAtPath(path("Documents/Backups")).empty());
}

TEST_F(LocalStoragePluginTest, ABackupTellsThePageEachPairAndLeavesBothSidesEqual) {
    addPlugin();
    writeWebViewData();
    ASSERT_TRUE(plugin->shouldBackup());
    platform::LogCapture log;
    call("backup");
    EXPECT_EQ(seen(),
              "LocalStorage1:1:Backed up: localStorage database|"
              "LocalStorage1:1:Backed up: websql main database|"
              "LocalStorage1:1:Backed up: websql databases");
    EXPECT_TRUE(log.contains("Backed up: websql databases"));
    EXPECT_EQ(read(backups("localstorage.appdata.db")), "web local");
    EXPECT_EQ(read(backups("websqldbs.appdata.db/https_example.com_0/0000000000000001.db")), "web db");
    // Times travel with the copies, so neither side is newer afterwards.
    EXPECT_FALSE(plugin->shouldBackup());
    EXPECT_FALSE(plugin->shouldRestore());
}

TEST_F(LocalStoragePluginTest, ABackupWithoutACallbackIdIsSilent) {
    addPlugin();
    writeWebViewData();
    container->queue().enqueueCommandBatch(R"([[null,"LocalStorage","backup",[]]])");
    container->queue().executePending();
    platform::RunLoop::main().drain();
    EXPECT_EQ(seen(), "");
    EXPECT_EQ(read(backups("websqlmain.appdata.db")), "web main");
}

TEST_F(LocalStoragePluginTest, ARestoreBringsBackTheNewerCopies) {
    addPlugin();
    write(backups("localstorage.appdata.db"), "saved local", kNewer);
    write(caches("file__0.localstorage"), "wiped", kOlder);
    call("restore", "LocalStorage7");
    EXPECT_EQ(seen(), "LocalStorage7:1:Restored: localStorage database");
    EXPECT_EQ(read(caches("file__0.localstorage")), "saved local");
}

// The raw value of `key` in a web view storage file: UTF-16LE bytes.
std::string storedValue(const std::string& file, const std::string& key) {
    std::string value = "<missing>";
    sqlite3* database = nullptr;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_open_v2(file.c_str(), &database, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(database, "SELECT value FROM ItemTable WHERE key = ?", -1, &statement, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(statement, 1, key.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(statement) == SQLITE_ROW)
            value.assign(static_cast<const char*>(sqlite3_column_blob(statement, 0)),
                         static_cast<std::size_t>(sqlite3_column_bytes(statement, 0)));
    }
    sqlite3_finalize(statement);
    sqlite3_close(database);
    return value;
}

TEST_F(LocalStoragePluginTest, APagesStorageFileTravelsToTheBackupAndBack) {
    addPlugin();
    int loads = 0;
    auto show = [&](platform::WebView& view) {
        const std::string load = std::to_string(++loads);
        view.loadHTMLStringBaseURL("<script>var load = " + load + ";</script>",
                                   platform::URL::fileURLWithPath(path("www/index.html")));
        ASSERT_TRUE(platform::RunLoop::main().runUntil(
            [&] { return view.stringByEvaluatingJavaScriptFromString("load") == load; }, 10));
    };
    platform::WebView view, other;
    show(view);
    show(other);
    other.stringByEvaluatingJavaScriptFromString("localStorage.length");  // keeps the storage alive over the restore
    view.stringByEvaluatingJavaScriptFromString("localStorage.token = 'saved'");
    call("backup");
    EXPECT_EQ(seen(), "LocalStorage1:1:Backed up: localStorage database");
    EXPECT_EQ(storedValue(backups("localstorage.appdata.db"), "token"), std::string("s\0a\0v\0e\0d\0", 10));

    view.stringByEvaluatingJavaScriptFromString("localStorage.token = 'lost'");
    platform::Date later = *FileManager::defaultManager().modificationDateOfItemAtPath(caches("file__0.localstorage"));
    later.sinceReferenceDate += 60;
    FileManager::defaultManager().setModificationDate(backups("localstorage.appdata.db"), later);
    call("restore", "LocalStorage7");
    EXPECT_NE(seen().find("LocalStorage7:1:Restored: localStorage database"), std::string::npos) << seen();
    show(view);
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("localStorage.token"), "saved");
}

TEST_F(LocalStoragePluginTest, APageLoadStartRestoresAndDropsTheResultsForWantOfACallback) {
    addPlugin();
    write(backups("websqlmain.appdata.db"), "saved main", kNewer);
    platform::LogCapture log;
    platform::NotificationCenter::defaultCenter().post(HYBPluginResetNotification, container->webView().get());
    EXPECT_EQ(read(caches("Databases.db")), "saved main");
    EXPECT_TRUE(log.contains("Restored: websql main database"));
    EXPECT_TRUE(log.contains("Invalid callback id received by sendPluginResult"));
    EXPECT_EQ(seen(), "");
}

TEST_F(LocalStoragePluginTest, ResigningActiveBacksUpInTheBackgroundAndTheNextLoadRestoresNothing) {
    auto executor = std::make_shared<platform::ManualExecutor>();
    platform::setGlobalQueue(executor);
    addPlugin();
    writeWebViewData();
    auto& application = platform::UIApplication::sharedApplication();
    application.setApplicationState(platform::UIApplicationState::Inactive);

    EXPECT_EQ(application.runningBackgroundTasks(), 1u);
    EXPECT_FALSE(exists(backups("localstorage.appdata.db")));  // not on the main thread
    EXPECT_EQ(executor->runAll(), 1u);
    EXPECT_EQ(read(backups("localstorage.appdata.db")), "web local");
    EXPECT_EQ(application.runningBackgroundTasks(), 0u);

    platform::LogCapture log;
    plugin->onReset();
    EXPECT_FALSE(log.contains("Restored"));
}

TEST_F(LocalStoragePluginTest, AnExpiredBackgroundTaskIsEndedOnce) {
    auto executor = std::make_shared<platform::ManualExecutor>();
    platform::setGlobalQueue(executor);
    addPlugin();
    writeWebViewData();
    plugin->onResignActive();
    auto& application = platform::UIApplication::sharedApplication();
    platform::LogCapture log;
    application.expireBackgroundTasks();
    EXPECT_TRUE(log.contains("Background task to backup WebSQL/LocalStorage expired."));
    EXPECT_EQ(application.runningBackgroundTasks(), 0u);
    executor->runAll();  // the work itself still runs to its end
    EXPECT_EQ(read(backups("websqlmain.appdata.db")), "web main");
}

TEST_F(LocalStoragePluginTest, WithoutMultitaskingResigningDoesNothing) {
    auto executor = std::make_shared<platform::ManualExecutor>();
    platform::setGlobalQueue(executor);
    platform::UIDevice::currentDevice().setMultitaskingSupported(std::nullopt);
    addPlugin();
    writeWebViewData();
    plugin->onResignActive();
    EXPECT_EQ(executor->pending(), 0u);
    EXPECT_EQ(platform::UIApplication::sharedApplication().runningBackgroundTasks(), 0u);
    EXPECT_FALSE(exists(backups("localstorage.appdata.db")));
}

TEST_F(LocalStoragePluginTest, AnAppThatExitsOnSuspendBacksUpAtOnce) {
    setInfo({{"UIApplicationExitsOnSuspend", true}});
    auto executor = std::make_shared<platform::ManualExecutor>();
    platform::setGlobalQueue(executor);
    addPlugin();
    writeWebViewData();
    plugin->onResignActive();
    EXPECT_EQ(executor->pending(), 0u);
    EXPECT_EQ(read(backups("localstorage.appdata.db")), "web local");
}

TEST_F(LocalStoragePluginTest, TerminationBacksUpBeforeItReturns) {
    auto executor = std::make_shared<platform::ManualExecutor>();
    platform::setGlobalQueue(executor);
    addPlugin();
    writeWebViewData();
    platform::UIApplication::sharedApplication().terminate();
    EXPECT_EQ(executor->pending(), 0u);
    EXPECT_EQ(read(backups("websqldbs.appdata.db/https_example.com_0/0000000000000001.db")), "web db");
}

TEST_F(LocalStoragePluginTest, OneNewerFileMakesTheWholeFolderCopyOver) {
    addPlugin();
    write(caches("file__0/a/1.db"), "same", kOlder);
    write(caches("file__0/a/2.db"), "changed", kNewer);
    write(backups("websqldbs.appdata.db/a/1.db"), "same", kOlder);
    write(backups("websqldbs.appdata.db/a/2.db"), "before", kOlder);
    write(backups("websqldbs.appdata.db/gone.db"), "dropped", kOlder);
    for (const auto& folder : {caches("file__0"), caches("file__0/a"), backups("websqldbs.appdata.db"),
                               backups("websqldbs.appdata.db/a")})
        FileManager::defaultManager().setModificationDate(folder, kOlder);
    call("backup");
    EXPECT_EQ(seen(), "LocalStorage1:1:Backed up: websql databases");
    EXPECT_EQ(read(backups("websqldbs.appdata.db/a/2.db")), "changed");
    EXPECT_FALSE(exists(backups("websqldbs.appdata.db/gone.db")));
}

TEST_F(LocalStoragePluginTest, AFailedPairIsReportedAloneAndTheNextStillBacksUp) {
    addPlugin();
    write(caches("file__0.localstorage"), "new local", kNewer);
    write(backups("localstorage.appdata.db"), "old local", kOlder);
    write(caches("Databases.db"), "new main", kNewer);
    // No room for the first pair's rollback copy; the second pair needs none.
    FileManager::defaultManager().removeItemAtPath(path("tmp"));
    write(path("tmp"), "not a folder", kOlder);
    platform::LogCapture log;
    call("backup");
    const std::string calls = seen();
    EXPECT_EQ(calls.rfind("LocalStorage1:9:Error in HYBLocalStorage (localStorage database) backup: ", 0), 0u) << calls;
    EXPECT_NE(calls.find("|LocalStorage1:1:Backed up: websql main database"), std::string::npos) << calls;
    EXPECT_EQ(read(backups("localstorage.appdata.db")), "old local");
    EXPECT_EQ(read(backups("websqlmain.appdata.db")), "new main");
}

TEST_F(LocalStoragePluginTest, AFolderThatFailsHalfWayKeepsItsOldBackup) {
    addPlugin();
    write(caches("file__0/a.db"), "new", kNewer);
    write(backups("websqldbs.appdata.db/a.db"), "old", kOlder);
    makeEntryTooDeepToCopy(caches("file__0"), backups("websqldbs.appdata.db").size() - caches("file__0").size());
    platform::LogCapture log;
    call("backup");
    EXPECT_EQ(seen().rfind("LocalStorage1:9:Error in HYBLocalStorage (websql databases) backup: ", 0), 0u) << seen();
    EXPECT_EQ(read(backups("websqldbs.appdata.db/a.db")), "old");
    EXPECT_EQ(temporaryEntries(), 0u);
}

TEST_F(LocalStoragePluginTest, BackupsAndRestoresFromTwoThreadsNeverInterleave) {
    addPlugin();
    // A folder big enough for a copy to take a while, so an unguarded
    // restore would find the backup half gone.
    for (int i = 0; i < 100; ++i) write(caches("file__0/db" + std::to_string(i)), std::string(4096, 'x'), kOlder);
    FileManager::defaultManager().setModificationDate(caches("file__0"), kOlder);
    ASSERT_TRUE(HYBLocalStorage::copyFrom(caches("file__0"), backups("websqldbs.appdata.db")));
    platform::LogCapture log;
    std::thread background([&] {
        for (int i = 0; i < 30; ++i) {
            FileManager::defaultManager().setModificationDate(caches("file__0/db7"), Date{3000.0 + i * 2});
            plugin->backup(nullptr);
        }
    });
    for (int i = 0; i < 30; ++i) {
        FileManager::defaultManager().setModificationDate(backups("websqldbs.appdata.db/db7"), Date{3001.0 + i * 2});
        plugin->restore(nullptr);
    }
    background.join();
    EXPECT_FALSE(log.contains("Error in HYBLocalStorage"));
    EXPECT_EQ(FileManager::defaultManager().contentsOfDirectoryAtPath(caches("file__0")).size(), 100u);
    EXPECT_EQ(FileManager::defaultManager().contentsOfDirectoryAtPath(backups("websqldbs.appdata.db")).size(), 100u);
}

// ---------------------------------------------------------------------------
// Start-up repairs

class DatabaseLocationsTest : public AppHomeTest {
protected:
    std::string preferences() const { return path(std::string("Library/Preferences/") + kBundleIdentifier + ".plist"); }
};

TEST_F(DatabaseLocationsTest, StalePathsPointBackIntoTheAppFolder) {
    platform::Dictionary prefs{{"WebKitLocalStorageDatabasePathPreferenceKey", "/old/app/Library/Caches"},
                               {"WebDatabaseDirectory", home + "/Library/Caches"},
                               {"Other", "/old/app"}};
    EXPECT_TRUE(HYBLocalStorage::verifyAndFixDatabaseLocationsWithAppPlistDictBundlePathFileManager(
        prefs, home, FileManager::defaultManager()));
    EXPECT_EQ(prefs["WebKitLocalStorageDatabasePathPreferenceKey"], platform::Value(home + "/Library/Caches"));
    EXPECT_EQ(prefs["WebDatabaseDirectory"], platform::Value(home + "/Library/Caches"));
    EXPECT_EQ(prefs["Other"], platform::Value("/old/app"));

    EXPECT_FALSE(HYBLocalStorage::verifyAndFixDatabaseLocationsWithAppPlistDictBundlePathFileManager(
        prefs, home, FileManager::defaultManager()));

    platform::Dictionary onlyOne{{"WebDatabaseDirectory", "/elsewhere"}};
    FileManager::defaultManager().removeItemAtPath(path("Library/Caches"));
    EXPECT_TRUE(HYBLocalStorage::verifyAndFixDatabaseLocationsWithAppPlistDictBundlePathFileManager(
        onlyOne, home, FileManager::defaultManager()));
    EXPECT_EQ(onlyOne["WebDatabaseDirectory"], platform::Value(home + "/Library/WebKit"));
    EXPECT_EQ(onlyOne.count("WebKitLocalStorageDatabasePathPreferenceKey"), 0u);
}

TEST_F(DatabaseLocationsTest, TheRepairIsWrittenToThePreferencesFile) {
    ASSERT_TRUE(platform::writePropertyListFile(
        platform::Value(platform::Dictionary{{"WebDatabaseDirectory", "/var/old/Library/Caches"}, {"keep", 1}}),
        preferences()));
    platform::LogCapture log;
    HYBLocalStorage::verifyAndFixDatabaseLocations();
    EXPECT_TRUE(log.contains("Fix applied for database locations?: YES"));
    auto written = platform::readPropertyListFile(preferences());
    ASSERT_TRUE(written.value);
    EXPECT_EQ((*written.value)["WebDatabaseDirectory"], platform::Value(home + "/Library/Caches"));
    EXPECT_EQ((*written.value)["keep"], platform::Value(1));

    log.clear();
    HYBLocalStorage::verifyAndFixDatabaseLocations();  // nothing left to repair
    EXPECT_FALSE(log.contains("Fix applied"));
}

TEST_F(DatabaseLocationsTest, DefaultsKeptInThePreferencesFileDoNotUndoTheRepair) {
    ASSERT_TRUE(platform::writePropertyListFile(
        platform::Value(platform::Dictionary{{"WebKitLocalStorageDatabasePathPreferenceKey", "/var/old"}}),
        preferences()));
    const std::string previous = platform::UserDefaults::standard().path();
    platform::UserDefaults::setStandardFile(preferences());
    HYBLocalStorage::verifyAndFixDatabaseLocations();
    EXPECT_EQ(platform::UserDefaults::standard().stringForKey("WebKitLocalStorageDatabasePathPreferenceKey"),
              home + "/Library/Caches");
    auto written = platform::readPropertyListFile(preferences());
    platform::UserDefaults::setStandardFile(previous);
    ASSERT_TRUE(written.value);
    EXPECT_EQ((*written.value)["WebKitLocalStorageDatabasePathPreferenceKey"], platform::Value(home + "/Library/Caches"));
}

TEST_F(DatabaseLocationsTest, AMissingPreferencesFileIsLeftMissing) {
    platform::LogCapture log;
    HYBLocalStorage::verifyAndFixDatabaseLocations();
    EXPECT_FALSE(exists(preferences()));
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(DatabaseLocationsTest, ABrokenPreferencesFileIsLoggedAndKept) {
    write(preferences(), "<plist><dict><key>broken", kOlder);
    platform::LogCapture log;
    HYBLocalStorage::verifyAndFixDatabaseLocations();
    EXPECT_TRUE(log.contains(preferences()));
    EXPECT_FALSE(log.contains("Fix applied"));
    EXPECT_EQ(read(preferences()), "<plist><dict><key>broken");

    ASSERT_TRUE(platform::writePropertyListFile(platform::Value(platform::Array{1, 2}), preferences()));
    log.clear();
    HYBLocalStorage::verifyAndFixDatabaseLocations();
    EXPECT_TRUE(log.contains(preferences()));
    EXPECT_FALSE(log.contains("Fix applied"));
}

using LegacyDataTest = AppHomeTest;

TEST_F(LegacyDataTest, BeforeSystem6NothingMovesAndNoFlagIsWritten) {
    platform::UIDevice::currentDevice().setSystemVersion("5.1");
    write(path("Library/WebKit/LocalStorage/file__0.localstorage"), "legacy", kNewer);
    HYBLocalStorage::fixupDatabaseLocationsWithBackupType("local");
    EXPECT_TRUE(exists(path("Library/WebKit/LocalStorage/file__0.localstorage")));
    EXPECT_FALSE(exists(caches("file__0.localstorage")));
    EXPECT_TRUE(platform::UserDefaults::standard().objectForKey("WebKitStoreWebDataForBackup").isNil());
}

TEST_F(LegacyDataTest, LocalMovesTheNestedLibraryDataIntoTheCaches) {
    write(path("Library/WebKit/LocalStorage/file__0.localstorage"), "legacy", kNewer);
    write(path("Library/WebKit/LocalStorage/Databases.db"), "stale", kOlder);
    write(caches("Databases.db"), "current", kNewer);
    platform::LogCapture log;
    HYBLocalStorage::fixupDatabaseLocationsWithBackupType("local");
    EXPECT_EQ(read(caches("file__0.localstorage")), "legacy");
    EXPECT_EQ(read(caches("Databases.db")), "current");  // the older legacy copy is only dropped
    EXPECT_FALSE(exists(path("Library/WebKit/LocalStorage/file__0.localstorage")));
    EXPECT_FALSE(exists(path("Library/WebKit/LocalStorage/Databases.db")));
    const std::string from = path("Library/WebKit/LocalStorage/file__0.localstorage");
    EXPECT_TRUE(log.contains("Restoring old webstorage backup. From: '" + from + "' To: '" +
                             caches("file__0.localstorage") + "'."));
    EXPECT_TRUE(log.contains("Removing old webstorage backup: '" + path("Library/WebKit/LocalStorage/Databases.db") + "'."));
    EXPECT_EQ(log.count("Restoring old webstorage backup"), 1u);
    EXPECT_EQ(platform::UserDefaults::standard().objectForKey("WebKitStoreWebDataForBackup"), platform::Value(false));
}

TEST_F(LegacyDataTest, CloudMovesBackupsAndCachesIntoTheNestedLibrary) {
    write(backups("localstorage.appdata.db"), "from backups", kNewer);
    write(caches("Databases.db"), "from caches", kNewer);
    HYBLocalStorage::restoreLegacyDatabaseLocationsWithBackupType("cloud");
    EXPECT_EQ(read(path("Library/WebKit/LocalStorage/file__0.localstorage")), "from backups");
    EXPECT_EQ(read(path("Library/WebKit/LocalStorage/Databases.db")), "from caches");
    EXPECT_FALSE(exists(backups("localstorage.appdata.db")));
    EXPECT_FALSE(exists(caches("Databases.db")));
    EXPECT_EQ(platform::UserDefaults::standard().objectForKey("WebKitStoreWebDataForBackup"), platform::Value(true));
}

// The file in place crashed mid-write and left its journal; the older
// backup restored over it is what the page reads, not the crashed file's
// items played back into it.
TEST_F(LegacyDataTest, ABackupRestoredOverAFileCutOffMidWriteIsReadAsItIs) {
    const std::string input = std::string(HYBRID_SOURCE_DIR) + "/tests/data/fault-inputs/storage-restore-hot-journal-";
    const std::string file = caches("file__0.localstorage");
    for (const char* suffix : {"", "-journal"}) {
        write(file + suffix, read(input + "original.localstorage" + suffix), kOlder);
    }
    write(path("Library/WebKit/LocalStorage/file__0.localstorage"), read(input + "backup.localstorage"), kNewer);
    platform::LogCapture log;
    HYBLocalStorage::restoreLegacyDatabaseLocationsWithBackupType("local");
    EXPECT_TRUE(log.contains("Restoring old webstorage backup"));
    auto area = platform::StorageArea::local(platform::localStorageDirectory(), "file__0");
    EXPECT_EQ(area->getItem("persist"), "Y-restored");
    EXPECT_TRUE(area->getItem("restored"));
    EXPECT_EQ(area->getItem("other"), std::nullopt);
    EXPECT_FALSE(exists(file + "-journal"));
}

TEST_F(LegacyDataTest, OldDataThatCannotBeMovedIsKept) {
    write(path("Library/WebKit/LocalStorage/Databases.db"), "only copy", kNewer);
    FileManager::defaultManager().removeItemAtPath(path("Library/Caches"));
    write(path("Library/Caches"), "a file in the way", kOlder);
    platform::LogCapture log;
    HYBLocalStorage::restoreLegacyDatabaseLocationsWithBackupType("local");
    EXPECT_EQ(read(path("Library/WebKit/LocalStorage/Databases.db")), "only copy");
    EXPECT_FALSE(log.contains("Removing old webstorage backup"));
}

}  // namespace
