#include "platform/ui/TableView.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "platform/foundation/RunLoop.h"
#include "platform/graphics/BezierPath.h"
#include "platform/graphics/Context.h"

namespace platform {

namespace {

constexpr double kGroupedInset = 10;
constexpr double kGroupedCornerRadius = 8;
constexpr double kCellTextInset = 10;
constexpr double kAccessoryWidth = 20;

UIColor separatorColor() { return UIColor::colorWithWhiteAlpha(0.78, 1); }

}  // namespace

UITableViewCell::UITableViewCell(UITableViewCellStyle style, std::string reuseIdentifier)
    : UIView(CGRectMake(0, 0, 320, 44)), style_(style), reuseIdentifier_(std::move(reuseIdentifier)) {
    contentView_ = std::make_shared<UIView>(bounds());
    textLabel_ = std::make_shared<UILabel>();
    textLabel_->setFont(UIFont::boldSystemFontOfSize(17));
    contentView_->addSubview(textLabel_);
    if (style_ != UITableViewCellStyleDefault) {
        detailTextLabel_ = std::make_shared<UILabel>();
        detailTextLabel_->setFont(UIFont::systemFontOfSize(style_ == UITableViewCellStyleSubtitle ? 14 : 17));
        if (style_ == UITableViewCellStyleValue1) {
            detailTextLabel_->setTextAlignment(NSTextAlignmentRight);
            detailTextLabel_->setTextColor(UIColor::colorWithRedGreenBlueAlpha(0.22, 0.33, 0.53, 1));
        }
        if (style_ == UITableViewCellStyleSubtitle) detailTextLabel_->setTextColor(UIColor::grayColor());
        contentView_->addSubview(detailTextLabel_);
    }
    if (style_ == UITableViewCellStyleValue2) {
        textLabel_->setFont(UIFont::boldSystemFontOfSize(12));
        textLabel_->setTextAlignment(NSTextAlignmentRight);
        textLabel_->setTextColor(UIColor::colorWithRedGreenBlueAlpha(0.32, 0.4, 0.57, 1));
    }
}

void UITableViewCell::attachContentView() {
    if (contentView_->superview().get() != this && !weak_from_this().expired()) insertSubviewAtIndex(contentView_, 0);
}

const std::shared_ptr<UIView>& UITableViewCell::contentView() {
    attachContentView();
    return contentView_;
}

void UITableViewCell::setAccessoryType(UITableViewCellAccessoryType type) {
    accessoryType_ = type;
    setNeedsLayout();
    setNeedsDisplay();
}

void UITableViewCell::layoutSubviews() {
    attachContentView();
    const CGRect b = bounds();
    const double accessory = accessoryType_ == UITableViewCellAccessoryNone ? 0 : kAccessoryWidth;
    contentView_->setFrame(CGRectMake(0, 0, std::max(0.0, b.size.width - accessory), b.size.height));
    const double width = std::max(0.0, contentView_->bounds().size.width - 2 * kCellTextInset);
    const double height = b.size.height;
    switch (style_) {
    case UITableViewCellStyleDefault:
        textLabel_->setFrame(CGRectMake(kCellTextInset, 0, width, height));
        break;
    case UITableViewCellStyleValue1:
        textLabel_->setFrame(CGRectMake(kCellTextInset, 0, width / 2, height));
        detailTextLabel_->setFrame(CGRectMake(kCellTextInset + width / 2, 0, width / 2, height));
        break;
    case UITableViewCellStyleValue2: {
        const double labelWidth = std::min(67.0, width);
        textLabel_->setFrame(CGRectMake(kCellTextInset, 0, labelWidth, height));
        detailTextLabel_->setFrame(
            CGRectMake(kCellTextInset + labelWidth + 6, 0, std::max(0.0, width - labelWidth - 6), height));
        break;
    }
    case UITableViewCellStyleSubtitle:
        textLabel_->setFrame(CGRectMake(kCellTextInset, 2, width, height * 0.55));
        detailTextLabel_->setFrame(CGRectMake(kCellTextInset, height * 0.55, width, height * 0.4));
        break;
    }
}

void UITableViewCell::drawRect(CGRect) {
    if (accessoryType_ == UITableViewCellAccessoryNone) return;
    const CGRect b = bounds();
    const CGRect box = CGRectMake(b.origin.x + b.size.width - kAccessoryWidth - 4, b.origin.y, kAccessoryWidth, b.size.height);
    const char* glyph = accessoryType_ == UITableViewCellAccessoryCheckmark ? "\u2713" : "\u203A";
    drawTextInRect(glyph, box, UIFont::boldSystemFontOfSize(17), UIColor::grayColor(), NSTextAlignmentCenter);
}

UITableView::UITableView(CGRect frame, UITableViewStyle style) : UIScrollView(frame), style_(style) {
    setBackgroundColor(style_ == UITableViewStyleGrouped ? UIColor::colorWithRedGreenBlueAlpha(0.94, 0.94, 0.96, 1)
                                                         : UIColor::whiteColor());
    setAlwaysBounceVertical(true);
}

void UITableView::clearCells() {
    for (const Section& section : sections_) {
        for (const auto& cell : section.cells) {
            if (cell->superview().get() == this) cell->removeFromSuperview();
        }
    }
    sections_.clear();
}

void UITableView::reloadData() {
    assertMainThread("UITableView::reloadData");
    clearCells();
    const auto source = dataSource_.lock();
    const auto delegate = delegate_.lock();
    const long sectionCount = source ? std::max(0L, source->numberOfSectionsInTableView(*this)) : 0;
    const bool grouped = style_ == UITableViewStyleGrouped;
    for (long s = 0; s < sectionCount; ++s) {
        Section section;
        section.title = source->titleForHeaderInSection(*this, s);
        const double defaultHeader = grouped ? (section.title.empty() ? 10 : 38) : (section.title.empty() ? 0 : 22);
        const std::optional<double> header = delegate ? delegate->heightForHeaderInSection(*this, s) : std::nullopt;
        const std::optional<double> footer = delegate ? delegate->heightForFooterInSection(*this, s) : std::nullopt;
        section.headerHeight = std::max(0.0, header.value_or(defaultHeader));
        section.footerHeight = std::max(0.0, footer.value_or(grouped ? 10 : 0));
        const long rows = std::max(0L, source->numberOfRowsInSection(*this, s));
        for (long r = 0; r < rows; ++r) {
            const NSIndexPath path{s, r};
            const double height = delegate ? delegate->heightForRowAtIndexPath(*this, path) : rowHeight_;
            section.rowHeights.push_back(std::max(0.0, height));
            auto cell = source->cellForRowAtIndexPath(*this, path);
            // A data source that answers no cell gets an empty row rather than a crash.
            if (!cell) cell = std::make_shared<UITableViewCell>(UITableViewCellStyleDefault, "");
            section.cells.push_back(std::move(cell));
        }
        sections_.push_back(std::move(section));
    }
    for (const Section& section : sections_) {
        for (const auto& cell : section.cells) {
            cell->contentView();
            addSubview(cell);
        }
    }
    placeRows();
    setNeedsDisplay();
}

void UITableView::placeRows() {
    const double width = bounds().size.width;
    placedWidth_ = width;
    const double inset = style_ == UITableViewStyleGrouped ? kGroupedInset : 0;
    const double rowWidth = std::max(0.0, width - 2 * inset);
    double y = 0;
    for (Section& section : sections_) {
        section.header = CGRectMake(inset, y, rowWidth, section.headerHeight);
        y += section.headerHeight;
        const double top = y;
        section.rows.clear();
        for (std::size_t r = 0; r < section.cells.size(); ++r) {
            const CGRect row = CGRectMake(inset, y, rowWidth, section.rowHeights[r]);
            section.rows.push_back(row);
            section.cells[r]->setFrame(row);
            y += section.rowHeights[r];
        }
        section.rect = CGRectMake(inset, top, rowWidth, y - top);
        y += section.footerHeight;
    }
    setContentSize(CGSizeMake(width, y));
}

long UITableView::numberOfRowsInSection(long section) const {
    if (section < 0 || section >= numberOfSections()) return 0;
    return static_cast<long>(sections_[static_cast<std::size_t>(section)].cells.size());
}

std::shared_ptr<UITableViewCell> UITableView::cellForRowAtIndexPath(NSIndexPath path) const {
    if (path.row < 0 || path.row >= numberOfRowsInSection(path.section)) return nullptr;
    return sections_[static_cast<std::size_t>(path.section)].cells[static_cast<std::size_t>(path.row)];
}

CGRect UITableView::rectForSection(long section) const {
    if (section < 0 || section >= numberOfSections()) return CGRectZero;
    return sections_[static_cast<std::size_t>(section)].rect;
}

CGRect UITableView::rectForRowAtIndexPath(NSIndexPath path) const {
    if (path.row < 0 || path.row >= numberOfRowsInSection(path.section)) return CGRectZero;
    return sections_[static_cast<std::size_t>(path.section)].rows[static_cast<std::size_t>(path.row)];
}

std::optional<NSIndexPath> UITableView::indexPathForRowAtPoint(CGPoint point) const {
    for (std::size_t s = 0; s < sections_.size(); ++s) {
        for (std::size_t r = 0; r < sections_[s].rows.size(); ++r) {
            if (CGRectContainsPoint(sections_[s].rows[r], point)) return NSIndexPath{long(s), long(r)};
        }
    }
    return std::nullopt;
}

std::optional<NSIndexPath> UITableView::indexPathForCell(const UITableViewCell& cell) const {
    for (std::size_t s = 0; s < sections_.size(); ++s) {
        for (std::size_t r = 0; r < sections_[s].cells.size(); ++r) {
            if (sections_[s].cells[r].get() == &cell) return NSIndexPath{long(s), long(r)};
        }
    }
    return std::nullopt;
}

void UITableView::selectRowAtIndexPath(NSIndexPath path) {
    if (path.row < 0 || path.row >= numberOfRowsInSection(path.section)) return;
    if (const auto delegate = delegate_.lock()) delegate->didSelectRowAtIndexPath(*this, path);
}

void UITableView::setBackgroundView(std::shared_ptr<UIView> view) {
    if (backgroundView_ && backgroundView_->superview().get() == this) backgroundView_->removeFromSuperview();
    backgroundView_ = std::move(view);
    if (backgroundView_) {
        backgroundView_->setFrame(bounds());
        insertSubviewAtIndex(backgroundView_, 0);
    }
    setNeedsDisplay();
}

void UITableView::setSeparatorStyle(UITableViewCellSeparatorStyle style) {
    separatorStyle_ = style;
    setNeedsDisplay();
}

void UITableView::setSeparatorInset(UIEdgeInsets insets) { separatorInset_ = insets; }

void UITableView::layoutSubviews() {
    if (backgroundView_) backgroundView_->setFrame(bounds());
    if (bounds().size.width != placedWidth_) {
        placeRows();
        setNeedsDisplay();
    }
}

// Sections' boxes and titles lie under the cells, which draw no background
// of their own unless given one; a background view hides them.
void UITableView::drawRect(CGRect) {
    if (backgroundView_) return;
    CGContextRef context = UIGraphicsGetCurrentContext();
    const bool grouped = style_ == UITableViewStyleGrouped;
    const bool separators = separatorStyle_ != UITableViewCellSeparatorStyleNone;
    for (const Section& section : sections_) {
        if (!section.title.empty()) {
            CGRect title = section.header;
            title.origin.x += kCellTextInset;
            title.size.width = std::max(0.0, title.size.width - kCellTextInset);
            drawTextInRect(section.title, title, UIFont::boldSystemFontOfSize(15),
                           UIColor::colorWithRedGreenBlueAlpha(0.3, 0.34, 0.42, 1), NSTextAlignmentLeft);
        }
        if (section.rows.empty()) continue;
        if (grouped) {
            CGContextSetFillColorWithColor(context, UIColor::whiteColor().CGColor());
            CGContextSetStrokeColorWithColor(context, separatorColor().CGColor());
            CGRect box = section.rect;
            box.origin.x += 0.5;
            box.origin.y += 0.5;
            box.size.width -= 1;
            box.size.height -= 1;
            auto path = UIBezierPath::bezierPathWithRoundedRectCornerRadius(box, kGroupedCornerRadius);
            path.fill();
            if (separators) path.stroke();
        }
    }
}

// Drawn on every rendering, after the cells: an opaque cell would hide a line
// drawn under it, and the cells are not redrawn when the table is.
void UITableView::drawOverSubviews(CGRect) {
    if (separatorStyle_ == UITableViewCellSeparatorStyleNone) return;
    CGContextRef context = UIGraphicsGetCurrentContext();
    CGContextSaveGState(context);
    CGContextSetFillColorWithColor(context, separatorColor().CGColor());
    // One pixel of the picture, whatever its scale, as the phone's hairlines are.
    double pixelX = 0, pixelY = 1;
    cairo_device_to_user_distance(context->cairo(), &pixelX, &pixelY);
    const double hairline = std::min(1.0, std::hypot(pixelX, pixelY));
    // A grouped section's last row ends at the edge of its box.
    const bool grouped = style_ == UITableViewStyleGrouped;
    for (const Section& section : sections_) {
        const std::size_t lines = grouped && !section.rows.empty() ? section.rows.size() - 1 : section.rows.size();
        for (std::size_t r = 0; r < lines; ++r) {
            const CGRect row = section.rows[r];
            const double left = row.origin.x + separatorInset_.left;
            const double right = row.origin.x + row.size.width - separatorInset_.right;
            if (!(right > left)) continue;
            CGContextFillRect(context,
                              CGRectMake(left, row.origin.y + row.size.height - hairline, right - left, hairline));
        }
    }
    CGContextRestoreGState(context);
}

void UITableView::touchesEnded(const UITouchSet& touches, const UIEvent& event) {
    const auto touch = anyObject(touches);
    if (!touch) return;
    if (const auto path = indexPathForRowAtPoint(touch->locationInView(this))) selectRowAtIndexPath(*path);
}

}  // namespace platform
