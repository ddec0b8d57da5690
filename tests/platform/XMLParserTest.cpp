#include "platform/foundation/XMLParser.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "TemporaryDirectory.h"

using namespace platform;

namespace {

// Writes what it hears as one line per event; neighbouring character
// reports are joined, since libxml2 may split text anywhere.
class Recorder : public XMLParserDelegate {
public:
    void parserDidStartElementNamespaceURIQualifiedNameAttributes(
        XMLParser& parser, const std::string& elementName, const std::string& namespaceURI,
        const std::string& qualifiedName, const std::map<std::string, std::string>& attributes) override {
        std::string line = "<" + elementName;
        if (!namespaceURI.empty()) line += " {" + namespaceURI + "}";
        if (qualifiedName != elementName) line += " q=" + qualifiedName;
        for (const auto& [name, value] : attributes) line += " " + name + "=" + value;
        events.push_back(line);
        if (elementName == abortAt) parser.abortParsing();
    }
    void parserDidEndElementNamespaceURIQualifiedName(XMLParser&, const std::string& elementName,
                                                      const std::string&, const std::string&) override {
        events.push_back("/" + elementName);
    }
    void parserFoundCharacters(XMLParser&, const std::string& characters) override {
        if (!events.empty() && events.back().starts_with("'")) {
            events.back() += characters;
        } else {
            events.push_back("'" + characters);
        }
        characterCount += characters.size();
    }
    void parserParseErrorOccurred(XMLParser& parser, const Error& error) override {
        errors.push_back(error);
        errorLine = parser.lineNumber();
        errorColumn = parser.columnNumber();
    }

    std::vector<std::string> events;
    std::vector<Error> errors;
    std::size_t characterCount = 0;
    long errorLine = 0;
    long errorColumn = 0;
    std::string abortAt;
};

Data dataOf(const std::string& text) { return Data(text.begin(), text.end()); }

struct Parsed {
    bool ok;
    Recorder recorder;
    std::optional<Error> error;
};

Parsed parse(const std::string& text, const std::string& abortAt = "") {
    Parsed parsed{false, {}, std::nullopt};
    parsed.recorder.abortAt = abortAt;
    auto parser = XMLParser::createWithData(dataOf(text));
    parser->setDelegate(&parsed.recorder);
    parsed.ok = parser->parse();
    parsed.error = parser->parserError();
    return parsed;
}

using Events = std::vector<std::string>;

}  // namespace

TEST(XMLParserEvents, ReportsElementsAttributesAndTextInDocumentOrder) {
    const auto parsed = parse(
        "<?xml version='1.0' encoding='UTF-8'?>\n"
        "<!-- a comment -->\n"
        "<widget id=\"io.app\" version='1.0'><name>My &amp; app &#233;</name>"
        "<preference name=\"a\" value=\"x &lt; y &amp; &#x41;\"/><![CDATA[<raw>]]><?pi data?></widget>");
    ASSERT_TRUE(parsed.ok) << parsed.error->description();
    EXPECT_EQ(parsed.recorder.events,
              (Events{"<widget id=io.app version=1.0", "<name", "'My & app \xC3\xA9", "/name",
                      "<preference name=a value=x < y & A", "/preference", "'<raw>", "/widget"}));
    EXPECT_FALSE(parsed.error);
    EXPECT_TRUE(parsed.recorder.errors.empty());
}

TEST(XMLParserEvents, NamesAreReportedAsWrittenWithTheirNamespace) {
    const auto parsed = parse(
        "<widget xmlns=\"urn:example:hybrid:app\" xmlns:hyb=\"urn:example:hybrid:plugin\">"
        "<hyb:plugin hyb:name=\"Device\" plain=\"1\"/><feature/></widget>");
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.recorder.events,
              (Events{"<widget {urn:example:hybrid:app} xmlns=urn:example:hybrid:app "
                      "xmlns:hyb=urn:example:hybrid:plugin",
                      "<hyb:plugin {urn:example:hybrid:plugin} hyb:name=Device plain=1", "/hyb:plugin",
                      "<feature {urn:example:hybrid:app}", "/feature", "/widget"}));
}

