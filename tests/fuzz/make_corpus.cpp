// Writes the fuzz corpus from the decoder tests' valid fixtures:
//   <dir>/<format>/good/  the fixtures themselves (the fuzzers' seeds);
//   <dir>/<format>/bad/   each fixture cut at several lengths, with bytes
//                         changed and with headers that claim too much.
// A damaged file goes into bad/ only when it shows no picture (as the decoder
// it is meant for), so the replay test can insist that every one of them
// fails with a reason; the damage that still decodes (a changed pixel, a
// missing end marker) is counted and left out. found/ (what the fuzzers
// kept) is never touched. The output is the same on every run.
//
//   make-fuzz-corpus [-v] tests/fuzz/corpus     (-v: name what is left out)
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "runtime/image/image.h"
#include "tests/runtime/image_fixtures.h"

namespace {

namespace fs = std::filesystem;
namespace img = rt::image;
using imgtest::Bytes;
using imgtest::Fixture;

const char* folderOf(img::Format f) {
    switch (f) {
        case img::Format::Png:
            return "png";
        case img::Format::Jpeg:
            return "jpeg";
        case img::Format::Gif:
            return "gif";
        case img::Format::Bmp:
            return "bmp";
        case img::Format::Ico:
            return "ico";
        case img::Format::Pcx:
            return "pcx";
        case img::Format::Wmf:
            return "wmf";
        case img::Format::Emf:
            return "emf";
        case img::Format::Unknown:
            break;
    }
    return nullptr;
}

const char* extensionOf(img::Format f) {
    return f == img::Format::Jpeg ? "jpg" : folderOf(f);
}

// "bmp 8 bits, core header" -> "8-bits-core-header": the format's word goes,
// the rest becomes a file name.
std::string slug(const std::string& name) {
    std::string out;
    for (char c : name.substr(name.find(' ') + 1)) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            out += c;
        } else if (c >= 'A' && c <= 'Z') {
            out += static_cast<char>(c - 'A' + 'a');
        } else if (!out.empty() && out.back() != '-') {
            out += '-';
        }
    }
    while (!out.empty() && out.back() == '-') out.pop_back();
    return out;
}

struct Variant {
    std::string what;  // for the file's name
    Bytes bytes;
};

void put16(Bytes& b, std::size_t at, unsigned v) {
    if (at + 2 > b.size()) return;
    b[at] = v & 0xFF;
    b[at + 1] = v >> 8 & 0xFF;
}
void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}
void putBe16(Bytes& b, std::size_t at, unsigned v) {
    if (at + 2 > b.size()) return;
    b[at] = v >> 8 & 0xFF;
    b[at + 1] = v & 0xFF;
}
std::uint32_t get32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t{b[at + 3]} << 24;
}

Variant with(const Bytes& good, std::string what, const std::function<void(Bytes&)>& change) {
    Bytes b = good;
    change(b);
    return {std::move(what), std::move(b)};
}

// The info header of a DIB the file holds for the picture of this width
// (a BMP's, an icon entry's, a metafile record's).
std::optional<std::size_t> dibHeaderAt(const Bytes& b, int width) {
    for (std::size_t at = 0; at + 16 <= b.size(); ++at) {
        const std::uint32_t size = get32(b, at);
        if ((size == 40 || size == 56 || size == 108 || size == 124) &&
            get32(b, at + 4) == std::uint32_t(width))
            return at;
    }
    return std::nullopt;
}

void dibHeaders(const Fixture& f, std::vector<Variant>& out) {
    const std::optional<std::size_t> found = dibHeaderAt(f.bytes, f.width);
    if (!found) return;
    const std::size_t at = *found;
    out.push_back(with(f.bytes, "dib-width-2g", [&](Bytes& b) { put32(b, at + 4, 0x7FFFFFFF); }));
    out.push_back(with(f.bytes, "dib-height-min", [&](Bytes& b) { put32(b, at + 8, 0x80000000); }));
    out.push_back(with(f.bytes, "dib-5000x5000", [&](Bytes& b) {
        put32(b, at + 4, 5000);
        put32(b, at + 8, 10000);  // an icon's counts its mask too
    }));
    out.push_back(with(f.bytes, "dib-header-4g", [&](Bytes& b) { put32(b, at, 0xFFFFFFFF); }));
    out.push_back(with(f.bytes, "dib-header-125", [&](Bytes& b) { put32(b, at, 125); }));
    out.push_back(with(f.bytes, "dib-bpp-7", [&](Bytes& b) { put16(b, at + 14, 7); }));
    out.push_back(with(f.bytes, "dib-compression-9", [&](Bytes& b) { put32(b, at + 16, 9); }));
}

