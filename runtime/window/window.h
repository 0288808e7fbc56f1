#pragma once
// The window model and its event loop.
//
// A window procedure builds a Window from its description, opens it and runs
// its loop on its own thread: accept() hands out one event at a time and,
// when asked for the next, carries out the default action of the last one
// unless cycle() was called. All behaviour lives here (focus, tab order,
// which event an input makes, alert keys, timers, the accept-all pass); a
// backend only draws the views this layer publishes and reports raw input.
//
// A Window is used only by the thread that opened it. Other threads reach it
// through postTo() with its id.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <atomic>
#include <limits>
#include "runtime/picture.h"
#include "runtime/window/keys.h"
#include "runtime/window/view.h"

namespace rt {

enum class Event {
    None,
    Accepted,      // a control or menu item completed by the user (or the accept-all pass)
    Selected,      // a control received the focus
    NewSelection,  // a list's highlight or a sheet's tab changed
    AlertKey,      // an alerted key was pressed
    Rejected,      // an entry refused what was typed
    Timer,
    OpenWindow,
    CloseWindow,  // the close box, Esc, the close item, or a posted close
    CloseDown,    // the frame is closing
    LoseFocus,    // the window stopped being the active child
    GainFocus,    // it became the active child again
    Completed,    // the accept-all pass has accepted every control
    Sized,        // the user resized, maximized or restored the window
    Moved,
    ScrollUp,    // a list: the highlight tried to move above the first row
    ScrollDown,  // ... below the last row
    PageUp,
    PageDown,
    ScrollTop,
    ScrollBottom,
    LineScroll,  // a list's scroll bar arrow or the wheel: scrollAmount() rows (negative: up)
    ThumbDrag,   // a list's scroll thumb dragged to scrollAmount() percent (0 top, 100 bottom)
};

// Rows one notch of the mouse wheel scrolls a list.
constexpr int WheelRows = 3;

// A control's binding to a variable: show gives the text the control shows
// (Windows-1250, through its picture), take stores what the user typed and
// says false when the picture refuses it.
struct Binding {
    std::function<std::string(const Picture*)> show;
    std::function<bool(const Picture*, std::string_view)> take;
    explicit operator bool() const { return static_cast<bool>(show); }
};

// Bindings for the kinds of variables the windows use.
Binding bindInteger(std::function<std::int64_t()> get, std::function<bool(std::int64_t)> set);
template <typename T>
Binding bind(T& v) {
    return bindInteger([&v] { return static_cast<std::int64_t>(v); },
                       [&v](std::int64_t x) {
                           if (x < static_cast<std::int64_t>(std::numeric_limits<T>::min()) ||
                               x > static_cast<std::int64_t>(std::numeric_limits<T>::max()))
                               return false;
                           v = static_cast<T>(x);
                           return true;
                       });
}
Binding bindText(char* field, std::size_t width);  // a fixed-width text field
Binding bindString(std::string& s);                // a free text (Windows-1250)
Binding bindMoney(Money& m);
Binding bindAtomic(std::atomic<std::int32_t>& v);

// The keys alerted on a control or on a window, looked up on every key. A
// sorted vector: a list's locator alerts every character of the code page,
// and a node per key would cost a new window hundreds of allocations.
class KeySet {
  public:
    void insert(int key) {
        auto it = std::lower_bound(keys_.begin(), keys_.end(), key);
        if (it == keys_.end() || *it != key) keys_.insert(it, key);
    }
    std::size_t count(int key) const {
        return std::binary_search(keys_.begin(), keys_.end(), key) ? 1 : 0;
    }
    void clear() { keys_.clear(); }
    void reserve(std::size_t n) { keys_.reserve(n); }

