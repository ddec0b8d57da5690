#include "platform/ui/ImagePickerController.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "TemporaryDirectory.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Log.h"
#include "platform/graphics/Context.h"
#include "platform/graphics/GeometryFunctions.h"
#include "platform/imageio/ImageMetadata.h"
#include "platform/ui/Device.h"
#include "platform/ui/PhotoLibrary.h"
#include "platform/ui/PopoverController.h"
#include "platform/ui/Render.h"
#include "platform/ui/Window.h"
#include "tests/support/FaultInput.h"

using namespace platform;

namespace {

struct RecordingDelegate : UIImagePickerControllerDelegate {
    std::vector<UIImagePickerInfo> picks;
    int cancels = 0;
    void imagePickerControllerDidFinishPickingMediaWithInfo(UIImagePickerController&,
                                                            const UIImagePickerInfo& info) override {
        picks.push_back(info);
    }
    void imagePickerControllerDidCancel(UIImagePickerController&) override { ++cancels; }
};

class ImagePicker : public ::testing::Test {
protected:
    void SetUp() override {
        previousHome_ = FileManager::homeDirectory();
        FileManager::setHomeDirectory(folder_.file("home"));
        ASSERT_TRUE(PhotoLibrary::fillFromFolder(std::string(HYBRID_SOURCE_DIR) + "/examples/photos"));
        UIImagePickerController::setCameraAvailable(true);
        window_ = std::make_shared<UIWindow>();
        window_->setRootViewController(root_);
        window_->makeKeyAndVisible();
    }
    void TearDown() override {
        root_->dismissViewControllerAnimated(false);
        UIImagePickerController::setCameraAvailable(true);
        PhotoLibrary::setFixtureFolder("");
        FileManager::setHomeDirectory(previousHome_);
    }
    // The holder first, the picker from it, as the camera plugin shows it.
    std::shared_ptr<UIImagePickerController> present(long source, std::vector<std::string> types = {kUTTypeImage}) {
        auto picker = std::make_shared<UIImagePickerController>();
        picker->setSourceType(source);
        picker->setMediaTypes(std::move(types));
        picker->setDelegate(&delegate_);
        root_->presentViewController(holder_, false, [&] { holder_->presentViewController(picker, true); });
        return picker;
    }

    testing_support::TemporaryDirectory folder_;
    std::string previousHome_;
    std::shared_ptr<UIWindow> window_;
    std::shared_ptr<UIViewController> root_ = std::make_shared<UIViewController>();
    std::shared_ptr<UIViewController> holder_ = std::make_shared<UIViewController>();
    RecordingDelegate delegate_;
};

}  // namespace

TEST_F(ImagePicker, IsPresentedFullScreenThroughTheHolderAndGoneWithIt) {
    std::string error;
    EXPECT_FALSE(UIImagePickerController::cancel(&error));
    EXPECT_EQ(error, "no picker on screen");
    auto picker = present(UIImagePickerControllerSourceTypePhotoLibrary);
    EXPECT_EQ(UIImagePickerController::visiblePicker(), picker);
    EXPECT_EQ(picker->presentingViewController(), holder_);
    EXPECT_EQ(picker->view()->superview(), window_);
    EXPECT_EQ(picker->view()->frame(), window_->bounds());
    picker->dismissViewControllerAnimated(false, [&] { holder_->dismissViewControllerAnimated(false); });
    EXPECT_EQ(UIImagePickerController::visiblePicker(), nullptr);
    EXPECT_EQ(picker->view()->superview(), nullptr);
    EXPECT_EQ(root_->presentedViewController(), nullptr);
    EXPECT_FALSE(UIImagePickerController::pickVideo(&error));
    EXPECT_EQ(delegate_.picks.size(), 0u);
}

TEST_F(ImagePicker, TheCameraIsThereOnlyOnADeviceWithOne) {
    EXPECT_TRUE(UIImagePickerController::isSourceTypeAvailable(UIImagePickerControllerSourceTypeCamera));
    EXPECT_EQ(UIImagePickerController::availableMediaTypesForSourceType(UIImagePickerControllerSourceTypeCamera),
              (std::vector<std::string>{kUTTypeImage, kUTTypeMovie}));
    UIImagePickerController::setCameraAvailable(false);
    EXPECT_FALSE(UIImagePickerController::isSourceTypeAvailable(UIImagePickerControllerSourceTypeCamera));
    EXPECT_TRUE(UIImagePickerController::availableMediaTypesForSourceType(UIImagePickerControllerSourceTypeCamera).empty());
    EXPECT_TRUE(UIImagePickerController::isSourceTypeAvailable(UIImagePickerControllerSourceTypePhotoLibrary));
    EXPECT_TRUE(UIImagePickerController::isSourceTypeAvailable(UIImagePickerControllerSourceTypeSavedPhotosAlbum));
    EXPECT_FALSE(UIImagePickerController::isSourceTypeAvailable(7));
}