// Headers that claim more than the file holds, by format.
std::vector<Variant> oversized(img::Format format, const Fixture& f) {
    std::vector<Variant> v;
    const Bytes& g = f.bytes;
    switch (format) {
        case img::Format::Png:
            v.push_back({"ihdr-2g-wide", imgtest::pngWithSize(g, 0x7FFFFFFF, f.height)});
            v.push_back({"ihdr-10001-wide", imgtest::pngWithSize(g, 10001, f.height)});
            v.push_back({"ihdr-9000x9000", imgtest::pngWithSize(g, 9000, 9000)});
            v.push_back({"ihdr-5000x5000", imgtest::pngWithSize(g, 5000, 5000)});
            v.push_back({"ihdr-0-high", imgtest::pngWithSize(g, f.width, 0)});
            v.push_back(
                with(g, "ihdr-length-4g", [](Bytes& b) { imgtest::putBe32(b, 8, 0xFFFFFFF0); }));
            break;
        case img::Format::Jpeg: {
            std::size_t sof = 0;
            for (std::size_t i = 2; i + 9 < g.size(); ++i)
                if (g[i] == 0xFF && (g[i + 1] == 0xC0 || g[i + 1] == 0xC2)) {
                    sof = i;
                    break;
                }
            if (!sof) break;
            auto sides = [&](std::string what, unsigned w, unsigned h) {
                v.push_back(with(g, what, [&](Bytes& b) {
                    putBe16(b, sof + 5, h);
                    putBe16(b, sof + 7, w);
                }));
            };
            sides("sof-65535x65535", 65535, 65535);
            sides("sof-10001-wide", 10001, f.height);
            sides("sof-8000x8000", 8000, 8000);
            sides("sof-0-wide", 0, f.height);
            v.push_back(with(g, "sof-255-components", [&](Bytes& b) { b[sof + 9] = 255; }));
            v.push_back(with(g, "app0-length-65535", [](Bytes& b) { putBe16(b, 4, 0xFFFF); }));
            break;
        }
        case img::Format::Gif: {
            // The first image descriptor: after the screen, its colours and
            // the extensions.
            std::size_t at = 13;
            if (g[10] & 0x80) at += 3u << ((g[10] & 7) + 1);
            while (at < g.size() && g[at] == 0x21) {
                at += 2;
                while (at < g.size() && g[at]) at += g[at] + 1;
                ++at;
            }
            if (at + 10 > g.size() || g[at] != 0x2C) break;
            auto frame = [&](std::string what, unsigned w, unsigned h) {
                v.push_back(with(g, what, [&](Bytes& b) {
                    put16(b, at + 5, w);
                    put16(b, at + 7, h);
                }));
            };
            frame("frame-65535x65535", 65535, 65535);
            frame("frame-4000x4000", 4000, 4000);
            frame("frame-0-wide", 0, f.height);
            v.push_back(with(g, "screen-65535x65535", [](Bytes& b) {
                put16(b, 6, 65535);
                put16(b, 8, 65535);
            }));
            // The LZW code size byte follows the descriptor (and a local table).
            std::size_t lzw = at + 10;
            if (g[at + 9] & 0x80) lzw += 3u << ((g[at + 9] & 7) + 1);
            if (lzw < g.size())
                v.push_back(with(g, "lzw-code-size-13", [&](Bytes& b) { b[lzw] = 13; }));
            break;
        }
        case img::Format::Bmp:
            v.push_back(with(g, "rows-offset-4g", [](Bytes& b) { put32(b, 10, 0xFFFFFFFF); }));
            v.push_back(with(g, "colours-used-4g", [](Bytes& b) { put32(b, 46, 0xFFFFFFFF); }));
            dibHeaders(f, v);
            break;
        case img::Format::Ico: {
            v.push_back(with(g, "count-65535", [](Bytes& b) { put16(b, 4, 0xFFFF); }));
            const unsigned count = g[4] | g[5] << 8;
            for (unsigned i = 0; i < count; ++i) {
                const std::size_t e = 6 + 16 * i;
                const std::string n = "entry" + std::to_string(i);
                v.push_back(
                    with(g, n + "-size-4g", [&](Bytes& b) { put32(b, e + 8, 0xFFFFFFFF); }));
                v.push_back(
                    with(g, n + "-offset-4g", [&](Bytes& b) { put32(b, e + 12, 0xFFFFFFF0); }));
            }
            dibHeaders(f, v);
            break;
        }
        case img::Format::Pcx:
            v.push_back(with(g, "window-65535x65535", [](Bytes& b) {
                put16(b, 4, 0);
                put16(b, 6, 0);
                put16(b, 8, 0xFFFF);
                put16(b, 10, 0xFFFF);
            }));
            v.push_back(with(g, "window-5000x5000", [](Bytes& b) {
                put16(b, 4, 0);
                put16(b, 6, 0);
                put16(b, 8, 4999);
                put16(b, 10, 4999);
            }));
            v.push_back(with(g, "window-reversed", [](Bytes& b) {
                const unsigned xmin = b[4] | b[5] << 8;
                put16(b, 8, xmin ? xmin - 1 : 0);
                put16(b, 4, xmin ? xmin : 1);
            }));
            v.push_back(with(g, "bytes-per-line-65535", [](Bytes& b) { put16(b, 66, 0xFFFF); }));
            v.push_back(with(g, "bytes-per-line-0", [](Bytes& b) { put16(b, 66, 0); }));
            v.push_back(with(g, "planes-0", [](Bytes& b) { b[65] = 0; }));
            v.push_back(with(g, "planes-5", [](Bytes& b) { b[65] = 5; }));
            break;
        case img::Format::Wmf: {
            const std::size_t header = get32(g, 0) == 0x9AC6CDD7 ? 22 : 0;
            v.push_back(
                with(g, "first-record-4g", [&](Bytes& b) { put32(b, header + 18, 0x7FFFFFFF); }));
            v.push_back(
                with(g, "first-record-2-words", [&](Bytes& b) { put32(b, header + 18, 2); }));
            v.push_back(
                with(g, "header-words-65535", [&](Bytes& b) { put16(b, header + 2, 0xFFFF); }));
            dibHeaders(f, v);
            break;
        }
        case img::Format::Emf: {
            v.push_back(with(g, "header-4g", [](Bytes& b) { put32(b, 4, 0xFFFFFFFC); }));
            v.push_back(with(g, "header-odd-size", [](Bytes& b) { put32(b, 4, 90); }));
            v.push_back(with(g, "first-record-4g", [](Bytes& b) { put32(b, 92, 0xFFFFFFFC); }));
            // The bitmap record's offsets (at 48 or 84 into the record, as
            // its type says).
            for (std::size_t at = 88; at + 8 <= g.size();) {
                const std::uint32_t type = get32(g, at), size = get32(g, at + 4);
                if (size < 8) break;
                const std::size_t off = type == 80 || type == 81 ? 48 : type == 77 ? 84 : 0;
                if (off && get32(g, at + off + 4) != 0) {
                    const char* names[] = {"bmi-offset", "bmi-size", "bits-offset", "bits-size"};
                    for (int i = 0; i < 4; ++i)
                        v.push_back(with(g, std::string(names[i]) + "-4g", [&](Bytes& b) {
                            put32(b, at + off + 4 * i, 0xFFFFFFF0);
                        }));
                    break;
                }
                at += size;
            }
            dibHeaders(f, v);
            break;
        }
        case img::Format::Unknown:
            break;
    }
    return v;
}

