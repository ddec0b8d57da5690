#include "platform/foundation/FileManager.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>
#include <random>
#include <system_error>
#include <utility>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kExcludedFromBackupAttribute = "user.hybrid.excluded-from-backup";

// The standard sandbox layout, created under every home.
constexpr const char* kHomeFolders[] = {"Documents", "Library", "Library/Caches", "Library/Preferences", "tmp"};

struct HomeState {
    std::mutex mutex;
    std::optional<std::string> explicitHome;
    // The default home whose layout was last made, so that asking again is cheap.
    std::string preparedDefault;
};

HomeState& homeState() {
    // Never destroyed: worker threads may ask for paths while the process exits.
    static NeverDestroyed<HomeState> state{ResetStage::Locations, [](HomeState& s) {
        std::lock_guard lock(s.mutex);
        s.explicitHome.reset();
    }};
    return *state;
}

void makeLayout(const std::string& home) {
    for (const char* folder : kHomeFolders) {
        std::error_code ec;
        fs::create_directories(fs::path(home) / folder, ec);
        if (ec) logf("FileManager: cannot create %s/%s: %s", home.c_str(), folder, ec.message().c_str());
    }
}

// Per the XDG rules a relative XDG_DATA_HOME is ignored; without HOME the
// password database still knows where the user lives.
std::string defaultHome() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/hybrid-app/home";
    std::string userHome;
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        userHome = home;
    } else {
        struct passwd entry {};
        struct passwd* found = nullptr;
        char buffer[4096];
        if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir)
            userHome = found->pw_dir;
    }
    // Last resort: the working folder, which is at least the user's own, unlike the shared /tmp.
    if (userHome.empty()) userHome = ".";
    return userHome + "/.local/share/hybrid-app/home";
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// A path with an embedded NUL would be cut short by every system call and
// name a different file than the caller meant.
bool isUsablePath(const std::string& path) { return !path.empty() && path.find('\0') == std::string::npos; }

std::string reasonOf(int errorNumber) { return std::error_code(errorNumber, std::generic_category()).message(); }

// Fills `error` (when asked for) and logs, so that no failure goes unheard.
bool fail(Error* error, int code, const std::string& what, const std::string& path, const std::string& reason) {
    std::string description = what + " \"" + path + "\": " + reason;
    log("FileManager: " + description);
    if (error) {
        error->domain = NSCocoaErrorDomain;
        error->code = code;
        error->localizedDescription = std::move(description);
        error->userInfo = Dictionary{{"NSFilePath", Value(path)}};
    }
    return false;
}

bool failWithErrno(Error* error, int errorNumber, int otherwiseCode, const std::string& what,
                   const std::string& path) {
    int code = otherwiseCode;
    if (errorNumber == ENOENT) code = NSFileNoSuchFileError;
    if (errorNumber == EEXIST) code = NSFileWriteFileExistsError;
    return fail(error, code, what, path, reasonOf(errorNumber));
}

bool failBadPath(Error* error, const std::string& what, const std::string& path) {
    return fail(error, path.empty() ? NSFileNoSuchFileError : NSFileWriteUnknownError, what, path,
                path.empty() ? "empty path" : "path contains a NUL character");
}

// lstat, so that a symbolic link is an item of its own and never followed.
bool itemStatus(const std::string& path, struct stat& status) { return ::lstat(path.c_str(), &status) == 0; }

Date dateOf(const struct timespec& time) {
    return Date{static_cast<double>(time.tv_sec) - kReferenceDateOffset + static_cast<double>(time.tv_nsec) / 1e9};
}

std::optional<struct timespec> timespecOf(Date date) {
    const double since1970 = date.sinceReferenceDate + kReferenceDateOffset;
    // Whole seconds of a double beyond 2^53 are no longer exact, and time_t is 64 bits.
    if (!std::isfinite(since1970) || std::fabs(since1970) > 9.0e15) return std::nullopt;
    const double seconds = std::floor(since1970);
    long nanoseconds = std::lround((since1970 - seconds) * 1e9);
    struct timespec time {};
    time.tv_sec = static_cast<time_t>(seconds);
    if (nanoseconds >= 1000000000L) {
        time.tv_sec += 1;
        nanoseconds -= 1000000000L;
    }
    time.tv_nsec = nanoseconds;
    return time;
}

