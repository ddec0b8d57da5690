#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <memory>
#include <vector>

#include "FrameTestImages.h"
#include "ScoredFrames.h"
#include "cardscanner/analysis/ZeduVICardScanner.h"
#include "cardscanner/analysis/ZeduVIIplImage.h"
#include "cardscanner/analysis/ZeduVIReadCardInfo.h"
#include "cardscanner/analysis/ZeduVIVideoFrame.h"
#include "cardscanner/core/CPUTransformFilter.h"
#include "platform/foundation/Log.h"
#include "platform/graphics/Image.h"

namespace cardscanner {
namespace {

using testing::drawFrame;
using testing::FrameDrawing;

const std::string kVisa = "4111111111111111";

// Stands in for the networks: each frame the analysis hands over is
// recorded and answered with the next scripted verdict (a faint, unusable
// stripe once the script runs out).
class ScriptedScanner : public ZeduVICardScanner {
public:
    struct Call {
        std::shared_ptr<ZeduVIIplImage> card;
        float focusScore;
        float brightnessScore;
        long isoSpeed;
        float shutterSpeed;
        bool torchIsOn;
        bool flipped;
        bool scanExpiry;
    };

    void addFrame(const std::shared_ptr<ZeduVIIplImage>& y, float focusScore, float brightnessScore, long isoSpeed,
                  float shutterSpeed, bool torchIsOn, bool markFlipped, bool scanExpiry) override {
        calls.push_back({y, focusScore, brightnessScore, isoSpeed, shutterSpeed, torchIsOn, markFlipped, scanExpiry});
        FrameScanResult frame = testing::faintFrame();
        if (!script.empty()) {
            frame = script.front();
            script.erase(script.begin());
        }
        addFrameScores(frame, scanExpiry);
    }

    std::vector<FrameScanResult> script;
    std::vector<Call> calls;
};

uint8_t at(const std::shared_ptr<ZeduVIIplImage>& image, int x, int y) {
    return reinterpret_cast<uint8_t*>(image->image()->imageData + y * image->image()->widthStep)[x];
}

class FrameAnalysis : public ::testing::Test {
protected:
    void SetUp() override { reco_ = reco_context_create(); }
    void TearDown() override { reco_context_destroy(reco_); }

    // A frame over buffer, fed to scanner, processed.
    std::unique_ptr<ZeduVIVideoFrame> analyse(PixelBuffer& buffer, std::shared_ptr<ZeduVICardScanner> scanner,
                                              ZeduVIDetectionMode mode = ZeduVIDetectionModeNumber,
                                              long orientation = 3) {
        auto frame = std::make_unique<ZeduVIVideoFrame>(&buffer, orientation);
        frame->setReco(reco_);
        frame->setScanner(std::move(scanner));
        frame->setDetectionMode(mode);
        frame->setIsoSpeed(80);
        frame->setShutterSpeed(0.02f);
        frame->process();
        return frame;
    }

