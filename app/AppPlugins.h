#pragma once

namespace app {

// Registers every plugin class the plugins' folders list, by class name.
// Defined in a source that the build writes (app/CMakeLists.txt).
void registerAppPlugins();

}  // namespace app
