#pragma once
// The card guide over the camera preview: corner marks and edge lines around
// the rectangle where the user holds the card, a faint card-shaped gradient
// inside it, and a dark mask outside it while a card is locked on. Each
// processed frame's edge verdicts feed smoothed scores: an edge line shows
// while its edge is found reliably, and the guide locks on once all four
// edges were found in enough recent frames. State changes are logged
// ("card guide: N edges", "card guide: locked on", "card guide: unlocked").
//
// Main thread only: the camera view builds and drives it and hands it frames
// only after they reached the main thread. The delegate is held weakly.

#include <memory>
#include <optional>

#include "platform/graphics/Color.h"
#include "platform/graphics/Geometry.h"
#include "platform/graphics/Layer.h"
#include "platform/graphics/Path.h"

namespace cardscanner {

class ZeduVIVideoFrame;

class ZeduVIGuideLayerDelegate {
public:
    virtual ~ZeduVIGuideLayerDelegate() = default;
    // The guide rectangle inside its lines, in the guide layer's coordinates.
    virtual void guideLayerDidLayout(platform::CGRect rect) = 0;
};

class ZeduVIGuideLayer : public platform::CALayer {
public:
    // The initialiser; marks the layer for layout.
    static std::shared_ptr<ZeduVIGuideLayer> create(const std::shared_ptr<ZeduVIGuideLayerDelegate>& delegate);
    explicit ZeduVIGuideLayer(std::weak_ptr<ZeduVIGuideLayerDelegate> delegate);

    std::shared_ptr<ZeduVIGuideLayerDelegate> guideLayerDelegate() const { return guideLayerDelegate_.lock(); }
    void setGuideLayerDelegate(std::weak_ptr<ZeduVIGuideLayerDelegate> delegate) {
        guideLayerDelegate_ = std::move(delegate);
    }
    const platform::UIColor& guideColor() const { return guideColor_; }
    // Nothing: opaque green.
    void setGuideColor(std::optional<platform::UIColor> color);
    const std::shared_ptr<ZeduVIVideoFrame>& videoFrame() const { return videoFrame_; }
    void setVideoFrame(std::shared_ptr<ZeduVIVideoFrame> frame);
    double animationDuration() const { return animationDuration_; }
    void setAnimationDuration(double seconds) { animationDuration_ = seconds; }
    long deviceOrientation() const { return deviceOrientation_; }
    void setDeviceOrientation(long orientation) { deviceOrientation_ = orientation; }

    const std::shared_ptr<platform::CAGradientLayer>& fauxCardLayer() const { return fauxCardLayer_; }
    const std::shared_ptr<platform::CAShapeLayer>& backgroundOverlay() const { return backgroundOverlay_; }
    const std::shared_ptr<platform::CAShapeLayer>& topLayer() const { return topLayer_; }
    const std::shared_ptr<platform::CAShapeLayer>& bottomLayer() const { return bottomLayer_; }
    const std::shared_ptr<platform::CAShapeLayer>& leftLayer() const { return leftLayer_; }
    const std::shared_ptr<platform::CAShapeLayer>& rightLayer() const { return rightLayer_; }
    const std::shared_ptr<platform::CAShapeLayer>& topLeftLayer() const { return topLeftLayer_; }
    const std::shared_ptr<platform::CAShapeLayer>& topRightLayer() const { return topRightLayer_; }
    const std::shared_ptr<platform::CAShapeLayer>& bottomLeftLayer() const { return bottomLeftLayer_; }
    const std::shared_ptr<platform::CAShapeLayer>& bottomRightLayer() const { return bottomRightLayer_; }

    bool guidesLockedOn() const { return guidesLockedOn_; }
    float edgeScoreTop() const { return edgeScoreTop_; }
    float edgeScoreRight() const { return edgeScoreRight_; }
    float edgeScoreBottom() const { return edgeScoreBottom_; }
    float edgeScoreLeft() const { return edgeScoreLeft_; }
    float allEdgesFoundDecayedScore() const { return allEdgesFoundDecayedScore_; }

    // For an orientation outside 1...4, the portrait guide; turned for a
    // landscape status bar.
    static platform::CGRect guideFrameForDeviceOrientation(long orientation, platform::CGSize size);
    platform::CGRect guideFrame() const;
    void didRotateToDeviceOrientation(long orientation);
    void showCardFound(bool found);
    void updateStrokes();
    void layoutSublayers() override;

    // Strokes scale down in layers narrower than 300.
    double sizeForBounds(double size) const;
    double lineWidth() const { return sizeForBounds(12); }
    double cornerSize() const { return sizeForBounds(50); }
    platform::CGPoint landscapeVEdgeAdj() const { return {cornerSize() - 0.2, 0}; }
    platform::CGPoint landscapeHEdgeAdj() const { return {0, cornerSize() - 0.2}; }

    static platform::CGMutablePathRef newPathFromPoint(platform::CGPoint from, platform::CGPoint to);
    // An open L with its corner at `point`; position types 0...3 pick where
    // the arms point.
    static platform::CGMutablePathRef newCornerPathFromPoint(platform::CGPoint point, double size, int positionType);
    platform::CGMutablePathRef newMaskPathForGuideFrame(platform::CGRect guideFrame, platform::CGRect outerFrame) const;

    void animateLayer(platform::CAShapeLayer& layer, const platform::CGPathRef& path);
    void animateEdgeLayer(platform::CAShapeLayer& layer, platform::CGPoint from, platform::CGPoint to,
                          platform::CGPoint adjustedBy);
    void animateCornerLayer(platform::CAShapeLayer& layer, platform::CGPoint point, int positionType);
    void animateCardMask(platform::CGRect guideFrame);
    void animateFauxCardLayerToFrame(platform::CGRect frame);
    void setLayerPaths();

private:
    int visibleEdgeLines() const;

    std::weak_ptr<ZeduVIGuideLayerDelegate> guideLayerDelegate_;
    platform::UIColor guideColor_ = platform::UIColor::greenColor();
    std::shared_ptr<ZeduVIVideoFrame> videoFrame_;
    double animationDuration_ = 0;
    long deviceOrientation_ = 1;
    std::shared_ptr<platform::CAGradientLayer> fauxCardLayer_;
    std::shared_ptr<platform::CAShapeLayer> backgroundOverlay_;
    std::shared_ptr<platform::CAShapeLayer> topLayer_, bottomLayer_, leftLayer_, rightLayer_;
    std::shared_ptr<platform::CAShapeLayer> topLeftLayer_, topRightLayer_, bottomLeftLayer_, bottomRightLayer_;
    bool guidesLockedOn_ = false;
    float edgeScoreTop_ = 0, edgeScoreRight_ = 0, edgeScoreBottom_ = 0, edgeScoreLeft_ = 0;
    float allEdgesFoundDecayedScore_ = 0;
    int loggedEdgeLines_ = 4;
};

}  // namespace cardscanner
