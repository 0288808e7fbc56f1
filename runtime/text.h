#pragma once
// Texts as the records hold them: fixed-width Windows-1250 bytes, padded with
// blanks. Conversion to and from UTF-8 happens only at the display and report
// boundary.
#include <algorithm>
#include <array>
#include <bit>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace rt {

// Every cell of every list row passes isAscii, writeUtf8 and trimRight:
// they are inline.

inline bool isAscii(std::string_view text) {
    // Eight bytes at a time; the last few in one word too.
    std::size_t i = 0;
    std::uint64_t word;
    for (; i + 8 <= text.size(); i += 8) {
        std::memcpy(&word, text.data() + i, sizeof word);
        if (word & 0x8080808080808080ull) return false;
    }
    if (i == text.size()) return true;
    word = 0;
    std::memcpy(&word, text.data() + i, text.size() - i);
    return !(word & 0x8080808080808080ull);
}

// Windows-1250 bytes to UTF-8. Bytes that Windows-1250 leaves undefined
// (0x81, 0x83, 0x88, 0x90, 0x98) become U+FFFD.
std::string toUtf8(std::string_view cp1250);
// The same for a string given away (only an rvalue std::string chooses this):
// a text that is plain ASCII is handed back as it is, uncopied.
template <typename S>
requires std::same_as<S, std::string> std::string toUtf8(S&& cp1250) {
    if (isAscii(cp1250)) return std::move(cp1250);
    return toUtf8(std::string_view(cp1250));
}
// The same, written at out, which has room for writeRoom(size) bytes (the
// longest form of every byte, and some more); the end of what was written.
constexpr std::size_t writeRoom(std::size_t size) {
    return 3 * size + 8;
}
char* writeNonAscii(char* out, std::string_view cp1250);
inline char* writeUtf8(char* out, std::string_view cp1250) {
    // Copied and checked eight bytes at a time in one pass; from the first
    // byte beyond ASCII on, converted by the table.
    const char* in = cp1250.data();
    const std::size_t n = cp1250.size();
    std::size_t i = 0;
    std::uint64_t word;
    for (; i + 8 <= n; i += 8) {
        std::memcpy(&word, in + i, sizeof word);
        if (word & 0x8080808080808080ull)
            return writeNonAscii(out + i, std::string_view(in + i, n - i));
        std::memcpy(out + i, &word, sizeof word);
    }
    if (i < n) {
        word = 0;
        std::memcpy(&word, in + i, n - i);
        if (word & 0x8080808080808080ull)
            return writeNonAscii(out + i, std::string_view(in + i, n - i));
        std::memcpy(out + i, &word, sizeof word);  // the room holds the whole word
    }
    return out + n;
}

// UTF-8 to Windows-1250; nullopt when a character has no Windows-1250 byte or
// the input is not valid UTF-8.
std::optional<std::string> fromUtf8(std::string_view utf8);

// The text without its trailing blanks (spaces; tabs and the like are text).
inline std::string_view trimRight(std::string_view text) {
    // Fields are blank-padded to their width: skip the padding eight bytes at a time.
    constexpr std::uint64_t blanks = 0x2020202020202020ull;
    std::size_t end = text.size();
    while (end >= 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + end - 8, sizeof word);
        if (word != blanks) {
            if constexpr (std::endian::native == std::endian::little) {
                // The blanks at the word's end are its highest bytes.
                end -= static_cast<std::size_t>(std::countl_zero(word ^ blanks)) / 8;
                return std::string_view(text.data(), end);
            }
            break;
        }
        end -= 8;
    }
    while (end > 0 && text[end - 1] == ' ') --end;
    return std::string_view(text.data(), end);
}

// The text without leading and trailing blanks.
std::string_view trim(std::string_view text);

// Equal when they differ only by trailing blanks.
bool equalPadded(std::string_view a, std::string_view b);

// Equal without regard to the case of ASCII letters (names of keys, INI
// sections and the like).
bool equalIgnoringCase(std::string_view a, std::string_view b);

// Writes src into a field of width bytes: cut to width, padded with blanks.
void assignFixed(char* field, std::size_t width, std::string_view src);

// Upper and lower case of a Windows-1250 byte, over the whole code page
// (letters with diacritics included).
unsigned char upperCp1250(unsigned char c);
unsigned char lowerCp1250(unsigned char c);

// A fixed-width text field of N bytes, as stored.
template <std::size_t N>
struct Text {
    std::array<char, N> bytes;

    Text() { bytes.fill(' '); }
    Text(std::string_view s) { assign(s); }  // NOLINT: a text field takes a text

    static constexpr std::size_t width = N;

    void assign(std::string_view s) { assignFixed(bytes.data(), N, s); }
    Text& operator=(std::string_view s) {
        assign(s);
        return *this;
    }
    void clear() { bytes.fill(' '); }

    // The full width, blanks included.
    std::string_view view() const { return {bytes.data(), N}; }
    // Without trailing blanks.
    std::string_view trimmed() const { return trimRight(view()); }
    std::string str() const { return std::string(trimmed()); }
    bool blank() const { return trimmed().empty(); }

    friend bool operator==(const Text& a, const Text& b) { return a.bytes == b.bytes; }
    // Trailing blanks are not significant when comparing with a plain text.
    friend bool operator==(const Text& a, std::string_view b) { return equalPadded(a.view(), b); }
};

}  // namespace rt
