#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <vector>

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
    // No reset: a capture is installed and removed by its owner's scope.
    static NeverDestroyed<LogState> s;
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

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool passesLuhn(const std::string& digits) {
    int sum = 0;
    bool doubled = false;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        int d = *it - '0';
        if (doubled) d = d * 2 > 9 ? d * 2 - 9 : d * 2;
        sum += d;
        doubled = !doubled;
    }
    return sum % 10 == 0;
}

bool isCardLength(const std::string& digits) { return digits.size() >= 13 && digits.size() <= 19; }

// Not only the issuers' prefixes: the card form takes any number that passes
// the check, and a number the form takes must not reach a log either.
bool isCardNumber(const std::string& digits) { return isCardLength(digits) && passesLuhn(digits); }

struct DigitGroup {
    std::size_t begin;
    std::size_t end;
};

// Marks in `masked` (indexed from the run's first byte) every digit of a card
// number in the run but its last four. Every window of whole groups is tried,
// and overlapping numbers are masked together: a stray group before a card
// must not leave that card's digits showing.
void markCardNumbers(std::string_view line, const std::vector<DigitGroup>& groups, bool (*isCardNumber)(const std::string&),
                     std::vector<bool>& masked) {
    const std::size_t runBegin = groups.front().begin;
    for (std::size_t first = 0; first < groups.size(); ++first) {
        std::string digits;
        for (std::size_t last = first; last < groups.size(); ++last) {
            digits.append(line.substr(groups[last].begin, groups[last].end - groups[last].begin));
            if (digits.size() > 19) break;
            if (!isCardNumber(digits)) continue;
            std::size_t toMask = digits.size() - 4;
            for (std::size_t g = first; g <= last && toMask > 0; ++g) {
                for (std::size_t i = groups[g].begin; i < groups[g].end && toMask > 0; ++i, --toMask)
                    masked[i - runBegin] = true;
            }
        }
    }
}

std::string maskDigitRuns(std::string_view line, bool (*isCardNumber)(const std::string&)) {
    std::size_t digitCount = 0;
    for (char c : line) digitCount += isDigit(c) ? 1 : 0;
    if (digitCount < 13) return std::string(line);

    static constexpr std::string_view kMask = "\u2022";
    std::string out;
    out.reserve(line.size() + 32);
    std::vector<DigitGroup> groups;
    std::vector<bool> masked;
    std::size_t i = 0;
    while (i < line.size()) {
        if (!isDigit(line[i])) {
            out.push_back(line[i++]);
            continue;
        }
        // A run: digit groups joined by single blanks or dashes.
        groups.clear();
        std::size_t j = i;
        for (;;) {
            const std::size_t begin = j;
            while (j < line.size() && isDigit(line[j])) ++j;
            groups.push_back({begin, j});
            if (j + 1 < line.size() && (line[j] == ' ' || line[j] == '-') && isDigit(line[j + 1])) {
                ++j;
                continue;
            }
            break;
        }
        masked.assign(j - i, false);
        markCardNumbers(line, groups, isCardNumber, masked);
        for (std::size_t k = i; k < j; ++k) {
            if (masked[k - i]) {
                out.append(kMask);
            } else {
                out.push_back(line[k]);
            }
        }
        i = j;
    }
    return out;
}

}  // namespace

std::string maskCardNumbers(std::string_view line) { return maskDigitRuns(line, isCardNumber); }

std::string maskLongDigitRuns(std::string_view line) { return maskDigitRuns(line, isCardLength); }

void log(std::string_view rawLine) {
    const std::string safe = maskCardNumbers(rawLine);
    std::string_view line = safe;
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
