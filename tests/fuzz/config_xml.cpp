// config.xml from the app bundle: parsed as the container parses it at
// start-up, its access origins made into the whitelist, and the start page
// and a few other URLs checked against it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hybrid/HYBConfigParser.h"
#include "hybrid/HYBWhitelist.h"
#include "platform/foundation/AssertionFailure.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/XMLParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::LogCapture quiet;
    hybrid::HYBConfigParser config;
    auto parser = platform::XMLParser::createWithData(platform::Data(data, data + size));
    parser->setDelegate(&config);
    try {
        parser->parse();
    } catch (const platform::AssertionFailure&) {
        return 0;  // malformed XML: the app stops at start-up, by design
    }

    const hybrid::HYBWhitelist whitelist(config.whitelistHosts());

    const auto base = platform::URL::create("file:///app/www/index.html");
    std::vector<std::optional<platform::URL>> urls = {
        platform::URL::create("https://www.example.com/a/b?c#d"), platform::URL::create("http://127.0.0.1:8080/"),
        platform::URL::create("data:text/plain,x"), platform::URL::create("tel:123")};
    if (config.startPage()) {
        urls.push_back(platform::URL::create(*config.startPage()));
        urls.push_back(platform::URL::create(*config.startPage(), *base));
    }
    for (const auto& [name, value] : config.settings()) {
        if (value.isString()) urls.push_back(platform::URL::create(*value.string(), *base));
    }
    for (const auto& url : urls) {
        if (!url) continue;
        whitelist.schemeIsAllowed(url->scheme());
        whitelist.URLIsAllowed(*url);
    }
    return 0;
}
