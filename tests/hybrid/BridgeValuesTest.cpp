// Commands, results and their texts: what crosses the bridge in both directions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "hybrid/HYBBase64.h"
#include "hybrid/HYBCollectionExtensions.h"
#include "hybrid/HYBDeviceExtension.h"
#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBJSONSerializing.h"
#include "hybrid/HYBPluginResult.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"

using namespace hybrid;
using platform::Array;
using platform::Data;
using platform::Dictionary;
using platform::Value;

namespace {

Value parse(const char* text) { return *platform::readJson(text, platform::JsonReading::AllowFragments).value; }

std::string encode(std::string_view bytes) {
    return hyb_base64EncodedString(Data(bytes.begin(), bytes.end()));
}

std::string decode(std::string_view text) {
    Data data = hyb_dataFromBase64String(text);
    return std::string(data.begin(), data.end());
}

}  // namespace

TEST(Base64, EncodesTheRfc4648VectorsOnOneLine) {
    EXPECT_EQ(encode(""), "");
    EXPECT_EQ(encode("f"), "Zg==");
    EXPECT_EQ(encode("fo"), "Zm8=");
    EXPECT_EQ(encode("foo"), "Zm9v");
    EXPECT_EQ(encode("foob"), "Zm9vYg==");
    EXPECT_EQ(encode("fooba"), "Zm9vYmE=");
    EXPECT_EQ(encode("foobar"), "Zm9vYmFy");
    const std::string long_(1000, '\xff');
    const std::string text = encode(long_);
    EXPECT_EQ(text.size(), 1336u);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(decode(text), long_);
}

TEST(Base64, DecodingSkipsEverythingOutsideTheAlphabet) {
    EXPECT_EQ(decode("Zm9v\r\nYmFy"), "foobar");
    EXPECT_EQ(decode(" Z m 9 v "), "foo");
    EXPECT_EQ(decode("Zm9vYmFy\n"), "foobar");
    EXPECT_EQ(decode("Zm9vYmFy="), "foobar");
    EXPECT_EQ(decode("Zm9vY"), "foo");    // one leftover character adds nothing
    EXPECT_EQ(decode("Zm9vYg"), "foob");  // two add one byte
    EXPECT_EQ(decode("Zm9vYmE"), "fooba");  // three add two
    EXPECT_EQ(decode("Zg==Zm8="), std::string("f\x06" "f"));  // text after padding keeps being decoded
    EXPECT_EQ(decode("\x80\xff!@#$"), "");
}

TEST(Base64, CFunctionsAllocateAndTerminate) {
    std::size_t length = 99;
    char* text = HYBBase64EncodeBytes("fo", 2, true, &length);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(length, 4u);
    EXPECT_STREQ(text, "Zm8=");
    std::free(text);

    unsigned char* bytes = HYBBase64DecodeBytes("Zm9vYmFy", HYBBase64LengthUpToNul, &length);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(std::memcmp(bytes, "foobar", 6), 0);
    std::free(bytes);

    bytes = HYBBase64DecodeBytes("Zm9vYmFy", 4, nullptr);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::memcmp(bytes, "foo", 3), 0);
    std::free(bytes);
}

TEST(InvokedUrlCommand, IsBuiltFromACommandArray) {
    auto command = HYBInvokedUrlCommand::commandFromJson(parse(R"([null, "Device", "getDeviceInfo", []])"));
    ASSERT_TRUE(command);
    EXPECT_FALSE(command->callbackId());
    EXPECT_EQ(command->className(), "Device");
    EXPECT_EQ(command->methodName(), "getDeviceInfo");
    EXPECT_TRUE(command->arguments().empty());

    command = HYBInvokedUrlCommand::commandFromJson(parse(R"(["Echo12", "echo", "say", [1, "two"]])"));
    ASSERT_TRUE(command);
    EXPECT_EQ(command->callbackId(), "Echo12");
    EXPECT_EQ(command->className(), "echo");  // case is kept; the lookup folds it
    EXPECT_EQ(command->arguments().size(), 2u);
}

