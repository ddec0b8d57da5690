#pragma once
// Reads config.xml once at container start-up: the plugin map, the plugins to
// create at start-up, the preferences, the access origins and the start page.
// One instance per parse, on the thread that parses; the container copies the
// results out and discards it.
//
// Preference names and feature names are lower-cased, so that every consumer
// looks them up by lower-cased name; values, class names and origins stay as
// written. An element lacking an attribute it needs is skipped with a log
// line. Malformed XML is a fatal configuration error (AssertionFailure).

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/foundation/XMLParser.h"

namespace hybrid {

class HYBConfigParser : public platform::XMLParserDelegate {
public:
    // Seeds whitelistHosts with "file:///*", "content:///*" and "data:///*".
    HYBConfigParser();

    void parserDidStartElementNamespaceURIQualifiedNameAttributes(
        platform::XMLParser& parser, const std::string& elementName, const std::string& namespaceURI,
        const std::string& qualifiedName, const std::map<std::string, std::string>& attributes) override;
    void parserDidEndElementNamespaceURIQualifiedName(platform::XMLParser& parser, const std::string& elementName,
                                                      const std::string& namespaceURI,
                                                      const std::string& qualifiedName) override;
    // Throws platform::AssertionFailure("config.xml parse error line L col C: <libxml2's reason>").
    void parserParseErrorOccurred(platform::XMLParser& parser, const platform::Error& error) override;

    // Lower-cased service name -> native class name.
    const std::map<std::string, std::string>& pluginsDict() const { return pluginsDict_; }
    void setPluginsDict(std::map<std::string, std::string> pluginsDict) { pluginsDict_ = std::move(pluginsDict); }
    // Lower-cased preference name -> string value.
    const platform::Dictionary& settings() const { return settings_; }
    void setSettings(platform::Dictionary settings) { settings_ = std::move(settings); }
    const std::vector<std::string>& whitelistHosts() const { return whitelistHosts_; }
    void setWhitelistHosts(std::vector<std::string> hosts) { whitelistHosts_ = std::move(hosts); }
    // Nothing when config.xml has no usable <content src>.
    const std::optional<std::string>& startPage() const { return startPage_; }
    void setStartPage(std::optional<std::string> startPage) { startPage_ = std::move(startPage); }
    // Lower-cased, in document order; a feature appears once per marking param.
    const std::vector<std::string>& startupPluginNames() const { return startupPluginNames_; }
    void setStartupPluginNames(std::vector<std::string> names) { startupPluginNames_ = std::move(names); }

private:
    void readParam(const std::map<std::string, std::string>& attributes);

    // Set only between a named <feature> and its end tag.
    std::optional<std::string> featureName_;
    std::map<std::string, std::string> pluginsDict_;
    platform::Dictionary settings_;
    std::vector<std::string> whitelistHosts_;
    std::optional<std::string> startPage_;
    std::vector<std::string> startupPluginNames_;
};

}  // namespace hybrid
