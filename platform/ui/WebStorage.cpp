#include "platform/ui/WebStorage.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unicode/unistr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/Strings.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/UserDefaults.h"

namespace platform {
namespace {

// The text is well-formed UTF-8: every code point has one lead byte, and
// those of four bytes lie beyond the basic plane, a surrogate pair in UTF-16.
std::size_t utf16Length(const std::string& text) {
    std::size_t units = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80) ++units;
        if (byte >= 0xF0) ++units;
    }
    return units;
}

// Values are UTF-16LE blobs, the layout of the platform's own storage files:
// a file the container moves in from an older place reads back as written,
// and any JavaScript string, NULs included, survives the round trip.
std::string blobFromText(const std::string& text) {
    const icu::UnicodeString units =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    std::string blob;
    blob.reserve(static_cast<std::size_t>(units.length()) * 2);
    for (int32_t i = 0; i < units.length(); ++i) {
        const char16_t unit = units.charAt(i);
        blob.push_back(static_cast<char>(unit & 0xFF));
        blob.push_back(static_cast<char>(unit >> 8));
    }
    return blob;
}

std::string textFromBlob(const unsigned char* bytes, std::size_t size) {
    const auto count = static_cast<int32_t>(size / 2);
    icu::UnicodeString units;
    char16_t* buffer = units.getBuffer(count);
    if (!buffer) return {};
    for (int32_t i = 0; i < count; ++i) buffer[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    units.releaseBuffer(count);
    std::string text;
    units.toUTF8String(text);
    return text;
}

struct FileIdentity {
    dev_t device;
    ino_t inode;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

std::optional<FileIdentity> identityOf(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return FileIdentity{status.st_dev, status.st_ino};
}

class Statement {
public:
    Statement(sqlite3* connection, const char* sql) { sqlite3_prepare_v2(connection, sql, -1, &statement_, nullptr); }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return statement_; }
    explicit operator bool() const { return statement_ != nullptr; }

private:
    sqlite3_stmt* statement_ = nullptr;
};

// Text columns of a file written elsewhere may hold broken UTF-8; what the
// pages get is always well-formed, and `wellFormed` says whether it is what
// the column holds.
std::string columnText(sqlite3_stmt* statement, int column, bool* wellFormed = nullptr) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    if (!text) return {};
    const auto size = static_cast<int32_t>(sqlite3_column_bytes(statement, column));
    std::string result;
    icu::UnicodeString::fromUTF8(icu::StringPiece(text, size)).toUTF8String(result);
    if (wellFormed) *wellFormed = result == std::string_view(text, static_cast<std::size_t>(size));
    return result;
}

// Host names may hold characters a file name should not; the underscore is
// the separator.
std::string escapedForFileName(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-')
            escaped.push_back(c);
        else
            escaped += format("%%%02X", static_cast<unsigned char>(c));
    }
    return escaped;
}

}  // namespace

std::optional<std::string> webStorageOriginIdentifier(const URL& url) {
    if (url.isFileURL()) return std::string("file__0");
    if (!url.hasAuthority() || url.host().empty()) return std::nullopt;
    int port = url.port().value_or(0);
    const std::string& scheme = url.scheme();
    if ((port == 80 && (scheme == "http" || scheme == "ws")) || (port == 443 && (scheme == "https" || scheme == "wss")))
        port = 0;
    return escapedForFileName(scheme) + "_" + escapedForFileName(toLower(url.host())) + "_" + std::to_string(port);
}

std::string localStorageDirectory() {
    const std::string library = FileManager::defaultManager().libraryDirectory();
    // The container moves web data into the nested folder, and says so here,
    // when the data is to travel with the Library in the cloud backup.
    return UserDefaults::standard().boolForKey("WebKitStoreWebDataForBackup") ? library + "/WebKit/LocalStorage"
                                                                             : library + "/Caches";
}

