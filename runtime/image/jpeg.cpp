// JPEG through libjpeg-turbo. The library reports errors by calling back,
// and the callback must not return: it jumps back with longjmp to the
// function that set the jump, which holds nothing that needs destroying. The
// decompressor itself lives in a guard in the caller and is destroyed there.
//
// A file that ends early is a failure (the library would fill the rest with
// grey): the data ran out and the decoder then needed more, or a progressive
// file ran out (its later scans are missing). A file that lacks no more than
// its end marker shows; other damage the library works round is shown as it
// decodes.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "runtime/image/internal.h"

namespace rt::image::detail {

namespace {

// A progressive file may hold any number of scans, each one a pass over the
// whole picture; a few hundred is far beyond what any encoder writes.
constexpr int MaxScans = 500;

struct Jpeg {
    jpeg_decompress_struct cinfo;
    struct Errors {
        jpeg_error_mgr pub;  // first: the library's pointer is to it
        std::jmp_buf jump;
        char message[JMSG_LENGTH_MAX];
        bool ranOut;     // the source had no more bytes
        bool truncated;  // and something was missing
    } errors;
    jpeg_progress_mgr progress;
    bool created = false;

    Jpeg() {
        std::memset(&cinfo, 0, sizeof cinfo);
        std::memset(&errors, 0, sizeof errors);
        std::memset(&progress, 0, sizeof progress);
    }
    ~Jpeg() {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
    Jpeg(const Jpeg&) = delete;
    Jpeg& operator=(const Jpeg&) = delete;
};

Jpeg::Errors& errorsOf(j_common_ptr cinfo) {
    return *reinterpret_cast<Jpeg::Errors*>(cinfo->err);
}

[[noreturn]] void onError(j_common_ptr cinfo) {
    Jpeg::Errors& e = errorsOf(cinfo);
    e.pub.format_message(cinfo, e.message);
    std::longjmp(e.jump, 1);
}

void onMessage(j_common_ptr cinfo, int level) {
    Jpeg::Errors& e = errorsOf(cinfo);
    if (level >= 0) return;
    const bool progressive =
        cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->progressive_mode;
    if (e.pub.msg_code == JWRN_JPEG_EOF) e.ranOut = true;
    if ((e.pub.msg_code == JWRN_JPEG_EOF && progressive) ||
        (e.pub.msg_code == JWRN_HIT_MARKER && e.ranOut)) {
        e.truncated = true;
        e.pub.format_message(cinfo, e.message);
        std::longjmp(e.jump, 1);
    }
}

void onProgress(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > MaxScans) {
        Jpeg::Errors& e = errorsOf(cinfo);
        std::snprintf(e.message, sizeof e.message, "more than %d scans", MaxScans);
        std::longjmp(e.jump, 1);
    }
}

// Sets the decompressor up and reads the header. false: failed, the reason
// in errors.message.
bool readHeader(Jpeg& j, Bytes file) {
    j.cinfo.err = jpeg_std_error(&j.errors.pub);
    j.errors.pub.error_exit = onError;
    j.errors.pub.emit_message = onMessage;
    if (setjmp(j.errors.jump)) return false;
    jpeg_create_decompress(&j.cinfo);
    j.created = true;
    j.progress.progress_monitor = onProgress;
    j.cinfo.progress = &j.progress;
    // The library's own working memory (a progressive picture keeps all its
    // coefficients) stays within what the limits allow for the picture.
    j.cinfo.mem->max_memory_to_use = static_cast<long>(MaxDecodedBytes + (64u << 20));
    jpeg_mem_src(&j.cinfo, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&j.cinfo, TRUE);
    const bool cmyk = j.cinfo.jpeg_color_space == JCS_CMYK || j.cinfo.jpeg_color_space == JCS_YCCK;
    j.cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
    return true;
}

// The least of 1/8, 1/4, 1/2 and 1 that still covers the picture's fit in
// a box of boxWidth x boxHeight (the library's DCT scaling: a reduced block
// costs a fraction of a whole one).
void reduceFor(jpeg_decompress_struct& c, int boxWidth, int boxHeight) {
    if (boxWidth <= 0 || boxHeight <= 0) return;
    const double fit = std::min(static_cast<double>(boxWidth) / c.image_width,
                                static_cast<double>(boxHeight) / c.image_height);
    for (unsigned eighths : {1u, 2u, 4u})
        if (eighths / 8.0 >= fit) {
            c.scale_num = eighths;
            c.scale_denom = 8;
            return;
        }
}

// Starts decompressing: the tables the scans need are checked, and a file of
// several scans (a progressive one) is read to its end. Much damage shows
// here, before the picture is allocated.
bool startPixels(Jpeg& j) {
    if (setjmp(j.errors.jump)) return false;
    jpeg_start_decompress(&j.cinfo);
    if (j.cinfo.output_width < 1 || j.cinfo.output_width > j.cinfo.image_width ||
        j.cinfo.output_height < 1 || j.cinfo.output_height > j.cinfo.image_height ||
        j.cinfo.output_components != 4) {
        std::snprintf(j.errors.message, sizeof j.errors.message, "unexpected output shape");
        return false;
    }
    return true;
}

// Decodes into out (output width * height * 4 bytes).
bool readPixels(Jpeg& j, std::uint8_t* out) {
    if (setjmp(j.errors.jump)) return false;
    const std::size_t stride = static_cast<std::size_t>(j.cinfo.output_width) * 4;
    while (j.cinfo.output_scanline < j.cinfo.output_height) {
        JSAMPROW row = out + stride * j.cinfo.output_scanline;
        if (jpeg_read_scanlines(&j.cinfo, &row, 1) != 1) {
            std::snprintf(j.errors.message, sizeof j.errors.message, "no scanline");
            return false;
        }
    }
    return true;
}

// Adobe's writers store CMYK inverted (0 is full ink); others plainly.
void cmykToRgba(std::uint8_t* px, std::size_t pixels, bool inverted) {
    for (std::size_t i = 0; i < pixels; ++i, px += 4) {
        unsigned c = px[0], m = px[1], y = px[2], k = px[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        px[0] = static_cast<std::uint8_t>((c * k + 127) / 255);
        px[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
        px[2] = static_cast<std::uint8_t>((y * k + 127) / 255);
        px[3] = 255;
    }
}

Decoded jpegFailure(Failure failure, std::string reason) {
    Decoded d;
    d.format = Format::Jpeg;
    d.failure = failure;
    d.reason = std::move(reason);
    return d;
}

Failure failureOf(const Jpeg& j) {
    return j.errors.truncated || j.errors.ranOut ? Failure::Truncated : Failure::Corrupt;
}

}  // namespace

Decoded decodeJpeg(Bytes file, int boxWidth, int boxHeight) {
    Jpeg j;
    if (!readHeader(j, file))
        return jpegFailure(failureOf(j), std::string("JPEG: ") + j.errors.message);
    std::string reason;
    if (Failure f = sizeFailure(j.cinfo.image_width, j.cinfo.image_height, reason, "JPEG");
        f != Failure::None)
        return jpegFailure(f, reason);
    const std::size_t pixels = static_cast<std::size_t>(j.cinfo.image_width) * j.cinfo.image_height;
    // With Huffman coding every block of 8 x 8 pixels costs at least a bit
    // (its DC code), so a file far too small for its size fails before its
    // picture is allocated. Arithmetic coding has no such floor.
    if (!j.cinfo.arith_code && file.size() * 8 * 64 < pixels)
        return jpegFailure(Failure::Truncated, "JPEG: too little data for its size");
    reduceFor(j.cinfo, boxWidth, boxHeight);
    if (!startPixels(j)) return jpegFailure(failureOf(j), std::string("JPEG: ") + j.errors.message);
    const std::size_t out = static_cast<std::size_t>(j.cinfo.output_width) * j.cinfo.output_height;
    std::vector<std::uint8_t> px(out * 4);  // bad_alloc is caught above us
    if (!readPixels(j, px.data()))
        return jpegFailure(failureOf(j), std::string("JPEG: ") + j.errors.message);
    if (j.cinfo.out_color_space == JCS_CMYK) cmykToRgba(px.data(), out, j.cinfo.saw_Adobe_marker);

    Decoded d;
    d.format = Format::Jpeg;
    d.storedWidth = static_cast<int>(j.cinfo.image_width);
    d.storedHeight = static_cast<int>(j.cinfo.image_height);
    d.image.width = static_cast<int>(j.cinfo.output_width);
    d.image.height = static_cast<int>(j.cinfo.output_height);
    d.image.pixels = std::make_shared<const std::vector<std::uint8_t>>(std::move(px));
    return d;
}

}  // namespace rt::image::detail
