#include "framework/view_manager.h"

#include "framework/file_manager.h"
#include "framework/relation_manager.h"

ViewManager::~ViewManager() {
    Kill();
}

void ViewManager::Init(rt::View& view, RelationManager& primary) {
    View = &view;
    Primary = &primary;
    orders_.clear();
    current_ = 0;
}

void ViewManager::Kill() {
    if (View) View->close();
}

int ViewManager::AddSortOrder(rt::KeyRef key) {
    orders_.push_back(key);
    return static_cast<int>(orders_.size());
}

rt::KeyRef ViewManager::SortKey(int n) const {
    if (n < 1 || n > SortOrders()) return {};
    return orders_[static_cast<std::size_t>(n - 1)];
}

bool ViewManager::SetSort(int n) {
    if (orders_.empty() || !View) return false;
    if (n < 1 || n > SortOrders()) n = SortOrders();
    if (n == current_) return false;
    current_ = n;
    // The fields a read fills depend on the order key: the view is set up
    // again for the new order on its next read.
    View->close();
    View->setOrder(orders_[static_cast<std::size_t>(n - 1)].index);
    return true;
}

void ViewManager::SetFilter(std::string expression) {
    if (!View) return;
    View->close();  // the filter is resolved when the view opens
    View->setFilter(std::move(expression));
}

void ViewManager::AddRange(rt::FieldRef field, rt::Compare op, rt::ValueSource value) {
    if (!View) return;
    View->close();
    View->addRange(field, op, std::move(value));
}

void ViewManager::ClearRanges() {
    if (!View) return;
    View->close();
    View->clearRanges();
}

int ViewManager::Open() {
    if (!View) return rt::FileErr::FileSystemError;
    if (View->isOpen()) return 0;
    // A file that counts as open may not be open in the database yet (lazy
    // open, joined files): its access object opens it, with its messages.
    for (int i = 0; rt::FileStructure* f = View->file(i); ++i) {
        if (f->isOpen()) continue;
        if (FileManager* fm = FileManager::ForFile(*f)) fm->UseFile(UseType::Uses);
    }
    const int rc = View->open();
    status_ = View->status();
    return rc;
}

void ViewManager::Close() {
    if (View) View->close();
}

int ViewManager::ensureOpen() {
    if (!View) return rt::FileErr::FileSystemError;
    return View->isOpen() ? 0 : Open();
}

int ViewManager::SetFromStart() {
    if (int rc = ensureOpen()) return rc;
    return View->set(rt::SetFrom::Start);
}

int ViewManager::SetFromEnd() {
    if (int rc = ensureOpen()) return rc;
    return View->set(rt::SetFrom::End);
}

int ViewManager::SetFromRecord(const void* image) {
    if (int rc = ensureOpen()) return rc;
    // Straight from the image: the buffer (a member's is 20 KB) stays as it is.
    return View->setFromRecord(image);
}

int ViewManager::SetAt(const rt::Position& position) {
    if (int rc = ensureOpen()) return rc;
    ++statements_;
    return View->setAt(position);
}

int ViewManager::SetBeside(const void* image) {
    if (int rc = ensureOpen()) return rc;
    return View->setBeside(image);
}

int ViewManager::ReadPage(int rows, bool forward, const std::function<void()>& onRow, int& read) {
    read = 0;
    if (int rc = ensureOpen()) return rc;
    ++statements_;
    return View->page(rows, forward, onRow, &read);
}

int ViewManager::Reget(const rt::Position& position) {
    if (int rc = ensureOpen()) return rc;
    ++statements_;
    return View->reget(position);
}

rt::Position ViewManager::Position() const {
    return View ? View->position() : rt::Position{};
}

void ViewManager::PositionInto(rt::Position& out) const {
    if (View)
        View->position(out);
    else
        out.clear();
}

int ViewManager::Extreme(int field, bool max, rt::Value& value) {
    if (int rc = ensureOpen()) return rc;
    ++statements_;
    return max ? View->max(field, value) : View->min(field, value);
}

const rt::FileStatus& ViewManager::Status() const {
    return View ? View->status() : status_;
}
