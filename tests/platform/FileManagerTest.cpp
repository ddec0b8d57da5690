#include "platform/foundation/FileManager.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/foundation/Log.h"
#include "tests/platform/TemporaryDirectory.h"

using platform::Data;
using platform::Date;
using platform::Error;
using platform::FileManager;

namespace fs = std::filesystem;

namespace {

Data bytes(const std::string& text) { return Data(text.begin(), text.end()); }

class FileManagerTest : public ::testing::Test {
protected:
    FileManager& files = FileManager::defaultManager();
    testing_support::TemporaryDirectory folder;
    platform::LogCapture logs;

    std::string path(const std::string& relative) const { return folder.file(relative); }
    double modified(const std::string& relative) const {
        return files.modificationDateOfItemAtPath(path(relative)).value_or(Date{NAN}).sinceReferenceDate;
    }
};

// Folders and files with distinct sub-second times, set after the tree is
// complete so that filling a folder does not move its own time.
struct TimedTree {
    std::vector<std::pair<std::string, double>> times{
        {"tree", 400000000.125}, {"tree/a.txt", 400000001.5},  {"tree/sub", 400000002.75},
        {"tree/sub/b.txt", 400000003.25}, {"tree/sub/deeper", 400000004.5}, {"tree/sub/deeper/c.bin", 400000005.625},
    };
};

}  // namespace

// --- The app's home ---------------------------------------------------------

TEST_F(FileManagerTest, SettingTheHomeMakesTheSandboxLayout) {
    const std::string home = path("app-home");
    FileManager::setHomeDirectory(home + "/");
    EXPECT_EQ(FileManager::homeDirectory(), home);
    EXPECT_EQ(files.documentsDirectory(), home + "/Documents");
    EXPECT_EQ(files.libraryDirectory(), home + "/Library");
    EXPECT_EQ(files.cachesDirectory(), home + "/Library/Caches");
    EXPECT_EQ(files.temporaryDirectory(), home + "/tmp/");
    for (const char* sub : {"Documents", "Library", "Library/Caches", "Library/Preferences", "tmp"})
        EXPECT_TRUE(fs::is_directory(home + "/" + sub)) << sub;
}

// The default is decided by the environment before any home is set, which
// this process can no longer observe; a fresh process of the test binary can.
TEST(FileManagerDeathTest, DefaultHomeIsAPerUserFolderNeverTheSharedTmp) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto probe = [] {
        testing_support::TemporaryDirectory data;
        const std::string base = data.path().string();
        bool ok = true;
        ::setenv("XDG_DATA_HOME", base.c_str(), 1);
        std::string home = FileManager::homeDirectory();
        ok = ok && home == base + "/hybrid-app/home" && fs::is_directory(home + "/Library/Preferences");
        // A relative XDG_DATA_HOME is not to be trusted; HOME decides then, as when it is unset.
        ::setenv("XDG_DATA_HOME", "relative/data", 1);
        ::setenv("HOME", (base + "/user").c_str(), 1);
        home = FileManager::homeDirectory();
        ok = ok && home == base + "/user/.local/share/hybrid-app/home";
        ::unsetenv("XDG_DATA_HOME");
        ok = ok && FileManager::homeDirectory() == home && fs::is_directory(home + "/Documents");
        std::error_code ec;
        fs::remove_all(base, ec);
        std::exit(ok ? 0 : 1);
    };
    EXPECT_EXIT(probe(), ::testing::ExitedWithCode(0), "");
}

// --- Copying ----------------------------------------------------------------

TEST_F(FileManagerTest, CopiesAWholeTreeKeepingEveryModificationTime) {
    folder.write("tree/a.txt", "alpha");
    folder.write("tree/sub/b.txt", "beta");
    folder.write("tree/sub/deeper/c.bin", std::string("\0\1\2", 3));
    ASSERT_EQ(::symlink("a.txt", path("tree/link").c_str()), 0);
    TimedTree tree;
    for (auto it = tree.times.rbegin(); it != tree.times.rend(); ++it)
        ASSERT_TRUE(files.setModificationDate(path(it->first), Date{it->second}));

    Error error;
    ASSERT_TRUE(files.copyItemAtPath(path("tree"), path("copy"), &error)) << error.localizedDescription;

    EXPECT_EQ(files.enumeratorAtPath(path("copy")), files.enumeratorAtPath(path("tree")));
    EXPECT_EQ(files.contentsAtPath(path("copy/sub/deeper/c.bin")), bytes(std::string("\0\1\2", 3)));
    EXPECT_EQ(fs::read_symlink(path("copy/link")), "a.txt");
    for (const auto& [relative, seconds] : tree.times) {
        const std::string copied = "copy" + relative.substr(4);
        EXPECT_NEAR(modified(copied), seconds, 1e-6) << copied;
    }
}

