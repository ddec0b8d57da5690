// The camera plugin: file names and their counters, the geometry of scaling
// and orientation, the location pass that ends exactly once (fix, failure or
// time limit), video and reference URLs, the popover on a tablet, and the
// errors the page hears.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "hybrid/HYBBase64.h"
#include "hybrid/HYBCommandDelegate.h"
#include "tools/harness/StubCommandDelegate.h"
#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBPluginResult.h"
#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/graphics/Context.h"
#include "platform/imageio/ImageMetadata.h"
#include "platform/location/LocationSource.h"
#include "platform/ui/Device.h"
#include "platform/ui/PhotoLibrary.h"
#include "platform/ui/Window.h"
#include "plugins/camera/HYBCamera.h"
#include "plugins/camera/HYBCameraSupport.h"
#include "tests/platform/TemporaryDirectory.h"
#include "tests/support/FaultInput.h"
#include "tests/support/JpegFixture.h"

using namespace platform;
using plugins::HYBCamera;

namespace {

struct Answer {
    int status;
    Value message;
    std::optional<std::string> callbackId;
};

class RecordingDelegate : public testsupport::StubCommandDelegate {
public:
    std::vector<Answer> answers;
    void sendPluginResult(const hybrid::HYBPluginResult& result, const std::optional<std::string>& id) override {
        answers.push_back({result.status(), result.message(), id});
    }
};

// A w x h picture, red on the left half and blue on the right of its stored pixels.
std::shared_ptr<UIImage> picture(int w, int h, UIImageOrientation orientation = UIImageOrientationUp) {
    UIGraphicsBeginImageContextWithOptions(CGSize{double(w), double(h)}, true, 1);
    CGContextRef context = UIGraphicsGetCurrentContext();
    const CGColor red{1, 0, 0, 1}, blue{0, 0, 1, 1};
    CGContextSetFillColorWithColor(context, red);
    CGContextFillRect(context, CGRectMake(0, 0, w / 2.0, h));
    CGContextSetFillColorWithColor(context, blue);
    CGContextFillRect(context, CGRectMake(w / 2.0, 0, w / 2.0, h));
    const auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return UIImage::imageWithImage(*image, orientation);
}

// A phone camera's JPEG: 3024 x 4032 stored and tagged turned right (4032 x
// 3024 upright), in blocks whose colours run across and down it, so that a
// picture turned or mirrored the wrong way differs everywhere.
Data cameraSizedJpeg() {
    const int w = 3024, h = 4032, block = 96;
    UIGraphicsBeginImageContextWithOptions(CGSize{double(w), double(h)}, true, 1);
    CGContextRef context = UIGraphicsGetCurrentContext();
    for (int y = 0; y < h; y += block)
        for (int x = 0; x < w; x += block) {
            CGContextSetFillColorWithColor(context, CGColor{double(x) / w, double(y) / h, (x / block + y / block) % 3 / 2.0, 1});
            CGContextFillRect(context, CGRectMake(x, y, block, block));
        }
    const auto stored = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return UIImageJPEGRepresentation(*UIImage::imageWithImage(*stored, UIImageOrientationRight), 0.9);
}

// Mean absolute difference of the colour channels of two images of one size.
double meanDifference(const UIImage& a, const UIImage& b) {
    double sum = 0;
    for (int y = 0; y < a.pixelHeight(); ++y)
        for (int x = 0; x < a.pixelWidth(); ++x) {
            const auto p = *a.pixelAt(x, y), q = *b.pixelAt(x, y);
            sum += std::abs(p.red - q.red) + std::abs(p.green - q.green) + std::abs(p.blue - q.blue);
        }
    return sum / (3.0 * a.pixelWidth() * a.pixelHeight());
}

UIImagePickerInfo cameraInfo(std::shared_ptr<UIImage> image, bool withMetadata) {
    UIImagePickerInfo info;
    info.mediaType = kUTTypeImage;
    info.originalImage = std::move(image);
    if (withMetadata) info.mediaMetadata = Dictionary{{kCGImagePropertyExifDictionary, Value(Dictionary{})}};
    return info;
}

class CameraPluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        FileManager::setHomeDirectory(dir_.file("home"));
        UIImagePickerController::setCameraAvailable(true);
        ALAssetsLibrary::setAuthorizationStatus(ALAuthorizationStatusAuthorized);
        window_ = std::make_shared<UIWindow>();
        window_->setRootViewController(std::make_shared<UIViewController>());
        window_->makeKeyAndVisible();
        camera_ = std::make_shared<HYBCamera>(nullptr);
        camera_->setCommandDelegate(delegate_);
    }
    void TearDown() override {
        camera_.reset();
        window_.reset();
        RunLoop::main().drain();
    }

    void take(Array arguments) {
        camera_->takePicture(hybrid::HYBInvokedUrlCommand(std::move(arguments), std::string("Camera1"),
                                                          std::string("Camera"), std::string("takePicture")));
    }
    void pick(const UIImagePickerInfo& info) {
        ASSERT_TRUE(camera_->pickerController());
        camera_->imagePickerControllerDidFinishPickingMediaWithInfo(*camera_->pickerController(), info);
    }
    std::string tmp(const std::string& name) { return FileManager::defaultManager().temporaryDirectory() + name; }
    Data bytesOf(const Answer& answer) { return hybrid::dataFromBase64String(*answer.message.string()); }

    testing_support::TemporaryDirectory dir_;
    std::shared_ptr<UIWindow> window_;
    std::shared_ptr<RecordingDelegate> delegate_ = std::make_shared<RecordingDelegate>();
    std::shared_ptr<HYBCamera> camera_;
};

