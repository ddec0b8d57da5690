#include "cardscanner/analysis/ZeduVIReadCardInfo.h"

#include <utility>

namespace cardscanner {

std::shared_ptr<ZeduVIReadCardInfo> ZeduVIReadCardInfo::cardInfoWithNumber(std::string number,
                                                                           std::vector<int> xOffsets, int yOffset,
                                                                           unsigned expiryMonth, unsigned expiryYear) {
    return std::make_shared<ZeduVIReadCardInfo>(std::move(number), std::move(xOffsets), yOffset, expiryMonth,
                                                expiryYear);
}

ZeduVIReadCardInfo::ZeduVIReadCardInfo(std::string number, std::vector<int> xOffsets, int yOffset,
                                       unsigned expiryMonth, unsigned expiryYear)
    : number_(std::move(number)),
      xOffsets_(std::move(xOffsets)),
      yOffset_(yOffset),
      expiryMonth_(expiryMonth),
      expiryYear_(expiryYear) {}

}  // namespace cardscanner
