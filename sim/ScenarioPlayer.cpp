#include "sim/ScenarioPlayer.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/AppDelegate.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Strings.h"
#include "platform/ui/Render.h"
#include "platform/ui/Window.h"
#include "sim/FormStep.h"
#include "sim/Steps.h"

namespace sim {

using platform::Value;

namespace {

constexpr const char* kStepLinePrefix = "scenario: step ";

}  // namespace

struct ScenarioPlayer::LogWatch {
    std::size_t index;
    std::size_t unread;  // the first line not looked at yet
    std::vector<std::string> texts;
    StepRun::Look look;
};

ScenarioPlayer::ScenarioPlayer(Value scenario, const platform::LogCapture& log, std::string shotsDirectory)
    : scenario_(std::move(scenario)), log_(log), shotsDirectory_(std::move(shotsDirectory)) {}

std::optional<Value> ScenarioPlayer::load(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    std::stringstream text;
    text << in.rdbuf();
    auto parsed = platform::readJson(text.str());
    if (!parsed.value) {
        error = path + ": " + parsed.error;
        return std::nullopt;
    }
    if (!(*parsed.value)["steps"].isArray()) {
        error = path + ": a scenario is an object with an array \"steps\"";
        return std::nullopt;
    }
    // Track files and camera videos are named relative to the scenario, which the player no longer knows.
    const std::filesystem::path folder = std::filesystem::absolute(path).parent_path();
    (*parsed.value->dictionary())["scenarioFolder"] = Value(folder.string());
    for (Value& step : *(*parsed.value->dictionary())["steps"].array()) {
        platform::Dictionary* fields = step.dictionary();
        if (!fields || !fields->count("locationTrack")) continue;
        if (const std::string* track = (*fields)["locationTrack"].string(); track && !track->empty())
            (*fields)["locationTrack"] = Value((folder / *track).lexically_normal().string());
    }
    return parsed.value;
}

void ScenarioPlayer::start(std::function<void(bool)> finished) {
    finished_ = std::move(finished);
    next(0);
}

void ScenarioPlayer::next(std::size_t index, double delay) {
    std::weak_ptr<ScenarioPlayer> weakSelf = weak_from_this();
    platform::RunLoop::main().after(delay, [weakSelf, index] {
        if (auto self = weakSelf.lock()) self->runStep(index);
    });
}

void ScenarioPlayer::fail(std::size_t index, const std::string& reason) {
    platform::logf("scenario: failed: step %zu: %s", index + 1, reason.c_str());
    if (finished_) finished_(false);
}

bool ScenarioPlayer::loggedSince(std::size_t& first, std::vector<std::string>& texts) const {
    const std::vector<std::string> lines = log_.linesFrom(first);
    for (const std::string& line : lines) {
        ++first;
        if (platform::startsWith(line, kStepLinePrefix)) continue;
        std::erase_if(texts, [&line](const std::string& text) { return line.find(text) != std::string::npos; });
        if (texts.empty()) return true;
    }
    return texts.empty();
}

void ScenarioPlayer::runStep(std::size_t index) {
    const Value& steps = scenario_["steps"];
    if (index >= steps.count()) {
        platform::log("scenario: done");
        if (finished_) finished_(true);
        return;
    }
    const Value& step = steps[index];
    if (!step.isDictionary() || step.count() == 0) return fail(index, "not an object");
    // Taken before the step's own line, so no line another thread logs from
    // here on is missed. After a wait on the log the step begins at the line
    // waited for: what the run loop logged after it, before this step could
    // run, happened after that wait as much as anything later does.
    const std::size_t previousStart = stepStart_;
    const std::size_t stepStart = stepStart_ = std::min(log_.size(), watchEnd_.value_or(log_.size()));
    watchEnd_.reset();
    // The step as it runs: text typed into the card's number or CVV field is
    // masked as the type step logs it, card numbers as every line is.
    Value echoed = step;
    if (const std::string* typed = step["type"].string()) (*echoed.dictionary())["type"] = Value(typedTextForLog(*typed));
    auto written = platform::writeJson(echoed);
    platform::logf("%s%zu: %s", kStepLinePrefix, index + 1, written.text.value_or("?").c_str());

    const StepKind* kind = stepKindFor(step);
    if (!kind) return fail(index, "does nothing this player knows");
    end(index, kind->play(StepRun(step, index, this, previousStart, stepStart)));
}

void ScenarioPlayer::end(std::size_t index, const StepOutcome& outcome) {
    switch (outcome.kind) {
        case StepOutcome::Kind::Next: return next(index + 1, outcome.delay);
        case StepOutcome::Kind::Failed: return fail(index, outcome.reason);
        case StepOutcome::Kind::Waiting: return;
    }
}

std::optional<StepOutcome> ScenarioPlayer::look(LogWatch& watch) {
    loggedSince(watch.unread, watch.texts);
    auto outcome = watch.look(watch.texts);
    if (outcome && outcome->kind == StepOutcome::Kind::Next) watchEnd_ = watch.unread;
    return outcome;
}

// The timer holds the watch, and the watch holds no player, so a player gone
// or a run loop reset ends the wait quietly.
void ScenarioPlayer::lookAgain(std::shared_ptr<LogWatch> watch) {
    std::weak_ptr<ScenarioPlayer> weakSelf = weak_from_this();
    platform::RunLoop::main().after(0.05, [weakSelf, watch] {
        auto self = weakSelf.lock();
        if (!self) return;
        if (auto outcome = self->look(*watch)) return self->end(watch->index, *outcome);
        self->lookAgain(watch);
    });
}

bool ScenarioPlayer::screenshot(const std::string& name) {
    if (shotsDirectory_.empty()) return true;
    auto delegate = appDelegate();
    auto window = delegate ? delegate->window() : nullptr;
    if (!window) return false;
    std::error_code ec;
    std::filesystem::create_directories(shotsDirectory_, ec);
    ++shots_;
    const std::string path = platform::format("%s/%02d-%s.png", shotsDirectory_.c_str(), shots_, name.c_str());
    if (!platform::renderViewToPNG(*window, path)) return false;
    platform::logf("scenario: screenshot %s", path.c_str());
    return true;
}

StepOutcome StepRun::watchLog(std::size_t from, std::vector<std::string> texts, Look look) const {
    auto watch = std::make_shared<ScenarioPlayer::LogWatch>(
        ScenarioPlayer::LogWatch{index, from, std::move(texts), std::move(look)});
    if (auto outcome = player_->look(*watch)) return *outcome;
    player_->lookAgain(watch);
    return StepOutcome::waiting();
}

bool StepRun::screenshot(const std::string& name) const { return player_->screenshot(name); }

std::string StepRun::scenarioFolder() const {
    return player_ ? player_->scenario_["scenarioFolder"].stringValue() : std::string();
}

}  // namespace sim
