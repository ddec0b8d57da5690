#include "cardscanner/form/ZeduVISectionBasedTableViewDelegate.h"

#include "platform/foundation/RunLoop.h"

namespace cardscanner {

long ZeduVISectionBasedTableViewDelegate::numberOfSectionsInTableView(platform::UITableView&) {
    platform::assertMainThread("ZeduVISectionBasedTableViewDelegate::numberOfSectionsInTableView");
    return static_cast<long>(sections_.size());
}

long ZeduVISectionBasedTableViewDelegate::numberOfRowsInSection(platform::UITableView&, long section) {
    platform::assertMainThread("ZeduVISectionBasedTableViewDelegate::numberOfRowsInSection");
    if (section < 0 || static_cast<std::size_t>(section) >= sections_.size() || !sections_[section]) return 0;
    return static_cast<long>(sections_[section]->rows().size());
}

std::shared_ptr<platform::UITableViewCell> ZeduVISectionBasedTableViewDelegate::cellForRowAtIndexPath(
    platform::UITableView& tableView, platform::NSIndexPath indexPath) {
    platform::assertMainThread("ZeduVISectionBasedTableViewDelegate::cellForRowAtIndexPath");
    if (indexPath.row < 0 || indexPath.row >= numberOfRowsInSection(tableView, indexPath.section)) return nullptr;
    return sections_[indexPath.section]->rows()[indexPath.row];
}

}  // namespace cardscanner
