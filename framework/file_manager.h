#pragma once
// FileManager: the access object of one file on one thread. It opens the file
// (counted, lazily in the database), knows the file's keys and which of them
// numbers new records, primes, fetches and inserts records and reports their
// errors through the error reporter.
//
// Who shows what (the forms rely on it):
//   PrimeRecord  "Auto Increment Error" (question), "Record Retrieval Error"
//   Insert       "Duplicate Key Error", "Record Insert Error"
//   open         "Access Denied" (notice), the fatal "File Access Error",
//                "Invalid File", "File Creation Error"
//   TryFetch, Fetch  nothing
// The relation manager (relation_manager.h) shows the messages of changes and
// deletions. Every failure is returned as a level other than Benign after its
// message has been shown; the caller only decides what happens next.
#include <cstdint>
#include <string>
#include <vector>

#include "framework/error.h"
#include "runtime/file/file.h"

// The use types of UseFile.
namespace UseType {
constexpr std::uint8_t Uses = 0;        // a plain use: opens a lazily opened file
constexpr std::uint8_t Initialize = 5;  // sets the manager up, opens nothing
}  // namespace UseType

class FileManager {
  public:
    FileManager() = default;
    virtual ~FileManager();
    FileManager(const FileManager&) = delete;
    FileManager& operator=(const FileManager&) = delete;

    // --- settings
    void* Buffer = nullptr;             // the record the manager reads and writes
    std::string FileNameValue;          // the file's name in messages (%File)
    ErrorClass* Errors = nullptr;       // the error reporter
    rt::FileStructure* File = nullptr;  // the thread's file structure
    bool Initialized = false;           // keys and options set up (first UseFile)
    bool LazyOpen = true;               // opened in the database on first use
    std::uint8_t Create = 1;            // a missing table is created on open
    std::uint8_t LockRecover = 10;      // "Recover=" option sent after a refused open
    rt::OpenMode OpenMode = rt::OpenMode::ReadWrite;

    // The framework's Init: open count 0, lazy open on, not killed, and the
    // manager registered with the calling thread's registry.
    virtual void Init();
    // Binds the file and the error reporter and marks the manager initialised.
    void Init(rt::FileStructure& file, ErrorClass& errors);
    // Closes what is still open, unregisters, marks the manager killed.
    // Runs once; a second call does nothing.
    virtual void Kill();
    void SetErrors(ErrorClass& errors) { Errors = &errors; }

    // Notes a use of the file; a file that counts as open (or is used
    // directly) but is not open in the database is opened there. Returns 0 or
    // a level (as a byte) after the open's messages have been shown.
    virtual std::uint8_t UseFile(std::uint8_t useType = UseType::Uses);

    // Registers a key (in declaration order) with its description
    // ("CLA:KeyM1_PRE") and whether it numbers new records.
    void AddKey(rt::KeyRef key, std::string description, bool autoInc = false);
    struct KeyEntry {
        rt::KeyRef key;
        std::string description;
        bool autoInc = false;
    };
    const std::vector<KeyEntry>& Keys() const { return keys_; }
    // The description of a registered key ("" when not registered).
    std::string KeyDescription(rt::KeyRef key) const;

    // --- open state (counted)
    // Counts an open; with LazyOpen the database is reached on the first use.
    Level Open();
    // Counts a close; the last one closes the file in the database.
    Level Close();
    int OpenCount() const { return opened_; }
    bool OpenInDatabase() const { return File && File->isOpen(); }

    // --- records
    // Field defaults of a new record; empty here.
    virtual void PrimeFields();
    // Clears the buffer (unless suppressClear), sets the defaults and, for a
    // file with an auto-numbered key, reserves the next code: the highest
    // stored plus one (1 in an empty table), the row stored at once.
    Level PrimeRecord(bool suppressClear = false);
    // True while a row reserved by PrimeRecord waits for Insert or CancelAutoInc.
    bool Reserved() const { return reserved_; }
    // The reserved row's primary-key image.
    rt::Position ReservedPosition() const;

    // Reads the row whose key fields equal the buffer's. Silent; a miss
    // leaves the buffer as it was.
    Level TryFetch(rt::KeyRef key);
    // The same; a miss clears the buffer.
    Level Fetch(rt::KeyRef key);

    // Stores the buffer without a transaction: over the reserved row when
    // there is one (found by its key as reserved; a reserved row that has
    // vanished is added instead), else as a new row.
    Level Insert();

    // Copies of the buffer, by id (ids start at 1).
    int SaveBuffer();
    // Puts the saved copy back (unless doRestore is false) and forgets it;
    // id becomes 0.
    void RestoreBuffer(int& id, bool doRestore = true);

    // Clears the buffer (codes and dates 0, texts blank, money 0).
    void ClearRecord();

    // The thread's access object of a file structure (nullptr when none).
    static FileManager* ForFile(const rt::FileStructure& file);
    // The calling thread's access objects, in the order they were initialised.
    static std::vector<FileManager*> ThreadManagers();

  protected:
    // Reserved-row bookkeeping for the relation manager.
    friend class RelationManager;
    // Deletes the reserved row by its key as reserved, inside the caller's
    // transaction; a row already gone counts as done. Returns 0 or a file
    // error number; the buffer is left as it was.
    int RemoveReserved();
    void ForgetReserved();
    // Fills the error status from the file's last result (or a kept one).
    void SetFileErrors(int code);
    void SetFileErrors(int code, const rt::FileStatus& status);
    // The error reporter (GlobalErrors when none was set).
    ErrorClass& errors();

  private:
    Level OpenServer();
    Level PrimeAutoInc(const KeyEntry& key);
    void Register();
    void Unregister();

    int opened_ = 0;
    bool killed_ = false;
    bool registered_ = false;
    std::vector<KeyEntry> keys_;
    bool reserved_ = false;
    std::vector<char> reservedRow_;
    struct Saved {
        int id;
        std::vector<char> bytes;
    };
    std::vector<Saved> saved_;
    int nextSaveId_ = 1;
};
