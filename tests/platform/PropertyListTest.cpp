#include "platform/foundation/PropertyList.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/platform/TemporaryDirectory.h"

using namespace platform;

namespace {

Value roundTrip(const Value& value, PropertyListFormat format) {
    std::optional<std::string> bytes = writePropertyList(value, format);
    if (!bytes) {
        ADD_FAILURE() << "write failed";
        return Value();
    }
    PropertyListReadResult result = readPropertyList(*bytes);
    if (!result.value) {
        ADD_FAILURE() << "read failed: " << result.error;
        return Value();
    }
    return *result.value;
}

class PropertyListFormats : public ::testing::TestWithParam<PropertyListFormat> {};

// A binary property list of one dictionary whose only key is `key` (the
// object bytes, marker included) and whose value is the integer 1.
std::string binaryDictionaryWithKey(const std::string& key) {
    std::string bytes = std::string("bplist00") + "\xd1\x01\x02" + key + "\x10\x01";
    const auto keyAt = static_cast<char>(11);
    const auto valueAt = static_cast<char>(11 + key.size());
    const auto tableAt = static_cast<char>(bytes.size());
    bytes += std::string{'\x08', keyAt, valueAt};
    // Trailer: offset and reference sizes 1, three objects, top object 0.
    bytes += std::string(6, '\0') + "\x01\x01" + std::string(7, '\0') + "\x03" + std::string(8, '\0') +
             std::string(7, '\0') + tableAt;
    return bytes;
}

// The key "\u00e9\u0000" in UTF-16: libplist itself aborts the process on it.
const std::string kKeyWithNul = binaryDictionaryWithKey(std::string("\x62\x00\xe9\x00\x00", 5));

}  // namespace

TEST_P(PropertyListFormats, RoundTripKeepsEveryTypeAndItsFlavour) {
    Data bytes;
    for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<std::uint8_t>(i));
    const Dictionary original{
        {"yes", true},
        {"no", false},
        {"zero", 0},
        {"answer", 42},
        {"minusOne", -1},
        {"min", static_cast<long long>(std::numeric_limits<std::int64_t>::min())},
        {"max", static_cast<long long>(std::numeric_limits<std::int64_t>::max())},
        {"tenth", 0.1},
        {"huge", 1e300},
        {"negative", -2.5},
        {"whole", 3.0},
        {"text", "a<b>&\"c\" \xC3\xA9\xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"empty", ""},
        {"bytes", bytes},
        {"noBytes", Data{}},
        {"list", Array{1, "two", Array{}, Dictionary{}}},
        {"nested", Dictionary{{"inner", Dictionary{{"deep", Array{true}}}}}},
    };

    const Value back = roundTrip(Value(original), GetParam());
    ASSERT_TRUE(back.isDictionary());
    EXPECT_EQ(back, Value(original));
    // Value's == treats 1, 1.0 and true alike, so the flavours need their own look.
    EXPECT_TRUE(back["yes"].isBool() && back["no"].isBool());
    EXPECT_TRUE(back["minusOne"].isInteger());
    EXPECT_EQ(back["min"].integerValue(), std::numeric_limits<std::int64_t>::min());
    EXPECT_TRUE(back["whole"].isDouble());
    EXPECT_TRUE(back["noBytes"].isData());
}

TEST_P(PropertyListFormats, DatesBeforeAndAfterTheReferenceDate) {
    for (double t : {0.0, 60.0, 700000000.0, -86400.0, -978307200.0}) {
        const Value back = roundTrip(Value(Date{t}), GetParam());
        ASSERT_TRUE(back.isDate()) << t;
        EXPECT_EQ(back.date()->sinceReferenceDate, t);
    }
}

TEST_P(PropertyListFormats, TextsThatAreNotUtf8AreRefused) {
    LogCapture capture;
    EXPECT_FALSE(writePropertyList(Value(Dictionary{{"bad", "a\xc3"}}), GetParam()));
    EXPECT_FALSE(writePropertyList(Value(Array{Dictionary{{"k\xff", 1}}}), GetParam()));
    EXPECT_TRUE(capture.contains("string with bytes that are not UTF-8 at root.bad"));
    EXPECT_TRUE(capture.contains("key with bytes that are not UTF-8 in root[0]"));
}

