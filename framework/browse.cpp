#include "framework/browse.h"

#include <algorithm>
#include <climits>
#include <set>

#include "framework/file_manager.h"
#include "framework/globals.h"
#include "framework/relation_manager.h"
#include "runtime/picture.h"
#include "runtime/text.h"

namespace {

const rt::FieldDef& defOf(rt::FieldRef f) {
    return f.file->def().fields[static_cast<std::size_t>(f.index)];
}

char* addressOf(rt::FieldRef f) {
    return static_cast<char*>(f.file->record()) + defOf(f).offset;
}

// A field's "empty" value: codes and dates 0, texts blank, amounts 0.
void clearField(const rt::FieldDef& d, char* p) {
    switch (d.type) {
        case rt::FieldType::String:
            std::memset(p, ' ', d.size);
            break;
        case rt::FieldType::Decimal: {
            const rt::Money zero{};
            std::memcpy(p, &zero, sizeof zero);
            break;
        }
        default:
            std::memset(p, 0, rt::memorySize(d));
            break;
    }
}

std::int64_t integerAt(const rt::FieldDef& d, const char* p) {
    if (d.type == rt::FieldType::Byte) return static_cast<unsigned char>(*p);
    if (d.type == rt::FieldType::Decimal) {
        rt::Money m;
        std::memcpy(&m, p, sizeof m);
        return m.cents;
    }
    std::int32_t v = 0;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

// ---------------------------------------------------------------------------
// BrowseQueue

std::string_view BrowseQueue::Bytes(int n, int field) const {
    const auto f = static_cast<std::size_t>(field - 1);
    const std::size_t from = offsets_.at(f);
    return std::string_view(Get(n).Fields).substr(from, offsets_.at(f + 1) - from);
}

std::int64_t BrowseQueue::Integer(int n, int field) const {
    const rt::FieldDef& d = FieldDef(field);
    const std::string_view b = Bytes(n, field);
    if (d.type == rt::FieldType::String) return 0;
    return integerAt(d, b.data());
}

std::string BrowseQueue::Text(int n, int field) const {
    const rt::FieldDef& d = FieldDef(field);
    const std::string_view b = Bytes(n, field);
    if (d.type == rt::FieldType::String) return std::string(rt::trimRight(b));
    return std::to_string(integerAt(d, b.data()));
}

rt::Money BrowseQueue::Amount(int n, int field) const {
    const rt::FieldDef& d = FieldDef(field);
    if (d.type != rt::FieldType::Decimal) return rt::Money{Integer(n, field) * 100};
    rt::Money m;
    std::memcpy(&m, Bytes(n, field).data(), sizeof m);
    return m;
}

std::string BrowseQueue::Formatted(int n, int field, const std::string& picture) const {
    if (field < 1 || field > Fields()) return {};
    return Formatted(n, field, ColumnPicture(field, picture));
}

const std::optional<rt::Picture>& BrowseQueue::ColumnPicture(int field,
                                                             const std::string& picture) const {
    return rt::Picture::cached(picture.empty() ? std::string_view(FieldDef(field).picture)
                                               : std::string_view(picture));
}

std::string BrowseQueue::Formatted(int n, int field, const std::optional<rt::Picture>& pic) const {
    if (n < 1 || n > Records() || field < 1 || field > Fields()) return {};
    return format(FieldDef(field), Bytes(n, field), pic);
}

std::string BrowseQueue::format(const rt::FieldDef& d, std::string_view b,
                                const std::optional<rt::Picture>& pic) {
    if (d.type == rt::FieldType::String) return std::string(shownText(b, pic));
    if (!pic) return std::to_string(integerAt(d, b.data()));
    if (d.type == rt::FieldType::Decimal) {
        rt::Money m;
        std::memcpy(&m, b.data(), sizeof m);
        return rt::formatMoney(*pic, m);
    }
    const std::int64_t v = integerAt(d, b.data());
    if (pic->kind == rt::Picture::Kind::Date)
        return rt::formatDate(*pic, static_cast<rt::DayNumber>(v));
    return rt::formatInteger(*pic, v);
}

std::string_view BrowseQueue::shownText(std::string_view b, const std::optional<rt::Picture>& pic) {
    return pic ? rt::textShown(*pic, b) : rt::trimRight(b);
}

// ---------------------------------------------------------------------------
// Set-up

BrowseClass::~BrowseClass() = default;

void BrowseClass::Init(int listControl, rt::Position& position, rt::View& view, BrowseQueue& queue,
                       RelationManager& relationManager, WindowManager& windowManager) {
    ViewManager::Init(view, relationManager);
    ListControl = listControl;
    position_ = &position;
    Q = &queue;
    Window = &windowManager;
    sorts_.clear();
    fields_.clear();
    copies_.clear();
    Q->defs_.clear();
    Q->offsets_.assign(1, 0);
    Q->entries_.clear();
    ++page_;
    loaded_ = attached_ = killed_ = firstKnown_ = false;
    current_ = 0;
    windowManager.AddItem(*this);
    Selecting = windowManager.Request == Request::Select;
    rt::FileStructure& p = view.primary();
    startImage_.assign(static_cast<const char*>(p.record()),
                       static_cast<const char*>(p.record()) + p.def().recordSize);
    if (Selecting && relationManager.Me) saveId_ = relationManager.Me->SaveBuffer();
}

void BrowseClass::Kill() {
    if (killed_) return;
    killed_ = true;
    if (Selecting && Primary && Primary->Me && saveId_) {
        // The choice travels back in the buffers; anything else puts the
        // caller's buffer back exactly as it was.
        if (Window && Window->Response == Response::Completed && Q && Q->Records() > 0) {
            UpdateBuffer();
            Primary->Me->RestoreBuffer(saveId_, false);
        } else {
            Primary->Me->RestoreBuffer(saveId_, true);
        }
    }
    if (attached_ && Window && Window->Win) {
        rt::Control& c = Window->Win->control(ListControl);
        c.rowCount = nullptr;
        c.row = nullptr;
        c.rowsVersion = nullptr;
    }
    attached_ = false;
    ViewManager::Kill();
}

int BrowseClass::AddSortOrder(StepClass* step, rt::KeyRef key) {
    ViewManager::AddSortOrder(key);
    sorts_.push_back(Sort{key, step, nullptr});
    imageRuns_.clear();
    return static_cast<int>(sorts_.size());
}

void BrowseClass::keepImage(BrowseQueue::Entry& e, const rt::FileStructure& p) {
    const rt::FileDef& d = p.def();
    const char* from = static_cast<const char*>(p.record());
    if (e.Image.size() != d.recordSize) {
        e.Image.assign(from, from + d.recordSize);
        return;
    }
    if (imageRuns_.empty()) {
        // The fields of every order's key and of the primary key, as runs of
        // bytes: a member's row is 20 KB, its keys a few dozen bytes.
        std::set<int> fields;
        for (const Sort& s : sorts_)
            if (s.key.file == &p)
                for (int f : d.keys[static_cast<std::size_t>(s.key.index)].fields) fields.insert(f);
        if (const int pk = d.primaryKey(); pk >= 0)
            for (int f : d.keys[static_cast<std::size_t>(pk)].fields) fields.insert(f);
        std::vector<std::pair<std::size_t, std::size_t>> spans;
        for (int f : fields) {
            const rt::FieldDef& fd = d.fields[static_cast<std::size_t>(f)];
            spans.emplace_back(fd.offset, fd.offset + rt::memorySize(fd));
        }
        std::sort(spans.begin(), spans.end());
        for (const auto& [a, b] : spans) {
            if (!imageRuns_.empty() && imageRuns_.back().from + imageRuns_.back().size >= a)
                imageRuns_.back().size =
                    std::max(imageRuns_.back().size, b - imageRuns_.back().from);
            else
                imageRuns_.push_back({a, b - a});
        }
        if (imageRuns_.empty()) imageRuns_.push_back({0, d.recordSize});
    }
    for (const ImageRun& r : imageRuns_)
        std::memcpy(e.Image.data() + r.from, from + r.from, r.size);
}

void BrowseClass::AddLocator(LocatorClass& locator) {
    if (!sorts_.empty()) sorts_.back().locator = &locator;
}

int BrowseClass::AddField(rt::FieldRef viewField) {
    const char* at = addressOf(viewField);
    const std::size_t size = rt::memorySize(defOf(viewField));
    fields_.push_back(QueueField{viewField});
    // Fields that lie one after another in a record are copied in one go.
    if (!copies_.empty() && copies_.back().from + copies_.back().size == at)
        copies_.back().size += size;
    else
        copies_.push_back(Copy{at, size});
    Q->defs_.push_back(&defOf(viewField));
    Q->offsets_.push_back(Q->offsets_.back() + size);
    return static_cast<int>(fields_.size());
}

void BrowseClass::AddResetField(rt::FieldRef field) {
    addResetMemory(addressOf(field), rt::memorySize(defOf(field)));
}

void BrowseClass::addResetMemory(const void* p, std::size_t n) {
    ResetField r;
    r.read = [p, n] { return std::string(static_cast<const char*>(p), n); };
    r.last = r.read();
    resetFields_.push_back(std::move(r));
}

bool BrowseClass::resetFieldsChanged() {
    for (auto& r : resetFields_)
        if (r.read() != r.last) return true;
    return false;
}

void BrowseClass::noteResetFields() {
    for (auto& r : resetFields_) r.last = r.read();
}

bool BrowseClass::attach() {
    if (attached_) return true;
    if (killed_ || !Window || !Window->Win || !ListControl) return false;
    rt::Window* w = Window->Win;
    if (ListControl > w->controlCount()) return false;
    rt::Control& c = w->control(ListControl);
    // A redraw asks for the count first, then for every row: the columns'
    // pictures are checked once per redraw, with the count.
    c.rowCount = [this] {
        checkColumnPictures();
        return Q ? Q->Records() : 0;
    };
    c.row = [this](int row) { return shownRow(row); };
    // The rows shown change with the page and with the columns' pictures.
    c.rowsVersion = [this] {
        checkColumnPictures();
        return (static_cast<std::uint64_t>(page_) << 32) | format_;
    };
    c.lineHeight = LineHeight;  // the display draws the page's rows at the height it counts
    attached_ = true;
    return true;
}

void BrowseClass::checkColumnPictures() {
    if (!Q) return;
    const rt::Control& k = Window->Win->control(ListControl);
    // Column n shows queue field n; columns beyond the fields stay empty.
    const std::size_t columns = k.columns.size();
    const std::size_t shown = std::min(columns, static_cast<std::size_t>(Q->Fields()));
    // The pictures are looked up once, and again (with every row formatted
    // anew) only when one changes.
    if (columnPictures_.size() != columns) {
        columnPictures_.assign(columns, ColumnFormat{});
        ++format_;
    }
    bool changed = plannedFields_ != Q->Fields();
    for (std::size_t i = 0; i < shown; ++i) {
        const std::string& picture = k.columns[i].picture;
        ColumnFormat& cp = columnPictures_[i];
        if (!cp.parsed || cp.source != picture) {
            cp.source = picture;
            cp.parsed = &Q->ColumnPicture(static_cast<int>(i + 1), picture);
            changed = true;
        }
    }
    if (!changed) return;
    ++format_;
    plannedFields_ = Q->Fields();
    using Way = ColumnFormat::Way;
    for (std::size_t i = 0; i < columns; ++i) {
        ColumnFormat& cp = columnPictures_[i];
        if (i >= shown || !cp.parsed) {
            cp.way = Way::None;
            continue;
        }
        const rt::FieldDef& d = *Q->defs_[i];
        const std::optional<rt::Picture>& pic = *cp.parsed;
        cp.from = Q->offsets_[i];
        cp.size = Q->offsets_[i + 1] - cp.from;
        if (d.type == rt::FieldType::String) {
            cp.way = Way::Text;
        } else if (pic && d.type != rt::FieldType::Decimal &&
                   (pic->kind == rt::Picture::Kind::Number ||
                    pic->kind == rt::Picture::Kind::Date)) {
            cp.way = Way::Number;
        } else {
            cp.way = Way::Other;
        }
    }
}

rt::ListRow BrowseClass::shownRow(int n) {
    const BrowseQueue::Entry& e = Q->Get(n);
    if (e.ShownFormat != format_) formatRows();
    return e.Shown;
}

void BrowseClass::formatRows() {
    // Every row not yet formatted (a page just read, most often) at once,
    // into one block: each cell written straight into its row; only the rare
    // pictures (amounts, numbers shown as text) take a string of their own.
    using Way = ColumnFormat::Way;
    rt::ListRow::Builder& b = rowBuilder_;
    b.clear();
    std::vector<const BrowseQueue::Entry*> rows;
    for (const BrowseQueue::Entry& e : Q->entries_) {
        if (e.ShownFormat == format_) continue;
        rows.push_back(&e);
        for (std::size_t i = 0; i < columnPictures_.size(); ++i) {
            const ColumnFormat& cp = columnPictures_[i];
            const char* bytes = e.Fields.data() + cp.from;
            switch (cp.way) {
                case Way::None:
                    b.endCell(b.room(0));
                    break;
                case Way::Text: {
                    const std::string_view v =
                        BrowseQueue::shownText(std::string_view(bytes, cp.size), *cp.parsed);
                    char* at = b.room(rt::writeRoom(v.size()));
                    b.endCell(rt::writeUtf8(at, v));
                    break;
                }
                case Way::Number: {
                    char* at = b.room(rt::NumberRoom);
                    b.endCell(rt::writeNumber(at, **cp.parsed, integerAt(*Q->defs_[i], bytes)));
                    break;
                }
                case Way::Other:
                    b.add(rt::toUtf8(BrowseQueue::format(
                        *Q->defs_[i], std::string_view(bytes, cp.size), *cp.parsed)));
                    break;
            }
        }
        b.endRow();
    }
    std::vector<rt::ListRow> shown = b.buildRows();
    for (std::size_t r = 0; r < rows.size(); ++r) {
        rows[r]->Shown = std::move(shown[r]);
        rows[r]->ShownFormat = format_;
    }
}

// ---------------------------------------------------------------------------
// Sort orders and resets

LocatorClass* BrowseClass::CurrentLocator() const {
    if (current_ < 1 || current_ > static_cast<int>(sorts_.size())) return nullptr;
    return sorts_[static_cast<std::size_t>(current_ - 1)].locator;
}

StepClass* BrowseClass::CurrentStep() const {
    if (current_ < 1 || current_ > static_cast<int>(sorts_.size())) return nullptr;
    return sorts_[static_cast<std::size_t>(current_ - 1)].step;
}

bool BrowseClass::SetSort(int n, bool force) {
    if (sorts_.empty()) return false;
    if (n < 1 || n > static_cast<int>(sorts_.size())) n = static_cast<int>(sorts_.size());
    const bool changed = n != current_;
    current_ = n;
    ViewManager::SetSort(n);
    if (changed || force) firstKnown_ = false;  // another order, or rows read anew
    if (!attach()) return changed;
    if (!loaded_) {
        firstFill();
        computeLimits();
    } else if (changed || force) {
        const int line = RetainRow ? std::max(1, Highlight()) : 1;
        if (Q->Records() > 0) {
            const BrowseQueue::Entry e = Q->Get(std::max(1, Highlight()));
            fillAround(e.ViewPosition, e.Image, line);
        } else {
            firstFill(false);
        }
        computeLimits();
    }
    return changed;
}

bool BrowseClass::ResetSort(bool force) {
    return SetSort(static_cast<int>(sorts_.size()), force);
}

void BrowseClass::Reset(bool force) {
    if (!attach()) return;
    if (resetFieldsChanged()) force = true;
    if (resized_) {
        resized_ = false;
        // More rows fit (or fewer): the page is read again around the row,
        // unless the whole table is already on it.
        if (loaded_ && Q->Records() > 0 && Q->Records() != ItemsToFill() &&
            !(atStart_ && atEnd_ && Q->Records() < ItemsToFill()))
            force = true;
    }
    ResetSort(force || !loaded_);
    // The window redraws right after this; a re-read done here must not ask
    // for one more reset, which would redraw over what the user types next.
    resetRequired_ = false;
}

bool BrowseClass::ResetRequired() {
    const bool r = resetRequired_;
    resetRequired_ = false;
    return r;
}

// ---------------------------------------------------------------------------
// Reading

int BrowseClass::ItemsToFill() const {
    if (!Window || !Window->Win || !ListControl || ListControl > Window->Win->controlCount())
        return 10;
    const rt::Control& c = Window->Win->control(ListControl);
    // The header takes a line, two under a group's heading.
    const int h = c.at.h - rt::headerLines(c.columns) * LineHeight;
    return std::max(1, h / std::max(1, LineHeight));
}

int BrowseClass::Highlight() const {
    if (!Q || Q->Records() == 0) return 0;
    int h = 1;
    if (Window && Window->Win && attached_) h = Window->Win->control(ListControl).highlight;
    return std::clamp(h, 1, Q->Records());
}

const void* BrowseClass::HighlightedImage() const {
    const int h = Highlight();
    return h ? Q->Get(h).Image.data() : nullptr;
}

void BrowseClass::SetQueueRecord() {
    if (!Loading) return;
    // Every row of every page comes here: one block, filled run by run.
    Loading->Fields.resize(Q->offsets_.back());
    char* to = Loading->Fields.data();
    for (const Copy& c : copies_) {
        std::memcpy(to, c.from, c.size);
        to += c.size;
    }
}

int BrowseClass::read(int rows, bool forward, Rows& out) {
    rt::FileStructure& p = View->primary();
    out.reserve(out.size() + static_cast<std::size_t>(std::max(rows, 0)));
    int n = 0;
    const int rc = ReadPage(
        rows, forward,
        [&] {
            // Filled where it stands, in an entry a page let go when there is one.
            if (spare_.empty()) {
                out.emplace_back();
            } else {
                out.push_back(std::move(spare_.back()));
                spare_.pop_back();
            }
            BrowseQueue::Entry& e = out.back();
            e.Mark = 0;
            PositionInto(e.ViewPosition);
            keepImage(e, p);
            Loading = &e;
            SetQueueRecord();
            Loading = nullptr;
        },
        n);
    if (rc != 0 && rc != rt::FileErr::RecordNotAvailable) {
        // A read that failed is said so: an empty or short page would pass for
        // the table's contents.
        ErrorClass& errors = Window && Window->Errors ? *Window->Errors : GlobalErrors();
        errors.SetErrors(rc, Status().fileErrorCode, Status().fileError);
        errors.ThrowFile(Msg::ViewOpenFailed,
                         Primary && Primary->Me ? Primary->Me->FileNameValue : p.def().label);
    }
    return rc;
}

void BrowseClass::firstFill(bool fromBuffer) {
    loaded_ = true;
    if (fromBuffer && Selecting && !startImage_.empty()) {
        // The caller put its code into the buffer: the list opens there.
        fillAround({}, startImage_, 1);
        return;
    }
    Rows rows;
    if (SetFromStart() == 0) read(ItemsToFill(), true, rows);
    atStart_ = true;
    firstKnown_ = !rows.empty();
    if (firstKnown_) firstOfOrder_ = rows.front().ViewPosition;
    atEnd_ = static_cast<int>(rows.size()) < ItemsToFill();
    setPage(std::move(rows), 1);
}

void BrowseClass::fillAround(const rt::Position& position, std::span<const char> image, int line) {
    loaded_ = true;
    const int n = ItemsToFill();
    line = std::clamp(line, 1, n);
    // By position when the row is still there; by its key values otherwise
    // (then rows of equal key may come twice: they are dropped below).
    bool exact = false;
    if (!position.empty() && SetAt(position) == 0) {
        exact = true;
    } else if (image.empty() || SetFromRecord(image.data()) != 0) {
        Rows none;
        setPage(std::move(none), 0);
        return;
    }
    Rows after;
    const int rc = read(n - (line - 1), true, after);
    if (rc != 0 && rc != rt::FileErr::RecordNotAvailable) return;  // reported; the page stays
    Rows before;
    const int wanted = n - static_cast<int>(after.size());
    if (wanted > 0) {
        // Above the first row read: right before it. Only when nothing lies at
        // or after the key values does the backward read start from them, and
        // then it starts with rows of that value: one more.
        const std::size_t size = View->primary().def().recordSize;
        const bool beside = !exact && !after.empty() && after.front().Image.size() == size;
        const int rc2 = exact    ? SetAt(position)
                        : beside ? SetBeside(after.front().Image.data())
                                 : SetFromRecord(image.data());
        if (rc2 == 0) read(wanted + (exact || beside ? 0 : 1), false, before);
    }
    std::set<rt::Position> seen;
    if (!before.empty())
        for (const auto& e : after) seen.insert(e.ViewPosition);
    Rows rows;
    rows.reserve(before.size() + after.size());
    int readBefore = 0;
    for (auto it = before.rbegin(); it != before.rend(); ++it) {
        if (seen.count(it->ViewPosition)) continue;
        ++readBefore;
        rows.push_back(std::move(*it));
    }
    if (static_cast<int>(rows.size()) > wanted)
        rows.erase(rows.begin(), rows.begin() + (static_cast<int>(rows.size()) - wanted));
    const int above = static_cast<int>(rows.size());
    atStart_ = wanted > 0 && readBefore < wanted;
    if (wanted <= 0 && line == 1 && !CurrentStep() && !after.empty()) {
        // The fixed thumb stands at the top on the order's first row. It is
        // read once (one row from the start) and kept until the order or the
        // rows change, so a locate stays one statement.
        if (!firstKnown_) {
            Rows one;
            if (SetFromStart() == 0 && read(1, true, one) == 0 && !one.empty()) {
                firstOfOrder_ = one.front().ViewPosition;
                firstKnown_ = true;
            }
            for (auto& e : one) spare_.push_back(std::move(e));
        }
        atStart_ = !firstKnown_ || after.front().ViewPosition == firstOfOrder_;
    }
    atEnd_ = static_cast<int>(after.size()) < n - (line - 1);
    for (auto& e : after) rows.push_back(std::move(e));
    const int highlight = after.empty() ? static_cast<int>(rows.size()) : above + 1;
    setPage(std::move(rows), highlight);
}

BrowseClass::Rows BrowseClass::readBeside(const BrowseQueue::Entry& e, int count, bool forward) {
    Rows got;
    if (count <= 0) return got;
    // From the edge row's key values as the queue holds them: one statement,
    // and a continuation even when that row was changed or deleted meanwhile.
    if (e.Image.size() == View->primary().def().recordSize) {
        if (SetBeside(e.Image.data()) != 0) return got;
        read(count, forward, got);
    } else {
        if (SetAt(e.ViewPosition) != 0 && SetFromRecord(e.Image.data()) != 0) return got;
        read(count + 1, forward, got);
    }
    // A row already on the page (its key changed meanwhile) is not shown twice.
    // The page holds a screenful: a linear look over the positions' hashes,
    // the texts compared only when two hashes meet.
    const std::hash<std::string_view> hash;
    std::vector<std::size_t>& hashes = pageHashes_;
    hashes.clear();
    for (const BrowseQueue::Entry& q : Q->entries_) hashes.push_back(hash(q.ViewPosition));
    auto onPage = [&](const rt::Position& p) {
        const std::size_t h = hash(p);
        for (std::size_t i = 0; i < hashes.size(); ++i)
            if (hashes[i] == h && Q->entries_[i].ViewPosition == p) return true;
        return false;
    };
    Rows out;
    out.reserve(got.size());
    for (auto& r : got)
        if (static_cast<int>(out.size()) < count && !onPage(r.ViewPosition))
            out.push_back(std::move(r));
    return out;
}

void BrowseClass::setPage(Rows rows, int highlight) {
    // The rows leaving the page lend their buffers to the rows read next.
    const std::size_t keep = 2 * static_cast<std::size_t>(ItemsToFill());
    for (auto& e : Q->entries_) {
        if (spare_.size() >= keep) break;
        e.Shown = {};
        e.ShownFormat = 0;
        spare_.push_back(std::move(e));
    }
    Q->entries_.assign(std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    ++page_;
    if (Window && Window->Win && attached_)
        Window->Win->setHighlight(ListControl,
                                  Q->Records() ? std::clamp(highlight, 1, Q->Records()) : 0);
    noteResetFields();
    afterMove();
    setButtons();
}

void BrowseClass::scroll(rt::Event ev) {
    const int n = ItemsToFill();
    const int rows = Q->Records();
    if (rows == 0) {
        if (ev == rt::Event::ScrollTop || ev == rt::Event::ScrollBottom) firstFill(false);
        return;
    }
    const int h = Highlight();
    switch (ev) {
        case rt::Event::ScrollDown:
            MoveHighlight(true);
            return;
        case rt::Event::ScrollUp:
            MoveHighlight(false);
            return;
        case rt::Event::ScrollTop:
            ScrollTop();
            return;
        case rt::Event::ScrollBottom:
            ScrollEnd();
            return;
        case rt::Event::PageDown: {
            Rows more = readBeside(Q->Get(rows), n, true);
            if (more.empty()) {
                atEnd_ = true;
                Window->Win->setHighlight(ListControl, rows);
                afterMove();
                return;
            }
            atStart_ = false;
            atEnd_ = static_cast<int>(more.size()) < n;
            // The last rows of the page stay above the new ones when fewer
            // than a page came; only those are kept.
            const int keep = std::clamp(n - static_cast<int>(more.size()), 0, rows);
            Rows page;
            page.reserve(static_cast<std::size_t>(keep) + more.size());
            page.insert(page.end(), std::make_move_iterator(Q->entries_.end() - keep),
                        std::make_move_iterator(Q->entries_.end()));
            for (auto& e : more) page.push_back(std::move(e));
            setPage(std::move(page), h);
            return;
        }
        case rt::Event::PageUp: {
            Rows more = readBeside(Q->Get(1), n, false);
            if (more.empty()) {
                atStart_ = true;
                Window->Win->setHighlight(ListControl, 1);
                afterMove();
                return;
            }
            atEnd_ = false;
            atStart_ = static_cast<int>(more.size()) < n;
            const int keep = std::clamp(n - static_cast<int>(more.size()), 0, rows);
            Rows page;
            page.reserve(more.size() + static_cast<std::size_t>(keep));
            for (auto it = more.rbegin(); it != more.rend(); ++it) page.push_back(std::move(*it));
            page.insert(page.end(), std::make_move_iterator(Q->entries_.begin()),
                        std::make_move_iterator(Q->entries_.begin() + keep));
            if (static_cast<int>(page.size()) > n) page.resize(static_cast<std::size_t>(n));
            setPage(std::move(page), h);
            return;
        }
        default:
            return;
    }
}

void BrowseClass::scrollLines(int n) {
    const int rows = Q->Records();
    if (rows == 0 || n == 0) return;
    const bool down = n > 0;
    const int want = std::abs(n);
    Rows more = readBeside(Q->Get(down ? rows : 1), want, down);
    if (more.empty()) {
        (down ? atEnd_ : atStart_) = true;
        return;
    }
    (down ? atStart_ : atEnd_) = false;
    if (static_cast<int>(more.size()) < want) (down ? atEnd_ : atStart_) = true;
    // The page moves under the highlight, which keeps its line.
    const int page = ItemsToFill();
    Rows next;
    next.reserve(static_cast<std::size_t>(rows) + more.size());
    if (down) {
        next.insert(next.end(), std::make_move_iterator(Q->entries_.begin()),
                    std::make_move_iterator(Q->entries_.end()));
        for (auto& e : more) next.push_back(std::move(e));
        if (static_cast<int>(next.size()) > page) next.erase(next.begin(), next.end() - page);
    } else {
        for (auto it = more.rbegin(); it != more.rend(); ++it) next.push_back(std::move(*it));
        next.insert(next.end(), std::make_move_iterator(Q->entries_.begin()),
                    std::make_move_iterator(Q->entries_.end()));
        if (static_cast<int>(next.size()) > page) next.resize(static_cast<std::size_t>(page));
    }
    setPage(std::move(next), Highlight());
}

void BrowseClass::thumbTo(int percent) {
    if (percent <= 0) {
        ScrollTop();
        return;
    }
    if (percent >= 100) {
        ScrollEnd();
        return;
    }
    StepClass* step = CurrentStep();
    if (!step || current_ < 1 || Q->Records() == 0) {
        // The fixed thumb knows no value: a page towards where it went.
        if (percent != thumb_) scroll(percent < thumb_ ? rt::Event::PageUp : rt::Event::PageDown);
        return;
    }
    // The first row at or after the step's value for that place: the key's
    // first field takes the value, the fields after it their lowest values.
    const rt::KeyRef key = sorts_[static_cast<std::size_t>(current_ - 1)].key;
    const rt::FileDef& fd = key.file->def();
    const auto& fields = fd.keys[static_cast<std::size_t>(key.index)].fields;
    if (fields.empty() || key.file != &View->primary()) return;
    const char* base = static_cast<const char*>(HighlightedImage());
    std::vector<char> image(base, base + fd.recordSize);
    const rt::Value v = step->GetValue(percent);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const rt::FieldDef& d = fd.fields[static_cast<std::size_t>(fields[i])];
        char* p = image.data() + d.offset;
        switch (d.type) {
            case rt::FieldType::Long: {
                std::int32_t x = INT32_MIN;
                if (i == 0) {
                    const auto* n = std::get_if<std::int64_t>(&v);
                    x = static_cast<std::int32_t>(
                        std::clamp<std::int64_t>(n ? *n : 0, INT32_MIN, INT32_MAX));
                }
                std::memcpy(p, &x, sizeof x);
                break;
            }
            case rt::FieldType::String: {
                const auto* t = std::get_if<std::string>(&v);
                rt::assignFixed(p, d.size, i == 0 && t ? *t : std::string());
                break;
            }
            case rt::FieldType::Byte: {
                const auto* n = std::get_if<std::int64_t>(&v);
                *p = static_cast<char>(i == 0 && n ? std::clamp<std::int64_t>(*n, 0, 255) : 0);
                break;
            }
            case rt::FieldType::Decimal: {
                const auto* n = std::get_if<std::int64_t>(&v);
                const rt::Money m{i == 0 && n ? *n * 100 : -rt::MaxDecimal11_2Cents};
                std::memcpy(p, &m, sizeof m);
                break;
            }
        }
    }
    LocateRecord(image.data());
}

void BrowseClass::MoveHighlight(bool down) {
    if (!attach() || !Q || Q->Records() == 0) return;
    const int rows = Q->Records();
    const int h = Highlight();
    if (down && h < rows) {
        Window->Win->setHighlight(ListControl, h + 1);
        afterMove();
        return;
    }
    if (!down && h > 1) {
        Window->Win->setHighlight(ListControl, h - 1);
        afterMove();
        return;
    }
    Rows more = readBeside(Q->Get(down ? rows : 1), 1, down);
    if (more.empty()) {
        (down ? atEnd_ : atStart_) = true;
        return;
    }
    Rows page(std::make_move_iterator(Q->entries_.begin()),
              std::make_move_iterator(Q->entries_.end()));
    if (down) {
        page.push_back(std::move(more.front()));
        if (static_cast<int>(page.size()) > ItemsToFill()) page.erase(page.begin());
        atStart_ = false;
        const int last = static_cast<int>(page.size());
        setPage(std::move(page), last);
    } else {
        page.insert(page.begin(), std::move(more.front()));
        if (static_cast<int>(page.size()) > ItemsToFill()) page.pop_back();
        atEnd_ = false;
        setPage(std::move(page), 1);
    }
}

void BrowseClass::ScrollEnd() {
    if (!attach()) return;
    loaded_ = true;
    Rows rows;
    if (SetFromEnd() == 0) read(ItemsToFill(), false, rows);
    std::reverse(rows.begin(), rows.end());
    atEnd_ = true;
    atStart_ = static_cast<int>(rows.size()) < ItemsToFill();
    const int last = static_cast<int>(rows.size());
    setPage(std::move(rows), last);
    resetRequired_ = true;
}

void BrowseClass::ScrollTop() {
    if (!attach()) return;
    firstFill(false);
    resetRequired_ = true;
}

void BrowseClass::LocateRecord(const void* image) {
    if (!attach() || !image) return;
    const std::size_t size = View->primary().def().recordSize;
    fillAround({}, std::span(static_cast<const char*>(image), size), 1);
    resetRequired_ = true;
}

void BrowseClass::computeLimits() {
    StepClass* step = CurrentStep();
    if (!step || current_ < 1) {
        setThumb();
        return;
    }
    const rt::KeyRef key = sorts_[static_cast<std::size_t>(current_ - 1)].key;
    const rt::KeyDef& kd = key.file->def().keys[static_cast<std::size_t>(key.index)];
    if (kd.fields.empty()) return;
    rt::Value low, high;
    if (Extreme(kd.fields[0], false, low) == 0 && Extreme(kd.fields[0], true, high) == 0)
        step->SetLimit(low, high);
    else
        step->SetLimit(rt::Value{std::int64_t{0}}, rt::Value{std::int64_t{0}});
    setThumb();
}

void BrowseClass::setThumb() {
    computeThumb();
    if (attached_ && Window && Window->Win) {
        rt::Control& c = Window->Win->control(ListControl);
        if (c.thumb != thumb_) {
            c.thumb = thumb_;
            Window->Win->changed();
        }
    }
}

void BrowseClass::computeThumb() {
    const int h = Highlight();
    if (h == 0) {
        thumb_ = 0;
        return;
    }
    StepClass* step = CurrentStep();
    if (!step) {
        // The fixed thumb: top on the first page, bottom on the last.
        if (atStart_ && h == 1)
            thumb_ = 0;
        else if (atEnd_ && h == Q->Records())
            thumb_ = 100;
        else
            thumb_ = 50;
        return;
    }
    const rt::KeyRef key = sorts_[static_cast<std::size_t>(current_ - 1)].key;
    const rt::FileDef& fd = key.file->def();
    const int fi = fd.keys[static_cast<std::size_t>(key.index)].fields.at(0);
    const rt::FieldDef& d = fd.fields[static_cast<std::size_t>(fi)];
    const char* p = Q->Get(h).Image.data() + d.offset;
    rt::Value v;
    if (d.type == rt::FieldType::String)
        v = std::string(rt::trimRight(std::string_view(p, d.size)));
    else
        v = integerAt(d, p);
    thumb_ = step->GetPercentile(v);
}

void BrowseClass::afterMove() {
    const int h = Highlight();
    if (h) {
        Q->ViewPosition = Q->Get(h).ViewPosition;
        Q->Mark = Q->Get(h).Mark;
    } else {
        Q->ViewPosition.clear();
        Q->Mark = 0;
    }
    if (position_) *position_ = Q->ViewPosition;
    UpdateBuffer();
    setThumb();
    if (Window && Window->Win) Window->Win->changed();
    resetRequired_ = true;
}

void BrowseClass::UpdateBuffer() {
    if (!Q) return;
    const int h = Highlight();
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const rt::FieldRef f = fields_[i].field;
        const rt::FieldDef& d = defOf(f);
        char* p = addressOf(f);
        if (h)
            std::memcpy(p, Q->Bytes(h, static_cast<int>(i + 1)).data(), rt::memorySize(d));
        else
            clearField(d, p);
    }
}

// ---------------------------------------------------------------------------
// Buttons

bool BrowseClass::enabled(int control) const {
    if (!control || !Window || !Window->Win || control > Window->Win->controlCount()) return false;
    return !Window->Win->control(control).disabled;
}

void BrowseClass::setButtons() {
    if (!Window || !Window->Win) return;
    rt::Window& w = *Window->Win;
    const bool rows = Q && Q->Records() > 0;
    auto set = [&](int c, bool on) {
        if (c && c <= w.controlCount()) w.enable(c, on);
    };
    set(InsertControl, true);
    set(ChangeControl, rows);
    set(DeleteControl, rows);
    set(ViewControl, rows);
    if (SelectControl && SelectControl <= w.controlCount()) {
        if (Selecting) {
            w.hide(SelectControl, false);
            w.enable(SelectControl, rows);
            if (rows) w.setDefault(SelectControl);
        } else {
            w.enable(SelectControl, false);
            if (HideSelect) w.hide(SelectControl, true);
        }
    }
}

void BrowseClass::press(int control) {
    if (enabled(control)) Window->Win->post(rt::Event::Accepted, control);
}

void BrowseClass::ask(std::uint8_t request) {
    if (!Window || !Primary) return;
    Window->Update();
    if (request == Request::Insert) {
        if (!Primary->Me || Primary->Me->PrimeRecord() != Level::Benign) return;
    } else if (!UpdateViewRecord()) {
        return;
    }
    const std::uint8_t response = Window->Run(AskProcedure, request);
    ResetFromAsk(request, response);
}

void BrowseClass::choose() {
    if (!Selecting || !Q || Q->Records() == 0 || !Window || !Window->Win) return;
    Window->Response = Response::Completed;
    Window->Win->post(rt::Event::CloseWindow);
}

bool BrowseClass::UpdateViewRecord() {
    const int h = Highlight();
    if (!h) return false;
    const BrowseQueue::Entry e = Q->Get(h);
    int rc = Reget(e.ViewPosition);
    rt::FileStatus st = Status();
    // The whole row into the primary buffer, as read: the form changes or
    // deletes exactly this row.
    if (rc == 0) {
        rc = View->primary().reget(e.ViewPosition);
        st = View->primary().status();
    }
    if (rc == 0) return true;
    ErrorClass& errors = Window && Window->Errors ? *Window->Errors : GlobalErrors();
    errors.SetErrors(rc, st.fileErrorCode, st.fileError);
    errors.ThrowFile(Msg::RecordChanged, Primary && Primary->Me
                                             ? Primary->Me->FileNameValue
                                             : std::string(View->primary().def().label));
    firstKnown_ = false;  // the row changed under the list
    fillAround(e.ViewPosition, e.Image, RetainRow ? h : 1);
    computeLimits();
    if (Window && Window->Win) Window->Win->select(ListControl);
    return false;
}

void BrowseClass::ResetFromAsk(std::uint8_t request, std::uint8_t response) {
    if (!attach()) return;
    firstKnown_ = false;  // the form may have changed the rows
    const int h = Highlight();
    const int line = RetainRow ? std::max(1, h) : 1;
    rt::FileStructure& p = View->primary();
    if (response == Response::Completed &&
        (request == Request::Insert || request == Request::Change)) {
        // The row the form left in the buffer, highlighted.
        std::vector<char> image(static_cast<const char*>(p.record()),
                                static_cast<const char*>(p.record()) + p.def().recordSize);
        fillAround(p.position(), image, line);
    } else if (h) {
        const BrowseQueue::Entry e = Q->Get(h);
        if (response == Response::Completed && request == Request::Delete) {
            Q->entries_.erase(Q->entries_.begin() + (h - 1));
            ++page_;
            // Around the place the row had: the row after it (or before it).
            fillAround({}, e.Image, line);
        } else {
            fillAround(e.ViewPosition, e.Image, line);
        }
    } else {
        firstFill(false);
    }
    computeLimits();
    setButtons();
    if (Window && Window->Win) Window->Win->select(ListControl);
    resetRequired_ = true;
}

// ---------------------------------------------------------------------------
// Events

void BrowseClass::SetAlerts() {
    if (!attach()) return;
    rt::Window& w = *Window->Win;
    // Every printable character of the code page, for the locators.
    static const std::vector<int> characters = [] {
        std::vector<int> cps;
        for (int b = 0x20; b <= 0xff; ++b) {
            const std::string u = rt::toUtf8(std::string(1, static_cast<char>(b)));
            // Decode the one UTF-8 character into its code point.
            const auto* s = reinterpret_cast<const unsigned char*>(u.data());
            int cp = 0;
            if (u.size() == 1)
                cp = s[0];
            else if (u.size() == 2)
                cp = ((s[0] & 0x1f) << 6) | (s[1] & 0x3f);
            else if (u.size() == 3)
                cp = ((s[0] & 0x0f) << 12) | ((s[1] & 0x3f) << 6) | (s[2] & 0x3f);
            if (cp != 0xfffd && rt::key::printable(cp)) cps.push_back(cp);
        }
        std::sort(cps.begin(), cps.end());
        return cps;
    }();
    w.control(ListControl).alerts.reserve(characters.size() + 8);
    for (int cp : characters) w.alert(ListControl, cp);
    w.alert(ListControl, rt::key::MouseLeft2);
    w.alert(ListControl, rt::key::MouseRight);
    w.alert(ListControl, rt::key::AppsKey);
    if (EditViaPopup && !Selecting) {
        w.alert(ListControl, rt::key::Insert);
        w.alert(ListControl, rt::key::CtrlEnter);
        w.alert(ListControl, rt::key::Delete);
    }
    if (ViewControl && !Selecting) w.alert(ListControl, rt::key::ShiftEnter);
    setButtons();
}

bool BrowseClass::TakeKey() {
    const int k = Window->Win->keyCode();
    if (rt::key::printable(k)) {
        if (LocatorClass* l = CurrentLocator()) return l->TakeKey(k);
        return false;
    }
    switch (k) {
        case rt::key::Insert:
            if (EditViaPopup && !Selecting) press(InsertControl);
            return true;
        case rt::key::CtrlEnter:
            if (EditViaPopup && !Selecting) press(ChangeControl);
            return true;
        case rt::key::Delete:
            if (EditViaPopup && !Selecting) press(DeleteControl);
            return true;
        case rt::key::ShiftEnter:
            if (!Selecting) press(ViewControl);
            return true;
        case rt::key::MouseLeft2:
            if (Selecting)
                press(SelectControl);
            else
                press(ChangeControl);
            return true;
        case rt::key::MouseRight:
        case rt::key::AppsKey:
            popup();
            return true;
        default:
            return false;
    }
}

void BrowseClass::popup() {
    std::vector<std::string> items;
    std::vector<int> controls;
    if (Selecting) {
        if (SelectControl) {
            items.push_back("&Select");
            controls.push_back(SelectControl);
        }
    } else if (EditViaPopup) {
        const std::pair<const char*, int> all[] = {{"&Insert", InsertControl},
                                                   {"&Change", ChangeControl},
                                                   {"&Delete", DeleteControl},
                                                   {"&View", ViewControl}};
        for (const auto& [text, control] : all) {
            if (!control) continue;
            items.push_back(text);
            controls.push_back(control);
        }
    }
    if (items.empty()) return;
    const int chosen = Window->Win->popup(items);
    if (chosen >= 1 && chosen <= static_cast<int>(controls.size()))
        press(controls[static_cast<std::size_t>(chosen - 1)]);
}

bool BrowseClass::TakeEvent() {
    if (!attach()) return false;
    rt::Window& w = *Window->Win;
    const int f = w.field();
    switch (w.event()) {
        case rt::Event::OpenWindow:
            if (!loaded_) Reset(true);
            resetRequired_ = true;
            return false;
        case rt::Event::Sized:
            // The resizer lays the list out after this; the reset that
            // follows the event fits the page to the new size.
            resized_ = true;
            resetRequired_ = true;
            return false;
        case rt::Event::Accepted:
            if (!f) return false;
            if (f == SelectControl && Selecting) {
                choose();
                return true;
            }
            if (f == InsertControl) {
                ask(Request::Insert);
                return true;
            }
            if (f == ChangeControl) {
                ask(Request::Change);
                return true;
            }
            if (f == DeleteControl) {
                ask(Request::Delete);
                return true;
            }
            if (f == ViewControl) {
                ask(Request::View);
                return true;
            }
            if (LocatorClass* l = CurrentLocator()) return l->TakeAccepted(f);
            return false;
        case rt::Event::NewSelection:
            if (f == ListControl) {
                afterMove();
                return true;
            }
            if (f && w.control(f).kind == rt::ControlKind::Sheet) resetRequired_ = true;
            return false;
        case rt::Event::ScrollUp:
        case rt::Event::ScrollDown:
        case rt::Event::PageUp:
        case rt::Event::PageDown:
        case rt::Event::ScrollTop:
        case rt::Event::ScrollBottom:
            if (f != ListControl) return false;
            scroll(w.event());
            return true;
        case rt::Event::LineScroll:
            if (f != ListControl) return false;
            scrollLines(w.scrollAmount());
            return true;
        case rt::Event::ThumbDrag:
            if (f != ListControl) return false;
            thumbTo(w.scrollAmount());
            return true;
        case rt::Event::AlertKey:
            if (f != ListControl) return false;
            return TakeKey();
        default:
            return false;
    }
}
