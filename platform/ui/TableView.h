#pragma once
// A table: sections of rows, each row a cell the data source makes, laid out
// as subviews one under the other inside a scroll view. reloadData() asks the
// data source and delegate again and lays everything out at once (no cell
// reuse: every row's cell is made and kept until the next reload). In the
// grouped style each section is inset 10 points from the sides, drawn as a
// white rounded box under its header title. Separators are hairlines between
// rows drawn over the cells (which are often opaque), inset by the separator
// inset. A tap on a row asks the delegate's didSelectRowAtIndexPath.
//
// The data source and delegate are held weakly. Main thread only.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/View.h"

namespace platform {

enum UITableViewStyle : long { UITableViewStylePlain = 0, UITableViewStyleGrouped = 1 };

enum UITableViewCellStyle : long {
    UITableViewCellStyleDefault = 0,
    UITableViewCellStyleValue1 = 1,
    UITableViewCellStyleValue2 = 2,
    UITableViewCellStyleSubtitle = 3,
};

enum UITableViewCellSelectionStyle : long {
    UITableViewCellSelectionStyleNone = 0,
    UITableViewCellSelectionStyleBlue = 1,
    UITableViewCellSelectionStyleGray = 2,
};

enum UITableViewCellAccessoryType : long {
    UITableViewCellAccessoryNone = 0,
    UITableViewCellAccessoryDisclosureIndicator = 1,
    UITableViewCellAccessoryDetailDisclosureButton = 2,
    UITableViewCellAccessoryCheckmark = 3,
};

enum UITableViewCellSeparatorStyle : long {
    UITableViewCellSeparatorStyleNone = 0,
    UITableViewCellSeparatorStyleSingleLine = 1,
    UITableViewCellSeparatorStyleSingleLineEtched = 2,
};

struct NSIndexPath {
    long section = 0;
    long row = 0;
    static NSIndexPath indexPathForRowInSection(long row, long section) { return {section, row}; }
    friend bool operator==(const NSIndexPath&, const NSIndexPath&) = default;
};

// A row's view: a content view filling it (inset by the accessory), with a
// text label and, for the styles other than Default, a detail label.
class UITableViewCell : public UIView {
public:
    UITableViewCell(UITableViewCellStyle style, std::string reuseIdentifier);

    UITableViewCellStyle style() const { return style_; }
    const std::string& reuseIdentifier() const { return reuseIdentifier_; }
    const std::shared_ptr<UIView>& contentView();
    const std::shared_ptr<UILabel>& textLabel() const { return textLabel_; }
    // nullptr for the Default style.
    const std::shared_ptr<UILabel>& detailTextLabel() const { return detailTextLabel_; }
    UITableViewCellSelectionStyle selectionStyle() const { return selectionStyle_; }
    void setSelectionStyle(UITableViewCellSelectionStyle style) { selectionStyle_ = style; }
    UITableViewCellAccessoryType accessoryType() const { return accessoryType_; }
    void setAccessoryType(UITableViewCellAccessoryType type);

    void layoutSubviews() override;
    void drawRect(CGRect rect) override;
    bool isKindOfClass(const std::string& className) const override {
        return className == "UITableViewCell" || UIView::isKindOfClass(className);
    }

private:
    // A view cannot adopt subviews before it is shared, so the content view
    // joins the cell on first use.
    void attachContentView();

    UITableViewCellStyle style_;
    std::string reuseIdentifier_;
    std::shared_ptr<UIView> contentView_;
    std::shared_ptr<UILabel> textLabel_;
    std::shared_ptr<UILabel> detailTextLabel_;
    UITableViewCellSelectionStyle selectionStyle_ = UITableViewCellSelectionStyleBlue;
    UITableViewCellAccessoryType accessoryType_ = UITableViewCellAccessoryNone;
};

class UITableView;

class UITableViewDataSource {
public:
    virtual ~UITableViewDataSource() = default;
    virtual long numberOfSectionsInTableView(UITableView&) { return 1; }
    virtual long numberOfRowsInSection(UITableView& tableView, long section) = 0;
    virtual std::shared_ptr<UITableViewCell> cellForRowAtIndexPath(UITableView& tableView, NSIndexPath indexPath) = 0;
    // "": no header title.
    virtual std::string titleForHeaderInSection(UITableView&, long) { return {}; }
};

// Optional methods throughout; an empty answer means "does not respond" and
// the table's own default applies.
class UITableViewDelegate {
public:
    virtual ~UITableViewDelegate() = default;
    virtual double heightForRowAtIndexPath(UITableView&, NSIndexPath) { return 44; }
    virtual void didSelectRowAtIndexPath(UITableView&, NSIndexPath) {}
    virtual std::optional<double> heightForHeaderInSection(UITableView&, long) { return std::nullopt; }
    virtual std::optional<double> heightForFooterInSection(UITableView&, long) { return std::nullopt; }
};

class UITableView : public UIScrollView {
public:
    explicit UITableView(CGRect frame = CGRectZero, UITableViewStyle style = UITableViewStylePlain);

