#pragma once
// The gesture grid: a grid of nodes (3 rows of 3 by default) on which the
// user draws a pattern by touching one node and dragging across others. The
// grid draws a line through the nodes entered and on to the finger, and
// reports the pattern to its delegate as the node numbers joined by ",".
//
// The owner can turn on an error look for the last pattern (errorHasOccured
// set from the delegate's end call); it clears itself 2.0 s after it is
// drawn, or sooner through clearButtonImageView() when the next pattern
// starts. At most one such timer is ever pending, so a timer left over from
// an earlier error can never wipe a pattern that is being drawn.
//
// The nodes are buttons inside a transparent content view; they take no
// touches themselves, the grid tracks every touch. Made with create(), as the
// grid's tree needs the grid to be shared while it is built. Main thread only.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/RunLoop.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/GeometryFunctions.h"
#include "platform/graphics/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/View.h"

namespace plugins {

class GPGestureLockView;

// Every method is optional: a delegate answers respondsToSelector() for the
// ones it implements, and the grid asks once, when the delegate is assigned.
class GPGestureLockViewDelegate {
public:
    static constexpr const char* kDidBeginWithPasscode = "gestureLockView:didBeginWithPasscode:";
    static constexpr const char* kDidEndWithPasscode = "gestureLockView:didEndWithPasscode:";
    static constexpr const char* kDidCanceledWithPasscode = "gestureLockView:didCanceledWithPasscode:";

    virtual ~GPGestureLockViewDelegate() = default;
    virtual bool respondsToSelector(const std::string& selector) const { return false; }
    virtual void gestureLockViewDidBeginWithPasscode(GPGestureLockView& gestureLockView, const std::string& passcode) {}
    virtual void gestureLockViewDidEndWithPasscode(GPGestureLockView& gestureLockView, const std::string& passcode) {}
    virtual void gestureLockViewDidCanceledWithPasscode(GPGestureLockView& gestureLockView, const std::string& passcode) {}
};

class GPGestureLockView : public platform::UIView {
public:
    static std::shared_ptr<GPGestureLockView> create(platform::CGRect frame);
    ~GPGestureLockView() override;

    const std::vector<std::shared_ptr<platform::UIButton>>& buttons() const { return buttons_; }
    const std::vector<std::shared_ptr<platform::UIButton>>& selectedButtons() const { return selectedButtons_; }

    unsigned numberOfGestureNodes() const { return numberOfGestureNodes_; }
    // Rebuilds the nodes (a count equal to the current one changes nothing).
    void setNumberOfGestureNodes(unsigned count);
    unsigned gestureNodesPerRow() const { return gestureNodesPerRow_; }
    void setGestureNodesPerRow(unsigned perRow);

    const std::shared_ptr<platform::UIImage>& normalGestureNodeImage() const { return normalGestureNodeImage_; }
    // Grows buttonSize to the image (never shrinks it) and re-images the nodes.
    void setNormalGestureNodeImage(std::shared_ptr<platform::UIImage> image);
    const std::shared_ptr<platform::UIImage>& selectedGestureNodeImage() const { return selectedGestureNodeImage_; }
    void setSelectedGestureNodeImage(std::shared_ptr<platform::UIImage> image);

    // Applies to the next drawing only: each drawing leaves the cyan line colour behind.
    const platform::UIColor& lineColor() const { return lineColor_; }
    void setLineColor(platform::UIColor color) { lineColor_ = color; }
    double lineWidth() const { return lineWidth_; }
    void setLineWidth(double width) { lineWidth_ = width; }

    const std::shared_ptr<platform::UIView>& contentView() const { return contentView_; }
    platform::CGSize buttonSize() const { return buttonSize_; }
    void setButtonSize(platform::CGSize size) { buttonSize_ = size; }
    platform::CGPoint trackedLocationInContentView() const { return trackedLocationInContentView_; }
    void setTrackedLocationInContentView(platform::CGPoint point) { trackedLocationInContentView_ = point; }
    platform::UIEdgeInsets contentInsets() const { return contentInsets_; }
    void setContentInsets(platform::UIEdgeInsets insets);

