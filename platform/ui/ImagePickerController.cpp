#include "platform/ui/ImagePickerController.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <mutex>

#include "platform/foundation/FileManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/RunLoop.h"
#include "platform/graphics/BezierPath.h"
#include "platform/graphics/Context.h"
#include "platform/imageio/ImageMetadata.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/NavigationItem.h"
#include "platform/ui/PhotoLibrary.h"
#include "platform/ui/PopoverController.h"
#include "platform/ui/Screen.h"

namespace platform {

namespace {

bool& cameraPresent() {
    static NeverDestroyed<bool> present{ResetStage::Services, [](bool& p) { p = true; }, true};
    return *present;
}

// Pickers whose view was ever loaded, in order of loading; the on-screen
// ones are found among them.
std::vector<std::weak_ptr<UIImagePickerController>>& knownPickers() {
    static NeverDestroyed<std::vector<std::weak_ptr<UIImagePickerController>>> pickers{
        ResetStage::Interface, [](std::vector<std::weak_ptr<UIImagePickerController>>& p) { p.clear(); }};
    return *pickers;
}

const char* sourceName(long source) {
    switch (source) {
        case UIImagePickerControllerSourceTypeCamera: return "Camera";
        case UIImagePickerControllerSourceTypeSavedPhotosAlbum: return "Saved Photos";
        default: return "Photos";
    }
}

bool allowsType(const UIImagePickerController& picker, const char* type) {
    const auto& types = picker.mediaTypes();
    return std::find(types.begin(), types.end(), type) != types.end();
}

bool fail(std::string* error, std::string reason) {
    if (error) *error = std::move(reason);
    return false;
}

// The picker's screen: dark, with the source's name over the library's
// thumbnails or a viewfinder.
class PickerView : public UIView {
public:
    // `images` and `videos`: which of the library's files the picker offers.
    PickerView(CGRect frame, long source, bool images, bool videos)
        : UIView(frame), source_(source), heading_(sourceName(source)) {
        setBackgroundColor(UIColor::colorWithWhiteAlpha(0.08, 1));
        FileManager& files = FileManager::defaultManager();
        if (source_ == UIImagePickerControllerSourceTypeCamera) {
            if (auto bytes = files.contentsAtPath(PhotoLibrary::cameraFixturePath()))
                thumbnails_.push_back(viewfinderImage(std::move(*bytes), frame.size));
            return;
        }
        // A tile needs no more pixels than it shows: a photo decoded whole
        // for it would cost its full size twelve times over.
        const int tilePixels = static_cast<int>(std::ceil(tileSide(frame.size.width) * UIScreen::mainScreen().scale()));
        for (const std::string& name : PhotoLibrary::fileNames()) {
            if (thumbnails_.size() >= 12) break;
            std::shared_ptr<UIImage> image;
            const bool video = PhotoLibrary::isVideoFile(name);
            if (video ? !videos : !images) continue;
            if (!video) {
                if (auto bytes = files.contentsAtPath(PhotoLibrary::directory() + "/" + name))
                    image = UIImage::thumbnailWithData(*bytes, tilePixels);
            }
            thumbnails_.push_back(std::move(image));
            videos_.push_back(video);
        }
    }

