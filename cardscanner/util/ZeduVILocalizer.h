#pragma once
// Text alignment that follows the writing direction of the scanner's
// language. Stateless; safe on any thread.

#include <string>

#include "platform/graphics/Context.h"

namespace cardscanner {

class ZeduVILocalizer {
public:
    // Right for a right-to-left language ("ar", "he_IL"), else left; an empty
    // string means the device's locale. The direction is ICU's for the
    // language subtag.
    static platform::NSTextAlignment textAlignmentForLanguageOrLocale(const std::string& languageOrLocale);
};

}  // namespace cardscanner
