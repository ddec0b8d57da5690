#pragma once
// A view's layer, as far as its owners ask: rounded corners, clipping to its
// bounds, and animations. Animations are recorded under their keys and
// answered back; nothing plays them (no frame clock drives the screen here),
// so a view's own properties never move because of one. Main thread only.

#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/graphics/Geometry.h"

namespace platform {

class CAAnimation {
public:
    virtual ~CAAnimation() = default;
    double duration() const { return duration_; }
    void setDuration(double seconds) { duration_ = seconds; }

private:
    double duration_ = 0.25;
};

// A key-frame value: a point (for "position") or any other value.
using CAKeyframeValue = std::variant<CGPoint, Value>;

class CAKeyframeAnimation : public CAAnimation {
public:
    static std::shared_ptr<CAKeyframeAnimation> animationWithKeyPath(std::string keyPath);

    const std::string& keyPath() const { return keyPath_; }
    const std::vector<CAKeyframeValue>& values() const { return values_; }
    void setValues(std::vector<CAKeyframeValue> values) { values_ = std::move(values); }
    const std::vector<double>& keyTimes() const { return keyTimes_; }
    void setKeyTimes(std::vector<double> times) { keyTimes_ = std::move(times); }

private:
    std::string keyPath_;
    std::vector<CAKeyframeValue> values_;
    std::vector<double> keyTimes_;
};

class CALayer {
public:
    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double radius) { cornerRadius_ = radius < 0 ? 0 : radius; }
    bool masksToBounds() const { return masksToBounds_; }
    void setMasksToBounds(bool masks) { masksToBounds_ = masks; }

    // A later animation under the same key replaces the earlier one.
    void addAnimationForKey(std::shared_ptr<CAAnimation> animation, const std::string& key);
    std::shared_ptr<CAAnimation> animationForKey(const std::string& key) const;
    std::vector<std::string> animationKeys() const;
    void removeAnimationForKey(const std::string& key) { animations_.erase(key); }
    void removeAllAnimations() { animations_.clear(); }

private:
    double cornerRadius_ = 0;
    bool masksToBounds_ = false;
    std::map<std::string, std::shared_ptr<CAAnimation>> animations_;
};

}  // namespace platform