    void drawRect(CGRect) override {
        CGContextRef c = UIGraphicsGetCurrentContext();
        const CGSize size = bounds().size;
        drawTextInRect(heading_, {{0, 24}, {size.width, 32}}, UIFont::boldSystemFontOfSize(17),
                       UIColor::whiteColor(), NSTextAlignmentCenter);
        if (source_ == UIImagePickerControllerSourceTypeCamera) {
            const CGRect finder = finderRect(size);
            if (!thumbnails_.empty() && thumbnails_[0]) drawFilling(*thumbnails_[0], finder);
            CGContextSetStrokeColorWithColor(c, UIColor::whiteColor().CGColor());
            CGContextSetLineWidth(c, 2);
            CGContextStrokeRect(c, finder);
            CGContextSetFillColorWithColor(c, UIColor::whiteColor().CGColor());
            CGContextFillEllipseInRect(c, {{size.width / 2 - 30, size.height - 95}, {60, 60}});
            return;
        }
        const double gap = kTileGap, cell = tileSide(size.width);
        for (std::size_t i = 0; i < thumbnails_.size(); ++i) {
            const CGRect tile{{gap + (i % 4) * (cell + gap), 64 + (i / 4) * (cell + gap)}, {cell, cell}};
            if (thumbnails_[i]) {
                drawFilling(*thumbnails_[i], tile);
            } else {
                // An image that does not decode (or is too large to) stays an empty tile.
                CGContextSetFillColorWithColor(c, UIColor::darkGrayColor().CGColor());
                CGContextFillRect(c, tile);
                if (videos_[i])
                    drawTextInRect("video", tile, UIFont::systemFontOfSize(12), UIColor::whiteColor(), NSTextAlignmentCenter);
            }
        }
        if (thumbnails_.empty())
            drawTextInRect("No Photos", {{0, size.height / 2 - 16}, {size.width, 32}}, UIFont::systemFontOfSize(15),
                           UIColor::lightGrayColor(), NSTextAlignmentCenter);
    }

    // The shown controller's navigation title, or the source's name without one.
    void setHeading(std::string heading) {
        heading_ = heading.empty() ? sourceName(source_) : std::move(heading);
        setNeedsDisplay();
    }

    // What the viewfinder shows; null for the library's grid or without a picture.
    std::shared_ptr<UIImage> finderImage() const {
        return source_ == UIImagePickerControllerSourceTypeCamera && !thumbnails_.empty() ? thumbnails_[0] : nullptr;
    }

private:
    static constexpr double kTileGap = 4;
    // Below the heading, above the shutter button.
    static CGRect finderRect(CGSize size) { return {{20, 70}, {size.width - 40, size.height - 180}}; }

    // The camera's picture decoded no larger than the finder shows it, held
    // up or turned sideways: a photo decoded whole would stay on screen at
    // its full size while the pick decodes it again. One too small to be
    // reduced is decoded whole when first drawn.
    static std::shared_ptr<UIImage> viewfinderImage(Data bytes, CGSize viewSize) {
        auto picture = UIImage::imageWithDataDecodedWhenNeeded(std::move(bytes));
        if (!picture || !picture->heldJpegData()) return picture;
        const CGSize size = picture->size();
        double factor = 0;
        for (const CGSize view : {viewSize, CGSize{viewSize.height, viewSize.width}}) {
            const CGSize finder = finderRect(view).size;
            factor = std::max({factor, finder.width / size.width, finder.height / size.height});
        }
        factor *= UIScreen::mainScreen().scale();
        if (auto reduced = picture->reducedImageCovering({size.width * factor, size.height * factor})) return reduced;
        return picture;
    }
    // Four tiles a row, with gaps between them and at the edges.
    static double tileSide(double width) { return (width - 5 * kTileGap) / 4; }

    // Scaled to cover the rectangle, centred, the overflow cut off.
    static void drawFilling(const UIImage& image, CGRect rect) {
        const CGSize size = image.size();
        if (size.width <= 0 || size.height <= 0) return;
        const double factor = std::max(rect.size.width / size.width, rect.size.height / size.height);
        const CGSize scaled{size.width * factor, size.height * factor};
        CGContextRef c = UIGraphicsGetCurrentContext();
        if (!c) return;
        CGContextSaveGState(c);
        UIBezierPath::bezierPathWithRect(rect).appendTo(c->cairo());
        cairo_clip(c->cairo());
        image.drawInRect({{rect.origin.x + (rect.size.width - scaled.width) / 2,
                           rect.origin.y + (rect.size.height - scaled.height) / 2},
                          scaled});
        CGContextRestoreGState(c);
    }

