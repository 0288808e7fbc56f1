#include "runtime/file/file.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>

#include "runtime/file/driver.h"
#include "runtime/threads.h"

namespace rt {

namespace {

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::mutex& driverLock() {
    static std::mutex m;
    return m;
}
std::shared_ptr<StorageDriver>& driverSlot() {
    static std::shared_ptr<StorageDriver> d;
    return d;
}

// The calling thread's structures and views, in the order they were made.
// One object for both, reached from every constructor: it is made before
// the first of them and so outlives all of them at thread end.
struct ThreadRegistry {
    std::vector<FileStructure*> files;
    std::vector<View*> views;
};
ThreadRegistry& threadRegistry() {
    thread_local ThreadRegistry registry;
    return registry;
}
std::vector<FileStructure*>& threadFiles() {
    return threadRegistry().files;
}
std::vector<View*>& threadViews() {
    return threadRegistry().views;
}
std::map<std::string, ValueSource>& threadBindings() {
    thread_local std::map<std::string, ValueSource> bindings;
    return bindings;
}

void clearRecord(const FileDef& def, void* record) {
    auto* base = static_cast<char*>(record);
    for (const FieldDef& f : def.fields) {
        char* p = base + f.offset;
        if (f.type == FieldType::String)
            std::memset(p, ' ', f.size);
        else
            std::memset(p, 0, memorySize(f));
    }
}

void copyFields(const FileDef& def, const std::vector<int>& fields, void* to, const void* from) {
    for (int i : fields) {
        const FieldDef& f = def.fields[static_cast<std::size_t>(i)];
        std::memcpy(static_cast<char*>(to) + f.offset, static_cast<const char*>(from) + f.offset,
                    memorySize(f));
    }
}

constexpr int MaxBatch = 64;
const char* const NotOpenText = "The file is not open";

// A structure that is not open: the framework's lazy open (useHook) first.
int useOrFail(FileStructure& f) {
    if (f.useHook) {
        const auto hook = f.useHook;  // the hook may be reset while it runs
        if (int rc = hook(); rc != 0) return rc;
        if (f.isOpen()) return 0;
    }
    return f.fail(FileErr::FileSystemError, 0, NotOpenText);
}
const char* const NoPositionText = "No position has been set";
const char* const NoRowText = "No record has been read";

// Where the next ordered read starts, for a file or a view.
struct ReadPosition {
    int key = -1;
    bool valid = false;
    bool blockForward = false;   // positioned at the end
    bool blockBackward = false;  // positioned at the start
    Bound forward = Bound::None;
    Bound backward = Bound::None;
    bool withPrimary = false;
    std::vector<char> image;  // the primary image holding the bound's values

