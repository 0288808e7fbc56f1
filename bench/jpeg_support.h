#pragma once
// The JPEG of a picture in memory (8-bit RGB rows, top first), as the image
// and photo benchmarks write their photos: the library's defaults (chroma
// halved both ways) at the quality given.
#include <cstddef>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace bench {

inline std::vector<std::uint8_t> jpegOf(const std::vector<std::uint8_t>& rgb, int w, int h,
                                        int quality) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        // The library only reads the rows it is given.
        JSAMPROW row = const_cast<std::uint8_t*>(rgb.data()) +
                       static_cast<std::size_t>(c.next_scanline) * static_cast<std::size_t>(w) * 3;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<std::uint8_t> out(mem, mem + size);
    jpeg_destroy_compress(&c);
    std::free(mem);
    return out;
}

}  // namespace bench