TEST(InvokedUrlCommand, RejectsElementsOutsideTheCommandFormatWithALogLine) {
    platform::LogCapture log;
    for (const char* text : {R"("text")", R"([])", R"(["id", "S", "a"])", R"(["id", 5, "a", []])",
                             R"(["id", "S", null, []])", R"(["id", "S", "a", {}])", R"([7, "S", "a", []])"}) {
        EXPECT_FALSE(HYBInvokedUrlCommand::commandFromJson(parse(text))) << text;
    }
    EXPECT_EQ(log.count("ERROR: Dropped a command"), 7u);
}

TEST(InvokedUrlCommand, DecodesArrayBufferArgumentsAndLeavesTheRestAlone) {
    auto command = HYBInvokedUrlCommand::commandFromJson(parse(R"(["c", "S", "a", [
        {"HYBType": "ArrayBuffer", "data": "AAEC"},
        {"HYBType": "ArrayBuffer"},
        {"HYBType": "ArrayBuffer", "data": 42},
        [{"HYBType": "ArrayBuffer", "data": "AAEC"}],
        "AAEC"]])"));
    ASSERT_TRUE(command);
    const Array& args = command->arguments();
    ASSERT_TRUE(args[0].isData());
    EXPECT_EQ(*args[0].data(), (Data{0, 1, 2}));
    EXPECT_TRUE(args[1].isDictionary());
    EXPECT_TRUE(args[2].isDictionary());
    EXPECT_EQ(args[2]["data"], Value(42));
    EXPECT_TRUE(args[3].isArray());  // only top-level arguments are decoded
    EXPECT_EQ(args[4], Value("AAEC"));
}

TEST(InvokedUrlCommand, ArgumentAccessFallsBackToTheDefault) {
    HYBInvokedUrlCommand command(Array{Value(7), Value::null()}, std::nullopt, std::nullopt, std::nullopt);
    EXPECT_EQ(command.argumentAtIndexWithDefault(5, Value("d")), Value("d"));
    EXPECT_EQ(command.argumentAtIndexWithDefault(1, Value("d")), Value("d"));
    EXPECT_TRUE(command.argumentAtIndex(1).isNil());
    EXPECT_EQ(command.argumentAtIndexWithDefault(0, Value("d")), Value(7));
    EXPECT_EQ(command.argumentAtIndexWithDefaultAndClass(0, Value("d"), Value::Type::String), Value("d"));
    EXPECT_EQ(command.argumentAtIndexWithDefaultAndClass(0, Value("d"), Value::Type::Double), Value(7));
}

TEST(PluginResult, ArgumentsAsJsonIsTheMessageAlone) {
    EXPECT_EQ(HYBPluginResult().argumentsAsJSON(), "null");
    EXPECT_EQ(HYBPluginResult::resultWithStatusMessageAsString(1, "say \"hi\"")->argumentsAsJSON(), R"("say \"hi\"")");
    EXPECT_EQ(HYBPluginResult::resultWithStatusMessageAsInt(1, -12)->argumentsAsJSON(), "-12");
    EXPECT_EQ(HYBPluginResult::resultWithStatusMessageAsDouble(1, 2.5)->argumentsAsJSON(), "2.5");
    EXPECT_EQ(HYBPluginResult::resultWithStatusMessageAsBool(1, true)->argumentsAsJSON(), "true");
    EXPECT_EQ(HYBPluginResult::resultWithStatusMessageAsArray(1, Array{1, "a"})->argumentsAsJSON(), R"([1,"a"])");
    EXPECT_EQ(HYBPluginResult::resultWithStatusMessageToErrorObject(9, 3)->argumentsAsJSON(), R"({"code":3})");
    // JSON has no spelling for non-finite numbers; the page gets null instead of a broken script.
    EXPECT_EQ(HYBPluginResult::resultWithStatusMessageAsDouble(1, 1.0 / 0.0)->argumentsAsJSON(), "null");
}