    // The image's buffer is kept from one position to the next: a view is
    // positioned for every page, and its rows can be 20 KB.
    void atStart(int k) { reposition({k, true, false, true}); }
    void atEnd(int k) { reposition({k, true, true, false}); }
    void atValues(int k, const void* record, std::size_t size, bool primary, Bound fwd, Bound bwd) {
        reposition({k, true, false, false, fwd, bwd, primary});
        image.assign(static_cast<const char*>(record), static_cast<const char*>(record) + size);
    }
    // The same, copying only fields (the key's and the primary key's, all a
    // bound reads) once the image has the record's size.
    void atValues(int k, const void* record, const FileDef& def, const std::vector<int>& fields,
                  bool primary, Bound fwd, Bound bwd) {
        reposition({k, true, false, false, fwd, bwd, primary});
        takeFields(def, fields, record);
    }
    // Continues after the row in record; only the fields a bound reads
    // (the key's and the primary key's) are copied, rows can be 20 KB.
    void after(const FileDef& def, const std::vector<int>& fields, const void* record) {
        blockForward = blockBackward = false;
        forward = backward = Bound::Exclusive;
        withPrimary = true;
        takeFields(def, fields, record);
    }
    // The fields of record into image: the whole record the first time,
    // only these fields once the image has the record's size.
    void takeFields(const FileDef& def, const std::vector<int>& fields, const void* record) {
        if (image.size() != def.recordSize)
            image.assign(static_cast<const char*>(record),
                         static_cast<const char*>(record) + def.recordSize);
        else
            copyFields(def, fields, image.data(), record);
    }
    void reposition(ReadPosition p) {
        p.image.swap(image);
        *this = std::move(p);
    }
    // Fills the bound of a request; false when nothing lies that way.
    bool request(ScanRequest& r, bool fwd) const {
        if (fwd ? blockForward : blockBackward) return false;
        r.key = key;
        r.forward = fwd;
        r.bound = fwd ? forward : backward;
        r.boundRecord = r.bound == Bound::None ? nullptr : image.data();
        r.boundWithPrimary = withPrimary;
        return true;
    }
};

// The fields of a key followed by those of the primary key: what a position
// in that key's order holds.
std::vector<int> positionFields(const FileDef& def, int key) {
    std::vector<int> out;
    if (key >= 0 && key < static_cast<int>(def.keys.size()))
        out = def.keys[static_cast<std::size_t>(key)].fields;
    int pk = def.primaryKey();
    if (pk >= 0)
        for (int f : def.keys[static_cast<std::size_t>(pk)].fields)
            if (std::find(out.begin(), out.end(), f) == out.end()) out.push_back(f);
    return out;
}

// Rows read ahead in one direction; each row is one image per file.
struct ReadAhead {
    std::deque<std::vector<std::vector<char>>> rows;
    bool forward = true;
    int batch = 1;
    void drop() {
        rows.clear();
        batch = 1;
    }
};

}  // namespace

// ---------------------------------------------------------------------------

int FileDef::primaryKey() const {
    for (std::size_t i = 0; i < keys.size(); ++i)
        if (keys[i].primary) return static_cast<int>(i);
    return -1;
}

int FileDef::fieldIndex(std::string_view name) const {
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (equalNoCase(fields[i].label, name) || equalNoCase(fields[i].column, name))
            return static_cast<int>(i);
    return -1;
}

int FileDef::keyIndex(std::string_view name) const {
    for (std::size_t i = 0; i < keys.size(); ++i)
        if (equalNoCase(keys[i].label, name) || equalNoCase(keys[i].name, name))
            return static_cast<int>(i);
    return -1;
}

void setStorageDriver(std::shared_ptr<StorageDriver> driver) {
    std::lock_guard<std::mutex> g(driverLock());
    driverSlot() = std::move(driver);
}

std::shared_ptr<StorageDriver> storageDriver() {
    std::lock_guard<std::mutex> g(driverLock());
    return driverSlot();
}

// ---------------------------------------------------------------------------

struct FileStructure::Cursor {
    ReadPosition pos;
    ReadAhead ahead;
    std::vector<char> scratch;
};

FileStructure::FileStructure(const FileDef& def, void* record)
    : def_(&def), record_(record), cursor_(std::make_unique<Cursor>()) {
    threadFiles().push_back(this);
}

FileStructure::~FileStructure() {
    close();
    auto& files = threadFiles();
    files.erase(std::remove(files.begin(), files.end(), this), files.end());
}

std::vector<FileStructure*> threadFileStructures() {
    return threadFiles();
}

int FileStructure::fail(int code, int fileErrorCode, std::string fileError) {
    status_.code = code;
    status_.fileErrorCode = fileErrorCode;
    status_.fileError = std::move(fileError);
    return code;
}

int FileStructure::succeed() {
    status_ = FileStatus{};
    return 0;
}

bool FileStructure::isOpen() const {
    return handle_ != nullptr;
}

int FileStructure::open(OpenMode mode) {
    if (handle_ && mode == mode_) return succeed();
    if (handle_) close();
    auto driver = storageDriver();
    if (!driver) return fail(FileErr::FileSystemError, 0, "No storage is installed");
    FileStatus st;
    std::unique_ptr<StorageHandle> h;
    int rc = driver->open(*def_, mode, h, st);
    status_ = st;
    if (rc != 0) return rc;
    handle_ = std::move(h);
    mode_ = mode;
    cursor_->pos = ReadPosition{};
    cursor_->ahead.drop();
    return succeed();
}

int FileStructure::create() {
    auto driver = storageDriver();
    if (!driver) return fail(FileErr::FileSystemError, 0, "No storage is installed");
    FileStatus st;
    int rc = driver->create(*def_, st);
    status_ = st;
    return rc;
}

int FileStructure::close() {
    // Views over this file are closed first: they read through its handle.
    for (View* v : threadViews()) {
        if (v->isOpen() && v->fileIndex(this) >= 0) v->close();
    }
    if (!handle_) return succeed();
    FileStatus st;
    int rc = handle_->close(st);
    handle_.reset();
    cursor_->pos = ReadPosition{};
    cursor_->ahead.drop();
    status_ = st;
    return rc;
}

int FileStructure::send(std::string_view) {
    return succeed();
}

void FileStructure::clear() {
    clearRecord(*def_, record_);
}

const void* FileStructure::asRead() const {
    return asRead_.empty() ? nullptr : asRead_.data();
}

void FileStructure::setAsRead() {
    auto* p = static_cast<const char*>(record_);
    asRead_.assign(p, p + def_->recordSize);
}

void FileStructure::clearAsRead() {
    asRead_.clear();
}

int FileStructure::get(int key) {
    if (!handle_) {
        if (int rc = useOrFail(*this)) return rc;
    }
    if (key < 0 || key >= static_cast<int>(def_->keys.size()))
        return fail(FileErr::FileSystemError, 0, "No such key");
    auto& scratch = cursor_->scratch;
    auto* p = static_cast<const char*>(record_);
    scratch.assign(p, p + def_->recordSize);
    FileStatus st;
    int rc = handle_->fetch(*def_, key, record_, scratch.data(), st);
    status_ = st;
    if (rc != 0) return rc;
    std::memcpy(record_, scratch.data(), def_->recordSize);
    setAsRead();
    return 0;
}

int FileStructure::set(int key, SetFrom from) {
    if (key < 0 || key >= static_cast<int>(def_->keys.size()))
        return fail(FileErr::FileSystemError, 0, "No such key");
    auto& pos = cursor_->pos;
    switch (from) {
        case SetFrom::Start:
            pos.atStart(key);
            break;
        case SetFrom::End:
            pos.atEnd(key);
            break;
        case SetFrom::Buffer:
            pos.atValues(key, record_, def_->recordSize, false, Bound::Inclusive, Bound::Inclusive);
            break;
    }
    cursor_->ahead.drop();
    return succeed();
}

namespace {
// Reads one row for a file or a view: from the rows read ahead, or with one
// statement for a batch of rows. fetchBatch issues the statement; present
// puts a row into the buffers.
template <class Fetch, class Present>
int readOne(ReadPosition& pos, ReadAhead& ahead, bool forward, const FileDef& def, Fetch fetchBatch,
            Present present, FileStatus& status) {
    if (!ahead.rows.empty() && ahead.forward != forward) ahead.drop();
    if (ahead.rows.empty()) {
        ScanRequest r;
        if (!pos.request(r, forward)) {
            status = FileStatus{FileErr::RecordNotAvailable, 0, {}};
            return status.code;
        }
        r.limit = ahead.batch;
        ahead.forward = forward;
        int rc = fetchBatch(r, ahead.rows, status);
        if (rc != 0) {
            ahead.drop();
            return rc;
        }
        if (ahead.rows.empty()) {
            status = FileStatus{FileErr::RecordNotAvailable, 0, {}};
            return status.code;
        }
        ahead.batch = std::min(ahead.batch * 2, MaxBatch);
    }
    auto row = std::move(ahead.rows.front());
    ahead.rows.pop_front();
    present(row);
    pos.after(def, positionFields(def, pos.key), row[0].data());
    status = FileStatus{};
    return 0;
}
}  // namespace

int FileStructure::next() {
    if (!handle_) {
        if (int rc = useOrFail(*this)) return rc;
    }
    if (!cursor_->pos.valid) return fail(FileErr::RecordNotAvailable, 0, NoPositionText);
    return readOne(
        cursor_->pos, cursor_->ahead, true, *def_,
        [&](ScanRequest& r, auto& rows, FileStatus& st) { return scanInto(r, rows, st); },
        [&](auto& row) {
            std::memcpy(record_, row[0].data(), def_->recordSize);
            setAsRead();
        },
        status_);
}

int FileStructure::previous() {
    if (!handle_) {
        if (int rc = useOrFail(*this)) return rc;
    }
    if (!cursor_->pos.valid) return fail(FileErr::RecordNotAvailable, 0, NoPositionText);
    return readOne(
        cursor_->pos, cursor_->ahead, false, *def_,
        [&](ScanRequest& r, auto& rows, FileStatus& st) { return scanInto(r, rows, st); },
        [&](auto& row) {
            std::memcpy(record_, row[0].data(), def_->recordSize);
            setAsRead();
        },
        status_);
}

int FileStructure::scanInto(ScanRequest& r, std::deque<std::vector<std::vector<char>>>& rows,
                            FileStatus& st) {
    auto& scratch = cursor_->scratch;
    auto* p = static_cast<const char*>(record_);
    scratch.assign(p, p + def_->recordSize);
    r.targets = {scratch.data()};
    int n = 0;
    return handle_->scan(
        *def_, r, [&] { rows.push_back({scratch}); }, n, st);
}

Position FileStructure::position() const {
    Position out;
    int pk = def_->primaryKey();
    if (pk < 0) return out;
    auto* p = static_cast<const char*>(record_);
    for (int i : def_->keys[static_cast<std::size_t>(pk)].fields) {
        const FieldDef& f = def_->fields[static_cast<std::size_t>(i)];
        out.append(p + f.offset, memorySize(f));
    }
    return out;
}

namespace {
// Writes a position's primary-key fields into a record image; false when the
// position does not fit the file.
bool applyPosition(const FileDef& def, const Position& position, char* image) {
    int pk = def.primaryKey();
    if (pk < 0) return false;
    std::size_t at = 0;
    for (int i : def.keys[static_cast<std::size_t>(pk)].fields) {
        const FieldDef& f = def.fields[static_cast<std::size_t>(i)];
        if (at + memorySize(f) > position.size()) return false;
        std::memcpy(image + f.offset, position.data() + at, memorySize(f));
        at += memorySize(f);
    }
    return at == position.size();
}
}  // namespace

int FileStructure::reget(const Position& position) {
    if (!handle_) {
        if (int rc = useOrFail(*this)) return rc;
    }
    std::vector<char> keyImage(static_cast<const char*>(record_),
                               static_cast<const char*>(record_) + def_->recordSize);
    if (!applyPosition(*def_, position, keyImage.data()))
        return fail(FileErr::RecordNotAvailable, 0, "Invalid position");
    auto& scratch = cursor_->scratch;
    scratch = keyImage;
    FileStatus st;
    int rc = handle_->fetch(*def_, def_->primaryKey(), keyImage.data(), scratch.data(), st);
    status_ = st;
    if (rc != 0) return rc;
    std::memcpy(record_, scratch.data(), def_->recordSize);
    setAsRead();
    return 0;
}

int FileStructure::add() {
    if (!handle_) {
        if (int rc = useOrFail(*this)) return rc;
    }
    FileStatus st;
    int rc = handle_->insert(*def_, record_, st);
    status_ = st;
    cursor_->ahead.drop();
    if (rc == 0) setAsRead();
    return rc;
}

int FileStructure::put() {
    if (!handle_) {
        if (int rc = useOrFail(*this)) return rc;
    }
    if (asRead_.empty()) return fail(FileErr::RecordNotAvailable, 0, NoRowText);
    FileStatus st;
    int rc = handle_->update(*def_, asRead_.data(), record_, st);
    status_ = st;
    cursor_->ahead.drop();
    if (rc == 0) setAsRead();
    return rc;
}

int FileStructure::remove() {
    if (!handle_) {
        if (int rc = useOrFail(*this)) return rc;
    }
    if (asRead_.empty()) return fail(FileErr::RecordNotAvailable, 0, NoRowText);
    FileStatus st;
    int rc = handle_->remove(*def_, asRead_.data(), st);
    status_ = st;
    cursor_->ahead.drop();
    if (rc == 0) clearAsRead();
    return rc;
}

int FileStructure::begin(std::chrono::milliseconds timeout) {
    if (!handle_) {
        if (int rc = useOrFail(*this)) return rc;
    }
    FileStatus st;
    int rc = handle_->begin(timeout, st);
    status_ = st;
    return rc;
}

int FileStructure::commit() {
    if (!handle_) {
        if (int rc = useOrFail(*this)) return rc;
    }
    FileStatus st;
    int rc = handle_->commit(st);
    status_ = st;
    return rc;
}

int FileStructure::rollback() {
    if (!handle_) {
        if (int rc = useOrFail(*this)) return rc;
    }
    FileStatus st;
    int rc = handle_->rollback(st);
    status_ = st;
    return rc;
}

FieldRef FieldOf(FileStructure& file, std::string_view label) {
    const int i = file.def().fieldIndex(label);
    if (i < 0)
        throw std::out_of_range("no field " + std::string(label) + " in " + file.def().label);
    return file.field(i);
}

KeyRef KeyOf(FileStructure& file, std::string_view label) {
    const int i = file.def().keyIndex(label);
    if (i < 0) throw std::out_of_range("no key " + std::string(label) + " in " + file.def().label);
    return file.key(i);
}

Transaction::Transaction(FileStructure& file, std::chrono::milliseconds timeout)
    : file_(file), began_(file.begin(timeout)), open_(began_ == 0) {}

Transaction::~Transaction() {
    try {
        rollback();
    } catch (...) {
    }
}

int Transaction::commit() {
    if (!open_) return began_ != 0 ? began_ : FileErr::FileSystemError;
    const int rc = file_.commit();
    if (rc == 0) open_ = false;
    return rc;
}

int Transaction::rollback() {
    if (!open_) return 0;
    open_ = false;
    return file_.rollback();
}

int FileStructure::count(std::int64_t& rows) {
    if (!handle_) {
        if (int rc = useOrFail(*this)) return rc;
    }
    FileStatus st;
    int rc = handle_->count(*def_, rows, st);
    status_ = st;
    return rc;
}

int FileStructure::first(int key) {
    int rc = set(key, SetFrom::Start);
    return rc != 0 ? rc : next();
}

int FileStructure::last(int key) {
    int rc = set(key, SetFrom::End);
    return rc != 0 ? rc : previous();
}

// ---------------------------------------------------------------------------
// Bound variables

void bind(std::string name, const std::int32_t* variable) {
    threadBindings()[std::move(name)] = [variable] { return Value{std::int64_t{*variable}}; };
}

void bind(std::string name, const std::atomic<std::int32_t>* variable) {
    threadBindings()[std::move(name)] = [variable] {
        return Value{std::int64_t{variable->load()}};
    };
}

void bind(std::string name, ValueSource source) {
    threadBindings()[std::move(name)] = std::move(source);
}

void unbind(const std::string& name) {
    threadBindings().erase(name);
}

void unbindAll() {
    threadBindings().clear();
}

bool boundValue(const std::string& name, Value& value) {
    auto& b = threadBindings();
    auto it = b.find(name);
    if (it == b.end()) {
        // Names are matched without regard to case, as field labels are.
        for (auto& [n, src] : b)
            if (equalNoCase(n, name)) {
                value = src();
                return true;
            }
        return false;
    }
    value = it->second();
    return true;
}

// ---------------------------------------------------------------------------
// Views

struct View::State {
    ReadPosition pos;
    ReadAhead ahead;
    std::vector<std::vector<char>> scratch;  // one image per file
    std::vector<char> last;                  // the primary image of the last row read
    std::vector<int> positionFields;         // the order key's and primary key's fields
    std::vector<void*> targets;              // page(): the buffers, kept for their storage
};

void View::keepLast(const void* primaryRecord) {
    const FileDef& d = primary_->def();
    if (state_->last.size() != d.recordSize)
        state_->last.assign(static_cast<const char*>(primaryRecord),
                            static_cast<const char*>(primaryRecord) + d.recordSize);
    else
        copyFields(d, state_->positionFields, state_->last.data(), primaryRecord);
}

View::View(FileStructure& primary) : primary_(&primary), state_(std::make_unique<State>()) {
    newShape();
    threadViews().push_back(this);
}

void View::newShape() {
    static std::atomic<std::uint64_t> serial{0};
    shape_ = serial.fetch_add(1, std::memory_order_relaxed) + 1;
}

View::~View() {
    close();
    auto& views = threadViews();
    views.erase(std::remove(views.begin(), views.end(), this), views.end());
}

FileStructure* View::file(int index) const {
    if (index == 0) return primary_;
    if (index < 0 || index > static_cast<int>(joins_.size())) return nullptr;
    return joins_[static_cast<std::size_t>(index - 1)].file;
}

int View::fileIndex(const FileStructure* f) const {
    if (f == primary_) return 0;
    for (std::size_t i = 0; i < joins_.size(); ++i)
        if (joins_[i].file == f) return static_cast<int>(i + 1);
    return -1;
}

int View::fail(int code, int fileErrorCode, std::string fileError) {
    status_ = FileStatus{code, fileErrorCode, std::move(fileError)};
    return code;
}

// Every change of shape takes a new shape number. Fields, joins, the filter
// and the order are worked out by open(): changing one closes an open view,
// so nothing reads with what was worked out for the old shape. Ranges count
// at once, open or not (a range added to an open view limits its next read).
void View::project(FieldRef field) {
    close();
    projected_.push_back(field);
    newShape();
}

void View::project(FileStructure& f, std::string_view name) {
    close();
    projected_.push_back({&f, f.def().fieldIndex(name)});
    newShape();
}

void View::join(FileStructure& joined, int joinKey, std::vector<FieldRef> linking) {
    close();
    joins_.push_back({&joined, joinKey, std::move(linking)});
    newShape();
}

void View::setFilter(std::string expression) {
    close();
    filter_ = std::move(expression);
    newShape();
}

void View::addRange(FieldRef field, Compare op, ValueSource value) {
    ranges_.push_back({field, op, std::move(value)});
    newShape();
}

void View::clearRanges() {
    ranges_.clear();
    newShape();
}

void View::setOrder(int key) {
    close();
    order_ = key;
    newShape();
    state_->positionFields = positionFields(primary_->def(), key);
    state_->pos = ReadPosition{};
    state_->ahead.drop();
}

namespace {

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

// Splits "a AND b AND c" at the word AND (any case, blanks around it).
std::vector<std::string_view> splitAnd(std::string_view s) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i + 3 <= s.size(); ++i) {
        bool before = i == 0 || std::isspace(static_cast<unsigned char>(s[i - 1]));
        bool after = i + 3 == s.size() || std::isspace(static_cast<unsigned char>(s[i + 3]));
        if (before && after && equalNoCase(s.substr(i, 3), "AND")) {
            parts.push_back(s.substr(start, i - start));
            start = i + 3;
            i += 2;
        }
    }
    parts.push_back(s.substr(start));
    return parts;
}

