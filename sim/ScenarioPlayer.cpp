#include "sim/ScenarioPlayer.h"

#include <algorithm>
#include <atomic>
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

// Where load() leaves the scenario file's folder, which the player takes out
// of the scenario: the file's own keys are "steps" alone.
constexpr const char* kFolderKey = "scenarioFolder";

// Set while the player logs a line of its own, on the thread that logs it
// (the main thread): the log's observer is called before that call returns.
thread_local bool playerSpeaking = false;

// The number of the step playing, from 1; 0 when none is. The watchdog reads
// it while the step holds the main thread.
std::atomic<std::size_t> stepNumber{0};

// A bare list of steps is the scenario's steps.
Value asScenario(Value scenario) {
    if (scenario.isArray()) return Value(platform::Dictionary{{"steps", std::move(scenario)}});
    return scenario;
}

// "step 2: why", or "step 1 is empty; ..." for a refusal that reads on from the step's number.
std::string refusalText(std::size_t index, const std::string& reason) {
    return platform::format("step %zu%s%s", index + 1, platform::startsWith(reason, "is ") ? " " : ": ",
                            reason.c_str());
}

std::string takeFolder(Value& scenario) {
    platform::Dictionary* keys = scenario.dictionary();
    if (!keys) return {};
    const auto folder = keys->find(kFolderKey);
    if (folder == keys->end()) return {};
    std::string path = folder->second.stringValue();
    keys->erase(folder);
    return path;
}

}  // namespace

void playerLog(std::string_view text) {
    playerSpeaking = true;
    platform::log("scenario: " + std::string(text));
    playerSpeaking = false;
}

struct ScenarioPlayer::LogWatch {
    std::size_t index;
    std::size_t unread;  // the first line not looked at yet
    std::vector<std::string> texts;
    StepRun::OnNext onNext;
    StepRun::Look look;
    std::vector<std::string> lastLines;  // the last few lines looked at, oldest first
};

ScenarioPlayer::ScenarioPlayer(Value scenario, const platform::LogCapture& log, std::string shotsDirectory)
    : scenario_(asScenario(std::move(scenario))),
      folder_(takeFolder(scenario_)),
      log_(log),
      shotsDirectory_(std::move(shotsDirectory)) {}

std::optional<std::string> ScenarioPlayer::refusal(const Value& scenario, const std::string& folder) {
    if (const platform::Dictionary* keys = scenario.dictionary())
        for (const auto& [key, value] : *keys)
            if (key != "steps") return "unknown key \"" + key + "\" beside \"steps\" (a scenario holds only \"steps\")";
    const Value& steps = scenario["steps"];
    for (std::size_t i = 0; i < steps.count(); ++i)
        if (std::string reason = refusalOf(steps[i], folder); !reason.empty()) return refusalText(i, reason);
    return std::nullopt;
}

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
    parsed.value = asScenario(std::move(*parsed.value));
    if (!(*parsed.value)["steps"].isArray()) {
        error = path + ": a scenario is a list of steps, or an object with a list \"steps\"";
        return std::nullopt;
    }
    // Track files and camera videos are named relative to the scenario, which the player no longer knows.
    const std::filesystem::path folder = std::filesystem::absolute(path).parent_path();
    if (auto refused = refusal(*parsed.value, folder.string())) {
        error = path + ": " + *refused;
        return std::nullopt;
    }
    (*parsed.value->dictionary())[kFolderKey] = Value(folder.string());
    for (Value& step : *(*parsed.value->dictionary())["steps"].array()) {
        platform::Dictionary* fields = step.dictionary();
        if (!fields || !fields->count("locationTrack")) continue;
        if (const std::string* track = (*fields)["locationTrack"].string(); track && !track->empty())
            (*fields)["locationTrack"] = Value((folder / *track).lexically_normal().string());
    }
    return parsed.value;
}

