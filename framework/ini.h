#pragma once
// The INI manager: sections and keys of a plain INI file, and the window
// state stored per procedure. Every read and write of the file runs under
// the manager's one lock; a write goes to a temporary file renamed over the
// old one, so a crash never leaves half a file.
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// What a window tells the INI manager and what it applies (window units).
struct WindowPlacement {
    bool maximized = false;
    bool minimized = false;
    bool resizable = false;
    int x = 0, y = 0, width = 0, height = 0;
};

// What Fetch found in a window's section; the window applies it.
struct WindowPlacementFetch {
    bool apply = false;      // "Maximize" read "Yes" or "No"
    bool maximize = false;   // "Yes"
    std::optional<int> x, y;             // present keys
    std::optional<int> width, height;    // present keys, only for a resizable window
};

class INIClass {
public:
    struct Sector {
        std::string family, item, type;
    };

    INIClass() = default;
    INIClass(const INIClass&) = delete;
    INIClass& operator=(const INIClass&) = delete;

    // fileName as the program names it (".\\Sutrik.INI" is Sutrik.INI in the
    // current directory); mode 0 is a plain INI file; the last argument is
    // used by other kinds of store only. Reads the list of sectors.
    void Init(const std::string& fileName, int mode = 0, int other = 0);
    // Writes the list of sectors back and frees it. Returns false when the
    // file could not be written.
    bool Kill();

    // Keys; sections and keys are found without regard to letter case.
    std::optional<std::string> TryFetch(const std::string& section, const std::string& key) const;
    std::string Fetch(const std::string& section, const std::string& key,
                      const std::string& defaultValue = {}) const;
    // Each returns false when the file could not be written; nothing is lost
    // then: the old file stays as it was.
    bool Update(const std::string& section, const std::string& key, const std::string& value);
    bool DeleteKey(const std::string& section, const std::string& key);

    // Window state: what to apply to a window that opens, and the keys
    // stored when it closes.
    WindowPlacementFetch FetchWindow(const std::string& procedure, bool resizable) const;
    bool UpdateWindow(const std::string& procedure, const WindowPlacement& placement);

    const std::vector<Sector>& Sectors() const { return sectors_; }
    std::string FilePath() const { return path_; }

private:
    struct Entry {
        std::string key, value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };
    using Document = std::vector<Section>;
    Document load() const;
    bool store(const Document& doc) const;

    mutable std::mutex lock_;
    std::string path_;
    std::vector<Sector> sectors_;
};
