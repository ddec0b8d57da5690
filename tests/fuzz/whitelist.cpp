// The whitelist: access origins as config.xml writes them, one a line, then
// a blank line and the URLs to check against them, one a line.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hybrid/HYBWhitelist.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/URL.h"

namespace {

std::vector<std::string> lines(std::string_view text) {
    std::vector<std::string> out;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        out.emplace_back(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::LogCapture quiet;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::size_t split = text.find("\n\n");
    const std::vector<std::string> entries = lines(text.substr(0, split));
    const std::vector<std::string> urls = split == std::string_view::npos ? std::vector<std::string>{}
                                                                          : lines(text.substr(split + 2));

    hybrid::HYBWhitelist whitelist(entries);
    for (const std::string& entry : entries) {
        hybrid::HYBWhitelist::isIPv4Address(entry);
        hybrid::HYBWhitelistPattern::regexFromPattern(entry, true);
    }
    whitelist.setWhitelistRejectionFormatString(entries.empty() ? "%@" : entries.front());

    for (const std::string& line : urls) {
        const std::optional<platform::URL> url = platform::URL::create(line);
        if (!url) continue;
        whitelist.schemeIsAllowed(url->scheme());
        whitelist.URLIsAllowedLogFailure(*url, true);
    }
    return 0;
}
