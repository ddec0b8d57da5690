#include "platform/foundation/Json.h"

#include <nlohmann/json.hpp>

namespace platform {

namespace {

using json = nlohmann::json;

// Whether an array or object with `enclosing` containers around it is one
// too many; the reader and the writer both ask this.
bool nestsTooDeeply(std::size_t enclosing) { return enclosing >= kJsonMaxNesting; }

// Builds Values straight from the parser's events, in place: each value is
// put into its parent as soon as it starts, and the builder keeps pointers to
// the open containers. Those stay valid because a container only grows while
// it is the innermost open one, and no pointer to its elements is kept then.
class ValueBuilder final : public nlohmann::json_sax<json> {
public:
    bool null() override { return add(Value::null()) != nullptr; }
    bool boolean(bool b) override { return add(Value(b)) != nullptr; }
    bool number_integer(number_integer_t n) override { return add(Value(static_cast<long long>(n))) != nullptr; }
    bool number_unsigned(number_unsigned_t n) override {
        if (n <= static_cast<number_unsigned_t>(INT64_MAX)) return add(Value(static_cast<long long>(n))) != nullptr;
        return add(Value(static_cast<double>(n))) != nullptr;
    }
    bool number_float(number_float_t d, const string_t&) override { return add(Value(d)) != nullptr; }
    bool string(string_t& s) override { return add(Value(std::move(s))) != nullptr; }
    bool binary(binary_t&) override { return false; }
    bool start_object(std::size_t) override { return open(Value(Dictionary{})); }
    bool key(string_t& k) override {
        open_.back().key = std::move(k);
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override {
        // Text gives no size; most arrays of the bridge are short, so one
        // small reservation saves the first few regrowths.
        Array array;
        array.reserve(4);
        return open(Value(std::move(array)));
    }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) override {
        error_ = e.what();
        return false;
    }

    std::optional<Value> result;
    std::string error_;

private:
    struct Open {
        Value* container;
        std::string key;  // the pending member name, for dictionaries
    };

    bool open(Value container) {
        if (nestsTooDeeply(open_.size())) {
            error_ = "JSON text nests deeper than " + std::to_string(kJsonMaxNesting) + " levels";
            return false;
        }
        Value* placed = add(std::move(container));
        open_.push_back({placed, {}});
        return true;
    }
    bool close() {
        open_.pop_back();
        return true;
    }
    Value* add(Value value) {
        if (open_.empty()) {
            result = std::move(value);
            return &*result;
        }
        Open& parent = open_.back();
        if (Array* array = parent.container->array()) {
            array->push_back(std::move(value));
            return &array->back();
        }
        Value& slot = (*parent.container->dictionary())[parent.key];
        slot = std::move(value);
        return &slot;
    }

