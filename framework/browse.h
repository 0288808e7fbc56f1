#pragma once
// BrowseClass: a list box of a window fed, one page at a time, from a view.
//
// The browse keeps the rows now loaded in its queue (one entry per row: a
// copy of each queue field, Mark and ViewPosition, the primary-key image that
// finds the row again) and shows them in its list control. A page holds as
// many rows as the list shows; moving beyond it reads the next rows from the
// last (or first) row's position. No read skips rows or reads the whole
// table: every statement is bounded by the page.
//
// The record buffers follow the highlight: after every move and every read
// the highlighted row is copied into the buffers of the view's files
// (UpdateBuffer); an empty list clears those fields.
//
// The buttons, keys and mouse: the insert, change, delete, select and view
// controls act on the highlighted row; Insert, Ctrl+Enter and Delete in the
// list press the first three (EditViaPopup), Shift+Enter the view control,
// a double-click changes (selects, when selecting), and the right-click menu
// offers the same actions. Insert primes the record through the primary
// file's access object and calls the window's update hook
// (WindowManager::Run(AskProcedure, request)); change, delete and view first
// read the highlighted row again (UpdateViewRecord); afterwards the list is
// read again (ResetFromAsk).
//
// A window whose Request is select makes the browse a selecting one: it
// keeps a copy of the primary record buffer taken when it starts, opens at
// the first row at or after the key values the buffer holds, and when the
// window ends either hands the chosen row back in the buffers (the window's
// response is completed) or puts the copy back.
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "framework/locator.h"
#include "framework/step.h"
#include "framework/view_manager.h"
#include "framework/window_manager.h"
#include "runtime/file/file.h"
#include "runtime/money.h"

class RelationManager;

// The rows a browse has loaded (the list's queue).
class BrowseQueue {
  public:
    struct Entry {
        // The queue fields' bytes as the records hold them, one after another
        // (one block per row: a page is read often and must be cheap to fill).
        std::string Fields;
        std::uint8_t Mark = 0;
        rt::Position ViewPosition;
        // The primary record as the row was read: its key values (the fields
        // of the browse's orders' keys and of the primary key; the other
        // fields of an entry that served an earlier row are not renewed).
        std::vector<char> Image;
        // The row as the list shows it, made at its first redraw and kept
        // while the columns' pictures stay as they were (ShownFormat).
        mutable rt::ListRow Shown;
        mutable std::uint32_t ShownFormat = 0;
    };

    // The highlighted entry's mark and position (empty when the list is empty).
    std::uint8_t Mark = 0;
    rt::Position ViewPosition;

    int Records() const { return static_cast<int>(entries_.size()); }
    const Entry& Get(int n) const { return entries_.at(static_cast<std::size_t>(n - 1)); }
    int Fields() const { return static_cast<int>(defs_.size()); }
    const rt::FieldDef& FieldDef(int field) const {
        return *defs_.at(static_cast<std::size_t>(field - 1));
    }
    // A queue field's bytes in entry n (fields and entries from 1).
    std::string_view Bytes(int n, int field) const;

    // A queue field of entry n, decoded (fields and entries from 1).
    std::int64_t Integer(int n, int field) const;
    std::string Text(int n, int field) const;  // without trailing blanks
    rt::Money Amount(int n, int field) const;
    // As a column picture shows it (the field's own picture when empty).
    std::string Formatted(int n, int field, const std::string& picture) const;
    // The same with the picture parsed (see ColumnPicture).
    std::string Formatted(int n, int field, const std::optional<rt::Picture>& picture) const;
    // The picture a column of field shows it with (the field's own when empty).
    const std::optional<rt::Picture>& ColumnPicture(int field, const std::string& picture) const;

  private:
    friend class BrowseClass;
    static std::string format(const rt::FieldDef& d, std::string_view bytes,
                              const std::optional<rt::Picture>& picture);
    // A text field's bytes as its column shows them (Windows-1250).
    static std::string_view shownText(std::string_view bytes,
                                      const std::optional<rt::Picture>& picture);

    std::vector<const rt::FieldDef*> defs_;
    std::vector<std::size_t> offsets_;  // where each field starts in Entry::Fields; then the end
    std::deque<Entry> entries_;
};