    long source_;
    std::string heading_;
    std::vector<std::shared_ptr<UIImage>> thumbnails_;
    std::vector<bool> videos_;
};

// Runs the delegate's call with the picker kept alive: the delegate usually
// dismisses and drops it on the way.
template <class Call>
void tellDelegate(const std::shared_ptr<UIImagePickerController>& picker, Call call) {
    if (UIImagePickerControllerDelegate* delegate = picker->delegate()) call(*delegate);
}

}  // namespace

std::vector<std::string> UIImagePickerInfo::keys() const {
    std::vector<std::string> keys;
    if (!mediaType.empty()) keys.push_back(UIImagePickerControllerMediaType);
    if (originalImage) keys.push_back(UIImagePickerControllerOriginalImage);
    if (editedImage) keys.push_back(UIImagePickerControllerEditedImage);
    if (referenceURL) keys.push_back(UIImagePickerControllerReferenceURL);
    if (mediaURL) keys.push_back(UIImagePickerControllerMediaURL);
    if (mediaMetadata) keys.push_back(UIImagePickerControllerMediaMetadata);
    std::sort(keys.begin(), keys.end());
    return keys;
}

UIImagePickerController::UIImagePickerController() = default;

UIImagePickerController::~UIImagePickerController() = default;

bool UIImagePickerController::isSourceTypeAvailable(long sourceType) {
    switch (sourceType) {
        case UIImagePickerControllerSourceTypePhotoLibrary:
        case UIImagePickerControllerSourceTypeSavedPhotosAlbum: return true;
        case UIImagePickerControllerSourceTypeCamera: return cameraPresent();
        default: return false;
    }
}

std::vector<std::string> UIImagePickerController::availableMediaTypesForSourceType(long sourceType) {
    if (!isSourceTypeAvailable(sourceType)) return {};
    return {kUTTypeImage, kUTTypeMovie};
}

bool UIImagePickerController::isCameraDeviceAvailable(long cameraDevice) {
    return cameraPresent() &&
           (cameraDevice == UIImagePickerControllerCameraDeviceRear || cameraDevice == UIImagePickerControllerCameraDeviceFront);
}

void UIImagePickerController::setCameraAvailable(bool available) { cameraPresent() = available; }

void UIImagePickerController::loadView() {
    assertMainThread("UIImagePickerController::loadView");
    auto& pickers = knownPickers();
    std::erase_if(pickers, [](const auto& weak) { return weak.expired(); });
    pickers.push_back(std::static_pointer_cast<UIImagePickerController>(shared_from_this()));
    auto view = std::make_shared<PickerView>(UIScreenBounds, sourceType_, allowsType(*this, kUTTypeImage),
                                             allowsType(*this, kUTTypeMovie));
    view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    setView(std::move(view));
}

std::shared_ptr<UIImage> UIImagePickerController::viewfinderImage() {
    auto* picker = dynamic_cast<PickerView*>(view().get());
    return picker ? picker->finderImage() : nullptr;
}

void UIImagePickerController::viewWillAppear(bool animated) {
    UIViewController::viewWillAppear(animated);
    if (delegate_) delegate_->navigationControllerWillShowViewController(*this, *this, animated);
    const std::string& itemTitle = navigationItem()->title();
    if (auto* picker = dynamic_cast<PickerView*>(view().get())) picker->setHeading(itemTitle.empty() ? title() : itemTitle);
}

std::shared_ptr<UIImagePickerController> UIImagePickerController::visiblePicker() {
    assertMainThread("UIImagePickerController::visiblePicker");
    auto& pickers = knownPickers();
    for (auto it = pickers.rbegin(); it != pickers.rend(); ++it) {
        auto picker = it->lock();
        if (!picker) continue;
        if (picker->presentingViewController()) return picker;
        if (picker->popover_ && picker->popover_->isPopoverVisible()) return picker;
    }
    return nullptr;
}

bool UIImagePickerController::pickLibraryFile(const std::string& name, std::string* error) {
    auto picker = visiblePicker();
    if (!picker) return fail(error, "no picker on screen");
    if (picker->sourceType_ == UIImagePickerControllerSourceTypeCamera)
        return fail(error, "the picker shows the camera, not the library");
    const auto names = PhotoLibrary::fileNames();
    if (std::find(names.begin(), names.end(), name) == names.end())
        return fail(error, "no file \"" + name + "\" in the photo library");
    const std::string path = PhotoLibrary::directory() + "/" + name;
    UIImagePickerInfo info;
    info.referenceURL = PhotoLibrary::referenceURLForFile(name);
    if (PhotoLibrary::isVideoFile(name)) {
        if (!allowsType(*picker, kUTTypeMovie)) return fail(error, "the picker does not offer videos");
        info.mediaType = kUTTypeMovie;
        info.mediaURL = URL::fileURLWithPath(path);
    } else {
        if (!allowsType(*picker, kUTTypeImage)) return fail(error, "the picker does not offer images");
        // Decoded now: a library file may be damaged, and the pick must fail
        // then rather than hand over a picture with nothing in it.
        const auto bytes = FileManager::defaultManager().contentsAtPath(path);
        info.originalImage = bytes ? UIImage::imageWithData(*bytes) : nullptr;
        if (!info.originalImage) return fail(error, "\"" + name + "\" is not a readable image");
        info.mediaType = kUTTypeImage;
        // The editor's starting crop: the whole picture, upright.
        if (picker->allowsEditing_) info.editedImage = info.originalImage->uprightImage();
    }
    tellDelegate(picker, [&](auto& d) { d.imagePickerControllerDidFinishPickingMediaWithInfo(*picker, info); });
    return true;
}

bool UIImagePickerController::takeCameraPicture(std::string* error) {
    auto picker = visiblePicker();
    if (!picker) return fail(error, "no picker on screen");
    if (picker->sourceType_ != UIImagePickerControllerSourceTypeCamera) return fail(error, "the picker shows no camera");
    if (!cameraPresent()) return fail(error, "the device has no camera");
    if (!allowsType(*picker, kUTTypeImage)) return fail(error, "the picker does not take pictures");
    const std::string path = PhotoLibrary::cameraFixturePath();
    if (path.empty()) {
        const std::string folder = PhotoLibrary::fixtureFolderPath();
        return fail(error, folder.empty() ? "no camera picture (camera.jpg): no fixture folder was given"
                                          : "no camera picture (camera.jpg) in the fixture folder " + folder);
    }
    const auto bytes = FileManager::defaultManager().contentsAtPath(path);
    UIImagePickerInfo info;
    info.originalImage = bytes ? UIImage::imageWithDataDecodedWhenNeeded(*bytes) : nullptr;
    if (!info.originalImage) return fail(error, "the camera picture is not a readable image");
    info.mediaType = kUTTypeImage;
    // Read from the bytes the picture itself is read from, so that the
    // metadata's orientation is always the one the picture is turned by.
    const auto& held = info.originalImage->heldJpegData();
    auto metadata = held ? metadataOfJpegData(*held) : std::nullopt;
    info.mediaMetadata = metadata ? std::move(*metadata) : Dictionary{};
    if (picker->allowsEditing_) info.editedImage = info.originalImage->uprightImage();
    tellDelegate(picker, [&](auto& d) { d.imagePickerControllerDidFinishPickingMediaWithInfo(*picker, info); });
    return true;
}

bool UIImagePickerController::pickVideo(std::string* error) {
    auto picker = visiblePicker();
    if (!picker) return fail(error, "no picker on screen");
    for (const std::string& name : PhotoLibrary::fileNames()) {
        if (PhotoLibrary::isVideoFile(name)) return pickLibraryFile(name, error);
    }
    return fail(error, "no video in the photo library");
}

bool UIImagePickerController::cancel(std::string* error) {
    auto picker = visiblePicker();
    if (!picker) return fail(error, "no picker on screen");
    tellDelegate(picker, [&](auto& d) { d.imagePickerControllerDidCancel(*picker); });
    return true;
}

}  // namespace platform
