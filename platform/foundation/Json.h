#pragma once
// JSON text <-> Value, through nlohmann-json. Never throws: a failure comes back
// as an error text beside an empty result.
//
// Reading: strict mode takes only an array or an object at top level (as the
// platform serializer does by default); fragment mode also takes a bare
// scalar. Integers that fit 64 bits stay integers, the rest become doubles.
// An escaped surrogate without its partner reads as U+FFFD, as browsers
// decode it, rather than failing the text.
//
// Writing: compact or pretty (two-space indent). Non-finite numbers are written
// as null, since JSON has no spelling for them. Data, dates and nil inside a
// container cannot be written and make the write fail.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

namespace platform {

// Arrays and objects nested deeper than this are refused, in reading and in
// writing alike, so that whatever one side writes the other reads: hostile
// input must not exhaust the stack of whoever later walks or destroys it.
inline constexpr std::size_t kJsonMaxNesting = 512;

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

// The text as a JavaScript string literal, quotes included, that nothing in the
// text can end: not a quote, a backslash, "</" inside an HTML script element,
// nor U+2028/U+2029 in engines that end lines there.
std::string javaScriptStringLiteral(const std::string& text);

}  // namespace platform
