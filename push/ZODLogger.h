#pragma once
// The push client's own logger: every line the push client writes goes
// through it, to the process log with the prefix "push: ".
//
// A message is written when its level is at least the logger's level. The
// levels are not ordered by severity (WARN sits below INFO, and OFF below
// FORCE, ERROR and TEST), so OFF silences the everyday levels while FORCE,
// ERROR and TEST still come through. The logger starts at INFO.
// Thread-safe: any thread may log or change the level.

#include <string_view>

namespace push {

enum class ZODLogLevel : int {
    All = 0,
    Debug = 20,
    Warn = 30,
    Info = 40,
    Off = 90,
    Force = 100,
    Error = 110,
    Test = 250,
};

class ZODLogger {
public:
    static void setLevel(ZODLogLevel level);
    static ZODLogLevel level();
    static bool isEnabled(ZODLogLevel level);
    static void log(ZODLogLevel level, std::string_view text);

    static void debug(std::string_view text) { log(ZODLogLevel::Debug, text); }
    static void warn(std::string_view text) { log(ZODLogLevel::Warn, text); }
    static void info(std::string_view text) { log(ZODLogLevel::Info, text); }
    static void error(std::string_view text) { log(ZODLogLevel::Error, text); }
};

}  // namespace push
