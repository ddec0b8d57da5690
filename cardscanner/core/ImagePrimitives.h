#pragma once
// Image primitives of the recognition core: chroma splitting, colour
// conversion of the warped card planes, GPU read-back packing, the focus and
// brightness scores of a camera frame, and the core's own histogram
// equalisation.
//
// Stateless free functions over IplImage headers; they allocate only the
// images they return (and focus_score its scratch image) and run on the
// caller's thread. Where an input carries a region of interest, only that
// region is read. Inputs of the wrong type or size are refused with a false
// (or negative) result before anything is written: a camera hiccup must not
// bring the capture queue down.

#include <opencv2/core/core_c.h>

#include <cstddef>
#include <cstdint>

// Splits an interleaved 8-bit two-channel CbCr plane into two new 8-bit
// planes of its size (Cb first). The caller releases both. False, with both
// outputs set to nullptr, when the source is not 8-bit two-channel.
bool split_cbcr(const IplImage* cbcr, IplImage** cb, IplImage** cr);

// Full-range Q14 fixed-point YCbCr to RGB of three equally sized 8-bit
// planes. *rgb may hold an 8-bit 3- or 4-channel image at least Y's size
// (written as R, G, B[, 255]); when it holds nullptr a new 3-channel image
// of Y's size is created and stored there. False, writing nothing, when the
// planes differ in size or type or the output is too small or of another
// type.
bool ycbcr_to_rgb(const IplImage* y, const IplImage* cb, const IplImage* cr, IplImage** rgb);

// destination[i] = source[4 i] for i < n: the first component of each RGBA
// pixel of an OpenGL read-back.
void extract_first_channel(const uint8_t* source, uint8_t* destination, size_t n);

// Sharpness: population standard deviation of the absolute diagonal second
// difference (see ImagePrimitives.cpp for the row rule the thresholds of
// frame analysis are tuned to). 0 for an empty region; -1 when the image is
// not 8-bit one-channel.
float focus_score(const IplImage* image);

// The centred scoring window of a width x height frame: 428 x 270 (large) or
// 142 x 90 at 640 x 480, scaled by min(width / 640, height / 480) otherwise;
// empty at (0, 0) for an empty frame.
CvRect frame_score_window(int width, int height, bool large);

// focus_score / mean luma over frame_score_window of the Y plane. Both leave
// the plane without a region of interest. -1 when the plane is not 8-bit
// one-channel; 0 for an empty window.
float focus_score_for_frame(IplImage* y, bool large);
float brightness_score_for_frame(IplImage* y, bool large);

// Histogram equalisation with scale 255 / pixel count and lut[0] forced to 0
// (the digit networks are trained on exactly this). src and dst may be the
// same image. False, writing nothing, unless both are 8-bit one-channel of
// one size.
bool llcv_equalize_hist(const IplImage* src, IplImage* dst);