TEST(XMLParserEvents, InternalEntitiesExpandInTextAndAttributes) {
    const auto parsed = parse(
        "<!DOCTYPE r [<!ENTITY who \"world\"><!ENTITY nested \"hello &who;\">]>"
        "<r a=\"&nested;!\">&nested; and &who;</r>");
    ASSERT_TRUE(parsed.ok) << parsed.error->description();
    EXPECT_EQ(parsed.recorder.events, (Events{"<r a=hello world!", "'hello world and world", "/r"}));
}

TEST(XMLParserErrors, ASyntaxErrorStopsTheParseWithLibxmlsCodeAndPosition) {
    const auto parsed = parse("<a>\n  <b>text</c>\n  <after/>\n</a>");
    EXPECT_FALSE(parsed.ok);
    ASSERT_TRUE(parsed.error);
    EXPECT_EQ(parsed.error->domain, "NSXMLParserErrorDomain");
    EXPECT_EQ(parsed.error->code, 76);  // XML_ERR_TAG_NAME_MISMATCH
    EXPECT_NE(parsed.error->localizedDescription.find("mismatch"), std::string::npos)
        << parsed.error->localizedDescription;
    EXPECT_NE(parsed.error->localizedDescription.back(), '\n');
    ASSERT_EQ(parsed.recorder.errors.size(), 1u);
    EXPECT_EQ(parsed.recorder.errors[0].code, 76);
    EXPECT_EQ(parsed.recorder.errorLine, 2);
    EXPECT_GT(parsed.recorder.errorColumn, 0);
    // Nothing is reported past the error.
    for (const auto& event : parsed.recorder.events) EXPECT_EQ(event.find("after"), std::string::npos);
}

TEST(XMLParserErrors, BrokenDocumentsAllFailWithOneErrorEach) {
    const char* documents[] = {
        "",
        "   ",
        "<a>",
        "<a></a><b/>",
        "<a b='1' b='2'/>",
        "<a>&undefined;</a>",
        "<p:a/>",  // an undeclared prefix
        "<a x=1/>",
        "<?xml version='1.0' encoding='no-such-encoding'?><a/>",
        "<a>\xFF\xFE</a>",
        "not xml at all",
        "<a><![CDATA[unterminated</a>",
    };
    for (const char* document : documents) {
        const auto parsed = parse(document);
        EXPECT_FALSE(parsed.ok) << document;
        ASSERT_TRUE(parsed.error) << document;
        EXPECT_EQ(parsed.error->domain, "NSXMLParserErrorDomain");
        EXPECT_NE(parsed.error->code, 0) << document;
        EXPECT_EQ(parsed.recorder.errors.size(), 1u) << document;
    }
    // Embedded NULs and random bytes are just more broken input.
    const auto binary = XMLParser::createWithData(Data{0x3c, 0x61, 0x00, 0x3e, 0x80, 0x00, 0xff});
    EXPECT_FALSE(binary->parse());
}

TEST(XMLParserErrors, AbortingFromADelegateStopsEverything) {
    const auto parsed = parse("<a><b/><stop/><c/>text</a>", "stop");
    EXPECT_FALSE(parsed.ok);
    ASSERT_TRUE(parsed.error);
    EXPECT_EQ(parsed.error->domain, "NSXMLParserErrorDomain");
    EXPECT_EQ(parsed.recorder.events, (Events{"<a", "<b", "/b", "<stop"}));
    EXPECT_TRUE(parsed.recorder.errors.empty());
}

// Config parsing turns a parse error into a fatal assertion, thrown from the
// delegate; it must come out of parse() with libxml2 cleaned up behind it.
TEST(XMLParserErrors, ADelegatesExceptionLeavesParseAndStopsIt) {
    struct Throwing : Recorder {
        void parserParseErrorOccurred(XMLParser& parser, const Error& error) override {
            Recorder::parserParseErrorOccurred(parser, error);
            throw std::runtime_error("line " + std::to_string(parser.lineNumber()));
        }
        void parserFoundCharacters(XMLParser& parser, const std::string& characters) override {
            Recorder::parserFoundCharacters(parser, characters);
            if (characters == "boom") throw std::logic_error("boom");
        }
    } delegate;
    auto broken = XMLParser::createWithData(dataOf("<a>\n<b></a>"));
    broken->setDelegate(&delegate);
    try {
        broken->parse();
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "line 2");
    }

    delegate.events.clear();
    auto text = XMLParser::createWithData(dataOf("<a>boom<after/></a>"));
    text->setDelegate(&delegate);
    EXPECT_THROW(text->parse(), std::logic_error);
    EXPECT_EQ(delegate.events, (Events{"<a", "'boom"}));
}

