#pragma once
// What the photo benchmarks share: a photo-like JPEG (gradients, detail and
// noise) and a copy of a fixture database where every member has a photo
// of his own (each file a link to one picture, so the disk holds one).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/jpeg_support.h"

namespace bench {

// --- the photo: gradients, detail and noise, about 1 MiB as JPEG.
inline std::vector<std::uint8_t> photoJpeg(int w, int h, int quality) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * h * 3);
    std::uint32_t seed = 7;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = static_cast<int>(seed >> 27) - 16;
            const double a = std::sin(x / 37.0) * std::cos(y / 23.0);
            const int v[3] = {x * 200 / w + static_cast<int>(40 * a),
                              y * 180 / h + static_cast<int>(60 * std::sin((x + y) / 51.0)),
                              120 + static_cast<int>(90 * a)};
            for (int c = 0; c < 3; ++c)
                rgb[(static_cast<std::size_t>(y) * w + x) * 3 + c] =
                    static_cast<std::uint8_t>(std::clamp(v[c] + noise, 0, 255));
        }
    return jpegOf(rgb, w, h, quality);
}

// --- the two databases: a copy of the fixture with a photo for every
// member, and one without.
// The connection that writes a copy: the members' codes, a statement run once.
class CopyConnection : public RawConnection {
  public:
    using RawConnection::RawConnection;
    std::vector<std::int64_t> codes() {
        std::vector<std::int64_t> r;
        sqlite3_stmt* s = stmt("SELECT M1_SIF FROM CLANOVI");
        while (api_.step(s) == SQLITE_ROW) r.push_back(api_.column_int64(s, 0));
        api_.reset(s);
        return r;
    }
    void run(const std::string& sql) {
        sqlite3_stmt* s = stmt(sql);
        if (api_.step(s) != SQLITE_DONE) {
            std::cerr << "cannot run " << sql << "\n";
            std::exit(2);
        }
        api_.reset(s);
    }
};

// Each member's photo is foto<code> with the extension of photo, a link to it.
inline void makeCopy(const std::filesystem::path& from, const std::filesystem::path& dir,
                     bool photos, const std::filesystem::path& photo) {
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(from, dir / "Clanovi.sqlite",
                               std::filesystem::copy_options::overwrite_existing);
    CopyConnection raw((dir / "Clanovi.sqlite").string());
    const std::string ext = photo.extension().string();
    raw.run(photos
                ? "UPDATE CLANOVI SET M1_PUS = printf('%-60s', 'foto' || M1_SIF || '" + ext + "')"
                : "UPDATE CLANOVI SET M1_PUS = printf('%-60s', '')");
    if (!photos) return;
    for (std::int64_t code : raw.codes()) {
        const std::filesystem::path link = dir / ("foto" + std::to_string(code) + ext);
        std::error_code ec;
        std::filesystem::create_symlink(photo, link, ec);
    }
}

// The quality that first makes a w x h photo 1 MiB or more.
inline std::vector<std::uint8_t> photoOfOneMiB(int w, int h) {
    std::vector<std::uint8_t> bytes;
    for (int quality = 90; quality <= 100 && bytes.size() < (1u << 20); ++quality)
        bytes = photoJpeg(w, h, quality);
    return bytes;
}

inline void writeFile(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

}  // namespace bench
