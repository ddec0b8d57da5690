#include "platform/foundation/Value.h"

#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>

namespace platform {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::size_t skipSpace(std::string_view text, std::size_t i = 0) {
    while (i < text.size() && isSpace(text[i])) ++i;
    return i;
}

const Value& nilValue() {
    static const Value nil;
    return nil;
}

std::string numberText(double d) {
    if (std::isnan(d)) return "nan";
    if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d);
    return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

std::int64_t clampToInt64(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 9.2233720368547758e18) return INT64_MAX;
    if (d <= -9.2233720368547758e18) return INT64_MIN;
    return static_cast<std::int64_t>(d);
}

void describe(const Value& value, std::string& out, int indent) {
    const std::string pad(static_cast<std::size_t>(indent) * 4, ' ');
    switch (value.type()) {
    case Value::Type::Nil: out += "(null)"; break;
    case Value::Type::Null: out += "<null>"; break;
    case Value::Type::String: out += *value.string(); break;
    case Value::Type::Data: {
        out += "{length = " + std::to_string(value.data()->size()) + "}";
        break;
    }
    case Value::Type::Date: out += numberText(value.date()->sinceReferenceDate); break;
    case Value::Type::Array: {
        out += "(\n";
        const Array& array = *value.array();
        for (std::size_t i = 0; i < array.size(); ++i) {
            out += pad + "    ";
            describe(array[i], out, indent + 1);
            if (i + 1 < array.size()) out += ",";
            out += "\n";
        }
        out += pad + ")";
        break;
    }
    case Value::Type::Dictionary: {
        out += "{\n";
        for (const auto& [key, member] : *value.dictionary()) {
            out += pad + "    " + key + " = ";
            describe(member, out, indent + 1);
            out += ";\n";
        }
        out += pad + "}";
        break;
    }
    default: out += value.stringValue(); break;
    }
}

}  // namespace

std::int64_t integerValueOfString(std::string_view text) {
    std::size_t i = skipSpace(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t result = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        const int digit = text[i] - '0';
        // Out-of-range texts saturate instead of wrapping, as the platform's reading does.
        if (!negative && result > (INT64_MAX - digit) / 10) return INT64_MAX;
        if (negative && result < (INT64_MIN + digit) / 10) return INT64_MIN;
        result = negative ? result * 10 - digit : result * 10 + digit;
    }
    return result;
}

double doubleValueOfString(std::string_view text, std::size_t* used) {
    if (used) *used = 0;
    std::size_t i = skipSpace(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // from_chars takes no sign and no leading white space, and it would accept
    // "inf" and "nan", which the platform's reading does not.
    const std::size_t start = i;
    auto digits = [&](std::size_t j) {
        while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
        return j;
    };
    std::size_t end = digits(i);
    bool any = end > start;
    if (end < text.size() && text[end] == '.') {
        const std::size_t fraction = digits(end + 1);
        any = any || fraction > end + 1;
        end = fraction;
    }
    if (!any) return 0;
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        std::size_t j = end + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        const std::size_t exponentEnd = digits(j);
        if (exponentEnd > j) end = exponentEnd;
    }
    if (used) *used = end;
    double result = 0;
    std::from_chars(text.data() + start, text.data() + end, result);
    return negative ? -result : result;
}

bool boolValueOfString(std::string_view text) {
    std::size_t i = skipSpace(text);
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    while (i < text.size() && text[i] == '0') ++i;
    if (i >= text.size()) return false;
    const char c = text[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

std::int64_t Value::integerValue() const {
    switch (type()) {
    case Type::Bool: return std::get<bool>(storage_) ? 1 : 0;
    case Type::Integer: return std::get<std::int64_t>(storage_);
    case Type::Double: return clampToInt64(std::get<double>(storage_));
    case Type::String: return integerValueOfString(*string());
    default: return 0;
    }
}

int Value::intValue() const {
    const std::int64_t value = integerValue();
    // Narrowing keeps the low bits, as a C cast of the platform's long to int does.
    return static_cast<int>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

double Value::doubleValue() const {
    switch (type()) {
    case Type::Bool: return std::get<bool>(storage_) ? 1.0 : 0.0;
    case Type::Integer: return static_cast<double>(std::get<std::int64_t>(storage_));
    case Type::Double: return std::get<double>(storage_);
    case Type::String: return doubleValueOfString(*string());
    default: return 0;
    }
}

bool Value::boolValue() const {
    switch (type()) {
    case Type::Bool: return std::get<bool>(storage_);
    case Type::Integer: return std::get<std::int64_t>(storage_) != 0;
    case Type::Double: return std::get<double>(storage_) != 0.0;
    case Type::String: return boolValueOfString(*string());
    default: return false;
    }
}

std::string Value::stringValue() const {
    switch (type()) {
    case Type::Bool: return std::get<bool>(storage_) ? "1" : "0";
    case Type::Integer: return std::to_string(std::get<std::int64_t>(storage_));
    case Type::Double: return numberText(std::get<double>(storage_));
    case Type::String: return *string();
    default: return {};
    }
}

const Value& Value::operator[](const std::string& key) const {
    if (const Dictionary* d = dictionary()) {
        auto it = d->find(key);
        if (it != d->end()) return it->second;
    }
    return nilValue();
}

const Value& Value::operator[](std::size_t index) const {
    if (const Array* a = array(); a && index < a->size()) return (*a)[index];
    return nilValue();
}

std::size_t Value::count() const {
    if (const Array* a = array()) return a->size();
    if (const Dictionary* d = dictionary()) return d->size();
    return 0;
}

std::string Value::description() const {
    std::string out;
    describe(*this, out, 0);
    return out;
}

bool operator==(const Value& a, const Value& b) {
    if (a.isNumber() && b.isNumber()) {
        if (a.isDouble() || b.isDouble()) return a.doubleValue() == b.doubleValue();
        return a.integerValue() == b.integerValue();
    }
    return a.storage_ == b.storage_;
}

}  // namespace platform