TEST(PluginResult, TypedMessagesCarryBytesAndParts) {
    auto buffer = HYBPluginResult::resultWithStatusMessageAsArrayBuffer(1, Data{0, 1, 2});
    EXPECT_EQ(buffer->message(), Value(Dictionary{{"HYBType", "ArrayBuffer"}, {"data", "AAEC"}}));

    auto multipart = HYBPluginResult::resultWithStatusMessageAsMultipart(1, Array{Value(Data{0}), Value("s")});
    EXPECT_EQ(multipart->message()["HYBType"], Value("MultiPart"));
    const Value& parts = multipart->message()["messages"];
    ASSERT_EQ(parts.count(), 2u);
    EXPECT_EQ(parts[0], Value(Dictionary{{"HYBType", "ArrayBuffer"}, {"data", "AA=="}}));
    EXPECT_EQ(parts[1], Value("s"));
}

TEST(PluginResult, JsonTextAndLegacyCallbackTexts) {
    auto result = HYBPluginResult::resultWithStatusMessageAsString(HYBResultStatusOK, "x");
    result->setKeepCallbackAsBool(true);
    auto object = platform::readJson(*result->toJSONString()).value;
    ASSERT_TRUE(object);
    EXPECT_EQ((*object)["status"], Value(1));
    EXPECT_EQ((*object)["message"], Value("x"));
    EXPECT_EQ((*object)["keepCallback"], Value(true));

    const std::string success = result->toSuccessCallbackString("cb1");
    EXPECT_EQ(success.rfind("hybrid.callbackSuccess('cb1',{", 0), 0u);
    EXPECT_EQ(success.substr(success.size() - 3), "});");
    EXPECT_EQ(result->toErrorCallbackString("cb1").rfind("hybrid.callbackError('cb1',{", 0), 0u);

    EXPECT_EQ(HYBPluginResult().toSuccessCallbackString("c").find("(null)"), std::string::npos);
}

TEST(PluginResult, VerboseModeLogsTheTexts) {
    platform::LogCapture log;
    HYBPluginResult::setVerbose(true);
    HYBPluginResult::resultWithStatus(1)->toSuccessCallbackString("a");
    HYBPluginResult::setVerbose(false);
    HYBPluginResult::resultWithStatus(1)->toErrorCallbackString("a");
    EXPECT_TRUE(log.contains("PluginResult:toJSONString - {"));
    EXPECT_TRUE(log.contains("PluginResult toSuccessCallbackString: hybrid.callbackSuccess('a',"));
    EXPECT_FALSE(log.contains("toErrorCallbackString"));
}

TEST(PluginResult, StatusTexts) {
    EXPECT_EQ(HYBPluginResult::statusText(0), "No result");
    EXPECT_EQ(HYBPluginResult::statusText(5), "Malformed url");
    EXPECT_EQ(HYBPluginResult::statusText(9), "Error");
    EXPECT_EQ(HYBPluginResult::statusText(10), "");
}

TEST(JsonCategories, ReadAndWriteWithTheirLogLines) {
    platform::LogCapture log;
    EXPECT_EQ(*JSONString(Array{1, "a"}), R"([1,"a"])");
    EXPECT_NE(JSONString(Dictionary{{"k", 1}})->find('\n'), std::string::npos);  // pretty-printed
    EXPECT_FALSE(JSONString(Array{Value(Data{1})}));
    EXPECT_TRUE(log.contains("NSArray JSONString error: "));
    EXPECT_FALSE(JSONString(Dictionary{{"d", Value(platform::Date{})}}));
    EXPECT_TRUE(log.contains("NSDictionary JSONString error: "));

    EXPECT_FALSE(JSONObject("42"));
    EXPECT_FALSE(JSONObject("[1,"));
    EXPECT_EQ(log.count("NSString JSONObject error: "), 2u);
    EXPECT_EQ(*JSONFragment("42"), Value(42));
    EXPECT_EQ(*JSONObject(R"({"a":[true]})"), Value(Dictionary{{"a", Array{true}}}));
}