class BrowseClass : public ViewManager, public WindowComponent {
  public:
    BrowseClass() = default;
    ~BrowseClass() override;

    // --- properties the windows set
    BrowseQueue* Q = nullptr;
    int ListControl = 0;
    int AskProcedure = 0;  // the number passed to the update hook (0: no form)
    int InsertControl = 0, ChangeControl = 0, DeleteControl = 0;
    int SelectControl = 0, ViewControl = 0;
    bool HideSelect = false;   // the select control is hidden unless selecting
    bool EditViaPopup = true;  // the Insert, Ctrl+Enter, Delete keys and menu items
    bool RetainRow = true;     // a re-read keeps the highlighted row on its line
    bool Selecting = false;    // set by Init from the window's Request
    int LineHeight = 10;       // dialog units per list row (and for the header)
    WindowManager* Window = nullptr;

    // The list control, the queue's position field, the view, the queue, the
    // primary file's relation object and the window manager. Registers the
    // browse with the window; under the select request the browse selects.
    void Init(int listControl, rt::Position& position, rt::View& view, BrowseQueue& queue,
              RelationManager& relationManager, WindowManager& windowManager);
    void Kill() override;

    // A sort order (1, 2, ...; the last added is the default) with its thumb
    // step (nullptr: the fixed thumb). The locator added next belongs to it.
    int AddSortOrder(StepClass* step, rt::KeyRef key);
    void AddLocator(LocatorClass& locator);
    // A queue field copying a field of one of the view's files; its number.
    int AddField(rt::FieldRef viewField);
    // A field whose change since the last read makes the next reset read again.
    void AddResetField(rt::FieldRef field);
    template <typename T>
    void AddResetField(const T& variable) {
        static_assert(std::is_trivially_copyable_v<T>);
        addResetMemory(&variable, sizeof(T));
    }

    // Chooses order n (reading the list again, positioned on the highlighted
    // row, when the order changes or force is set). True when it changed.
    bool SetSort(int n, bool force);
    // Picks the order; windows whose order follows a tab override it.
    // Inherited: the default (last) order.
    virtual bool ResetSort(bool force);

    void SetAlerts() override;
    bool TakeEvent() override;
    // An alerted key of the list (the current event). True when handled.
    virtual bool TakeKey();
    void Reset(bool force) override;
    bool ResetRequired() override;
    void Update() override { UpdateBuffer(); }

    // Reads the highlighted row again into the record buffers. False (after
    // "Record Retrieval Error" and a fresh read of the list) when the row is
    // gone or its key changed; false without a message when the list is empty.
    bool UpdateViewRecord();
    // The highlighted queue entry into the record buffers; blank when empty.
    void UpdateBuffer();
    // After the update hook: reads the list again as the outcome asks.
    void ResetFromAsk(std::uint8_t request, std::uint8_t response);
    // Fills the queue entry being loaded from the record buffers (a row has
    // just been read). Windows that derive a value per row override it and
    // call the inherited one.
    virtual void SetQueueRecord();

    // The last page in the order, its last row highlighted.
    void ScrollEnd();
    void ScrollTop();

    // --- for locators and steps
    int ItemsToFill() const;
    int Highlight() const;  // 1-based line of the highlighted row, 0 when empty
    // The primary record image of the highlighted row (nullptr when empty).
    const void* HighlightedImage() const;
    LocatorClass* CurrentLocator() const;
    StepClass* CurrentStep() const;
    // Moves the highlight one row down (or up), reading the next row when
    // the highlight is on the page's edge.
    void MoveHighlight(bool down);
    // Positions on the first row whose current-order key values are >= those
    // of image and reads the page from there (the last page when none). The
    // image is the caller's own (not the record buffer, which the page fills).
    void LocateRecord(const void* image);
    // The scroll thumb, 0 (top) to 100 (bottom).
    int Thumb() const { return thumb_; }
    // Reads done (pages, re-reads and limits), for tests.
    bool Loaded() const { return loaded_; }

  protected:
    // The current entry being filled by SetQueueRecord.
    BrowseQueue::Entry* Loading = nullptr;