bool setItemTime(const std::string& path, const struct timespec& modified, const struct timespec& accessed) {
    const struct timespec times[2] = {accessed, modified};
    return ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // Closes now, reporting the error a late write may only show here.
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

bool writeAll(int fd, const void* bytes, std::size_t size) {
    const char* p = static_cast<const char*>(bytes);
    std::size_t left = size;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

struct CopyFailure {
    int errorNumber = 0;
    bool reading = false;  // whether the source side failed
    std::string path;
    std::string reason;  // set when errno does not tell the story
};

// Copies the item at `source` (already lstat'ed) to the free name `destination`.
// Folders get their times last, since filling them changes them.
bool copyItem(const std::string& source, const std::string& destination, const struct stat& status,
              CopyFailure& failure) {
    auto failed = [&](int errorNumber, const std::string& path) {
        failure.errorNumber = errorNumber;
        failure.reading = path == source || path.rfind(source + "/", 0) == 0;
        failure.path = path;
        return false;
    };
    if (S_ISDIR(status.st_mode)) {
        if (::mkdir(destination.c_str(), (status.st_mode & 07777) | S_IRWXU) != 0) return failed(errno, destination);
        std::error_code ec;
        std::vector<std::string> names;
        for (fs::directory_iterator it(source, ec), end; !ec && it != end; it.increment(ec))
            names.push_back(it->path().filename().string());
        if (ec) return failed(ec.value(), source);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            const std::string from = source + "/" + name;
            struct stat childStatus {};
            if (!itemStatus(from, childStatus)) return failed(errno, from);
            if (!copyItem(from, destination + "/" + name, childStatus, failure)) return false;
        }
        // The owner-write bit added for filling the copy goes back to what the source had.
        if (::chmod(destination.c_str(), status.st_mode & 07777) != 0) return failed(errno, destination);
    } else if (S_ISREG(status.st_mode)) {
        FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        if (in.get() < 0) return failed(errno, source);
        FileDescriptor out(::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, status.st_mode & 07777));
        if (out.get() < 0) return failed(errno, destination);
        char buffer[64 * 1024];
        for (;;) {
            const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return failed(errno, source);
            if (n == 0) break;
            if (!writeAll(out.get(), buffer, static_cast<std::size_t>(n))) return failed(errno, destination);
        }
        // The umask must not narrow the copy's permissions.
        if (::fchmod(out.get(), status.st_mode & 07777) != 0 || out.close() != 0) return failed(errno, destination);
    } else if (S_ISLNK(status.st_mode)) {
        std::error_code ec;
        const fs::path target = fs::read_symlink(source, ec);
        if (ec) return failed(ec.value(), source);
        if (::symlink(target.c_str(), destination.c_str()) != 0) return failed(errno, destination);
    } else {
        // Reading a FIFO would block forever and a device could be endless.
        failure.path = source;
        failure.reason = "not a regular file, folder or symbolic link";
        return false;
    }
    if (!setItemTime(destination, status.st_mtim, status.st_atim)) {
        // Links on file systems that cannot time them are still a faithful copy.
        if (!(S_ISLNK(status.st_mode) && (errno == ENOTSUP || errno == EPERM))) return failed(errno, destination);
    }
    return true;
}

// Whether `inner` is `outer` or lies under it, after resolving links.
bool isWithin(const std::string& inner, const std::string& outer) {
    std::error_code ec;
    const fs::path resolvedOuter = fs::weakly_canonical(outer, ec);
    if (ec) return false;
    const fs::path resolvedInner = fs::weakly_canonical(inner, ec);
    if (ec) return false;
    auto o = resolvedOuter.begin();
    auto i = resolvedInner.begin();
    for (; o != resolvedOuter.end(); ++o, ++i) {
        if (o->empty()) continue;  // a trailing separator
        if (i == resolvedInner.end() || *i != *o) return false;
    }
    return true;
}