std::vector<Variant> damaged(img::Format format, const Fixture& f) {
    std::vector<Variant> v;
    const Bytes& g = f.bytes;
    const std::size_t n = g.size();
    // Cut in the headers, then through the data.
    for (std::size_t len : {std::size_t{1}, std::size_t{8}, std::size_t{20}, std::size_t{48}, n / 4,
                            n / 2, 3 * n / 4, n - 1})
        if (len > 0 && len < n) {
            char what[32];
            std::snprintf(what, sizeof what, "cut-%04zu", len);
            if (std::none_of(v.begin(), v.end(), [&](const Variant& x) { return x.what == what; }))
                v.push_back({what, Bytes(g.begin(), g.begin() + len)});
        }
    // Bytes changed: a spread over the headers, then a few at random places
    // (a fixed generator: the same files on every run).
    for (std::size_t at = 0; at < n && at < 96; at += 6)
        v.push_back(
            with(g, "byte-" + std::to_string(at) + "-inverted", [&](Bytes& b) { b[at] ^= 0xFF; }));
    std::uint32_t state = 0x9E3779B9u ^ static_cast<std::uint32_t>(n);
    auto next = [&] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    for (int k = 0; k < 6; ++k)
        v.push_back(with(g, "random-" + std::to_string(k), [&](Bytes& b) {
            for (int j = 0, changes = 1 + next() % 6; j < changes; ++j)
                b[next() % b.size()] = static_cast<std::uint8_t>(next());
        }));
    for (Variant& o : oversized(format, f)) v.push_back(std::move(o));
    return v;
}