    UITableViewStyle style() const { return style_; }
    std::shared_ptr<UITableViewDataSource> dataSource() const { return dataSource_.lock(); }
    void setDataSource(std::weak_ptr<UITableViewDataSource> dataSource) { dataSource_ = std::move(dataSource); }
    std::shared_ptr<UITableViewDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<UITableViewDelegate> delegate) { delegate_ = std::move(delegate); }

    // Asks the data source for every cell and lays the table out now; the
    // content size follows. Without a data source the table is empty.
    void reloadData();
    long numberOfSections() const { return static_cast<long>(sections_.size()); }
    long numberOfRowsInSection(long section) const;
    // The laid-out cell, nullptr when there is none at that path.
    std::shared_ptr<UITableViewCell> cellForRowAtIndexPath(NSIndexPath indexPath) const;
    // In the table's content coordinates; CGRectZero when out of range.
    CGRect rectForSection(long section) const;
    CGRect rectForRowAtIndexPath(NSIndexPath indexPath) const;
    std::optional<NSIndexPath> indexPathForRowAtPoint(CGPoint point) const;
    std::optional<NSIndexPath> indexPathForCell(const UITableViewCell& cell) const;
    // Taps and the simulator select through this: the delegate hears of it.
    void selectRowAtIndexPath(NSIndexPath indexPath);

    // Fills the table behind its rows, sized to its bounds; nullptr: none.
    const std::shared_ptr<UIView>& backgroundView() const { return backgroundView_; }
    void setBackgroundView(std::shared_ptr<UIView> view);
    UITableViewCellSeparatorStyle separatorStyle() const { return separatorStyle_; }
    void setSeparatorStyle(UITableViewCellSeparatorStyle style);
    // Left and right insets of the separators from the rows' edges; by
    // default the line starts where the cells' text does.
    UIEdgeInsets separatorInset() const { return separatorInset_; }
    void setSeparatorInset(UIEdgeInsets insets);
    // Used when the delegate does not answer: 44; grouped headers 10 (38
    // with a title) and footers 10; plain headers 0 (22 with a title), footers 0.
    double rowHeight() const { return rowHeight_; }
    void setRowHeight(double height) { rowHeight_ = height; }

    void layoutSubviews() override;
    void drawRect(CGRect rect) override;
    void drawOverSubviews(CGRect rect) override;
    void touchesEnded(const UITouchSet& touches, const UIEvent& event) override;
    bool isKindOfClass(const std::string& className) const override {
        return className == "UITableView" || UIScrollView::isKindOfClass(className);
    }

private:
    struct Section {
        std::string title;
        double headerHeight = 0;
        double footerHeight = 0;
        std::vector<double> rowHeights;
        std::vector<std::shared_ptr<UITableViewCell>> cells;
        CGRect rect;  // the rows' box, content coordinates
        CGRect header;
        std::vector<CGRect> rows;
    };
    void clearCells();
    // Places the rows for the current width from the heights asked for last.
    void placeRows();
    double placedWidth_ = -1;

    UITableViewStyle style_;
    std::weak_ptr<UITableViewDataSource> dataSource_;
    std::weak_ptr<UITableViewDelegate> delegate_;
    std::vector<Section> sections_;
    std::shared_ptr<UIView> backgroundView_;
    UITableViewCellSeparatorStyle separatorStyle_ = UITableViewCellSeparatorStyleSingleLine;
    UIEdgeInsets separatorInset_{0, 10, 0, 0};
    double rowHeight_ = 44;
};

}  // namespace platform