namespace {

// The store's one table as SQLite keeps its statement in the schema (it
// drops the "IF NOT EXISTS" commit() says), and the key index SQLite makes for it.
constexpr std::string_view kItemTableColumns =
    "(key TEXT UNIQUE ON CONFLICT REPLACE, value BLOB NOT NULL ON CONFLICT FAIL)";
constexpr std::string_view kKeyIndex = "sqlite_autoindex_ItemTable_1";
const std::string kItemTable = "CREATE TABLE ItemTable " + std::string(kItemTableColumns);

// The store's connections open in this process, and the one lock every use
// of them takes: the container copies the files from its background queue
// while the main thread writes, and a copy is made of a file no change is
// half made in.
struct OpenConnections {
    std::recursive_mutex lock;
    std::map<const void*, std::pair<FileIdentity, std::function<void()>>> closers;
};

void closeEveryConnection();

OpenConnections& openConnections() {
    // No reset: connections belong to the areas pages hold.
    static NeverDestroyed<OpenConnections> connections;
    static const bool closedAtExit = std::atexit(closeEveryConnection) == 0;
    (void)closedAtExit;
    return *connections;
}

// Areas outlive the app's end. A file left with its WAL is whole (the next
// open plays the WAL back), but a copy of the file alone, as the system's
// backup takes, would miss the last changes: at exit every file is settled.
void closeEveryConnection() {
    auto& connections = openConnections();
    std::lock_guard lock(connections.lock);
    while (!connections.closers.empty()) {
        const auto close = connections.closers.begin()->second.second;
        close();
    }
}

bool exists(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

// Makes the file hold every saved change by itself: this process's
// connection to it closed, a journal a cut-off write left played back, its
// WAL checkpointed into it and removed. A file that is no database keeps
// whatever lies beside it. A live area knows its file by its inode: its file
// is held open in `held` until the caller is done with it, so that a copy
// made over it meanwhile cannot take over its inode's number. (Only a store
// file: closing a descriptor drops the process's locks on the file, and no
// other connection to it can be open while the caller holds the lock.)
void settle(const std::string& path, std::vector<int>& held) {
    const std::optional<FileIdentity> identity = identityOf(path);
    if (!identity) return;
    std::vector<std::function<void()>> closers;
    for (const auto& [owner, entry] : openConnections().closers)
        if (entry.first == *identity) closers.push_back(entry.second);
    if (!closers.empty())
        if (const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC); file >= 0) held.push_back(file);
    for (const auto& close : closers) close();
    if (!exists(path + "-journal") && !exists(path + "-wal")) return;
    sqlite3* connection = nullptr;
    if (sqlite3_open_v2(path.c_str(), &connection, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK)
        sqlite3_exec(connection, "SELECT count(*) FROM sqlite_schema; PRAGMA wal_checkpoint(TRUNCATE)", nullptr,
                     nullptr, nullptr);
    sqlite3_close(connection);
}

void bindItem(sqlite3_stmt* statement, const std::string* key, const std::string* blob) {
    if (key) sqlite3_bind_text(statement, 1, key->data(), static_cast<int>(key->size()), SQLITE_STATIC);
    if (blob) sqlite3_bind_blob(statement, 2, blob->data(), static_cast<int>(blob->size()), SQLITE_STATIC);
}

// A fresh store file at `path` holding `items`, whole on the disk once this
// returns; what went wrong otherwise.
std::string writeFreshFile(const std::string& path, const std::map<std::string, std::string>& items) {
    sqlite3* connection = nullptr;
    int code = sqlite3_open_v2(path.c_str(), &connection, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (code == SQLITE_OK)
        code = sqlite3_exec(connection, ("PRAGMA synchronous = FULL; BEGIN; " + kItemTable).c_str(), nullptr,
                            nullptr, nullptr);
    {
        Statement insert(connection, "INSERT INTO ItemTable (key, value) VALUES (?1, ?2)");
        if (code == SQLITE_OK && !insert) code = sqlite3_errcode(connection);
        for (auto item = items.begin(); code == SQLITE_OK && item != items.end(); ++item) {
            const std::string blob = blobFromText(item->second);
            bindItem(insert.get(), &item->first, &blob);
            code = sqlite3_step(insert.get()) == SQLITE_DONE ? sqlite3_reset(insert.get()) : sqlite3_errcode(connection);
        }
    }
    if (code == SQLITE_OK) code = sqlite3_exec(connection, "COMMIT", nullptr, nullptr, nullptr);
    std::string error = code == SQLITE_OK ? "" : connection ? sqlite3_errmsg(connection) : "out of memory";
    sqlite3_close(connection);
    return error;
}

void syncDirectory(const std::string& directory) {
    const int folder = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return;
    ::fsync(folder);
    ::close(folder);
}

}  // namespace

bool withStorageFilesSettled(const std::vector<std::string>& paths, const std::function<bool()>& use) {
    std::lock_guard lock(openConnections().lock);
    struct Held {
        std::vector<int> files;
        ~Held() {
            for (const int file : files) ::close(file);
        }
    } held;
    for (const std::string& path : paths) settle(path, held.files);
    return use();
}

// One origin's file. The connection stays open while the area lives; the file
// is made by the first write, never by reading.
struct StorageArea::Database {
    std::string directory;
    std::string path;
    std::string origin;
    sqlite3* connection = nullptr;
    bool hasTable = false;
    bool durable = false;
    // The file as last read or written; nothing while there was none.
    std::optional<FileIdentity> identity;
    // A bad file that could not be set aside is not written over.
    bool memoryOnly = false;
    // Why a file of another making, which could not be replaced, is not written to.
    std::string notOurs;
    std::string openError;

    ~Database() { close(); }

    static std::recursive_mutex& lock() { return openConnections().lock; }

    void close() {
        std::lock_guard guard(lock());
        if (connection) sqlite3_close(connection);
        connection = nullptr;
        hasTable = false;
        durable = false;
        openConnections().closers.erase(this);
    }

    std::string lastError() const { return connection ? sqlite3_errmsg(connection) : openError; }

    bool open(int flags) {
        if (sqlite3_open_v2(path.c_str(), &connection, flags, nullptr) != SQLITE_OK) {
            openError = connection ? sqlite3_errmsg(connection) : "out of memory";
            close();
            return false;
        }
        // Restored files come from elsewhere: no writing to the schema, nor
        // to SQLite's own tables, through this connection.
        if (sqlite3_db_config(connection, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr) != SQLITE_OK) {
            openError = sqlite3_errmsg(connection);
            close();
            return false;
        }
        if (const auto opened = identityOf(path)) openConnections().closers[this] = {*opened, [this] { close(); }};
        return true;
    }

    // A commit appends to the WAL and returns without waiting for the disk;
    // SQLite syncs as it checkpoints the WAL into the file: when the WAL
    // grows past its limit, when the file is settled for a copy and when the
    // connection closes. A change answered as saved survives the app's end
    // at any moment, its pages being with the system; a power loss may lose
    // the last changes but never breaks the file. A rollback journal needs
    // three syncs a change for as much, which on a disk made a write seven
    // times dearer.
    bool makeDurable() {
        Statement mode(connection, "PRAGMA journal_mode = WAL");
        durable = mode && sqlite3_step(mode.get()) == SQLITE_ROW && columnText(mode.get(), 0) == "wal" &&
                  sqlite3_exec(connection, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr) == SQLITE_OK;
        return durable;
    }

    // SQLite trusts a page's cell pointers as it reads: one past the page
    // reads the page cache's bookkeeping behind the buffer, so a damaged file
    // may read as sound or not by where the buffer landed. Its quick check
    // looks at every page, but not whether each index holds the rows of its
    // table: a key index missing rows lets a write add a second row for its
    // key, and the next read finds the file broken and the write gone. The
    // whole check compares them too. Its cost falls on files of many small
    // items: one at the quota of 885,000 tiny items opens (checked and every
    // item read) in about 1.45 times what the quick check takes, some 0.8 s
    // more on a busy machine; one of a few large items in about the same.
    bool soundOnDisk(std::string& problem) {
        Statement check(connection, "PRAGMA integrity_check(1)");
        if (!check || sqlite3_step(check.get()) != SQLITE_ROW) {
            problem = lastError();
            return false;
        }
        const std::string verdict = columnText(check.get(), 0);
        if (verdict == "ok") return true;
        // Its first line may name the database; the fault comes last.
        problem = "SQLite finds it malformed: " + verdict.substr(verdict.rfind('\n') + 1);
        return false;
    }

    // Whether the schema is nothing yet or exactly what commit() makes: the
    // table as kItemTable declares it and its key index, nothing else. SQLite
    // does what the schema's rows say, so a file whose rows are ours to the
    // letter does what ours does; any other (a type, a collation, an index,
    // WITHOUT ROWID, a CHECK, a trigger) may make a write do other than it
    // says. `problem` names the first row that differs.
    bool schemaIsOurs(std::string& problem) {
        hasTable = false;
        Statement rows(connection, "SELECT type, name, tbl_name, sql FROM sqlite_schema");
        int step = rows ? sqlite3_step(rows.get()) : SQLITE_ERROR;
        int tables = 0;
        int indexes = 0;
        for (; step == SQLITE_ROW; step = sqlite3_step(rows.get())) {
            const std::string type = columnText(rows.get(), 0);
            const std::string name = columnText(rows.get(), 1);
            const bool onItemTable = columnText(rows.get(), 2) == "ItemTable";
            const bool bySQLite = sqlite3_column_type(rows.get(), 3) == SQLITE_NULL;
            const std::string sql = columnText(rows.get(), 3);
            if (type == "table" && name == "ItemTable" && onItemTable && sql == kItemTable) {
                ++tables;
            } else if (type == "index" && name == kKeyIndex && onItemTable && bySQLite) {
                ++indexes;
            } else {
                problem = format("its schema holds the %s \"%s\" %s", type.c_str(), name.c_str(),
                                 bySQLite ? "made by SQLite" : ("as \"" + sql.substr(0, 240) + "\"").c_str());
                return false;
            }
        }
        if (step != SQLITE_DONE) {
            problem = lastError();
            return false;
        }
        if (tables != indexes) {
            problem = "its ItemTable lacks its key index";
            return false;
        }
        hasTable = tables == 1;
        return true;
    }

    // Every item of the file; nothing, with `problem` said, when SQLite finds
    // it damaged or it cannot be read. A file that is sound but not exactly
    // what this store writes (its schema, or a key not stored as well-formed
    // text or a value not as a blob) gives what it holds, and a fresh file of
    // the store's own making with those items takes its place.
    std::optional<Items> read(std::string& problem) {
        std::lock_guard guard(lock());
        close();
        notOurs.clear();
        identity = identityOf(path);
        if (!identity) return Items{};
        if (!open(SQLITE_OPEN_READWRITE)) {
            problem = lastError();
            return std::nullopt;
        }
        if (!soundOnDisk(problem)) return std::nullopt;
        bool ours = schemaIsOurs(problem);
        Items items;
        if (ours && !hasTable) return items;
        {
            Statement rows(connection, "SELECT key, value FROM ItemTable");
            int step = rows ? sqlite3_step(rows.get()) : SQLITE_ERROR;
            for (; step == SQLITE_ROW; step = sqlite3_step(rows.get())) {
                const int keyType = sqlite3_column_type(rows.get(), 0);
                const int type = sqlite3_column_type(rows.get(), 1);
                bool wellFormed = true;
                std::string key = columnText(rows.get(), 0, &wellFormed);
                if (ours && (keyType != SQLITE_TEXT || !wellFormed || type != SQLITE_BLOB)) {
                    ours = false;
                    problem = format("the item \"%s\" is not stored as well-formed text and a blob", key.c_str());
                }
                if (keyType == SQLITE_NULL || type == SQLITE_NULL) continue;
                std::string value;
                if (type == SQLITE_BLOB) {
                    const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(rows.get(), 1));
                    value = textFromBlob(bytes, static_cast<std::size_t>(sqlite3_column_bytes(rows.get(), 1)));
                } else {
                    value = columnText(rows.get(), 1);
                }
                items[std::move(key)] = std::move(value);
            }
            // A table of another making gives what it can.
            if (step != SQLITE_DONE && ours) {
                problem = lastError();
                return std::nullopt;
            }
        }
        if (!ours) carry(items, problem);
        return items;
    }

    // The first name beside the file that no earlier file set aside has.
    std::string asideName() const {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string aside = path + ".corrupt" + (attempt ? "." + std::to_string(attempt) : "");
            if (!exists(aside)) return aside;
        }
        return {};
    }