TEST_F(ImagePicker, ALibraryImageComesWithItsReferenceURLWhichResolvesToTheFile) {
    auto picker = present(UIImagePickerControllerSourceTypePhotoLibrary);
    picker->setAllowsEditing(true);
    ASSERT_TRUE(UIImagePickerController::pickLibraryFile("beach.jpg"));
    ASSERT_EQ(delegate_.picks.size(), 1u);
    const UIImagePickerInfo& info = delegate_.picks[0];
    EXPECT_EQ(info.keys(), (std::vector<std::string>{UIImagePickerControllerEditedImage, UIImagePickerControllerMediaType,
                                                     UIImagePickerControllerOriginalImage,
                                                     UIImagePickerControllerReferenceURL}));
    EXPECT_EQ(info.mediaType, kUTTypeImage);
    EXPECT_EQ(info.originalImage->size(), CGSizeMake(320, 240));
    EXPECT_EQ(info.referenceURL->absoluteString(), "assets-library://asset/asset.JPG?id=beach&ext=JPG");
    EXPECT_EQ(PhotoLibrary::pathForReferenceURL(*info.referenceURL), PhotoLibrary::directory() + "/beach.jpg");
    EXPECT_EQ(PhotoLibrary::pathForReferenceURL(*URL::create("assets-library://asset/asset.JPG?id=nothing&ext=JPG")),
              std::nullopt);
    // The camera's own picture is not in the library.
    EXPECT_FALSE(UIImagePickerController::pickLibraryFile("camera.jpg"));
}

TEST_F(ImagePicker, AVideoComesAsAMediaURLAndOnlyWhenVideosAreOffered) {
    std::string error;
    present(UIImagePickerControllerSourceTypePhotoLibrary);
    EXPECT_FALSE(UIImagePickerController::pickVideo(&error));
    EXPECT_EQ(error, "the picker does not offer videos");
    root_->dismissViewControllerAnimated(false);
    present(UIImagePickerControllerSourceTypePhotoLibrary, {kUTTypeMovie});
    ASSERT_TRUE(UIImagePickerController::pickVideo(&error)) << error;
    const UIImagePickerInfo& info = delegate_.picks.at(0);
    EXPECT_EQ(info.keys(), (std::vector<std::string>{UIImagePickerControllerMediaType, UIImagePickerControllerMediaURL,
                                                     UIImagePickerControllerReferenceURL}));
    EXPECT_EQ(info.mediaType, kUTTypeMovie);
    EXPECT_EQ(info.mediaURL->absoluteString(), URL::fileURLWithPath(PhotoLibrary::directory() + "/clip.mov").absoluteString());
}

TEST_F(ImagePicker, ACameraPictureCarriesItsOrientationAndMetadata) {
    present(UIImagePickerControllerSourceTypeCamera);
    ASSERT_TRUE(UIImagePickerController::takeCameraPicture());
    const UIImagePickerInfo& info = delegate_.picks.at(0);
    EXPECT_EQ(info.keys(), (std::vector<std::string>{UIImagePickerControllerMediaMetadata, UIImagePickerControllerMediaType,
                                                     UIImagePickerControllerOriginalImage}));
    EXPECT_EQ(info.originalImage->imageOrientation(), UIImageOrientationRight);
    EXPECT_EQ(info.originalImage->pixelWidth(), 640);
    EXPECT_EQ(info.originalImage->size(), CGSizeMake(480, 640));
    const Dictionary& metadata = *info.mediaMetadata;
    EXPECT_EQ(metadata.at(kCGImagePropertyOrientation).intValue(), 6);
    EXPECT_EQ(*metadata.at(kCGImagePropertyTIFFDictionary)[kCGImagePropertyTIFFMake].string(), "Hybrid");
    EXPECT_TRUE(metadata.count(kCGImagePropertyExifDictionary));
}

TEST_F(ImagePicker, ACameraPictureMissingItsEndMarkerKeepsItsOrientationAndMetadata) {
    std::filesystem::create_directories(folder_.file("fixtures"));
    std::filesystem::copy_file(testing_support::faultInputPath("jpeg-unended-exif-orientation-6.jpg"),
                               folder_.file("fixtures/camera.jpg"));
    PhotoLibrary::setFixtureFolder(folder_.file("fixtures"));
    present(UIImagePickerControllerSourceTypeCamera);
    ASSERT_TRUE(UIImagePickerController::takeCameraPicture());
    const UIImagePickerInfo& info = delegate_.picks.at(0);
    EXPECT_EQ(info.originalImage->size(), CGSizeMake(240, 320));
    ASSERT_TRUE(info.mediaMetadata);
    EXPECT_EQ(info.mediaMetadata->at(kCGImagePropertyOrientation).intValue(), 6);
}

