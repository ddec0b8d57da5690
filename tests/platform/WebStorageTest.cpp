// The pages' localStorage and sessionStorage: the Storage interface, origins,
// the quota, the SQLite files in the app's Library and what happens to a bad one.
#include "platform/ui/WebStorage.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "TemporaryDirectory.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/WebView.h"

using platform::FileManager;
using platform::URL;
using platform::WebView;

namespace {

constexpr const char* kCloudKey = "WebKitStoreWebDataForBackup";

class WebStorageTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousHome_ = FileManager::homeDirectory();
        FileManager::setHomeDirectory(folder_.file("home"));
        platform::UserDefaults::standard().removeObjectForKey(kCloudKey);
    }
    void TearDown() override {
        platform::UserDefaults::standard().removeObjectForKey(kCloudKey);
        FileManager::setHomeDirectory(previousHome_);
    }

    // A new web view showing an empty page at `url`.
    static std::shared_ptr<WebView> open(const std::string& url) {
        auto view = std::make_shared<WebView>();
        show(*view, url);
        return view;
    }
    static void show(WebView& view, const std::string& url) {
        if (url.rfind("data:", 0) == 0)
            view.loadRequest(platform::URLRequest(URL::create(url)));
        else
            view.loadHTMLStringBaseURL("", URL::create(url));
        ASSERT_TRUE(platform::RunLoop::main().runUntil(
            [&] { return view.stringByEvaluatingJavaScriptFromString("location.href") == url; }, 10));
    }
    static std::string caches(const std::string& name) {
        return FileManager::defaultManager().cachesDirectory() + "/" + name;
    }
    static std::string read(const std::string& file) {
        std::stringstream text;
        text << std::ifstream(file, std::ios::binary).rdbuf();
        return text.str();
    }

private:
    testing_support::TemporaryDirectory folder_;
    std::string previousHome_;
};

// A full disk or a failing one, which tests run as root cannot have: while
// installed, writes to a database file or its WAL opened meanwhile fail with
// `failure` unless that is SQLITE_OK; a full disk has room for a file's first MiB.
class FailingDisk {
public:
    FailingDisk() {
        real_ = sqlite3_vfs_find(nullptr);
        vfs_ = *real_;
        vfs_.zName = "failing-disk";
        vfs_.xOpen = &FailingDisk::open;
        sqlite3_vfs_register(&vfs_, 1);
    }
    ~FailingDisk() {
        sqlite3_vfs_unregister(&vfs_);
        failure = SQLITE_OK;
        withoutSharedMemory = false;
    }
    FailingDisk(const FailingDisk&) = delete;
    FailingDisk& operator=(const FailingDisk&) = delete;

    static inline int failure = SQLITE_OK;
    // Files opened meanwhile cannot keep a WAL.
    static inline bool withoutSharedMemory = false;

private:
    // The main file's methods (0) and the WAL's (1) may differ.
    template <int kind>
    static int write(sqlite3_file* file, const void* bytes, int size, sqlite3_int64 offset) {
        if (failure == SQLITE_FULL ? offset + size > (1 << 20) : failure != SQLITE_OK) return failure;
        return realMethods_[kind]->xWrite(file, bytes, size, offset);
    }

    static int open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
        const int opened = real_->xOpen(real_, name, file, flags, outFlags);
        if (opened != SQLITE_OK || !file->pMethods || !(flags & (SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_WAL))) return opened;
        const int kind = flags & SQLITE_OPEN_MAIN_DB ? 0 : 1;
        realMethods_[kind] = file->pMethods;
        methods_[kind] = *file->pMethods;
        methods_[kind].xWrite = kind == 0 ? &write<0> : &write<1>;
        if (withoutSharedMemory && kind == 0) methods_[kind].xShmMap = nullptr;
        file->pMethods = &methods_[kind];
        return opened;
    }

    static inline sqlite3_vfs* real_ = nullptr;
    static inline sqlite3_vfs vfs_{};
    static inline const sqlite3_io_methods* realMethods_[2] = {};
    static inline sqlite3_io_methods methods_[2] = {};
};

}  // namespace