bool parseInteger(std::string_view s, std::int64_t& out) {
    if (s.empty()) return false;
    bool neg = false;
    std::size_t i = 0;
    if (s[0] == '-' || s[0] == '+') {
        neg = s[0] == '-';
        i = 1;
    }
    if (i == s.size()) return false;
    std::int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
        if (v > (INT64_MAX - 9) / 10) return false;
        v = v * 10 + (s[i] - '0');
    }
    out = neg ? -v : v;
    return true;
}

}  // namespace

int View::open() {
    if (open_) return 0;
    // The view's files must be open: they are read through their handles.
    for (int i = 0; i <= static_cast<int>(joins_.size()); ++i) {
        FileStructure* f = file(i);
        if (!f->isOpen()) {
            int rc = f->useHook ? useOrFail(*f) : f->open(f->mode());
            if (rc != 0) {
                status_ = f->status();
                return rc;
            }
        }
    }
    const FileDef& pd = primary_->def();
    if (pd.primaryKey() < 0) return fail(FileErr::BadRecordDeclaration, 0, "No primary key");
    if (order_ < 0) order_ = pd.primaryKey();
    if (order_ >= static_cast<int>(pd.keys.size()))
        return fail(FileErr::FileSystemError, 0, "No such key");
    for (const Join& j : joins_) {
        const FileDef& jd = j.file->def();
        if (j.key < 0 || j.key >= static_cast<int>(jd.keys.size()) || j.linking.empty() ||
            j.linking.size() > jd.keys[static_cast<std::size_t>(j.key)].fields.size())
            return fail(FileErr::FileSystemError, 0, std::string("Invalid join of ") + jd.label);
        for (const FieldRef& l : j.linking) {
            int fi = fileIndex(l.file);
            if (fi < 0 || fi >= fileIndex(j.file) || l.index < 0)
                return fail(FileErr::FileSystemError, 0,
                            std::string("Invalid linking field for ") + jd.label);
        }
    }

    // The filter: comparisons of a field with a bound name or a number.
    terms_.clear();
    std::string_view expr = trimBlanks(filter_);
    while (expr.size() >= 2 && expr.front() == '(' && expr.back() == ')')
        expr = trimBlanks(expr.substr(1, expr.size() - 2));
    if (!expr.empty()) {
        for (std::string_view part : splitAnd(expr)) {
            part = trimBlanks(part);
            while (part.size() >= 2 && part.front() == '(' && part.back() == ')')
                part = trimBlanks(part.substr(1, part.size() - 2));
            static const struct {
                const char* text;
                Compare op;
            } ops[] = {{"=>", Compare::GreaterEqual},
                       {">=", Compare::GreaterEqual},
                       {"<=", Compare::LessEqual},
                       {"=<", Compare::LessEqual},
                       {"=", Compare::Equal}};
            std::size_t at = std::string_view::npos, len = 0;
            Compare op = Compare::Equal;
            for (auto& o : ops) {
                std::size_t p = part.find(o.text);
                if (p != std::string_view::npos) {
                    at = p;
                    len = std::strlen(o.text);
                    op = o.op;
                    break;
                }
            }
            if (at == std::string_view::npos)
                return fail(FileErr::FileSystemError, 0,
                            "Invalid filter: no comparison in \"" + std::string(part) + "\"");
            std::string_view lhs = trimBlanks(part.substr(0, at));
            std::string_view rhs = trimBlanks(part.substr(at + len));
            Term t{};
            t.op = op;
            for (int i = 0; i <= static_cast<int>(joins_.size()) && !t.field.file; ++i) {
                FileStructure* f = file(i);
                for (std::size_t k = 0; k < f->def().fields.size(); ++k)
                    if (equalNoCase(f->def().fields[k].label, lhs)) {
                        t.field = {f, static_cast<int>(k)};
                        break;
                    }
            }
            if (!t.field.file)
                return fail(FileErr::FileSystemError, 0,
                            "Invalid filter: unknown field " + std::string(lhs));
            if (!parseInteger(rhs, t.literal)) {
                Value probe;
                if (!boundValue(std::string(rhs), probe))
                    return fail(FileErr::FileSystemError, 0,
                                "Invalid filter: unbound name " + std::string(rhs));
                t.name = std::string(rhs);
            }
            terms_.push_back(std::move(t));
        }
    }

    // What each file's reads fill.
    readFields_.assign(joins_.size() + 1, {});
    for (const FieldRef& p : projected_) {
        int fi = fileIndex(p.file);
        if (fi < 0 || p.index < 0 || p.index >= static_cast<int>(p.file->def().fields.size()))
            return fail(FileErr::FileSystemError, 0, "Invalid projected field");
        readFields_[static_cast<std::size_t>(fi)].push_back(p.index);
    }
    for (std::size_t i = 0; i < readFields_.size(); ++i) {
        auto& rf = readFields_[i];
        const FileDef& d = file(static_cast<int>(i))->def();
        if (rf.empty())
            for (std::size_t k = 0; k < d.fields.size(); ++k) rf.push_back(static_cast<int>(k));
        if (i == 0) {
            for (int k : d.keys[static_cast<std::size_t>(order_)].fields) rf.push_back(k);
            for (int k : d.keys[static_cast<std::size_t>(d.primaryKey())].fields) rf.push_back(k);
        }
        std::sort(rf.begin(), rf.end());
        rf.erase(std::unique(rf.begin(), rf.end()), rf.end());
    }
    state_->scratch.clear();
    for (int i = 0; i <= static_cast<int>(joins_.size()); ++i) {
        auto* p = static_cast<const char*>(file(i)->record());
        state_->scratch.emplace_back(p, p + file(i)->def().recordSize);
    }
    state_->pos = ReadPosition{};
    state_->ahead.drop();
    state_->last.clear();
    state_->positionFields = positionFields(pd, order_);
    newShape();
    open_ = true;
    status_ = FileStatus{};
    return 0;
}

