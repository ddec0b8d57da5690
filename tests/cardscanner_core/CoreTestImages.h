#pragma once
// Images for the core's tests: owned IplImages and a few ways to fill them.

#include <opencv2/core/core_c.h>

#include <cstdint>
#include <memory>
#include <random>

struct ReleaseImage {
    void operator()(IplImage* image) const { cvReleaseImage(&image); }
};
using ImagePtr = std::unique_ptr<IplImage, ReleaseImage>;

inline ImagePtr make_image(int width, int height, int depth = IPL_DEPTH_8U, int channels = 1)
{
    ImagePtr image(cvCreateImage(cvSize(width, height), depth, channels));
    cvSetZero(image.get());
    return image;
}

inline uint8_t& pixel(IplImage* image, int x, int y, int channel = 0)
{
    return reinterpret_cast<uint8_t*>(image->imageData + y * image->widthStep)[x * image->nChannels + channel];
}

inline void fill_random(IplImage* image, unsigned seed)
{
    std::mt19937 random(seed);
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width * image->nChannels; ++x)
            reinterpret_cast<uint8_t*>(image->imageData + y * image->widthStep)[x] = static_cast<uint8_t>(random());
    }
}

inline ImagePtr random_card(unsigned seed)
{
    ImagePtr card = make_image(428, 270);
    fill_random(card.get(), seed);
    return card;
}