TEST_F(WebStorageTest, WhatAPageStoresIsInItsFileAndTheNextWebViewReadsItBack) {
    auto view = open("file:///www/index.html");
    view->stringByEvaluatingJavaScriptFromString(
        "localStorage.setItem('token', 'a\\u0000b\\u{1F600}\\u00e9'); localStorage.theme = 'dark';"
        "localStorage.setItem('gone', 'x'); localStorage.removeItem('gone');");
    view.reset();  // the app ends
    EXPECT_EQ(read(caches("file__0.localstorage")).substr(0, 16), std::string("SQLite format 3\0", 16));

    view = open("file:///elsewhere/page.html");  // every file page is one origin
    EXPECT_EQ(view->stringByEvaluatingJavaScriptFromString(
                  "localStorage.getItem('token') === 'a\\u0000b\\u{1F600}\\u00e9' && localStorage.length"),
              "2");
    EXPECT_EQ(view->stringByEvaluatingJavaScriptFromString("localStorage.theme + (localStorage.gone === undefined)"),
              "darktrue");
    view->stringByEvaluatingJavaScriptFromString("localStorage.clear()");
    view = open("file:///www/index.html");
    EXPECT_EQ(view->stringByEvaluatingJavaScriptFromString("localStorage.length"), "0");
}

TEST_F(WebStorageTest, KeysAndValuesAreStringsAndItemsArePropertiesToo) {
    auto view = open("https://a.example/");
    auto eval = [&](const std::string& script) { return view->stringByEvaluatingJavaScriptFromString(script); };
    eval("localStorage.setItem('n', 42); localStorage.setItem('o', {a: 1}); localStorage.setItem(7, null);"
         "localStorage.setItem('u', undefined); localStorage.key = 'shadowed';");
    EXPECT_EQ(eval("[typeof localStorage.getItem('n'), localStorage.getItem('n'), localStorage.getItem('o'),"
                   " localStorage.getItem('7'), localStorage.u, localStorage.getItem('missing')].join()"),
              "string,42,[object Object],null,undefined,");
    EXPECT_EQ(eval("localStorage.getItem('missing') === null && localStorage.missing === undefined"), "true");
    EXPECT_EQ(eval("typeof localStorage.key + localStorage.getItem('key') + ('n' in localStorage)"),
              "functionshadowedtrue");
    // An item named like a member of the interface is no property, as in browsers.
    EXPECT_EQ(eval("Object.keys(localStorage).join() + '|' + localStorage.key(0) + '|' + localStorage.key(9)"),
              "7,n,o,u|7|null");
    EXPECT_EQ(eval("delete localStorage.n; localStorage.length + (localStorage instanceof Storage ? ' storage' : '')"),
              "4 storage");
    EXPECT_EQ(eval("try { localStorage.setItem('lonely'); 'no' } catch (e) { e.name }"), "TypeError");
}

TEST_F(WebStorageTest, EachOriginHasItsOwnItemsAndFile) {
    const char* urls[] = {"https://a.example/", "https://a.example:8443/", "https://b.example/", "http://a.example/"};
    for (const char* url : urls)
        open(url)->stringByEvaluatingJavaScriptFromString(std::string("localStorage.where = '") + url + "'");
    for (const char* url : urls)
        EXPECT_EQ(open(url)->stringByEvaluatingJavaScriptFromString("localStorage.where"), url);
    EXPECT_EQ(open("https://A.example:443/")->stringByEvaluatingJavaScriptFromString("localStorage.where"),
              "https://a.example/");
    for (const char* name : {"https_a.example_0", "https_a.example_8443", "https_b.example_0", "http_a.example_0"})
        EXPECT_TRUE(FileManager::defaultManager().fileExistsAtPath(caches(std::string(name) + ".localstorage"))) << name;

    // Where the container keeps web data for the cloud backup.
    platform::UserDefaults::standard().setObject(kCloudKey, platform::Value(true));
    open("https://c.example/")->stringByEvaluatingJavaScriptFromString("localStorage.x = 1");
    EXPECT_TRUE(FileManager::defaultManager().fileExistsAtPath(FileManager::defaultManager().libraryDirectory() +
                                                               "/WebKit/LocalStorage/https_c.example_0.localstorage"));
}

