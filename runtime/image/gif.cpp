// GIF through giflib, record by record: only what comes before the first
// image is read (its graphic control for the transparent colour), then that
// image's rows; later frames are never touched.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>

#include "runtime/image/internal.h"

namespace rt::image::detail {

namespace {

struct Source {
    Bytes data;
    std::size_t at = 0;
    bool ranOut = false;  // a read found fewer bytes than it asked for
};

int readSource(GifFileType* gif, GifByteType* out, int size) {
    auto* src = static_cast<Source*>(gif->UserData);
    if (size <= 0) return 0;
    const std::size_t n =
        std::min<std::size_t>(static_cast<std::size_t>(size), src->data.size() - src->at);
    std::memcpy(out, src->data.data() + src->at, n);
    src->at += n;
    if (n < static_cast<std::size_t>(size)) src->ranOut = true;
    return static_cast<int>(n);
}

class GifFile {
  public:
    explicit GifFile(GifFileType* gif) : gif_(gif) {}
    ~GifFile() {
        if (gif_) {
            int err = 0;
            DGifCloseFile(gif_, &err);
        }
    }
    GifFile(const GifFile&) = delete;
    GifFile& operator=(const GifFile&) = delete;
    GifFileType* operator->() const { return gif_; }
    GifFileType* get() const { return gif_; }

  private:
    GifFileType* gif_;
};

// giflib names a short read after what it was reading ("no screen
// descriptor"): a read that ran out of bytes makes any failure a truncation.
[[noreturn]] void gifFail(int error, const Source& src) {
    const char* text = GifErrorString(error);
    const Failure f =
        src.ranOut || error == D_GIF_ERR_READ_FAILED || error == D_GIF_ERR_EOF_TOO_SOON
            ? Failure::Truncated
            : Failure::Corrupt;
    fail(f, std::string("GIF: ") + (text ? text : "error"));
}

Image decodeFirstFrame(Bytes file) {
    Source src{file};
    int error = 0;
    GifFile gif(DGifOpen(&src, readSource, &error));
    if (!gif.get()) gifFail(error, src);

    int transparent = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) gifFail(gif->Error, src);
        if (type == TERMINATE_RECORD_TYPE) fail(Failure::Corrupt, "GIF: no image");
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* ext = nullptr;
            if (DGifGetExtension(gif.get(), &code, &ext) == GIF_ERROR) gifFail(gif->Error, src);
            if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) {
                GraphicsControlBlock gcb;
                if (DGifExtensionToGCB(ext[0], ext + 1, &gcb) == GIF_OK)
                    transparent = gcb.TransparentColor;
            }
            while (ext)
                if (DGifGetExtensionNext(gif.get(), &ext) == GIF_ERROR) gifFail(gif->Error, src);
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) continue;

        if (DGifGetImageDesc(gif.get()) == GIF_ERROR) gifFail(gif->Error, src);
        const GifImageDesc& desc = gif->Image;
        checkSize(desc.Width, desc.Height, "GIF frame");
        // LZW codes are at least 2 bits and stand for at most 4096 pixels, so
        // a frame needs some data before its picture is worth allocating.
        const std::uint64_t remaining = file.size() - src.at;
        if (remaining * 4 * 4096 < std::uint64_t(desc.Width) * std::uint64_t(desc.Height))
            fail(Failure::Truncated, "GIF: too little data for the frame's size");
        const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        if (!map || !map->Colors || map->ColorCount <= 0) fail(Failure::Corrupt, "GIF: no palette");

        // The frame's indices first: the screen, which may be far larger, is
        // allocated only for a frame that decoded.
        const std::size_t w = static_cast<std::size_t>(desc.Width);
        std::vector<GifPixelType> indices(w * static_cast<std::size_t>(desc.Height));
        auto row = [&](int y) {
            GifPixelType* line = indices.data() + w * y;
            if (DGifGetLine(gif.get(), line, desc.Width) == GIF_ERROR) gifFail(gif->Error, src);
            for (std::size_t x = 0; x < w; ++x)
                if (line[x] >= map->ColorCount)
                    fail(Failure::Corrupt, "GIF: colour index beyond the palette");
        };
        if (desc.Interlace) {
            static constexpr int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int y = start[pass]; y < desc.Height; y += step[pass]) row(y);
        } else {
            for (int y = 0; y < desc.Height; ++y) row(y);
        }

        // The picture is the logical screen when the frame lies inside it,
        // otherwise the frame alone.
        const std::int64_t right = std::int64_t{desc.Left} + desc.Width;
        const std::int64_t bottom = std::int64_t{desc.Top} + desc.Height;
        const bool inside =
            desc.Left >= 0 && desc.Top >= 0 && right <= gif->SWidth && bottom <= gif->SHeight;
        Canvas canvas(inside ? gif->SWidth : desc.Width, inside ? gif->SHeight : desc.Height,
                      "GIF");
        const int left = inside ? desc.Left : 0, top = inside ? desc.Top : 0;
        for (int y = 0; y < desc.Height; ++y)
            for (int x = 0; x < desc.Width; ++x) {
                const int i = indices[w * y + x];
                if (i == transparent) continue;  // stays transparent
                const GifColorType& c = map->Colors[i];
                canvas.put(left + x, top + y, {c.Red, c.Green, c.Blue, 255});
            }
        return std::move(canvas).finish();
    }
}

}  // namespace

Decoded decodeGif(Bytes file) {
    // giflib calls nothing of ours that throws; the errors are thrown from
    // this side of its calls only.
    Decoded d;
    d.format = Format::Gif;
    try {
        d.image = decodeFirstFrame(file);
    } catch (const DecodeError& e) {
        d.failure = e.failure;
        d.reason = e.reason;
    }
    return d;
}

}  // namespace rt::image::detail
