#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <vector>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

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

// Whether the character at `at` may join two digit groups, `at` moving past
// it. The form keeps the ASCII digits of whatever is typed or pasted and drops
// the rest, so anything but a letter joins: punctuation, symbols, every
// Unicode space and dash, other scripts' digits, bytes that are no UTF-8.
// Letters part groups, or identifiers and words with digits in them would be
// masked as cards.
bool joinsGroups(std::string_view line, std::size_t& at) {
    const auto byte = static_cast<unsigned char>(line[at]);
    if (byte < 0x80) {
        ++at;
        return !isDigit(static_cast<char>(byte)) && !((byte | 0x20) >= 'a' && (byte | 0x20) <= 'z');
    }
    // A window of at most one character's bytes keeps the index within int32_t.
    const std::size_t window = std::min<std::size_t>(line.size() - at, U8_MAX_LENGTH);
    int32_t length = 0;
    UChar32 c = 0;
    U8_NEXT(reinterpret_cast<const uint8_t*>(line.data() + at), length, static_cast<int32_t>(window), c);
    at += static_cast<std::size_t>(length);
    return c < 0 || !u_isalpha(c);
}

// The run joining two groups is kept short so that digits in separate columns
// of a line are not read as one number.
constexpr std::size_t kMaxJoiningCharacters = 8;

// Where the digit group after the joining run at `at` (just past a group)
// starts; `at` when no short run leads to one.
std::size_t nextGroup(std::string_view line, std::size_t at) {
    std::size_t next = at;
    for (std::size_t joined = 0; next < line.size() && !isDigit(line[next]); ++joined) {
        if (joined == kMaxJoiningCharacters || !joinsGroups(line, next)) return at;
    }
    return next < line.size() ? next : at;
}

// No card number is longer; a longer stretch of digits is looked at no further.
constexpr std::size_t kMaxCardDigits = 19;

// What the card form would take as a card number (and so whatever the
// scanner reads too), whatever else the digits are: a date, an address or a
// version number whose digits the form would take is masked as well, the
// safer error. A number the form refuses though it passes the Luhn check (a
// 13-digit millisecond timestamp, 15 digits under a 16-digit issuer's prefix)
// is logged as it is.
bool isCardNumber(const std::uint8_t* digits, std::size_t count) { return is_valid_card_number(digits, count); }

struct DigitGroup {
    std::size_t begin;
    std::size_t end;
};

// Luhn sums (mod 10) of a run's first k digits, with those at even or at odd
// places doubled: the sum of any window of the run is then the difference of
// two, so a long run of short groups (a list of numbers, with many windows)
// costs little, and only windows that pass are looked up in full.
struct LuhnSums {
    static std::uint8_t addMod10(unsigned sum, unsigned digit) {
        return static_cast<std::uint8_t>(sum + digit < 10 ? sum + digit : sum + digit - 10);
    }

    std::vector<std::uint8_t> evenDoubled;
    std::vector<std::uint8_t> oddDoubled;

    void read(std::string_view line, const std::vector<DigitGroup>& groups) {
        std::size_t count = 0;
        for (const DigitGroup& group : groups) count += group.end - group.begin;
        evenDoubled.resize(count + 1);
        oddDoubled.resize(count + 1);
        evenDoubled[0] = oddDoubled[0] = 0;
        std::size_t k = 0;
        for (const DigitGroup& group : groups) {
            for (std::size_t i = group.begin; i < group.end; ++i, ++k) {
                const unsigned digit = static_cast<unsigned>(line[i] - '0');
                const unsigned twice = digit < 5 ? 2 * digit : 2 * digit - 9;
                const bool even = k % 2 == 0;
                evenDoubled[k + 1] = addMod10(evenDoubled[k], even ? twice : digit);
                oddDoubled[k + 1] = addMod10(oddDoubled[k], even ? digit : twice);
            }
        }
    }

    // Digits [from, to): the last one is not doubled, every second one before it is.
    bool pass(std::size_t from, std::size_t to) const {
        const std::vector<std::uint8_t>& sums = to % 2 == 0 ? evenDoubled : oddDoubled;
        return sums[to] == sums[from];
    }
};

// Marks in `masked` (indexed from the run's first byte) every digit of a card
// number in the run but its last four. Every window of whole groups is tried,
// and overlapping numbers are masked together: a stray group before a card
// must not leave that card's digits showing.
void markCardNumbers(std::string_view line, const std::vector<DigitGroup>& groups, const LuhnSums& luhn,
                     std::vector<char>& masked) {
    const std::size_t runBegin = groups.front().begin;
    std::uint8_t digits[kMaxCardDigits];
    std::size_t from = 0;  // the run's digits before the window's first group
    for (std::size_t first = 0; first < groups.size(); from += groups[first].end - groups[first].begin, ++first) {
        std::size_t count = 0;
        for (std::size_t last = first; last < groups.size(); ++last) {
            count += groups[last].end - groups[last].begin;
            if (count > kMaxCardDigits) break;
            if (!luhn.pass(from, from + count)) continue;
            std::size_t k = 0;
            for (std::size_t g = first; g <= last; ++g) {
                for (std::size_t i = groups[g].begin; i < groups[g].end; ++i)
                    digits[k++] = static_cast<std::uint8_t>(line[i] - '0');
            }
            if (!isCardNumber(digits, count)) continue;
            std::size_t toMask = count - 4;
            for (std::size_t g = first; g <= last && toMask > 0; ++g) {
                for (std::size_t i = groups[g].begin; i < groups[g].end && toMask > 0; ++i, --toMask)
                    masked[i - runBegin] = 1;
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
    LuhnSums luhn;
    std::vector<char> masked;  // not vector<bool>: it is read and written per digit
    std::size_t i = 0;
    while (i < line.size()) {
        if (!isDigit(line[i])) {
            const std::size_t from = i;
            while (i < line.size() && !isDigit(line[i])) ++i;
            out.append(line.substr(from, i - from));
            continue;
        }
        // A run: digit groups joined by short runs of anything but letters.
        groups.clear();
        std::size_t j = i;
        for (;;) {
            const std::size_t begin = j;
            while (j < line.size() && isDigit(line[j])) ++j;
            groups.push_back({begin, j});
            const std::size_t next = nextGroup(line, j);
            if (next == j) break;
            j = next;
        }
        masked.assign(j - i, 0);
        luhn.read(line, groups);
        markCardNumbers(line, groups, luhn, masked);
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
