#pragma once
// Web storage behind the pages' `localStorage` and `sessionStorage`: one
// origin's items (key and value strings, UTF-8 here) in a StorageArea.
//
// A local area is shared by every page of its origin in the process and
// commits each change at once to its SQLite file, `<origin>.localstorage`
// ("file__0.localstorage", "https_example.com_0.localstorage") in the web
// view's storage folder: Library/Caches, or Library/WebKit/LocalStorage while
// the user default "WebKitStoreWebDataForBackup" is on. Those are the files
// the container's web-storage backup copies and restores; a file replaced
// under a live area is read again when a page next takes the area or writes
// to it. A file that cannot be read, or that SQLite's whole check finds
// damaged, is logged, set aside as `<file>.corrupt`, and its origin starts
// empty. A sound file that is not exactly what this store writes (its one
// table and key index declared to the letter, nothing else in its schema,
// every key well-formed text and every value a blob) is never written to:
// its items go into a fresh file of the store's making that takes its place,
// and the original is kept aside as `<file>.corrupt`, with a log line. A
// change answered as saved survives the app's end at any moment; a power
// loss may lose the last changes but never breaks the file (a WAL). One the
// file does not take, or does not read back, is logged and refused, so that
// what a page sees is what the next launch reads.
//
// A session area lives in memory only; each web view keeps its own by origin.
//
// Main thread only, like the web view; withStorageFilesSettled on any thread.

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class URL;

// Per origin, keys plus values, counted in UTF-16 code units as browsers count them.
inline constexpr std::size_t kWebStorageQuota = 5 * 1024 * 1024;

// The name of a page's storage origin: scheme, host and port (0 for the
// scheme's default), "file__0" for every file page; nothing for an opaque
// origin (data:, about: and other URLs without a host), which has no storage.
std::optional<std::string> webStorageOriginIdentifier(const URL& url);

// The folder of the local storage files, as the user defaults choose it now.
std::string localStorageDirectory();

// Runs `use` with each SQLite file of `paths` (a folder is left as it is)
// holding every saved change by itself: this process's local storage
// connection to it closed, a journal left by a cut-off write played back
// into it, its WAL checkpointed into it and removed. No local area changes
// those files until `use` returns, whatever thread calls: a copy of one is
// whole. Answers what `use` answered.
bool withStorageFilesSettled(const std::vector<std::string>& paths, const std::function<bool()>& use);

// What became of a change. Anything but Saved leaves the area as it was: the
// items stay what the file holds.
enum class StorageWriteResult {
    Saved,
    QuotaExceeded,  // the origin's items would pass kWebStorageQuota
    DiskFull,       // the file system had no room for the change
    Failed,         // the file could not be written otherwise (read-only, locked, broken)
};

class StorageArea {
public:
    // An area in memory only.
    StorageArea();
    ~StorageArea();
    StorageArea(const StorageArea&) = delete;
    StorageArea& operator=(const StorageArea&) = delete;

    // The local area of `origin` whose file is in `directory`: the one pages
    // already share, or a new one read from the file.
    static std::shared_ptr<StorageArea> local(const std::string& directory, const std::string& origin);

    std::size_t length() const { return items_.size(); }
    std::optional<std::string> key(std::size_t index) const;
    std::optional<std::string> getItem(const std::string& key) const;
    StorageWriteResult setItem(const std::string& key, const std::string& value);
    StorageWriteResult removeItem(const std::string& key);
    StorageWriteResult clear();

private:
    struct Database;
    using Items = std::map<std::string, std::string>;

    // Reads the file again if it is no longer the one read or written last.
    void refresh();
    void load();
    void replaceItems(Items items);
    // Puts one change in the file before the items take it.
    StorageWriteResult save(const char* sql, const std::string* key = nullptr, const std::string* value = nullptr);

    Items items_;
    std::size_t used_ = 0;  // UTF-16 code units of every key and value
    std::unique_ptr<Database> database_;
    // Pages walk the keys by index; the last position found makes that linear.
    mutable std::optional<std::pair<std::size_t, Items::const_iterator>> lastKey_;
};

// One web view's session areas, by origin.
using SessionStorage = std::map<std::string, std::shared_ptr<StorageArea>>;

}  // namespace platform
