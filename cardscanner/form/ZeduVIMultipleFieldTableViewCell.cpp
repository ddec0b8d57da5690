#include "cardscanner/form/ZeduVIMultipleFieldTableViewCell.h"

#include <algorithm>
#include <cmath>

#include "cardscanner/form/ZeduVITableViewCell.h"
#include "platform/foundation/RunLoop.h"

namespace cardscanner {

namespace {

constexpr double kMargin = 10;
// Room around the label and the placeholder inside one field's column.
constexpr double kFitMargin = 21;

}  // namespace

ZeduVIMultipleFieldContentView::ZeduVIMultipleFieldContentView(platform::CGRect frame) : UIView(frame) {
    setAutoresizingMask(platform::UIViewAutoresizingFlexibleWidth | platform::UIViewAutoresizingFlexibleHeight);
}

void ZeduVIMultipleFieldContentView::setNumberOfFields(std::size_t count) {
    platform::assertMainThread("ZeduVIMultipleFieldContentView::setNumberOfFields");
    const long style = ZeduVITableViewCell::defaultCellStyle();
    while (textFields_.size() < count) {
        auto field = std::make_shared<platform::UITextField>();
        field->setFont(ZeduVITableViewCell::defaultDetailTextLabelFontForCellStyle(style));
        field->setTextColor(ZeduVITableViewCell::defaultDetailTextLabelColorForCellStyle(style));
        auto label = std::make_shared<platform::UILabel>();
        label->setFont(ZeduVITableViewCell::defaultTextLabelFontForCellStyle(style));
        label->setTextColor(ZeduVITableViewCell::defaultTextLabelColorForCellStyle(style));
        label->setHidden(hiddenLabels_);
        if (!textFields_.empty()) field->setTextAlignment(textFields_.front()->textAlignment());
        addSubview(label);
        addSubview(field);
        textFields_.push_back(std::move(field));
        labelViews_.push_back(std::move(label));
    }
    while (textFields_.size() > count) {
        textFields_.back()->removeFromSuperview();
        labelViews_.back()->removeFromSuperview();
        textFields_.pop_back();
        labelViews_.pop_back();
    }
    setNeedsLayout();
}

void ZeduVIMultipleFieldContentView::setLabels(const std::vector<std::string>& labels) {
    platform::assertMainThread("ZeduVIMultipleFieldContentView::setLabels");
    for (std::size_t i = 0; i < labelViews_.size(); ++i) labelViews_[i]->setText(i < labels.size() ? labels[i] : "");
}

void ZeduVIMultipleFieldContentView::setHiddenLabels(bool hidden) {
    platform::assertMainThread("ZeduVIMultipleFieldContentView::setHiddenLabels");
    hiddenLabels_ = hidden;
    for (const auto& label : labelViews_) label->setHidden(hidden);
    setNeedsLayout();
}

void ZeduVIMultipleFieldContentView::setTextAlignment(platform::NSTextAlignment alignment) {
    platform::assertMainThread("ZeduVIMultipleFieldContentView::setTextAlignment");
    for (const auto& field : textFields_) field->setTextAlignment(alignment);
    for (const auto& label : labelViews_) label->setTextAlignment(alignment);
}

void ZeduVIMultipleFieldContentView::setLabelWidth(double width) {
    platform::assertMainThread("ZeduVIMultipleFieldContentView::setLabelWidth");
    labelWidth_ = std::max(0.0, width);
    setNeedsLayout();
}

void ZeduVIMultipleFieldContentView::layoutSubviews() {
    platform::assertMainThread("ZeduVIMultipleFieldContentView::layoutSubviews");
    if (textFields_.empty()) return;
    const platform::CGRect area = bounds();
    const double columnWidth = std::floor(area.size.width / static_cast<double>(textFields_.size()));
    const double labelWidth = hiddenLabels_ ? 0 : labelWidth_;
    for (std::size_t i = 0; i < textFields_.size(); ++i) {
        const double x = area.origin.x + columnWidth * static_cast<double>(i) + kMargin;
        const double width = std::max(0.0, columnWidth - 2 * kMargin);
        const double shownLabel = std::min(labelWidth, width);
        labelViews_[i]->setFrame({{x, area.origin.y}, {shownLabel, area.size.height}});
        textFields_[i]->setFrame({{x + shownLabel, area.origin.y}, {width - shownLabel, area.size.height}});
    }
}

ZeduVIMultipleFieldTableViewCell::ZeduVIMultipleFieldTableViewCell()
    : ZeduVIMultipleFieldTableViewCell(ZeduVITableViewCell::defaultCellStyle(), std::string()) {}

ZeduVIMultipleFieldTableViewCell::ZeduVIMultipleFieldTableViewCell(platform::UITableViewCellStyle style,
                                                                   std::string reuseIdentifier)
    : UITableViewCell(style, std::move(reuseIdentifier)),
      fieldsView_(std::make_shared<ZeduVIMultipleFieldContentView>(contentView()->bounds())) {
    contentView()->addSubview(fieldsView_);
    setNumberOfFields(1);
}

void ZeduVIMultipleFieldTableViewCell::setNumberOfFields(std::size_t count) {
    platform::assertMainThread("ZeduVIMultipleFieldTableViewCell::setNumberOfFields");
    fieldsView_->setNumberOfFields(count);
    labels_.resize(count);
    fieldsView_->setLabels(labels_);
}

void ZeduVIMultipleFieldTableViewCell::setHiddenLabels(bool hidden) {
    platform::assertMainThread("ZeduVIMultipleFieldTableViewCell::setHiddenLabels");
    fieldsView_->setHiddenLabels(hidden);
}

void ZeduVIMultipleFieldTableViewCell::setTextAlignment(platform::NSTextAlignment alignment) {
    platform::assertMainThread("ZeduVIMultipleFieldTableViewCell::setTextAlignment");
    fieldsView_->setTextAlignment(alignment);
}

void ZeduVIMultipleFieldTableViewCell::setLabelWidth(double width) {
    platform::assertMainThread("ZeduVIMultipleFieldTableViewCell::setLabelWidth");
    fieldsView_->setLabelWidth(width);
}

bool ZeduVIMultipleFieldTableViewCell::textFitsInMultiFieldForLabel(const std::string& label,
                                                                  const std::string& placeholder, double fieldWidth) {
    const long style = ZeduVITableViewCell::defaultCellStyle();
    const double labelWidth =
        platform::sizeWithFont(label, ZeduVITableViewCell::defaultTextLabelFontForCellStyle(style)).width;
    const double placeholderWidth =
        platform::sizeWithFont(placeholder, ZeduVITableViewCell::defaultDetailTextLabelFontForCellStyle(style)).width;
    return labelWidth + placeholderWidth + kFitMargin < fieldWidth;
}

void ZeduVIMultipleFieldTableViewCell::layoutSubviews() {
    platform::assertMainThread("ZeduVIMultipleFieldTableViewCell::layoutSubviews");
    UITableViewCell::layoutSubviews();
    fieldsView_->setFrame(contentView()->bounds());
    fieldsView_->setLabels(labels_);
    fieldsView_->layoutIfNeeded();
}

}  // namespace cardscanner
