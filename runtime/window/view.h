#pragma once
// What a backend is given to draw, and what it reports back. A view is an
// immutable snapshot of one window, made on the window's own thread after it
// has handled its events; texts are UTF-8. Backends never see the model.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "runtime/dialogs.h"
#include "runtime/threads.h"

namespace rt {

// Positions and sizes are in dialog units of the window's font.
struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Font {
    std::string face = "MS Sans Serif";
    int size = 8;  // points
    bool bold = false, italic = false;
    std::uint32_t color = 0;  // 0xRRGGBB
    int charset = 0;          // 238 for East European
    friend bool operator==(const Font&, const Font&) = default;
};

enum class ControlKind {
    Prompt,  // a label; focusing it forwards the focus to the next control
    String,  // display text, optionally bound to a variable
    Entry,   // one-line edit bound to a variable through a picture
    Text,    // multi-line edit box
    Button,
    Check,
    Option,  // a box of radio buttons bound to one variable
    Radio,   // one choice of an option box
    Group,
    List,
    DropList,
    Combo,
    DropCombo,
    Spin,
    Sheet,  // a set of tabs
    Tab,    // one page of a sheet; its controls have it as parent
    Panel,
    Image,
    Line,
    Box,
    Menu,       // a menu of the frame's menu bar (or a sub-menu)
    Item,       // a menu item
    Separator,  // a line between menu items
    Progress,   // a progress bar: its text is the value, 0 to 100
    Page,       // a report page as the preview shows it (PagePayload)
};

enum class Align { Left, Right, Center, Decimal };

struct Column {
    std::string header;  // Windows-1250 in the window, UTF-8 in a view (the group too)
    int width = 0;
    Align align = Align::Left;
    int indent = 0;
    Align headerAlign = Align::Left;
    std::string picture;
    bool rightBorder = true;
    bool resizable = true;
    // The heading of the group of columns this one lies under, drawn above
    // the columns' own headings; empty for none. Neighbouring columns with
    // the same heading make one group.
    std::string group;
    friend bool operator==(const Column&, const Column&) = default;
};

// The lines a list's header takes: none when no column has a heading, two
// when a group's heading stands over the columns' own, else one.
int headerLines(const std::vector<Column>& columns);

// One row of a list as the display shows it: its cells, UTF-8, one per
// column. A row is one shared block (the cells' ends, then their texts), made
// once and never changed: a list keeps the rows it has formatted, and every
// view that shows them again holds the same block, so a redraw copies no text.
class ListRow {
  public:
    ListRow() = default;
    ListRow(const std::vector<std::string>& cells);
    ListRow(std::initializer_list<std::string_view> cells);

    std::size_t size() const;
    bool empty() const { return size() == 0; }
    std::string_view operator[](std::size_t i) const;
    std::string_view at(std::size_t i) const;  // throws std::out_of_range

    class const_iterator {
      public:
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        const_iterator() = default;
        const_iterator(const ListRow* row, std::size_t i) : row_(row), i_(i) {}
        std::string_view operator*() const { return (*row_)[i_]; }
        const_iterator& operator++() {
            ++i_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator old = *this;
            ++i_;
            return old;
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b) {
            return a.i_ == b.i_;
        }

      private:
        const ListRow* row_ = nullptr;
        std::size_t i_ = 0;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

    // The same cells (the same block, or equal texts).
    friend bool operator==(const ListRow& a, const ListRow& b);

    // Puts a row together cell by cell: add(text), or write a cell of at
    // most n bytes at room(n) and call endCell with its end; build() packs
    // the cells into a row. Reusable after clear(): its buffers stay.
    class Builder {
      public:
        char* room(std::size_t n) {
            if (text_.size() < used_ + n) text_.resize(used_ + n);
            return text_.data() + used_;
        }
        void endCell(const char* end) {
            used_ = static_cast<std::size_t>(end - text_.data());
            ends_.push_back(static_cast<std::uint32_t>(used_));
        }
        void add(std::string_view cell) {
            char* at = room(cell.size());
            if (!cell.empty()) std::memcpy(at, cell.data(), cell.size());
            endCell(at + cell.size());
        }
        std::size_t cells() const { return ends_.size(); }
        ListRow build();  // every cell added: one row
        // Several rows at once: endRow() after each row's cells, then
        // buildRows() packs them all into one block, a row each.
        void endRow() { rows_.push_back(RowEnd{ends_.size(), used_}); }
        std::vector<ListRow> buildRows() const;
        void clear() {
            used_ = 0;
            ends_.clear();
            rows_.clear();
        }

