#pragma once
// ViewManager: a view of the file layer (runtime/file) as the browse uses it:
// numbered sort orders by key, a filter and range limits for the lists that
// need them, positioning (from the start, the end, a record's key values or a
// row's position), page reads, the re-read of a row by its position, and the
// lowest and highest value of a field for the scroll thumb.
//
// Every read is one bounded statement: positions are key values with the
// primary key breaking ties, a page is read with a row limit, never by
// skipping rows, and nothing reads the whole table.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/error.h"
#include "runtime/file/file.h"

class RelationManager;

class ViewManager {
  public:
    ViewManager() = default;
    virtual ~ViewManager();
    ViewManager(const ViewManager&) = delete;
    ViewManager& operator=(const ViewManager&) = delete;

    rt::View* View = nullptr;
    RelationManager* Primary = nullptr;  // the primary file's relation object

    void Init(rt::View& view, RelationManager& primary);
    // Closes the view.
    virtual void Kill();

    // --- sort orders (numbered from 1, in the order added)
    int AddSortOrder(rt::KeyRef key);
    int SortOrders() const { return static_cast<int>(orders_.size()); }
    // The current order's number, 0 before the first SetSort.
    int CurrentSort() const { return current_; }
    rt::KeyRef SortKey(int n) const;
    // Makes order n current (out of range: the last one). True when it changed.
    bool SetSort(int n);

    // --- what passes (applied from the next read on)
    void SetFilter(std::string expression);
    void AddRange(rt::FieldRef field, rt::Compare op, rt::ValueSource value);
    void ClearRanges();

    // --- reading. Each returns 0 or a file error number; Status() tells more.
    // Opens the view's files where needed (lazily opened ones through their
    // access objects) and the view itself in the current order.
    int Open();
    void Close();
    bool IsOpen() const { return View && View->isOpen(); }

    int SetFromStart();
    int SetFromEnd();
    // At the current order's key values in image (a record of the primary
    // file): a forward read starts at the first row >= them, a backward read
    // at the last row <= them.
    int SetFromRecord(const void* image);
    // At a row: a forward read starts with that row, a backward read with
    // the row before it. 33 when the row is gone.
    int SetAt(const rt::Position& position);
    // Beside a row already read, from its key values in image (the primary
    // record as it was read): a forward read starts after it, a backward read
    // before it. Issues no statement; the row may be gone meanwhile.
    int SetBeside(const void* image);
    // Up to rows rows from the position, one statement; onRow runs after
    // each row has been put into the record buffers.
    int ReadPage(int rows, bool forward, const std::function<void()>& onRow, int& read);
    // The row of that position into the record buffers; 33 when it is gone.
    int Reget(const rt::Position& position);
    // The position of the last row read.
    rt::Position Position() const;
    void PositionInto(rt::Position& out) const;  // the same, out's buffer kept
    // The lowest / highest value of a primary field over the rows that pass.
    int Extreme(int field, bool max, rt::Value& value);

    const rt::FileStatus& Status() const;
    // Statements issued through this manager (tests count them).
    std::uint64_t Statements() const { return statements_; }

  private:
    int ensureOpen();
    std::vector<rt::KeyRef> orders_;
    int current_ = 0;
    std::uint64_t statements_ = 0;
    rt::FileStatus status_;
};