int View::close() {
    if (!open_) return 0;
    open_ = false;
    state_->pos = ReadPosition{};
    state_->ahead.drop();
    status_ = FileStatus{};
    return 0;
}

int View::set(SetFrom from) {
    if (!open_) return fail(FileErr::FileSystemError, 0, "The view is not open");
    auto& pos = state_->pos;
    switch (from) {
        case SetFrom::Start:
            pos.atStart(order_);
            break;
        case SetFrom::End:
            pos.atEnd(order_);
            break;
        case SetFrom::Buffer:
            pos.atValues(order_, primary_->record(), primary_->def(), state_->positionFields, false,
                         Bound::Inclusive, Bound::Inclusive);
            break;
    }
    state_->ahead.drop();
    status_ = FileStatus{};
    return 0;
}

int View::setAtValues(const void* image, bool beside) {
    if (!open_) return fail(FileErr::FileSystemError, 0, "The view is not open");
    const Bound bound = beside ? Bound::Exclusive : Bound::Inclusive;
    state_->pos.atValues(order_, image, primary_->def(), state_->positionFields, beside, bound,
                         bound);
    state_->ahead.drop();
    status_ = FileStatus{};
    return 0;
}

int View::setFromRecord(const void* image) {
    return setAtValues(image, false);
}