      private:
        struct RowEnd {
            std::size_t cells, text;  // where the row's cells and texts end
        };
        std::string text_;  // its first used_ bytes are the cells' texts
        std::size_t used_ = 0;
        std::vector<std::uint32_t> ends_;
        std::vector<RowEnd> rows_;
    };

  private:
    // [cell count][end of each cell's text][the texts], one allocation.
    std::shared_ptr<const char[]> block_;
};

// A list's columns as a view shows them (headers in UTF-8), shared by the
// views of the list for as long as its columns stay the same.
class ColumnList {
  public:
    ColumnList() = default;
    explicit ColumnList(std::vector<Column> columns)
        : items_(std::make_shared<const std::vector<Column>>(std::move(columns))) {}
    std::size_t size() const { return items().size(); }
    bool empty() const { return items().empty(); }
    const Column& operator[](std::size_t i) const { return items()[i]; }
    const Column& at(std::size_t i) const { return items().at(i); }
    std::vector<Column>::const_iterator begin() const { return items().begin(); }
    std::vector<Column>::const_iterator end() const { return items().end(); }
    const std::vector<Column>& items() const {
        static const std::vector<Column> none;
        return items_ ? *items_ : none;
    }

  private:
    std::shared_ptr<const std::vector<Column>> items_;
};

// What a list's view shows beyond what every control has.
struct ListPayload {
    ColumnList columns;
    std::vector<ListRow> rows;
    int highlight = 0;   // 1-based, 0 for none
    int thumb = -1;      // the scroll thumb, 0 (top) to 100 (bottom); -1 the list's own
    int lineHeight = 0;  // a row's (and the header's) height in dialog units; 0 the display's own
};

// A sheet's: the chosen tab's control id.
struct SheetPayload {
    int selectedTab = 0;
};

// The most device pixels a display draws a dialog unit with (a unit is a
// quarter of the font's average width, an eighth of its height: some 1.5
// pixels at the usual 8 points); a picture is never reduced below it.
inline constexpr int MaxPixelsPerUnit = 4;

// A picture control's: the picture as loaded, ready to draw. The pixels are
// shared by every view that shows the same picture. A control whose path
// changed shows nothing until the new file has been read (never the picture
// of the path before).
struct ImagePayload {
    // Stretch: over the whole control (the member form, whose fitting sizes
    // the control to the picture); Fit: scaled into the control, proportions
    // kept, centred (the lists, the record card).
    enum class Mode { Stretch, Fit };
    std::string path;           // UTF-8, as the control names it
    std::string file;           // the file read (the path rule applied); empty when none
    bool loaded = false;        // false: none, missing or unreadable, nothing to draw
    int width = 0, height = 0;  // the picture's own size in pixels, which its fitting takes
    // The pixels as decoded: fewer than the picture's own where the decoder
    // reduced a large picture to what its control can show (never less than
    // MaxPixelsPerUnit device pixels for each dialog unit of the control).
    int pixelsWidth = 0, pixelsHeight = 0;
    std::shared_ptr<const std::vector<std::uint8_t>> pixels;  // RGBA, row by row from the top
    Mode mode = Mode::Fit;
    Rect drawn;  // where the pixels go, dialog units as the control's own place; empty when none
};

// One thing drawn on a report page. Positions and sizes are in 1/1000 inch
// from the page's top left corner.
struct PageItem {
    enum class Kind { Text, Line, Box, Image };
    Kind kind = Kind::Text;
    int x = 0, y = 0, w = 0, h = 0;  // a line runs from (x, y) to (x + w, y + h)
    std::string text;                // Text: UTF-8; Image: the picture's path
    Font font;                       // Text
    Align align = Align::Left;       // Text, within w
    int pen = 0;                     // Line, Box: width in 1/1000 inch, 0 the thinnest
    friend bool operator==(const PageItem&, const PageItem&) = default;
};

// A report page's: its display list, shared by the views that show the page.
struct PagePayload {
    int page = 0;               // 1-based
    int width = 0, height = 0;  // the paper, 1/1000 inch
    std::shared_ptr<const std::vector<PageItem>> items;
    int zoom = 100;  // percent of the paper's own size on the screen; 0: the whole page fitted
    friend bool operator==(const PagePayload& a, const PagePayload& b) {
        return a.page == b.page && a.width == b.width && a.height == b.height &&
               a.items == b.items && a.zoom == b.zoom;
    }
};

struct ControlView {
    int id = 0;
    ControlKind kind = ControlKind::String;
    std::string name;  // "?PLA:P1_NPD"
    std::string text;  // what the control shows (an entry: its edit text)
    Rect at;
    int parent = 0;       // the tab, sheet, option, group or menu it lies in
    bool visible = true;  // itself and every parent shown (a tab: its sheet's chosen one)
    bool hidden = false;  // its own attribute
    bool enabled = true;
    bool focused = false;
    bool isDefault = false;
    bool readOnly = false;
    bool checked = false;       // check box, radio
    int caret = 0, anchor = 0;  // entries and text boxes: in characters of text
    bool hasFont = false;
    Font font;
    Align align = Align::Left;
    int indent = 0;
    std::string msg, tip;
    int bevelOuter = 0, bevelInner = 0, bevelStyle = 0;
    std::uint32_t fill = 0xffffffff;  // background, 0xffffffff for the default
    // What only a control of its kind shows: a list's, a sheet's, a
    // picture's, a report page's; nothing for the others.
    using Payload =
        std::variant<std::monostate, ListPayload, SheetPayload, ImagePayload, PagePayload>;
    Payload payload;

