#include "framework/step.h"

#include <algorithm>

#include "runtime/text.h"

namespace {

std::int64_t asInteger(const rt::Value& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v)) return *i;
    return 0;
}

std::string asText(const rt::Value& v) {
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    return std::to_string(asInteger(v));
}

int proportion(std::int64_t value, std::int64_t low, std::int64_t high, bool descending) {
    int p = 0;
    if (high > low) {
        value = std::clamp(value, low, high);
        // Long double keeps the product exact enough over the whole range.
        p = static_cast<int>(static_cast<long double>(value - low) * 100.0L /
                             static_cast<long double>(high - low));
    }
    p = std::clamp(p, 0, 100);
    return descending ? 100 - p : p;
}

// The value at percent of the way between the limits (from the top of the
// order, so from high down in a descending one).
std::int64_t between(int percent, std::int64_t low, std::int64_t high, bool descending) {
    percent = std::clamp(percent, 0, 100);
    if (descending) percent = 100 - percent;
    return low + static_cast<std::int64_t>(static_cast<long double>(high - low) * percent / 100.0L);
}

}  // namespace

rt::Value StepLongClass::GetValue(int percent) const {
    return between(percent, low_, high_, Descending());
}

void StepLongClass::SetLimit(const rt::Value& low, const rt::Value& high) {
    low_ = asInteger(low);
    high_ = asInteger(high);
    if (high_ < low_) std::swap(low_, high_);
}

int StepLongClass::GetPercentile(const rt::Value& value) const {
    return proportion(asInteger(value), low_, high_, Descending());
}

void StepStringClass::Init(int controls, int mode) {
    StepClass::Init(controls);
    (void)mode;  // the one mode this system uses: the table comes from the code page
    letters_.clear();
    place_.fill(0);
    // Byte order is the order of the text keys for letters outside ASCII,
    // so the table keeps it.
    for (int b = 0x21; b <= 0xff; ++b) {
        const auto c = static_cast<unsigned char>(b);
        if (rt::upperCp1250(c) == c && rt::lowerCp1250(c) != c) {
            letters_.push_back(static_cast<char>(c));
            place_[c] = static_cast<std::uint16_t>(letters_.size());
        }
    }
}

std::int64_t StepStringClass::Weigh(const std::string& text) const {
    const std::int64_t base = static_cast<std::int64_t>(letters_.size()) + 1;
    std::int64_t w = 0;
    for (int i = 0; i < Depth; ++i) {
        std::uint16_t p = 0;
        if (i < static_cast<int>(text.size()))
            p = place_[rt::upperCp1250(
                static_cast<unsigned char>(text[static_cast<std::size_t>(i)]))];
        w = w * base + p;
    }
    return w;
}

void StepStringClass::SetLimit(const rt::Value& low, const rt::Value& high) {
    low_ = Weigh(asText(low));
    high_ = Weigh(asText(high));
    if (high_ < low_) std::swap(low_, high_);
}

int StepStringClass::GetPercentile(const rt::Value& value) const {
    return proportion(Weigh(asText(value)), low_, high_, Descending());
}

rt::Value StepStringClass::GetValue(int percent) const {
    std::int64_t w = between(percent, low_, high_, Descending());
    const std::int64_t base = static_cast<std::int64_t>(letters_.size()) + 1;
    // The weight's digits, one per leading character, the last first.
    std::string text(Depth, ' ');
    for (int i = Depth - 1; i >= 0; --i) {
        const std::int64_t place = w % base;
        w /= base;
        if (place > 0)
            text[static_cast<std::size_t>(i)] = letters_[static_cast<std::size_t>(place - 1)];
    }
    return std::string(rt::trimRight(text));
}
