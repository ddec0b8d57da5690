// The simulator's scenario player with no app behind it, on a manual clock:
// waits look only forward, and a step that cannot run or whose check fails
// ends the run with a line naming the step.
#include "sim/ScenarioPlayer.h"

#include <gtest/gtest.h>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"

namespace {

// Plays `steps` (a JSON array); `meanwhile` runs once the player has started.
// Answers whether every step ran, or nothing if the run never finished.
std::optional<bool> play(const std::string& steps, platform::LogCapture& log,
                         const std::function<void()>& meanwhile = nullptr) {
    platform::ScopedManualClock clock;
    auto scenario = platform::readJson("{\"steps\": " + steps + "}");
    if (!scenario.value) return std::nullopt;
    auto player = std::make_shared<sim::ScenarioPlayer>(*scenario.value, log, "");
    std::optional<bool> outcome;
    player->start([&](bool ok) { outcome = ok; });
    if (meanwhile) meanwhile();
    platform::RunLoop::main().runUntil([&] { return outcome.has_value(); }, 60);
    return outcome;
}

}  // namespace

TEST(ScenarioPlayer, AWaitSeesOnlyLinesLoggedAfterItBegan) {
    platform::LogCapture log;
    EXPECT_EQ(play(R"([{"waitFor": "nothing logs this", "timeout": 2}])", log), false);
    EXPECT_TRUE(log.contains("scenario: failed: step 1: waitFor 'nothing logs this' timed out after 2 s"));

    EXPECT_EQ(play(R"([{"log": "early line"}, {"waitFor": "early line", "timeout": 2}])", log), false);
    EXPECT_EQ(play(R"([{"waitFor": "late line", "timeout": 5}])", log,
                   [] { platform::RunLoop::main().after(1, [] { platform::log("a late line"); }); }),
              true);
}

// A camera logs on its own clock: what it logs right after the line a step
// waited for, before the next step can run, counts as after that wait.
TEST(ScenarioPlayer, AStepAfterAWaitSeesWhatWasLoggedRightAfterTheLineWaitedFor) {
    platform::LogCapture log;
    auto burst = [] {
        platform::RunLoop::main().after(1, [] {
            platform::log("locked on");
            platform::log("card read");
        });
    };
    EXPECT_EQ(play(R"([{"waitFor": "locked on", "timeout": 5}, {"waitFor": "card read", "timeout": 2}])", log, burst),
              true);
    EXPECT_EQ(play(R"([{"waitFor": "locked on", "timeout": 5}, {"wait": 0}, {"expect": "card read", "timeout": 2}])",
                   log, burst),
              true);
    // The line waited for itself still belongs to its own step.
    EXPECT_EQ(play(R"([{"waitFor": "locked on", "timeout": 5}, {"waitFor": "locked on", "timeout": 2}])", log, burst),
              false);
}

TEST(ScenarioPlayer, AnExpectLooksAtTheLinesSinceThePreviousStepBegan) {
    platform::LogCapture log;
    EXPECT_EQ(play(R"([{"log": "made"}, {"expect": "made"}])", log), true);
    EXPECT_EQ(play(R"([{"log": "made"}, {"wait": 0}, {"expect": "made"}])", log), false);
    EXPECT_TRUE(log.contains("step 3: no line logged since the previous step began contained 'made'"));

    // With a timeout it also waits for the line, still counting from the previous step.
    EXPECT_EQ(play(R"([{"log": "made"}, {"expect": "made", "timeout": 1}])", log), true);
    EXPECT_EQ(play(R"([{"wait": 0}, {"expect": "later", "timeout": 5}])", log,
                   [] { platform::RunLoop::main().after(1, [] { platform::log("later"); }); }),
              true);
    EXPECT_EQ(play(R"([{"log": "one"}, {"log": "two"}, {"expect": ["two", "one"]}])", log), false);
    EXPECT_EQ(play(R"([{"wait": 0}, {"expect": ["first", "second"], "timeout": 5}])", log,
                   [] {
                       platform::RunLoop::main().after(0.5, [] { platform::log("second"); });
                       platform::RunLoop::main().after(1, [] { platform::log("first"); });
                   }),
              true);
    EXPECT_EQ(play(R"([{"wait": 0}, {"expect": "never", "timeout": 1}])", log), false);
    EXPECT_TRUE(log.contains("step 2: expect 'never' timed out after 1 s"));
}

TEST(ScenarioPlayer, EveryStepThatCannotRunFailsTheRun) {
    const std::pair<const char*, const char*> cases[] = {
        {R"([3])", "step 1: not an object"},
        {R"([{"wait": 0}, {"event": "sideways"}])", "step 2: unknown event 'sideways'"},
        {R"([{"openURL": "sample://x"}])", "step 1: no application delegate"},
        {R"([{"deviceToken": "00ff"}])", "step 1: no application delegate"},
        {R"([{"eval": "1"}])", "step 1: no page to evaluate in"},
        {R"([{"touch": [[1, 2]]}])", "step 1: a touch path is a list of [x, y] points in a window"},
        {R"([{"sing": "la"}])", "step 1: does nothing this player knows"},
    };
    for (const auto& [steps, failure] : cases) {
        platform::LogCapture log;
        EXPECT_EQ(play(steps, log), false) << steps;
        EXPECT_TRUE(log.contains(std::string("scenario: failed: ") + failure)) << steps;
    }
}

TEST(ScenarioPlayer, AStepWithSeveralKeysPlaysTheOneThatComesFirst) {
    platform::LogCapture log;
    // A number "wait" goes before all else: the line is never logged.
    EXPECT_EQ(play(R"([{"wait": 0, "log": "unsaid"}, {"expect": "unsaid"}])", log), false);
    // "expect" with "waitFor" waits for the "waitFor" text; with a timeout
    // from the previous step on, as an "expect", without one only forward.
    EXPECT_EQ(play(R"([{"log": "said"}, {"expect": "never", "waitFor": "said", "timeout": 1}])", log), true);
    EXPECT_EQ(play(R"([{"log": "said"}, {"expect": "said", "waitFor": "said"}])", log), false);
    EXPECT_TRUE(log.contains("step 2: waitFor 'said' timed out after 10 s"));

    const std::pair<const char*, const char*> cases[] = {
        {R"([{"wait": "1"}])", "step 1: does nothing this player knows"},  // a text "wait" selects nothing
        {R"([{"expect": [], "waitFor": "x"}])", "step 1: expect needs a text or a list of texts"},
        {R"([{"expectNot": 3, "log": "x"}])", "step 1: expectNot needs a text"},
        {R"([{"eval": "1", "log": "x"}])", "step 1: no page to evaluate in"},
        {R"([{"openURL": 3, "deviceToken": "00ff", "log": "x"}])", "step 1: no application delegate"},
        {R"([{"camera": 3, "type": "1234"}])", "step 1: \"camera\" is a text"},
        {R"([{"type": "1234", "log": "x"}])", "step 1: no text field has the keyboard"},
    };
    for (const auto& [steps, failure] : cases) {
        platform::LogCapture caseLog;
        EXPECT_EQ(play(steps, caseLog), false) << steps;
        EXPECT_TRUE(caseLog.contains(std::string("scenario: failed: ") + failure)) << steps;
        // No card field has the keyboard: the step's echo shows what it types.
        EXPECT_EQ(caseLog.contains("1234"), std::string_view(steps).find("1234") != std::string_view::npos) << steps;
    }
}
