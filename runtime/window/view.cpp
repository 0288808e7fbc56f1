#include "runtime/window/view.h"

#include <cstring>
#include <stdexcept>

namespace rt {

namespace {

constexpr std::size_t Word = sizeof(std::uint32_t);

// The block's words are read by memcpy: a char array promises no alignment.
std::uint32_t word(const char* block, std::size_t i) {
    std::uint32_t w;
    std::memcpy(&w, block + i * Word, Word);
    return w;
}

}  // namespace

ListRow::ListRow(const std::vector<std::string>& cells) {
    Builder b;
    for (const std::string& c : cells) b.add(c);
    *this = b.build();
}

ListRow::ListRow(std::initializer_list<std::string_view> cells) {
    Builder b;
    for (std::string_view c : cells) b.add(c);
    *this = b.build();
}

std::size_t ListRow::size() const {
    return block_ ? word(block_.get(), 0) : 0;
}

std::string_view ListRow::operator[](std::size_t i) const {
    const char* b = block_.get();
    const std::size_t n = word(b, 0);
    const char* text = b + (1 + n) * Word;
    const std::uint32_t from = i == 0 ? 0 : word(b, i);
    return std::string_view(text + from, word(b, i + 1) - from);
}

std::string_view ListRow::at(std::size_t i) const {
    if (i >= size()) throw std::out_of_range("ListRow::at");
    return (*this)[i];
}

bool operator==(const ListRow& a, const ListRow& b) {
    if (a.block_ == b.block_) return true;
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

ListRow ListRow::Builder::build() const {
    ListRow row;
    if (ends_.empty()) return row;
    const std::size_t head = (1 + ends_.size()) * Word;
    auto block = std::make_shared_for_overwrite<char[]>(head + used_);
    const auto n = static_cast<std::uint32_t>(ends_.size());
    std::memcpy(block.get(), &n, Word);
    std::memcpy(block.get() + Word, ends_.data(), ends_.size() * Word);
    if (used_) std::memcpy(block.get() + head, text_.data(), used_);
    row.block_ = std::move(block);
    return row;
}

}  // namespace rt