  private:
    struct Sort {
        rt::KeyRef key;
        StepClass* step = nullptr;
        LocatorClass* locator = nullptr;
    };
    struct QueueField {
        rt::FieldRef field;
    };
    // The queue fields' bytes in the record buffers (this thread's), as runs
    // of fields that lie one after another there.
    struct Copy {
        const char* from = nullptr;
        std::size_t size = 0;
    };
    std::vector<Copy> copies_;
    // The bytes of a row's image that are kept (keepImage).
    struct ImageRun {
        std::size_t from = 0, size = 0;
    };
    std::vector<ImageRun> imageRuns_;
    void keepImage(BrowseQueue::Entry& e, const rt::FileStructure& primary);
    struct ResetField {
        std::function<std::string()> read;
        std::string last;
    };
    using Rows = std::vector<BrowseQueue::Entry>;

    bool attach();
    void addResetMemory(const void* p, std::size_t n);
    bool resetFieldsChanged();
    void noteResetFields();

    // Reading
    int read(int rows, bool forward, Rows& out);
    // From the start, or (a selecting browse opening) at the buffer's key.
    void firstFill(bool fromBuffer = true);
    // Reads the page around a row (by position, else by key values) so that
    // it stands on line (when enough rows follow it).
    // image is read until the page is read: never the record buffer.
    void fillAround(const rt::Position& position, std::span<const char> image, int line);
    // Rows next to an entry of the page, not already on it.
    Rows readBeside(const BrowseQueue::Entry& e, int count, bool forward);
    void setPage(Rows rows, int highlight);
    void scroll(rt::Event e);
    // The scroll bar and the wheel: the page moves n rows under the
    // highlight (negative: up); the thumb dragged to a place positions the
    // list at the step's value there (the fixed thumb: a page that way).
    void scrollLines(int n);
    void thumbTo(int percent);
    void computeLimits();
    void afterMove();
    void setButtons();
    void setThumb();  // computes it and shows it on the list
    void computeThumb();
    // The columns' pictures as the list control has them now.
    void checkColumnPictures();
    // Row n of the queue as the list shows it (formatted once, then shared),
    // with the pictures found by the last checkColumnPictures.
    rt::ListRow shownRow(int n);
    void formatRows();  // every entry not formatted with the pictures now

    // Actions
    void ask(std::uint8_t request);
    void press(int control);
    bool enabled(int control) const;
    void popup();
    void choose();

    rt::Position* position_ = nullptr;
    std::vector<Sort> sorts_;
    std::vector<QueueField> fields_;
    std::vector<ResetField> resetFields_;
    struct ColumnFormat {
        std::string source;                                  // the column's picture as written
        const std::optional<rt::Picture>* parsed = nullptr;  // from the thread's cache
        // How the cell is made of its queue field's bytes (from, size): a
        // text as BrowseQueue::shownText shows it; a code or a date written
        // by its picture; or anything else through BrowseQueue::format.
        enum class Way { None, Text, Number, Other } way = Way::None;
        std::size_t from = 0, size = 0;
    };
    std::vector<ColumnFormat> columnPictures_;
    std::uint32_t format_ = 1;  // grows when a column's picture changes: rows are formatted again
    std::uint32_t page_ = 0;    // grows whenever the queue's entries change (the rows' version)
    int plannedFields_ = -1;    // the queue fields the columns' ways were worked out for
    rt::ListRow::Builder rowBuilder_;      // kept: its buffers serve every row formatted
    Rows spare_;                           // entries a page let go, kept for their buffers
    std::vector<std::size_t> pageHashes_;  // readBeside's, kept for its buffer
    int current_ = 0;                      // the current sort (1-based), 0 before the first
    bool loaded_ = false;
    bool attached_ = false;
    bool resetRequired_ = false;
    bool resized_ = false;
    bool atStart_ = false, atEnd_ = false;
    // The current order's first row as last read from the start (firstKnown_):
    // a located page starting there stands at the top without a read before it.
    rt::Position firstOfOrder_;
    bool firstKnown_ = false;
    int thumb_ = 0;
    int saveId_ = 0;                // the selecting browse's saved buffer
    std::vector<char> startImage_;  // the primary buffer when the browse started
    bool killed_ = false;
};