bool writeFile(const fs::path& path, const Bytes& b) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    const bool verbose = argc == 3 && std::string(argv[1]) == "-v";
    if (argc != 2 && !verbose) {
        std::fprintf(stderr, "usage: %s [-v] CORPUS-DIRECTORY\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[argc - 1];
    std::vector<Fixture> fixtures;
    for (auto make :
         {imgtest::pngFixtures, imgtest::jpegFixtures, imgtest::gifFixtures, imgtest::bmpFixtures,
          imgtest::icoFixtures, imgtest::pcxFixtures, imgtest::metafileFixtures})
        for (Fixture& f : make()) fixtures.push_back(std::move(f));

    struct Count {
        int good = 0, bad = 0, decoded = 0, elsewhere = 0;
        std::uintmax_t bytes = 0;
    };
    std::map<std::string, Count> counts;
    std::map<std::string, bool> cleared;
    for (const Fixture& f : fixtures) {
        const std::span<const std::uint8_t> good(f.bytes.data(), f.bytes.size());
        const img::Format format = img::formatOf(good);
        const char* folder = folderOf(format);
        if (!folder || !img::decodeMemory(good).ok()) {
            std::fprintf(stderr, "%s: not a valid picture of a known format\n", f.name.c_str());
            return 1;
        }
        const fs::path dir = root / folder;
        if (!cleared[folder]) {
            fs::remove_all(dir / "good");
            fs::remove_all(dir / "bad");
            fs::create_directories(dir / "good");
            fs::create_directories(dir / "bad");
            cleared[folder] = true;
        }
        Count& c = counts[folder];
        const std::string base = slug(f.name), ext = std::string(".") + extensionOf(format);
        if (!writeFile(dir / "good" / (base + ext), f.bytes)) return 1;
        ++c.good;
        c.bytes += f.bytes.size();
        for (const Variant& v : damaged(format, f)) {
            const std::string name = base + "-" + v.what + ext;
            const std::span<const std::uint8_t> bytes(v.bytes.data(), v.bytes.size());
            const img::Decoded d = img::decodeMemory(bytes, name);
            if (d.format != format) {
                ++c.elsewhere;  // the damage made it another format's file
                if (verbose)
                    std::printf("left out, %s: %s\n", img::formatName(d.format), name.c_str());
            } else if (d.ok()) {
                ++c.decoded;
                if (verbose) std::printf("left out, decodes: %s\n", name.c_str());
            } else {
                if (!writeFile(dir / "bad" / name, v.bytes)) return 1;
                ++c.bad;
                c.bytes += v.bytes.size();
            }
        }
    }
    for (const auto& [folder, c] : counts)
        std::printf(
            "%-5s %2d good, %3d bad (%6ju bytes in all); left out: %d that decode, %d of "
            "another format\n",
            folder.c_str(), c.good, c.bad, c.bytes, c.decoded, c.elsewhere);
    return 0;
}
