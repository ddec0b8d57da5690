#pragma once
// The process log: one line per call, written whole to standard error.
// Thread-safe; lines from different threads never interleave.
//
// LogCapture is for tests: while one is alive, lines are also collected in it
// (and, unless asked otherwise, not written to standard error).

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Every line passes through maskCardNumbers first: payment-card norms allow
// no full card number in a log, whoever writes the line.
void log(std::string_view line);
void logf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// The line with every payment card number in it masked but for its last four
// digits ("•••• •••• •••• 1234", separators kept). A card number here is a run
// of 14 to 19 digits, optionally grouped by short runs (up to 8 characters,
// not bytes) of anything but letters and the digits 0-9 (mixed too: the form
// keeps only those digits), that the card form would take (is_valid_card_number,
// cardnumber/CardNumberRules.h), even where it is a date or an address; in a
// longer run each such stretch of whole groups is masked.
std::string maskCardNumbers(std::string_view line);

// Called with every line as it is logged (masked, as written), on the thread
// that logged it, before that thread's code goes on and after the log has let
// go of its lock, so the observer may log itself. One observer at a time;
// an empty function removes it.
using LogObserver = std::function<void(const std::string& line)>;
void setLogObserver(LogObserver observer);

class LogCapture {
public:
    explicit LogCapture(bool alsoToStandardError = false);
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines() const;
    // How many lines were captured so far, and the lines from index `first`
    // on: a reader that keeps a count sees only what came after it.
    std::size_t size() const;
    std::vector<std::string> linesFrom(std::size_t first) const;
    // Whether some captured line contains `fragment`.
    bool contains(std::string_view fragment) const;
    std::size_t count(std::string_view fragment) const;
    void clear();

private:
    friend void log(std::string_view line);
    void append(std::string_view line);

    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    bool alsoToStandardError_;
    LogCapture* previous_;
};

}  // namespace platform