ScenarioPlayer::~ScenarioPlayer() {
    if (!armed_.empty()) platform::setLogObserver({});
}

void ScenarioPlayer::start(std::function<void(bool)> finished) {
    finished_ = std::move(finished);
    // Nothing plays when some step cannot: a scenario half played proves nothing.
    if (auto refused = refusal(scenario_, folder_)) {
        playerLog("failed: " + *refused);
        if (finished_) finished_(false);
        return;
    }
    next(0);
}

void ScenarioPlayer::next(std::size_t index, double delay) {
    std::weak_ptr<ScenarioPlayer> weakSelf = weak_from_this();
    platform::RunLoop::main().after(delay, [weakSelf, index] {
        if (auto self = weakSelf.lock()) self->runStep(index);
    });
}

void ScenarioPlayer::fail(std::size_t index, const std::string& reason) {
    playerLog(platform::format("failed: step %zu: %s", index + 1, reason.c_str()));
    stepNumber = 0;
    disarm();
    if (finished_) finished_(false);
}

// A shot still armed when the scenario ends waited for a moment that did not
// come in it: the lines of the app shutting down must not draw it.
void ScenarioPlayer::disarm() {
    if (armed_.empty()) return;
    armed_.clear();
    platform::setLogObserver({});
}

std::string ScenarioPlayer::stepPlaying() const { return playing_; }

std::size_t ScenarioPlayer::stepNumberPlaying() { return stepNumber; }

void ScenarioPlayer::lookAtNewLines(LogWatch& watch) const {
    constexpr std::size_t kLinesKept = 3;
    for (const std::string& line : log_.linesFrom(watch.unread)) {
        const std::size_t at = watch.unread++;
        if (std::binary_search(stepLines_.begin(), stepLines_.end(), at)) continue;
        watch.lastLines.push_back(line);
        if (watch.lastLines.size() > kLinesKept) watch.lastLines.erase(watch.lastLines.begin());
        std::erase_if(watch.texts, [&line](const std::string& text) { return line.find(text) != std::string::npos; });
        if (watch.texts.empty()) return;
    }
}

void ScenarioPlayer::runStep(std::size_t index) {
    const Value& steps = scenario_["steps"];
    if (index >= steps.count()) {
        if (!armed_.empty()) {
            const ArmedShot& shot = armed_.front();
            return fail(shot.step, "screenshot " + shot.name + ": no line held '" + shot.text + "' after it was armed");
        }
        playerLog("done");
        playing_.clear();
        stepNumber = 0;
        if (finished_) finished_(true);
        return;
    }
    const Value& step = steps[index];  // checked against the table before the first step played
    // The step as it runs: text typed into the card's number or CVV field is
    // masked as the type step logs it, card numbers as every line is.
    Value echoed = step;
    if (const std::string* typed = step["type"].string()) (*echoed.dictionary())["type"] = Value(typedTextForLog(*typed));
    auto written = platform::writeJson(echoed);
    stepNumber = index + 1;
    const std::string line = platform::format("step %zu: %s", index + 1, written.text.value_or("?").c_str());
    const std::size_t before = log_.size();
    playerLog(line);
    // The step line is known by where it lies in the log, which another
    // thread's lines may reach first; a line of the app worded like one counts.
    const std::vector<std::string> logged = log_.linesFrom(before);
    const auto own = std::find(logged.begin(), logged.end(), platform::maskCardNumbers("scenario: " + line));
    if (own != logged.end()) stepLines_.push_back(before + static_cast<std::size_t>(own - logged.begin()));
    // Printed outside the log, so masked here as the log masks its lines.
    playing_ =
        platform::maskCardNumbers(platform::format("step %zu (%s)", index + 1, written.text.value_or("?").c_str()));

    // Every step was checked against the table before the first one played.
    end(index, stepKindFor(step)->play(StepRun(step, index, this)));
}

