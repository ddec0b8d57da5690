#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "cardnumber/CardNumberRules.h"

namespace platform {

namespace {

struct LogState {
    // Held across the write as well, so a line cut short by a partial write is
    // finished before another thread's line starts.
    std::mutex mutex;
    LogCapture* innermost = nullptr;
    std::shared_ptr<const LogObserver> observer;
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

bool isSeparator(char c) { return c == ' ' || c == '\t' || c == '-' || c == '.' || c == '/' || c == '_'; }

// However a number is typed or pasted, the form keeps its digits, so groups
// joined by any mix of these count as one run. The run is kept short so that
// digits in separate columns of a line are not read as one number.
constexpr std::size_t kMaxSeparatorRun = 8;

// Where the digit group after a separator run at `at` would start; `at` when
// no short run is there.
std::size_t afterSeparator(std::string_view line, std::size_t at) {
    std::size_t next = at;
    while (next < line.size() && next - at < kMaxSeparatorRun && isSeparator(line[next])) ++next;
    if (next < line.size() && isSeparator(line[next])) return at;
    return next;
}

// No card number is longer; a longer stretch of digits is looked at no further.
constexpr std::size_t kMaxCardDigits = 19;

// What the card form would take as a card number (and so whatever the
// scanner reads too), nothing more: a timestamp or a device identifier that
// merely passes the Luhn check is logged as it is.
bool isCardNumber(const std::string& digits) {
    if (digits.size() > kMaxCardDigits) return false;
    std::uint8_t values[kMaxCardDigits];
    for (std::size_t i = 0; i < digits.size(); ++i) values[i] = static_cast<std::uint8_t>(digits[i] - '0');
    return is_valid_card_number(values, digits.size());
}

struct DigitGroup {
    std::size_t begin;
    std::size_t end;
};

// Marks in `masked` (indexed from the run's first byte) every digit of a card
// number in the run but its last four. Every window of whole groups is tried,
// and overlapping numbers are masked together: a stray group before a card
// must not leave that card's digits showing.
void markCardNumbers(std::string_view line, const std::vector<DigitGroup>& groups, std::vector<bool>& masked) {
    const std::size_t runBegin = groups.front().begin;
    for (std::size_t first = 0; first < groups.size(); ++first) {
        std::string digits;
        for (std::size_t last = first; last < groups.size(); ++last) {
            digits.append(line.substr(groups[last].begin, groups[last].end - groups[last].begin));
            if (digits.size() > kMaxCardDigits) break;
            if (!isCardNumber(digits)) continue;
            std::size_t toMask = digits.size() - 4;
            for (std::size_t g = first; g <= last && toMask > 0; ++g) {
                for (std::size_t i = groups[g].begin; i < groups[g].end && toMask > 0; ++i, --toMask)
                    masked[i - runBegin] = true;
            }
        }
    }
}

}  // namespace

std::string maskCardNumbers(std::string_view line) {
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
        // A run: digit groups joined by separators. The form keeps only the
        // digits of whatever is typed or pasted, so separators may be mixed.
        groups.clear();
        std::size_t j = i;
        for (;;) {
            const std::size_t begin = j;
            while (j < line.size() && isDigit(line[j])) ++j;
            groups.push_back({begin, j});
            const std::size_t next = afterSeparator(line, j);
            if (next < line.size() && isDigit(line[next])) {
                j = next;
                continue;
            }
            break;
        }
        masked.assign(j - i, false);
        markCardNumbers(line, groups, masked);
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

void log(std::string_view rawLine) {
    std::string safe = maskCardNumbers(rawLine);
    if (!safe.empty() && safe.back() == '\n') safe.pop_back();
    LogState& s = state();
    std::shared_ptr<const LogObserver> observer;
    {
        std::lock_guard lock(s.mutex);
        LogCapture* capture = s.innermost;
        if (capture) capture->append(safe);
        if (!capture || capture->alsoToStandardError_) {
            std::string text;
            text.reserve(safe.size() + 1);
            text.append(safe);
            text.push_back('\n');
            writeWhole(text);
        }
        observer = s.observer;
    }
    if (observer) (*observer)(safe);
}

void setLogObserver(LogObserver observer) {
    LogState& s = state();
    auto shared = observer ? std::make_shared<const LogObserver>(std::move(observer)) : nullptr;
    std::lock_guard lock(s.mutex);
    s.observer = std::move(shared);
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
