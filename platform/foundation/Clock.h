#pragma once
// The clock everything time-related reads: the run loop's timers, the command
// queue's time slices, timing logs. Real by default; tests install a
// ManualClock and move time forward themselves, so delays and timeouts are
// tested without sleeping. Thread-safe.

#include <atomic>
#include <memory>

namespace platform {

// Seconds between 1 January 1970 and the platform's reference date, 1 January 2001.
inline constexpr double kReferenceDateOffset = 978307200.0;

class Clock {
public:
    virtual ~Clock() = default;
    // Wall-clock seconds since 1 January 1970.
    virtual double now() const = 0;
    virtual bool isManual() const { return false; }
    double sinceReferenceDate() const { return now() - kReferenceDateOffset; }
};

class RealClock final : public Clock {
public:
    double now() const override;
};

class ManualClock final : public Clock {
public:
    explicit ManualClock(double start = 1.0e9) : now_(start) {}
    double now() const override { return now_.load(); }
    bool isManual() const override { return true; }
    void advance(double seconds) { now_.store(now_.load() + seconds); }
    void set(double secondsSince1970) { now_.store(secondsSince1970); }

private:
    std::atomic<double> now_;
};

// The process clock.
Clock& clock();
// Installs a clock (nullptr restores the real one). Returns the one replaced.
std::shared_ptr<Clock> setClock(std::shared_ptr<Clock> clock);

// Installs a ManualClock for the life of the scope, restoring the previous clock after.
class ScopedManualClock {
public:
    explicit ScopedManualClock(double start = 1.0e9);
    ~ScopedManualClock();
    ManualClock& operator*() { return *clock_; }
    ManualClock* operator->() { return clock_.get(); }

private:
    std::shared_ptr<ManualClock> clock_;
    std::shared_ptr<Clock> previous_;
};

}  // namespace platform