std::string uniqueSibling(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    thread_local std::mt19937 random(std::random_device{}());
    const fs::path target(path);
    const std::string name = "." + target.filename().string() + "." + std::to_string(::getpid()) + "." +
                             std::to_string(counter++) + "." + std::to_string(random() % 1000000) + ".tmp";
    return (target.parent_path() / name).string();
}

}  // namespace

FileManager& FileManager::defaultManager() {
    static NeverDestroyed<FileManager> manager;
    return *manager;
}

void FileManager::setHomeDirectory(const std::string& path) {
    if (!isUsablePath(path)) {
        log("FileManager: refusing an unusable home folder path");
        return;
    }
    const std::string home = withoutTrailingSlashes(path);
    makeLayout(home);
    HomeState& state = homeState();
    std::lock_guard lock(state.mutex);
    state.explicitHome = home;
}

std::string FileManager::homeDirectory() {
    HomeState& state = homeState();
    std::lock_guard lock(state.mutex);
    if (state.explicitHome) return *state.explicitHome;
    // Read each time, since the environment decides it until a home is set.
    const std::string home = defaultHome();
    if (state.preparedDefault != home) {
        makeLayout(home);
        state.preparedDefault = home;
    }
    return home;
}

std::string FileManager::documentsDirectory() const { return homeDirectory() + "/Documents"; }
std::string FileManager::libraryDirectory() const { return homeDirectory() + "/Library"; }
std::string FileManager::cachesDirectory() const { return homeDirectory() + "/Library/Caches"; }
std::string FileManager::temporaryDirectory() const { return homeDirectory() + "/tmp/"; }

bool FileManager::fileExistsAtPath(const std::string& path, bool* isDirectory) const {
    if (isDirectory) *isDirectory = false;
    if (!isUsablePath(path)) return false;
    struct stat status {};
    // Links are followed here, as the platform does: a dangling link is no file.
    if (::stat(path.c_str(), &status) != 0) return false;
    if (isDirectory) *isDirectory = S_ISDIR(status.st_mode);
    return true;
}

bool FileManager::createDirectoryAtPath(const std::string& path, bool withIntermediateDirectories, Error* error) {
    static const std::string what = "Cannot create the folder";
    if (!isUsablePath(path)) return failBadPath(error, what, path);
    if (withIntermediateDirectories) {
        std::error_code ec;
        fs::create_directories(path, ec);
        if (!ec) return true;
        // create_directories reports a file in the way as "exists", and a
        // folder reached through a link may already be there.
        bool isFolder = false;
        if (fileExistsAtPath(path, &isFolder) && isFolder) return true;
        return failWithErrno(error, ec.value(), NSFileWriteUnknownError, what, path);
    }
    if (::mkdir(path.c_str(), 0777) != 0) return failWithErrno(error, errno, NSFileWriteUnknownError, what, path);
    return true;
}

bool FileManager::removeItemAtPath(const std::string& path, Error* error) {
    static const std::string what = "Cannot remove";
    if (!isUsablePath(path)) return failBadPath(error, what, path);
    struct stat status {};
    if (!itemStatus(path, status)) return failWithErrno(error, errno, NSFileWriteUnknownError, what, path);
    std::error_code ec;
    fs::remove_all(path, ec);
    if (ec) return failWithErrno(error, ec.value(), NSFileWriteUnknownError, what, path);
    return true;
}

bool FileManager::copyItemAtPath(const std::string& source, const std::string& destination, Error* error) {
    static const std::string what = "Cannot copy to";
    if (!isUsablePath(source)) return failBadPath(error, "Cannot copy", source);
    if (!isUsablePath(destination)) return failBadPath(error, what, destination);
    struct stat status {};
    if (!itemStatus(source, status)) return failWithErrno(error, errno, NSFileReadUnknownError, "Cannot copy", source);
    struct stat existing {};
    if (itemStatus(destination, existing)) return failWithErrno(error, EEXIST, NSFileWriteUnknownError, what, destination);
    if (S_ISDIR(status.st_mode) && isWithin(destination, source))
        return fail(error, NSFileWriteUnknownError, what, destination, "a folder cannot be copied into itself");

    CopyFailure failure;
    if (copyItem(source, destination, status, failure)) return true;
    // No half copy is left behind; the destination was free when we began.
    std::error_code ignored;
    fs::remove_all(destination, ignored);
    if (!failure.reason.empty()) return fail(error, NSFileWriteUnknownError, what, failure.path, failure.reason);
    return failWithErrno(error, failure.errorNumber, failure.reading ? NSFileReadUnknownError : NSFileWriteUnknownError,
                         failure.reading ? "Cannot copy" : what, failure.path);
}