TEST_F(CameraPluginTest, DefaultsTakeACameraPictureIntoTheFirstFreeNumberedFile) {
    take({});
    EXPECT_TRUE(camera_->hasPendingOperation());
    EXPECT_EQ(camera_->pickerController()->sourceType(), UIImagePickerControllerSourceTypeCamera);
    pick(cameraInfo(picture(40, 20), false));
    ASSERT_EQ(delegate_->answers.size(), 1u);
    EXPECT_EQ(delegate_->answers[0].status, hybrid::HYBResultStatusOK);
    EXPECT_EQ(*delegate_->answers[0].message.string(), URL::fileURLWithPath(tmp("hyb_photo_001.jpg")).absoluteString());
    EXPECT_TRUE(FileManager::defaultManager().fileExistsAtPath(tmp("hyb_photo_001.jpg")));
    EXPECT_FALSE(camera_->hasPendingOperation());
    EXPECT_FALSE(camera_->pickerController());
    EXPECT_FALSE(window_->rootViewController()->presentedViewController());

    // Two taken, the third numbered on; PNG counts its own sequence.
    FileManager::defaultManager().createFileAtPath(tmp("hyb_photo_002.jpg"), Data{1});
    take({});
    pick(cameraInfo(picture(40, 20), false));
    EXPECT_EQ(*delegate_->answers[1].message.string(), URL::fileURLWithPath(tmp("hyb_photo_003.jpg")).absoluteString());
    take({Value(50), Value(1), Value(1), Value(), Value(), Value(1)});
    pick(cameraInfo(picture(40, 20), false));
    EXPECT_EQ(*delegate_->answers[2].message.string(), URL::fileURLWithPath(tmp("hyb_photo_001.png")).absoluteString());

    // cleanup removes ours only, and with none left still answers OK.
    FileManager::defaultManager().createFileAtPath(tmp("other.jpg"), Data{1});
    const hybrid::HYBInvokedUrlCommand cleanup({}, std::string("Camera9"), std::nullopt, std::nullopt);
    camera_->cleanup(cleanup);
    camera_->cleanup(cleanup);
    EXPECT_EQ(FileManager::defaultManager().enumeratorAtPath(tmp("")), std::vector<std::string>{"other.jpg"});
    ASSERT_EQ(delegate_->answers.size(), 5u);
    EXPECT_EQ(delegate_->answers[4].status, hybrid::HYBResultStatusOK);
    EXPECT_TRUE(delegate_->answers[4].message.isNil());
}

