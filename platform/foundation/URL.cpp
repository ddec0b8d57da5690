#include "platform/foundation/URL.h"

namespace platform {
namespace {

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<URL> URL::create(const std::string& text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || !isAlpha(text[0])) return std::nullopt;
    std::string scheme;
    scheme.reserve(colon);
    for (std::size_t i = 0; i < colon; ++i) {
        const char c = text[i];
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return std::nullopt;
        // ASCII only: std::tolower would consult the locale.
        scheme.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    }
    URL url;
    url.text_ = text;
    url.scheme_ = std::move(scheme);
    return url;
}

}  // namespace platform