bool FileManager::moveItemAtPath(const std::string& source, const std::string& destination, Error* error) {
    static const std::string what = "Cannot move to";
    if (!isUsablePath(source)) return failBadPath(error, "Cannot move", source);
    if (!isUsablePath(destination)) return failBadPath(error, what, destination);
    struct stat status {};
    if (!itemStatus(source, status)) return failWithErrno(error, errno, NSFileWriteUnknownError, "Cannot move", source);
    struct stat existing {};
    if (itemStatus(destination, existing)) return failWithErrno(error, EEXIST, NSFileWriteUnknownError, what, destination);
    // renameat2's RENAME_NOREPLACE would close the race with another writer,
    // but not every file system has it; the check above is what the platform does too.
    if (::rename(source.c_str(), destination.c_str()) == 0) return true;
    if (errno != EXDEV) return failWithErrno(error, errno, NSFileWriteUnknownError, what, destination);
    // Across file systems a move is a copy and a removal.
    return copyItemAtPath(source, destination, error) && removeItemAtPath(source, error);
}

std::vector<std::string> FileManager::contentsOfDirectoryAtPath(const std::string& path, Error* error) const {
    static const std::string what = "Cannot list the folder";
    std::vector<std::string> names;
    if (!isUsablePath(path)) {
        failBadPath(error, what, path);
        return names;
    }
    std::error_code ec;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    if (ec) {
        failWithErrno(error, ec.value(), NSFileReadUnknownError, what, path);
        return {};
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> FileManager::enumeratorAtPath(const std::string& path) const {
    std::vector<std::string> result;
    bool isFolder = false;
    if (!fileExistsAtPath(path, &isFolder) || !isFolder) return result;

    // An explicit stack rather than recursion, so that a deep tree cannot
    // exhaust the thread's stack. Each folder's entries go on in reverse name
    // order, so they come off in order, each folder's own entries right after
    // it. Links to folders are listed but not entered: a link cycle cannot loop.
    std::vector<std::pair<std::string, bool>> pending;
    auto pushEntriesOf = [&](const std::string& relative) {
        const std::string folder = relative.empty() ? path : path + "/" + relative;
        std::vector<std::pair<std::string, bool>> entries;
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code typeError;
            const bool enter = it->is_directory(typeError) && !it->is_symlink(typeError);
            const std::string name = it->path().filename().string();
            entries.emplace_back(relative.empty() ? name : relative + "/" + name, enter);
        }
        std::sort(entries.begin(), entries.end());
        pending.insert(pending.end(), entries.rbegin(), entries.rend());
    };
    pushEntriesOf("");
    while (!pending.empty()) {
        auto [entry, enter] = std::move(pending.back());
        pending.pop_back();
        result.push_back(entry);
        if (enter) pushEntriesOf(entry);
    }
    return result;
}

std::optional<Dictionary> FileManager::attributesOfFileSystemForPath(const std::string& path, Error* error) const {
    static const std::string what = "Cannot read the file system attributes of";
    if (!isUsablePath(path)) {
        failBadPath(error, what, path);
        return std::nullopt;
    }
    struct statvfs status {};
    if (::statvfs(path.c_str(), &status) != 0) {
        failWithErrno(error, errno, NSFileReadUnknownError, what, path);
        return std::nullopt;
    }
    const auto size = static_cast<long long>(status.f_blocks * status.f_frsize);
    return Dictionary{{"NSFileSystemSize", Value(size)}};
}

std::optional<Date> FileManager::modificationDateOfItemAtPath(const std::string& path) const {
    if (!isUsablePath(path)) return std::nullopt;
    struct stat status {};
    if (!itemStatus(path, status)) return std::nullopt;
    return dateOf(status.st_mtim);
}

bool FileManager::setModificationDate(const std::string& path, Date date, Error* error) {
    static const std::string what = "Cannot set the modification date of";
    if (!isUsablePath(path)) return failBadPath(error, what, path);
    const std::optional<struct timespec> modified = timespecOf(date);
    if (!modified) return fail(error, NSFileWriteUnknownError, what, path, "the date is out of range");
    struct timespec accessed {};
    accessed.tv_nsec = UTIME_OMIT;
    if (!setItemTime(path, *modified, accessed)) return failWithErrno(error, errno, NSFileWriteUnknownError, what, path);
    return true;
}

std::optional<Data> FileManager::contentsAtPath(const std::string& path) const {
    if (!isUsablePath(path)) return std::nullopt;
    // Non-blocking, so that a FIFO in the way answers at once instead of hanging.
    FileDescriptor in(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (in.get() < 0) return std::nullopt;
    struct stat status {};
    if (::fstat(in.get(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    Data contents;
    contents.reserve(static_cast<std::size_t>(std::max<off_t>(status.st_size, 0)));
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) break;
        contents.insert(contents.end(), buffer, buffer + n);
    }
    return contents;
}

bool FileManager::createFileAtPath(const std::string& path, const Data& contents, bool atomically, Error* error) {
    static const std::string what = "Cannot write";
    if (!isUsablePath(path)) return failBadPath(error, what, path);
    bool isFolder = false;
    if (fileExistsAtPath(path, &isFolder) && isFolder) return failWithErrno(error, EISDIR, NSFileWriteUnknownError, what, path);
    if (!atomically) {
        FileDescriptor out(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
        if (out.get() < 0 || !writeAll(out.get(), contents.data(), contents.size()) || out.close() != 0)
            return failWithErrno(error, errno, NSFileWriteUnknownError, what, path);
        return true;
    }
    // The temporary sibling is made with O_EXCL under the process umask, so
    // the finished file gets the same permissions a direct write would.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string temporary = uniqueSibling(path);
        FileDescriptor out(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (out.get() < 0) {
            if (errno == EEXIST) continue;
            return failWithErrno(error, errno, NSFileWriteUnknownError, what, path);
        }
        if (!writeAll(out.get(), contents.data(), contents.size()) || ::fsync(out.get()) != 0 || out.close() != 0 ||
            ::rename(temporary.c_str(), path.c_str()) != 0) {
            const int errorNumber = errno;
            ::unlink(temporary.c_str());
            return failWithErrno(error, errorNumber, NSFileWriteUnknownError, what, path);
        }
        return true;
    }
    return failWithErrno(error, EEXIST, NSFileWriteUnknownError, what, path);
}

bool FileManager::setExcludedFromBackup(const std::string& path, bool excluded, Error* error) {
    static const std::string what = "Cannot mark for backup";
    if (!isUsablePath(path)) return failBadPath(error, what, path);
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return failWithErrno(error, errno, NSFileWriteUnknownError, what, path);
    int result = 0;
    if (excluded) {
        result = ::setxattr(path.c_str(), kExcludedFromBackupAttribute, "1", 1, 0);
    } else {
        result = ::removexattr(path.c_str(), kExcludedFromBackupAttribute);
        if (result != 0 && errno == ENODATA) result = 0;
    }
    // Where the file system keeps no attributes there is nothing to back up from either.
    if (result != 0 && errno == ENOTSUP) return true;
    if (result != 0) return failWithErrno(error, errno, NSFileWriteUnknownError, what, path);
    return true;
}

bool FileManager::isExcludedFromBackup(const std::string& path) const {
    if (!isUsablePath(path)) return false;
    char value[8];
    return ::getxattr(path.c_str(), kExcludedFromBackupAttribute, value, sizeof value) >= 0;
}

}  // namespace platform