TEST(CollectionExtensions, QueueAndDefaultedAccess) {
    Array queue;
    EXPECT_TRUE(dequeue(queue).isNil());
    EXPECT_TRUE(queueHead(queue).isNil());
    enqueue(queue, 1);
    enqueue(queue, 2);
    EXPECT_EQ(queueHead(queue), Value(1));
    EXPECT_EQ(pop(queue), Value(1));
    EXPECT_EQ(dequeue(queue), Value(2));
    EXPECT_TRUE(queue.empty());

    const Array array{Value(1), Value::null(), Value()};
    EXPECT_EQ(objectAtIndex(array, 0, "d"), Value(1));
    EXPECT_EQ(objectAtIndex(array, 1, "d"), Value("d"));
    EXPECT_EQ(objectAtIndex(array, 2, "d"), Value("d"));
    EXPECT_EQ(objectAtIndex(array, 9, "d"), Value("d"));
}

TEST(CollectionExtensions, TypedDictionaryLookups) {
    const Dictionary d{{"n", 50}, {"s", "YES"}, {"neg", -4}, {"null", Value::null()}, {"arr", Array{}}, {"text", " 12x"}};
    EXPECT_TRUE(existsValue(d, "yes", "s"));
    EXPECT_FALSE(existsValue(d, "no", "s"));
    EXPECT_FALSE(existsValue(d, "50", "n"));
    EXPECT_FALSE(existsValue(d, "yes", "missing"));

    EXPECT_EQ(integerValueForKeyDefaultValue(d, "n", 3), 50);
    EXPECT_EQ(integerValueForKeyDefaultValue(d, "text", 3), 12);
    EXPECT_EQ(integerValueForKeyDefaultValue(d, "missing", 3), 3);
    EXPECT_EQ(integerValueForKeyDefaultValue(d, "null", 3), 3);
    EXPECT_EQ(integerValueForKeyDefaultValue(d, "arr", 3), 3);

    EXPECT_EQ(integerValueForKeyDefaultValueWithRange(d, "n", 3, {0, 10}), 10);
    EXPECT_EQ(integerValueForKeyDefaultValueWithRange(d, "missing", 3, {5, 10}), 5);
    EXPECT_EQ(integerValueForKeyDefaultValueWithRange(d, "neg", 3, {0, 10}), 10);  // unsigned clamp, kept on purpose

    bool isArray = false, isNull = false, isNumber = false, isString = true;
    EXPECT_TRUE(typeValueForKey(d, "n", &isArray, &isNull, &isNumber, &isString));
    EXPECT_TRUE(isNumber);
    EXPECT_FALSE(isString);
    isString = true;
    EXPECT_TRUE(typeValueForKey(d, "missing", nullptr, nullptr, nullptr, &isString));
    EXPECT_TRUE(isString);  // left as it was

    EXPECT_TRUE(valueForKeyIsArray(d, "arr"));
    EXPECT_TRUE(valueForKeyIsNull(d, "null"));
    EXPECT_TRUE(valueForKeyIsNumber(d, "n"));
    EXPECT_TRUE(valueForKeyIsString(d, "s"));
    EXPECT_FALSE(valueForKeyIsString(d, "missing"));

    const Dictionary lowered = dictionaryWithLowercaseKeys(Dictionary{{"AbC", 1}, {"abc", 2}, {"X", 3}});
    EXPECT_EQ(lowered.size(), 2u);
    EXPECT_EQ(lowered.at("x"), Value(3));
    EXPECT_EQ(lowered.at("abc"), Value(2));
}

TEST(DeviceExtension, TheInstallationIdentifierIsMadeOnceAndKept) {
    platform::UserDefaults defaults;
    const std::string first = uniqueAppInstanceIdentifier(defaults);
    EXPECT_EQ(first.size(), 36u);
    EXPECT_EQ(defaults.stringForKey("HYBUUID"), first);
    EXPECT_EQ(uniqueAppInstanceIdentifier(defaults), first);
}