TEST_P(PropertyListFormats, NilAndNullCannotBeWritten) {
    LogCapture capture;
    EXPECT_FALSE(writePropertyList(Value(), GetParam()));
    EXPECT_FALSE(writePropertyList(Value::null(), GetParam()));
    EXPECT_FALSE(writePropertyList(Value(Dictionary{{"ok", 1}, {"bad", Value::null()}}), GetParam()));
    EXPECT_FALSE(writePropertyList(Value(Array{1, Value()}), GetParam()));
    // The log names where the offending value sits.
    EXPECT_TRUE(capture.contains("root.bad"));
    EXPECT_TRUE(capture.contains("root[1]"));
}

INSTANTIATE_TEST_SUITE_P(PropertyList, PropertyListFormats,
                         ::testing::Values(PropertyListFormat::Xml, PropertyListFormat::Binary),
                         [](const auto& info) { return info.param == PropertyListFormat::Xml ? "Xml" : "Binary"; });

TEST(PropertyListDates, BinaryKeepsMicrosecondsXmlWholeSeconds) {
    const Value later(Date{700000000.25});
    EXPECT_EQ(roundTrip(later, PropertyListFormat::Binary).date()->sinceReferenceDate, 700000000.25);
    EXPECT_EQ(roundTrip(later, PropertyListFormat::Xml).date()->sinceReferenceDate, 700000000.0);

    // Fractions before 2001 must keep their sign: -100.75 is not -99.25.
    EXPECT_EQ(roundTrip(Value(Date{-100.75}), PropertyListFormat::Binary).date()->sinceReferenceDate, -100.75);
}

TEST(PropertyListDates, OutOfRangeDatesAreRefused) {
    LogCapture capture;
    EXPECT_FALSE(writePropertyList(Value(Date{1e12})));
    EXPECT_FALSE(writePropertyList(Value(Date{std::numeric_limits<double>::quiet_NaN()})));
    EXPECT_TRUE(capture.contains("date out of range"));
}

TEST(PropertyListWrite, StringsWithNulAreRefusedRatherThanCut) {
    LogCapture capture;
    EXPECT_FALSE(writePropertyList(Value(std::string("a\0b", 3))));
    EXPECT_FALSE(writePropertyList(Value(Dictionary{{std::string("k\0", 2), 1}})));
}

TEST(PropertyListRead, HandWrittenXml) {
    const std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
    <key>Flag</key><true/>
    <key>Count</key><integer>-3</integer>
    <key>When</key><date>2001-01-01T00:01:00Z</date>
    <key>Blob</key><data>AAEC</data>
    <key>Items</key><array><string>a</string><real>0.5</real></array>
</dict>
</plist>)";
    PropertyListReadResult result = readPropertyList(xml);
    ASSERT_TRUE(result.value) << result.error;
    const Value& v = *result.value;
    EXPECT_TRUE(v["Flag"].isBool());
    EXPECT_EQ(v["Count"].integerValue(), -3);
    ASSERT_TRUE(v["When"].isDate());
    EXPECT_EQ(v["When"].date()->sinceReferenceDate, 60.0);
    EXPECT_EQ(v["Blob"], Value(Data{0, 1, 2}));
    EXPECT_EQ(v["Items"], Value(Array{"a", 0.5}));
}

TEST(PropertyListRead, GarbageGivesAnErrorNotAValue) {
    const std::string cases[] = {
        "",
        "hello, world",
        std::string("\x00\x01\x02\xff\xfe", 5),
        "bplist00",
        "bplist00\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff"
        "\xff\xff\xff\xff\xff\xff\xff\xff",
        "<?xml version=\"1.0\"?><plist><dict><key>a</key><string>unterminated",
        "<plist><integer>12</plist>",
    };
    for (const std::string& bytes : cases) {
        PropertyListReadResult result = readPropertyList(bytes);
        EXPECT_FALSE(result.value) << "accepted: " << bytes;
        EXPECT_FALSE(result.error.empty());
    }
}

TEST(PropertyListRead, BinaryKeysHoldingNulAreAnErrorNotAnAbort) {
    ASSERT_EQ(kKeyWithNul.size(), 53u);
    const std::string withNul[] = {kKeyWithNul, binaryDictionaryWithKey(std::string("\x53" "a\0b", 4)),
                                   binaryDictionaryWithKey(std::string("\x61\x00\x00", 3))};
    for (const std::string& bytes : withNul) {
        PropertyListReadResult result = readPropertyList(bytes);
        EXPECT_FALSE(result.value);
        EXPECT_EQ(result.error, "malformed property list: dictionary key with a NUL character");
    }
    // The same documents with clean keys read as usual.
    PropertyListReadResult clean = readPropertyList(binaryDictionaryWithKey(std::string("\x62\x00\xe9\x00\x21", 5)));
    ASSERT_TRUE(clean.value) << clean.error;
    EXPECT_EQ(*clean.value, Value(Dictionary{{"\xc3\xa9!", 1}}));
}

