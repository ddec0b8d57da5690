#pragma once
// hybrid-sim's command line (see sim/main.cpp for what each option does).

#include <optional>
#include <string>

#include "platform/graphics/Geometry.h"

namespace sim {

struct Options {
    std::string bundle;
    std::string home;
    std::string until;
    std::string scenario;
    std::string shots;
    double timeout = 60;
    double launchPause = 0.1;
    bool liveNetwork = false;
    bool noCamera = false;
    std::string camera = "filmed";
    std::string photos;  // empty: the bundle's sibling folder "photos", when there is one
    platform::CGSize screenSize{320, 568};
    double screenScale = 2;
    bool help = false;  // --help or -h: the usage is wanted, and nothing else is read
};

// The options of argv[1..]; nothing, with `error` naming the argument and
// what it takes ("--screen takes WIDTHxHEIGHT@SCALE, such as 375x667@2; got
// '375x667'"), when one is unknown, lacks its value or holds a wrong one, no
// --bundle is given, or a path names what the option does not take (a
// bundle folder without config.xml, a --scenario that is a folder or is not
// there, a --shots or --home that is a file). The arguments after --help or
// -h are not read.
std::optional<Options> parseCommandLine(int argc, const char* const* argv, std::string& error);

}  // namespace sim
