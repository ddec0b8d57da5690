#pragma once
// Keeps a copy of the web view's local storage and web SQL files in a backup
// folder under Documents, copying whichever side is newer over the other:
// backup when the app resigns active or terminates, restore when a page load
// starts. The class operations repair stale database paths in the app's
// preferences file and move data left in older locations; the container runs
// them once at start-up, before it creates the web view.
//
// Threads: actions and hooks run on the main thread; the backup started at
// resign-active runs on the command delegate's background queue. Every whole
// backup, restore and legacy move holds one process-wide lock, so the same
// files are never copied both ways at once.

#include <memory>
#include <string>
#include <vector>

#include "hybrid/HYBPlugin.h"
#include "platform/foundation/Error.h"

namespace platform {
class FileManager;
class URL;
}  // namespace platform

namespace hybrid {

inline constexpr const char* kHYBLocalStorageErrorDomain = "kHYBLocalStorageErrorDomain";
// The copy's source does not exist.
inline constexpr int kHYBLocalStorageFileOperationError = 1;

// One place the web view keeps data, the place of its copy, and a name for messages.
class HYBBackupInfo {
public:
    HYBBackupInfo() = default;
    HYBBackupInfo(std::string original, std::string backup, std::string label)
        : original_(std::move(original)), backup_(std::move(backup)), label_(std::move(label)) {}

    const std::string& original() const { return original_; }
    void setOriginal(std::string original) { original_ = std::move(original); }
    const std::string& backup() const { return backup_; }
    void setBackup(std::string backup) { backup_ = std::move(backup); }
    const std::string& label() const { return label_; }
    void setLabel(std::string label) { label_ = std::move(label); }

    bool shouldBackup() const;
    bool shouldRestore() const;

    // Whether file `aPath` was modified later than `bPath`, or `bPath` is missing
    // while `aPath` is there.
    static bool file(const std::string& aPath, const std::string& bPath);
    // The file rule, or for two folders: whether any entry under `aPath` is
    // newer than the entry of the same relative path under `bPath`.
    static bool item(const std::string& aPath, const std::string& bPath);

    friend bool operator==(const HYBBackupInfo&, const HYBBackupInfo&) = default;

private:
    std::string original_;
    std::string backup_;
    std::string label_;
};

class HYBLocalStorage : public HYBPlugin, public std::enable_shared_from_this<HYBLocalStorage> {
public:
    using HYBPlugin::HYBPlugin;
    ~HYBLocalStorage() override;

    // The three pairs (localStorage file, web SQL main file, web SQL folder).
    // `targetDirNests`/`backupDirNests` place that side's names under
    // "WebKit/LocalStorage"; without `rename` the backup side keeps the web
    // view's names.
    static std::vector<HYBBackupInfo> createBackupInfoWithTargetDir(const std::string& targetDir,
                                                                    const std::string& backupDir, bool targetDirNests,
                                                                    bool backupDirNests, bool rename);
    // Library/Caches paired with Documents/Backups, which it creates and marks
    // for the cloud backup only when `cloudBackup`.
    static std::vector<HYBBackupInfo> createBackupInfoWithCloudBackup(bool cloudBackup);
    // Throws platform::AssertionFailure on systems older than 5.1.
    static bool addSkipBackupAttributeToItemAtURL(const platform::URL& url, bool skip);
    // Replaces `destination` by a copy of `source`; on failure the destination
    // is left as it was.
    static bool copyFrom(const std::string& source, const std::string& destination, platform::Error* error = nullptr);

    static void fixupDatabaseLocationsWithBackupType(const std::string& backupType);
    static void verifyAndFixDatabaseLocations();
    // Points the two web database paths of the preferences back into the app
    // folder; answers whether it changed `appPlistDict`.
    static bool verifyAndFixDatabaseLocationsWithAppPlistDictBundlePathFileManager(platform::Dictionary& appPlistDict,
                                                                                  const std::string& appBundlePath,
                                                                                  platform::FileManager& fileManager);
    static void restoreLegacyDatabaseLocationsWithBackupType(const std::string& backupType);

    void pluginInitialize() override;

    bool shouldBackup() const;
    bool shouldRestore() const;

    // The page's actions.
    void backup(const HYBInvokedUrlCommand& command) { backup(&command); }
    void restore(const HYBInvokedUrlCommand& command) { restore(&command); }
    // The same without a command (nullptr): the life-cycle hooks' form.
    void backup(const HYBInvokedUrlCommand* command);
    void restore(const HYBInvokedUrlCommand* command);

    void onResignActive();
    void onAppTerminate() override;
    void onReset() override;

    const std::vector<HYBBackupInfo>& backupInfo() const { return backupInfo_; }
    void setBackupInfo(std::vector<HYBBackupInfo> backupInfo) { backupInfo_ = std::move(backupInfo); }

protected:
    const HYBActionTable& actionTable() const override;

private:
    std::vector<HYBBackupInfo> backupInfo_;
};

}  // namespace hybrid
