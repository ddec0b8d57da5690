#pragma once
// An event-based XML parser over libxml2's SAX interface. One parse per
// parser, on the calling thread; the delegate hears each element as it comes.

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"

namespace platform {

class XMLParser;

class XMLParserDelegate {
public:
    virtual ~XMLParserDelegate() = default;
    virtual void parserDidStartElementNamespaceURIQualifiedNameAttributes(
        XMLParser& parser, const std::string& elementName, const std::string& namespaceURI,
        const std::string& qualifiedName, const std::map<std::string, std::string>& attributes) {}
    virtual void parserDidEndElementNamespaceURIQualifiedName(XMLParser& parser, const std::string& elementName,
                                                              const std::string& namespaceURI,
                                                              const std::string& qualifiedName) {}
    virtual void parserFoundCharacters(XMLParser& parser, const std::string& characters) {}
    virtual void parserParseErrorOccurred(XMLParser& parser, const Error& error) {}
};

class XMLParser {
public:
    // Nothing when the URL is not a readable file URL.
    static std::unique_ptr<XMLParser> createWithContentsOfURL(const URL& url);
    static std::unique_ptr<XMLParser> createWithData(Data data);
    ~XMLParser();

    void setDelegate(XMLParserDelegate* delegate) { delegate_ = delegate; }
    // Parses the whole document; false (and parserError) on malformed XML or
    // when a delegate called abortParsing.
    bool parse();
    void abortParsing();
    const std::optional<Error>& parserError() const { return error_; }
    // Position of the parser in the text (1-based), during callbacks and after an error.
    long lineNumber() const;
    long columnNumber() const;

private:
    explicit XMLParser(Data data);
    struct State;
    Data data_;
    XMLParserDelegate* delegate_ = nullptr;
    std::optional<Error> error_;
    std::unique_ptr<State> state_;
};

}  // namespace platform