int View::setAt(const Position& position) {
    int rc = reget(position);
    if (rc != 0) return rc;
    state_->pos.atValues(order_, state_->last.data(), state_->last.size(), true, Bound::Inclusive,
                         Bound::Exclusive);
    state_->ahead.drop();
    return 0;
}

int View::setBeside(const void* image) {
    return setAtValues(image, true);
}

namespace {
struct ViewReader {
    View& view;
    StorageHandle* handle;
    std::vector<std::vector<char>>& scratch;

    int fetch(ScanRequest& r, std::deque<std::vector<std::vector<char>>>& rows, FileStatus& st) {
        r.targets.clear();
        for (std::size_t i = 0; i < scratch.size(); ++i) {
            auto* p = static_cast<const char*>(view.file(static_cast<int>(i))->record());
            scratch[i].assign(p, p + scratch[i].size());
            r.targets.push_back(scratch[i].data());
        }
        int n = 0;
        return handle->viewScan(
            view, r, [&] { rows.push_back(scratch); }, n, st);
    }
    void present(const std::vector<std::vector<char>>& row) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            FileStructure* f = view.file(static_cast<int>(i));
            copyFields(f->def(), view.readFields()[i], f->record(), row[i].data());
        }
    }
};
}  // namespace

int View::next() {
    if (!open_) return fail(FileErr::FileSystemError, 0, "The view is not open");
    if (!primary_->handle()) return fail(FileErr::FileSystemError, 0, NotOpenText);
    if (!state_->pos.valid) return fail(FileErr::RecordNotAvailable, 0, NoPositionText);
    ViewReader rd{*this, primary_->handle(), state_->scratch};
    return readOne(
        state_->pos, state_->ahead, true, primary_->def(),
        [&](ScanRequest& r, auto& rows, FileStatus& st) { return rd.fetch(r, rows, st); },
        [&](auto& row) {
            rd.present(row);
            keepLast(row[0].data());
        },
        status_);
}