    // The payload when it is of that kind, else nullptr.
    const ListPayload* list() const { return std::get_if<ListPayload>(&payload); }
    ListPayload* list() { return std::get_if<ListPayload>(&payload); }
    const SheetPayload* sheet() const { return std::get_if<SheetPayload>(&payload); }
    SheetPayload* sheet() { return std::get_if<SheetPayload>(&payload); }
    const ImagePayload* image() const { return std::get_if<ImagePayload>(&payload); }
    ImagePayload* image() { return std::get_if<ImagePayload>(&payload); }
    const PagePayload* page() const { return std::get_if<PagePayload>(&payload); }
    PagePayload* page() { return std::get_if<PagePayload>(&payload); }
};

// The controls of a view, in control order (control n at n - 1). A window
// shares each control's view with its next views for as long as the control
// stays as it was, so a redraw makes anew only the controls that changed.
// Reads look like a vector's; a change through the non-const accessors first
// copies that control, so the views that share it keep theirs.
class ControlList {
  public:
    using Ptr = std::shared_ptr<const ControlView>;

    template <bool Const>
    class Iterator {
      public:
        using value_type = ControlView;
        using difference_type = std::ptrdiff_t;
        using reference = std::conditional_t<Const, const ControlView&, ControlView&>;
        using List = std::conditional_t<Const, const ControlList, ControlList>;
        Iterator() = default;
        Iterator(List* list, std::size_t i) : list_(list), i_(i) {}
        reference operator*() const { return (*list_)[i_]; }
        auto* operator->() const { return &**this; }
        Iterator& operator++() {
            ++i_;
            return *this;
        }
        Iterator operator++(int) {
            Iterator old = *this;
            ++i_;
            return old;
        }
        friend bool operator==(const Iterator& a, const Iterator& b) { return a.i_ == b.i_; }

      private:
        List* list_ = nullptr;
        std::size_t i_ = 0;
    };
    using const_iterator = Iterator<true>;
    using iterator = Iterator<false>;

    std::size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    const ControlView& operator[](std::size_t i) const { return *items_[i]; }
    const ControlView& at(std::size_t i) const { return *items_.at(i); }
    ControlView& operator[](std::size_t i) { return own(i); }
    ControlView& at(std::size_t i) { return own(checked(i)); }
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }
    iterator begin() { return {this, 0}; }
    iterator end() { return {this, size()}; }

    void reserve(std::size_t n) { items_.reserve(n); }
    void push_back(ControlView c) { items_.push_back(std::make_shared<ControlView>(std::move(c))); }
    void push_back(Ptr p) { items_.push_back(std::move(p)); }
    // Control i's view as shared (to be shown again by a later view).
    const Ptr& shared(std::size_t i) const { return items_[i]; }

  private:
    std::size_t checked(std::size_t i) const {
        if (i >= items_.size()) throw std::out_of_range("ControlList::at");
        return i;
    }
    // Copies control i when another view shares it. Every control view is
    // made non-const (make_shared<ControlView>), so changing the one this
    // list alone holds is allowed.
    ControlView& own(std::size_t i) {
        if (items_[i].use_count() > 1) items_[i] = std::make_shared<ControlView>(*items_[i]);
        return const_cast<ControlView&>(*items_[i]);
    }

