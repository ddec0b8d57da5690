#pragma once
// The per-scan report held by the scan configuration. Reporting is a stub on
// purpose: the parameters are collected and handed to reportEvent, which
// records and sends nothing.

#include <memory>
#include <string>

#include "platform/foundation/Value.h"

namespace cardscanner {

class ZeduVICardScanner;
class ZeduVIContext;

class ZeduVIAnalytics {
public:
    // The context is held weakly: the context's config holds this report.
    explicit ZeduVIAnalytics(std::weak_ptr<ZeduVIContext> context = {});

    // The scanner may be nullptr.
    void reportEventWithLabel(const std::string& label, const std::shared_ptr<ZeduVICardScanner>& scanner);
    void reportEvent(const std::string& label, const platform::Dictionary& data);

    std::shared_ptr<ZeduVIContext> context() const { return context_.lock(); }

private:
    std::weak_ptr<ZeduVIContext> context_;
};

}  // namespace cardscanner
