#include "platform/graphics/Layer.h"

namespace platform {

std::shared_ptr<CAKeyframeAnimation> CAKeyframeAnimation::animationWithKeyPath(std::string keyPath) {
    auto animation = std::make_shared<CAKeyframeAnimation>();
    animation->keyPath_ = std::move(keyPath);
    return animation;
}

void CALayer::addAnimationForKey(std::shared_ptr<CAAnimation> animation, const std::string& key) {
    if (!animation) return;
    animations_[key] = std::move(animation);
}

std::shared_ptr<CAAnimation> CALayer::animationForKey(const std::string& key) const {
    auto it = animations_.find(key);
    return it == animations_.end() ? nullptr : it->second;
}

std::vector<std::string> CALayer::animationKeys() const {
    std::vector<std::string> keys;
    for (const auto& [key, animation] : animations_) keys.push_back(key);
    return keys;
}

}  // namespace platform