  private:
    std::vector<int> keys_;
};

// One control of a window. Fields are set before the window opens or by its
// procedure while it runs; a change shows at the next redraw.
struct Control {
    ControlKind kind = ControlKind::String;
    std::string name;  // as the layouts write it, "?PLA:P1_NPD"
    std::string text;  // Windows-1250: prompt, button, tab, menu, string text
    Rect at;
    int parent = 0;
    bool hidden = false, disabled = false, skip = false, isDefault = false;
    bool readOnly = false;
    bool hasFont = false;
    Font font;
    Align align = Align::Left;
    int indent = 0;
    std::string picture;
    std::string msg, tip;  // Windows-1250
    Binding value;
    // check box: the values for checked and unchecked; radio: its value
    std::string trueValue = "1", falseValue = "0";
    std::string radioValue;
    // lists: columns, and the rows the list shows now: row(r) gives row r's
    // cells, formatted, UTF-8, one per column. Every redraw asks for
    // rowCount() and then for every row, so a list hands back the same
    // shared row while it is unchanged; a list that sets rowsVersion is
    // asked for its version first, and for its rows only when the version
    // differs from the one its last view was made at (a list whose rows
    // change must change its version).
    std::vector<Column> columns;
    std::function<int()> rowCount;
    std::function<ListRow(int row)> row;
    std::function<std::uint64_t()> rowsVersion;
    int highlight = 0;
    int thumb = -1;       // a list's scroll thumb set by its browse: 0 top to 100 bottom; -1 none
    int lineHeight = 0;   // a list's row (and header) height in dialog units; 0 the display's own
    int selectedTab = 0;  // sheet: the chosen tab's id
    // menu items: a standard action the window layer carries out itself
    enum class Action { None, PrintSetup, Close } action = Action::None;
    int bevelOuter = 0, bevelInner = 0, bevelStyle = 0;
    std::uint32_t fill = 0xffffffff;
    KeySet alerts;
    // picture: its text is the path of the image file it shows (Windows-1250,
    // trailing blanks ignored, blank for none); how it draws the image
    ImagePayload::Mode pictureMode = ImagePayload::Mode::Fit;
    // a report page control: the page it shows (set by the preview)
    PagePayload page;

    // run-time state kept by the window
    std::string edit;     // an entry's edit text (UTF-8; a text box's line breaks as LF)
    bool edited = false;  // the user changed it since it was last shown
    // The caret and the other end of the selection in the edit text, in
    // characters (equal: nothing selected).
    int caret = 0, anchor = 0;
    // A picture control's image: asked for by path, read on another thread.
    struct ImageState {
        std::string path;              // the text the image was asked for
        std::uint64_t generation = 0;  // grows with every request; older reads are dropped
        bool reload = false;           // read the file again at the next redraw
        bool fitBox = false;           // take the form's fitting once read
        bool loaded = false;
        std::string file;                       // UTF-8, the file read
        int width = 0, height = 0;              // the picture's own size
        int pixelsWidth = 0, pixelsHeight = 0;  // the pixels' (reduced while decoding)
        std::shared_ptr<const std::vector<std::uint8_t>> pixels;
        std::uint64_t version = 0;  // grows with every change a view shows
    } image;
};

// The kinds of control that can take the focus at all.
bool takesFocus(ControlKind kind);

struct WindowDesc {
    WindowKind kind = WindowKind::Child;
    std::string title;  // Windows-1250
    Rect at;            // x, y ignored when centred or not given
    bool positioned = false;
    bool centred = false;
    bool maximized = false;
    bool resizable = false;
    bool titleBar = true, border = true, systemMenu = true;
    bool grey = false;
    Font font;
    std::vector<int> statusWidths;
};

struct PictureRead;  // the window layer's own (hub.h)

class Window {
  public:
    explicit Window(WindowDesc desc = {});
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Building: controls get numbers in creation order, from 1.
    int add(Control c);
    Control& control(int id);
    const Control& control(int id) const;
    int controlCount() const { return static_cast<int>(controls_.size()); }
    // A control's number by its name ("?OK", "?Browse:1"; letter case ignored), 0 if none.
    int find(std::string_view name) const;
    WindowDesc& desc() { return desc_; }

    void open();
    bool opened() const { return opened_; }
    bool closed() const { return closed_; }
    // Closes at once (the default action of a close event).
    void close();
    int id() const { return id_; }

    // The event loop.
    bool accept();
    void cycle() { cycled_ = true; }
    Event event() const { return ev_.kind; }
    int field() const { return ev_.control; }
    int keyCode() const { return ev_.key; }
    int scrollAmount() const { return ev_.key; }  // LineScroll, ThumbDrag
    // A selected event: the control that had the focus before it moved (0
    // when none had it: the first focus of the window). A select of the
    // control that has the focus already gives that control itself.
    int selectedFrom() const { return ev_.kind == Event::Selected ? ev_.from : 0; }
    // Posts an event to this window, after those already waiting.
    void post(Event e, int control = 0);
    // Posts an event to any window, from any thread; false if it is gone.
    static bool postTo(int window, Event e, int control = 0);

    // Focus.
    int focus() const { return focus_; }
    void select(int control);
    // Moves the focus as Tab (+1) or Shift+Tab (-1) does: the control that
    // has the focus is accepted first.
    void navigate(int direction);
    // A click into target: the focused control is accepted first, then the
    // focus moves there, and a button (check box, radio) is pressed.
    void navigateTo(int target, bool press);
    bool focusable(int control, bool byTab) const;
    int nextFocusable(int from, int direction) const;

