#include "runtime/text.h"

#include <cctype>

#include <errno.h>
#include <iconv.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace rt {
namespace {

// One conversion descriptor per thread and direction: iconv_t carries shift
// state, so it must never be shared between threads.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) {
            throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " +
                                     to);
        }
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    iconv_t get() {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        return cd_;
    }

  private:
    iconv_t cd_;
};

iconv_t fromUtf8Converter() {
    thread_local Converter c("CP1250", "UTF-8");
    return c.get();
}

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

struct CaseTables {
    unsigned char upper[256];
    unsigned char lower[256];
};

// Upper/lower pairs of Windows-1250 beyond ASCII. 0xDF (sharp s) and 0xB5
// (micro sign) have no upper case in the code page and stay as they are.
constexpr CaseTables makeCaseTables() {
    CaseTables t{};
    for (int i = 0; i < 256; ++i) {
        t.upper[i] = static_cast<unsigned char>(i);
        t.lower[i] = static_cast<unsigned char>(i);
    }
    auto pair = [&t](int up, int low) {
        t.upper[low] = static_cast<unsigned char>(up);
        t.lower[up] = static_cast<unsigned char>(low);
    };
    for (int c = 'A'; c <= 'Z'; ++c) pair(c, c + 32);
    pair(0x8A, 0x9A);  // S caron
    pair(0x8C, 0x9C);  // S acute
    pair(0x8D, 0x9D);  // T caron
    pair(0x8E, 0x9E);  // Z caron
    pair(0x8F, 0x9F);  // Z acute
    pair(0xA3, 0xB3);  // L stroke
    pair(0xA5, 0xB9);  // A ogonek
    pair(0xAA, 0xBA);  // S cedilla
    pair(0xAF, 0xBF);  // Z dot above
    pair(0xBC, 0xBE);  // L caron
    for (int c = 0xC0; c <= 0xDE; ++c) {
        if (c != 0xD7)
            pair(c, c + 0x20);  // 0xD7 and 0xF7 are the multiplication and division signs
    }
    return t;
}

constexpr CaseTables kCase = makeCaseTables();

// Windows-1250 is one byte per character without shift states, so each
// byte's UTF-8 form is converted once, by iconv, and then looked up.
struct Utf8Table {
    char bytes[256][4];
    unsigned char size[256];
    Utf8Table() {
        Converter c("UTF-8", "CP1250");
        for (int b = 0; b < 256; ++b) {
            char from = static_cast<char>(b);
            char* in = &from;
            std::size_t inLeft = 1;
            char* o = bytes[b];
            std::size_t outLeft = sizeof bytes[b];
            if (iconv(c.get(), &in, &inLeft, &o, &outLeft) == static_cast<std::size_t>(-1)) {
                if (errno != EILSEQ && errno != EINVAL)
                    throw std::runtime_error("Windows-1250 to UTF-8 conversion failed");
                // A byte Windows-1250 leaves undefined: shown, never dropped.
                std::memcpy(bytes[b], kReplacement, 3);
                outLeft = sizeof bytes[b] - 3;
            }
            size[b] = static_cast<unsigned char>(sizeof bytes[b] - outLeft);
        }
    }
};

const Utf8Table& utf8Table() {
    static const Utf8Table t;
    return t;
}

}  // namespace

std::string toUtf8(std::string_view cp1250) {
    if (isAscii(cp1250)) return std::string(cp1250);
    std::string out(writeRoom(cp1250.size()), '\0');
    out.resize(static_cast<std::size_t>(writeNonAscii(out.data(), cp1250) - out.data()));
    return out;
}

char* writeNonAscii(char* o, std::string_view cp1250) {
    // A table row is copied whole (four bytes), then o moves by its length:
    // hence the one byte of room beyond the longest form.
    const Utf8Table& t = utf8Table();
    for (const char ch : cp1250) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80) {
            *o++ = ch;
        } else {
            std::memcpy(o, t.bytes[b], sizeof t.bytes[b]);
            o += t.size[b];
        }
    }
    return o;
}

std::optional<std::string> fromUtf8(std::string_view utf8) {
    // Windows-1250 holds ASCII as it is: only other texts need iconv.
    if (isAscii(utf8)) return std::string(utf8);
    std::string out(utf8.size(), '\0');
    iconv_t cd = fromUtf8Converter();
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* o = out.data();
    std::size_t outLeft = out.size();
    if (iconv(cd, &in, &inLeft, &o, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) {
        return std::nullopt;  // not valid UTF-8, or a character Windows-1250 cannot hold
    }
    out.resize(out.size() - outLeft);
    return out;
}

std::string_view trim(std::string_view text) {
    text = trimRight(text);
    std::size_t begin = text.find_first_not_of(' ');
    return begin == std::string_view::npos ? text.substr(0, 0) : text.substr(begin);
}

bool equalPadded(std::string_view a, std::string_view b) {
    return trimRight(a) == trimRight(b);
}

void assignFixed(char* field, std::size_t width, std::string_view src) {
    std::size_t n = std::min(width, src.size());
    if (n > 0) std::memmove(field, src.data(), n);  // src may be a view of the field itself
    std::memset(field + n, ' ', width - n);
}

unsigned char upperCp1250(unsigned char c) {
    return kCase.upper[c];
}
unsigned char lowerCp1250(unsigned char c) {
    return kCase.lower[c];
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace rt
