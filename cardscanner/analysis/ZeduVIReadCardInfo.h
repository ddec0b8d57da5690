#pragma once
// What the scan session read once it completed: the number, where its digits
// sit on the warped card, and the expiry date when one was read. Immutable;
// made on the capture queue, read anywhere.

#include <memory>
#include <string>
#include <vector>

namespace cardscanner {

class ZeduVIReadCardInfo {
public:
    static std::shared_ptr<ZeduVIReadCardInfo> cardInfoWithNumber(std::string number, std::vector<int> xOffsets,
                                                                  int yOffset, unsigned expiryMonth,
                                                                  unsigned expiryYear);

    ZeduVIReadCardInfo(std::string number, std::vector<int> xOffsets, int yOffset, unsigned expiryMonth,
                       unsigned expiryYear);

    // Digits only.
    const std::string& number() const { return number_; }
    // Left edge of each digit cell on the 428 x 270 card image.
    const std::vector<int>& xOffsets() const { return xOffsets_; }
    // Top row of the number stripe on the card image.
    int yOffset() const { return yOffset_; }
    // 0 when no date was read.
    unsigned expiryMonth() const { return expiryMonth_; }
    unsigned expiryYear() const { return expiryYear_; }

private:
    std::string number_;
    std::vector<int> xOffsets_;
    int yOffset_;
    unsigned expiryMonth_;
    unsigned expiryYear_;
};

}  // namespace cardscanner
