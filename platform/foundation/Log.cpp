#include "platform/foundation/Log.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>

namespace platform {

namespace {

struct LogState {
    // Held across the write as well, so a line cut short by a partial write is
    // finished before another thread's line starts.
    std::mutex mutex;
    LogCapture* innermost = nullptr;
};

LogState& state() {
    // Never destroyed: worker threads and destructors log while the process exits.
    static LogState* s = new LogState;
    return *s;
}

void writeWhole(const std::string& text) {
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;  // nowhere left to report a failing standard error
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

}  // namespace

void log(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    LogState& s = state();
    std::lock_guard lock(s.mutex);
    LogCapture* capture = s.innermost;
    if (capture) capture->append(line);
    if (!capture || capture->alsoToStandardError_) {
        std::string text;
        text.reserve(line.size() + 1);
        text.append(line);
        text.push_back('\n');
        writeWhole(text);
    }
}

void logf(const char* fmt, ...) {
    if (!fmt) return;
    va_list args;
    va_start(args, fmt);
    va_list measure;
    va_copy(measure, args);
    int length = std::vsnprintf(nullptr, 0, fmt, measure);
    va_end(measure);
    if (length < 0) {
        va_end(args);
        log(fmt);  // an unformattable line still says where it came from
        return;
    }
    std::string line(static_cast<std::size_t>(length), '\0');
    std::vsnprintf(line.data(), line.size() + 1, fmt, args);
    va_end(args);
    log(line);
}

LogCapture::LogCapture(bool alsoToStandardError) : alsoToStandardError_(alsoToStandardError) {
    LogState& s = state();
    std::lock_guard lock(s.mutex);
    previous_ = s.innermost;
    s.innermost = this;
}

LogCapture::~LogCapture() {
    LogState& s = state();
    std::lock_guard lock(s.mutex);
    if (s.innermost == this) {
        s.innermost = previous_;
        return;
    }
    // Destroyed out of order (captures owned by objects rather than scopes):
    // unlink it from the middle of the stack.
    for (LogCapture* c = s.innermost; c; c = c->previous_) {
        if (c->previous_ == this) {
            c->previous_ = previous_;
            return;
        }
    }
}

std::vector<std::string> LogCapture::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::size_t LogCapture::size() const {
    std::lock_guard lock(mutex_);
    return lines_.size();
}

std::vector<std::string> LogCapture::linesFrom(std::size_t first) const {
    std::lock_guard lock(mutex_);
    if (first >= lines_.size()) return {};
    return {lines_.begin() + static_cast<std::ptrdiff_t>(first), lines_.end()};
}

bool LogCapture::contains(std::string_view fragment) const {
    return count(fragment) > 0;
}

std::size_t LogCapture::count(std::string_view fragment) const {
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (const auto& line : lines_) {
        if (line.find(fragment) != std::string::npos) ++n;
    }
    return n;
}

void LogCapture::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

void LogCapture::append(std::string_view line) {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(line);
}

}  // namespace platform
