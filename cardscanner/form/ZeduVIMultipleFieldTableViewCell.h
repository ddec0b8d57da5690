#pragma once
// A form row of one or more text fields side by side, each with an optional
// label column before it. Main thread only.

#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/Context.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"

namespace cardscanner {

// The cell's content: labels and fields in equal columns, in the fonts and
// colours of ZeduVITableViewCell's default style.
class ZeduVIMultipleFieldContentView : public platform::UIView {
public:
    explicit ZeduVIMultipleFieldContentView(platform::CGRect frame = platform::CGRectZero);

    const std::vector<std::shared_ptr<platform::UITextField>>& textFields() const { return textFields_; }
    void setNumberOfFields(std::size_t count);
    void setLabels(const std::vector<std::string>& labels);
    void setHiddenLabels(bool hidden);
    void setTextAlignment(platform::NSTextAlignment alignment);
    double labelWidth() const { return labelWidth_; }
    void setLabelWidth(double width);

    void layoutSubviews() override;

private:
    std::vector<std::shared_ptr<platform::UITextField>> textFields_;
    std::vector<std::shared_ptr<platform::UILabel>> labelViews_;
    bool hiddenLabels_ = false;
    double labelWidth_ = 80;
};

class ZeduVIMultipleFieldTableViewCell : public platform::UITableViewCell {
public:
    // One field, default cell style of ZeduVITableViewCell.
    ZeduVIMultipleFieldTableViewCell();
    ZeduVIMultipleFieldTableViewCell(platform::UITableViewCellStyle style, std::string reuseIdentifier);

    std::size_t numberOfFields() const { return fieldsView_->textFields().size(); }
    // Adds fields (at the end) or removes the newest ones to match.
    void setNumberOfFields(std::size_t count);
    // The newest last.
    const std::vector<std::shared_ptr<platform::UITextField>>& textFields() const {
        return fieldsView_->textFields();
    }
    // One label text a field; shown after the next layout.
    std::vector<std::string>& labels() { return labels_; }
    void setHiddenLabels(bool hidden);
    void setTextAlignment(platform::NSTextAlignment alignment);
    void setLabelWidth(double width);
    const std::shared_ptr<ZeduVIMultipleFieldContentView>& fieldsView() const { return fieldsView_; }

    // Whether a field that width shows the label and the placeholder side by
    // side in the default style's fonts, with 21 points of margins.
    static bool textFitsInMultiFieldForLabel(const std::string& label, const std::string& placeholder,
                                             double fieldWidth);

    void layoutSubviews() override;

private:
    void setUp();
    std::shared_ptr<ZeduVIMultipleFieldContentView> fieldsView_;
    std::vector<std::string> labels_;
};

}  // namespace cardscanner
