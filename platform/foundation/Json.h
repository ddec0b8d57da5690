#pragma once
// JSON text <-> Value, through nlohmann-json. Never throws: a failure comes back
// as an error text beside an empty result.
//
// Reading: strict mode takes only an array or an object at top level (as the
// platform serializer does by default); fragment mode also takes a bare
// scalar. Integers that fit 64 bits stay integers, the rest become doubles.
//
// Writing: compact or pretty (two-space indent). Non-finite numbers are written
// as null, since JSON has no spelling for them. Data, dates and nil inside a
// container cannot be written and make the write fail.

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

namespace platform {

enum class JsonReading { Strict, AllowFragments };
enum class JsonWriting { Compact, Pretty };
// What to do with nil, data and dates, which JSON cannot hold.
enum class JsonUnwritable { Fail, WriteNull };

struct JsonReadResult {
    std::optional<Value> value;  // empty on failure
    std::string error;           // the failure's description
};

struct JsonWriteResult {
    std::optional<std::string> text;  // empty on failure
    std::string error;
};

JsonReadResult readJson(std::string_view text, JsonReading mode = JsonReading::Strict);
JsonWriteResult writeJson(const Value& value, JsonWriting mode = JsonWriting::Compact,
                          JsonUnwritable unwritable = JsonUnwritable::Fail);

}  // namespace platform
