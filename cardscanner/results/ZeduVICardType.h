#pragma once
// The card-type code of the scanner's records and form. The known types are
// character codes ('3', '4', ...), not a dense enumeration: records and the
// page keep the code as it is, so the values are part of the interface.

namespace cardscanner {

enum ZeduVICardType : int {
    ZeduVICardTypeUnrecognized = 0,
    // The digits so far fit more than one type.
    ZeduVICardTypeAmbiguous = 1,
    ZeduVICardTypeAmericanExpress = '3',
    ZeduVICardTypeVisa = '4',
    ZeduVICardTypeMasterCard = '5',
    ZeduVICardTypeDiscover = '6',
    ZeduVICardTypeJCB = 'J',
};

}  // namespace cardscanner
