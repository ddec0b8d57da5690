#include "hybrid/HYBConfigParser.h"

#include "platform/foundation/AssertionFailure.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Strings.h"

namespace hybrid {

namespace {

const std::string* attribute(const std::map<std::string, std::string>& attributes, const char* name) {
    const auto found = attributes.find(name);
    return found == attributes.end() ? nullptr : &found->second;
}

// The collections cannot hold an absent key or value, and guessing one would
// configure something the file never asked for; one line says what was dropped.
void logSkipped(const std::string& element, const char* missing) {
    platform::log("config.xml: ignoring <" + element + "> without " + missing);
}

}  // namespace

HYBConfigParser::HYBConfigParser() : whitelistHosts_{"file:///*", "content:///*", "data:///*"} {}

void HYBConfigParser::parserDidStartElementNamespaceURIQualifiedNameAttributes(
    platform::XMLParser&, const std::string& elementName, const std::string&, const std::string&,
    const std::map<std::string, std::string>& attributes) {
    if (elementName == "preference") {
        const std::string* name = attribute(attributes, "name");
        const std::string* value = attribute(attributes, "value");
        if (!name || !value) return logSkipped(elementName, "a name or value");
        settings_[platform::toLower(*name)] = platform::Value(*value);
    } else if (elementName == "feature") {
        const std::string* name = attribute(attributes, "name");
        // A nameless feature still closes any feature left open, so that its
        // params cannot land on a plugin they were not written for.
        featureName_.reset();
        if (!name) return logSkipped(elementName, "a name");
        featureName_ = platform::toLower(*name);
    } else if (elementName == "param") {
        if (featureName_) readParam(attributes);
    } else if (elementName == "access") {
        const std::string* origin = attribute(attributes, "origin");
        if (!origin) return logSkipped(elementName, "an origin");
        whitelistHosts_.push_back(*origin);
    } else if (elementName == "content") {
        const std::string* source = attribute(attributes, "src");
        if (!source) return logSkipped(elementName, "a src");
        startPage_ = *source;
    }
}

void HYBConfigParser::readParam(const std::map<std::string, std::string>& attributes) {
    const std::string* name = attribute(attributes, "name");
    const std::string* value = attribute(attributes, "value");
    const std::string* onload = attribute(attributes, "onload");
    // A bare <param onload="true"/> has neither and still marks its feature.
    if ((!name || !value) && !onload) return logSkipped("param", "a name or value");
    const std::string lowerCaseName = name && value ? platform::toLower(*name) : std::string();
    if (lowerCaseName == "ios-package") pluginsDict_[*featureName_] = *value;
    // The value of a param named "onload" is compared as written, while the
    // onload attribute is read in any case: both as the file format has it.
    if ((lowerCaseName == "onload" && *value == "true") || (onload && platform::toLower(*onload) == "true")) {
        startupPluginNames_.push_back(*featureName_);
    }
}

void HYBConfigParser::parserDidEndElementNamespaceURIQualifiedName(platform::XMLParser&,
                                                                   const std::string& elementName,
                                                                   const std::string&, const std::string&) {
    if (elementName == "feature") featureName_.reset();
}

void HYBConfigParser::parserParseErrorOccurred(platform::XMLParser& parser, const platform::Error& error) {
    std::string description =
        platform::format("config.xml parse error line %ld col %ld", parser.lineNumber(), parser.columnNumber());
    // The position alone leaves the author guessing what libxml2 disliked there.
    if (!error.localizedDescription.empty()) description += ": " + error.localizedDescription;
    throw platform::AssertionFailure(description);
}

}  // namespace hybrid