TEST_F(ImagePicker, TheViewfinderDecodesALargeCameraPictureNoLargerThanItShowsIt) {
    // 3000 x 3000 shown filling the finder, 560 x 776 pixels at scale 2 and
    // 1056 x 280 with the screen on its side: half of it covers both, a
    // quarter does not. The pick itself is the whole picture.
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(3000, 3000), true, 1);
    const auto picture = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    std::filesystem::create_directories(folder_.file("fixtures"));
    ASSERT_TRUE(FileManager::defaultManager().createFileAtPath(folder_.file("fixtures/camera.jpg"),
                                                               UIImageJPEGRepresentation(*picture, 0.5), true));
    PhotoLibrary::setFixtureFolder(folder_.file("fixtures"));
    auto camera = present(UIImagePickerControllerSourceTypeCamera);
    const auto shown = camera->viewfinderImage();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->size(), CGSizeMake(1500, 1500));
    ASSERT_TRUE(UIImagePickerController::takeCameraPicture());
    EXPECT_EQ(delegate_.picks.at(0).originalImage->size(), CGSizeMake(3000, 3000));
}

TEST_F(ImagePicker, PicksThatCannotHappenFailWithoutCallingTheDelegate) {
    std::string error;
    present(UIImagePickerControllerSourceTypePhotoLibrary);
    EXPECT_FALSE(UIImagePickerController::takeCameraPicture(&error));
    EXPECT_EQ(error, "the picker shows no camera");
    root_->dismissViewControllerAnimated(false);
    present(UIImagePickerControllerSourceTypeCamera);
    PhotoLibrary::setFixtureFolder(folder_.file("empty"));
    EXPECT_FALSE(UIImagePickerController::takeCameraPicture(&error));
    EXPECT_EQ(error, "no camera picture (camera.jpg) in the fixture folder " + folder_.file("empty"));
    root_->dismissViewControllerAnimated(false);
    present(UIImagePickerControllerSourceTypePhotoLibrary);
    EXPECT_FALSE(UIImagePickerController::pickLibraryFile("missing.jpg", &error));
    // A corrupt photo in the library is an error, not a crash.
    FileManager::defaultManager().createFileAtPath(PhotoLibrary::directory() + "/broken.jpg",
                                                   Data{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F'});
    EXPECT_FALSE(UIImagePickerController::pickLibraryFile("broken.jpg", &error));
    EXPECT_EQ(error, "\"broken.jpg\" is not a readable image");
    EXPECT_TRUE(delegate_.picks.empty());
    EXPECT_TRUE(UIImagePickerController::cancel());
    EXPECT_EQ(delegate_.cancels, 1);
}

TEST_F(ImagePicker, APickerInAPopoverOnATabletCanPickAndTellsOfTheUserClosingIt) {
    struct PopoverDelegate : UIPopoverControllerDelegate {
        int closed = 0;
        void popoverControllerDidDismissPopover(UIPopoverController&) override { ++closed; }
    } popoverDelegate;
    UIDevice::currentDevice().setModel("iPad");
    EXPECT_EQ(UIDevice::currentDevice().userInterfaceIdiom(), UIUserInterfaceIdiomPad);
    UIDevice::currentDevice().reset();
    auto picker = std::make_shared<UIImagePickerController>();
    picker->setDelegate(&delegate_);
    auto popover = std::make_shared<UIPopoverController>(picker);
    popover->setDelegate(&popoverDelegate);
    popover->presentPopoverFromRect({{0, 32}, {320, 480}}, nullptr, UIPopoverArrowDirectionAny, true);
    EXPECT_EQ(picker->shownInPopover(), popover.get());
    EXPECT_EQ(UIImagePickerController::visiblePicker(), picker);
    EXPECT_TRUE(UIImagePickerController::pickLibraryFile("garden.png"));
    EXPECT_EQ(delegate_.picks.at(0).referenceURL->absoluteString(), "assets-library://asset/asset.PNG?id=garden&ext=PNG");
    popover->userDismiss();
    EXPECT_EQ(popoverDelegate.closed, 1);
    EXPECT_FALSE(popover->isPopoverVisible());
    EXPECT_EQ(UIImagePickerController::visiblePicker(), nullptr);
}

TEST_F(ImagePicker, SavingToTheAlbumWritesTheFileWithItsMetadata) {
    auto image = UIImage::imageWithData(*FileManager::defaultManager().contentsAtPath(PhotoLibrary::directory() + "/beach.jpg"));
    ASSERT_TRUE(image);
    const Data jpeg = UIImageJPEGRepresentation(*image, 0.8);
    const Dictionary metadata{{kCGImagePropertyGPSDictionary,
                               Dictionary{{kCGImagePropertyGPSLatitude, 48.5}, {kCGImagePropertyGPSLatitudeRef, "N"},
                                          {kCGImagePropertyGPSLongitude, 2.25}, {kCGImagePropertyGPSLongitudeRef, "E"}}}};
    ALAssetsLibrary library;
    const auto url = library.writeImageDataToSavedPhotosAlbum(jpeg, metadata);
    ASSERT_TRUE(url);
    EXPECT_EQ(url->absoluteString(), "assets-library://asset/asset.JPG?id=IMG_0001&ext=JPG");
    const auto path = PhotoLibrary::pathForReferenceURL(*url);
    ASSERT_TRUE(path);
    const auto saved = metadataOfJpegData(*FileManager::defaultManager().contentsAtPath(*path));
    ASSERT_TRUE(saved);
    EXPECT_DOUBLE_EQ(saved->at(kCGImagePropertyGPSDictionary)[kCGImagePropertyGPSLatitude].doubleValue(), 48.5);

    // An image keeps its orientation in the saved file; the next name is free.
    const auto second = library.writeImageToSavedPhotosAlbum(*image, UIImageOrientationLeft);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->absoluteString(), "assets-library://asset/asset.JPG?id=IMG_0002&ext=JPG");
    const auto reread = UIImage::imageWithData(*FileManager::defaultManager().contentsAtPath(*PhotoLibrary::pathForReferenceURL(*second)));
    EXPECT_EQ(reread->imageOrientation(), UIImageOrientationLeft);
    Error error;
    EXPECT_FALSE(library.writeImageDataToSavedPhotosAlbum(Data{1, 2, 3}, metadata, nullptr, &error));
}

TEST_F(ImagePicker, TheGridSkipsLibraryFilesClaimingHugeSizesWithoutDecodingThem) {
    for (const char* name : {"jpeg-claims-32767x32767.jpg", "jpeg-claims-20000x20000.jpg"})
        std::filesystem::copy_file(testing_support::faultInputPath(name), PhotoLibrary::directory() + "/" + name);
    LogCapture log;
    auto picker = present(UIImagePickerControllerSourceTypePhotoLibrary);
    ASSERT_TRUE(picker->isViewLoaded());
    EXPECT_TRUE(log.contains("claims 32767 x 32767 pixels"));
    EXPECT_TRUE(log.contains("claims 20000 x 20000 pixels"));
    std::string error;
    EXPECT_FALSE(UIImagePickerController::pickLibraryFile("jpeg-claims-20000x20000.jpg", &error));
    EXPECT_EQ(error, "\"jpeg-claims-20000x20000.jpg\" is not a readable image");
    EXPECT_TRUE(UIImagePickerController::pickLibraryFile("beach.jpg", &error)) << error;
}

TEST_F(ImagePicker, TheGridShowsOnlyTheMediaTypesThePickerOffers) {
    // The library holds beach.jpg, camera.jpg, clip.mov and garden.png, in
    // that order, four tiles a row below a 64-point heading.
    const UIImage::Pixel tileGrey{85, 85, 85, 255}, background{20, 20, 20, 255};
    // A point near a tile's corner, clear of the "video" label.
    auto tileCorner = [](const UIView& view, int index) {
        const double cell = (view.bounds().size.width - 20) / 4;
        return std::make_pair(static_cast<int>(4 + index * (cell + 4) + 5), 69);
    };
    auto images = present(UIImagePickerControllerSourceTypePhotoLibrary);
    auto shot = renderViewToImage(*images->view());
    auto [x, y] = tileCorner(*images->view(), 2);
    EXPECT_NE(shot->pixelAt(x, y), tileGrey) << "garden.png, not the video's empty tile";
    images->dismissViewControllerAnimated(false, [&] { holder_->dismissViewControllerAnimated(false); });

    auto videos = present(UIImagePickerControllerSourceTypePhotoLibrary, {kUTTypeMovie});
    shot = renderViewToImage(*videos->view());
    std::tie(x, y) = tileCorner(*videos->view(), 0);
    EXPECT_EQ(shot->pixelAt(x, y), tileGrey) << "the video's tile comes first";
    std::tie(x, y) = tileCorner(*videos->view(), 1);
    EXPECT_EQ(shot->pixelAt(x, y), background) << "and no image after it";
}