    // Puts a fresh file of the store's own making that holds `items` in
    // place of the file, which is kept aside. The fresh file is whole on the
    // disk before it takes the name, and the original keeps the name until
    // then, so that no moment finds the origin without its items.
    void carry(const Items& items, const std::string& problem) {
        close();
        const std::string fresh = path + ".fresh";
        for (const char* companion : {"", "-journal"}) ::unlink((fresh + companion).c_str());
        std::string error = writeFreshFile(fresh, items);
        const std::string aside = error.empty() ? asideName() : std::string();
        if (error.empty() && aside.empty()) error = "every name to keep it aside is taken";
        if (error.empty() && ::link(path.c_str(), aside.c_str()) != 0) error = std::strerror(errno);
        if (error.empty() && ::rename(fresh.c_str(), path.c_str()) != 0) {
            error = std::strerror(errno);
            ::unlink(aside.c_str());
        }
        if (!error.empty()) {
            for (const char* companion : {"", "-journal"}) ::unlink((fresh + companion).c_str());
            logf("WebView: the local storage file %s is not as this store writes it (%s) and cannot be replaced by "
                 "one that is (%s); %s reads it and writes nothing to it",
                 path.c_str(), problem.c_str(), error.c_str(), origin.c_str());
            notOurs = problem;
            return;
        }
        syncDirectory(directory);
        identity = identityOf(path);
        logf("WebView: the local storage file %s is not as this store writes it (%s); it is kept as %s and %s "
             "keeps its %zu items in a fresh file",
             path.c_str(), problem.c_str(), aside.c_str(), origin.c_str(), items.size());
    }

