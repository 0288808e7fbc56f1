#pragma once
// Reports: a report described as data, the run that turns printed bands into
// pages, and the pages themselves (display lists).
//
// Every measure is in 1/1000 inch. A description holds the page header, the
// page footer, the form band (printed on every page, under the rest), the
// detail bands and nested group breaks by a value, each with an optional
// header and footer band. Bands flow down the detail area; the page header
// and footer and the form lie where they are placed on the page.
//
// A run prints bands one at a time (print(detail)); before a detail it
// prints what the breaks call for: the footers of every break whose value
// changed (inner first) with their totals, which then start again, and the
// headers of those breaks (outer first). A band that does not fit the rest of
// the detail area goes to the next page; a new page first gets its form and
// its page header, formatted with the values the buffers hold at that moment
// (the record that opens the page). finish() prints the open group footers
// and the last page footer. A band of height 0 prints nothing.
//
// Texts come from Windows-1250 buffers and go to the pages as UTF-8. Text is
// measured with the metrics of the faces the printer draws with (Liberation
// Sans for Arial and MS Sans Serif, Liberation Sans Narrow for Arial Narrow),
// read from the font files, so a string is clipped and a text box wrapped on
// the page exactly where the printer shows it; the displays draw each text
// item as the run cut it. A formatted number (an amount, a count, a code, a
// date) is never cut: wider than its box, its item is as wide as it prints
// and reaches out of the box on the side away from its alignment (left of a
// right-aligned box, right of a left-aligned one, both sides of a centred
// one); only a value its picture cannot hold shows the picture's overflow
// mark.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/money.h"
#include "runtime/text.h"
#include "runtime/window/view.h"

namespace rt::report {

// A4 portrait in 1/1000 inch (210 x 297 mm).
inline constexpr int A4Width = 8268;
inline constexpr int A4Height = 11693;

// What a field control shows, read when its band prints. Numbers (codes,
// dates, byte values) and amounts are read as integers (amounts in
// hundredths), texts as Windows-1250 bytes; the control's picture formats
// them.
class Source {
  public:
    enum class Kind { None, Integer, Money, Text, PageNumber };

    Source() = default;
    static Source of(const std::int32_t& v);
    static Source of(const std::uint8_t& v);
    static Source of(const std::atomic<std::int32_t>& v);
    static Source of(const Money& m);
    static Source of(const std::string& cp1250);
    static Source of(const char* field, std::size_t width);
    template <std::size_t N>
    static Source of(const Text<N>& t) {
        return of(t.bytes.data(), N);
    }
    static Source integer(std::function<std::int64_t()> get);
    static Source money(std::function<Money()> get);
    static Source text(std::function<std::string()> getCp1250);
    // The number of the page being printed.
    static Source pageNumber();

    Kind kind() const { return kind_; }
    explicit operator bool() const { return kind_ != Kind::None; }
    std::int64_t number() const;  // Integer: the value; Money: hundredths
    std::string text() const;     // Text: the bytes (Windows-1250)
    // The same bytes where they stand, for a source that reads a field or a
    // string in place (no copy of a long text for every detail printed).
    std::optional<std::string_view> textInPlace() const;

  private:
    Kind kind_ = Kind::None;
    std::function<std::int64_t()> number_;
    std::function<std::string()> text_;
    const char* field_ = nullptr;
    std::size_t width_ = 0;
    const std::string* string_ = nullptr;
};

// Totals of a field control: the sum of its source, or the count of details,
// over the details printed since the reset.
enum class Total { None, Sum, Count };
// Reset: never, or at the break of that name (when its value changes).
struct Reset {
    std::string breakName;  // empty: never reset
};

struct Control {
    enum class Kind {
        String,  // static text
        Field,   // a value formatted by its picture, aligned in its width; a text clipped to it
        Text,    // a multi-line box: the value wrapped to its width, clipped to its height
        Image,   // a picture file scaled into the box, proportions kept, centred
        Line,    // from (x, y) to (x + w, y + h)
        Box,
    };
    Kind kind = Kind::String;
    std::string name;                // "?CLA1:CL_DUG:2"
    int x = 0, y = 0, w = 0, h = 0;  // inside its band
    std::string text;                // String: Windows-1250
    Source value;                    // Field, Text; Image: the picture file's path (Windows-1250)
    std::string picture;
    Align align = Align::Left;
    bool hasFont = false;  // otherwise the band's font
    Font font;
    Total total = Total::None;
    Reset reset;
    int pen = 0;  // Line, Box: 0 the thinnest
};

struct Band {
    std::string name;  // "?Detail1"
    int x = 0, y = 0;  // detail bands: x from the detail area's left edge;
                       // page header, footer, form: the place on the page
    int w = 0, h = 0;
    bool hasFont = false;  // otherwise the report's font
    Font font;
    std::vector<Control> controls;