TEST_F(WebStorageTest, PagesOfAnOpaqueOriginHaveNoStorage) {
    for (const char* url : {"about:blank", "data:text/html,hello"}) {
        auto view = url == std::string("about:blank") ? std::make_shared<WebView>() : open(url);
        EXPECT_EQ(view->stringByEvaluatingJavaScriptFromString(
                      "try { localStorage; 'allowed' } catch (e) { e.name }"),
                  "SecurityError");
        EXPECT_EQ(view->stringByEvaluatingJavaScriptFromString(
                      "try { sessionStorage.length; 'allowed' } catch (e) { e.name + ' ' + e.code }"),
                  "SecurityError 18")
            << url;
    }
}

TEST_F(WebStorageTest, AWriteOverTheQuotaThrowsAndChangesNothing) {
    auto view = open("file:///www/index.html");
    auto eval = [&](const std::string& script) { return view->stringByEvaluatingJavaScriptFromString(script); };
    // Keys count too, and a character beyond the basic plane counts two.
    const std::string fill = "localStorage.setItem('a', 'x'.repeat(" + std::to_string(platform::kWebStorageQuota - 3) + "));";
    eval(fill + "localStorage.setItem('e', 'o');");  // exactly the quota
    EXPECT_EQ(eval("try { localStorage.setItem('e', '\\u{1F600}'); 'stored' } catch (e) { e.name + ' ' + e.code }"),
              "QuotaExceededError 22");
    EXPECT_EQ(eval("try { localStorage.f = '' ; 'stored' } catch (e) { e.name }"), "QuotaExceededError");
    EXPECT_EQ(eval("localStorage.length + localStorage.getItem('e')"), "2o");
    view = open("file:///www/index.html");
    EXPECT_EQ(view->stringByEvaluatingJavaScriptFromString("localStorage.e"), "o");
    EXPECT_EQ(view->stringByEvaluatingJavaScriptFromString("localStorage.e = '\\u00e9'; localStorage.e"), "\xC3\xA9");
}

TEST_F(WebStorageTest, SessionStorageFollowsTheWebViewAndIsNeverSaved) {
    auto view = open("file:///www/a.html");
    view->stringByEvaluatingJavaScriptFromString("sessionStorage.setItem('step', '1')");
    show(*view, "https://a.example/");
    EXPECT_EQ(view->stringByEvaluatingJavaScriptFromString("sessionStorage.length"), "0");
    show(*view, "file:///www/b.html");
    EXPECT_EQ(view->stringByEvaluatingJavaScriptFromString("sessionStorage.step"), "1");
    EXPECT_EQ(open("file:///www/a.html")->stringByEvaluatingJavaScriptFromString("sessionStorage.length"), "0");
    view.reset();
    EXPECT_EQ(open("file:///www/a.html")->stringByEvaluatingJavaScriptFromString("sessionStorage.length"), "0");
    for (const auto& entry : FileManager::defaultManager().enumeratorAtPath(FileManager::defaultManager().homeDirectory()))
        EXPECT_EQ(entry.find("localstorage"), std::string::npos) << entry;
}

TEST_F(WebStorageTest, AnUnreadableFileIsLoggedSetAsideAndItsOriginStartsEmpty) {
    std::ofstream(caches("file__0.localstorage"), std::ios::binary) << std::string(4096, 'z');
    platform::LogCapture log;
    auto view = open("file:///www/index.html");
    EXPECT_EQ(view->stringByEvaluatingJavaScriptFromString("localStorage.length"), "0");
    EXPECT_TRUE(log.contains("WebView: the local storage file " + caches("file__0.localstorage") + " cannot be read"));
    EXPECT_EQ(read(caches("file__0.localstorage.corrupt")), std::string(4096, 'z'));

    view->stringByEvaluatingJavaScriptFromString("localStorage.fresh = 'start'");
    EXPECT_EQ(open("file:///www/index.html")->stringByEvaluatingJavaScriptFromString("localStorage.fresh"), "start");
}

