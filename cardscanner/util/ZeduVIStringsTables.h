#pragma once
// The strings tables of resources/strings/, compiled into the library by the
// build (cardscanner/CMakeLists.txt writes their definition). Private to
// ZeduVILocalizedString.cpp.

#include <vector>

namespace cardscanner {

struct EmbeddedStringsTable {
    const char* language;  // the file's name without ".json"
    const char* json;      // the file's text
};

const std::vector<EmbeddedStringsTable>& embeddedStringsTables();

}  // namespace cardscanner
