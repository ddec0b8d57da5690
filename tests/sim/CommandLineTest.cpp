// hybrid-sim's command line: a wrong argument is named with what it takes,
// and a --camera picture that cannot be filmed says why.
#include "sim/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/SimCamera.h"

namespace {

std::optional<sim::Options> parse(std::vector<const char*> arguments, std::string& error) {
    arguments.insert(arguments.begin(), "hybrid-sim");
    return sim::parseCommandLine(static_cast<int>(arguments.size()), arguments.data(), error);
}

}  // namespace

TEST(CommandLine, AWrongArgumentIsNamedWithWhatItTakes) {
    const std::pair<std::vector<const char*>, const char*> cases[] = {
        {{"--bundle", "app", "--screen", "abc"}, "--screen takes WIDTHxHEIGHT@SCALE, such as 375x667@2"},
        {{"--bundle", "app", "--screen", "375x667"}, "; got '375x667'"},
        {{"--bundel", "app"}, "unknown option '--bundel'"},
        {{"--bundle", "app", "--timeout", "3s"}, "--timeout takes SECONDS, a number above 0 and up to 86400; got '3s'"},
        {{"--bundle", "app", "--timeout"}, "--timeout takes SECONDS, a number above 0 and up to 86400; got nothing"},
        {{"--scenario", "steps.json"}, "--bundle DIR is required"},
        {{"--bundle", "app", "--launch-pause", "1e300"}, "--launch-pause takes SECONDS, a number from 0 to 86400"},
    };
    for (const auto& [arguments, fragment] : cases) {
        std::string error;
        EXPECT_FALSE(parse(arguments, error)) << fragment;
        EXPECT_NE(error.find(fragment), std::string::npos) << error;
    }
}

// Paths are looked at before anything plays, so what they name is refused
// as the option, not by whatever would fail on it later.
TEST(CommandLine, AValueOrAPathItDoesNotTakeIsRefusedNamingTheOption) {
    const std::string source = HYBRID_SOURCE_DIR;
    const std::string app = source + "/examples/app", file = source + "/README.md", folder = source + "/sim";
    const std::pair<std::vector<const char*>, std::string> cases[] = {
        {{"--bundle", app.c_str(), "--until", ""}, "--until takes TEXT, not empty; got ''"},
        {{"--bundle", app.c_str(), "--timeout", "0x10"},
         "--timeout takes SECONDS, a number above 0 and up to 86400; got '0x10'"},
        {{"--bundle", folder.c_str()},
         "--bundle takes DIR, an app bundle holding config.xml; got '" + folder + "', which holds no config.xml"},
        {{"--bundle", file.c_str()}, "got '" + file + "', not a folder"},
        {{"--bundle", app.c_str(), "--scenario", folder.c_str()},
         "--scenario takes FILE; got '" + folder + "', a folder"},
        {{"--bundle", app.c_str(), "--shots", file.c_str()},
         "--shots takes DIR, a folder (made when missing); got '" + file + "', not a folder"},
        {{"--bundle", app.c_str(), "--home", file.c_str()},
         "--home takes DIR, a folder (made when missing); got '" + file + "', not a folder"},
    };
    for (const auto& [arguments, refusal] : cases) {
        std::string error;
        EXPECT_FALSE(parse(arguments, error)) << refusal;
        EXPECT_NE(error.find(refusal), std::string::npos) << error;
    }
    std::string error;
    EXPECT_TRUE(parse({"--bundle", app.c_str(), "--shots", "/nonexistent/shots", "--timeout", "1.5e1"}, error))
        << error;
}

TEST(CommandLine, HelpNeedsNothingElse) {
    for (const char* asked : {"--help", "-h"}) {
        std::string error;
        const auto options = parse({asked, "--bundel"}, error);
        ASSERT_TRUE(options) << error;
        EXPECT_TRUE(options->help);
    }
}

// A missing file, another format and each of the loader's limits are told apart.
TEST(CommandLine, ACameraPictureThatCannotBeFilmedSaysWhy) {
    const std::string faults = std::string(HYBRID_SOURCE_DIR) + "/tests/data/fault-inputs/";
    const std::pair<std::string, std::string> cases[] = {
        {"/nonexistent/card.png", "no file at /nonexistent/card.png"},
        {faults + "video-frame-overflow.webm", "video-frame-overflow.webm is not a JPEG or PNG image"},
        {faults + "jpeg-side-40000.jpg", "a side over the limit of 32767"},
        {faults + "jpeg-claims-20000x20000.jpg", "claims 20000 x 20000 pixels, over the limit of 100000000 pixels"},
    };
    for (const auto& [path, why] : cases) {
        std::string error;
        EXPECT_FALSE(sim::installCamera("image:" + path, "", error)) << path;
        EXPECT_NE(error.find(why), std::string::npos) << error;
    }
}
