#include "platform/foundation/URLRequest.h"

namespace platform {

std::optional<std::string> URLRequest::valueForHTTPHeaderField(const std::string& name) const {
    // The map's comparator ignores case, so "content-type" finds "Content-Type".
    const auto found = headers_.find(name);
    if (found == headers_.end()) return std::nullopt;
    return found->second;
}

}  // namespace platform
