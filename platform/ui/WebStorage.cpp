#include "platform/ui/WebStorage.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unicode/unistr.h>

#include <iterator>
#include <string_view>

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
    // With `first` bound to ?1; it must outlive the statement.
    Statement(sqlite3* connection, const char* sql, const std::string& first) : Statement(connection, sql) {
        if (statement_) sqlite3_bind_text(statement_, 1, first.data(), static_cast<int>(first.size()), SQLITE_STATIC);
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return statement_; }
    explicit operator bool() const { return statement_ != nullptr; }

private:
    sqlite3_stmt* statement_ = nullptr;
};

// Text columns of a file written elsewhere may hold broken UTF-8; what the
// pages get is always well-formed.
std::string columnText(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    if (!text) return {};
    const auto size = static_cast<int32_t>(sqlite3_column_bytes(statement, column));
    std::string wellFormed;
    icu::UnicodeString::fromUTF8(icu::StringPiece(text, size)).toUTF8String(wellFormed);
    return wellFormed;
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

// One origin's file. The connection stays open while the area lives; the file
// is made by the first write, never by reading.
struct StorageArea::Database {
    std::string directory;
    std::string path;
    std::string origin;
    sqlite3* connection = nullptr;
    bool hasTable = false;
    // The file as last read or written; nothing while there was none.
    std::optional<FileIdentity> identity;
    // A bad file that could not be set aside is not written over.
    bool memoryOnly = false;
    std::string openError;

    ~Database() { close(); }

    void close() {
        if (connection) sqlite3_close(connection);
        connection = nullptr;
        hasTable = false;
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
        // A change answered as saved is on the disk, whatever crashes next.
        // Without syncs (OFF) only the app's end is safe: the system may
        // write the pages in any order, and a crash of it or a power loss
        // leaves a file missing changes or broken (an index without the rows
        // of its table). FULL syncs the rollback journal and the file, and
        // EXTRA also the folder once the journal is gone, without which a
        // power loss may bring the journal back and roll the last change
        // back. That costs a few milliseconds a change. WAL would leave the
        // newest changes in a file of their own, which neither the
        // container's backup nor a file set aside takes along.
        return sqlite3_exec(connection, "PRAGMA synchronous = EXTRA", nullptr, nullptr, nullptr) == SQLITE_OK;
    }

    // SQLite trusts a page's cell pointers as it reads: one past the page
    // reads the page cache's bookkeeping behind the buffer, so a damaged file
    // may read as sound or not by where the buffer landed. Its quick check
    // looks at every page, but not whether each index holds the rows of its
    // table: a key index missing rows lets a write add a second row for its
    // key, and the next read finds the file broken and the write gone. The
    // whole check compares them too. It takes three to four times as long
    // as the quick one over many small items; a file at the quota of a
    // million tiny items opens in a third more time, one of a few large
    // items in the same.
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

    // Whether the file's schema is what commit() makes: nothing yet, or
    // ItemTable (its name in any case, as SQLite's names are) with its two
    // columns, their types and collation, a rowid and a unique key index, and
    // nothing else, not even a trigger or a view, which would make what a
    // write does differ from what it says. `problem` says how it differs.
    // SQLite reads its schema from the statements in it, whatever the case
    // of each row's type; what it made of them is asked of SQLite itself.
    bool schemaIsOurs(std::string& problem) {
        hasTable = false;
        std::string table;
        std::string index;
        {
            Statement tables(connection, "SELECT name, ncol, wr, strict FROM pragma_table_list('ItemTable') "
                                         "WHERE schema = 'main' AND type = 'table'");
            const int step = tables ? sqlite3_step(tables.get()) : SQLITE_ERROR;
            if (step == SQLITE_ROW) {
                table = columnText(tables.get(), 0);
                if (sqlite3_column_int(tables.get(), 1) != 2 || sqlite3_column_int(tables.get(), 2) ||
                    sqlite3_column_int(tables.get(), 3)) {
                    problem = "its " + table + " is not a rowid table of two columns";
                    return false;
                }
            } else if (step != SQLITE_DONE) {
                problem = lastError();
                return false;
            }
        }
        if (!table.empty() && !(columnsAreOurs(table, problem) && keyIndex(table, index, problem))) return false;
        Statement rows(connection, "SELECT lower(type), name FROM sqlite_schema");
        int step = rows ? sqlite3_step(rows.get()) : SQLITE_ERROR;
        int ours = 0;
        for (; step == SQLITE_ROW; step = sqlite3_step(rows.get())) {
            const std::string type = columnText(rows.get(), 0);
            const std::string name = columnText(rows.get(), 1);
            if (!table.empty() && ((type == "table" && name == table) || (type == "index" && name == index))) {
                ++ours;
                continue;
            }
            problem = format("it holds the %s \"%s\"", type.c_str(), name.c_str());
            return false;
        }
        if (step != SQLITE_DONE) {
            problem = lastError();
            return false;
        }
        if (ours != (table.empty() ? 0 : 2)) {
            problem = "its schema does not name " + table + " and its key index once each";
            return false;
        }
        hasTable = !table.empty();
        return true;
    }

    // key TEXT and value BLOB NOT NULL, both of binary collation, as commit()
    // makes them: another type changes what a key reads back as ("007" as 7).
    bool columnsAreOurs(const std::string& table, std::string& problem) {
        struct Column {
            const char* name;
            const char* type;
            int notNull;
        };
        static constexpr Column kColumns[] = {{"key", "TEXT", 0}, {"value", "BLOB", 1}};
        Statement columns(connection,
                          "SELECT name, type, \"notnull\", dflt_value IS NULL, hidden "
                          "FROM pragma_table_xinfo(?1) ORDER BY cid",
                          table);
        if (!columns) {
            problem = lastError();
            return false;
        }
        for (const Column& expected : kColumns) {
            const int step = sqlite3_step(columns.get());
            if (step != SQLITE_ROW) {
                problem = step == SQLITE_DONE ? "its " + table + " lacks a column" : lastError();
                return false;
            }
            const std::string name = columnText(columns.get(), 0);
            const char* collation = nullptr;
            const bool same =
                toLower(name) == expected.name && toLower(columnText(columns.get(), 1)) == toLower(expected.type) &&
                sqlite3_column_int(columns.get(), 2) == expected.notNull && sqlite3_column_int(columns.get(), 3) &&
                !sqlite3_column_int(columns.get(), 4) &&
                sqlite3_table_column_metadata(connection, "main", table.c_str(), name.c_str(), nullptr, &collation,
                                              nullptr, nullptr, nullptr) == SQLITE_OK &&
                collation && toLower(collation) == "binary";
            if (!same) {
                problem = format("its column %s is not %s %s%s of binary collation", name.c_str(), expected.name,
                                 expected.type, expected.notNull ? " NOT NULL" : "");
                return false;
            }
        }
        if (sqlite3_step(columns.get()) != SQLITE_DONE) {
            problem = "its " + table + " has more columns";
            return false;
        }
        return true;
    }

    // The table's one index, `index`: unique on the key alone in binary
    // collation, so that a key has one row and "Persist" is not "persist".
    bool keyIndex(const std::string& table, std::string& index, std::string& problem) {
        {
            Statement indexes(connection,
                              "SELECT name, \"unique\" AND NOT partial AND origin IN ('u', 'pk') "
                              "FROM pragma_index_list(?1)",
                              table);
            if (!indexes) {
                problem = lastError();
                return false;
            }
            int step = sqlite3_step(indexes.get());
            if (step == SQLITE_ROW && sqlite3_column_int(indexes.get(), 1)) {
                index = columnText(indexes.get(), 0);
                step = sqlite3_step(indexes.get());
            }
            if (index.empty() || step != SQLITE_DONE) {
                problem = "the indexes of its " + table + " are not one unique index";
                return false;
            }
        }
        Statement columns(connection,
                          "SELECT count(*) = 1 AND max(cid) = 0 AND max(lower(coll)) = 'binary' "
                          "FROM pragma_index_xinfo(?1) WHERE key",
                          index);
        if (!columns) {
            problem = lastError();
            return false;
        }
        if (sqlite3_step(columns.get()) != SQLITE_ROW || !sqlite3_column_int(columns.get(), 0)) {
            problem = "its index " + index + " is not on the key alone in binary collation";
            return false;
        }
        return true;
    }

    // Every item of the file; nothing, with `problem` said, when it cannot be read.
    std::optional<Items> read(std::string& problem) {
        close();
        identity = identityOf(path);
        if (!identity) return Items{};
        if (!open(SQLITE_OPEN_READWRITE)) {
            problem = lastError();
            return std::nullopt;
        }
        if (!soundOnDisk(problem) || !schemaIsOurs(problem)) return std::nullopt;
        Items items;
        if (!hasTable) return items;
        Statement rows(connection, "SELECT key, value FROM ItemTable");
        int step = rows ? sqlite3_step(rows.get()) : SQLITE_ERROR;
        for (; step == SQLITE_ROW; step = sqlite3_step(rows.get())) {
            const int type = sqlite3_column_type(rows.get(), 1);
            if (sqlite3_column_type(rows.get(), 0) == SQLITE_NULL || type == SQLITE_NULL) continue;
            std::string value;
            if (type == SQLITE_BLOB) {
                const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(rows.get(), 1));
                value = textFromBlob(bytes, static_cast<std::size_t>(sqlite3_column_bytes(rows.get(), 1)));
            } else {
                value = columnText(rows.get(), 1);
            }
            items[columnText(rows.get(), 0)] = std::move(value);
        }
        if (step != SQLITE_DONE) {
            problem = lastError();
            return std::nullopt;
        }
        return items;
    }

    // Moves an unreadable file (and a journal that would be played back into
    // its successor) out of the way under a name no earlier one has.
    void setAside(const std::string& problem) {
        close();
        auto& fileManager = FileManager::defaultManager();
        Error error;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string aside = path + ".corrupt" + (attempt ? "." + std::to_string(attempt) : "");
            if (fileManager.fileExistsAtPath(aside)) continue;
            if (!fileManager.moveItemAtPath(path, aside, &error)) break;
            if (fileManager.fileExistsAtPath(path + "-journal")) fileManager.moveItemAtPath(path + "-journal", aside + "-journal");
            logf("WebView: the local storage file %s cannot be read (%s); it is kept as %s and %s starts empty",
                 path.c_str(), problem.c_str(), aside.c_str(), origin.c_str());
            identity.reset();
            return;
        }
        logf("WebView: the local storage file %s cannot be read (%s) nor set aside (%s); %s starts empty and is "
             "kept in memory only",
             path.c_str(), problem.c_str(), error.description().c_str(), origin.c_str());
        memoryOnly = true;
    }

    // Commits one statement with its text parameters: a key as text, a value
    // as a blob. SQLITE_OK once the file holds it; otherwise the failure's
    // code, and SQLite has rolled the statement back.
    int commit(const char* sql, const std::string* key = nullptr, const std::string* value = nullptr) {
        if (memoryOnly) return SQLITE_OK;
        if (!connection) {
            FileManager::defaultManager().createDirectoryAtPath(directory, true);
            if (!open(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) return failed(SQLITE_CANTOPEN);
        }
        if (!hasTable) {
            const int created =
                sqlite3_exec(connection,
                             "CREATE TABLE IF NOT EXISTS ItemTable "
                             "(key TEXT UNIQUE ON CONFLICT REPLACE, value BLOB NOT NULL ON CONFLICT FAIL)",
                             nullptr, nullptr, nullptr);
            if (created != SQLITE_OK) return failed(created);
            hasTable = true;
        }
        Statement statement(connection, sql);
        if (!statement) return failed(sqlite3_errcode(connection));
        if (key) sqlite3_bind_text(statement.get(), 1, key->data(), static_cast<int>(key->size()), SQLITE_STATIC);
        const std::string blob = value ? blobFromText(*value) : std::string();
        if (value) sqlite3_bind_blob(statement.get(), 2, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
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
