#pragma once
// The look the form's cells share: style, fonts and colours of the cells'
// text and detail labels, by the platform's table-cell style. Stateless.

#include "platform/graphics/Color.h"
#include "platform/graphics/Font.h"
#include "platform/ui/TableView.h"

namespace cardscanner {

class ZeduVITableViewCell {
public:
    // Value 2. The other methods take any number and answer for styles 0 to 3.
    static platform::UITableViewCellStyle defaultCellStyle();
    // 0 for a style outside 0 to 3.
    static double defaultTextLabelFontSizeForCellStyle(long style);
    static double defaultDetailTextLabelFontSizeForCellStyle(long style);
    // From system version 7 the body text style's font, whatever the size.
    static platform::UIFont defaultTextLabelFontForCellStyleFontSize(long style, double fontSize);
    static platform::UIFont defaultDetailTextLabelFontForCellStyleFontSize(long style, double fontSize);
    static platform::UIFont defaultTextLabelFontForCellStyle(long style);
    static platform::UIFont defaultDetailTextLabelFontForCellStyle(long style);
    static platform::UIColor defaultTextLabelColorForCellStyle(long style);
    static platform::UIColor defaultDetailTextLabelColorForCellStyle(long style);
};

}  // namespace cardscanner
