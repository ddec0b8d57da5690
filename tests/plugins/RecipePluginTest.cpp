// The README's plugin recipe with no sources (tests/plugins/recipe): it
// builds, registers by class name as the app's plugin list does, and answers
// the page over the bridge.
#include <gtest/gtest.h>

#include <regex>

#include "platform/foundation/FileManager.h"
#include "platform/foundation/RunLoop.h"
#include "tests/plugins/recipe/SuiteRecipeGreeter.h"
#include "tools/harness/BridgeHarness.h"

TEST(HeaderOnlyPlugin, TheReadmesGreeterAnswersThePage) {
    // The line the app's plugin list (app/CMakeLists.txt) writes for each class.
    hybrid::pluginRegistry().registerClass<plugins::SuiteRecipeGreeter>("SuiteRecipeGreeter");
    const auto container = testsupport::TestContainer::create();
    const auto greeter = hybrid::pluginRegistry().create("SuiteRecipeGreeter", container->webView());
    ASSERT_TRUE(greeter);
    container->addPlugin("Greeter", greeter);

    container->eval("var said = 'nothing'; hybrid.exec(function (text) { said = text; }, null, "
                    "'Greeter', 'greet', ['world']);");
    container->queue().fetchCommandsFromJs();
    container->queue().executePending();
    platform::RunLoop::main().drain();
    EXPECT_EQ(container->eval("said"), "hello world");
}

TEST(HeaderOnlyPlugin, TheSuitesCopyIsTheReadmesCodeAndBuildLine) {
    const auto fileText = [](const char* path) {
        const auto data = platform::FileManager::defaultManager().contentsAtPath(path).value_or(platform::Data{});
        return std::string(data.begin(), data.end());
    };
    const std::string readme = fileText(HYBRID_SOURCE_DIR "/README.md");
    std::smatch code;
    ASSERT_TRUE(std::regex_search(readme, code, std::regex("// plugins/greeter/Greeter.h\n([^`]*)```")));
    // The README's block is indented three blanks as part of its list item.
    const std::string recipe = std::regex_replace(code[1].str(), std::regex("(^|\n)   "), "$1");
    std::string copy = fileText(HYBRID_SOURCE_DIR "/tests/plugins/recipe/SuiteRecipeGreeter.h");
    copy = copy.substr(copy.find("#pragma once"));
    EXPECT_EQ(std::regex_replace(copy, std::regex("SuiteRecipeGreeter"), "Greeter"), recipe);

    // A header-only class builds with no SOURCES line.
    std::smatch build;
    ASSERT_TRUE(std::regex_search(readme, build, std::regex("```cmake\n\\s*hybrid_plugin\\(greeter\n([^`]*)```")));
    EXPECT_EQ(build[1].str().find("SOURCES"), std::string::npos) << build[1];
}
