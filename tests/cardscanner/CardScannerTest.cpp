#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ScoredFrames.h"
#include "cardscanner/analysis/ZeduVICardScanner.h"
#include "cardscanner/analysis/ZeduVIIplImage.h"
#include "cardscanner/analysis/ZeduVIReadCardInfo.h"
#include "platform/foundation/Clock.h"

namespace cardscanner {
namespace {

using testing::completeScan;
using testing::confidentFrame;
using testing::faintFrame;
using testing::upsideDownFrame;

const std::string kVisa = "4111111111111111";
const std::string kAmex = "378282246310005";

TEST(CardScanner, StartsWithNothingRead) {
    ZeduVICardScanner scanner;
    EXPECT_FALSE(scanner.complete());
    EXPECT_EQ(scanner.cardInfo(), nullptr);
    EXPECT_FALSE(scanner.lastFrameWasUpsideDown());
    EXPECT_FALSE(scanner.lastFrameWasUsable());
    EXPECT_EQ(scanner.scanSessionAnalytics()->num_frames_scanned, 0u);
    const ScannerState state = scanner.scannerState();
    EXPECT_TRUE(state.expiry_groups.empty());
    EXPECT_TRUE(state.name_groups.empty());
    EXPECT_EQ(state.count15 + state.count16, 0);
}

TEST(CardScanner, ThreeConfidentFramesCompleteTheScanWithTheNumberAndItsLayout) {
    ZeduVICardScanner scanner;
    FrameScanResult first = confidentFrame(kVisa);
    scanner.addFrameScores(first, false);
    EXPECT_TRUE(first.usable);
    EXPECT_FALSE(scanner.complete());
    completeScan(scanner, kVisa);
    ASSERT_TRUE(scanner.complete());
    const auto info = scanner.cardInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->number(), kVisa);
    ASSERT_EQ(info->xOffsets().size(), 16u);
    EXPECT_EQ(info->xOffsets()[0], 20);
    EXPECT_EQ(info->xOffsets()[15], 20 + 24 * 15);
    EXPECT_EQ(info->yOffset(), 150);
    EXPECT_EQ(info->expiryMonth(), 0u);
    // The same object every time: callers compare it.
    EXPECT_EQ(scanner.cardInfo(), info);
}

TEST(CardScanner, ACompletedScanIgnoresFurtherFrames) {
    ZeduVICardScanner scanner;
    completeScan(scanner, kVisa);
    ASSERT_TRUE(scanner.complete());
    const uint32_t scanned = scanner.scanSessionAnalytics()->num_frames_scanned;
    FrameScanResult upsideDown = upsideDownFrame();
    scanner.addFrameScores(upsideDown, false);
    scanner.addFrame(nullptr, 10, 100, 50, 0.01f, false, false, false);
    EXPECT_EQ(scanner.scanSessionAnalytics()->num_frames_scanned, scanned);
    EXPECT_FALSE(scanner.lastFrameWasUpsideDown());
    EXPECT_EQ(scanner.cardInfo()->number(), kVisa);
}

TEST(CardScanner, NoResultWhileTheLastFrameWasUnusable) {
    ZeduVICardScanner scanner;
    for (int i = 0; i < 3; ++i) {
        FrameScanResult frame = confidentFrame(kVisa);
        if (i < 2) {
            scanner.addFrameScores(frame, false);
        } else {
            // The third confident frame would decide; an unusable one after
            // the second keeps the answer back until a usable one comes.
            FrameScanResult faint = faintFrame();
            scanner.addFrameScores(faint, false);
            EXPECT_EQ(scanner.cardInfo(), nullptr);
            scanner.addFrameScores(frame, false);
        }
    }
    EXPECT_TRUE(scanner.complete());
}

TEST(CardScanner, UpsideDownIsJudgedOnUnusableFramesOnly) {
    ZeduVICardScanner scanner;
    FrameScanResult upsideDown = upsideDownFrame();
    scanner.addFrameScores(upsideDown, false);
    EXPECT_TRUE(upsideDown.upside_down);
    EXPECT_TRUE(scanner.lastFrameWasUpsideDown());

    // A usable frame says nothing about which way up the last bad one was.
    FrameScanResult usable = confidentFrame(kVisa);
    scanner.addFrameScores(usable, false);
    EXPECT_TRUE(scanner.lastFrameWasUpsideDown());

    FrameScanResult faint = faintFrame();
    scanner.addFrameScores(faint, false);
    EXPECT_FALSE(scanner.lastFrameWasUpsideDown());
}

TEST(CardScanner, AMissingOrMisshapenCardImageIsAnUnusableFrame) {
    ZeduVICardScanner scanner;
    FrameScanResult usable = confidentFrame(kVisa);
    scanner.addFrameScores(usable, false);
    ASSERT_TRUE(scanner.lastFrameWasUsable());

    scanner.addFrame(nullptr, 10, 100, 50, 0.01f, false, false, false);
    EXPECT_FALSE(scanner.lastFrameWasUsable());

    scanner.addFrameScores(usable, false);
    auto small = ZeduVIIplImage::imageWithSize(cvSize(100, 60), IPL_DEPTH_8U, 1);
    scanner.addFrame(small, 10, 100, 50, 0.01f, false, false, false);
    EXPECT_FALSE(scanner.lastFrameWasUsable());
    EXPECT_EQ(scanner.cardInfo(), nullptr);
}

TEST(CardScanner, ResetForgetsTheCompletedScanAndItsResult) {
    ZeduVICardScanner scanner;
    completeScan(scanner, kVisa);
    ASSERT_TRUE(scanner.complete());
    FrameScanResult upsideDown = upsideDownFrame();

    scanner.reset();
    EXPECT_FALSE(scanner.complete());
    EXPECT_EQ(scanner.cardInfo(), nullptr);
    EXPECT_EQ(scanner.scanSessionAnalytics()->num_frames_scanned, 0u);

    // Frames count again, and the next card is read afresh.
    scanner.addFrameScores(upsideDown, false);
    EXPECT_TRUE(scanner.lastFrameWasUpsideDown());
    completeScan(scanner, kAmex);
    ASSERT_TRUE(scanner.complete());
    EXPECT_EQ(scanner.cardInfo()->number(), kAmex);
    EXPECT_EQ(scanner.cardInfo()->xOffsets().size(), 15u);
}

// The wait is measured on the platform clock, never on how long the frames
// took to analyse, so a fast build and a slow one finish on the same frame.
TEST(CardScanner, WithTheExpiryWantedTheNumberWaitsASecondOfThePlatformClock) {
    platform::ScopedManualClock clock;
    ZeduVICardScanner scanner;
    const auto addFrame = [&scanner] {
        FrameScanResult frame = confidentFrame(kVisa);
        scanner.addFrameScores(frame, true);
    };
    for (int i = 0; i < 3; ++i) addFrame();
    EXPECT_FALSE(scanner.complete()) << "decided, but no expiry yet";
    clock->advance(0.9);
    addFrame();
    EXPECT_FALSE(scanner.complete());
    clock->advance(0.2);
    addFrame();
    ASSERT_TRUE(scanner.complete()) << "a second passed without an expiry";
    EXPECT_EQ(scanner.cardInfo()->number(), kVisa);
    EXPECT_EQ(scanner.cardInfo()->expiryMonth(), 0u);
}

// The capture queue adds frames and resets while the main thread asks for
// the result: a reader sees either nothing or a whole number, never a
// result made from a half-added frame.
TEST(CardScanner, TheMainThreadReadsWhileTheCaptureQueueWrites) {
    auto scanner = std::make_shared<ZeduVICardScanner>();
    std::atomic<bool> done{false};
    std::atomic<int> completions{0};
    std::thread capture([&] {
        for (int scan = 0; scan < 200; ++scan) {
            const std::string& digits = scan % 2 == 0 ? kVisa : kAmex;
            for (int i = 0; i < 4; ++i) {
                FrameScanResult frame = i == 1 ? upsideDownFrame() : confidentFrame(digits);
                scanner->addFrameScores(frame, false);
            }
            if (scanner->complete()) ++completions;
            scanner->reset();
        }
        done = true;
    });
    bool allWhole = true;
    while (!done) {
        if (auto info = scanner->cardInfo()) {
            const bool whole = (info->number() == kVisa && info->xOffsets().size() == 16) ||
                               (info->number() == kAmex && info->xOffsets().size() == 15);
            allWhole = allWhole && whole;
        }
        const ScannerState copy = scanner->scannerState();
        allWhole = allWhole && copy.count15 <= 4 && copy.count16 <= 4;
        (void)scanner->lastFrameWasUpsideDown();
    }
    capture.join();
    EXPECT_TRUE(allWhole);
    EXPECT_EQ(completions, 200);
}

}  // namespace
}  // namespace cardscanner