TEST_F(WebStorageTest, AChangeTheFileRefusesThrowsAndTheItemsStayWhatTheFileHolds) {
    FailingDisk disk;
    auto view = open("file:///www/index.html");
    auto eval = [&](const std::string& script) { return view->stringByEvaluatingJavaScriptFromString(script); };
    eval("localStorage.kept = 'old'; localStorage.other = 'x'");
    platform::LogCapture log;

    FailingDisk::failure = SQLITE_FULL;
    EXPECT_EQ(eval("try { localStorage.setItem('kept', 'z'.repeat(2000000)); 'saved' }"
                   " catch (e) { e.name + ' ' + e.code }"),
              "QuotaExceededError 22");
    // The value filled SQLite's cache, which spilled into the file before the
    // disk was full; a reader without write access could not play back a
    // journal left behind.
    EXPECT_FALSE(FileManager::defaultManager().fileExistsAtPath(caches("file__0.localstorage-journal")));
    FailingDisk::failure = SQLITE_IOERR_WRITE;
    EXPECT_EQ(eval("[() => localStorage.fresh = 'y', () => localStorage.removeItem('other'),"
                   " () => delete localStorage.other, () => localStorage.clear()].map(change => {"
                   " try { change(); return 'saved' } catch (e) { return e.name } }).join()"),
              "InvalidStateError,InvalidStateError,InvalidStateError,InvalidStateError");
    EXPECT_EQ(eval("localStorage.length + localStorage.kept + localStorage.other"), "2oldx");
    EXPECT_TRUE(log.contains("WebView: could not save the local storage of file__0"));

    auto area = platform::StorageArea::local(platform::localStorageDirectory(), "file__0");
    FailingDisk::failure = SQLITE_FULL;
    EXPECT_EQ(area->setItem("k", std::string(1 << 20, 'v')), platform::StorageWriteResult::DiskFull);
    EXPECT_EQ(area->getItem("k"), std::nullopt);

    FailingDisk::failure = SQLITE_OK;
    area.reset();
    view.reset();  // the app ends
    view = open("file:///www/index.html");
    EXPECT_EQ(eval("localStorage.length + localStorage.kept + localStorage.other"), "2oldx");
}

TEST_F(WebStorageTest, AFileThatCannotKeepItsWALIsNotWrittenToUntilItCan) {
    FailingDisk disk;
    FailingDisk::withoutSharedMemory = true;
    platform::LogCapture log;
    auto area = platform::StorageArea::local(platform::localStorageDirectory(), "file__0");
    EXPECT_EQ(area->setItem("k", "v"), platform::StorageWriteResult::Failed);
    EXPECT_TRUE(log.contains("its WAL cannot be kept"));
    EXPECT_EQ(area->getItem("k"), std::nullopt);
    FailingDisk::withoutSharedMemory = false;
    EXPECT_EQ(area->setItem("k", "v"), platform::StorageWriteResult::Saved);
    EXPECT_TRUE(std::filesystem::exists(caches("file__0.localstorage-wal")));
}

