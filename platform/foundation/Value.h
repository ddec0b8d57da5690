#pragma once
// Value: the one dynamic value type of the system. Whatever the page sends over
// the bridge, JSON texts, property lists and config files hold is a Value.
//
// nil (no value at all) and null (the explicit null object) are kept apart,
// because the bridge treats them differently. Numbers remember whether they
// were made from a bool, an integer or a double. Dictionaries keep their keys
// in sorted order, so every text written from them is deterministic.
//
// A Value is a plain value: copying copies. Code that needs shared mutation
// (a batch being filled by another thread) holds an explicit shared object.
// Not thread-safe; a Value is owned by one thread at a time.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace platform {

class Value;

using Array = std::vector<Value>;
using Dictionary = std::map<std::string, Value>;
using Data = std::vector<std::uint8_t>;

// A point in time, as seconds since 1 January 2001 UTC (the platform's reference date).
struct Date {
    double sinceReferenceDate = 0;
    friend bool operator==(const Date&, const Date&) = default;
};

struct Null {
    friend bool operator==(const Null&, const Null&) = default;
};

class Value {
public:
    enum class Type { Nil, Null, Bool, Integer, Double, String, Data, Date, Array, Dictionary };

    Value() = default;  // nil
    Value(Null) : storage_(Null{}) {}
    Value(bool b) : storage_(b) {}
    Value(int i) : storage_(static_cast<std::int64_t>(i)) {}
    Value(long i) : storage_(static_cast<std::int64_t>(i)) {}
    Value(long long i) : storage_(static_cast<std::int64_t>(i)) {}
    Value(unsigned i) : storage_(static_cast<std::int64_t>(i)) {}
    Value(double d) : storage_(d) {}
    Value(const char* s) : storage_(std::string(s)) {}
    Value(std::string s) : storage_(std::move(s)) {}
    Value(std::string_view s) : storage_(std::string(s)) {}
    Value(Data d) : storage_(std::move(d)) {}
    Value(Date d) : storage_(d) {}
    Value(Array a) : storage_(std::move(a)) {}
    Value(Dictionary d) : storage_(std::move(d)) {}

    static Value null() { return Value(Null{}); }

    Type type() const { return static_cast<Type>(storage_.index()); }
    bool isNil() const { return type() == Type::Nil; }
    bool isNull() const { return type() == Type::Null; }
    bool isNumber() const { return type() == Type::Bool || type() == Type::Integer || type() == Type::Double; }
    bool isBool() const { return type() == Type::Bool; }
    bool isInteger() const { return type() == Type::Integer; }
    bool isDouble() const { return type() == Type::Double; }
    bool isString() const { return type() == Type::String; }
    bool isData() const { return type() == Type::Data; }
    bool isDate() const { return type() == Type::Date; }
    bool isArray() const { return type() == Type::Array; }
    bool isDictionary() const { return type() == Type::Dictionary; }

    // Typed access; the pointer is null when the value is of another type.
    const std::string* string() const { return std::get_if<std::string>(&storage_); }
    const Data* data() const { return std::get_if<Data>(&storage_); }
    const Date* date() const { return std::get_if<Date>(&storage_); }
    const Array* array() const { return std::get_if<Array>(&storage_); }
    Array* array() { return std::get_if<Array>(&storage_); }
    const Dictionary* dictionary() const { return std::get_if<Dictionary>(&storage_); }
    Dictionary* dictionary() { return std::get_if<Dictionary>(&storage_); }

    // The platform's readings. Numbers convert between flavours (doubles
    // truncate toward zero); strings are read leniently from their start:
    // leading white space, optional sign, then digits, stopping at the first
    // character that does not fit. Everything else reads as 0 / false.
    std::int64_t integerValue() const;
    int intValue() const;
    double doubleValue() const;
    // Strings: leading white space, optional sign and zeros, then "Y", "y",
    // "T", "t" or a digit 1-9 read as true. Numbers: non-zero is true.
    bool boolValue() const;

    // The string itself for strings; a number's text; "" for anything else.
    std::string stringValue() const;

    // Dictionary member, or nil when this is no dictionary or has no such key.
    const Value& operator[](const std::string& key) const;
    // Array element, or nil when out of range or no array.
    const Value& operator[](std::size_t index) const;
    std::size_t count() const;  // elements of an array or dictionary, else 0

    // A human-readable text for logs, in the manner of an object's description.
    std::string description() const;

    // Numbers compare by value across flavours (1 == 1.0 == true), as the platform's number objects do.
    friend bool operator==(const Value& a, const Value& b);

private:
    std::variant<std::monostate, Null, bool, std::int64_t, double, std::string, Data, Date, Array, Dictionary> storage_;
};

// Lenient readings of a text, shared with Value's own readings. `used`
// gets how many characters the number took (0 when it found none).
std::int64_t integerValueOfString(std::string_view text);
double doubleValueOfString(std::string_view text, std::size_t* used = nullptr);
bool boolValueOfString(std::string_view text);

}  // namespace platform