    // Moves an unreadable file (and a journal or WAL that would be played
    // back into its successor) out of the way under a name no earlier one has.
    void setAside(const std::string& problem) {
        std::lock_guard guard(lock());
        close();
        auto& fileManager = FileManager::defaultManager();
        Error error;
        const std::string aside = asideName();
        if (!aside.empty() && fileManager.moveItemAtPath(path, aside, &error)) {
            for (const char* companion : {"-journal", "-wal"})
                if (exists(path + companion)) fileManager.moveItemAtPath(path + companion, aside + companion);
            ::unlink((path + "-shm").c_str());
            logf("WebView: the local storage file %s cannot be read (%s); it is kept as %s and %s starts empty",
                 path.c_str(), problem.c_str(), aside.c_str(), origin.c_str());
            identity.reset();
            return;
        }
        logf("WebView: the local storage file %s cannot be read (%s) nor set aside (%s); %s starts empty and is "
             "kept in memory only",
             path.c_str(), problem.c_str(), aside.empty() ? "every name is taken" : error.description().c_str(),
             origin.c_str());
        memoryOnly = true;
    }

    // Commits one statement with its text parameters: a key as text, a value
    // as a blob. SQLITE_OK once the file holds it; otherwise the failure's
    // code, and SQLite has rolled the statement back.
    int commit(const char* sql, const std::string* key = nullptr, const std::string* value = nullptr) {
        std::lock_guard guard(lock());
        if (memoryOnly) return SQLITE_OK;
        if (!notOurs.empty()) return failed(SQLITE_READONLY, "it is not as this store writes it (" + notOurs + ")");
        if (!connection) {
            FileManager::defaultManager().createDirectoryAtPath(directory, true);
            if (!open(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) return failed(SQLITE_CANTOPEN);
        }
        if (!durable && !makeDurable()) {
            const int code = failed(sqlite3_errcode(connection), "its WAL cannot be kept: " + lastError());
            close();
            return code;
        }
        if (!hasTable) {
            const int created = sqlite3_exec(connection, ("CREATE TABLE IF NOT EXISTS ItemTable " + std::string(kItemTableColumns)).c_str(),
                                             nullptr, nullptr, nullptr);
            if (created != SQLITE_OK) return failed(created);
            hasTable = true;
        }
        Statement statement(connection, sql);
        if (!statement) return failed(sqlite3_errcode(connection));
        const std::string blob = value ? blobFromText(*value) : std::string();
        bindItem(statement.get(), key, value ? &blob : nullptr);
        if (const int stepped = sqlite3_step(statement.get()); stepped != SQLITE_DONE) return failed(stepped);
        identity = identityOf(path);
        if (!readsBack(key, value ? &blob : nullptr)) {
            const int code = failed(SQLITE_ERROR, "the file does not read back what was written");
            // The items are read again from the file on their next use.
            identity.reset();
            return code;
        }
        return SQLITE_OK;
    }

    // Whether the file holds `blob` under `key` (every key, without one), or
    // nothing when there is no blob.
    bool readsBack(const std::string* key, const std::string* blob) {
        Statement check(connection,
                        key ? "SELECT value FROM ItemTable WHERE key = ?1" : "SELECT value FROM ItemTable LIMIT 1");
        if (!check) return false;
        if (key) sqlite3_bind_text(check.get(), 1, key->data(), static_cast<int>(key->size()), SQLITE_STATIC);
        const int step = sqlite3_step(check.get());
        if (!blob) return step == SQLITE_DONE;
        if (step != SQLITE_ROW || sqlite3_column_type(check.get(), 0) != SQLITE_BLOB) return false;
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(check.get(), 0));
        const auto size = static_cast<std::size_t>(sqlite3_column_bytes(check.get(), 0));
        return std::string_view(bytes ? bytes : "", size) == *blob;
    }