TEST_F(CameraPluginTest, ScalingGeometryFitsOrFillsAndIgnoresSizesWithoutBothParts) {
    EXPECT_EQ(plugins::scalingNotCroppingDrawing({400, 200}, {100, 100}),
              (plugins::HYBCameraImageDrawing{{100, 50}, CGRectMake(0, 0, 100, 50)}));
    EXPECT_EQ(plugins::scalingAndCroppingDrawing({400, 200}, {100, 100}),
              (plugins::HYBCameraImageDrawing{{100, 100}, CGRectMake(-50, 0, 200, 100)}));
    EXPECT_EQ(plugins::scalingAndCroppingDrawing({200, 400}, {100, 100}),
              (plugins::HYBCameraImageDrawing{{100, 100}, CGRectMake(0, -50, 100, 200)}));

    const auto fitted = HYBCamera::imageByScalingNotCroppingForSize(*picture(400, 200), {100, 100});
    ASSERT_TRUE(fitted);
    EXPECT_EQ(fitted->pixelWidth(), 100);
    EXPECT_EQ(fitted->pixelHeight(), 50);

    // Width 100 with height 0 (as base64): the picture comes back unscaled.
    take({Value(50), Value(0), Value(1), Value(100), Value(0)});
    pick(cameraInfo(picture(400, 200), false));
    const auto unscaled = UIImage::imageWithData(bytesOf(delegate_->answers.at(0)));
    ASSERT_TRUE(unscaled);
    EXPECT_EQ(unscaled->pixelWidth(), 400);
    take({Value(50), Value(0), Value(1), Value(100), Value(-5)});
    pick(cameraInfo(picture(400, 200), false));
    EXPECT_EQ(UIImage::imageWithData(bytesOf(delegate_->answers.at(1)))->pixelWidth(), 400);
    // A size no page could mean would only exhaust memory: it is not applied.
    take({Value(50), Value(0), Value(1), Value(1e12), Value(20000)});
    pick(cameraInfo(picture(400, 200), false));
    EXPECT_EQ(UIImage::imageWithData(bytesOf(delegate_->answers.at(2)))->pixelWidth(), 400);
}

TEST_F(CameraPluginTest, OrientationFixDrawsThePictureAsItIsSeenUpright) {
    for (UIImageOrientation orientation : {UIImageOrientationRight, UIImageOrientationLeft, UIImageOrientationDown}) {
        const auto source = picture(60, 40, orientation);
        const auto fixed = HYBCamera::imageCorrectedForCaptureOrientation(*source);
        const auto expected = source->uprightImage();
        ASSERT_TRUE(fixed && expected);
        ASSERT_EQ(fixed->pixelWidth(), expected->pixelWidth()) << orientation;
        ASSERT_EQ(fixed->pixelHeight(), expected->pixelHeight()) << orientation;
        for (auto [x, y] : {std::pair{5, 5}, {fixed->pixelWidth() - 5, fixed->pixelHeight() - 5}})
            EXPECT_EQ(fixed->pixelAt(x, y), expected->pixelAt(x, y)) << orientation << " at " << x << "," << y;
    }
}

TEST_F(CameraPluginTest, AScaledDownCameraJpegDecodedReducedLooksAsDecodedWhole) {
    const Data jpeg = cameraSizedJpeg();
    const auto scaledFrom = [&](std::shared_ptr<UIImage> original) {
        take({Value(90), Value(0), Value(1), Value(1024), Value(768), Value(0), Value(0), Value(false), Value(true)});
        pick(cameraInfo(std::move(original), false));
        return UIImage::imageWithData(bytesOf(delegate_->answers.back()));
    };
    // An image decoded whole holds no JPEG, so it is scaled from its full pixels.
    const auto whole = scaledFrom(UIImage::imageWithData(jpeg));
    const auto held = UIImage::imageWithDataDecodedWhenNeeded(jpeg);
    ASSERT_TRUE(held->reducedImageCovering({1024, 768}));
    const auto reduced = scaledFrom(held);
    ASSERT_TRUE(whole && reduced);
    EXPECT_EQ(reduced->imageOrientation(), UIImageOrientationUp);
    ASSERT_EQ(reduced->size(), CGSizeMake(1024, 768));
    ASSERT_EQ(whole->size(), reduced->size());
    EXPECT_LT(meanDifference(*whole, *reduced), 2.0);
}

