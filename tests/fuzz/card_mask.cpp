// Log lines on their way out: whatever the text, masking only ever replaces
// digits by bullets (nothing else in the line changes, nothing is added), and
// a line with a card number in it never comes out with all its digits.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/foundation/Log.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "card_mask: %s\n", what);
    std::abort();
}

constexpr std::string_view kBullet = "\u2022";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string masked = platform::maskCardNumbers(text);
    std::size_t out = 0;
    for (char c : text) {
        if (out < masked.size() && masked[out] == c) {
            ++out;
        } else if (c >= '0' && c <= '9' && std::string_view(masked).substr(out, kBullet.size()) == kBullet) {
            out += kBullet.size();
        } else {
            fail("masking changed something other than a digit");
        }
    }
    if (out != masked.size()) fail("masking added text");

    // A known card number anywhere in the line loses all but its last four digits.
    const std::string tail = platform::maskCardNumbers(std::string(text) + " x 4111 1111 1111 1111");
    if (!tail.ends_with("\u2022\u2022\u2022\u2022 \u2022\u2022\u2022\u2022 \u2022\u2022\u2022\u2022 1111"))
        fail("a card number came through");
    return 0;
}
