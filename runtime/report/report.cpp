// The report run: bands placed down the pages, breaks and totals, and each
// control's text formatted, measured, clipped or wrapped as the printer
// shows it.
#include "runtime/report/report.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <stdexcept>

#include "runtime/picture.h"
#include "runtime/report/metrics.h"
#include "runtime/text.h"
#include "runtime/window/window.h"

namespace rt::report {

// ---------------------------------------------------------------------------
// Sources

Source Source::of(const std::int32_t& v) {
    return integer([&v] { return static_cast<std::int64_t>(v); });
}
Source Source::of(const std::uint8_t& v) {
    return integer([&v] { return static_cast<std::int64_t>(v); });
}
Source Source::of(const std::atomic<std::int32_t>& v) {
    return integer([&v] { return static_cast<std::int64_t>(v.load()); });
}
Source Source::of(const Money& m) {
    return money([&m] { return m; });
}
Source Source::of(const std::string& cp1250) {
    Source s = text([&cp1250] { return cp1250; });
    s.string_ = &cp1250;
    return s;
}
Source Source::of(const char* field, std::size_t width) {
    Source s = text([field, width] { return std::string(field, width); });
    s.field_ = field;
    s.width_ = width;
    return s;
}
Source Source::integer(std::function<std::int64_t()> get) {
    Source s;
    s.kind_ = Kind::Integer;
    s.number_ = std::move(get);
    return s;
}
Source Source::money(std::function<Money()> get) {
    Source s;
    s.kind_ = Kind::Money;
    s.number_ = [g = std::move(get)] { return g().cents; };
    return s;
}
Source Source::text(std::function<std::string()> getCp1250) {
    Source s;
    s.kind_ = Kind::Text;
    s.text_ = std::move(getCp1250);
    return s;
}
Source Source::pageNumber() {
    Source s;
    s.kind_ = Kind::PageNumber;
    return s;
}
std::int64_t Source::number() const {
    return number_ ? number_() : 0;
}
std::string Source::text() const {
    return text_ ? text_() : std::string();
}
std::optional<std::string_view> Source::textInPlace() const {
    if (field_) return std::string_view(field_, width_);
    if (string_) return std::string_view(*string_);
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// Description

Control& Band::add(Control c) {
    controls.push_back(std::move(c));
    return controls.back();
}

Control* Band::find(std::string_view name) {
    for (Control& c : controls)
        if (equalIgnoringCase(c.name, name)) return &c;
    return nullptr;
}

Band& Report::detail(std::string_view name) {
    for (Band& b : details)
        if (equalIgnoringCase(b.name, name)) return b;
    throw std::out_of_range("no detail band " + std::string(name));
}

Break& Report::addBreak(std::string name, Source by) {
    Break b;
    b.name = std::move(name);
    b.by = std::move(by);
    breaks.push_back(std::move(b));
    return breaks.back();
}

// ---------------------------------------------------------------------------
// Pages

// A band placed on a page: where, and where its printed texts start.
struct Page::Item {
    std::uint16_t band;
    std::int16_t x, y;
    std::uint32_t text;    // in texts_
    std::uint32_t length;  // in lengths_
};

// A control's fixed part, the same wherever its band is placed.
struct Fixed {
    PageItem::Kind kind = PageItem::Kind::Text;
    bool printed = false;  // its text comes from the page (a field, a text box, an image)
    bool wraps = false;    // a text box: lines one under the other
    bool number = false;   // a formatted number: never cut, its box as wide as it prints
    std::uint16_t font = 0;
    Align align = Align::Left;
    int x = 0, y = 0, w = 0, h = 0, pen = 0;
    int lineHeight = 0;
    bool measure = false;  // no width of its own: as wide as its text
    std::string text;      // a static string, UTF-8, as cut
};

struct Page::Layout {
    std::vector<Font> fonts;
    std::vector<const FaceMetrics*> metrics;  // per font
    std::vector<std::vector<Fixed>> bands;
};

std::size_t Page::bytes() const {
    return sizeof(Page) + items_.capacity() * sizeof(Item) +
           lengths_.capacity() * sizeof(std::uint16_t) + texts_.capacity();
}

std::vector<PageItem> Page::items() const {
    std::vector<PageItem> out;
    out.reserve(count_);
    if (!layout_) return out;
    std::size_t len = 0;
    for (const Item& placed : items_) {
        const std::vector<Fixed>& band = layout_->bands[placed.band];
        std::size_t at = placed.text;
        len = placed.length;
        for (const Fixed& f : band) {
            std::string_view printed;
            if (f.printed) {
                printed = std::string_view(texts_.data() + at, lengths_[len]);
                at += lengths_[len++];
                if (printed.empty()) continue;
            }
            PageItem it;
            it.kind = f.kind;
            it.x = placed.x + f.x;
            it.y = placed.y + f.y;
            it.w = f.w;
            it.h = f.h;
            it.pen = f.pen;
            it.align = f.align;
            if (f.font < layout_->fonts.size()) it.font = layout_->fonts[f.font];
            if (f.wraps) {
                // one item a line
                std::size_t start = 0;
                int line = 0;
                while (start <= printed.size()) {
                    std::size_t end = printed.find('\n', start);
                    if (end == std::string_view::npos) end = printed.size();
                    if (end > start) {
                        PageItem l = it;
                        l.y = it.y + line * f.lineHeight;
                        l.h = f.lineHeight;
                        l.text.assign(printed.substr(start, end - start));
                        out.push_back(std::move(l));
                    }
                    ++line;
                    start = end + 1;
                }
                continue;
            }
            it.text.assign(f.printed ? printed : std::string_view(f.text));
            if (f.measure) {
                it.w = textWidth(it.font, it.text);
            } else if (f.number && f.font < layout_->metrics.size()) {
                // A number wider than its box reaches out of it on the side
                // away from its alignment (both sides when centred). Numbers
                // are ASCII: their bytes are the Windows-1250 ones.
                const FaceMetrics& m = *layout_->metrics[f.font];
                const int width = m.toMils(m.units(it.text), it.font.size);
                if (width > it.w) {
                    if (it.align == Align::Right || it.align == Align::Decimal)
                        it.x -= width - it.w;
                    else if (it.align == Align::Center)
                        it.x -= (width - it.w) / 2;
                    it.w = width;
                }
            }
            out.push_back(std::move(it));
        }
    }
    return out;
}

PagePayload Document::payload(int n) const {
    PagePayload p;
    p.page = n;
    p.width = pageWidth;
    p.height = pageHeight;
    if (n >= 1 && n <= static_cast<int>(pages.size())) {
        p.items = std::make_shared<const std::vector<PageItem>>(pages[n - 1]->items());
    } else {
        p.items = std::make_shared<const std::vector<PageItem>>();
    }
    return p;
}

std::size_t Document::bytes() const {
    std::size_t b = sizeof(Document) + pages.capacity() * sizeof(pages[0]);
    for (const auto& p : pages) b += p->bytes();
    return b;
}

// ---------------------------------------------------------------------------
// The run

namespace {

constexpr std::int64_t NoValue = INT64_MIN;

// One control as the run uses it: its font and picture resolved once.
struct Prepared {
    const Control* c = nullptr;
    std::uint16_t font = 0;
    const Font* fontDesc = nullptr;
    std::optional<Picture> picture;
    int w = 0;            // the box's width (a field without one: its picture's)
    int total = -1;       // index into the run's totals
    bool number = false;  // a field that formats a number: printed whole
};

struct PreparedBand {
    const Band* band = nullptr;
    std::uint16_t id = 0;  // its fixed part in the layout
    std::vector<Prepared> controls;
    // A footer's fields that are no totals show the group's last detail:
    // their texts are kept after every detail.
    bool keepsValues = false;
    std::vector<std::string> kept;  // Windows-1250, per control
};

struct Accumulator {
    Total kind = Total::None;
    const Source* source = nullptr;
    int resetBreak = -1;  // -1: never
    std::int64_t value = 0;
    bool overflow = false;
};

bool sameFont(const Font& a, const Font& b) {
    return a.face == b.face && a.size == b.size && a.bold == b.bold && a.italic == b.italic &&
           a.color == b.color;
}

}  // namespace

struct Run::State {
    const Report& report;
    std::shared_ptr<Document> doc;
    std::vector<Font> fonts;
    std::vector<const FaceMetrics*> metrics;  // per font, looked up once
    std::shared_ptr<Page::Layout> layout = std::make_shared<Page::Layout>();
    PreparedBand header, footer, form;
    std::vector<PreparedBand> details;
    std::vector<PreparedBand> breakHeaders, breakFooters;  // by break
    std::vector<Accumulator> totals;
    // each break's last value
    std::vector<std::int64_t> lastNumber;
    std::vector<std::string> lastText;
    bool started = false;
    std::shared_ptr<Page> page;  // the open page (nullptr: none)
    int pageNo = 0;
    int line = 0;
    int y = 0;  // where the next band goes on the open page
    std::string scratch;

    explicit State(const Report& r) : report(r), doc(std::make_shared<Document>()) {}

    std::uint16_t fontIndex(const Font& f) {
        for (std::size_t i = 0; i < fonts.size(); ++i)
            if (sameFont(fonts[i], f)) return static_cast<std::uint16_t>(i);
        fonts.push_back(f);
        metrics.push_back(&metricsFor(f));
        return static_cast<std::uint16_t>(fonts.size() - 1);
    }

    int breakIndex(const std::string& name) const {
        for (std::size_t i = 0; i < report.breaks.size(); ++i)
            if (equalIgnoringCase(report.breaks[i].name, name)) return static_cast<int>(i);
        return -1;
    }

    PreparedBand prepare(const Band* b, bool footer) {
        PreparedBand pb;
        pb.band = b;
        if (!b) return pb;
        const Font& bandFont = b->hasFont ? b->font : report.font;
        for (const Control& c : b->controls) {
            Prepared p;
            p.c = &c;
            const Font& f = c.hasFont ? c.font : bandFont;
            p.font = fontIndex(f);
            if (!c.picture.empty()) p.picture = Picture::parse(c.picture);
            p.w = c.w;
            if (p.w <= 0 && c.kind == Control::Kind::Field && p.picture) {
                // No width given: the picture's width of digits or letters.
                const Picture& pic = *p.picture;
                int chars = pic.width;
                if (pic.kind == Picture::Kind::Date) chars = 10;
                p.w = textWidthCp1250(f, std::string(static_cast<std::size_t>(std::max(chars, 0)),
                                                     pic.kind == Picture::Kind::Text ? 'X' : '0'));
            }
            p.number = c.kind == Control::Kind::Field &&
                       (c.total != Total::None || c.value.kind() == Source::Kind::Integer ||
                        c.value.kind() == Source::Kind::Money ||
                        c.value.kind() == Source::Kind::PageNumber);
            if (c.total != Total::None) {
                Accumulator a;
                a.kind = c.total;
                a.source = &c.value;
                a.resetBreak = c.reset.breakName.empty() ? -1 : breakIndex(c.reset.breakName);
                totals.push_back(a);
                p.total = static_cast<int>(totals.size() - 1);
            } else if (footer && (c.kind == Control::Kind::Field || c.kind == Control::Kind::Text ||
                                  c.kind == Control::Kind::Image)) {
                pb.keepsValues = true;
            }
            pb.controls.push_back(std::move(p));
        }
        if (pb.keepsValues) pb.kept.assign(pb.controls.size(), std::string());
        pb.id = static_cast<std::uint16_t>(layout->bands.size());
        std::vector<Fixed> fixed;
        for (const Prepared& p : pb.controls) fixed.push_back(fix(p));
        layout->bands.push_back(std::move(fixed));
        return pb;
    }

    // ----- formatting

    // The text a field shows (Windows-1250): by its picture; wider than a
    // number's picture, or a saturated amount (one that no count could
    // hold), the overflow mark. A view of the text where it stands when it
    // shows as it is, else of buf, which then holds it (no string made per
    // field printed).
    std::string_view formatInto(const Prepared& p, std::int64_t number, bool isMoney, bool overflow,
                                const std::string_view* text, std::string& buf) {
        const Picture* pic = p.picture ? &*p.picture : nullptr;
        if (text) return pic ? textShown(*pic, *text) : trimRight(*text);
        overflow = overflow || (isMoney && Money{number}.saturated());
        if (pic) {
            buf = isMoney ? formatMoney(*pic, Money{number}) : formatInteger(*pic, number);
            if (pic->kind != Picture::Kind::Text &&
                (overflow || static_cast<int>(buf.size()) > pic->width))
                buf = overflowMark(*pic);
        } else {
            buf = overflow ? std::string("#") : std::to_string(number);
        }
        return buf;
    }

    // A control's text as a view, valid while buf and the source's buffer
    // stay as they are.
    std::string_view controlView(const Prepared& p, std::string& buf) {
        const Control& c = *p.c;
        if (p.total >= 0) {
            const Accumulator& a = totals[static_cast<std::size_t>(p.total)];
            const bool money = a.kind == Total::Sum && c.value.kind() == Source::Kind::Money;
            return formatInto(p, a.value, money, a.overflow, nullptr, buf);
        }
        switch (c.value.kind()) {
            case Source::Kind::Integer:
                return formatInto(p, c.value.number(), false, false, nullptr, buf);
            case Source::Kind::Money:
                return formatInto(p, c.value.number(), true, false, nullptr, buf);
            case Source::Kind::PageNumber:
                return formatInto(p, pageNo, false, false, nullptr, buf);
            case Source::Kind::Text: {
                if (const std::optional<std::string_view> in = c.value.textInPlace())
                    return formatInto(p, 0, false, false, &*in, buf);
                textScratch = c.value.text();
                const std::string_view tv = textScratch;
                return formatInto(p, 0, false, false, &tv, buf);  // a view of textScratch
            }
            case Source::Kind::None:
                break;
        }
        return c.text;
    }
    std::string fieldScratch, textScratch;

    // ----- items

    static std::int16_t place(int v) {
        return static_cast<std::int16_t>(std::clamp(v, -32768, 32767));
    }

    // A one-line text clipped to its box: the characters that fit, from the
    // start (from the end for a right-aligned text).
    std::string_view clip(const Prepared& p, int w, std::string_view s) const {
        const Font& f = fonts[p.font];
        const FaceMetrics& m = *metrics[p.font];
        if (w <= 0 || m.toMils(m.units(s), f.size) <= w) return s;
        const bool fromEnd = p.c->align == Align::Right || p.c->align == Align::Decimal;
        std::size_t n = 0;
        std::int64_t u = 0;
        while (n < s.size()) {
            const unsigned char ch =
                static_cast<unsigned char>(fromEnd ? s[s.size() - 1 - n] : s[n]);
            if (m.toMils(u + m.advance[ch], f.size) > w) break;
            u += m.advance[ch];
            ++n;
        }
        return fromEnd ? s.substr(s.size() - n) : s.substr(0, n);
    }

    Fixed fix(const Prepared& p) {
        const Control& c = *p.c;
        const Font& f = fonts[p.font];
        const FaceMetrics& m = *metrics[p.font];
        Fixed x;
        x.font = p.font;
        x.number = p.number;
        x.align = c.align;
        x.x = c.x;
        x.y = c.y;
        x.w = p.w;
        x.h = m.toMils(m.ascender + m.descender, f.size);
        x.lineHeight = x.h;
        switch (c.kind) {
            case Control::Kind::String: {
                const std::string_view t = clip(p, p.w, trimRight(c.text));
                x.text = toUtf8(t);
                if (p.w <= 0) x.w = m.toMils(m.units(t), f.size);
                x.printed = x.text.empty();  // an empty slot on every page: nothing printed
                break;
            }
            case Control::Kind::Field:
                x.printed = true;
                x.measure = p.w <= 0;
                break;
            case Control::Kind::Text:
                x.printed = true;
                x.wraps = true;
                x.w = c.w;
                break;
            case Control::Kind::Image:
                x.kind = PageItem::Kind::Image;
                x.printed = true;
                x.w = c.w;
                x.h = c.h;
                break;
            case Control::Kind::Line:
            case Control::Kind::Box:
                x.kind = c.kind == Control::Kind::Line ? PageItem::Kind::Line : PageItem::Kind::Box;
                x.w = c.w;
                x.h = c.h;
                x.pen = c.pen;
                break;
        }
        return x;
    }

    // One printed text of the band being placed (Windows-1250, or UTF-8).
    void slot(std::string_view s, bool utf8 = false) {
        std::string& t = page->texts_;
        const std::size_t at = t.size();
        if (utf8 || isAscii(s)) {
            t.append(s);
        } else {
            utf8Scratch.resize(writeRoom(s.size()));
            char* end = writeUtf8(utf8Scratch.data(), s);
            t.append(utf8Scratch.data(), static_cast<std::size_t>(end - utf8Scratch.data()));
        }
        if (t.size() - at > 0xffff) t.resize(at + 0xffff);
        page->lengths_.push_back(static_cast<std::uint16_t>(t.size() - at));
        if (t.size() > at) ++page->count_;
    }
    std::string utf8Scratch;
    std::size_t itemsLast = 16, lengthsLast = 64, textsLast = 1024;  // the last page's sizes

    // A text box's lines, broken at blanks (a word wider than the box at a
    // character), at CR LF and LF; the lines that fit its height, joined by
    // LF.
    // (Into wrapped, kept from line to line for its storage.)
    const std::string& wrap(const Prepared& p, std::string_view s) {
        const Control& c = *p.c;
        const Font& f = fonts[p.font];
        const FaceMetrics& m = *metrics[p.font];
        const int lh = m.toMils(m.ascender + m.descender, f.size);
        const int w = c.w;
        std::vector<std::string_view>& lines = wrapLines;
        lines.clear();
        std::size_t start = 0;
        s = trimRight(s);
        while (start <= s.size()) {
            std::size_t end = s.find('\n', start);
            if (end == std::string_view::npos) end = s.size();
            std::string_view para = s.substr(start, end - start);
            if (!para.empty() && para.back() == '\r') para.remove_suffix(1);
            while (true) {
                if (w <= 0 || m.toMils(m.units(para), f.size) <= w) {
                    lines.push_back(para);
                    break;
                }
                std::size_t fit = 0;
                std::int64_t u = 0;
                while (fit < para.size() &&
                       m.toMils(u + m.advance[static_cast<unsigned char>(para[fit])], f.size) <= w)
                    u += m.advance[static_cast<unsigned char>(para[fit++])];
                std::size_t cut = para.rfind(' ', fit);
                std::size_t next;
                if (cut == std::string_view::npos || cut == 0) {
                    cut = std::max<std::size_t>(fit, 1);
                    next = cut;
                } else {
                    next = cut + 1;
                }
                lines.push_back(trimRight(para.substr(0, cut)));
                para = para.substr(next);
                while (!para.empty() && para.front() == ' ') para.remove_prefix(1);
                if (para.empty()) break;
            }
            if (end >= s.size()) break;
            start = end + 1;
        }
        std::string& out = wrapped;
        out.clear();
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (c.h > 0 && static_cast<int>(i + 1) * lh > c.h) break;
            if (i) out += '\n';
            out += lines[i];
        }
        // lines that are blank print nothing, but keep their place
        return out;
    }
    std::vector<std::string_view> wrapLines;
    std::string wrapped;

    void emit(PreparedBand& pb, int bx, int by) {
        Page::Item placed{pb.id, place(bx), place(by),
                          static_cast<std::uint32_t>(page->texts_.size()),
                          static_cast<std::uint32_t>(page->lengths_.size())};
        page->items_.push_back(placed);
        for (std::size_t k = 0; k < pb.controls.size(); ++k) {
            const Prepared& p = pb.controls[k];
            const Control& c = *p.c;
            switch (c.kind) {
                case Control::Kind::String:
                    if (layout->bands[pb.id][k].printed)
                        slot({});  // cut to nothing: prints nothing
                    else
                        ++page->count_;
                    break;
                case Control::Kind::Field: {
                    const std::string_view s = pb.keepsValues && p.total < 0
                                                   ? std::string_view(pb.kept[k])
                                                   : controlView(p, fieldScratch);
                    slot(p.number ? s : clip(p, p.w, s));
                    break;
                }
                case Control::Kind::Text: {
                    const std::string_view s = pb.keepsValues ? std::string_view(pb.kept[k])
                                                              : controlView(p, fieldScratch);
                    const std::string& lines = wrap(p, s);
                    slot(lines);
                    // a text box counts an item a line
                    if (!lines.empty())
                        page->count_ +=
                            static_cast<std::size_t>(std::count(lines.begin(), lines.end(), '\n'));
                    break;
                }
                case Control::Kind::Image: {
                    const std::string path =
                        pb.keepsValues ? pb.kept[k] : std::string(trimRight(c.value.text()));
                    std::optional<std::string> file;
                    if (!path.empty() && c.w > 0 && c.h > 0) file = pictureFile(path);
                    slot(file ? *file : std::string(), true);
                    break;
                }
                case Control::Kind::Line:
                case Control::Kind::Box:
                    ++page->count_;
                    break;
            }
        }
    }

    // ----- pages

    void openPage() {
        page = std::make_shared<Page>();
        page->layout_ = layout;
        // Pages of one report are alike: room for what the last one held.
        page->items_.reserve(itemsLast + itemsLast / 8);
        page->lengths_.reserve(lengthsLast + lengthsLast / 8);
        page->texts_.reserve(textsLast + textsLast / 8);
        ++pageNo;
        if (form.band && form.band->h > 0) emit(form, form.band->x, form.band->y);
        if (header.band && header.band->h > 0) emit(header, header.band->x, header.band->y);
        y = report.y;
    }

    void closePage() {
        if (!page) return;
        if (footer.band && footer.band->h > 0) emit(footer, footer.band->x, footer.band->y);
        itemsLast = std::max<std::size_t>(page->items_.size(), 16);
        lengthsLast = std::max<std::size_t>(page->lengths_.size(), 16);
        textsLast = std::max<std::size_t>(page->texts_.size(), 256);
        if (page->items_.capacity() > page->items_.size() + page->items_.size() / 4 + 16)
            page->items_.shrink_to_fit();
        if (page->lengths_.capacity() > page->lengths_.size() + page->lengths_.size() / 4 + 16)
            page->lengths_.shrink_to_fit();
        if (page->texts_.capacity() > page->texts_.size() + page->texts_.size() / 4 + 256)
            page->texts_.shrink_to_fit();
        doc->pages.push_back(std::move(page));
        page.reset();
    }

    void place(PreparedBand& pb) {
        const Band& b = *pb.band;
        if (b.h <= 0) return;
        if (!page) openPage();
        const int bottom = report.y + report.h;
        if (y + b.h > bottom && y > report.y) {
            closePage();
            openPage();
        }
        emit(pb, report.x + b.x, y);
        y += b.h;
    }

    // ----- breaks and totals

    bool changed(std::size_t i) {
        const Source& by = report.breaks[i].by;
        if (by.kind() == Source::Kind::Text) return by.text() != lastText[i];
        return by.number() != lastNumber[i];
    }

    void remember(std::size_t i) {
        const Source& by = report.breaks[i].by;
        if (by.kind() == Source::Kind::Text)
            lastText[i] = by.text();
        else
            lastNumber[i] = by.number();
    }

    void resetTotals(int breakIndex) {
        for (Accumulator& a : totals)
            if (a.resetBreak == breakIndex) {
                a.value = 0;
                a.overflow = false;
            }
    }

    void tally() {
        for (Accumulator& a : totals) {
            if (a.overflow) continue;
            const std::int64_t add = a.kind == Total::Count ? 1 : a.source->number();
            // A saturated amount makes its sums saturated: whatever is added
            // after it, they never show a number.
            if ((a.kind == Total::Sum && a.source->kind() == Source::Kind::Money &&
                 Money{add}.saturated()) ||
                __builtin_add_overflow(a.value, add, &a.value))
                a.overflow = true;
        }
    }

    void keepFooterValues() {
        for (PreparedBand& pb : breakFooters) {
            if (!pb.keepsValues) continue;
            for (std::size_t k = 0; k < pb.controls.size(); ++k) {
                const Prepared& p = pb.controls[k];
                if (p.total >= 0) continue;
                if (p.c->kind == Control::Kind::Image)
                    pb.kept[k] = std::string(trimRight(p.c->value.text()));
                else if (p.c->kind == Control::Kind::Field || p.c->kind == Control::Kind::Text)
                    pb.kept[k].assign(controlView(p, fieldScratch));
            }
        }
    }

    void printDetail(std::size_t d) {
        const std::size_t n = report.breaks.size();
        std::size_t first = n;  // the outermost break that changed
        if (!started) {
            first = 0;
        } else {
            for (std::size_t i = 0; i < n; ++i)
                if (changed(i)) {
                    first = i;
                    break;
                }
        }
        if (started) {
            for (std::size_t i = n; i-- > first;) {
                if (breakFooters[i].band) place(breakFooters[i]);
                resetTotals(static_cast<int>(i));
            }
        }
        for (std::size_t i = first; i < n; ++i) {
            remember(i);
            if (breakHeaders[i].band) place(breakHeaders[i]);
        }
        started = true;
        ++line;
        tally();
        place(details[d]);
        keepFooterValues();
    }
};

Run::Run(const Report& report) : s_(std::make_unique<State>(report)) {
    State& s = *s_;
    s.header = s.prepare(&report.header, false);
    s.footer = s.prepare(&report.footer, false);
    s.form = s.prepare(&report.form, false);
    for (const Band& b : report.details) s.details.push_back(s.prepare(&b, false));
    for (const Break& b : report.breaks) {
        s.breakHeaders.push_back(s.prepare(b.header.get(), false));
        s.breakFooters.push_back(s.prepare(b.footer.get(), true));
    }
    s.lastNumber.assign(report.breaks.size(), NoValue);
    s.lastText.assign(report.breaks.size(), std::string());
    s.layout->fonts = s.fonts;
    s.layout->metrics = s.metrics;
    s.doc->jobTitle = toUtf8(report.jobTitle);
    s.doc->pageWidth = report.pageWidth;
    s.doc->pageHeight = report.pageHeight;
}

Run::~Run() = default;

void Run::print(int detail) {
    if (detail < 0 || detail >= static_cast<int>(s_->details.size()))
        throw std::out_of_range("no such detail band");
    s_->printDetail(static_cast<std::size_t>(detail));
}

void Run::print(std::string_view detailName) {
    for (std::size_t i = 0; i < s_->report.details.size(); ++i)
        if (equalIgnoringCase(s_->report.details[i].name, detailName)) {
            s_->printDetail(i);
            return;
        }
    throw std::out_of_range("no detail band " + std::string(detailName));
}

DocumentPtr Run::finish() {
    State& s = *s_;
    if (s.started) {
        for (std::size_t i = s.report.breaks.size(); i-- > 0;)
            if (s.breakFooters[i].band) s.place(s.breakFooters[i]);
        s.started = false;
    }
    s.closePage();
    s.doc->fonts = s.fonts;
    return s.doc;
}

int Run::pages() const {
    return s_->pageNo;
}

int Run::line() const {
    return s_->line;
}

// ---------------------------------------------------------------------------
// The last document, for the checks

namespace {
std::mutex lastLock;
DocumentPtr last;
bool noted = false;
}  // namespace

void noteDocument(DocumentPtr document) {
    std::lock_guard g(lastLock);
    last = std::move(document);
    noted = true;
}

DocumentPtr lastDocument() {
    std::lock_guard g(lastLock);
    return last;
}

bool documentNoted() {
    std::lock_guard g(lastLock);
    return noted;
}

void clearLastDocument() {
    std::lock_guard g(lastLock);
    noted = false;
}

}  // namespace rt::report