TEST_F(CameraPluginTest, PictureWithMetadataWaitsForOneFixAndCarriesItsGPSData) {
    take({Value(80), Value(1), Value(1), Value(100), Value(100), Value(0), Value(0), Value(false), Value(true)});
    pick(cameraInfo(picture(400, 300, UIImageOrientationRight), true));
    RunLoop::main().drain();
    EXPECT_TRUE(delegate_->answers.empty());
    ASSERT_TRUE(camera_->locationManager());
    EXPECT_TRUE(camera_->hasPendingOperation());

    CLLocation fix;
    fix.coordinate = {-33.8568, 151.2153};
    fix.altitude = -12;
    fix.timestamp = 1700000000.25;
    auto source = std::dynamic_pointer_cast<ScriptedLocationSource>(LocationSource::shared());
    ASSERT_TRUE(source);
    source->deliverLocation(fix);
    source->deliverLocation(fix);
    RunLoop::main().drain();
    ASSERT_EQ(delegate_->answers.size(), 1u);
    EXPECT_FALSE(camera_->hasPendingOperation());
    EXPECT_FALSE(camera_->locationManager());

    const std::string path = tmp("hyb_photo_001.jpg");
    EXPECT_EQ(*delegate_->answers[0].message.string(), URL::fileURLWithPath(path).absoluteString());
    const Data jpeg = *FileManager::defaultManager().contentsAtPath(path);
    const Value read = testing_support::exiftoolRead(path);
    ASSERT_TRUE(read.dictionary()) << read.description();
    EXPECT_FALSE(read.dictionary()->count("ExifTool:Warning")) << read.description();
    EXPECT_FALSE(read.dictionary()->count("ExifTool:Error")) << read.description();
    EXPECT_NEAR(read.dictionary()->at("GPS:GPSLatitude").doubleValue(), 33.8568, 1e-4);
    EXPECT_NEAR(read.dictionary()->at("GPS:GPSLongitude").doubleValue(), 151.2153, 1e-4);
    const auto metadata = metadataOfJpegData(jpeg);
    ASSERT_TRUE(metadata);
    const Dictionary& gps = *metadata->at(kCGImagePropertyGPSDictionary).dictionary();
    EXPECT_EQ(*gps.at(kCGImagePropertyGPSLatitudeRef).string(), "S");
    EXPECT_NEAR(gps.at(kCGImagePropertyGPSLatitude).doubleValue(), 33.8568, 1e-4);
    EXPECT_EQ(*gps.at(kCGImagePropertyGPSLongitudeRef).string(), "E");
    EXPECT_EQ(gps.at(kCGImagePropertyGPSAltitudeRef).integerValue(), 1);
    EXPECT_EQ(*gps.at(kCGImagePropertyGPSDateStamp).string(), "2023:11:14");
    const auto scaled = UIImage::imageWithData(jpeg);
    ASSERT_TRUE(scaled);
    EXPECT_EQ(scaled->pixelWidth(), 75);  // 300 x 400 upright, fitted into 100 x 100
    EXPECT_EQ(scaled->pixelHeight(), 100);
}

TEST_F(CameraPluginTest, LocationFailureOrTheTimeLimitReturnThePictureWithoutGPSExactlyOnce) {
    ScopedManualClock clock;
    LocationSource::setServicesEnabled(false);
    take({Value(80), Value(0), Value(1), Value(), Value(), Value(0), Value(0), Value(false), Value(true)});
    pick(cameraInfo(picture(40, 30), true));
    RunLoop::main().runUntil([&] { return !delegate_->answers.empty(); }, 1);
    ASSERT_EQ(delegate_->answers.size(), 1u);
    EXPECT_FALSE(metadataOfJpegData(bytesOf(delegate_->answers[0]))->count(kCGImagePropertyGPSDictionary));

    // No fix ever: the time limit answers, and a late fix answers nothing more.
    LocationSource::setServicesEnabled(true);
    LogCapture log;
    take({Value(80), Value(0), Value(1), Value(), Value(), Value(0), Value(0), Value(false), Value(true)});
    pick(cameraInfo(picture(40, 30), true));
    const double start = clock->now();
    RunLoop::main().runUntil([&] { return delegate_->answers.size() == 2; }, 60);
    ASSERT_EQ(delegate_->answers.size(), 2u);
    EXPECT_DOUBLE_EQ(clock->now() - start, HYBCamera::kLocationTimeLimit);
    EXPECT_TRUE(log.contains("without GPS data"));
    EXPECT_FALSE(camera_->hasPendingOperation());
    std::dynamic_pointer_cast<ScriptedLocationSource>(LocationSource::shared())->deliverLocation(CLLocation{});
    RunLoop::main().drain();
    EXPECT_EQ(delegate_->answers.size(), 2u);

    // A new request while one waits for its position answers the waiting one first, once.
    take({Value(80), Value(0), Value(1), Value(), Value(), Value(0), Value(0), Value(false), Value(true)});
    pick(cameraInfo(picture(40, 30), true));
    take({Value(50), Value(1), Value(0), Value("wide"), Value(Dictionary{}), Value(Array{})});
    ASSERT_EQ(delegate_->answers.size(), 3u);
    EXPECT_EQ(delegate_->answers[2].status, hybrid::HYBResultStatusOK);
    std::dynamic_pointer_cast<ScriptedLocationSource>(LocationSource::shared())->deliverLocation(CLLocation{});
    clock->advance(HYBCamera::kLocationTimeLimit * 2);
    RunLoop::main().drain();
    EXPECT_EQ(delegate_->answers.size(), 3u);
    EXPECT_TRUE(camera_->hasPendingOperation());
}