TEST_F(FileManagerTest, CopyingASingleFileKeepsItsPermissionsAndTime) {
    folder.write("script.sh", "#!/bin/sh\n");
    ASSERT_EQ(::chmod(path("script.sh").c_str(), 0750), 0);
    ASSERT_TRUE(files.setModificationDate(path("script.sh"), Date{12345.5}));
    ASSERT_TRUE(files.copyItemAtPath(path("script.sh"), path("copy.sh")));
    EXPECT_EQ(fs::status(path("copy.sh")).permissions(), fs::perms(0750));
    EXPECT_NEAR(modified("copy.sh"), 12345.5, 1e-6);
}

TEST_F(FileManagerTest, CopyRefusesAnExistingDestinationAndLeavesItAlone) {
    folder.write("source.txt", "new");
    folder.write("target.txt", "old");
    Error error;
    EXPECT_FALSE(files.copyItemAtPath(path("source.txt"), path("target.txt"), &error));
    EXPECT_EQ(error.domain, platform::NSCocoaErrorDomain);
    EXPECT_EQ(error.code, platform::NSFileWriteFileExistsError);
    EXPECT_NE(error.localizedDescription.find(path("target.txt")), std::string::npos);
    EXPECT_NE(error.localizedDescription.find("File exists"), std::string::npos);
    EXPECT_EQ(files.contentsAtPath(path("target.txt")), bytes("old"));
    EXPECT_TRUE(logs.contains(path("target.txt")));

    // A dangling link is still something in the way.
    ASSERT_EQ(::symlink("nowhere", path("dangling").c_str()), 0);
    EXPECT_FALSE(files.copyItemAtPath(path("source.txt"), path("dangling"), &error));
    EXPECT_EQ(error.code, platform::NSFileWriteFileExistsError);
}

TEST_F(FileManagerTest, CopyIntoItselfOrThroughAFifoFailsWithoutLeavingAHalfCopy) {
    folder.write("tree/a.txt", "alpha");
    Error error;
    EXPECT_FALSE(files.copyItemAtPath(path("tree"), path("tree/inner"), &error));
    EXPECT_FALSE(fs::exists(path("tree/inner")));
    EXPECT_NE(error.localizedDescription.find("itself"), std::string::npos);

    // Reading a FIFO would block the copy for good.
    ASSERT_EQ(::mkfifo(path("tree/pipe").c_str(), 0600), 0);
    EXPECT_FALSE(files.copyItemAtPath(path("tree"), path("copy"), &error));
    EXPECT_NE(error.localizedDescription.find(path("tree/pipe")), std::string::npos);
    EXPECT_FALSE(fs::exists(path("copy")));
}

// --- Removing, moving, making folders ---------------------------------------

TEST_F(FileManagerTest, RemovesFilesAndWholeFoldersButNotWhatIsMissing) {
    folder.write("tree/sub/deep/file", "x");
    folder.write("single", "x");
    EXPECT_TRUE(files.removeItemAtPath(path("tree")));
    EXPECT_TRUE(files.removeItemAtPath(path("single")));
    EXPECT_EQ(folder.entryCount(), 0u);

    Error error;
    EXPECT_FALSE(files.removeItemAtPath(path("tree"), &error));
    EXPECT_EQ(error.domain, platform::NSCocoaErrorDomain);
    EXPECT_EQ(error.code, platform::NSFileNoSuchFileError);
    EXPECT_NE(error.localizedDescription.find(path("tree")), std::string::npos);
    EXPECT_NE(error.localizedDescription.find("No such file"), std::string::npos);
}