    std::vector<Open> open_;
};

struct WriteError {
    std::string text;
};

// `depth`: the arrays and dictionaries around `value`.
json toJson(const Value& value, std::size_t depth, JsonUnwritable unwritable) {
    if ((value.isArray() || value.isDictionary()) && nestsTooDeeply(depth))
        throw WriteError{"value nests deeper than " + std::to_string(kJsonMaxNesting) + " levels to be written as JSON"};
    switch (value.type()) {
    case Value::Type::Null: return nullptr;
    case Value::Type::Bool: return value.boolValue();
    case Value::Type::Integer: return value.integerValue();
    // nlohmann writes non-finite doubles as null, which is what we want.
    case Value::Type::Double: return value.doubleValue();
    case Value::Type::String: return *value.string();
    case Value::Type::Array: {
        json out = json::array();
        for (const Value& element : *value.array()) out.push_back(toJson(element, depth + 1, unwritable));
        return out;
    }
    case Value::Type::Dictionary: {
        json out = json::object();
        for (const auto& [key, member] : *value.dictionary()) out[key] = toJson(member, depth + 1, unwritable);
        return out;
    }
    case Value::Type::Nil:
    case Value::Type::Data:
    case Value::Type::Date: break;
    }
    if (unwritable == JsonUnwritable::WriteNull) return nullptr;
    static const char* const names[] = {"nil", "null", "bool", "integer", "double", "string", "data", "date"};
    throw WriteError{std::string("Invalid type in JSON write (") + names[static_cast<int>(value.type())] + ")"};
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The code unit of the escape "\uXXXX" at `at`, or -1 where there is none.
int escapedUnitAt(std::string_view text, std::size_t at) {
    if (at + 6 > text.size() || text[at] != '\\' || text[at + 1] != 'u') return -1;
    int unit = 0;
    for (std::size_t i = at + 2; i < at + 6; ++i) {
        const int digit = hexDigit(text[i]);
        if (digit < 0) return -1;
        unit = unit * 16 + digit;
    }
    return unit;
}

bool isHighSurrogate(int unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(int unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// JavaScript strings may hold a surrogate without its partner, and
// JSON.stringify writes one as its escape. nlohmann refuses the whole text
// for it, which would lose every other value beside it, so such escapes are
// read as U+FFFD, as a browser decodes them. Nothing is copied unless one is
// found. Every backslash of a valid text starts an escape, so escapes are
// found without following the strings; in an invalid text the parser fails
// anyway.
std::optional<std::string> withLoneSurrogatesReplaced(std::string_view text) {
    std::optional<std::string> replaced;
    std::size_t copied = 0;
    std::size_t next = 0;
    for (std::size_t at = text.find('\\'); at != std::string_view::npos; at = text.find('\\', next)) {
        next = at + 2;
        const int unit = escapedUnitAt(text, at);
        if (unit < 0) continue;
        next = at + 6;
        if (isHighSurrogate(unit) && isLowSurrogate(escapedUnitAt(text, at + 6))) {
            next = at + 12;
            continue;
        }
        if (!isHighSurrogate(unit) && !isLowSurrogate(unit)) continue;
        if (!replaced) replaced.emplace().reserve(text.size());
        replaced->append(text.substr(copied, at - copied)).append("\\ufffd");
        copied = at + 6;
    }
    if (replaced) replaced->append(text.substr(copied));
    return replaced;
}

}  // namespace

JsonReadResult readJson(std::string_view text, JsonReading mode) {
    JsonReadResult out;
    const std::optional<std::string> repaired = withLoneSurrogatesReplaced(text);
    if (repaired) text = *repaired;
    ValueBuilder builder;
    bool ok = false;
    try {
        ok = json::sax_parse(text.begin(), text.end(), &builder);
    } catch (const std::exception& e) {  // the SAX interface reports through parse_error; this is belt and braces
        builder.error_ = e.what();
    }
    if (!ok || !builder.result) {
        out.error = builder.error_.empty() ? "JSON text could not be read" : builder.error_;
        return out;
    }
    if (mode == JsonReading::Strict && !builder.result->isArray() && !builder.result->isDictionary()) {
        out.error = "JSON text did not start with array or object and option to allow fragments not set.";
        return out;
    }
    out.value = std::move(builder.result);
    return out;
}

JsonWriteResult writeJson(const Value& value, JsonWriting mode, JsonUnwritable unwritable) {
    JsonWriteResult out;
    try {
        const json document = toJson(value, 0, unwritable);
        const int indent = mode == JsonWriting::Pretty ? 2 : -1;
        // Invalid UTF-8 in a string is replaced rather than failing the whole text.
        out.text = document.dump(indent, ' ', false, json::error_handler_t::replace);
    } catch (const WriteError& e) {
        out.error = e.text;
    } catch (const std::exception& e) {
        out.error = e.what();
    }
    return out;
}

std::string javaScriptStringLiteral(const std::string& text) {
    std::string literal = writeJson(Value(text)).text.value_or("\"\"");
    auto replaceAll = [&literal](std::string_view from, std::string_view to) {
        for (std::size_t at = literal.find(from); at != std::string::npos; at = literal.find(from, at + to.size()))
            literal.replace(at, from.size(), to);
    };
    replaceAll("</", "<\\/");
    replaceAll("\xE2\x80\xA8", "\\u2028");
    replaceAll("\xE2\x80\xA9", "\\u2029");
    return literal;
}

}  // namespace platform