TEST(PropertyListRead, TruncatedAndCorruptedDocumentsNeverCrash) {
    const Value document(Dictionary{{"name", "x"}, {"list", Array{1, 2.5, true, Data{1, 2, 3}}},
                                    {"when", Date{12.5}}, {"child", Dictionary{{"k", "v"}}}});
    std::mt19937 random(1234);
    for (PropertyListFormat format : {PropertyListFormat::Binary, PropertyListFormat::Xml}) {
        const std::string bytes = *writePropertyList(document, format);
        for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
            PropertyListReadResult result = readPropertyList(std::string_view(bytes).substr(0, cut));
            EXPECT_TRUE(result.value || !result.error.empty());
        }
        for (int round = 0; round < 300; ++round) {
            std::string damaged = bytes;
            for (int flips = 0; flips < 4; ++flips)
                damaged[random() % damaged.size()] = static_cast<char>(random() & 0xff);
            PropertyListReadResult result = readPropertyList(damaged);
            EXPECT_TRUE(result.value || !result.error.empty());
        }
    }
}

TEST(PropertyListFile, WriteThenReadBothForms) {
    testing_support::TemporaryDirectory folder;
    const Value value(Dictionary{{"a", 1}, {"b", Array{"x"}}});
    for (PropertyListFormat format : {PropertyListFormat::Xml, PropertyListFormat::Binary}) {
        const std::string path = folder.file("settings.plist");
        ASSERT_TRUE(writePropertyListFile(value, path, format));
        PropertyListReadResult result = readPropertyListFile(path);
        ASSERT_TRUE(result.value) << result.error;
        EXPECT_EQ(*result.value, value);
    }
    // Replacing the file leaves no temporary files behind.
    EXPECT_EQ(folder.entryCount(), 1u);
}

TEST(PropertyListFile, FailuresNameThePath) {
    testing_support::TemporaryDirectory folder;
    PropertyListReadResult missing = readPropertyListFile(folder.file("absent.plist"));
    EXPECT_FALSE(missing.value);
    EXPECT_NE(missing.error.find("absent.plist"), std::string::npos);

    const std::string broken = folder.write("broken.plist", "not a plist at all");
    PropertyListReadResult garbage = readPropertyListFile(broken);
    EXPECT_FALSE(garbage.value);
    EXPECT_NE(garbage.error.find("broken.plist"), std::string::npos);

    LogCapture capture;
    EXPECT_FALSE(writePropertyListFile(Value(Dictionary{}), folder.file("no/such/folder/x.plist")));
    EXPECT_TRUE(capture.contains("no/such/folder/x.plist"));
}

TEST(PropertyListFile, FailedWriteKeepsTheOldFile) {
    testing_support::TemporaryDirectory folder;
    const std::string path = folder.file("keep.plist");
    ASSERT_TRUE(writePropertyListFile(Value(Dictionary{{"v", 1}}), path));
    LogCapture capture;
    EXPECT_FALSE(writePropertyListFile(Value(Dictionary{{"v", Value::null()}}), path));
    EXPECT_EQ(*readPropertyListFile(path).value, Value(Dictionary{{"v", 1}}));
    EXPECT_EQ(folder.entryCount(), 1u);
}

TEST(PropertyListFile, AnUnreadableFileLeavesDefaultsAndInfoEmpty) {
    testing_support::TemporaryDirectory folder;
    const std::string defaultsFile = folder.write("defaults.plist", kKeyWithNul);
    folder.write("App.app/Info.plist", kKeyWithNul);
    LogCapture capture;

    UserDefaults defaults(defaultsFile);
    EXPECT_TRUE(defaults.objectForKey("\xc3\xa9").isNil());
    defaults.setObject("after", 1);
    EXPECT_EQ(defaults.integerForKey("after"), 1);
    EXPECT_TRUE(capture.contains("UserDefaults: ignoring unreadable defaults file: " + defaultsFile +
                                 ": malformed property list: dictionary key with a NUL character"));

    EXPECT_TRUE(Bundle(folder.file("App.app")).infoDictionary().empty());
    EXPECT_TRUE(capture.contains("Bundle: cannot read Info.plist: "));
}
