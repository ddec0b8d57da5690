#include "cardscanner/ZeduVISectionBasedTableViewDelegate.h"

namespace cardscanner {

long ZeduVISectionBasedTableViewDelegate::numberOfSectionsInTableView(platform::UITableView&) {
    return static_cast<long>(sections_.size());
}

long ZeduVISectionBasedTableViewDelegate::numberOfRowsInSection(platform::UITableView&, long section) {
    if (section < 0 || static_cast<std::size_t>(section) >= sections_.size() || !sections_[section]) return 0;
    return static_cast<long>(sections_[section]->rows().size());
}

std::shared_ptr<platform::UITableViewCell> ZeduVISectionBasedTableViewDelegate::cellForRowAtIndexPath(
    platform::UITableView& tableView, platform::NSIndexPath indexPath) {
    if (indexPath.row < 0 || indexPath.row >= numberOfRowsInSection(tableView, indexPath.section)) return nullptr;
    return sections_[indexPath.section]->rows()[indexPath.row];
}

}  // namespace cardscanner
