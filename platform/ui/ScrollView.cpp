#include "platform/ui/ScrollView.h"

#include <algorithm>

#include "platform/foundation/RunLoop.h"

namespace platform {

void UIScrollView::setContentOffset(CGPoint offset, bool) {
    assertMainThread("UIScrollView::setContentOffset");
    CGRect b = bounds();
    b.origin = offset;
    setBounds(b);
    setNeedsDisplay();
}

void UIScrollView::scrollRectToVisible(CGRect rect, bool animated) {
    const CGRect b = bounds();
    const UIEdgeInsets inset = contentInset_;
    const double visibleHeight = b.size.height - inset.top - inset.bottom;
    const double visibleWidth = b.size.width - inset.left - inset.right;
    CGPoint offset = b.origin;
    // Offsets that bring the rectangle's far edge in, then its near edge, so the near edge wins.
    if (rect.origin.y + rect.size.height > offset.y + inset.top + visibleHeight)
        offset.y = rect.origin.y + rect.size.height - visibleHeight - inset.top;
    if (rect.origin.y < offset.y + inset.top) offset.y = rect.origin.y - inset.top;
    if (rect.origin.x + rect.size.width > offset.x + inset.left + visibleWidth)
        offset.x = rect.origin.x + rect.size.width - visibleWidth - inset.left;
    if (rect.origin.x < offset.x + inset.left) offset.x = rect.origin.x - inset.left;
    const double maxY = std::max(-inset.top, contentSize_.height + inset.bottom - b.size.height);
    const double maxX = std::max(-inset.left, contentSize_.width + inset.right - b.size.width);
    offset.y = std::clamp(offset.y, -inset.top, maxY);
    offset.x = std::clamp(offset.x, -inset.left, maxX);
    if (offset != b.origin) setContentOffset(offset, animated);
}

}  // namespace platform
