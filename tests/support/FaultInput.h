#pragma once
// Inputs that once broke the system, kept under tests/data/fault-inputs/ so
// that their regression tests run on a clean clone.

#include <fstream>
#include <iterator>
#include <string>

#include "platform/foundation/Value.h"

#ifndef HYBRID_SOURCE_DIR
#error "HYBRID_SOURCE_DIR names the source folder"
#endif

namespace testing_support {

inline std::string faultInputPath(const std::string& name) {
    return std::string(HYBRID_SOURCE_DIR) + "/tests/data/fault-inputs/" + name;
}

// The file's bytes; empty when it is missing.
inline platform::Data faultInput(const std::string& name) {
    std::ifstream file(faultInputPath(name), std::ios::binary);
    return platform::Data(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace testing_support
