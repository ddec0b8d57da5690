#include "platform/ui/WebView.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/foundation/AssertionFailure.h"
#include "platform/foundation/Log.h"

using platform::LogCapture;
using platform::WebView;

TEST(WebViewEvaluation, ScalarsAnswerTheirJavaScriptText) {
    WebView view;
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("'hello'"), "hello");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("''"), "");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("'\\u00e9\\u20ac'"), "\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("'a\\u0000b'"), std::string("a\0b", 3));
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("1"), "1");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("1.5"), "1.5");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("-0.25 * 4"), "-1");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("1e21"), "1e+21");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("0/0"), "NaN");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("true"), "true");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("1 > 2"), "false");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("JSON.stringify({a: [1, 'x']})"), "{\"a\":[1,\"x\"]}");
}

TEST(WebViewEvaluation, EverythingElseAnswersEmpty) {
    WebView view;
    for (const char* script : {"undefined", "null", "({a: 1})", "[1, 2]", "(function () {})", "var x = 5;",
                               "new String('boxed')", ""}) {
        EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString(script), "") << script;
    }
}

TEST(WebViewEvaluation, ExceptionsAnswerEmptyAndDoNotStick) {
    WebView view;
    LogCapture capture;
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("throw new Error('boom')"), "");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("noSuchFunction()"), "");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("this is not javascript"), "");
    EXPECT_TRUE(capture.contains("boom"));
    // The next evaluation starts clean.
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("'fine'"), "fine");
}

TEST(WebViewContext, StatePersistsUntilReset) {
    WebView view;
    view.stringByEvaluatingJavaScriptFromString("var counter = 0;");
    view.stringByEvaluatingJavaScriptFromString("counter += 2");
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("counter"), "2");
}

TEST(WebViewConsole, LogJoinsArgumentsWithSpaces) {
    WebView view;
    LogCapture capture;
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("console.log('ready', 1, 2.5, true, null, undefined, {})"),
              "");
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0], "ready 1 2.5 true null undefined [object Object]");

    capture.clear();
    view.stringByEvaluatingJavaScriptFromString("console.log()");
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0], "");
}

TEST(WebViewConsole, ThrowingToStringDoesNotBreakLogging) {
    WebView view;
    LogCapture capture;
    view.stringByEvaluatingJavaScriptFromString(
        "console.log('before', {toString: function () { throw new Error('nope'); }}, 'after')");
    EXPECT_TRUE(capture.contains("before"));
    EXPECT_EQ(view.stringByEvaluatingJavaScriptFromString("'still working'"), "still working");
}

TEST(WebViewThreads, EvaluationOffTheMainThreadIsAnAssertion) {
    WebView view;
    bool threw = false;
    std::thread([&] {
        try {
            view.stringByEvaluatingJavaScriptFromString("1");
        } catch (const platform::AssertionFailure&) {
            threw = true;
        }
    }).join();
    EXPECT_TRUE(threw);
}