TEST_F(FileManagerTest, RemovingALinkLeavesItsTarget) {
    folder.write("kept/file", "x");
    ASSERT_EQ(::symlink(path("kept").c_str(), path("link").c_str()), 0);
    EXPECT_TRUE(files.removeItemAtPath(path("link")));
    EXPECT_TRUE(fs::exists(path("kept/file")));
}

TEST_F(FileManagerTest, MovesButNeverOverwrites) {
    folder.write("a", "first");
    folder.write("b", "second");
    Error error;
    EXPECT_FALSE(files.moveItemAtPath(path("a"), path("b"), &error));
    EXPECT_EQ(error.code, platform::NSFileWriteFileExistsError);
    EXPECT_TRUE(files.moveItemAtPath(path("a"), path("c"), &error));
    EXPECT_FALSE(fs::exists(path("a")));
    EXPECT_EQ(files.contentsAtPath(path("c")), bytes("first"));
    EXPECT_FALSE(files.moveItemAtPath(path("a"), path("d"), &error));
    EXPECT_EQ(error.code, platform::NSFileNoSuchFileError);
}

TEST_F(FileManagerTest, CreatesFoldersWithOrWithoutTheWayThere) {
    Error error;
    EXPECT_FALSE(files.createDirectoryAtPath(path("x/y/z"), false, &error));
    EXPECT_EQ(error.code, platform::NSFileNoSuchFileError);
    EXPECT_TRUE(files.createDirectoryAtPath(path("x/y/z"), true));
    EXPECT_TRUE(files.createDirectoryAtPath(path("x/y/z"), true));  // already there is fine
    EXPECT_FALSE(files.createDirectoryAtPath(path("x/y/z"), false, &error));
    EXPECT_EQ(error.code, platform::NSFileWriteFileExistsError);

    folder.write("file", "x");
    EXPECT_FALSE(files.createDirectoryAtPath(path("file"), true, &error));
    EXPECT_FALSE(files.createDirectoryAtPath(path("file/below"), true, &error));
    bool isDirectory = true;
    EXPECT_TRUE(files.fileExistsAtPath(path("file"), &isDirectory));
    EXPECT_FALSE(isDirectory);
    EXPECT_TRUE(files.fileExistsAtPath(path("x/y"), &isDirectory));
    EXPECT_TRUE(isDirectory);
}

// --- Listing ----------------------------------------------------------------

TEST_F(FileManagerTest, EnumeratesEachFolderBeforeItsContentsInNameOrder) {
    folder.write("tree/c", "");
    folder.write("tree/b/z.txt", "");
    folder.write("tree/b/a/x", "");
    folder.write("tree/a.txt", "");
    fs::create_directories(path("tree/b/empty"));
    // A link back up would loop for ever if it were entered.
    ASSERT_EQ(::symlink("..", path("tree/b/up").c_str()), 0);
    EXPECT_EQ(files.enumeratorAtPath(path("tree")),
              (std::vector<std::string>{"a.txt", "b", "b/a", "b/a/x", "b/empty", "b/up", "b/z.txt", "c"}));
    EXPECT_EQ(files.contentsOfDirectoryAtPath(path("tree")), (std::vector<std::string>{"a.txt", "b", "c"}));

    EXPECT_TRUE(files.enumeratorAtPath(path("tree/c")).empty());
    Error error;
    EXPECT_TRUE(files.contentsOfDirectoryAtPath(path("missing"), &error).empty());
    EXPECT_EQ(error.code, platform::NSFileNoSuchFileError);
}

// --- Contents and dates -----------------------------------------------------

TEST_F(FileManagerTest, WritesAndReadsBackContentsEitherWay) {
    const Data payload = bytes(std::string("binary\0data", 11));
    EXPECT_TRUE(files.createFileAtPath(path("atomic"), payload, true));
    EXPECT_TRUE(files.createFileAtPath(path("direct"), payload, false));
    EXPECT_EQ(files.contentsAtPath(path("atomic")), payload);
    EXPECT_EQ(files.contentsAtPath(path("direct")), payload);
    EXPECT_TRUE(files.createFileAtPath(path("atomic"), bytes("shorter")));
    EXPECT_EQ(files.contentsAtPath(path("atomic")), bytes("shorter"));
    EXPECT_EQ(folder.entryCount(), 2u);  // no temporary file left behind
    EXPECT_TRUE(files.createFileAtPath(path("empty"), {}));
    EXPECT_EQ(files.contentsAtPath(path("empty")), Data{});
}