    // The accept-all pass: every control accepted in tab order, then the
    // completed event; a handler that moves the focus ends it.
    void acceptAll();
    bool inAcceptAllPass() const { return pass_.active; }

    // Variables and display.
    void display(int control = 0);  // redraw from the variables (0: all)
    void update(int control = 0);   // store edited texts into the variables
    void changed() { dirty_ = true; }
    // Hands the display a fresh view now (the loop does it before it waits).
    void refresh() {
        dirty_ = true;
        publish();
    }
    // Types text into the focused entry or multi-line box at its caret, over
    // what is selected (a new line for Shift+Enter).
    void insertText(std::string_view utf8);

    // Attributes at run time.
    void setTitle(std::string cp1250);
    const std::string& title() const { return desc_.title; }
    void hide(int control, bool hidden = true);
    void enable(int control, bool enabled = true);
    void setDefault(int control);
    void setHighlight(int list, int row);
    void chooseTab(int tab);

    // Timer in hundredths of a second (0: none), from the runtime's clock.
    void setTimer(int cs);
    int timer() const { return timerCs_; }

    // Alert keys: on the window itself (control 0) or on a control.
    void alert(int key) { windowAlerts_.insert(key); }
    void alert(int control, int key) { this->control(control).alerts.insert(key); }
    void clearAlerts();
    bool alerted(int control, int key) const;

    // Placement (dialog units).
    struct Placement {
        bool maximized = false, minimized = false, resizable = false;
        int x = 0, y = 0, width = 0, height = 0;
    };
    Placement placement() const;
    void setPosition(std::optional<int> x, std::optional<int> y, std::optional<int> w,
                     std::optional<int> h);
    void setMaximized(bool m);
    bool maximized() const { return maximized_; }
    bool minimized() const { return minimized_; }
    Rect rect() const { return at_; }
    // The client area's size now: the normal size, or what the frame gives a
    // maximized window (as its display reported it, else the frame's area).
    Rect present() const;
    void setMinSize(int w, int h);
    Rect minSize() const { return minSize_; }

    // Asks; the thread waits for the answer while its windows are disabled.
    int popup(const std::vector<std::string>& itemsCp1250);

    // Picture controls. The control shows the image file its path names
    // (Windows-1250, trailing blanks ignored, blank for none, the rule of
    // pictureFile). The file is read on a thread of the window layer's own
    // after the next redraw, and the picture shows with the redraw after it
    // has been read; until then, and when it cannot be read, the control
    // shows nothing. A path given again is read again. With fitBox, once the
    // picture has been read, the control takes the member form's fitting of
    // its box (image::resizeImage); nothing read leaves the box as it is.
    // Setting a picture control's text and calling changed() asks for the
    // new path as well (a path it already shows is not read again).
    void setPicture(int control, std::string_view cp1250Path, bool fitBox = false);

  private:
    struct Ev {
        Event kind = Event::None;
        int control = 0;
        int key = 0;
        bool navigation = false;  // an accepted event that a focus move waits on
        int from = 0;             // a selected event: the control the focus left
    };
    friend struct Hub;

    void queue(Ev e) { pending_.push_back(e); }
    void finish();
    void handleInput(const Input& in);
    // A picture read on the layer's thread, for this window's control.
    void takePicture(const PictureRead& read);
    // At a redraw: the pictures whose path changed (or was given again)
    // show nothing from now on; gives the controls whose file is to be read.
    std::vector<int> askPictures();
    void handleKey(int k);
    // The keys that edit an entry's text or move its caret; false for others.
    bool editKey(Control& c, int k);
    // The edit text as the user changed it, the caret and selection with it.
    void setEdit(Control& c, std::string utf8, int caret, int anchor);
    void handleClick(int control, int row, int key);
    // byKey: Tab, Shift+Tab or a key acting as them; an entry so entered
    // has its whole text selected, so typing replaces it.
    void moveFocus(int target, bool byKey = false);
    // The next (+1) or previous (-1) tab of the sheet the focus lies on
    // (else the window's first sheet), as a click on it chooses it.
    void stepTab(int direction);
    // A radio of an option box is the one its box's value chooses.
    bool radioChosen(int radio) const;
    // The radio of the same box that Tab stops at: the chosen one, else the
    // first the focus can take.
    int tabRadio(int box) const;
    // Up/Left (-1) and Down/Right (+1) in an option box: the focus goes to
    // the box's previous or next radio, round the ends, and chooses it.
    void stepRadio(int radio, int direction);
    bool acceptControl(int control, bool inPass);
    void pressButton(int control);
    bool stepPass();
    void publish();
    ViewPtr makeView() const;
    std::vector<ListRow> listRows(const Control& list) const;
    std::string shown(const Control& c) const;
    bool visibleInTree(int control) const;
    void centre();

