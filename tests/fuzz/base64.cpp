// Base64 from the page (ArrayBuffer arguments): any text decodes, and every
// way of decoding it gives the same bytes, which encode and decode back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "hybrid/HYBBase64.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "base64: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const platform::Data decoded = hybrid::hyb_dataFromBase64String(text);

    std::size_t length = 0;
    unsigned char* bytes = hybrid::HYBBase64DecodeBytes(text.data(), text.size(), &length);
    if (!bytes) fail("no buffer for the decoded bytes");
    const bool same = std::equal(bytes, bytes + length, decoded.begin(), decoded.end());
    std::free(bytes);
    if (!same) fail("the two decoders disagree");

    // Up to the first NUL, as C callers hand text over.
    const std::string terminated(text);
    const std::size_t nul = terminated.find('\0');
    bytes = hybrid::HYBBase64DecodeBytes(terminated.c_str(), hybrid::HYBBase64LengthUpToNul, &length);
    if (!bytes) fail("no buffer for the decoded bytes");
    const platform::Data beforeNul = hybrid::hyb_dataFromBase64String(std::string_view(terminated).substr(0, nul));
    const bool sameUpToNul = std::equal(bytes, bytes + length, beforeNul.begin(), beforeNul.end());
    std::free(bytes);
    if (!sameUpToNul) fail("decoding up to the NUL differs from decoding the text before it");

    const std::string encoded = hybrid::hyb_base64EncodedString(decoded);
    if (hybrid::hyb_dataFromBase64String(encoded) != decoded) fail("decoded bytes do not survive a round trip");

    // The input as bytes, the other way round.
    const platform::Data raw(data, data + size);
    std::size_t encodedLength = 0;
    char* text64 = hybrid::HYBBase64EncodeBytes(data, size, true, &encodedLength);
    if (!text64) fail("no buffer for the encoded text");
    const bool matches = encodedLength == std::strlen(text64) &&
                         std::string_view(text64, encodedLength) == hybrid::hyb_base64EncodedString(raw);
    std::free(text64);
    if (!matches) fail("the two encoders disagree");
    if (hybrid::hyb_dataFromBase64String(hybrid::hyb_base64EncodedString(raw)) != raw)
        fail("bytes do not survive a round trip");
    return 0;
}
