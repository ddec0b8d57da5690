#pragma once
// Files and the app's sandbox.
//
// The app's home is a folder of its own (set at start-up; tests set a
// temporary one), holding Documents, Library (with Caches and Preferences)
// and tmp — never the system's /tmp. All operations are thread-safe and
// report failures as Errors of the Cocoa domain, never by throwing.

#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

namespace platform {

class FileManager {
public:
    static FileManager& defaultManager();

    // The app's home folder; creating it and its standard sub-folders.
    static void setHomeDirectory(const std::string& path);
    static std::string homeDirectory();
    std::string documentsDirectory() const;  // home + "/Documents"
    std::string libraryDirectory() const;    // home + "/Library"
    std::string cachesDirectory() const;     // home + "/Library/Caches"
    std::string temporaryDirectory() const;  // home + "/tmp/" (with the trailing slash, as the platform gives it)

    bool fileExistsAtPath(const std::string& path, bool* isDirectory = nullptr) const;
    bool createDirectoryAtPath(const std::string& path, bool withIntermediateDirectories, Error* error = nullptr);
    // Removes a file or a whole folder.
    bool removeItemAtPath(const std::string& path, Error* error = nullptr);
    // Copies a file or a whole folder; fails when the destination exists.
    // Modification times are kept on everything copied.
    bool copyItemAtPath(const std::string& source, const std::string& destination, Error* error = nullptr);
    bool moveItemAtPath(const std::string& source, const std::string& destination, Error* error = nullptr);

    // Entries of a folder, one level, sorted by name.
    std::vector<std::string> contentsOfDirectoryAtPath(const std::string& path, Error* error = nullptr) const;
    // Every entry under a folder, recursively, as paths relative to it,
    // each folder listed before its contents; empty when it is no folder.
    std::vector<std::string> enumeratorAtPath(const std::string& path) const;

    // The file system holding `path`: "NSFileSystemSize", its total size in bytes.
    std::optional<Dictionary> attributesOfFileSystemForPath(const std::string& path, Error* error = nullptr) const;

    std::optional<Date> modificationDateOfItemAtPath(const std::string& path) const;
    bool setModificationDate(const std::string& path, Date date, Error* error = nullptr);

    std::optional<Data> contentsAtPath(const std::string& path) const;
    // Writes through a temporary file and a rename when `atomically`.
    bool createFileAtPath(const std::string& path, const Data& contents, bool atomically = true, Error* error = nullptr);

    // The platform's "exclude from cloud backup" mark, kept in an extended
    // attribute where the file system has them; a no-op success elsewhere.
    bool setExcludedFromBackup(const std::string& path, bool excluded, Error* error = nullptr);
    bool isExcludedFromBackup(const std::string& path) const;
};

}  // namespace platform
