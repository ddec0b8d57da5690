#include "platform/ui/ViewAnimation.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/foundation/Clock.h"

namespace platform {

namespace {

constexpr double kFrameInterval = 1.0 / 60;

void collectSubtree(const std::shared_ptr<UIView>& view, std::vector<std::shared_ptr<UIView>>& views) {
    views.push_back(view);
    for (const auto& child : view->subviews()) collectSubtree(child, views);
}

double easeInEaseOut(double t) { return t * t * (3 - 2 * t); }

}  // namespace

std::shared_ptr<UIViewAnimation> UIViewAnimation::transitionWithView(const std::shared_ptr<UIView>& view,
                                                                      double duration, unsigned,
                                                                      const Animations& animations,
                                                                      Completion completion) {
    assertMainThread("UIViewAnimation::transitionWithView");
    std::shared_ptr<UIViewAnimation> animation(new UIViewAnimation);
    animation->completion_ = std::move(completion);
    animation->duration_ = std::isfinite(duration) && duration > 0 ? duration : 0;

    std::vector<std::shared_ptr<UIView>> views;
    if (view) collectSubtree(view, views);
    std::vector<double> before;
    for (const auto& v : views) before.push_back(v->alpha());
    if (animations) animations();
    for (std::size_t i = 0; i < views.size(); ++i) {
        const double after = views[i]->alpha();
        if (after == before[i]) continue;
        animation->tracks_.push_back({views[i], before[i], after});
        if (animation->duration_ > 0) views[i]->setAlpha(before[i]);
    }
    animation->start_ = clock().now();
    animation->schedule(animation->duration_ > 0 ? kFrameInterval : 0);
    return animation;
}

void UIViewAnimation::animateWithDuration(double duration, const Animations& animations, Completion completion) {
    assertMainThread("UIViewAnimation::animateWithDuration");
    if (animations) animations();
    if (!completion) return;
    const double delay = std::isfinite(duration) && duration > 0 ? duration : 0;
    RunLoop::main().after(delay, [completion = std::move(completion)] { completion(true); });
}

void UIViewAnimation::schedule(double delay) {
    timer_ = RunLoop::main().after(delay, [self = shared_from_this()] { self->step(); });
}

void UIViewAnimation::step() {
    timer_ = 0;
    if (!running_) return;
    const double progress = duration_ > 0 ? std::clamp((clock().now() - start_) / duration_, 0.0, 1.0) : 1.0;
    const double eased = easeInEaseOut(progress);
    for (const auto& track : tracks_)
        if (auto view = track.view.lock()) view->setAlpha(track.from + (track.to - track.from) * eased);
    if (progress >= 1)
        finish(true);
    else
        // The last frame lands on the end, not up to a frame after it.
        schedule(std::min(kFrameInterval, start_ + duration_ - clock().now()));
}

void UIViewAnimation::cancel() {
    if (!running_) return;
    if (timer_) RunLoop::main().cancel(timer_);
    timer_ = 0;
    finish(false);
}

void UIViewAnimation::finish(bool finished) {
    running_ = false;
    const auto keepAlive = shared_from_this();
    if (auto completion = std::exchange(completion_, nullptr)) completion(finished);
}

}  // namespace platform