// A child writes keys, saying each one saved before it writes the next, and
// is killed at a random moment; a fresh open then reads every key it said.
TEST_F(WebStorageTest, EveryWriteAnsweredAsSavedSurvivesAKillAtAnyMoment) {
    const std::string directory = platform::localStorageDirectory();
    std::mt19937 random(20261209);
    std::vector<std::string> said;
    for (int round = 0; round < 20; ++round) {
        int channel[2];
        ASSERT_EQ(::pipe(channel), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(channel[0]);
            auto area = platform::StorageArea::local(directory, "file__0");
            for (std::uint32_t i = 0;; ++i) {
                const std::string key = std::to_string(round) + "-" + std::to_string(i);
                if (area->setItem(key, std::string(i % 500, 'v')) != platform::StorageWriteResult::Saved) ::_exit(1);
                if (::write(channel[1], &i, sizeof i) != sizeof i) ::_exit(2);
            }
        }
        ::close(channel[1]);
        const int before = std::uniform_int_distribution(1, 150)(random);
        std::uint32_t saved = 0;
        int count = 0;
        while (count < before && ::read(channel[0], &saved, sizeof saved) == sizeof saved) ++count;
        ::kill(child, SIGKILL);
        while (::read(channel[0], &saved, sizeof saved) == sizeof saved) ++count;
        ::close(channel[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself: " << status;
        for (int i = 0; i < count; ++i) said.push_back(std::to_string(round) + "-" + std::to_string(i));

        auto area = platform::StorageArea::local(directory, "file__0");
        for (const std::string& key : said) ASSERT_TRUE(area->getItem(key)) << key << " in round " << round;
    }
}

TEST_F(WebStorageTest, AWriteToATableATriggerWasAddedToLaterDoesNotReadBackAndSaysSo) {
    const std::string file = caches("file__0.localstorage");
    auto view = open("file:///www/index.html");
    auto eval = [&](const char* script) { return view->stringByEvaluatingJavaScriptFromString(script); };
    eval("localStorage.persist = 'new'");
    platform::LogCapture log;
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(other,
                           "CREATE TRIGGER drop_new AFTER INSERT ON ItemTable "
                           "BEGIN DELETE FROM ItemTable WHERE key = NEW.key; END",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(other);
    EXPECT_EQ(eval("try { localStorage.persist = 'newer'; 'saved' } catch (e) { e.name }"), "InvalidStateError");
    EXPECT_TRUE(log.contains("does not read back what was written"));
}

// A restored file is used as the store's own when it is exactly what the
// store writes; one SQLite finds damaged is set aside whole and its origin
// starts empty; any other is kept aside and its readable items go into a
// fresh file of the store's making. The files made here break one rule
// each (what the schema's rows say, what else the schema holds, how a key
// or a value is stored); the fault-input files were met in the wild. The key
// index of the damage files misses rows, which only SQLite's whole check
// sees; the last of the malformed files, read after the ones before it, was
// read as sound or not by where the sanitizer's heap put SQLite's pages.
enum class Fate { Ours, Carried, Damaged };

struct RestoredFile {
    const char* name;
    Fate fate;
    std::size_t items;          // what the page finds at first
    const char* sql = nullptr;  // makes the file, which holds "persist" too; without, a fault input
};

#define OUR_TABLE "CREATE TABLE ItemTable (key TEXT UNIQUE ON CONFLICT REPLACE, value BLOB NOT NULL ON CONFLICT FAIL);"

class WebStorageFileTest : public WebStorageTest, public ::testing::WithParamInterface<RestoredFile> {};

TEST_P(WebStorageFileTest, IsOursCarriedOverOrSetAsideAtItsFirstReadAndWhatIsChangedAfterReadsBack) {
    const std::string directory = platform::localStorageDirectory();
    const std::string file = caches("file__0.localstorage");
    const auto [name, fate, items, sql] = GetParam();
    const std::string input = std::string(HYBRID_SOURCE_DIR) + "/tests/data/fault-inputs/" + name;
    std::vector<std::string> files = {input};
    if (std::string(name) == "storage-saved-then-malformed")
        files.insert(files.begin(), {input + "-prior-1", input + "-prior-2", input + "-prior-3"});
    std::shared_ptr<platform::StorageArea> area;
    std::string original;
    platform::LogCapture log;
    for (const std::string& each : files) {
        std::filesystem::remove_all(directory);
        std::filesystem::create_directories(directory);
        if (sql) {
            sqlite3* made = nullptr;
            ASSERT_EQ(sqlite3_open(file.c_str(), &made), SQLITE_OK);
            const std::string statements = std::string(sql) + "INSERT INTO ItemTable VALUES ('persist', x'6f006c006400');";
            EXPECT_EQ(sqlite3_exec(made, statements.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(made);
            sqlite3_close(made);
        } else {
            std::filesystem::copy_file(each + ".localstorage", file);
        }
        original = read(file);
        log.clear();
        area = platform::StorageArea::local(directory, "file__0");
        if (each == input) break;
        for (std::size_t i = 0; i < area->length(); ++i) area->getItem(*area->key(i));
        area->setItem("seen", each);
        area.reset();
        area = platform::StorageArea::local(directory, "file__0");
    }
    EXPECT_EQ(log.contains("WebView: the local storage file " + file + " cannot be read"), fate == Fate::Damaged);
    EXPECT_EQ(log.contains("WebView: the local storage file " + file + " is not as this store writes it"),
              fate == Fate::Carried);
    if (fate != Fate::Ours) {
        EXPECT_EQ(read(file + ".corrupt"), original);
    }
    EXPECT_EQ(area->length(), items);
    if (sql) {
        EXPECT_EQ(area->getItem("persist"), "old");
    }

    // Nothing removed comes back, nothing saved is lost.
    while (area->length()) ASSERT_EQ(area->removeItem(*area->key(0)), platform::StorageWriteResult::Saved);
    area.reset();
    area = platform::StorageArea::local(directory, "file__0");
    EXPECT_EQ(area->length(), 0u);
    for (const char* key : {"persist", "Persist", "007"})
        EXPECT_EQ(area->setItem(key, std::string(key) + "-value-longer-than-eight"), platform::StorageWriteResult::Saved)
            << key;
    area.reset();
    // Closing settles the file: a copy of it alone holds every change.
    EXPECT_FALSE(std::filesystem::exists(file + "-wal"));
    area = platform::StorageArea::local(directory, "file__0");
    EXPECT_EQ(area->length(), 3u);
    for (const char* key : {"persist", "Persist", "007"})
        EXPECT_EQ(area->getItem(key), std::string(key) + "-value-longer-than-eight");
    EXPECT_FALSE(std::filesystem::exists(fate == Fate::Ours ? file + ".corrupt" : file + ".corrupt.1"));
}

static std::string inputName(const ::testing::TestParamInfo<RestoredFile>& info) {
    std::string name = info.param.name;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(
    Made, WebStorageFileTest,
    ::testing::Values(
        RestoredFile{"ours", Fate::Ours, 1, OUR_TABLE},
        RestoredFile{"value-check", Fate::Carried, 1,
                     "CREATE TABLE ItemTable (key TEXT UNIQUE ON CONFLICT REPLACE,"
                     " value BLOB NOT NULL ON CONFLICT FAIL CHECK (length(value) < 8));"},
        RestoredFile{"and-a-view", Fate::Carried, 1, OUR_TABLE "CREATE VIEW v AS SELECT key FROM ItemTable;"},
        RestoredFile{"key-as-blob", Fate::Carried, 2,
                     OUR_TABLE "INSERT INTO ItemTable VALUES (CAST('blob' AS BLOB), x'7800');"},
        RestoredFile{"key-not-well-formed", Fate::Carried, 2,
                     OUR_TABLE "INSERT INTO ItemTable VALUES (CAST(x'61ff' AS TEXT), x'7800');"},
        RestoredFile{"value-as-text", Fate::Carried, 2, OUR_TABLE "INSERT INTO ItemTable VALUES ('text', 'x');"}),
    inputName);

INSTANTIATE_TEST_SUITE_P(
    Restored, WebStorageFileTest,
    ::testing::Values(RestoredFile{"storage-wal-mode", Fate::Ours, 1},
                      RestoredFile{"storage-lowercase-itemtable", Fate::Carried, 1},
                      RestoredFile{"storage-type-Table", Fate::Carried, 0},
                      RestoredFile{"storage-schema-spelt-otherwise", Fate::Carried, 1},
                      RestoredFile{"storage-schema-key-integer", Fate::Carried, 0},
                      RestoredFile{"storage-schema-key-nocase", Fate::Carried, 0},
                      RestoredFile{"storage-schema-no-unique", Fate::Carried, 2},
                      RestoredFile{"storage-schema-no-unique-refused-write-kept", Fate::Carried, 2},
                      RestoredFile{"storage-schema-without-rowid", Fate::Carried, 2},
                      RestoredFile{"storage-trigger-drops-writes", Fate::Carried, 1},
                      RestoredFile{"storage-trigger-typed-Trigger", Fate::Carried, 1},
                      RestoredFile{"storage-key-blob-saved-lost", Fate::Carried, 1},
                      RestoredFile{"storage-key-blob-removed-comes-back", Fate::Carried, 2},
                      RestoredFile{"storage-index-damage", Fate::Damaged, 0},
                      RestoredFile{"storage-index-damage-refused-write-kept", Fate::Damaged, 0},
                      RestoredFile{"storage-saved-then-malformed", Fate::Damaged, 0}),
    inputName);
