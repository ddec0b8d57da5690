#include "cardscanner/form/ZeduVITableViewCell.h"

#include "cardscanner/util/ZeduVIMacros.h"

namespace cardscanner {

namespace {

// The body text style's font: the system font at the platform's default body size.
constexpr double kBodyTextStyleSize = 17;

platform::UIFont cellFont(double fontSize) {
    if (ZeduVIMacros::deviceSystemMajorVersion() < 7) return platform::UIFont::systemFontOfSize(fontSize);
    return platform::UIFont::systemFontOfSize(kBodyTextStyleSize);
}

// The platform's dark text colour.
platform::UIColor darkTextColor() { return platform::UIColor::colorWithWhiteAlpha(0, 1); }

}  // namespace

platform::UITableViewCellStyle ZeduVITableViewCell::defaultCellStyle() {
    return platform::UITableViewCellStyleValue2;
}

double ZeduVITableViewCell::defaultTextLabelFontSizeForCellStyle(long style) {
    switch (style) {
        case 0: return 20;
        case 1: return 18;
        case 2: return 12;
        case 3: return 18;
        default: return 0;
    }
}

double ZeduVITableViewCell::defaultDetailTextLabelFontSizeForCellStyle(long style) {
    switch (style) {
        case 1: return 18;
        case 2: return 18;
        case 3: return 14;
        default: return 0;
    }
}

platform::UIFont ZeduVITableViewCell::defaultTextLabelFontForCellStyleFontSize(long, double fontSize) {
    return cellFont(fontSize);
}

platform::UIFont ZeduVITableViewCell::defaultDetailTextLabelFontForCellStyleFontSize(long, double fontSize) {
    return cellFont(fontSize);
}

platform::UIFont ZeduVITableViewCell::defaultTextLabelFontForCellStyle(long style) {
    return defaultTextLabelFontForCellStyleFontSize(style, defaultTextLabelFontSizeForCellStyle(style));
}

platform::UIFont ZeduVITableViewCell::defaultDetailTextLabelFontForCellStyle(long style) {
    return defaultDetailTextLabelFontForCellStyleFontSize(style, defaultDetailTextLabelFontSizeForCellStyle(style));
}

platform::UIColor ZeduVITableViewCell::defaultTextLabelColorForCellStyle(long style) {
    if (style == 0 || style == 1 || style == 3) return platform::UIColor::colorWithWhiteAlpha(0, 1);
    return platform::UIColor::darkGrayColor();
}

platform::UIColor ZeduVITableViewCell::defaultDetailTextLabelColorForCellStyle(long style) {
    switch (style) {
        case 1: return platform::UIColor::colorWithRedGreenBlueAlpha(0.22, 0.33, 0.53, 1);
        case 2: return platform::UIColor::colorWithWhiteAlpha(0, 1);
        case 3: return platform::UIColor::colorWithRedGreenBlueAlpha(0.5, 0.5, 0.5, 1);
        default: return darkTextColor();
    }
}

}  // namespace cardscanner