    int failed(int code, const std::string& why = {}) {
        logf("WebView: could not save the local storage of %s in %s: %s", origin.c_str(), path.c_str(),
             why.empty() ? lastError().c_str() : why.c_str());
        if (connection) {
            // After a full disk or an I/O error SQLite may keep the transaction
            // open, or leave its journal to be played back by the next reader:
            // one that may lack the write access that needs. Both are settled
            // now, while this connection still may write.
            if (!sqlite3_get_autocommit(connection)) sqlite3_exec(connection, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_exec(connection, "SELECT 1 FROM sqlite_master LIMIT 1", nullptr, nullptr, nullptr);
        }
        identity = identityOf(path);
        return code == SQLITE_OK ? SQLITE_ERROR : code;
    }
};

StorageArea::StorageArea() = default;
StorageArea::~StorageArea() = default;

std::shared_ptr<StorageArea> StorageArea::local(const std::string& directory, const std::string& origin) {
    // No reset: an area open here belongs to the pages holding it.
    static NeverDestroyed<std::map<std::string, std::weak_ptr<StorageArea>>> openAreas;
    auto& areas = *openAreas;
    const std::string path = directory + "/" + origin + ".localstorage";
    if (std::shared_ptr<StorageArea> area = areas[path].lock()) {
        area->refresh();
        return area;
    }
    std::erase_if(areas, [](const auto& entry) { return entry.second.expired(); });

    auto area = std::make_shared<StorageArea>();
    area->database_ = std::make_unique<Database>();
    area->database_->directory = directory;
    area->database_->path = path;
    area->database_->origin = origin;
    area->load();
    areas[path] = area;
    return area;
}

void StorageArea::refresh() {
    if (database_ && !database_->memoryOnly && identityOf(database_->path) != database_->identity) load();
}

void StorageArea::load() {
    std::string problem;
    std::optional<Items> items = database_->read(problem);
    if (!items) {
        database_->setAside(problem);
        items.emplace();
    }
    replaceItems(std::move(*items));
}

void StorageArea::replaceItems(Items items) {
    items_ = std::move(items);
    used_ = 0;
    for (const auto& [key, value] : items_) used_ += utf16Length(key) + utf16Length(value);
    lastKey_.reset();
}

std::optional<std::string> StorageArea::key(std::size_t index) const {
    if (index >= items_.size()) return std::nullopt;
    auto [position, it] = lastKey_ && lastKey_->first <= index ? *lastKey_ : std::pair(std::size_t{0}, items_.begin());
    std::advance(it, static_cast<std::ptrdiff_t>(index - position));
    lastKey_.emplace(index, it);
    return it->first;
}

std::optional<std::string> StorageArea::getItem(const std::string& key) const {
    auto found = items_.find(key);
    if (found == items_.end()) return std::nullopt;
    return found->second;
}

StorageWriteResult StorageArea::save(const char* sql, const std::string* key, const std::string* value) {
    if (!database_) return StorageWriteResult::Saved;
    const int code = database_->commit(sql, key, value);
    if (code == SQLITE_OK) return StorageWriteResult::Saved;
    return (code & 0xFF) == SQLITE_FULL ? StorageWriteResult::DiskFull : StorageWriteResult::Failed;
}

StorageWriteResult StorageArea::setItem(const std::string& key, const std::string& value) {
    refresh();
    const std::size_t keyLength = utf16Length(key);
    std::size_t used = used_ + keyLength + utf16Length(value);
    auto found = items_.find(key);
    if (found != items_.end()) {
        if (found->second == value) return StorageWriteResult::Saved;
        used -= keyLength + utf16Length(found->second);
    }
    if (used > kWebStorageQuota) return StorageWriteResult::QuotaExceeded;
    // The statement says what a second copy of the key does: a restored
    // table may have its key unique without the conflict clause ours has.
    const StorageWriteResult saved =
        save("INSERT OR REPLACE INTO ItemTable (key, value) VALUES (?1, ?2)", &key, &value);
    if (saved != StorageWriteResult::Saved) return saved;
    if (found != items_.end()) {
        found->second = value;
    } else {
        items_.emplace(key, value);
        lastKey_.reset();
    }
    used_ = used;
    return StorageWriteResult::Saved;
}

StorageWriteResult StorageArea::removeItem(const std::string& key) {
    refresh();
    auto found = items_.find(key);
    if (found == items_.end()) return StorageWriteResult::Saved;
    const StorageWriteResult saved = save("DELETE FROM ItemTable WHERE key = ?1", &key);
    if (saved != StorageWriteResult::Saved) return saved;
    used_ -= utf16Length(found->first) + utf16Length(found->second);
    items_.erase(found);
    lastKey_.reset();
    return StorageWriteResult::Saved;
}

StorageWriteResult StorageArea::clear() {
    refresh();
    if (items_.empty()) return StorageWriteResult::Saved;
    const StorageWriteResult saved = save("DELETE FROM ItemTable");
    if (saved != StorageWriteResult::Saved) return saved;
    replaceItems({});
    return StorageWriteResult::Saved;
}

}  // namespace platform
