#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "analysis/compare_images.h"
#include "model/png_file.h"
#include "output/page_shell.h"
#include "output/validation_page.h"
#include "analysis/validation_plan.h"

namespace {

Image grey(int width, int height, uint8_t level) {
    return Image{width, height, std::vector<uint8_t>(size_t(width) * size_t(height) * 3, level)};
}

void setPixel(Image& image, int x, int y, uint8_t r, uint8_t g, uint8_t b) {
    uint8_t* p = &image.rgb[(size_t(y) * size_t(image.width) + size_t(x)) * 3];
    p[0] = r, p[1] = g, p[2] = b;
}

TEST(FrameComparison, SortsSmallDifferencesFromWrongRegionsAndPlacesThem) {
    const Tolerance tolerance{8, 0.01};
    const Image expected = grey(100, 50, 100);
    EXPECT_EQ(compareFrames(expected, expected, tolerance).verdict, FrameVerdict::identical);

    // Edge noise: many pixels off by the threshold at most.
    Image noisy = expected;
    for (int x = 0; x < 100; ++x) setPixel(noisy, x, 7, 108, 92, 100);
    FrameComparison c = compareFrames(expected, noisy, tolerance);
    EXPECT_EQ(c.verdict, FrameVerdict::withinTolerance);
    EXPECT_EQ(c.differing, 100);
    EXPECT_EQ(c.failing, 0);

    // A few pixels beyond it, up to the stated fraction (50 of 5000), still pass...
    Image speckled = expected;
    for (int i = 0; i < 50; ++i) setPixel(speckled, i, 0, 100, 100, 200);
    EXPECT_EQ(compareFrames(expected, speckled, tolerance).verdict, FrameVerdict::withinTolerance);
    // ...one more does not, and the failing pixels are boxed, y from the top.
    setPixel(speckled, 70, 30, 0, 100, 100);
    c = compareFrames(expected, speckled, tolerance);
    EXPECT_EQ(c.verdict, FrameVerdict::differs);
    EXPECT_EQ(c.failing, 51);
    EXPECT_EQ(c.largestDifference, 100);
    EXPECT_EQ((std::vector<int>{c.failingBox.left, c.failingBox.top, c.failingBox.right, c.failingBox.bottom}),
              (std::vector<int>{0, 0, 70, 30}));
    EXPECT_NE(describeComparison(c).find("51 beyond the threshold, within x 0..70, y 0..30"), std::string::npos);

    c = compareFrames(expected, grey(50, 100, 100), tolerance);
    EXPECT_TRUE(c.sizesDiffer);
    EXPECT_EQ(c.verdict, FrameVerdict::differs);

    const Image difference = differenceImage(expected, noisy, 16);
    EXPECT_EQ(difference.rgb[(7 * 100 + 3) * 3 + 0], 128);
    EXPECT_EQ(difference.rgb[(7 * 100 + 3) * 3 + 2], 0);
    EXPECT_EQ(differenceImage(expected, speckled, 16).rgb[(30 * 100 + 70) * 3], 255);
}

TEST(PngFile, KeepsEveryPixelAndRefusesADamagedFile) {
    Image image = grey(7, 3, 0);
    for (int i = 0; i < 21; ++i) setPixel(image, i % 7, i / 7, uint8_t(i * 12), uint8_t(255 - i), uint8_t(i));
    const std::string path = testing::TempDir() + "frame_test.png";
    std::string error;
    ASSERT_TRUE(writePng(path, image, error)) << error;
    Image back;
    ASSERT_TRUE(readPng(path, back, error)) << error;
    EXPECT_EQ(back.width, 7);
    EXPECT_EQ(back.height, 3);
    EXPECT_EQ(back.rgb, image.rgb);
    EXPECT_EQ(hashText(pixelHash(back)), hashText(pixelHash(image)));
    EXPECT_NE(pixelHash(grey(21, 1, 0)), pixelHash(grey(7, 3, 0)));  // same bytes, another shape

    std::filesystem::resize_file(path, std::filesystem::file_size(path) - 20);
    EXPECT_FALSE(readPng(path, back, error));
    EXPECT_NE(error.find("not a readable PNG"), std::string::npos);
    EXPECT_TRUE(back.rgb.empty());
    EXPECT_FALSE(writePng(testing::TempDir() + "no such directory/frame.png", image, error));
}

TEST(ValidationPlan, StepsAndPreload) {
    std::vector<long long> steps;
    ASSERT_TRUE(parseSteps("5,1,3,3", steps));
    EXPECT_EQ(steps, (std::vector<long long>{1, 3, 5}));
    for (const char* bad : {"", "0", "1,,2", "-1", "1.5", "2,x", "1,", "1000001", "9999999999"})
        EXPECT_FALSE(parseSteps(bad, steps)) << bad;
    EXPECT_EQ(preloadWith(nullptr, "/c.so"), "/c.so");
    EXPECT_EQ(preloadWith(" ", "/c.so"), "/c.so");
    EXPECT_EQ(preloadWith("/user.so", "/c.so"), "/user.so:/c.so");
    EXPECT_EQ(captureLibraryCandidates("/usr/bin/lumenfold").front(), "/usr/lib/lumenfold/liblumenfold_capture.so");
}

TEST(ValidationPage, ThreeImagesPerStepInsideAnInertPage) {
    EXPECT_EQ(base64("Man"), "TWFu");
    EXPECT_EQ(base64("Ma"), "TWE=");
    EXPECT_EQ(base64("M"), "TQ==");
    const ValidationSummary summary{"triangles", "<b>GPU</b>", "llvmpipe", "t", 16};
    const std::vector<StepView> steps{{1, "identical", false, "a", "b", "c"}, {3, "differs", true, "a", "", "c"}};
    const std::string page = validationPage(summary, steps, "lumenfold test");
    EXPECT_NE(page.find("default-src 'none'"), std::string::npos);
    EXPECT_EQ(page.find("<b>GPU"), std::string::npos);
    EXPECT_NE(page.find("&lt;b&gt;GPU"), std::string::npos);
    size_t images = 0;
    for (size_t at = page.find("<img"); at != std::string::npos; at = page.find("<img", at + 1)) ++images;
    EXPECT_EQ(images, 5u);  // step 3's drawn frame is missing, and says so
    EXPECT_NE(page.find("not captured"), std::string::npos);
    EXPECT_NE(page.find("id=\"step-3\""), std::string::npos);
}

}  // namespace
