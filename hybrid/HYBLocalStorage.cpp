#include "hybrid/HYBLocalStorage.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>

#include "hybrid/HYBCommandDelegate.h"
#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBPluginResult.h"
#include "platform/foundation/AssertionFailure.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Strings.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/foundation/Uuid.h"
#include "platform/ui/Application.h"
#include "platform/ui/ApplicationNotifications.h"
#include "platform/ui/Device.h"
#include "platform/ui/WebStorage.h"

namespace hybrid {

namespace {

constexpr const char* kBackupWebStorageSetting = "BackupWebStorage";
constexpr const char* kLocalStoragePreferenceKey = "WebKitLocalStorageDatabasePathPreferenceKey";
constexpr const char* kWebDatabaseDirectoryKey = "WebDatabaseDirectory";
constexpr const char* kStoreWebDataForBackupKey = "WebKitStoreWebDataForBackup";

std::string appendingPathComponent(const std::string& base, const std::string& component) {
    if (base.empty()) return component;
    if (base.back() == '/') return base + component;
    return base + "/" + component;
}

bool systemVersionIsAtLeast(const char* version) {
    return platform::compareVersions(platform::UIDevice::currentDevice().systemVersion(), version) >= 0;
}

// The backup folder and the web view's folders are copied both ways from two
// threads (resign-active backs up in the background while a page load may
// restore); one lock for all of them keeps each copy whole.
std::mutex& storageMutex() {
    static std::mutex mutex;
    return mutex;
}

// A database file's newest changes may wait in its WAL, or a cut-off one
// in its journal, beside it, which leave the file's own date as it was.
std::optional<double> modificationTime(const std::string& path) {
    auto& fileManager = platform::FileManager::defaultManager();
    auto date = fileManager.modificationDateOfItemAtPath(path);
    if (!date) return std::nullopt;
    double newest = date->sinceReferenceDate;
    for (const char* companion : {"-wal", "-journal"}) {
        if (auto beside = fileManager.modificationDateOfItemAtPath(path + companion))
            newest = std::max(newest, beside->sinceReferenceDate);
    }
    return newest;
}

// Puts the rollback copy back in place of whatever a failed copy left at the
// destination. The rollback copy goes only once the destination holds it again;
// otherwise it stays where it is, the one place the old data still lives.
void rollBack(const std::string& rollbackPath, bool haveRollback, const std::string& destination) {
    auto& fileManager = platform::FileManager::defaultManager();
    if (fileManager.fileExistsAtPath(destination)) fileManager.removeItemAtPath(destination);
    if (!haveRollback) return;
    platform::Error error;
    if (fileManager.copyItemAtPath(rollbackPath, destination, &error)) {
        fileManager.removeItemAtPath(rollbackPath);
    } else {
        platform::logf("HYBLocalStorage could not put back %s (%s); its previous contents are kept at %s",
                       destination.c_str(), error.description().c_str(), rollbackPath.c_str());
    }
}

struct PairOutcome {
    std::string label;
    bool copied;
    std::string errorDescription;
};

}  // namespace

// MARK: HYBBackupInfo

bool HYBBackupInfo::shouldBackup() const { return item(original_, backup_); }

bool HYBBackupInfo::shouldRestore() const { return item(backup_, original_); }

bool HYBBackupInfo::file(const std::string& aPath, const std::string& bPath) {
    const auto aDate = modificationTime(aPath);
    const auto bDate = modificationTime(bPath);
    if (!aDate) return false;
    if (!bDate) return true;
    return *aDate > *bDate;
}

bool HYBBackupInfo::item(const std::string& aPath, const std::string& bPath) {
    auto& fileManager = platform::FileManager::defaultManager();
    bool aIsDirectory = false;
    bool bIsDirectory = false;
    if (!fileManager.fileExistsAtPath(aPath, &aIsDirectory)) return false;
    fileManager.fileExistsAtPath(bPath, &bIsDirectory);
    if (!aIsDirectory || !bIsDirectory) return file(aPath, bPath);
    for (const auto& relative : fileManager.enumeratorAtPath(aPath)) {
        if (file(appendingPathComponent(aPath, relative), appendingPathComponent(bPath, relative))) return true;
    }
    return false;
}

// MARK: HYBLocalStorage, class operations

std::vector<HYBBackupInfo> HYBLocalStorage::createBackupInfoWithTargetDir(const std::string& targetDir,
                                                                          const std::string& backupDir,
                                                                          bool targetDirNests, bool backupDirNests,
                                                                          bool rename) {
    const std::string nest = "WebKit/LocalStorage";
    const std::string target = targetDirNests ? appendingPathComponent(targetDir, nest) : targetDir;
    const std::string backup = backupDirNests ? appendingPathComponent(backupDir, nest) : backupDir;

    struct Names {
        const char* original;
        const char* renamed;
        const char* label;
    };
    static constexpr Names kNames[] = {
        {"file__0.localstorage", "localstorage.appdata.db", "localStorage database"},
        {"Databases.db", "websqlmain.appdata.db", "websql main database"},
        {"file__0", "websqldbs.appdata.db", "websql databases"},
    };
    std::vector<HYBBackupInfo> pairs;
    for (const auto& names : kNames) {
        pairs.emplace_back(appendingPathComponent(target, names.original),
                           appendingPathComponent(backup, rename ? names.renamed : names.original), names.label);
    }
    return pairs;
}

std::vector<HYBBackupInfo> HYBLocalStorage::createBackupInfoWithCloudBackup(bool cloudBackup) {
    auto& fileManager = platform::FileManager::defaultManager();
    const std::string original = appendingPathComponent(fileManager.libraryDirectory(), "Caches");
    const std::string backup = appendingPathComponent(fileManager.documentsDirectory(), "Backups");

    platform::Error error;
    if (!fileManager.createDirectoryAtPath(backup, true, &error)) {
        platform::logf("HYBLocalStorage could not create %s: %s", backup.c_str(), error.description().c_str());
    }
    addSkipBackupAttributeToItemAtURL(platform::URL::fileURLWithPath(backup), !cloudBackup);
    return createBackupInfoWithTargetDir(original, backup, false, false, true);
}

bool HYBLocalStorage::addSkipBackupAttributeToItemAtURL(const platform::URL& url, bool skip) {
    if (!systemVersionIsAtLeast("5.1")) {
        throw platform::AssertionFailure("Cannot mark files for NSURLIsExcludedFromBackupKey on iOS less than 5.1");
    }
    platform::Error error;
    const bool success = platform::FileManager::defaultManager().setExcludedFromBackup(url.path(), skip, &error);
    if (!success) {
        platform::logf("Error excluding %s from backup %s", url.lastPathComponent().c_str(),
                       error.description().c_str());
    }
    return success;
}

namespace {

// Replaces `destination` by a copy of `source`; on failure the destination
// is left as it was.
bool copyWhole(const std::string& source, const std::string& destination, platform::Error* error) {
    auto& fileManager = platform::FileManager::defaultManager();
    if (!fileManager.fileExistsAtPath(source)) {
        if (error) {
            error->domain = kHYBLocalStorageErrorDomain;
            error->code = kHYBLocalStorageFileOperationError;
            error->localizedDescription = platform::format("%s file does not exist.", source.c_str());
            error->userInfo = {};
        }
        return false;
    }

    const std::string rollbackPath = fileManager.temporaryDirectory() + platform::newUuidString() + ".bak";
    bool haveRollback = false;
    if (fileManager.fileExistsAtPath(destination)) {
        if (!fileManager.copyItemAtPath(destination, rollbackPath, error)) return false;
        haveRollback = true;
        if (!fileManager.removeItemAtPath(destination, error)) {
            // A folder may be half gone by now.
            rollBack(rollbackPath, haveRollback, destination);
            return false;
        }
    } else {
        const auto slash = destination.find_last_of('/');
        if (slash != std::string::npos && slash > 0 &&
            !fileManager.createDirectoryAtPath(destination.substr(0, slash), true, error)) {
            return false;
        }
    }

    if (fileManager.copyItemAtPath(source, destination, error)) {
        if (haveRollback) fileManager.removeItemAtPath(rollbackPath);
        return true;
    }
    rollBack(rollbackPath, haveRollback, destination);
    return false;
}

}  // namespace

bool HYBLocalStorage::copyFrom(const std::string& source, const std::string& destination, platform::Error* error) {
    // A copy of a store file is taken of the file alone, settled and held
    // still; one over a store file replaces it whole, with nothing of the
    // old one beside it to be played back into the copy.
    return platform::withStorageFilesSettled({source, destination}, [&] {
        auto& fileManager = platform::FileManager::defaultManager();
        for (const char* companion : {"-journal", "-wal", "-shm"}) {
            if (fileManager.fileExistsAtPath(source) && fileManager.fileExistsAtPath(destination + companion))
                fileManager.removeItemAtPath(destination + companion);
        }
        return copyWhole(source, destination, error);
    });
}

void HYBLocalStorage::fixupDatabaseLocationsWithBackupType(const std::string& backupType) {
    verifyAndFixDatabaseLocations();
    restoreLegacyDatabaseLocationsWithBackupType(backupType);
}

void HYBLocalStorage::verifyAndFixDatabaseLocations() {
    auto& fileManager = platform::FileManager::defaultManager();
    const std::string appFolder = platform::FileManager::homeDirectory();
    const std::string preferencesPath = appendingPathComponent(
        appFolder, platform::format("Library/Preferences/%s.plist", platform::Bundle::main().bundleIdentifier().c_str()));

    // Nothing to repair before the app has written its preferences.
    if (!fileManager.fileExistsAtPath(preferencesPath)) return;
    auto read = platform::readPropertyListFile(preferencesPath);
    if (!read.value || !read.value->isDictionary()) {
        platform::logf("HYBLocalStorage could not read the preferences %s: %s", preferencesPath.c_str(),
                       read.value ? "not a dictionary" : read.error.c_str());
        return;
    }
    platform::Dictionary preferences = *read.value->dictionary();
    if (!verifyAndFixDatabaseLocationsWithAppPlistDictBundlePathFileManager(preferences, appFolder, fileManager)) {
        return;
    }

    const bool written = platform::writePropertyListFile(platform::Value(preferences), preferencesPath);
    auto& defaults = platform::UserDefaults::standard();
    // Defaults kept in this very file would write their stale copy of the two
    // paths back over the repair; they take the repaired paths instead.
    if (written && defaults.path() == preferencesPath) {
        for (const char* key : {kLocalStoragePreferenceKey, kWebDatabaseDirectoryKey}) {
            auto it = preferences.find(key);
            if (it != preferences.end()) defaults.setObject(key, it->second);
        }
    }
    defaults.synchronize();
    platform::logf("Fix applied for database locations?: %s", written ? "YES" : "NO");
}

bool HYBLocalStorage::verifyAndFixDatabaseLocationsWithAppPlistDictBundlePathFileManager(
    platform::Dictionary& appPlistDict, const std::string& appBundlePath, platform::FileManager& fileManager) {
    bool modified = false;
    for (const char* key : {kLocalStoragePreferenceKey, kWebDatabaseDirectoryKey}) {
        auto it = appPlistDict.find(key);
        if (it == appPlistDict.end() || it->second.isNil()) continue;
        // A value that is no text cannot name a folder of this app either.
        const std::string* path = it->second.string();
        if (path && platform::startsWith(*path, appBundlePath)) continue;

        std::string newPath = appendingPathComponent(appBundlePath, "Library/Caches");
        bool isDirectory = false;
        if (!fileManager.fileExistsAtPath(newPath, &isDirectory) || !isDirectory) {
            newPath = appendingPathComponent(appBundlePath, "Library/WebKit");
        }
        it->second = platform::Value(newPath);
        modified = true;
    }
    return modified;
}

void HYBLocalStorage::restoreLegacyDatabaseLocationsWithBackupType(const std::string& backupType) {
    if (!systemVersionIsAtLeast("6.0")) return;
    auto& fileManager = platform::FileManager::defaultManager();
    const std::string library = fileManager.libraryDirectory();
    const std::string documents = fileManager.documentsDirectory();
    const bool cloud = backupType == "cloud";

    std::vector<HYBBackupInfo> pairs;
    if (cloud) {
        pairs = createBackupInfoWithTargetDir(library, appendingPathComponent(documents, "Backups"), true, false, true);
        auto more = createBackupInfoWithTargetDir(library, appendingPathComponent(library, "Caches"), true, false, false);
        pairs.insert(pairs.end(), more.begin(), more.end());
    } else {
        pairs = createBackupInfoWithTargetDir(appendingPathComponent(library, "Caches"), library, false, true, false);
    }

    {
        std::lock_guard lock(storageMutex());
        for (const auto& pair : pairs) {
            if (!fileManager.fileExistsAtPath(pair.backup())) continue;
            bool restored = true;
            if (pair.shouldRestore()) {
                platform::logf("Restoring old webstorage backup. From: '%s' To: '%s'.", pair.backup().c_str(),
                               pair.original().c_str());
                restored = copyFrom(pair.backup(), pair.original());
            }
            // The old copy may be the only one there is.
            if (!restored) {
                platform::logf("HYBLocalStorage keeps the old webstorage backup '%s': restoring it failed.",
                               pair.backup().c_str());
                continue;
            }
            platform::logf("Removing old webstorage backup: '%s'.", pair.backup().c_str());
            fileManager.removeItemAtPath(pair.backup());
        }
    }

    auto& defaults = platform::UserDefaults::standard();
    defaults.setObject(kStoreWebDataForBackupKey, platform::Value(cloud));
    defaults.synchronize();
}

// MARK: HYBLocalStorage, instance operations

HYBLocalStorage::~HYBLocalStorage() { platform::NotificationCenter::defaultCenter().removeObserver(this); }

const HYBActionTable& HYBLocalStorage::actionTable() const {
    static const auto table = HYBActionTable::of<HYBLocalStorage>({
        {"backup", &HYBLocalStorage::backup},
        {"restore", &HYBLocalStorage::restore},
    });
    return table;
}

void HYBLocalStorage::pluginInitialize() {
    platform::NotificationCenter::defaultCenter().addObserver(
        this, platform::UIApplicationWillResignActiveNotification, nullptr,
        [this](const platform::Notification&) { onResignActive(); });

    platform::Value setting;
    if (auto delegate = commandDelegate()) {
        const auto settings = delegate->settings();
        auto it = settings.find(platform::toLower(kBackupWebStorageSetting));
        if (it != settings.end()) setting = it->second;
    }
    const bool cloud = setting.string() && *setting.string() == "cloud";
    backupInfo_ = createBackupInfoWithCloudBackup(cloud);
}

bool HYBLocalStorage::shouldBackup() const {
    for (const auto& info : backupInfo_) {
        if (info.shouldBackup()) return true;
    }
    return false;
}

bool HYBLocalStorage::shouldRestore() const {
    for (const auto& info : backupInfo_) {
        if (info.shouldRestore()) return true;
    }
    return false;
}

namespace {

enum class Direction { Backup, Restore };

// Copies every pair that wants it in one direction, the whole run under the
// storage lock, so that a backup and a restore never interleave.
std::vector<PairOutcome> copyPairs(const std::vector<HYBBackupInfo>& pairs, Direction direction) {
    std::vector<PairOutcome> outcomes;
    std::lock_guard lock(storageMutex());
    for (const auto& info : pairs) {
        const bool backup = direction == Direction::Backup;
        if (!(backup ? info.shouldBackup() : info.shouldRestore())) continue;
        platform::Error error;
        const bool copied = backup ? HYBLocalStorage::copyFrom(info.original(), info.backup(), &error)
                                   : HYBLocalStorage::copyFrom(info.backup(), info.original(), &error);
        outcomes.push_back({info.label(), copied, error.localizedDescription});
    }
    return outcomes;
}

// Logs each pair's outcome and sends it to the callback id, after the lock is
// released so that answering can never wait on a copy.
void report(const std::vector<PairOutcome>& outcomes, Direction direction, const std::optional<std::string>& callbackId,
            const std::shared_ptr<HYBCommandDelegate>& delegate) {
    const char* done = direction == Direction::Backup ? "Backed up: %s" : "Restored: %s";
    const char* failed = direction == Direction::Backup ? "Error in HYBLocalStorage (%s) backup: %s"
                                                        : "Error in HYBLocalStorage (%s) restore: %s";
    for (const auto& outcome : outcomes) {
        const std::string message =
            outcome.copied ? platform::format(done, outcome.label.c_str())
                           : platform::format(failed, outcome.label.c_str(), outcome.errorDescription.c_str());
        const int status = outcome.copied ? HYBResultStatusOK : HYBResultStatusError;
        platform::log(message);
        if (delegate) delegate->sendPluginResult(*HYBPluginResult::resultWithStatusMessageAsString(status, message), callbackId);
    }
}

}  // namespace

void HYBLocalStorage::backup(const HYBInvokedUrlCommand* command) {
    const auto outcomes = copyPairs(backupInfo_, Direction::Backup);
    // The life-cycle backups have nobody to tell.
    if (!command || !command->callbackId()) return;
    report(outcomes, Direction::Backup, command->callbackId(), commandDelegate());
}

void HYBLocalStorage::restore(const HYBInvokedUrlCommand* command) {
    const auto outcomes = copyPairs(backupInfo_, Direction::Restore);
    // Without a command the results go to no callback id, and the command
    // delegate drops each with its invalid-id line.
    report(outcomes, Direction::Restore, command ? command->callbackId() : std::nullopt, commandDelegate());
}

void HYBLocalStorage::onResignActive() {
    const bool exitsOnSuspend =
        platform::Bundle::main().objectForInfoDictionaryKey("UIApplicationExitsOnSuspend").boolValue();
    const bool multitasking = platform::UIDevice::currentDevice().isMultitaskingSupported().value_or(false);

    if (exitsOnSuspend) {
        backup(nullptr);
        return;
    }
    if (!multitasking) return;

    auto delegate = commandDelegate();
    if (!delegate) {
        // Disposed: no background queue to hand the work to, and the data still wants saving.
        backup(nullptr);
        return;
    }

    auto& application = platform::UIApplication::sharedApplication();
    // Whoever takes the identifier first (the expiry or the finished backup)
    // ends the task, and only once.
    auto task = std::make_shared<std::atomic<platform::UIBackgroundTaskIdentifier>>(platform::UIBackgroundTaskInvalid);
    task->store(application.beginBackgroundTaskWithExpirationHandler([task] {
        const auto identifier = task->exchange(platform::UIBackgroundTaskInvalid);
        if (identifier != platform::UIBackgroundTaskInvalid) {
            platform::UIApplication::sharedApplication().endBackgroundTask(identifier);
        }
        platform::log("Background task to backup WebSQL/LocalStorage expired.");
    }));

    std::weak_ptr<HYBLocalStorage> weakSelf = weak_from_this();
    delegate->runInBackground([weakSelf, task] {
        if (auto self = weakSelf.lock()) self->backup(nullptr);
        const auto identifier = task->exchange(platform::UIBackgroundTaskInvalid);
        if (identifier != platform::UIBackgroundTaskInvalid) {
            platform::UIApplication::sharedApplication().endBackgroundTask(identifier);
        }
    });
}

// At termination nothing outlives the call: the copy is made before it returns.
void HYBLocalStorage::onAppTerminate() { backup(nullptr); }

void HYBLocalStorage::onReset() { restore(nullptr); }

}  // namespace hybrid
