#pragma once
// A static table: sections of ready-made cells served to a table view in the
// order given. The form builds its rows once and hands them over; nothing is
// reused or dequeued. Main thread only.

#include <memory>
#include <vector>

#include "platform/ui/TableView.h"

namespace cardscanner {

class ZeduVIRowBasedTableViewSection {
public:
    const std::vector<std::shared_ptr<platform::UITableViewCell>>& rows() const { return rows_; }
    void setRows(std::vector<std::shared_ptr<platform::UITableViewCell>> rows) { rows_ = std::move(rows); }

private:
    std::vector<std::shared_ptr<platform::UITableViewCell>> rows_;
};

class ZeduVISectionBasedTableViewDelegate : public platform::UITableViewDataSource,
                                            public platform::UITableViewDelegate {
public:
    const std::vector<std::shared_ptr<ZeduVIRowBasedTableViewSection>>& sections() const { return sections_; }
    void setSections(std::vector<std::shared_ptr<ZeduVIRowBasedTableViewSection>> sections) {
        sections_ = std::move(sections);
    }

    long numberOfSectionsInTableView(platform::UITableView& tableView) override;
    long numberOfRowsInSection(platform::UITableView& tableView, long section) override;
    // nullptr outside the sections' rows.
    std::shared_ptr<platform::UITableViewCell> cellForRowAtIndexPath(platform::UITableView& tableView,
                                                                     platform::NSIndexPath indexPath) override;

private:
    std::vector<std::shared_ptr<ZeduVIRowBasedTableViewSection>> sections_;
};

}  // namespace cardscanner
