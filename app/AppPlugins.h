#pragma once
// The app's plugin list: the one place where plugin classes become known
// by the names config.xml gives them.

namespace app {

// Registers every plugin class the plugins' folders list, by class name.
// Defined in a source that the build writes (app/CMakeLists.txt).
void registerAppPlugins();

}  // namespace app
