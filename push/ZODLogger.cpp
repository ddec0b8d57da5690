#include "push/ZODLogger.h"
#include "platform/foundation/NeverDestroyed.h"

#include <mutex>
#include <string>

#include "platform/foundation/Log.h"

namespace push {

namespace {

struct Repository {
    std::mutex mutex;
    ZODLogLevel level = ZODLogLevel::Info;
};

Repository& repository() {
    // Never destroyed: the client thread may still log while the process exits.
    static platform::NeverDestroyed<Repository> r{platform::ResetStage::Application, [](Repository& repo) {
        std::lock_guard lock(repo.mutex);
        repo.level = ZODLogLevel::Info;
    }};
    return *r;
}

const char* tagOf(ZODLogLevel level) {
    switch (level) {
        case ZODLogLevel::Warn: return "WARNING: ";
        case ZODLogLevel::Error: return "ERROR: ";
        default: return "";
    }
}

}  // namespace

void ZODLogger::setLevel(ZODLogLevel level) {
    Repository& r = repository();
    std::lock_guard lock(r.mutex);
    r.level = level;
}

ZODLogLevel ZODLogger::level() {
    Repository& r = repository();
    std::lock_guard lock(r.mutex);
    return r.level;
}

bool ZODLogger::isEnabled(ZODLogLevel level) {
    return static_cast<int>(level) >= static_cast<int>(ZODLogger::level());
}

void ZODLogger::log(ZODLogLevel level, std::string_view text) {
    if (!isEnabled(level)) return;
    std::string line = "push: ";
    line += tagOf(level);
    line += text;
    platform::log(line);
}

}  // namespace push
