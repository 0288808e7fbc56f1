#pragma once
// The INI manager: sections and keys of a plain INI file, and the window
// state stored per procedure.
//
// The file is never lost (it holds the list of sectors other programs
// rely on):
// - a file that exists but cannot be read (no permission, a directory or a
//   dangling link in its place, a read error) is left as it is: nothing is
//   written over it, reads find nothing, every write returns false;
// - every write goes to a temporary file of its own beside it (a unique
//   name per write) renamed over the old one, so a crash or a second copy of
//   the program never leaves half a file or an empty one;
// - every update is one read-modify-write under the manager's lock and, for
//   other processes, an exclusive lock on the file's directory;
// - lines the program does not understand (comments, lines without a key,
//   a blank key as "=[X]") and lines it does not change are written back as
//   they were; a UTF-8 byte-order mark is read past and kept.
// When the file cannot be read or kept, the user is told once per manager
// (a notice box, "Settings"); the program has one manager.
//
// The file as last read or written is kept in memory and used again while
// the file is unchanged (the same inode, size, modification and change
// times), so opening a window does not read and parse the file each time;
// another process's write (a rename over it, or a change in place) is seen
// on the next read. A copy read within a few milliseconds of its last
// change is not trusted again, since a second change in the same tick of the
// file system's clock would leave the times as they were. Writes are never
// held back: each one is written through at once.
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/file_stamp.h"

// What a window tells the INI manager and what it applies (window units).
struct WindowPlacement {
    bool maximized = false;
    bool minimized = false;
    bool resizable = false;
    int x = 0, y = 0, width = 0, height = 0;
};

// What Fetch found in a window's section; the window applies it.
struct WindowPlacementFetch {
    bool apply = false;                // "Maximize" read "Yes" or "No"
    bool maximize = false;             // "Yes"
    std::optional<int> x, y;           // present keys
    std::optional<int> width, height;  // present keys, only for a resizable window
};

class INIClass {
  public:
    struct Sector {
        std::string family, item, type;
    };
    // Whether trouble with the file is shown to the user (once) or only
    // returned; checks outside the program (test runners) stay silent.
    enum class Notice { Once, Never };

    explicit INIClass(Notice notice = Notice::Once) : notice_(notice) {}
    INIClass(const INIClass&) = delete;
    INIClass& operator=(const INIClass&) = delete;

    // fileName as the program names it (".\\Sutrik.INI" is Sutrik.INI in the
    // current directory); mode 0 is a plain INI file; the last argument is
    // used by other kinds of store only. Reads the list of sectors: "Sectors"
    // gives the count n, and the list runs up to the highest i <= n for which
    // "Sectors_i" is present (a gap below it reads as an empty sector). A
    // count beyond the entries present never makes more than that, so Kill
    // writes back the count of the entries actually kept.
    void Init(const std::string& fileName, int mode = 0, int other = 0);
    // Writes the list of sectors back and frees it. Returns false when the
    // file could not be written, and when Init could not read the list
    // (writing an empty list over it would lose it).
    bool Kill();

    // Keys; sections and keys are found without regard to letter case.
    std::optional<std::string> TryFetch(const std::string& section, const std::string& key) const;
    std::string Fetch(const std::string& section, const std::string& key,
                      const std::string& defaultValue = {}) const;
    // Each returns false when the file could not be read or written; nothing
    // is lost then: the old file stays as it was.
    bool Update(const std::string& section, const std::string& key, const std::string& value);
    bool DeleteKey(const std::string& section, const std::string& key);

    // Window state: what to apply to a window that opens, and the keys
    // stored when it closes.
    WindowPlacementFetch FetchWindow(const std::string& procedure, bool resizable) const;
    bool UpdateWindow(const std::string& procedure, const WindowPlacement& placement);

    const std::vector<Sector>& Sectors() const { return sectors_; }
    std::string FilePath() const { return path_; }

    // The text of the notice box.
    static constexpr const char* NoticeTitle = "Settings";
    std::string NoticeText() const;

  private:
    struct Entry {
        std::string key, value;  // key empty: a line the program does not read
        std::string raw;         // the line as read
        bool asRead = false;     // written back as raw (false once changed, or new)
    };
    struct Section {
        std::string name;
        std::string header;  // the header line as read; empty for a new section
        std::vector<Entry> entries;
    };
    struct Document {
        bool bom = false;
        std::vector<Section> sections;  // sections[0]: the lines before the first header
    };
    enum class Read { Ok, Missing, Unreadable };
    using Stamp = rt::FileStamp;
    static void parse(std::string_view text, Document& doc);
    // The file as it is now: the kept copy while the file is unchanged, else
    // read again (and kept when read whole). Under lock_.
    Read current(const Document*& doc) const;
    Read load(Document& doc, std::optional<Stamp>& stamp) const;
    // Writes doc in place of the file and keeps it as the copy on success.
    bool store(const Document& doc) const;
    // Runs change over the file as read, under both locks, and writes the
    // result when change returns true; returns whether that all went well.
    template <typename Change>
    bool modify(Change change);
    // Shows the notice box the first time the file lets the program down.
    void troubleOnce() const;

    mutable std::mutex lock_;
    std::string path_;
    // The kept copy (under lock_): cached_ holds the file as stamp_ says,
    // while stamp_ is set.
    mutable Document cached_;
    mutable std::optional<Stamp> stamp_;
    std::vector<Sector> sectors_;
    bool sectorsRead_ = false;  // Init read the list (or found no file)
    const Notice notice_;
    mutable std::atomic<bool> told_{false};
};
