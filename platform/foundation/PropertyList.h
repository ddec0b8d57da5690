#pragma once
// Property lists <-> Value, through libplist. Reads XML and binary forms;
// writes either. Never throws; failures come back empty with a log-ready text.

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

namespace platform {

enum class PropertyListFormat { Xml, Binary };

struct PropertyListReadResult {
    std::optional<Value> value;
    std::string error;
};

PropertyListReadResult readPropertyList(std::string_view bytes);
PropertyListReadResult readPropertyListFile(const std::string& path);
// Nil values cannot be written and make the write fail.
std::optional<std::string> writePropertyList(const Value& value, PropertyListFormat format = PropertyListFormat::Xml);
// Writes atomically (temporary file, then rename). Returns whether it worked.
bool writePropertyListFile(const Value& value, const std::string& path,
                           PropertyListFormat format = PropertyListFormat::Xml);

}  // namespace platform