    WindowDesc desc_;
    std::vector<Control> controls_;
    KeySet windowAlerts_;
    std::deque<Ev> pending_;
    Ev ev_;
    bool cycled_ = true;
    bool opened_ = false, closed_ = false, dirty_ = true;
    int id_ = 0;
    int focus_ = 0;
    std::uint64_t selects_ = 0;  // grows with every programmatic focus change
    struct PendingMove {
        bool active = false;
        int direction = 0;  // 0: to target
        int from = 0;
        int target = 0;
        bool press = false;  // press target once there (a button click)
        std::uint64_t selects = 0;
    } move_;
    struct Pass {
        bool active = false;
        int next = 0;
        std::uint64_t selects = 0;
    } pass_;
    int timerCs_ = 0;
    Rect at_;
    Rect minSize_;
    Rect maximizedSize_;  // w, h: as the display last reported it maximized (0: not yet)
    bool maximized_ = false, minimized_ = false;
    std::uint64_t placed_ = 0;  // the program's own placements, for the views
    std::uint64_t serial_ = 0;
    std::uint64_t inputsTaken_ = 0;  // the highest Input::seq handled
    // Each control's last view and what it was made from (the texts before
    // conversion), so a redraw shares the views of unchanged controls.
    struct Shown {
        ControlList::Ptr view;
        std::string name, text, msg, tip;
        std::vector<Column> columns;        // as the control has them; the view's are UTF-8
        std::uint64_t image = 0;            // the picture's version shown
        std::optional<std::uint64_t> rows;  // the list's rows version the view has
    };
    mutable std::vector<Shown> shown_;
    mutable std::string titleSource_, titleShown_;  // the title, and as the views show it
    mutable bool activeShown_ = false;              // the last view showed it active
};

// Thrown out of a waiting call when the program shuts its windows down.
struct ShutDown {};

// Installs the display. The runtime's message handler is installed with it:
// message boxes go to the display and the asking thread waits.
void setBackend(Backend* backend);
Backend* backend();

// The exit status of a process ended by an exception that escaped the program
// body or a procedure thread while a display was set (the box first).
constexpr int EscapeExitStatus = 1;

// Starts a window procedure on a new thread with the stack asked for.
ThreadNumber startProcedure(std::function<void()> procedure, std::size_t stack = DefaultStack);

// Raw input from a backend or the driver; never blocks.
void input(int window, Input in);

// Dialogs.
DialogAnswer askDialog(DialogRequest request);
void answerDialog(int dialog, DialogAnswer answer);
struct OpenDialog {
    int id;
    DialogRequest request;
};
std::vector<OpenDialog> openDialogs();
// An open-file dialog: it starts in the current directory without a file
// name; the current directory is put back afterwards. The chosen path as
// the dialog gives it (UTF-8; it may be relative), nullopt when cancelled.
std::optional<std::string> fileDialog(const FileDialogRequest& request);
void printSetup();

void beep();
std::uint64_t beeps();

// The file a picture's path names, in the file system's encoding (UTF-8),
// or nullopt for none. The path (Windows-1250, trailing blanks ignored) is
// used as it stands, with "\" read as "/"; a relative path that names no
// file exactly is matched without letter case, name by name, from the
// current directory (records made on another system store upper-case bare
// names); a Windows drive path ("C:\...", "C:foto.jpg") and a blank path
// name none. Reads the file system; call it off the window's thread.
std::optional<std::string> pictureFile(std::string_view cp1250Path);

// The frame's status bar, zones from 1; the first shows the help of the
// highlighted menu item, else the message of the active child's focused
// control.
void setStatusText(int zone, std::string_view cp1250);
std::string statusText(int zone);  // UTF-8

// The active child window of the frame (0: none).
int activeWindow();

// The open windows' latest views, oldest first.
std::vector<ViewPtr> views();
ViewPtr view(int window);
int frameWindow();
// The frame is closing its children (until one of them refuses).
bool frameClosing();

// The program body runs on thread 1; while it runs, thread 1 counts as busy
// unless it waits in a window.
void setBodyRunning(bool running);
// Idle: every procedure thread waits for its next event or for a dialog,
// and the display has drawn everything. Waits up to timeoutMs.
bool waitIdle(int timeoutMs);
// Ends every wait with ShutDown and drops the open dialogs.
void shutDownWindows();
// Back to the state before any window (tests).
void resetWindows();

// The area a frame's children are placed and centred in (dialog units).
void setClientArea(Rect r);
Rect clientArea();

}  // namespace rt