TEST_F(CameraPluginTest, VideosAnswerTheirMediaURLAndDestinationTwoTheReferenceURL) {
    UIImagePickerInfo video;
    video.mediaType = kUTTypeMovie;
    video.mediaURL = URL::fileURLWithPath("/media/clip.mov");
    const std::string previousMain = Bundle::main().bundlePath();
    Bundle::setMain(std::string(HYBRID_SOURCE_DIR) + "/examples/app");
    UIApplication& application = UIApplication::sharedApplication();
    application.setStatusBarHidden(false);
    take({Value(50), Value(0), Value(0), Value(), Value(), Value(0), Value(1)});
    Bundle::setMain(previousMain);
    EXPECT_EQ(camera_->pickerController()->mediaTypes(), std::vector<std::string>{kUTTypeMovie});
    // A picker of videos alone is titled from the app's strings, and the
    // status bar hides on the next turn while it shows, back after it.
    EXPECT_EQ(camera_->pickerController()->navigationItem()->title(), "Videos");
    RunLoop::main().runOnce();
    EXPECT_TRUE(application.isStatusBarHidden());
    pick(video);
    EXPECT_FALSE(application.isStatusBarHidden());
    EXPECT_EQ(*delegate_->answers.at(0).message.string(), "file:///media/clip.mov");

    UIImagePickerInfo library = cameraInfo(picture(10, 10), false);
    library.referenceURL = URL::create("assets-library://asset/asset.JPG?id=a&ext=JPG");
    take({Value(50), Value(2), Value(0)});
    pick(library);
    EXPECT_EQ(*delegate_->answers.at(1).message.string(), "assets-library://asset/asset.JPG?id=a&ext=JPG");
}

TEST_F(CameraPluginTest, TabletShowsLibraryPickersInAPopoverWhoseClosingAnswersNoImage) {
    UIDevice::currentDevice().setModel("iPad");
    take({Value(50), Value(1), Value(0), Value(), Value(), Value(0), Value(0), Value(false), Value(false), Value(false),
          Value(Dictionary{{"x", Value(10)}, {"arrowDir", Value(3)}})});
    const auto popover = camera_->pickerController()->popoverController;
    ASSERT_TRUE(popover);
    EXPECT_TRUE(popover->isPopoverVisible());
    EXPECT_EQ(popover->popoverArrowDirection(), 15u);
    camera_->repositionPopover(hybrid::HYBInvokedUrlCommand({Value(Dictionary{{"arrowDir", Value(4)}})}, std::nullopt,
                                                            std::nullopt, std::nullopt));
    EXPECT_EQ(popover->popoverArrowDirection(), 4u);
    popover->userDismiss();
    ASSERT_EQ(delegate_->answers.size(), 1u);
    EXPECT_EQ(delegate_->answers[0].status, hybrid::HYBResultStatusError);
    EXPECT_EQ(*delegate_->answers[0].message.string(), "no image selected");
    EXPECT_FALSE(camera_->hasPendingOperation());

    // The camera is full screen even on a tablet.
    take({});
    EXPECT_FALSE(camera_->pickerController()->popoverController);
    EXPECT_TRUE(window_->rootViewController()->presentedViewController());
}