TEST(XMLParserErrors, AParserCanParseAgainAndRunsWithoutADelegate) {
    auto parser = XMLParser::createWithData(dataOf("<a>x</a>"));
    EXPECT_TRUE(parser->parse());
    Recorder recorder;
    parser->setDelegate(&recorder);
    EXPECT_TRUE(parser->parse());
    EXPECT_EQ(recorder.events, (Events{"<a", "'x", "/a"}));

    auto broken = XMLParser::createWithData(dataOf("<a>"));
    EXPECT_FALSE(broken->parse());
    EXPECT_TRUE(broken->parserError());
}

TEST(XMLParserSafety, ExternalEntitiesAndDTDsAreNeverRead) {
    testing_support::TemporaryDirectory folder;
    const std::string secret = folder.write("secret.txt", "TOP-SECRET");
    folder.write("evil.dtd", "<!ENTITY leak SYSTEM \"file://" + secret + "\">");
    const std::string documents[] = {
        "<!DOCTYPE r [<!ENTITY leak SYSTEM \"file://" + secret + "\">]><r>&leak;</r>",
        "<!DOCTYPE r [<!ENTITY leak SYSTEM \"" + secret + "\">]><r a=\"&leak;\">&leak;</r>",
        "<!DOCTYPE r [<!ENTITY % ext SYSTEM \"file://" + folder.file("evil.dtd") + "\"> %ext;]><r>&leak;</r>",
        "<!DOCTYPE r SYSTEM \"file://" + folder.file("evil.dtd") + "\"><r>&leak;</r>",
        "<r xmlns:xi=\"http://www.w3.org/2001/XInclude\"><xi:include href=\"" + secret + "\" parse=\"text\"/></r>",
    };
    for (const auto& document : documents) {
        const auto parsed = parse(document);
        for (const auto& event : parsed.recorder.events)
            EXPECT_EQ(event.find("TOP-SECRET"), std::string::npos) << document;
    }
}

TEST(XMLParserSafety, EntityExpansionBombsAreStoppedEarly) {
    std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lollollollollollollollollollol\">";
    bomb += "<!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">";
    for (int i = 2; i <= 9; ++i) {
        bomb += "<!ENTITY lol" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j) bomb += "&lol" + std::to_string(i - 1) + ";";
        bomb += "\">";
    }
    bomb += "]><lolz>&lol9;</lolz>";
    const auto parsed = parse(bomb);
    EXPECT_FALSE(parsed.ok);
    ASSERT_TRUE(parsed.error);
    // A billion-laughs document would produce 3 GB of text.
    EXPECT_LT(parsed.recorder.characterCount, 100u * 1000 * 1000);
}

TEST(XMLParserFiles, ReadsFileURLsOnly) {
    testing_support::TemporaryDirectory folder;
    const std::string path = folder.write("config.xml", "<widget><content src=\"index.html\"/></widget>");
    auto parser = XMLParser::createWithContentsOfURL(URL::fileURLWithPath(path));
    ASSERT_TRUE(parser);
    Recorder recorder;
    parser->setDelegate(&recorder);
    EXPECT_TRUE(parser->parse());
    EXPECT_EQ(recorder.events, (Events{"<widget", "<content src=index.html", "/content", "/widget"}));

    EXPECT_FALSE(XMLParser::createWithContentsOfURL(URL::fileURLWithPath(folder.file("missing.xml"))));
    EXPECT_FALSE(XMLParser::createWithContentsOfURL(URL::fileURLWithPath(folder.path().string())));
    EXPECT_FALSE(XMLParser::createWithContentsOfURL(*URL::create("data:text/xml,%3Ca/%3E")));
    EXPECT_FALSE(XMLParser::createWithContentsOfURL(*URL::create("https://example.com/config.xml")));
}
