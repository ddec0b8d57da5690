#include "platform/graphics/Image.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <vector>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <jpeglib.h>
#include <jerror.h>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/Strings.h"
#include "platform/graphics/Context.h"
#include "platform/imageio/ImageMetadata.h"

namespace platform {

namespace {

std::mutex& cacheMutex() {
    static std::mutex mutex;
    return mutex;
}

// Keyed by bundle folder and name, so that a test or the simulator switching
// bundles never sees another bundle's picture.
std::map<std::string, std::shared_ptr<UIImage>>& imageCache() {
    static NeverDestroyed<std::map<std::string, std::shared_ptr<UIImage>>> cache{
        ResetStage::Interface, [](std::map<std::string, std::shared_ptr<UIImage>>&) { UIImage::clearImageCache(); }};
    return *cache;
}

std::uint8_t channel8(const cv::Mat& m, int row, int col, int c) {
    if (m.depth() == CV_16U) return static_cast<std::uint8_t>(m.ptr<std::uint16_t>(row)[col * m.channels() + c] / 257);
    return m.ptr<std::uint8_t>(row)[col * m.channels() + c];
}

// OpenCV decodes to BGR(A) or grey at 8 or 16 bits; cairo wants 32-bit
// native-endian premultiplied ARGB.
cairo_surface_t* surfaceFromMat(const cv::Mat& m) {
    if (m.empty() || m.dims != 2 || (m.depth() != CV_8U && m.depth() != CV_16U)) return nullptr;
    const int channels = m.channels();
    if (channels != 1 && channels != 2 && channels != 3 && channels != 4) return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, m.cols, m.rows);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    if (m.depth() == CV_8U && channels == 3) {
        // Camera photos are 8-bit BGR: opaque, so no premultiplying.
        for (int y = 0; y < m.rows; ++y) {
            const std::uint8_t* in = m.ptr<std::uint8_t>(y);
            auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
            for (int x = 0; x < m.cols; ++x, in += 3)
                row[x] = 0xFF000000u | (std::uint32_t(in[2]) << 16) | (std::uint32_t(in[1]) << 8) | in[0];
        }
        cairo_surface_mark_dirty(surface);
        return surface;
    }
    for (int y = 0; y < m.rows; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
        for (int x = 0; x < m.cols; ++x) {
            std::uint32_t r, g, b, a = 255;
            if (channels <= 2) {
                r = g = b = channel8(m, y, x, 0);
                if (channels == 2) a = channel8(m, y, x, 1);
            } else {
                b = channel8(m, y, x, 0);
                g = channel8(m, y, x, 1);
                r = channel8(m, y, x, 2);
                if (channels == 4) a = channel8(m, y, x, 3);
            }
            r = (r * a + 127) / 255;
            g = (g * a + 127) / 255;
            b = (b * a + 127) / 255;
            row[x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

// Reads up to `length` bytes at `offset` into `out`; answers how many were
// there (fewer only where the bytes end).
using HeaderReader = std::function<std::size_t(std::uint64_t offset, std::uint8_t* out, std::size_t length)>;

struct ClaimedSize {
    std::uint32_t width = 0, height = 0;
};

// What decoding a JPEG takes (jpegDecodeCost).
struct JpegCost {
    std::uint64_t bytes = 0;
    int components = 0;
    bool multiScan = false;
};

std::uint32_t bigEndian(const std::uint8_t* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
    return value;
}

// One libjpeg run: its errors end it through `failed` (with libjpeg's text in
// `error`); its warnings of damage are counted, with the text of the first,
// or of running out of data once it has.
struct JpegPass {
    jpeg_error_mgr errors;
    std::jmp_buf failed;
    char error[JMSG_LENGTH_MAX] = "";
    char warning[JMSG_LENGTH_MAX] = "";
    int warnings = 0;
    bool ranOut = false;
};

// Whether a libjpeg warning says the data broke or ended early. The others
// (a JFIF revision it does not know, an unknown Adobe colour transform) are
// about a picture that decodes whole.
bool warnsOfDamage(int code) {
    switch (code) {
        case JWRN_JPEG_EOF:
        case JWRN_HIT_MARKER:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_ARITH_BAD_CODE:
        case JWRN_EXTRANEOUS_DATA:
        case JWRN_MUST_RESYNC:
        case JWRN_NOT_SEQUENTIAL:
        case JWRN_BOGUS_PROGRESSION: return true;
        default: return false;
    }
}

void onJpegError(j_common_ptr cinfo) {
    auto* pass = static_cast<JpegPass*>(cinfo->client_data);
    (*cinfo->err->format_message)(cinfo, pass->error);
    std::longjmp(pass->failed, 1);
}

void onJpegMessage(j_common_ptr cinfo, int level) {
    if (level >= 0 || !warnsOfDamage(cinfo->err->msg_code)) return;
    auto* pass = static_cast<JpegPass*>(cinfo->client_data);
    const bool ranOut = cinfo->err->msg_code == JWRN_JPEG_EOF;
    if (pass->warnings++ == 0 || (ranOut && !pass->ranOut)) (*cinfo->err->format_message)(cinfo, pass->warning);
    pass->ranOut = pass->ranOut || ranOut;
}

// libjpeg's input through a HeaderReader, read a few kilobytes at a time;
// where the bytes end it does what libjpeg's own sources do: warn, and read
// an end-of-image marker.
struct ReaderSource {
    jpeg_source_mgr manager;
    const HeaderReader* read;
    std::uint64_t offset;
    JOCTET buffer[4096];
};

boolean fillFromReader(j_decompress_ptr cinfo) {
    auto* source = reinterpret_cast<ReaderSource*>(cinfo->src);
    std::size_t count = (*source->read)(source->offset, source->buffer, sizeof source->buffer);
    source->offset += count;
    if (count == 0) {
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        count = 2;
    }
    source->manager.next_input_byte = source->buffer;
    source->manager.bytes_in_buffer = count;
    return TRUE;
}

void skipInReader(j_decompress_ptr cinfo, long count) {
    auto* source = reinterpret_cast<ReaderSource*>(cinfo->src);
    if (count <= 0) return;
    const auto skipped = static_cast<std::size_t>(count);
    if (skipped <= source->manager.bytes_in_buffer) {
        source->manager.next_input_byte += skipped;
        source->manager.bytes_in_buffer -= skipped;
        return;
    }
    source->offset += skipped - source->manager.bytes_in_buffer;
    source->manager.bytes_in_buffer = 0;
}

void noSourceWork(j_decompress_ptr) {}

// Starts a libjpeg run over `source` whose errors and warnings go to `pass`.
void startJpegPass(jpeg_decompress_struct& cinfo, JpegPass& pass, ReaderSource& source, const HeaderReader& read) {
    cinfo.err = jpeg_std_error(&pass.errors);
    pass.errors.error_exit = onJpegError;
    pass.errors.emit_message = onJpegMessage;
    cinfo.client_data = &pass;
    source.read = &read;
    source.offset = 0;
    source.manager.next_input_byte = nullptr;
    source.manager.bytes_in_buffer = 0;
    source.manager.init_source = noSourceWork;
    source.manager.fill_input_buffer = fillFromReader;
    source.manager.skip_input_data = skipInReader;
    source.manager.resync_to_restart = jpeg_resync_to_restart;
    source.manager.term_source = noSourceWork;
}

// What libjpeg said of damage reading a JPEG's whole entropy-coded data.
struct JpegScan {
    int warnings = 0;
    bool ranOut = false;  // it asked for bytes past the end
    std::string warning;  // as JpegPass::warning
};

// What one libjpeg run over a JPEG read: its size, what decoding it takes,
// and what it said on the way.
struct JpegRead {
    ClaimedSize size;
    JpegCost cost;
    JpegScan scan;
};

// The memory a decode of the JPEG whose header `cinfo` has read takes: its
// bitmap (4 bytes a pixel), and, for a picture in more than one scan
// (progressive, or components sent in scans of their own), every coefficient
// of every component, which libjpeg keeps whole until the last scan: 2 bytes
// each, 64 a block, a component's blocks rounded up to whole MCUs as libjpeg
// allocates them. Reduced decodes keep those whole too.
JpegCost jpegDecodeCost(jpeg_decompress_struct& cinfo) {
    JpegCost cost;
    cost.components = cinfo.num_components;
    cost.multiScan = jpeg_has_multiple_scans(&cinfo);
    cost.bytes = std::uint64_t{cinfo.image_width} * cinfo.image_height * 4;
    if (cost.multiScan) {
        for (int i = 0; i < cinfo.num_components; ++i) {
            const jpeg_component_info& component = cinfo.comp_info[i];
            const auto roundUp = [](std::uint64_t value, std::uint64_t step) { return (value + step - 1) / step * step; };
            cost.bytes += roundUp(component.width_in_blocks, static_cast<std::uint64_t>(component.h_samp_factor)) *
                          roundUp(component.height_in_blocks, static_cast<std::uint64_t>(component.v_samp_factor)) *
                          DCTSIZE2 * sizeof(JCOEF);
        }
    }
    return cost;
}

// Reads a JPEG the way its decoder does (the decoders below are libjpeg too):
// the header alone, or with `wholeData` also the whole entropy-coded data (at
// 1/8 size, so for little else). The header read skips what libjpeg skips
// (fill bytes, stuffed zeros, garbage between segments) and takes the frame
// header libjpeg takes, so the size is the one a decode allocates for; the
// data is read only once that size has been admitted. nullopt, with
// libjpeg's reason in `error`, when it fails. Only C state lives between
// setjmp and longjmp.
std::optional<JpegRead> readJpeg(const HeaderReader& read, bool wholeData, char (&error)[JMSG_LENGTH_MAX]) {
    jpeg_decompress_struct cinfo{};
    JpegPass pass;
    ReaderSource source;
    startJpegPass(cinfo, pass, source, read);
    if (setjmp(pass.failed)) {
        jpeg_destroy_decompress(&cinfo);
        std::copy(std::begin(pass.error), std::end(pass.error), error);
        return std::nullopt;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.src = &source.manager;
    jpeg_read_header(&cinfo, TRUE);
    const ClaimedSize size{cinfo.image_width, cinfo.image_height};
    const JpegCost cost = jpegDecodeCost(cinfo);
    if (wholeData) {
        cinfo.scale_num = 1;
        cinfo.scale_denom = 8;
        cinfo.dct_method = JDCT_IFAST;
        cinfo.do_fancy_upsampling = FALSE;
        jpeg_start_decompress(&cinfo);
        JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                     cinfo.output_width * cinfo.output_components, 1);
        while (cinfo.output_scanline < cinfo.output_height && !pass.ranOut) jpeg_read_scanlines(&cinfo, row, 1);
    }
    // Not finished: what follows the last pixel is no decode's business.
    jpeg_destroy_decompress(&cinfo);
    return JpegRead{size, cost, JpegScan{pass.warnings, pass.ranOut, pass.warning}};
}

// The size in a PNG's IHDR chunk, which must come first.
std::optional<ClaimedSize> pngClaimedSize(const HeaderReader& read) {
    std::uint8_t header[16];
    if (read(8, header, sizeof header) != sizeof header ||
        std::string_view(reinterpret_cast<const char*>(header + 4), 4) != "IHDR")
        return std::nullopt;
    return ClaimedSize{bigEndian(header + 8, 4), bigEndian(header + 12, 4)};
}

// Decoders allocate the whole claimed bitmap before reading a pixel, so the
// claim is checked first: a few kilobytes claiming 32767 x 32767 pixels would
// take gigabytes. So would a few hundred bytes claiming a picture within the
// pixel limit whose coefficients libjpeg holds whole (jpegDecodeCost), so a
// JPEG's cost in bytes is checked as well. The claim checked is the one the decoder will act on (a
// JPEG's as libjpeg itself reads it, a PNG's IHDR chunk, which libpng
// requires first). Only JPEG and PNG, whose claims are read here, are let
// through; nullopt (with a log line naming `what`, whose text `why` gets)
// refuses the image.
std::optional<ClaimedSize> admittedSize(const HeaderReader& read, const std::string& what, std::string* why = nullptr) {
    static constexpr std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto refuse = [&](std::string reason) -> std::optional<ClaimedSize> {
        logf("UIImage: %s", reason.c_str());
        if (why) *why = std::move(reason);
        return std::nullopt;
    };
    std::uint8_t start[8];
    std::optional<ClaimedSize> size;
    JpegCost cost;
    if (read(0, start, 2) == 2 && start[0] == 0xFF && start[1] == 0xD8) {
        char error[JMSG_LENGTH_MAX] = "";
        const std::optional<JpegRead> header = readJpeg(read, false, error);
        if (header) size = header->size, cost = header->cost;
        if (!size) return refuse(format("%s has no JPEG header libjpeg reads (%s); not decoded", what.c_str(), error));
    } else if (read(0, start, 8) == 8 && std::equal(start, start + 8, kPngSignature)) {
        size = pngClaimedSize(read);
    } else {
        return refuse(what + " is not a JPEG or PNG image");
    }
    if (!size || size->width == 0 || size->height == 0) return refuse(what + " has no readable image size");
    if (size->width > kUIImageMaxSide || size->height > kUIImageMaxSide)
        return refuse(format("%s claims %u x %u pixels, a side over the limit of %u; not decoded", what.c_str(),
                             size->width, size->height, kUIImageMaxSide));
    if (std::uint64_t{size->width} * size->height > kUIImageMaxPixels)
        return refuse(format("%s claims %u x %u pixels, over the limit of %llu pixels; not decoded", what.c_str(),
                             size->width, size->height, static_cast<unsigned long long>(kUIImageMaxPixels)));
    if (cost.bytes > kUIImageMaxDecodeBytes)
        return refuse(format("%s claims %u x %u pixels of %d components in %s, which would take %.1f GB to decode, "
                             "over the limit of %.1f GB; not decoded",
                             what.c_str(), size->width, size->height, cost.components,
                             cost.multiScan ? "several scans" : "one scan", cost.bytes / 1e9,
                             kUIImageMaxDecodeBytes / 1e9));
    return size;
}

HeaderReader readerOfData(const Data& data) {
    return [&data](std::uint64_t offset, std::uint8_t* out, std::size_t length) -> std::size_t {
        if (offset >= data.size()) return 0;
        const std::size_t count = std::min<std::uint64_t>(length, data.size() - offset);
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(offset), count, out);
        return count;
    };
}

bool isJpeg(const Data& data) { return data.size() > 2 && data[0] == 0xFF && data[1] == 0xD8; }

Data withJpegEnd(Data data) {
    data.push_back(0xFF);
    data.push_back(0xD9);
    return data;
}

// Image data admitted for decoding.
struct AdmittedData {
    ClaimedSize size;
    // JPEG data that does not end in its end marker, with that marker.
    std::optional<Data> ended;
    // The bytes every reading of `data` goes through, the decoder's and the
    // EXIF reader's alike.
    const Data& bytes(const Data& data) const { return ended ? *ended : data; }
};

// Image data that may be decoded; nullopt (with a log line) refuses it.
//
// OpenCV reads a JPEG from memory through a source that stalls where the
// bytes end (even when libjpeg only reads ahead of the last pixels), and then
// hands over the rows libjpeg never wrote as the heap held them. JPEG data
// that does not end in its end marker is therefore read with the marker
// libjpeg itself reads where data runs out, so that it shows as far as its
// data goes and grey after; one that runs out even so (cut inside a header)
// is refused. Its metadata is read from those same bytes: the metadata reader
// (metadataOfJpegData) refuses a JPEG that does not end in the marker, by our
// own whole-file check (isWholeJpeg) before Exiv2 is given the bytes, and a
// picture that decodes must be turned as its EXIF says, whether or not its
// file lost the last two bytes. Data that ends in the marker cannot run out
// (libjpeg stops at it), so only the rest pays for the extra pass.
std::optional<AdmittedData> admittedData(const Data& data) {
    const auto size = admittedSize(readerOfData(data), "image data");
    if (!size) return std::nullopt;
    if (!isJpeg(data) || isWholeJpeg(data)) return AdmittedData{*size, std::nullopt};
    AdmittedData admitted{*size, withJpegEnd(data)};
    char error[JMSG_LENGTH_MAX] = "";
    const std::optional<JpegRead> read = readJpeg(readerOfData(*admitted.ended), true, error);
    if (!read || read->scan.ranOut) {
        logf("UIImage: image data is a damaged JPEG (%s); not decoded",
             read ? "its data ends inside a header" : error);
        return std::nullopt;
    }
    return admitted;
}

// The DCT can hand over 1/2, 1/4 or 1/8 of a JPEG's size for little more than
// the smaller bitmap's cost. Answers the largest of 8, 4 and 2 whose reduced
// stored size (width, height as the decoder rounds them) `enough` accepts, or
// 1 when none does.
int jpegReductionDenominator(ClaimedSize size, const std::function<bool(std::uint32_t, std::uint32_t)>& enough) {
    for (const std::uint32_t denominator : {8u, 4u, 2u}) {
        if (enough((size.width + denominator - 1) / denominator, (size.height + denominator - 1) / denominator))
            return static_cast<int>(denominator);
    }
    return 1;
}

// The orientation stays ours to apply, as for a full decode.
int decodeFlagsForReduction(int denominator) {
    switch (denominator) {
        case 8: return cv::IMREAD_REDUCED_COLOR_8 | cv::IMREAD_IGNORE_ORIENTATION;
        case 4: return cv::IMREAD_REDUCED_COLOR_4 | cv::IMREAD_IGNORE_ORIENTATION;
        case 2: return cv::IMREAD_REDUCED_COLOR_2 | cv::IMREAD_IGNORE_ORIENTATION;
        default: return cv::IMREAD_UNCHANGED;
    }
}

// Decoded pixels of admitted bytes (AdmittedData::bytes); empty when they do not decode.
cv::Mat decodeData(const Data& data, int flags) {
    try {
        const cv::Mat bytes(1, static_cast<int>(data.size()), CV_8U, const_cast<std::uint8_t*>(data.data()));
        return cv::imdecode(bytes, flags);
    } catch (const cv::Exception& e) {
        logf("UIImage: cannot decode image data: %s", e.what());
        return {};
    }
}

// The EXIF orientation of admitted bytes (AdmittedData::bytes), the ones
// their pixels are decoded from.
UIImageOrientation exifOrientationOfData(const Data& data) {
    if (isJpeg(data)) {
        if (const auto metadata = metadataOfJpegData(data)) {
            if (auto it = metadata->find(kCGImagePropertyOrientation); it != metadata->end() && it->second.isNumber())
                return UIImageOrientationFromExif(static_cast<int>(it->second.doubleValue()));
        }
    }
    return UIImageOrientationUp;
}

std::shared_ptr<UIImage> imageFromMat(const cv::Mat& decoded, double scale, UIImageOrientation orientation) {
    cairo_surface_t* surface = surfaceFromMat(decoded);
    if (!surface) return nullptr;
    auto image = std::make_shared<UIImage>(surface, scale, orientation);
    cairo_surface_destroy(surface);
    return image;
}

// Admitted bytes (AdmittedData::bytes) decoded with `flags`, turned as their EXIF says.
std::shared_ptr<UIImage> imageOfData(const Data& data, int flags, double scale) {
    const cv::Mat decoded = decodeData(data, flags);
    if (decoded.empty()) return nullptr;
    return imageFromMat(decoded, scale, exifOrientationOfData(data));
}

bool swapsSides(UIImageOrientation o) {
    return o == UIImageOrientationLeft || o == UIImageOrientationRight || o == UIImageOrientationLeftMirrored ||
           o == UIImageOrientationRightMirrored;
}

// Maps stored pixel coordinates (w x h) to upright ones.
cairo_matrix_t orientationMatrix(UIImageOrientation o, double w, double h) {
    cairo_matrix_t m;
    switch (o) {
        case UIImageOrientationDown: cairo_matrix_init(&m, -1, 0, 0, -1, w, h); break;
        case UIImageOrientationLeft: cairo_matrix_init(&m, 0, -1, 1, 0, 0, w); break;
        case UIImageOrientationRight: cairo_matrix_init(&m, 0, 1, -1, 0, h, 0); break;
        case UIImageOrientationUpMirrored: cairo_matrix_init(&m, -1, 0, 0, 1, w, 0); break;
        case UIImageOrientationDownMirrored: cairo_matrix_init(&m, 1, 0, 0, -1, 0, h); break;
        case UIImageOrientationLeftMirrored: cairo_matrix_init(&m, 0, 1, 1, 0, 0, 0); break;
        case UIImageOrientationRightMirrored: cairo_matrix_init(&m, 0, -1, -1, 0, h, w); break;
        default: cairo_matrix_init_identity(&m); break;
    }
    return m;
}

// Whole-pixel turns and moves copy pixels exactly (and fast); anything
// else is resampled.
void paintWithFittingFilter(cairo_t* cr) {
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    auto unit = [](double v) { return v == 0 || v == 1 || v == -1; };
    const bool exact = unit(m.xx) && unit(m.xy) && unit(m.yx) && unit(m.yy) && std::floor(m.x0) == m.x0 &&
                       std::floor(m.y0) == m.y0;
    cairo_pattern_set_filter(cairo_get_source(cr), exact ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    cairo_paint(cr);
}

// A decoder shows what it can of a damaged JPEG (grey where its data ran
// out), with no word but libjpeg's own on the standard error: one line names
// the file and says what shows. Nothing for a PNG or a sound JPEG.
void logJpegDamage(const HeaderReader& read, const std::string& path) {
    std::uint8_t start[2];
    if (read(0, start, 2) != 2 || start[0] != 0xFF || start[1] != 0xD8) return;
    char error[JMSG_LENGTH_MAX] = "";
    const std::optional<JpegRead> whole = readJpeg(read, true, error);
    if (!whole || whole->scan.warnings > 0) {
        logf("UIImage: %s is a damaged JPEG (libjpeg: %s): %s", path.c_str(),
             whole ? whole->scan.warning.c_str() : error,
             whole && whole->scan.ranOut ? "it shows as far as its data goes, grey after"
                                         : "it shows what decodes of it");
    }
}

// A held JPEG decoded again for one use, 8-bit BGR or grey at its promised
// size; empty when it does not decode so (the image's own pixels, which show
// such a failure, are then the ones to use).
cv::Mat decodeHeldJpegOnce(const Data& jpeg, int width, int height) {
    cv::Mat decoded = decodeData(jpeg, cv::IMREAD_UNCHANGED);
    if (decoded.cols != width || decoded.rows != height || decoded.depth() != CV_8U ||
        (decoded.channels() != 1 && decoded.channels() != 3))
        return {};
    return decoded;
}

// The stored pixels as they show upright: the moves orientationMatrix makes,
// pixel for pixel.
cv::Mat turnedUpright(const cv::Mat& stored, UIImageOrientation o) {
    cv::Mat turned;
    switch (o) {
        case UIImageOrientationDown: cv::rotate(stored, turned, cv::ROTATE_180); break;
        case UIImageOrientationLeft: cv::rotate(stored, turned, cv::ROTATE_90_COUNTERCLOCKWISE); break;
        case UIImageOrientationRight: cv::rotate(stored, turned, cv::ROTATE_90_CLOCKWISE); break;
        case UIImageOrientationUpMirrored: cv::flip(stored, turned, 1); break;
        case UIImageOrientationDownMirrored: cv::flip(stored, turned, 0); break;
        case UIImageOrientationLeftMirrored: cv::transpose(stored, turned); break;
        case UIImageOrientationRightMirrored:
            cv::transpose(stored, turned);
            cv::flip(turned, turned, -1);
            break;
        default: turned = stored; break;
    }
    return turned;
}

}  // namespace

UIImageOrientation UIImageOrientationFromExif(int exifOrientation) {
    switch (exifOrientation) {
        case 2: return UIImageOrientationUpMirrored;
        case 3: return UIImageOrientationDown;
        case 4: return UIImageOrientationDownMirrored;
        case 5: return UIImageOrientationLeftMirrored;
        case 6: return UIImageOrientationRight;
        case 7: return UIImageOrientationRightMirrored;
        case 8: return UIImageOrientationLeft;
        default: return UIImageOrientationUp;
    }
}

int UIImageOrientationToExif(UIImageOrientation orientation) {
    static constexpr int exif[] = {1, 3, 8, 6, 2, 4, 5, 7};
    const long index = orientation;
    return index >= 0 && index < 8 ? exif[index] : 1;
}

UIImage::UIImage(cairo_surface_t* surface, double scale, UIImageOrientation orientation)
    : surface_(cairo_surface_reference(surface)),
      scale_(scale > 0 ? scale : 1),
      orientation_(orientation >= UIImageOrientationUp && orientation <= UIImageOrientationRightMirrored
                       ? orientation
                       : UIImageOrientationUp) {}

std::shared_ptr<UIImage> UIImage::imageWithData(const Data& data, double scale) {
    if (data.empty()) return nullptr;
    const auto admitted = admittedData(data);
    if (!admitted) return nullptr;
    return imageOfData(admitted->bytes(data), cv::IMREAD_UNCHANGED, scale);
}

std::shared_ptr<UIImage> UIImage::thumbnailWithData(const Data& data, int side) {
    if (data.empty()) return nullptr;
    const auto admitted = admittedData(data);
    if (!admitted) return nullptr;
    int denominator = 1;
    if (isJpeg(data)) {
        const std::uint32_t wanted = static_cast<std::uint32_t>(std::max(side, 1));
        denominator = jpegReductionDenominator(admitted->size, [wanted](std::uint32_t width, std::uint32_t height) {
            return std::min(width, height) >= wanted;
        });
    }
    return imageOfData(admitted->bytes(data), decodeFlagsForReduction(denominator), 1);
}

std::shared_ptr<UIImage> UIImage::imageWithDataDecodedWhenNeeded(Data data) {
    if (data.empty()) return nullptr;
    if (!isJpeg(data)) return imageWithData(data);
    auto admitted = admittedData(data);
    if (!admitted) return nullptr;
    if (admitted->ended) data = std::move(*admitted->ended);
    const UIImageOrientation orientation = exifOrientationOfData(data);
    return std::shared_ptr<UIImage>(new UIImage(std::make_shared<const Data>(std::move(data)),
                                                static_cast<int>(admitted->size.width),
                                                static_cast<int>(admitted->size.height), orientation));
}

UIImage::UIImage(std::shared_ptr<const Data> jpeg, int width, int height, UIImageOrientation orientation)
    : surface_(nullptr), scale_(1), orientation_(orientation), jpeg_(std::move(jpeg)), jpegWidth_(width),
      jpegHeight_(height) {}

void UIImage::decodeHeldJpeg() const {
    const cv::Mat decoded = decodeData(*jpeg_, cv::IMREAD_UNCHANGED);
    cairo_surface_t* surface = decoded.empty() ? nullptr : surfaceFromMat(decoded);
    if (surface && (cairo_image_surface_get_width(surface) != jpegWidth_ ||
                    cairo_image_surface_get_height(surface) != jpegHeight_)) {
        cairo_surface_destroy(surface);
        surface = nullptr;
    }
    if (!surface) {
        // The size was promised when the image was made, and callers have
        // laid out and drawn by it since.
        logf("UIImage: the image data's %d x %d pixels do not decode; the image shows transparent", jpegWidth_,
             jpegHeight_);
        surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, jpegWidth_, jpegHeight_);
    }
    surface_ = surface;
    pixelsDecoded_.store(true, std::memory_order_release);
}

cairo_surface_t* UIImage::surface() const {
    if (jpeg_) std::call_once(decoded_, [this] { decodeHeldJpeg(); });
    return surface_;
}

std::shared_ptr<UIImage> UIImage::reducedImageCovering(CGSize upright) const {
    if (!jpeg_ || !(upright.width > 0) || !(upright.height > 0)) return nullptr;
    // A turned picture's upright width lies along its stored height.
    const bool swap = swapsSides(orientation_);
    const double neededWidth = swap ? upright.height : upright.width;
    const double neededHeight = swap ? upright.width : upright.height;
    const ClaimedSize size{static_cast<std::uint32_t>(jpegWidth_), static_cast<std::uint32_t>(jpegHeight_)};
    const int denominator = jpegReductionDenominator(size, [&](std::uint32_t width, std::uint32_t height) {
        return width >= neededWidth && height >= neededHeight;
    });
    if (denominator == 1) return nullptr;
    const cv::Mat decoded = decodeData(*jpeg_, decodeFlagsForReduction(denominator));
    if (decoded.empty()) return nullptr;
    return imageFromMat(decoded, 1, orientation_);
}

std::shared_ptr<UIImage> UIImage::imageWithImage(const UIImage& image, UIImageOrientation orientation) {
    return std::make_shared<UIImage>(image.surface(), image.scale_, orientation);
}

std::shared_ptr<UIImage> UIImage::uprightImage() const {
    if (orientation_ == UIImageOrientationUp) return imageWithImage(*this, UIImageOrientationUp);
    if (holdsUndecodedJpeg()) {
        // Turned as decoded, so that the whole picture is never held twice
        // at the surface's four bytes a pixel.
        cv::Mat decoded = decodeHeldJpegOnce(*jpeg_, jpegWidth_, jpegHeight_);
        if (!decoded.empty()) {
            const cv::Mat turned = turnedUpright(decoded, orientation_);
            decoded.release();
            if (auto image = imageFromMat(turned, scale_, UIImageOrientationUp)) return image;
        }
    }
    const int w = pixelWidth(), h = pixelHeight();
    const bool swap = swapsSides(orientation_);
    cairo_surface_t* turned = cairo_image_surface_create(cairo_image_surface_get_format(surface()), swap ? h : w,
                                                         swap ? w : h);
    if (cairo_surface_status(turned) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(turned);
        return nullptr;
    }
    cairo_t* cr = cairo_create(turned);
    const cairo_matrix_t m = orientationMatrix(orientation_, w, h);
    cairo_set_matrix(cr, &m);
    cairo_set_source_surface(cr, surface(), 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    paintWithFittingFilter(cr);
    cairo_destroy(cr);
    auto image = std::make_shared<UIImage>(turned, scale_, UIImageOrientationUp);
    cairo_surface_destroy(turned);
    return image;
}

UIImage::~UIImage() {
    if (surface_) cairo_surface_destroy(surface_);
}

std::shared_ptr<UIImage> UIImage::imageWithContentsOfFile(const std::string& path, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::error_code ec;
        if (error) *error = (std::filesystem::exists(path, ec) ? "cannot read " : "no file at ") + path;
        return nullptr;
    }
    const HeaderReader readFile = [&file](std::uint64_t offset, std::uint8_t* out, std::size_t length) {
        file.clear();
        file.seekg(static_cast<std::streamoff>(offset));
        file.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(length));
        return static_cast<std::size_t>(file.gcount());
    };
    if (!admittedSize(readFile, path, error)) return nullptr;
    cv::Mat decoded;
    try {
        decoded = cv::imread(path, cv::IMREAD_UNCHANGED);
    } catch (const cv::Exception& e) {
        logf("UIImage: cannot decode %s: %s", path.c_str(), e.what());
        if (error) *error = "cannot decode " + path + ": " + e.what();
        return nullptr;
    }
    auto image = imageFromMat(decoded, 1, UIImageOrientationUp);
    if (!image && error) *error = "cannot decode " + path;
    // The decoder's own bitmap goes first: the check may hold a progressive
    // picture's coefficients whole again.
    decoded.release();
    if (image) logJpegDamage(readFile, path);
    return image;
}

std::shared_ptr<UIImage> UIImage::imageNamed(const std::string& name) {
    if (name.empty()) return nullptr;
    const Bundle& bundle = Bundle::main();
    const std::string key = bundle.bundlePath() + '\n' + name;
    std::lock_guard lock(cacheMutex());
    auto& cache = imageCache();
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    std::optional<std::string> path = bundle.pathForResource(name, "");
    if (!path) path = bundle.pathForResource(name, "png");
    if (!path) path = bundle.pathForResource(name, "jpg");
    if (!path) return nullptr;
    auto image = imageWithContentsOfFile(*path);
    if (image) cache[key] = image;
    return image;
}

void UIImage::clearImageCache() {
    std::lock_guard lock(cacheMutex());
    imageCache().clear();
}

// An image holding its JPEG knows its size from the header, so laying it out decodes nothing.
int UIImage::pixelWidth() const { return jpeg_ ? jpegWidth_ : cairo_image_surface_get_width(surface_); }
int UIImage::pixelHeight() const { return jpeg_ ? jpegHeight_ : cairo_image_surface_get_height(surface_); }
CGSize UIImage::size() const {
    const CGSize stored{pixelWidth() / scale_, pixelHeight() / scale_};
    return swapsSides(orientation_) ? CGSize{stored.height, stored.width} : stored;
}

std::optional<UIImage::Pixel> UIImage::pixelAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= pixelWidth() || y >= pixelHeight()) return std::nullopt;
    cairo_surface_t* pixels = surface();
    cairo_surface_flush(pixels);
    const unsigned char* data = cairo_image_surface_get_data(pixels);
    if (!data) return std::nullopt;
    const std::uint32_t v =
        reinterpret_cast<const std::uint32_t*>(data + y * cairo_image_surface_get_stride(pixels))[x];
    const bool opaque = cairo_image_surface_get_format(pixels) == CAIRO_FORMAT_RGB24;
    const std::uint32_t a = opaque ? 255 : v >> 24;
    auto unpremultiply = [a](std::uint32_t c) { return a == 0 ? 0u : std::min(255u, (c * 255 + a / 2) / a); };
    return Pixel{static_cast<std::uint8_t>(unpremultiply((v >> 16) & 0xFF)),
                 static_cast<std::uint8_t>(unpremultiply((v >> 8) & 0xFF)),
                 static_cast<std::uint8_t>(unpremultiply(v & 0xFF)), static_cast<std::uint8_t>(a)};
}