TEST_F(FileManagerTest, WritesNeverOverAFolderAndReadsOnlyRegularFiles) {
    fs::create_directories(path("folder"));
    ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
    Error error;
    EXPECT_FALSE(files.createFileAtPath(path("folder"), bytes("x"), true, &error));
    EXPECT_NE(error.localizedDescription.find(path("folder")), std::string::npos);
    for (bool atomically : {true, false}) {
        EXPECT_FALSE(files.createFileAtPath(path("no/such/file"), bytes("x"), atomically, &error));
        EXPECT_EQ(error.code, platform::NSFileNoSuchFileError);
    }
    EXPECT_FALSE(files.contentsAtPath(path("folder")));
    EXPECT_FALSE(files.contentsAtPath(path("pipe")));  // answers at once instead of waiting for a writer
    EXPECT_FALSE(files.contentsAtPath(path("missing")));
}

TEST_F(FileManagerTest, ModificationDatesKeepTheirFractionOfASecond) {
    folder.write("file", "x");
    for (double seconds : {0.0, 12.75, 449999999.123456, -86400.5}) {
        ASSERT_TRUE(files.setModificationDate(path("file"), Date{seconds}));
        EXPECT_NEAR(modified("file"), seconds, 1e-6);
    }
    Error error;
    EXPECT_FALSE(files.setModificationDate(path("file"), Date{NAN}, &error));
    EXPECT_FALSE(files.setModificationDate(path("file"), Date{INFINITY}, &error));
    EXPECT_FALSE(files.setModificationDate(path("missing"), Date{1}, &error));
    EXPECT_EQ(error.code, platform::NSFileNoSuchFileError);
    EXPECT_FALSE(files.modificationDateOfItemAtPath(path("missing")));
}

// --- Backup mark ------------------------------------------------------------

TEST_F(FileManagerTest, BackupMarkIsSetAndClearedWhereTheFileSystemKeepsIt) {
    folder.write("data.db", "x");
    const std::string file = path("data.db");
    const bool attributesWork = ::setxattr(file.c_str(), "user.probe", "1", 1, 0) == 0;

    EXPECT_FALSE(files.isExcludedFromBackup(file));
    EXPECT_TRUE(files.setExcludedFromBackup(file, true));
    EXPECT_EQ(files.isExcludedFromBackup(file), attributesWork);
    if (attributesWork) {
        char value[8] = {};
        EXPECT_EQ(::getxattr(file.c_str(), "user.hybrid.excluded-from-backup", value, sizeof value), 1);
    }
    EXPECT_TRUE(files.setExcludedFromBackup(file, false));
    EXPECT_FALSE(files.isExcludedFromBackup(file));
    EXPECT_TRUE(files.setExcludedFromBackup(file, false));  // clearing twice is no error

    Error error;
    EXPECT_FALSE(files.setExcludedFromBackup(path("missing"), true, &error));
    EXPECT_EQ(error.code, platform::NSFileNoSuchFileError);
}

// --- Hostile input ----------------------------------------------------------

TEST_F(FileManagerTest, PathsWithANulOrNothingInThemAreRefusedAndLogged) {
    folder.write("victim", "x");
    const std::string cut = path("victim") + std::string("\0/../elsewhere", 14);
    Error error;
    EXPECT_FALSE(files.removeItemAtPath(cut, &error));
    EXPECT_EQ(error.domain, platform::NSCocoaErrorDomain);
    EXPECT_TRUE(logs.contains("NUL"));
    EXPECT_TRUE(fs::exists(path("victim")));
    EXPECT_FALSE(files.createFileAtPath(cut, bytes("y")));
    EXPECT_EQ(files.contentsAtPath(path("victim")), bytes("x"));
    EXPECT_FALSE(files.copyItemAtPath(path("victim"), cut));
    EXPECT_FALSE(files.fileExistsAtPath(cut));
    EXPECT_FALSE(files.contentsAtPath(cut));
    EXPECT_TRUE(files.enumeratorAtPath(cut).empty());

    EXPECT_FALSE(files.removeItemAtPath("", &error));
    EXPECT_EQ(error.code, platform::NSFileNoSuchFileError);
    EXPECT_FALSE(files.createDirectoryAtPath("", true, &error));
}