TEST_F(CameraPluginTest, NoCameraAndCancelAnswerErrorsAtOnce) {
    UIImagePickerController::setCameraAvailable(false);
    LogCapture log;
    take({});
    ASSERT_EQ(delegate_->answers.size(), 1u);
    EXPECT_EQ(delegate_->answers[0].status, hybrid::HYBResultStatusError);
    EXPECT_EQ(*delegate_->answers[0].message.string(), "no camera available");
    EXPECT_TRUE(log.contains("Camera.getPicture: source type 1 not available."));
    EXPECT_FALSE(camera_->hasPendingOperation());

    take({Value(50), Value(1), Value(0)});
    camera_->imagePickerControllerDidCancel(*camera_->pickerController());
    EXPECT_EQ(*delegate_->answers.at(1).message.string(), "no image selected");
    ALAssetsLibrary::setAuthorizationStatus(ALAuthorizationStatusDenied);
    take({Value(50), Value(1), Value(0)});
    camera_->imagePickerControllerDidCancel(*camera_->pickerController());
    EXPECT_EQ(*delegate_->answers.at(2).message.string(), "has no access to assets");
    EXPECT_FALSE(window_->rootViewController()->presentedViewController());

    // A request replaced while its picker is up still gets its one answer.
    ALAssetsLibrary::setAuthorizationStatus(ALAuthorizationStatusAuthorized);
    take({Value(50), Value(1), Value(0)});
    take({Value(50), Value(1), Value(0)});
    ASSERT_EQ(delegate_->answers.size(), 4u);
    EXPECT_EQ(*delegate_->answers.at(3).message.string(), "no image selected");
}

}  // namespace

TEST(CameraGPS, AFixOutsideWhatAPositionOrADateCanBeIsLeftOutOfTheGPSData) {
    // The scenario's fix: every value far out of range, the time 1e300 seconds.
    const Data scenario = testing_support::faultInput("camera-fix-time-1e300.json");
    const auto read = readJson(std::string(scenario.begin(), scenario.end()));
    ASSERT_TRUE(read.value) << read.error;
    Value fix;
    for (const Value& step : *(*read.value)["steps"].array())
        if (step["location"].isDictionary()) fix = step["location"];
    ASSERT_TRUE(fix.isDictionary());
    LogCapture log;
    const Dictionary gps = plugins::gpsDictionaryForFix(fix["latitude"].doubleValue(), fix["longitude"].doubleValue(),
                                                        fix["altitude"].doubleValue(), fix["timestamp"].doubleValue());
    EXPECT_TRUE(gps.empty()) << Value(gps).description();
    EXPECT_TRUE(log.contains("GPS time 1e+300 left out"));

    const Dictionary edge = plugins::gpsDictionaryForFix(-90, 180, std::nan(""), 253402300799.5);
    EXPECT_EQ(*edge.at(kCGImagePropertyGPSLatitudeRef).string(), "S");
    EXPECT_EQ(*edge.at(kCGImagePropertyGPSLongitudeRef).string(), "E");
    EXPECT_FALSE(edge.count(kCGImagePropertyGPSAltitude));
    EXPECT_EQ(*edge.at(kCGImagePropertyGPSDateStamp).string(), "9999:12:31");
    EXPECT_EQ(*edge.at(kCGImagePropertyGPSTimeStamp).string(), "23:59:59.500000");
}

TEST_F(CameraPluginTest, AFullSizeAnswerThatWouldHoldTooMuchIsRefusedBeforeDecodingWithItsCost) {
    // 9000 x 9000 claimed by a tiny JPEG's header: nothing of it is decoded.
    Data jpeg = UIImageJPEGRepresentation(*picture(16, 16, UIImageOrientationRight), 0.9);
    const std::uint8_t startOfFrame[] = {0xFF, 0xC0};
    const auto frame = std::search(jpeg.begin(), jpeg.end(), std::begin(startOfFrame), std::end(startOfFrame));
    ASSERT_NE(frame, jpeg.end());
    frame[5] = frame[7] = 9000 >> 8;
    frame[6] = frame[8] = 9000 & 0xFF;
    const auto image = UIImage::imageWithDataDecodedWhenNeeded(jpeg);
    ASSERT_TRUE(image);
    // Turned upright first, 7 bytes a pixel: refused.
    take({Value(50), Value(0), Value(1), Value(), Value(), Value(0), Value(0), Value(false), Value(true)});
    pick(cameraInfo(image, false));
    EXPECT_EQ(delegate_->answers.back().status, hybrid::HYBResultStatusError);
    EXPECT_EQ(delegate_->answers.back().message,
              "the picture of 9000 x 9000 pixels would take 0.6 GB to answer at full size, over the limit of 0.5 GB; "
              "ask for a target size");
}
