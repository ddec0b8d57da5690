#pragma once
// View transitions on the main run loop's clock. A transition on a view runs
// its animations block at once, then moves the alpha of every view of that
// view's subtree that the block changed from its old value to the new one
// over the duration (ease in, ease out), one frame every 1/60 s of the clock,
// and runs the completion when done. Only alpha is animated; any other change
// the block makes shows at once. Timers drive the frames, so a manual clock
// steps a transition without sleeping.
//
// The animation keeps itself alive until it finishes or is cancelled; its
// owner may drop the handle. It holds the views weakly: a view that goes away
// is simply no longer animated. Main thread only.

#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/RunLoop.h"
#include "platform/ui/View.h"

namespace platform {

enum UIViewAnimationOptions : unsigned { UIViewAnimationOptionNone = 0 };

class UIViewAnimation : public std::enable_shared_from_this<UIViewAnimation> {
public:
    using Animations = std::function<void()>;
    using Completion = std::function<void(bool finished)>;

    // A duration of 0 or less (or not a number) applies the change at once;
    // the completion then runs on the next turn of the run loop, never
    // inside this call.
    static std::shared_ptr<UIViewAnimation> transitionWithView(const std::shared_ptr<UIView>& view, double duration,
                                                               unsigned options, const Animations& animations,
                                                               Completion completion);

    // Applies the block's changes at once (nothing moves in between) and runs
    // the completion with true once the duration has passed on the run loop's
    // clock; for no duration, on the next turn, never inside this call.
    static void animateWithDuration(double duration, const Animations& animations, Completion completion);

    // Stops where it is: the views keep the alpha of the moment and the
    // completion runs with false. Nothing once finished or cancelled.
    void cancel();
    bool isRunning() const { return running_; }
    double duration() const { return duration_; }

private:
    struct Track {
        std::weak_ptr<UIView> view;
        double from;
        double to;
    };
    UIViewAnimation() = default;
    void schedule(double delay);
    void step();
    void finish(bool finished);

    std::vector<Track> tracks_;
    double start_ = 0;
    double duration_ = 0;
    Completion completion_;
    RunLoop::TimerId timer_ = 0;
    bool running_ = true;
};

}  // namespace platform