int View::previous() {
    if (!open_) return fail(FileErr::FileSystemError, 0, "The view is not open");
    if (!primary_->handle()) return fail(FileErr::FileSystemError, 0, NotOpenText);
    if (!state_->pos.valid) return fail(FileErr::RecordNotAvailable, 0, NoPositionText);
    ViewReader rd{*this, primary_->handle(), state_->scratch};
    return readOne(
        state_->pos, state_->ahead, false, primary_->def(),
        [&](ScanRequest& r, auto& rows, FileStatus& st) { return rd.fetch(r, rows, st); },
        [&](auto& row) {
            rd.present(row);
            keepLast(row[0].data());
        },
        status_);
}

int View::page(int rows, bool forward, const std::function<void()>& onRow, int* rowsRead) {
    if (rowsRead) *rowsRead = 0;
    if (!open_) return fail(FileErr::FileSystemError, 0, "The view is not open");
    if (!primary_->handle()) return fail(FileErr::FileSystemError, 0, NotOpenText);
    if (!state_->pos.valid) return fail(FileErr::RecordNotAvailable, 0, NoPositionText);
    state_->ahead.drop();
    ScanRequest r;
    if (!state_->pos.request(r, forward) || rows <= 0) {
        status_ = FileStatus{};
        return 0;
    }
    r.limit = rows;
    r.lastRowPosition = lastRowPosition_;
    // Rows go straight into the buffers: only the fields the view reads change.
    // (The list of buffers keeps its storage from page to page.)
    r.targets.swap(state_->targets);
    r.targets.clear();
    for (int i = 0; i <= static_cast<int>(joins_.size()); ++i)
        r.targets.push_back(file(i)->record());
    // The position moves past the last row once the statement is done: the
    // bound image (r.boundRecord) stays as it is while the statement runs.
    // The last row's position fields are in state_->last by then, taken
    // before onRow could change the buffer.
    bool any = false;
    int n = 0;
    FileStatus st;
    int rc = primary_->handle()->viewScan(
        *this, r,
        [&] {
            any = true;
            keepLast(primary_->record());
            if (onRow) onRow();
        },
        n, st);
    if (any) state_->pos.after(primary_->def(), state_->positionFields, state_->last.data());
    state_->targets.swap(r.targets);
    status_ = st;
    if (rowsRead) *rowsRead = n;
    return rc;
}

