#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace vorn {

// The user's settings: texts by key, kept in memory and persisted as a JSON object of strings.
// Every write replaces the file atomically.
class SettingsStore {
public:
    // The largest settings file that is read; a real one holds a few kilobytes.
    static constexpr std::size_t kFileLimit = std::size_t{4} << 20;

    // $VORN_SETTINGS, else $XDG_CONFIG_HOME/mosswick/settings.json, else
    // $HOME/.config/mosswick/settings.json.
    static std::string DefaultPath();

    // Parses the text of a settings file. False with a reason for anything but a JSON object
    // whose values are strings, numbers or booleans.
    static bool Parse(std::string_view text, std::map<std::string, std::string>* values,
                      std::string* why);

    void SetPath(std::string path) { mPath = std::move(path); }
    const std::string& Path() const { return mPath; }

    // Reads the file, after removing temporary files that dead writers left beside it. A
    // missing file leaves the store empty and is no error. A file that was read but does not
    // parse is moved aside to the first free name of Path() + ".bad", ".bad.1", ".bad.2", ...
    // A path that cannot be read (or whose bad file cannot be moved aside) is left as it is
    // and never written this session. The defaults apply after either; the returned text says
    // what was wrong (empty when all went well).
    std::string Load();

    bool Get(const std::string& key, std::string* value) const;
    // Keeps the value and rewrites the file; the returned text says why persisting failed
    // (the value is kept in memory then, and written with the next successful write). After a
    // Load that found the path unusable nothing is written: the first such Set says so, later
    // ones answer the empty text.
    std::string Set(const std::string& key, const std::string& value);

    // What the file would hold now.
    std::string Serialize() const { return Serialize(mValues); }
    // The file text for `values`: a pretty-printed JSON object, keys sorted. Values must be
    // valid UTF-8, as Parse and Set guarantee.
    static std::string Serialize(const std::map<std::string, std::string>& values);

private:
    std::string mPath;
    std::map<std::string, std::string> mValues;
    std::string mUnusable;  // why the path is not written this session; empty when it may be
    bool mUnusableTold = false;
    bool mWritten = false;  // the file holds every value kept here
};

}  // namespace vorn
