// Reading config.xml: plugins, start-up plugins, preferences, access origins
// and the start page, and what a broken file does.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "hybrid/HYBConfigParser.h"
#include "platform/foundation/AssertionFailure.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/XMLParser.h"

using hybrid::HYBConfigParser;
using platform::Value;

namespace {

const std::vector<std::string> kSeededOrigins{"file:///*", "content:///*", "data:///*"};

// Parses the text as the container parses the bundle's file.
void parseInto(HYBConfigParser& configParser, const std::string& text) {
    auto parser = platform::XMLParser::createWithData(platform::Data(text.begin(), text.end()));
    ASSERT_TRUE(parser);
    parser->setDelegate(&configParser);
    parser->parse();
}

std::string widget(const std::string& body) {
    return "<?xml version='1.0' encoding='utf-8'?>\n<widget id=\"com.example.app\">\n" + body + "</widget>\n";
}

}  // namespace

TEST(ConfigParser, FeaturesMapLowerCasedServicesToClassNames) {
    HYBConfigParser configParser;
    parseInto(configParser, widget(R"(
    <feature name="Device"><param name="ios-package" value="HYBDevice"/></feature>
    <feature name="NetworkStatus">
        <param name="IOS-Package" value="HYBConnection" />
    </feature>
    <feature name="Other"><param name="android-package" value="org.example.Other"/></feature>
    <param name="ios-package" value="HYBOutsideAnyFeature" onload="true"/>
)"));
    EXPECT_EQ(configParser.pluginsDict(),
              (std::map<std::string, std::string>{{"device", "HYBDevice"}, {"networkstatus", "HYBConnection"}}));
    EXPECT_TRUE(configParser.startupPluginNames().empty());
}

TEST(ConfigParser, StartupPluginsAreMarkedByAnOnloadParamOrAttribute) {
    HYBConfigParser configParser;
    parseInto(configParser, widget(R"(
    <feature name="Shouted"><param name="onload" value="TRUE"/></feature>
    <feature name="ByValue"><param name="onload" value="true"/></feature>
    <feature name="ByAttribute"><param name="ios-package" value="HYBByAttribute" onload="TRUE"/></feature>
    <feature name="Twice">
        <param name="ios-package" value="HYBTwice" onload="true"/>
        <param name="OnLoad" value="true"/>
    </feature>
    <feature name="Off"><param name="ios-package" value="HYBOff" onload="false"/></feature>
    <feature name="Bare"><param onload="true"/></feature>
)"));
    EXPECT_EQ(configParser.startupPluginNames(),
              (std::vector<std::string>{"byvalue", "byattribute", "twice", "twice", "bare"}));
    EXPECT_EQ(configParser.pluginsDict().at("byattribute"), "HYBByAttribute");
}

TEST(ConfigParser, PreferencesOriginsAndStartPageKeepTheirTextsAsWritten) {
    HYBConfigParser configParser;
    EXPECT_EQ(configParser.whitelistHosts(), kSeededOrigins);
    EXPECT_FALSE(configParser.startPage().has_value());
    parseInto(configParser, widget(R"(
    <preference name="BackupWebStorage" value="Cloud"/>
    <preference name="DisallowOverscroll" value="false"/>
    <preference name="disallowoverscroll" value=" True "/>
    <Preference name="WrongCase" value="x"/>
    <access origin="https://*.Example.com/*"/>
    <access origin="http://*example.com"/>
    <content src="first.html"/><content src="main.html?x=1&amp;y=2"/>
)"));
    EXPECT_EQ(configParser.settings(),
              (platform::Dictionary{{"backupwebstorage", Value("Cloud")}, {"disallowoverscroll", Value(" True ")}}));
    std::vector<std::string> origins = kSeededOrigins;
    origins.insert(origins.end(), {"https://*.Example.com/*", "http://*example.com"});
    EXPECT_EQ(configParser.whitelistHosts(), origins);
    EXPECT_EQ(configParser.startPage(), "main.html?x=1&y=2");
}

TEST(ConfigParser, ElementsMissingAnAttributeAreSkippedWithOneLineEach) {
    platform::LogCapture capture;
    HYBConfigParser configParser;
    parseInto(configParser, widget(R"(
    <content src="index.html"/>
    <access/>
    <preference name="OnlyName"/>
    <preference value="only value"/>
    <feature name="Device"><feature/><param name="ios-package" value="HYBAfterNamelessFeature"/></feature>
    <feature name="Device"><param name="ios-package"/><param value="HYBDevice"/></feature>
    <content/>
    <preference name="Kept" value="yes"/>
)"));
    EXPECT_EQ(configParser.whitelistHosts(), kSeededOrigins);
    EXPECT_EQ(configParser.settings(), (platform::Dictionary{{"kept", Value("yes")}}));
    EXPECT_TRUE(configParser.pluginsDict().empty());
    EXPECT_EQ(configParser.startPage(), "index.html");
    EXPECT_EQ(capture.lines(), (std::vector<std::string>{
                                   "config.xml: ignoring <access> without an origin",
                                   "config.xml: ignoring <preference> without a name or value",
                                   "config.xml: ignoring <preference> without a name or value",
                                   "config.xml: ignoring <feature> without a name",
                                   "config.xml: ignoring <param> without a name or value",
                                   "config.xml: ignoring <param> without a name or value",
                                   "config.xml: ignoring <content> without a src",
                               }));
}

TEST(ConfigParser, MalformedXmlIsAFatalErrorNamingLineColumnAndReason) {
    HYBConfigParser configParser;
    try {
        parseInto(configParser, "<widget>\n  <preference name=\"A\" value=\"1\"/>\n  <feature name=\"x\">\n</widget>\n");
        FAIL() << "no failure for malformed XML";
    } catch (const platform::AssertionFailure& failure) {
        const std::string prefix = "config.xml parse error line 4 col ";
        const std::string description = failure.description();
        ASSERT_EQ(description.rfind(prefix, 0), 0u) << description;
        EXPECT_GT(std::stol(description.substr(prefix.size())), 0) << description;
        // libxml2's own words follow the position.
        EXPECT_NE(description.find(": Opening and ending tag mismatch: feature"), std::string::npos) << description;
    }
    for (const char* text : {"", "not xml at all", "<widget><a></b></widget>", "<widget>"}) {
        HYBConfigParser another;
        EXPECT_THROW(parseInto(another, text), platform::AssertionFailure) << text;
    }
}
