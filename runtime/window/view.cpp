#include "runtime/window/view.h"

#include <algorithm>
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

int headerLines(const std::vector<Column>& columns) {
    int lines = 0;
    for (const Column& c : columns) {
        if (!c.group.empty()) return 2;
        if (!c.header.empty()) lines = 1;
    }
    return lines;
}

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

ListRow ListRow::Builder::build() {
    if (ends_.empty()) return {};
    rows_.assign(1, RowEnd{ends_.size(), used_});  // all the cells: one row
    return buildRows().front();
}

std::vector<ListRow> ListRow::Builder::buildRows() const {
    std::vector<ListRow> out;
    out.reserve(rows_.size());
    std::size_t size = 0;
    for (std::size_t r = 0, cells = 0, text = 0; r < rows_.size(); ++r) {
        size += (1 + rows_[r].cells - cells) * Word + (rows_[r].text - text);
        cells = rows_[r].cells;
        text = rows_[r].text;
    }
    // One allocation for all of them: each row shares the block and points
    // at its own part ([cell count][ends][texts], ends counted from its texts).
    std::shared_ptr<char[]> block =
        std::make_shared_for_overwrite<char[]>(std::max<std::size_t>(size, 1));
    char* at = block.get();
    for (std::size_t r = 0, cells = 0, text = 0; r < rows_.size(); ++r) {
        const auto n = static_cast<std::uint32_t>(rows_[r].cells - cells);
        if (n == 0) {
            out.emplace_back();  // a row without cells
        } else {
            ListRow row;
            row.block_ = std::shared_ptr<const char[]>(block, at);
            std::memcpy(at, &n, Word);
            for (std::uint32_t i = 0; i < n; ++i) {
                const auto end = static_cast<std::uint32_t>(ends_[cells + i] - text);
                std::memcpy(at + (1 + i) * Word, &end, Word);
            }
            const std::size_t bytes = rows_[r].text - text;
            if (bytes) std::memcpy(at + (1 + n) * Word, text_.data() + text, bytes);
            at += (1 + n) * Word + bytes;
            out.push_back(std::move(row));
        }
        cells = rows_[r].cells;
        text = rows_[r].text;
    }
    return out;
}

}  // namespace rt
