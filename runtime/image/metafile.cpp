// Windows metafiles are not played: what is shown is the bitmap that the
// first record carrying one holds (a photo saved as a metafile is one such
// record). A metafile without one gives NoBitmap.
//
// WMF, placeable or standard: META_DIBBITBLT, META_DIBSTRETCHBLT,
// META_STRETCHDIB and META_SETDIBTODEV carry a packed DIB after their
// parameters. EMF: the blit records and EMR_SETDIBITSTODEVICE and
// EMR_STRETCHDIBITS name their BITMAPINFO and rows by offsets into the
// record.
#include <cstdint>
#include <string>

#include "runtime/image/internal.h"

namespace rt::image::detail {

namespace {

constexpr std::uint32_t PlaceableKey = 0x9AC6CDD7;
constexpr std::uint16_t DIB_RGB_COLORS = 0;

// Colours given as indices into the logical palette have nothing to index
// into here.
void checkUsage(std::uint32_t usage) {
    if (usage != DIB_RGB_COLORS) fail(Failure::Unsupported, "metafile bitmap of palette indices");
}

// Where a WMF record's DIB starts, or 0 for a record that carries none.
std::uint64_t wmfDibAt(Bytes record, std::uint16_t function) {
    const std::uint64_t words = record.size() / 2;
    switch (function) {
        case 0x0940:  // META_DIBBITBLT; without a bitmap it is (function >> 8) + 3 words
            return words == (function >> 8) + 3u ? 0 : 22;
        case 0x0B41:  // META_DIBSTRETCHBLT
            return words == (function >> 8) + 3u ? 0 : 26;
        case 0x0F43:  // META_STRETCHDIB
            checkUsage(u16(record, 10, "WMF record"));
            return 28;
        case 0x0D33:  // META_SETDIBTODEV
            checkUsage(u16(record, 6, "WMF record"));
            return 24;
        default:
            return 0;
    }
}

}  // namespace

Image decodeWmf(Bytes file) {
    std::uint64_t at = 0;
    if (file.size() >= 4 && u32(file, 0, "WMF header") == PlaceableKey) at = 22;
    need(file, at, 18, "WMF header");
    const std::uint16_t type = u16(file, at, "WMF header"), words = u16(file, at + 2, "WMF header");
    if ((type != 1 && type != 2) || words != 9) fail(Failure::Corrupt, "WMF: no metafile header");
    at += 2 * std::uint64_t{words};
    while (at < file.size()) {
        const std::uint64_t size = 2 * std::uint64_t{u32(file, at, "WMF record")};
        const std::uint16_t function = u16(file, at + 4, "WMF record");
        if (size < 6) fail(Failure::Corrupt, "WMF: a record of " + std::to_string(size) + " bytes");
        const Bytes record = slice(file, at, size, "WMF record");
        if (function == 0x0000) break;  // META_EOF
        if (const std::uint64_t dib = wmfDibAt(record, function)) {
            need(record, dib, 4, "WMF bitmap");
            return decodePackedDib(record.subspan(dib), DibKind::Record);
        }
        at += size;
    }
    fail(Failure::NoBitmap, "WMF: the metafile carries no bitmap");
}

namespace {

// The offsets of the source bitmap's fields in an EMF record, by type.
struct EmfSource {
    std::uint32_t type;
    std::uint32_t usage, offBmi;  // cbBmi, offBits and cbBits follow offBmi
};
constexpr EmfSource EmfSources[] = {
    {76, 80, 84},   // EMR_BITBLT
    {77, 80, 84},   // EMR_STRETCHBLT
    {78, 80, 84},   // EMR_MASKBLT
    {79, 92, 96},   // EMR_PLGBLT
    {80, 64, 48},   // EMR_SETDIBITSTODEVICE
    {81, 64, 48},   // EMR_STRETCHDIBITS
    {114, 80, 84},  // EMR_ALPHABLEND
    {116, 80, 84},  // EMR_TRANSPARENTBLT
};
constexpr std::uint32_t EMR_HEADER = 1, EMR_EOF = 14;

}  // namespace

Image decodeEmf(Bytes file) {
    if (u32(file, 0, "EMF header") != EMR_HEADER || u32(file, 40, "EMF header") != 0x464D4520)
        fail(Failure::Corrupt, "EMF: no metafile header");
    std::uint64_t at = 0;
    while (at < file.size()) {
        const std::uint32_t type = u32(file, at, "EMF record");
        const std::uint64_t size = u32(file, at + 4, "EMF record");
        if (size < 8 || size % 4)
            fail(Failure::Corrupt, "EMF: a record of " + std::to_string(size) + " bytes");
        const Bytes record = slice(file, at, size, "EMF record");
        if (type == EMR_EOF) break;
        for (const EmfSource& s : EmfSources) {
            if (s.type != type) continue;
            const std::uint64_t offBmi = u32(record, s.offBmi, "EMF record"),
                                cbBmi = u32(record, s.offBmi + 4, "EMF record"),
                                offBits = u32(record, s.offBmi + 8, "EMF record"),
                                cbBits = u32(record, s.offBmi + 12, "EMF record");
            if (cbBmi == 0) break;  // a blit of a pattern only, no source bitmap
            checkUsage(u32(record, s.usage, "EMF record"));
            return decodeDib(slice(record, offBmi, cbBmi, "EMF bitmap header"),
                             slice(record, offBits, cbBits, "EMF bitmap rows"), DibKind::Record);
        }
        at += size;
    }
    fail(Failure::NoBitmap, "EMF: the metafile carries no bitmap");
}

}  // namespace rt::image::detail