    Control& add(Control c);
    // By name (letter case ignored); nullptr if none.
    Control* find(std::string_view name);
};

struct Break {
    std::string name;  // "?Break2"
    Source by;         // the value whose change breaks
    std::unique_ptr<Band> header, footer;
};

struct Report {
    std::string jobTitle;  // Windows-1250
    int pageWidth = A4Width, pageHeight = A4Height;
    int x = 0, y = 0, w = 0, h = 0;  // the detail area on the page
    Font font;                       // the report's default font
    Band header, footer, form;       // page header, page footer, form band
    std::vector<Break> breaks;       // outermost first
    std::vector<Band> details;

    Band& detail(std::string_view name);  // by name; std::out_of_range if none
    Break& addBreak(std::string name, Source by);
};

// One page's display list, held compactly: the bands placed on it (where,
// and the texts their fields printed, as cut and wrapped); what a band's
// controls have in common on every page (places, fonts, static texts) is
// kept once per run. items() makes the PageItems a display draws (one text
// item per line of text).
class Page {
  public:
    std::vector<PageItem> items() const;
    std::size_t itemCount() const { return count_; }
    std::size_t bytes() const;  // what the page holds in memory

    struct Item;    // a band placed on the page (the run's own)
    struct Layout;  // what a run's pages share
  private:
    friend class Run;
    std::vector<Item> items_;
    std::vector<std::uint16_t> lengths_;  // each printed text's length in texts_
    std::string texts_;                   // UTF-8, one after another
    std::size_t count_ = 0;
    std::shared_ptr<const Layout> layout_;
};

// What a run made: the pages and the fonts their items name.
struct Document {
    std::string jobTitle;  // UTF-8
    int pageWidth = A4Width, pageHeight = A4Height;
    std::vector<Font> fonts;
    std::vector<std::shared_ptr<const Page>> pages;

    std::size_t pageCount() const { return pages.size(); }
    // Page n (from 1) as a display's payload; an empty page when out of range.
    PagePayload payload(int n) const;
    std::size_t bytes() const;
};
using DocumentPtr = std::shared_ptr<const Document>;

class Run {
  public:
    explicit Run(const Report& report);
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    // Prints a detail band (by index or name), with the breaks before it.
    void print(int detail = 0);
    void print(std::string_view detailName);
    // The open group footers, the last page footer; then the document.
    DocumentPtr finish();
    int pages() const;  // pages begun so far
    int line() const;   // details printed so far

  private:
    struct State;
    std::unique_ptr<State> s_;
};

// Text measure with the printer's metrics (1/1000 inch), for the engine and
// its tests.
int textWidth(const Font& font, std::string_view utf8);
int lineHeight(const Font& font);
// The face file a font is drawn with (empty when no file was found), and the
// family name the displays ask for ("Liberation Sans").
std::string fontFile(const Font& font);
std::string drawnFamily(const Font& font);

// The last report run of the process that made pages, for the checks that
// read them (scenarios): set when a run hands its pages to a preview or a
// printer; taken (and cleared) by the checks.
void noteDocument(DocumentPtr document);
DocumentPtr lastDocument();
// True when a report made pages since the last clearLastDocument().
bool documentNoted();
void clearLastDocument();

}  // namespace rt::report