int View::reget(const Position& position) {
    if (!open_) return fail(FileErr::FileSystemError, 0, "The view is not open");
    if (!primary_->handle()) return fail(FileErr::FileSystemError, 0, NotOpenText);
    std::vector<char> keyImage(
        static_cast<const char*>(primary_->record()),
        static_cast<const char*>(primary_->record()) + primary_->def().recordSize);
    if (!applyPosition(primary_->def(), position, keyImage.data()))
        return fail(FileErr::RecordNotAvailable, 0, "Invalid position");
    ViewReader rd{*this, primary_->handle(), state_->scratch};
    std::vector<void*> targets;
    for (std::size_t i = 0; i < state_->scratch.size(); ++i) {
        auto* p = static_cast<const char*>(file(static_cast<int>(i))->record());
        state_->scratch[i].assign(p, p + state_->scratch[i].size());
        targets.push_back(state_->scratch[i].data());
    }
    FileStatus st;
    int rc = primary_->handle()->viewReget(*this, keyImage.data(), targets, st);
    status_ = st;
    if (rc != 0) return rc;
    rd.present(state_->scratch);
    keepLast(state_->scratch[0].data());
    return 0;
}

Position View::position() const {
    Position out;
    position(out);
    return out;
}

void View::position(Position& out) const {
    out.clear();
    const FileDef& d = primary_->def();
    int pk = d.primaryKey();
    if (pk < 0 || state_->last.empty()) return;
    for (int i : d.keys[static_cast<std::size_t>(pk)].fields) {
        const FieldDef& f = d.fields[static_cast<std::size_t>(i)];
        out.append(state_->last.data() + f.offset, memorySize(f));
    }
}

