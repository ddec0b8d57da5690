#include "push/ZODReportType.h"

namespace push {

ZODReportType reportTypeForApplicationState(platform::UIApplicationState state) {
    switch (state) {
        case platform::UIApplicationState::Active: return ZODReportType::Active;
        case platform::UIApplicationState::Inactive: return ZODReportType::Inactive;
        case platform::UIApplicationState::Background: return ZODReportType::Background;
    }
    // A state value the platform may add later.
    return ZODReportType::Other;
}

}  // namespace push
