#include "framework/file_manager.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "framework/globals.h"

namespace {

// The calling thread's access objects.
thread_local std::vector<FileManager*> registry;

}  // namespace

FileManager::~FileManager() {
    Unregister();
}

void FileManager::Init() {
    opened_ = 0;
    LazyOpen = true;
    killed_ = false;
    Register();
}

void FileManager::Init(rt::FileStructure& file, ErrorClass& errors) {
    File = &file;
    Errors = &errors;
    Initialized = true;
    if (registered_) Register();  // the hook now points at the new structure
}

void FileManager::Kill() {
    if (killed_) return;
    if (File && File->isOpen()) File->close();
    Unregister();
    keys_.clear();
    saved_.clear();
    ForgetReserved();
    opened_ = 0;
    killed_ = true;
    Initialized = false;
}

void FileManager::Register() {
    if (!registered_) {
        registry.push_back(this);
        registered_ = true;
    }
    if (File) {
        // Direct reads and writes on a file that counts as open reach the
        // database through the same open road as the framework's own calls.
        File->useHook = [this]() -> int {
            if (UseFile(UseType::Uses) == 0 && File->isOpen()) return 0;
            const int code = File->status().code;
            return code ? code : rt::FileErr::FileSystemError;
        };
    }
}

void FileManager::Unregister() {
    if (File) File->useHook = nullptr;
    if (registered_) {
        std::erase(registry, this);
        registered_ = false;
    }
}

FileManager* FileManager::ForFile(const rt::FileStructure& file) {
    for (FileManager* m : registry)
        if (m->File == &file) return m;
    return nullptr;
}

std::vector<FileManager*> FileManager::ThreadManagers() {
    return registry;
}

void FileManager::AddKey(rt::KeyRef key, std::string description, bool autoInc) {
    keys_.push_back({key, std::move(description), autoInc});
}

std::string FileManager::KeyDescription(rt::KeyRef key) const {
    for (const auto& k : keys_)
        if (k.key.index == key.index) return k.description;
    return {};
}

void FileManager::SetFileErrors(int code) {
    SetFileErrors(code, File->status());
}

void FileManager::SetFileErrors(int code, const rt::FileStatus& status) {
    errors().SetErrors(code, status.fileErrorCode, status.fileError);
}

ErrorClass& FileManager::errors() {
    return Errors ? *Errors : GlobalErrors();
}

std::uint8_t FileManager::UseFile(std::uint8_t useType) {
    if (useType == UseType::Initialize) return 0;
    if (!File) return static_cast<std::uint8_t>(Level::Program);
    if (File->isOpen()) return 0;
    return static_cast<std::uint8_t>(OpenServer());
}

Level FileManager::OpenServer() {
    int r = File->open(OpenMode);
    if (r == rt::FileErr::NoError) return Level::Benign;
    switch (r) {
        case rt::FileErr::NoFile:
            if (!Create) break;
            if (const int c = File->create(); c != 0) {
                SetFileErrors(c);
                errors().ThrowFile(Msg::CreateFailed, FileNameValue);
                return Level::Fatal;
            }
            r = File->open(OpenMode);
            break;
        case rt::FileErr::NoAccess:
            File->send("Recover=" + std::to_string(LockRecover));
            r = File->open(OpenMode);
            if (r == rt::FileErr::NoAccess) {
                SetFileErrors(r);
                errors().ThrowFile(Msg::AccessDenied, FileNameValue);
                OpenMode = rt::OpenMode::ReadOnly;
                r = File->open(OpenMode);
            }
            break;
        case rt::FileErr::BadRecordDeclaration:
            SetFileErrors(r);
            errors().ThrowFile(Msg::InvalidFile, FileNameValue);
            return Level::Fatal;
        default:
            break;
    }
    if (r == rt::FileErr::NoError) return Level::Benign;
    SetFileErrors(r);
    errors().ThrowFile(Msg::OpenFailed, FileNameValue);
    return Level::Fatal;
}

Level FileManager::Open() {
    UseFile(UseType::Initialize);
    ++opened_;
    if (!LazyOpen) {
        if (const auto u = UseFile(UseType::Uses); u != 0) {
            --opened_;
            return static_cast<Level>(u);
        }
    }
    return Level::Benign;
}

Level FileManager::Close() {
    if (opened_ == 0) return Level::Benign;
    if (--opened_ == 0 && File && File->isOpen()) File->close();
    return Level::Benign;
}

void FileManager::PrimeFields() {}

void FileManager::ClearRecord() {
    if (File) File->clear();
}

Level FileManager::PrimeRecord(bool suppressClear) {
    if (const auto u = UseFile(UseType::Uses); u != 0) return static_cast<Level>(u);
    ForgetReserved();
    if (!suppressClear) ClearRecord();
    PrimeFields();
    for (const auto& k : keys_)
        if (k.autoInc) return PrimeAutoInc(k);
    return Level::Benign;
}

