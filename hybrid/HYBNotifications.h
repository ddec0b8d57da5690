#pragma once
// Names of the bridge's notifications on the default notification centre.

namespace hybrid {

// Posted at each top-level page-load start; sender: the web view.
inline constexpr const char* HYBPluginResetNotification = "HYBPluginResetNotification";
// Posted when a page has finished loading; sender: the web view.
inline constexpr const char* HYBPageDidLoadNotification = "HYBPageDidLoadNotification";
// Carries a URL for the plugins' handleOpenURL.
inline constexpr const char* HYBPluginHandleOpenURLNotification = "HYBPluginHandleOpenURLNotification";
inline constexpr const char* HYBLocalNotification = "HYBLocalNotification";

}  // namespace hybrid