    bool errorHasOccured() const { return errorHasOccured_; }
    void setErrorHasOccured(bool error) { errorHasOccured_ = error; }

    std::shared_ptr<GPGestureLockViewDelegate> delegate() const { return delegate_.lock(); }
    // Held weakly; which events it hears is settled now.
    void setDelegate(std::weak_ptr<GPGestureLockViewDelegate> delegate);

    // Ends the error look and the pattern (the error timer calls it).
    void clear();
    // Ends the error look as the next pattern starts; the pattern stays.
    void clearButtonImageView();
    // Whether the error look's clearing timer is pending.
    bool hasPendingClear() const { return timer_.has_value(); }

    std::shared_ptr<platform::UIImage> imageWithColor(const platform::UIColor& color, platform::CGSize size) const;
    // The first node whose frame holds the point (content view coordinates).
    std::shared_ptr<platform::UIButton> _buttonContainsThePoint(platform::CGPoint point) const;

    void layoutSubviews() override;
    void touchesBegan(const platform::UITouchSet& touches, const platform::UIEvent& event) override;
    void touchesMoved(const platform::UITouchSet& touches, const platform::UIEvent& event) override;
    void touchesEnded(const platform::UITouchSet& touches, const platform::UIEvent& event) override;
    void touchesCancelled(const platform::UITouchSet& touches, const platform::UIEvent& event) override;
    void drawRect(platform::CGRect rect) override;

    bool isKindOfClass(const std::string& className) const override {
        return className == "GPGestureLockView" || UIView::isKindOfClass(className);
    }

protected:
    explicit GPGestureLockView(platform::CGRect frame);
    void _lockViewInitialize();
    // The pattern of selectedButtons: node numbers joined by ",".
    std::string passcodeOfSelection() const;
    void appendSelected(const std::shared_ptr<platform::UIButton>& button);
    void clearSelectedButtons() { selectedButtons_.clear(); }
    void dropTimer();

private:
    void finishTouch(bool cancelled);
    platform::CGPoint touchLocation(const platform::UITouchSet& touches) const;

    std::optional<platform::RunLoop::TimerId> timer_;
    struct {
        bool didBeginWithPasscode = false;
        bool didEndWithPasscode = false;
        bool didCanceled = false;
    } delegateFlags_;
    bool errorHasOccured_ = false;
    std::vector<std::shared_ptr<platform::UIButton>> buttons_;
    std::vector<std::shared_ptr<platform::UIButton>> selectedButtons_;
    unsigned numberOfGestureNodes_ = 0;
    unsigned gestureNodesPerRow_ = 3;
    std::shared_ptr<platform::UIImage> normalGestureNodeImage_;
    std::shared_ptr<platform::UIImage> selectedGestureNodeImage_;
    platform::UIColor lineColor_;
    double lineWidth_ = 16;
    std::shared_ptr<platform::UIView> contentView_;
    std::weak_ptr<GPGestureLockViewDelegate> delegate_;
    platform::CGSize buttonSize_{60, 60};
    platform::CGPoint trackedLocationInContentView_{-1, -1};
    platform::UIEdgeInsets contentInsets_;
};

// Shows a given pattern; takes no touches.
class GPGestureLockPreviewView : public GPGestureLockView {
public:
    static std::shared_ptr<GPGestureLockPreviewView> create(platform::CGRect frame);

    const std::string& passcode() const { return passcode_; }
    void setPasscode(std::string passcode);

    bool isKindOfClass(const std::string& className) const override {
        return className == "GPGestureLockPreviewView" || GPGestureLockView::isKindOfClass(className);
    }

protected:
    using GPGestureLockView::GPGestureLockView;

private:
    std::string passcode_;
};

}  // namespace plugins