    std::vector<Ptr> items_;
};

enum class WindowKind { Frame, Child };

struct WindowView {
    int id = 0;
    ThreadNumber thread = 0;
    WindowKind kind = WindowKind::Child;
    std::string title;
    Rect at;       // position and size in the parent's client area
    Rect present;  // w, h: the client area's size now (a maximized window's too)
    Rect minSize;  // w, h: the least size (0 for none)
    bool maximized = false, minimized = false;
    // Grows when the program places the window (position, size, maximized),
    // not when the user did: a display applies at and the state only then.
    std::uint64_t placed = 0;
    bool resizable = false, titleBar = true, border = true, systemMenu = true;
    bool grey = false;
    bool enabled = true;  // false while its thread waits on a nested window or a dialog
    bool active = false;  // the frame's active child
    bool tabBar = false;  // frame: the bar of tabs for the child windows
    Font font;
    std::vector<int> statusWidths;  // frame: widths of the status zones (-1 variable)
    std::vector<std::string> status;
    ControlList controls;
    std::uint64_t serial = 0;  // grows with every new view of this window
    // The highest Input::seq the window had taken when the view was made. An
    // edit box whose own later edit the view does not yet hold keeps what it
    // shows: the user's typing is not put back to what the window held
    // before it (the next view, made after the edit, holds it).
    std::uint64_t inputsTaken = 0;
};

using ViewPtr = std::shared_ptr<const WindowView>;

// Dialogs the program asks for; the asking thread waits for the answer.
struct FileDialogRequest {
    std::string title;                                         // UTF-8
    std::vector<std::pair<std::string, std::string>> filters;  // description, pattern
    bool mustExist = true;
};

struct DialogRequest {
    enum class Kind { Message, File, Popup, PrintSetup, Print };
    Kind kind = Kind::Message;
    int window = 0;  // the window it belongs to (0: none)
    ThreadNumber thread = 0;
    MessageRequest message;
    FileDialogRequest file;
    std::vector<std::string> items;  // popup: UTF-8, "&" kept, "-" a separator
    // print: the job's name and the pages it may print (the range asked for)
    std::string jobTitle;
    int pages = 0, from = 1, to = 0;
};

struct DialogAnswer {
    Button button = ButtonOk;
    std::string path;       // file dialog: empty when cancelled
    int item = 0;           // popup: 1-based, 0 when dismissed
    bool closeBox = false;  // message box: closed by its close box (or Esc), no button
    std::string printer;    // print: the printer chosen (UTF-8; empty with a path: a PDF file)
};

// Raw input a backend or the scenario driver reports; the window's own
// thread turns it into the events of the window.
struct Input {
    enum class Kind {
        Click,  // control (0: the window's surface), row for lists
        DoubleClick,
        RightClick,
        Key,        // key: a key code of keys.h, into the focused control
        Text,       // text: an entry's new edit text (typing), control
        Menu,       // control: a menu item chosen
        MenuHover,  // control: the highlighted menu item (0: none)
        TabChosen,  // control: the tab chosen
        Close,      // the close box
        Placement,  // at, maximized, minimized: the user moved or sized it
        Activate,   // the user brought the window to the front
        Focus,      // control: clicked into without pressing it
        Scroll,     // control: a list's vertical scroll bar, or the wheel over the list
        Caret,      // control: an entry's caret or selection moved (caret, anchor)
    };
    Kind kind = Kind::Click;
    int control = 0;
    int row = 0;
    int key = 0;
    std::string text;
    Rect at;
    bool maximized = false, minimized = false;
    // Scroll: a line or a page up or down (the bar's arrows or its track),
    // the thumb dragged to amount percent of the track (0 top, 100 bottom),
    // or the wheel turned by amount notches (negative: towards the top).
    enum class ScrollBy { LineUp, LineDown, PageUp, PageDown, Thumb, Wheel };
    ScrollBy scroll = ScrollBy::LineDown;
    int amount = 0;
    // Text, Caret: the caret and the selection's other end, in characters
    // of the text (-1: at the end of it).
    int caret = -1, anchor = -1;
    // Set by a display for what it changed itself before the window saw it
    // (an edit box's text and caret): a number that grows with each such
    // input, across all windows (nextInputSeq). 0: none.
    std::uint64_t seq = 0;
};

// The next number for Input::seq.
std::uint64_t nextInputSeq();

// A display. Calls come from procedure threads (closed() and status() with
// the window layer's lock held); an implementation must return at once,
// never call back into the window layer from these calls, and never call
// into it while holding its own locks.
class Backend {
  public:
    virtual ~Backend() = default;
    virtual void show(ViewPtr view) = 0;  // opened or changed
    virtual void closed(int window) = 0;
    virtual void dialog(int id, const DialogRequest& request) = 0;
    virtual void dialogClosed(int id) = 0;  // answered or dropped
    virtual void beep() = 0;
    // The frame's status bar: zone (1-based) now shows text.
    virtual void status(int zone, const std::string& text) = 0;
    // True when everything handed in has been drawn (the scenario runner
    // waits for it).
    virtual bool drawn() { return true; }
};

}  // namespace rt
