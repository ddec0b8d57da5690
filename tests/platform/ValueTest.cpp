// Value's readings of strings and numbers, and JSON in and out.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/foundation/Json.h"
#include "platform/foundation/Value.h"

using namespace platform;

TEST(ValueReadings, BooleansOfStrings) {
    for (const char* yes : {"Y", "yes", "t", "True", "1", "9", "  +007", "-1", "\t\n y", "000T"})
        EXPECT_TRUE(Value(yes).boolValue()) << yes;
    for (const char* no : {"", "N", "no", "false", "0", "000", "+0", " ", "x1", "--1", "0.5"})
        EXPECT_FALSE(Value(no).boolValue()) << no;
}

TEST(ValueReadings, IntegersAndDoublesOfStrings) {
    EXPECT_EQ(Value("  42abc").integerValue(), 42);
    EXPECT_EQ(Value("-17").integerValue(), -17);
    EXPECT_EQ(Value("+5").integerValue(), 5);
    EXPECT_EQ(Value("abc").integerValue(), 0);
    EXPECT_EQ(Value("3.9").integerValue(), 3);
    EXPECT_EQ(Value("99999999999999999999").integerValue(), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(Value("-99999999999999999999").integerValue(), std::numeric_limits<std::int64_t>::min());

    EXPECT_DOUBLE_EQ(Value(" 2.5e3x").doubleValue(), 2500.0);
    EXPECT_DOUBLE_EQ(Value("-.5").doubleValue(), -0.5);
    EXPECT_DOUBLE_EQ(Value("7.").doubleValue(), 7.0);
    EXPECT_DOUBLE_EQ(Value("1e").doubleValue(), 1.0);
    EXPECT_DOUBLE_EQ(Value("inf").doubleValue(), 0.0);
    EXPECT_DOUBLE_EQ(Value("nan").doubleValue(), 0.0);
    EXPECT_DOUBLE_EQ(Value(".").doubleValue(), 0.0);
}

TEST(ValueReadings, NumbersConvertBetweenFlavours) {
    EXPECT_EQ(Value(3.99).integerValue(), 3);
    EXPECT_EQ(Value(-3.99).integerValue(), -3);
    EXPECT_EQ(Value(1e300).integerValue(), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(Value(std::nan("")).integerValue(), 0);
    EXPECT_EQ(Value(true).integerValue(), 1);
    EXPECT_TRUE(Value(0.1).boolValue());
    EXPECT_FALSE(Value(0).boolValue());
    EXPECT_EQ(Value(true).stringValue(), "1");
    EXPECT_EQ(Value(2.5).stringValue(), "2.5");
    EXPECT_EQ(Value(Array{}).integerValue(), 0);
    EXPECT_EQ(Value::null().stringValue(), "");
}

TEST(ValueEquality, NilAndNullDifferAndNumbersCompareByValue) {
    EXPECT_NE(Value(), Value::null());
    EXPECT_EQ(Value(1), Value(1.0));
    EXPECT_EQ(Value(true), Value(1));
    EXPECT_NE(Value(1), Value("1"));
    EXPECT_EQ(Value(Array{1, "a"}), Value(Array{1.0, "a"}));
    EXPECT_NE(Value(Dictionary{{"a", 1}}), Value(Dictionary{{"a", 2}}));
    EXPECT_TRUE(Value(Dictionary{{"a", 1}})["missing"].isNil());
    EXPECT_TRUE(Value(Array{1})[5].isNil());
    EXPECT_TRUE(Value("text")["key"].isNil());
}

TEST(JsonReading, StrictTakesContainersAndFragmentsTakeScalars) {
    EXPECT_TRUE(readJson("[1, 2]").value);
    EXPECT_TRUE(readJson(R"({"a": null})").value);
    auto scalar = readJson("\"text\"");
    EXPECT_FALSE(scalar.value);
    EXPECT_FALSE(scalar.error.empty());
    EXPECT_EQ(*readJson("\"text\"", JsonReading::AllowFragments).value, Value("text"));
    EXPECT_EQ(*readJson("null", JsonReading::AllowFragments).value, Value::null());
}

TEST(JsonReading, NumbersKeepTheirFlavour) {
    const Value v = *readJson("[1, -2, 2.5, true, 18446744073709551615]").value;
    EXPECT_TRUE(v[0].isInteger());
    EXPECT_EQ(v[1].integerValue(), -2);
    EXPECT_TRUE(v[2].isDouble());
    EXPECT_TRUE(v[3].isBool());
    EXPECT_TRUE(v[4].isDouble());  // beyond 64-bit signed integers
}

TEST(JsonReading, BadTextGivesAnErrorNeverACrash) {
    for (const char* text : {"", "[", "[1,]", "{\"a\"}", "[\"\xff\"]", "[1] trailing", "\x00", "{1: 2}"}) {
        auto result = readJson(text, JsonReading::AllowFragments);
        EXPECT_FALSE(result.value) << text;
        EXPECT_FALSE(result.error.empty()) << text;
    }
    const std::string deep(100000, '[');
    EXPECT_FALSE(readJson(deep).value);
    std::string nested;
    for (int i = 0; i < 300; ++i) nested += "[";
    for (int i = 0; i < 300; ++i) nested += "]";
    EXPECT_TRUE(readJson(nested).value);
}

TEST(JsonReading, ALoneSurrogateReadsAsTheReplacementCharacter) {
    auto result = readJson(R"(["a\ud800b", "\uDC00", "\ud83d\ude00", "\\ud800", "\ud800\ud83d\ude00", "\ud800"])");
    ASSERT_TRUE(result.value) << result.error;
    const Array& strings = *result.value->array();
    EXPECT_EQ(strings[0].stringValue(), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(strings[1].stringValue(), "\xEF\xBF\xBD");
    EXPECT_EQ(strings[2].stringValue(), "\xF0\x9F\x98\x80");
    EXPECT_EQ(strings[3].stringValue(), "\\ud800");  // an escaped backslash, then plain letters
    EXPECT_EQ(strings[4].stringValue(), "\xEF\xBF\xBD\xF0\x9F\x98\x80");
    EXPECT_EQ(strings[5].stringValue(), "\xEF\xBF\xBD");
}

TEST(JsonWriting, CompactPrettyAndWhatCannotBeWritten) {
    const Value v = Dictionary{{"b", Array{1, 2.5, "x\"y"}}, {"a", Value::null()}, {"c", true}};
    EXPECT_EQ(*writeJson(v).text, R"({"a":null,"b":[1,2.5,"x\"y"],"c":true})");
    EXPECT_NE(writeJson(v, JsonWriting::Pretty).text->find("\n  \"a\": null"), std::string::npos);
    EXPECT_EQ(*writeJson(Array{std::nan(""), INFINITY}).text, "[null,null]");
    EXPECT_EQ(*writeJson(Value("bare")).text, "\"bare\"");

    auto failed = writeJson(Array{Value(Data{1, 2})});
    EXPECT_FALSE(failed.text);
    EXPECT_NE(failed.error.find("data"), std::string::npos);
    EXPECT_FALSE(writeJson(Array{Value()}).text);
    EXPECT_EQ(*writeJson(Array{Value(Data{1}), Value(Date{})}, JsonWriting::Compact, JsonUnwritable::WriteNull).text,
              "[null,null]");
}

// Whatever one side takes, the other takes too, at the edge of the limit.
TEST(JsonNesting, ReaderAndWriterShareOneLimit) {
    auto nest = [](Value inner, std::size_t arrays) {
        for (; arrays > 0; --arrays) {
            Array outer;
            outer.push_back(std::move(inner));
            inner = Value(std::move(outer));
        }
        return inner;
    };
    for (std::size_t levels : {kJsonMaxNesting, kJsonMaxNesting + 1}) {
        const std::string text = std::string(levels - 1, '[') + "{}" + std::string(levels - 1, ']');
        const bool fits = levels <= kJsonMaxNesting;
        EXPECT_EQ(writeJson(nest(Dictionary{}, levels - 1)).text, fits ? std::optional(text) : std::nullopt) << levels;
        EXPECT_EQ(readJson(text).value.has_value(), fits) << levels;
    }
    // A scalar is no level of its own.
    EXPECT_TRUE(writeJson(nest(1, kJsonMaxNesting)).text);
    EXPECT_TRUE(readJson(std::string(kJsonMaxNesting, '[') + "1" + std::string(kJsonMaxNesting, ']')).value);
}

TEST(JsonWriting, RoundTripsStringsWithEscapesAndUnicode) {
    const Value v = Array{"line\nbreak\ttab\x01", "caf\xc3\xa9 \xf0\x9f\x98\x80", ""};
    EXPECT_EQ(*readJson(*writeJson(v).text).value, v);
}
