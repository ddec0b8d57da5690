#include "cardscanner/util/ZeduVILocalizer.h"

#include <unicode/uloc.h>

#include "platform/ui/Device.h"

namespace cardscanner {

platform::NSTextAlignment ZeduVILocalizer::textAlignmentForLanguageOrLocale(const std::string& languageOrLocale) {
    const std::string locale =
        languageOrLocale.empty() ? platform::UIDevice::currentDevice().localeIdentifier() : languageOrLocale;
    // ICU reads "he-IL", "ar_EG.UTF-8" and three-letter languages alike; the
    // language alone decides, so a region never flips the direction.
    char language[ULOC_LANG_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_getLanguage(locale.c_str(), language, sizeof language, &status);
    if (U_FAILURE(status) || language[0] == '\0') return platform::NSTextAlignmentLeft;
    return uloc_isRightToLeft(language) ? platform::NSTextAlignmentRight : platform::NSTextAlignmentLeft;
}

}  // namespace cardscanner