int View::count(std::int64_t& rows) {
    if (!open_) return fail(FileErr::FileSystemError, 0, "The view is not open");
    if (!primary_->handle()) return fail(FileErr::FileSystemError, 0, NotOpenText);
    FileStatus st;
    int rc = primary_->handle()->viewCount(*this, rows, st);
    status_ = st;
    return rc;
}

int View::min(int field, Value& value) {
    if (!open_) return fail(FileErr::FileSystemError, 0, "The view is not open");
    if (!primary_->handle()) return fail(FileErr::FileSystemError, 0, NotOpenText);
    FileStatus st;
    int rc = primary_->handle()->viewExtreme(*this, field, false, value, st);
    status_ = st;
    return rc;
}

int View::max(int field, Value& value) {
    if (!open_) return fail(FileErr::FileSystemError, 0, "The view is not open");
    if (!primary_->handle()) return fail(FileErr::FileSystemError, 0, NotOpenText);
    FileStatus st;
    int rc = primary_->handle()->viewExtreme(*this, field, true, value, st);
    status_ = st;
    return rc;
}

int View::sum(const std::vector<int>& fields, std::vector<Money>& sums) {
    if (!open_) return fail(FileErr::FileSystemError, 0, "The view is not open");
    if (!primary_->handle()) return fail(FileErr::FileSystemError, 0, NotOpenText);
    FileStatus st;
    int rc = primary_->handle()->viewSum(*this, fields, sums, st);
    status_ = st;
    return rc;
}

int StorageHandle::viewSum(const View&, const std::vector<int>&, std::vector<Money>&,
                           FileStatus& st) {
    st = {FileErr::FileSystemError, 0, "Sums are not supported by this storage"};
    return st.code;
}

// ---------------------------------------------------------------------------

void installFileComponents() {
    registerComponent(
        Scope::PerThread, stage::FileStructures, "file structures", [] {},
        [] {
            for (FileStructure* f : threadFileStructures()) f->close();
        });
    registerComponent(
        Scope::PerThread, stage::Views, "views", [] {},
        [] {
            for (View* v : threadViews()) v->close();
            unbindAll();
        });
}

}  // namespace rt
