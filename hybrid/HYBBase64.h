#pragma once
// Base64 of raw bytes as the bridge carries them (standard alphabet, "="
// padding, one unbroken line). Decoding is deliberately lenient: every byte
// outside the alphabet is skipped and padding is not enforced, so pages that
// send line-wrapped or sloppily padded text still get their bytes.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

namespace hybrid {

// The length value that means "up to the first NUL byte".
inline constexpr std::size_t HYBBase64LengthUpToNul = static_cast<std::size_t>(-1);

// Newly allocated buffer (free() it) of the decoded bytes; *outLength, when
// given, is set to their count. Never fails short of memory.
unsigned char* HYBBase64DecodeBytes(const char* text, std::size_t length, std::size_t* outLength);
// Newly allocated NUL-terminated text (free() it), or nullptr when allocation
// fails. Line separation is never written, whatever the flag says.
char* HYBBase64EncodeBytes(const void* bytes, std::size_t length, bool separateLines, std::size_t* outLength);

platform::Data hyb_dataFromBase64String(std::string_view text);
std::string hyb_base64EncodedString(const platform::Data& data);
inline platform::Data dataFromBase64String(std::string_view text) { return hyb_dataFromBase64String(text); }
inline std::string base64EncodedString(const platform::Data& data) { return hyb_base64EncodedString(data); }

}  // namespace hybrid