Level FileManager::PrimeAutoInc(const KeyEntry& key) {
    const rt::FileDef& def = File->def();
    const rt::FieldDef& field = def.fields[def.keys[key.key.index].fields.front()];
    char* record = static_cast<char*>(File->record());
    const std::vector<char> primed(record, record + def.recordSize);
    ErrorClass& errs = errors();

    for (int attempts = 1;; ++attempts) {
        // The highest stored code: the last row in the key's order.
        int r = File->last(key.key.index);
        std::int32_t highest = 0;
        if (r == rt::FileErr::NoError) std::memcpy(&highest, record + field.offset, sizeof highest);
        std::memcpy(record, primed.data(), primed.size());
        if (r != rt::FileErr::NoError && r != rt::FileErr::RecordNotAvailable) {
            SetFileErrors(r);
            errs.ThrowFile(Msg::RetrievalPrime, FileNameValue);
            return Level::Notify;
        }

        bool exhausted = false;
        if (highest == std::numeric_limits<std::int32_t>::max()) {
            // The next code would wrap to a negative one: no code is left.
            exhausted = true;
            errs.SetErrors(rt::FileErr::FileSystemError, 0,
                           "No code is left after " + std::to_string(highest));
        } else {
            const std::int32_t next = highest + 1;
            std::memcpy(record + field.offset, &next, sizeof next);
            r = File->add();
            if (r == rt::FileErr::NoError) {
                reserved_ = true;
                reservedRow_.assign(record, record + def.recordSize);
                return Level::Benign;
            }
            SetFileErrors(r);
            // Another thread may have stored the same code meanwhile; the next
            // attempt reads the highest code again.
            std::memcpy(record, primed.data(), primed.size());
        }
        if (exhausted || attempts % 3 == 0) {
            errs.SetKey(key.description);
            if (errs.ThrowFile(Msg::RetryAutoInc, FileNameValue) != Level::Benign)
                return Level::Notify;
        }
    }
}

rt::Position FileManager::ReservedPosition() const {
    if (!reserved_) return {};
    char* record = static_cast<char*>(File->record());
    std::vector<char> now(record, record + reservedRow_.size());
    std::memcpy(record, reservedRow_.data(), reservedRow_.size());
    rt::Position p = File->position();
    std::memcpy(record, now.data(), now.size());
    return p;
}

void FileManager::ForgetReserved() {
    reserved_ = false;
    reservedRow_.clear();
}

Level FileManager::TryFetch(rt::KeyRef key) {
    if (const auto u = UseFile(UseType::Uses); u != 0) return static_cast<Level>(u);
    const int r = File->get(key);
    if (r == rt::FileErr::NoError) return Level::Benign;
    SetFileErrors(r);
    return Level::Notify;
}

Level FileManager::Fetch(rt::KeyRef key) {
    const Level l = TryFetch(key);
    if (l != Level::Benign) ClearRecord();
    return l;
}

Level FileManager::Insert() {
    if (const auto u = UseFile(UseType::Uses); u != 0) return static_cast<Level>(u);
    int r;
    if (reserved_) {
        // Write over the reserved row, found by its key as reserved whatever
        // the buffer's key fields hold now.
        char* record = static_cast<char*>(File->record());
        const std::vector<char> now(record, record + reservedRow_.size());
        const rt::Position at = ReservedPosition();
        r = File->reget(at);
        std::memcpy(record, now.data(), now.size());
        if (r == rt::FileErr::NoError) r = File->put();
        // A reserved row that has vanished meanwhile is added instead.
        if (r == rt::FileErr::RecordNotAvailable) r = File->add();
    } else {
        r = File->add();
    }
    if (r == rt::FileErr::NoError) {
        ForgetReserved();
        return Level::Benign;
    }
    SetFileErrors(r);
    ErrorClass& errs = errors();
    errs.SetFile(FileNameValue);
    if (r == rt::FileErr::DuplicateKey) {
        const int primary = File->def().primaryKey();
        std::string description = KeyDescription(File->key(primary));
        errs.SetKey(description);
        errs.ThrowMessage(Msg::DuplicateKey, description);
    } else {
        errs.Throw(Msg::AddFailed);
    }
    return Level::Notify;
}

int FileManager::RemoveReserved() {
    if (!reserved_) return rt::FileErr::NoError;
    char* record = static_cast<char*>(File->record());
    const std::vector<char> now(record, record + reservedRow_.size());
    std::memcpy(record, reservedRow_.data(), reservedRow_.size());
    File->setAsRead();
    int r = File->remove();
    File->clearAsRead();
    std::memcpy(record, now.data(), now.size());
    // A reserved row that is already gone needs no removing.
    if (r == rt::FileErr::RecordNotAvailable) r = rt::FileErr::NoError;
    return r;
}

int FileManager::SaveBuffer() {
    const char* record = static_cast<const char*>(File->record());
    const int id = nextSaveId_++;
    saved_.push_back({id, std::vector<char>(record, record + File->def().recordSize)});
    return id;
}

void FileManager::RestoreBuffer(int& id, bool doRestore) {
    auto it =
        std::find_if(saved_.begin(), saved_.end(), [id](const Saved& s) { return s.id == id; });
    if (it != saved_.end()) {
        if (doRestore) std::memcpy(File->record(), it->bytes.data(), it->bytes.size());
        saved_.erase(it);
    }
    id = 0;
}