bool UIImage::writePNG(const std::string& path) const {
    return cairo_surface_write_to_png(surface(), path.c_str()) == CAIRO_STATUS_SUCCESS;
}

namespace {

// Saves the state and clips to the rectangle; the caller restores.
void beginDrawingInRect(cairo_t* cr, CGRect rect) {
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_rectangle(cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    cairo_clip(cr);
}

}  // namespace

void UIImage::drawInRect(CGRect rect) const {
    CGContextRef c = UIGraphicsGetCurrentContext();
    if (!c || rect.size.width <= 0 || rect.size.height <= 0) return;
    cairo_t* cr = c->cairo();
    beginDrawingInRect(cr, rect);
    cairo_translate(cr, rect.origin.x, rect.origin.y);
    const bool swap = swapsSides(orientation_);
    cairo_scale(cr, rect.size.width / (swap ? pixelHeight() : pixelWidth()),
                rect.size.height / (swap ? pixelWidth() : pixelHeight()));
    const cairo_matrix_t m = orientationMatrix(orientation_, pixelWidth(), pixelHeight());
    cairo_transform(cr, &m);
    cairo_set_source_surface(cr, surface(), 0, 0);
    paintWithFittingFilter(cr);
    cairo_restore(cr);
}

void CGContextDrawImage(CGContextRef context, CGRect rect, const UIImage& image) {
    if (!context || rect.size.width <= 0 || rect.size.height <= 0) return;
    cairo_t* cr = context->cairo();
    beginDrawingInRect(cr, rect);
    cairo_translate(cr, rect.origin.x, rect.origin.y + rect.size.height);
    cairo_scale(cr, rect.size.width / image.pixelWidth(), -rect.size.height / image.pixelHeight());
    cairo_set_source_surface(cr, image.surface(), 0, 0);
    paintWithFittingFilter(cr);
    cairo_restore(cr);
}

void CGContextTranslateCTM(CGContextRef context, double tx, double ty) {
    if (context) cairo_translate(context->cairo(), tx, ty);
}
void CGContextRotateCTM(CGContextRef context, double angle) {
    if (context) cairo_rotate(context->cairo(), angle);
}
void CGContextScaleCTM(CGContextRef context, double sx, double sy) {
    if (context) cairo_scale(context->cairo(), sx, sy);
}

namespace {

cv::Mat bgrFromSurface(cairo_surface_t* surface) {
    cairo_surface_flush(surface);
    const int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    cv::Mat out(h, w, CV_8UC3);
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
        std::uint8_t* o = out.ptr<std::uint8_t>(y);
        for (int x = 0; x < w; ++x, o += 3) {
            const std::uint32_t v = row[x];
            // JPEG has no alpha: premultiplied colours over black are what shows.
            o[0] = v & 0xFF;
            o[1] = (v >> 8) & 0xFF;
            o[2] = (v >> 16) & 0xFF;
        }
    }
    return out;
}

cairo_status_t appendToData(void* closure, const unsigned char* bytes, unsigned int length) {
    auto* out = static_cast<Data*>(closure);
    out->insert(out->end(), bytes, bytes + length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

Data UIImageJPEGRepresentation(const UIImage& image, double compressionQuality) {
    // An image whose pixels were never needed is decoded for the encoder
    // alone: the same pixels, without a surface kept beside them.
    cv::Mat bgr;
    if (image.holdsUndecodedJpeg()) {
        bgr = decodeHeldJpegOnce(*image.jpeg_, image.jpegWidth_, image.jpegHeight_);
        if (bgr.channels() == 1) cv::merge(std::vector<cv::Mat>{bgr, bgr, bgr}, bgr);
    }
    if (bgr.empty()) {
        if (!image.surface() || cairo_surface_status(image.surface()) != CAIRO_STATUS_SUCCESS) return {};
        bgr = bgrFromSurface(image.surface());
    }
    if (!std::isfinite(compressionQuality)) compressionQuality = 1;
    const int quality = static_cast<int>(std::lround(std::clamp(compressionQuality, 0.0, 1.0) * 100));
    Data data;
    try {
        const bool encoded = cv::imencode(".jpg", bgr, data, {cv::IMWRITE_JPEG_QUALITY, quality});
        bgr.release();
        if (!encoded) return {};
    } catch (const cv::Exception& e) {
        logf("UIImage: cannot encode JPEG: %s", e.what());
        return {};
    }
    if (image.imageOrientation() != UIImageOrientationUp) {
        const Dictionary metadata{{kCGImagePropertyOrientation, UIImageOrientationToExif(image.imageOrientation())}};
        auto tagged = jpegDataByAddingMetadata(data, metadata);
        if (!tagged) return {};
        data = std::move(*tagged);
    }
    return data;
}

Data UIImagePNGRepresentation(const UIImage& image) {
    Data data;
    if (!image.surface() || cairo_surface_write_to_png_stream(image.surface(), appendToData, &data) != CAIRO_STATUS_SUCCESS)
        return {};
    return data;
}

void UIImage::drawAtPoint(CGPoint point) const { drawInRect({point, size()}); }

}  // namespace platform
