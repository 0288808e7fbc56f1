// Font metrics of the faces the printer draws with, read from the font files
// through FreeType: every Windows-1250 byte's advance, unhinted, in font
// units, and the face's line height. Loaded once per face, then read-only.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <array>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

#include "runtime/report/metrics.h"
#include "runtime/text.h"

namespace rt::report {
namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool narrowFace(const Font& f) {
    return lower(f.face).find("narrow") != std::string::npos;
}

std::string fileName(const Font& f) {
    std::string name = narrowFace(f) ? "LiberationSansNarrow-" : "LiberationSans-";
    if (f.bold && f.italic)
        name += "BoldItalic";
    else if (f.bold)
        name += "Bold";
    else if (f.italic)
        name += "Italic";
    else
        name += "Regular";
    return name + ".ttf";
}

std::string findFile(const std::string& name) {
    namespace fs = std::filesystem;
    for (const char* dir :
         {"/usr/share/fonts/truetype/liberation", "/usr/share/fonts/truetype/liberation2"}) {
        fs::path p = fs::path(dir) / name;
        std::error_code ec;
        if (fs::is_regular_file(p, ec)) return p.string();
    }
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator("/usr/share/fonts", ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->path().filename() == name) return it->path().string();
    }
    return {};
}

// The code point of each Windows-1250 byte.
std::uint32_t codePoint(unsigned char b) {
    const char c = static_cast<char>(b);
    const std::string u = toUtf8(std::string_view(&c, 1));
    const auto* s = reinterpret_cast<const unsigned char*>(u.data());
    if (u.size() == 1) return s[0];
    if (u.size() == 2) return ((s[0] & 0x1fu) << 6) | (s[1] & 0x3fu);
    if (u.size() == 3) return ((s[0] & 0x0fu) << 12) | ((s[1] & 0x3fu) << 6) | (s[2] & 0x3fu);
    return 0xfffd;
}

FaceMetrics load(const Font& f) {
    FaceMetrics m;
    m.file = findFile(fileName(f));
    FT_Library lib = nullptr;
    FT_Face face = nullptr;
    if (!m.file.empty() && FT_Init_FreeType(&lib) == 0 &&
        FT_New_Face(lib, m.file.c_str(), 0, &face) == 0) {
        m.unitsPerEm = face->units_per_EM ? face->units_per_EM : 2048;
        m.ascender = face->ascender;
        m.descender = -face->descender;
        m.height = face->height;
        for (int b = 0; b < 256; ++b) {
            const FT_UInt glyph = FT_Get_Char_Index(face, codePoint(static_cast<unsigned char>(b)));
            if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) == 0)
                m.advance[b] = static_cast<int>(face->glyph->advance.x);
        }
        m.found = true;
    } else {
        // No font file: a plain estimate, so measuring still works the same
        // way everywhere.
        m.unitsPerEm = 2048;
        m.ascender = 1854;
        m.descender = 434;
        m.height = 2355;
        m.advance.fill(1139);
    }
    if (face) FT_Done_Face(face);
    if (lib) FT_Done_FreeType(lib);
    for (int b = 0; b < 0x20; ++b) m.advance[b] = 0;
    return m;
}

}  // namespace

const FaceMetrics& metricsFor(const Font& f) {
    static std::mutex lock;
    static std::map<std::string, std::unique_ptr<FaceMetrics>> faces;
    const std::string key = fileName(f);
    std::lock_guard g(lock);
    auto& slot = faces[key];
    if (!slot) slot = std::make_unique<FaceMetrics>(load(f));
    return *slot;
}

int FaceMetrics::toMils(std::int64_t units, int points) const {
    // units / unitsPerEm em; an em of a points-size font is points/72 inch.
    const std::int64_t num = units * points * 1000, den = 72LL * unitsPerEm;
    return static_cast<int>(num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den));
}

std::int64_t FaceMetrics::units(std::string_view cp1250) const {
    std::int64_t u = 0;
    for (unsigned char c : cp1250) u += advance[c];
    return u;
}

int textWidthCp1250(const Font& font, std::string_view cp1250) {
    const FaceMetrics& m = metricsFor(font);
    return m.toMils(m.units(cp1250), font.size);
}

int textWidth(const Font& font, std::string_view utf8) {
    auto cp = fromUtf8(utf8);
    return textWidthCp1250(font, cp ? std::string_view(*cp) : utf8);
}

int lineHeight(const Font& font) {
    const FaceMetrics& m = metricsFor(font);
    return m.toMils(m.ascender + m.descender, font.size);
}

std::string fontFile(const Font& font) {
    return metricsFor(font).file;
}

std::string drawnFamily(const Font& font) {
    return narrowFace(font) ? "Liberation Sans Narrow" : "Liberation Sans";
}

}  // namespace rt::report
