#include "cardscanner/context/ZeduVIAnalytics.h"

#include "cardscanner/analysis/ZeduVICardScanner.h"

namespace cardscanner {

ZeduVIAnalytics::ZeduVIAnalytics(std::weak_ptr<ZeduVIContext> context) : context_(std::move(context)) {}

void ZeduVIAnalytics::reportEventWithLabel(const std::string& label,
                                           const std::shared_ptr<ZeduVICardScanner>& scanner) {
    platform::Dictionary parameters;
    if (scanner) {
        const ScannerState state = scanner->scannerState();
        parameters["num_frames_scanned"] = static_cast<long long>(state.session_analytics.num_frames_scanned);
        parameters["complete"] = scanner->complete();
    }
    reportEvent(label, parameters);
}

void ZeduVIAnalytics::reportEvent(const std::string&, const platform::Dictionary&) {}

}  // namespace cardscanner