void ScenarioPlayer::end(std::size_t index, const StepOutcome& outcome) {
    switch (outcome.kind) {
        case StepOutcome::Kind::Next: return next(index + 1, outcome.delay);
        case StepOutcome::Kind::Failed: return fail(index, outcome.reason);
        case StepOutcome::Kind::Waiting: return;
    }
}

std::optional<StepOutcome> ScenarioPlayer::look(LogWatch& watch) {
    lookAtNewLines(watch);
    auto outcome = watch.look(watch.texts, watch.lastLines);
    if (outcome && outcome->kind == StepOutcome::Kind::Next && watch.onNext == StepRun::OnNext::Matched)
        expectFrom_ = watch.unread;
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
    return writeScreenshot(name, ++shots_, platform::RenderAnimations::AsNow);
}

void ScenarioPlayer::arm(ArmedShot shot) {
    if (armed_.empty()) {
        // The observer holds no player: lines logged while it goes away find none.
        std::weak_ptr<ScenarioPlayer> weakSelf = weak_from_this();
        platform::setLogObserver([weakSelf](const std::string& line) {
            // Only the app's lines take a shot: the player's own, its failure
            // among them, may quote the awaited text without the moment having come.
            if (playerSpeaking) return;
            if (platform::RunLoop::isMainThread()) {
                if (auto self = weakSelf.lock()) self->lineLogged(line);
                return;
            }
            platform::RunLoop::main().post([weakSelf, line] {
                if (auto self = weakSelf.lock()) self->lineLogged(line);
            });
        });
    }
    armed_.push_back(std::move(shot));
}

void ScenarioPlayer::lineLogged(const std::string& line) {
    if (drawing_) return;
    for (std::size_t i = 0; i < armed_.size();) {
        if (line.find(armed_[i].text) == std::string::npos) {
            ++i;
            continue;
        }
        const ArmedShot shot = armed_[i];
        armed_.erase(armed_.begin() + static_cast<std::ptrdiff_t>(i));
        drawing_ = true;
        // The state the line tells of, not the first frame of the transitions it starts.
        const bool written = writeScreenshot(shot.name, shot.number, platform::RenderAnimations::Settled);
        drawing_ = false;
        if (!written) playerLog("could not write the screenshot " + shot.name);
    }
    if (armed_.empty()) platform::setLogObserver({});
}

bool ScenarioPlayer::writeScreenshot(const std::string& name, int number, platform::RenderAnimations animations) {
    if (shotsDirectory_.empty()) {
        if (!shotsUnwrittenSaid_) playerLog("no --shots folder: screenshots are not written");
        shotsUnwrittenSaid_ = true;
        return true;
    }
    auto delegate = appDelegate();
    auto window = delegate ? delegate->window() : platform::UIWindow::keyWindow();
    if (!window) return false;
    std::error_code ec;
    std::filesystem::create_directories(shotsDirectory_, ec);
    const std::string path = platform::format("%s/%02d-%s.png", shotsDirectory_.c_str(), number, name.c_str());
    if (!platform::renderViewToPNG(*window, path, 1, animations)) return false;
    playerLog("screenshot " + path);
    return true;
}

StepOutcome StepRun::watchLog(std::vector<std::string> texts, OnNext onNext, Look look) const {
    auto watch = std::make_shared<ScenarioPlayer::LogWatch>(
        ScenarioPlayer::LogWatch{index, player_->expectFrom_, std::move(texts), onNext, std::move(look), {}});
    if (auto outcome = player_->look(*watch)) return *outcome;
    player_->lookAgain(watch);
    return StepOutcome::waiting();
}

bool StepRun::screenshot(const std::string& name) const { return player_->screenshot(name); }

void StepRun::screenshotWhen(const std::string& name, const std::string& text) const {
    player_->arm({index, name, text, ++player_->shots_});
}

std::string StepRun::scenarioFolder() const { return player_ ? player_->folder_ : std::string(); }

}  // namespace sim