    RecoContext* reco_ = nullptr;
    std::shared_ptr<ScriptedScanner> scanner_ = std::make_shared<ScriptedScanner>();
};

TEST_F(FrameAnalysis, BrightnessVerdictsAreStrictAndOnlyWhenAsked) {
    struct Case {
        unsigned char luma;
        bool low, high;
    };
    for (const Case c : {Case{99, true, false}, Case{100, false, false}, Case{200, false, false},
                         Case{201, false, true}}) {
        FrameDrawing drawing;
        drawing.card = false;
        drawing.numberStripe = false;
        drawing.table = c.luma;
        auto buffer = drawFrame(drawing);
        ZeduVIVideoFrame frame(buffer.get(), 3);
        frame.setCalculateBrightness(true);
        frame.process();
        EXPECT_FLOAT_EQ(frame.brightnessScore(), c.luma);
        EXPECT_EQ(frame.brightnessLow(), c.low) << int(c.luma);
        EXPECT_EQ(frame.brightnessHigh(), c.high) << int(c.luma);
    }

    FrameDrawing dark;
    dark.card = false;
    dark.numberStripe = false;
    dark.table = 10;
    auto buffer = drawFrame(dark);
    ZeduVIVideoFrame frame(buffer.get(), 3);
    frame.process();
    EXPECT_EQ(frame.brightnessScore(), 0.0f);
    EXPECT_FALSE(frame.brightnessLow());
    EXPECT_FALSE(frame.brightnessHigh());
    // A frame without texture is as unsharp as a frame can be.
    EXPECT_EQ(frame.focusScore(), 0.0f);
    EXPECT_FALSE(frame.focusOk());
    EXPECT_TRUE(frame.focusSucks());
}

TEST_F(FrameAnalysis, TheTorchWidensTheBrightnessWindow) {
    FrameDrawing drawing;
    drawing.card = false;
    drawing.numberStripe = false;
    auto buffer = drawFrame(drawing);
    // Bright only over the small centre window.
    testing::planeMat(*buffer, 0)(cv::Rect(249, 195, 142, 90)).setTo(250);
    ZeduVIVideoFrame plain(buffer.get(), 3);
    plain.setCalculateBrightness(true);
    plain.process();
    ZeduVIVideoFrame torch(buffer.get(), 3);
    torch.setCalculateBrightness(true);
    torch.setTorchIsOn(true);
    torch.process();
    EXPECT_FLOAT_EQ(plain.brightnessScore(), 250.0f);
    EXPECT_LT(torch.brightnessScore(), 100.0f);
}

TEST_F(FrameAnalysis, AnOutOfFocusFrameStopsBeforeTheEdgesInNumberAndAutoModes) {
    FrameDrawing drawing;
    drawing.numberStripe = false;
    auto buffer = drawFrame(drawing, 24);
    for (ZeduVIDetectionMode mode : {ZeduVIDetectionModeNumber, ZeduVIDetectionModeAuto}) {
        auto frame = analyse(*buffer, scanner_, mode);
        EXPECT_FALSE(frame->focusOk());
        EXPECT_EQ(frame->numEdgesFound(), 0u);
        EXPECT_FALSE(frame->foundAllEdges());
        EXPECT_EQ(frame->cbSample(), nullptr);
        EXPECT_EQ(frame->cardY(), nullptr);
        EXPECT_EQ(frame->ySample(), nullptr);
        EXPECT_FALSE(buffer->isLocked());
    }
    EXPECT_TRUE(scanner_->calls.empty());
}

TEST_F(FrameAnalysis, ImageModeWarpsAllThreePlanesWhateverTheFocusAndNeverFeedsTheScanner) {
    FrameDrawing drawing;
    drawing.numberStripe = false;
    auto buffer = drawFrame(drawing, 24);
    auto frame = analyse(*buffer, scanner_, ZeduVIDetectionModeImage);
    EXPECT_FALSE(frame->focusOk());
    EXPECT_TRUE(frame->foundAllEdges());
    ASSERT_NE(frame->cardY(), nullptr);
    ASSERT_NE(frame->cardCb(), nullptr);
    ASSERT_NE(frame->cardCr(), nullptr);
    EXPECT_EQ(frame->cardY()->cvSize().width, 428);
    EXPECT_EQ(frame->cardCr()->cvSize().height, 270);
    // The chroma planes warped with the luma corners: each keeps its own
    // colour, in the middle of the card.
    EXPECT_NEAR(at(frame->cardY(), 214, 135), 200, 2);
    EXPECT_NEAR(at(frame->cardCb(), 214, 135), 90, 2);
    EXPECT_NEAR(at(frame->cardCr(), 214, 135), 170, 2);
    EXPECT_TRUE(scanner_->calls.empty());
    EXPECT_EQ(frame->cardInfo(), nullptr);
    // The chroma copies outlive the buffer's lock; the luma header does not.
    EXPECT_NE(frame->cbSample(), nullptr);
    EXPECT_EQ(frame->ySample(), nullptr);
}

TEST_F(FrameAnalysis, CardImagesComeGreyOrInColourAndAsPng) {
    FrameDrawing drawing;
    drawing.numberStripe = false;
    auto buffer = drawFrame(drawing);
    auto frame = analyse(*buffer, scanner_, ZeduVIDetectionModeImage);
    auto colour = frame->imageWithGrayscale(false);
    ASSERT_NE(colour, nullptr);
    EXPECT_EQ(colour->pixelWidth(), 428);
    const auto pixel = colour->pixelAt(214, 135);
    ASSERT_TRUE(pixel.has_value());
    // Cr above neutral and Cb below: red, not blue.
    EXPECT_GT(pixel->red, pixel->blue + 60);
    ASSERT_NE(frame->imageWithGrayscale(true), nullptr);

    const std::vector<uint8_t> magic = {0x89, 'P', 'N', 'G'};
    for (int encoding : {1, 2}) {
        const auto png = frame->encodedImageUsingEncoding(encoding);
        ASSERT_TRUE(png.has_value());
        ASSERT_GT(png->size(), 4u);
        EXPECT_TRUE(std::equal(magic.begin(), magic.end(), png->begin()));
    }
    EXPECT_FALSE(frame->encodedImageUsingEncoding(0).has_value());
    EXPECT_FALSE(frame->encodedImageUsingEncoding(3).has_value());

    const auto colourName = ZeduVIVideoFrame::filenameForImageEncodedUsingEncoding(1);
    ASSERT_TRUE(colourName.has_value());
    EXPECT_EQ(colourName->rfind("png_color_cc_", 0), 0u);
    EXPECT_EQ(ZeduVIVideoFrame::filenameForImageEncodedUsingEncoding(2)->rfind("png_gray_cc_", 0), 0u);
    EXPECT_FALSE(ZeduVIVideoFrame::filenameForImageEncodedUsingEncoding(0).has_value());
    EXPECT_FALSE(ZeduVIVideoFrame::filenameForImageEncodedUsingEncoding(3).has_value());
}

TEST_F(FrameAnalysis, ASharpFrameWithoutACardFindsNoEdgesAndFeedsNothing) {
    FrameDrawing drawing;
    drawing.card = false;
    auto buffer = drawFrame(drawing);
    auto frame = analyse(*buffer, scanner_);
    EXPECT_TRUE(frame->focusOk());
    EXPECT_NE(frame->cbSample(), nullptr);
    EXPECT_EQ(frame->numEdgesFound(), 0u);
    EXPECT_EQ(frame->cardY(), nullptr);
    EXPECT_TRUE(scanner_->calls.empty());
}

TEST_F(FrameAnalysis, ACardOutsideOneStripHasThreeEdgesAndNoCardImage) {
    FrameDrawing drawing;
    drawing.leftSideShift = 60;
    auto buffer = drawFrame(drawing);
    auto frame = analyse(*buffer, scanner_);
    EXPECT_TRUE(frame->foundTopEdge());
    EXPECT_TRUE(frame->foundBottomEdge());
    EXPECT_TRUE(frame->foundRightEdge());
    EXPECT_FALSE(frame->foundLeftEdge());
    EXPECT_EQ(frame->numEdgesFound(), 3u);
    EXPECT_FALSE(frame->foundAllEdges());
    EXPECT_EQ(frame->cardY(), nullptr);
    EXPECT_TRUE(scanner_->calls.empty());
}

TEST_F(FrameAnalysis, ASharpCardIsWarpedAndHandedToTheScannerWithTheCamerasReadings) {
    auto buffer = drawFrame(FrameDrawing{}, 8);
    auto frame = std::make_unique<ZeduVIVideoFrame>(buffer.get(), 3);
    frame->setReco(reco_);
    frame->setScanner(scanner_);
    frame->setCalculateBrightness(true);
    frame->setTorchIsOn(true);
    frame->setIsoSpeed(70000);
    frame->setShutterSpeed(0.25f);
    frame->setScanExpiry(true);
    frame->process();

    EXPECT_TRUE(frame->focusOk());
    EXPECT_TRUE(frame->foundAllEdges());
    const CornerPoints corners = frame->corner_points();
    EXPECT_NEAR(corners.top_left.x, 106, 4);
    EXPECT_NEAR(corners.bottom_right.y, 374, 4);
    ASSERT_EQ(scanner_->calls.size(), 1u);
    const auto& call = scanner_->calls[0];
    EXPECT_EQ(call.card, frame->cardY());
    EXPECT_EQ(call.focusScore, frame->focusScore());
    EXPECT_EQ(call.brightnessScore, frame->brightnessScore());
    EXPECT_EQ(call.isoSpeed, 70000);
    EXPECT_EQ(call.shutterSpeed, 0.25f);
    EXPECT_TRUE(call.torchIsOn);
    EXPECT_FALSE(call.flipped);
    EXPECT_TRUE(call.scanExpiry);
    // Not complete and not upside down: no retry, and no colour card to
    // show or encode.
    EXPECT_FALSE(frame->flipped());
    EXPECT_EQ(frame->cardCb(), nullptr);
    EXPECT_EQ(frame->cardInfo(), nullptr);
    EXPECT_EQ(frame->imageWithGrayscale(false), nullptr);
    EXPECT_FALSE(frame->encodedImageUsingEncoding(1).has_value());
    EXPECT_TRUE(frame->encodedImageUsingEncoding(2).has_value());
}

TEST_F(FrameAnalysis, AnUpsideDownVerdictRetriesOnceTheOtherWayUp) {
    auto buffer = drawFrame(FrameDrawing{});
    scanner_->script = {testing::upsideDownFrame(), testing::upsideDownFrame()};
    auto frame = analyse(*buffer, scanner_);

    ASSERT_EQ(scanner_->calls.size(), 2u);
    EXPECT_FALSE(scanner_->calls[0].flipped);
    EXPECT_TRUE(scanner_->calls[1].flipped);
    EXPECT_TRUE(frame->flipped());
    EXPECT_TRUE(frame->foundAllEdges());
    EXPECT_EQ(frame->cardY(), scanner_->calls[1].card);
    EXPECT_EQ(frame->cardCb(), nullptr);

    // The flipped pass reads the card in the opposite orientation: its image
    // is the upright one turned half a circle.
    const auto& upright = scanner_->calls[0].card;
    const auto& turned = scanner_->calls[1].card;
    for (const cv::Point p : {cv::Point(10, 10), cv::Point(60, 150), cv::Point(200, 140), cv::Point(400, 250)})
        EXPECT_NEAR(at(upright, p.x, p.y), at(turned, 427 - p.x, 269 - p.y), 3) << p;
}

TEST_F(FrameAnalysis, NoRetryForAnUprightVerdict) {
    auto buffer = drawFrame(FrameDrawing{});
    scanner_->script = {testing::faintFrame()};
    auto frame = analyse(*buffer, scanner_);
    EXPECT_EQ(scanner_->calls.size(), 1u);
    EXPECT_FALSE(frame->flipped());
}

TEST_F(FrameAnalysis, TheFrameThatCompletesTheScanCarriesTheCardAndItsColour) {
    testing::completeScan(*scanner_, kVisa);
    scanner_->reset();
    for (int i = 0; i < 2; ++i) {
        FrameScanResult frame = testing::confidentFrame(kVisa);
        scanner_->addFrameScores(frame, false);
    }
    scanner_->script = {testing::confidentFrame(kVisa)};
    auto buffer = drawFrame(FrameDrawing{});
    auto frame = analyse(*buffer, scanner_);

    ASSERT_EQ(scanner_->calls.size(), 1u);
    ASSERT_NE(frame->cardInfo(), nullptr);
    EXPECT_EQ(frame->cardInfo()->number(), kVisa);
    ASSERT_NE(frame->cardY(), nullptr);
    ASSERT_NE(frame->cardCb(), nullptr);
    ASSERT_NE(frame->cardCr(), nullptr);
    EXPECT_NEAR(at(frame->cardCr(), 30, 30), 170, 2);
    EXPECT_NE(frame->imageWithGrayscale(false), nullptr);

    // Later frames of a completed scan carry the same card.
    auto buffer2 = drawFrame(FrameDrawing{});
    auto next = analyse(*buffer2, scanner_);
    EXPECT_EQ(next->cardInfo(), frame->cardInfo());
    EXPECT_NE(next->cardCb(), nullptr);
}

TEST_F(FrameAnalysis, OrientationsOutsideOneToFourAreAnalysedAsPortrait) {
    FrameDrawing portrait;
    portrait.landscape = false;
    portrait.numberStripe = false;
    auto buffer = drawFrame(portrait);
    for (long orientation : {0L, 1L, 5L, -3L}) {
        auto frame = analyse(*buffer, scanner_, ZeduVIDetectionModeImage, orientation);
        EXPECT_TRUE(frame->foundAllEdges()) << orientation;
    }
    EXPECT_FALSE(analyse(*buffer, scanner_, ZeduVIDetectionModeImage, 3)->foundAllEdges());
}

// A filter that fails the way the image library does.
class ThrowingFilter : public TransformFilter {
public:
    TransformFilterSize size() const override { return {640, 480}; }
    bool transform(const IplImage*, IplImage*, const float*) override {
        throw cv::Exception(cv::Error::StsBadArg, "test failure", "transform", __FILE__, __LINE__);
    }
    void finish() override {}
};

TEST_F(FrameAnalysis, AnImageLibraryErrorIsLoggedAndTheFrameKeepsItsVerdictsSoFar) {
    RecoContext* failing =
        reco_context_create([](double, double) -> std::unique_ptr<TransformFilter> { return std::make_unique<ThrowingFilter>(); });
    auto buffer = drawFrame(FrameDrawing{});
    ZeduVIVideoFrame frame(buffer.get(), 3);
    frame.setReco(failing);
    frame.setScanner(scanner_);
    platform::LogCapture log;
    frame.process();
    reco_context_destroy(failing);

    EXPECT_EQ(log.count("ZeduVIVideoFrame: image library error"), 1u);
    EXPECT_TRUE(log.contains("test failure"));
    EXPECT_TRUE(frame.focusOk());
    EXPECT_TRUE(frame.foundAllEdges());
    EXPECT_EQ(frame.cardY(), nullptr);
    EXPECT_TRUE(scanner_->calls.empty());
    EXPECT_FALSE(buffer->isLocked());
    EXPECT_EQ(frame.ySample(), nullptr);
}

TEST_F(FrameAnalysis, AFrameWithoutBufferContextOrScannerDoesNoHarm) {
    ZeduVIVideoFrame empty(nullptr, 3);
    empty.process();
    EXPECT_EQ(empty.focusScore(), 0.0f);

    auto buffer = drawFrame(FrameDrawing{});
    ZeduVIVideoFrame noContext(buffer.get(), 3);
    noContext.process();
    EXPECT_TRUE(noContext.foundAllEdges());
    EXPECT_EQ(noContext.cardY(), nullptr);

    auto frame = analyse(*buffer, nullptr);
    EXPECT_NE(frame->cardY(), nullptr);
    EXPECT_EQ(frame->cardCb(), nullptr);
    EXPECT_FALSE(buffer->isLocked());
}

}  // namespace
}  // namespace cardscanner
