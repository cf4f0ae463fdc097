#include "settings_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

#include "atomic_file.h"
#include "object_util.h"
#include "plain_text.h"

namespace vorn {

namespace {

using Json = nlohmann::json;

bool Fail(std::string* why, const std::string& text) {
    if (why) *why = text;
    return false;
}

std::string Join(const std::string& dir, const char* name) {
    return (!dir.empty() && dir.back() == '/' ? dir : dir + "/") + name;
}

const char* KindName(const Json& value) {
    switch (value.type()) {
        case Json::value_t::null:
            return "null";
        case Json::value_t::object:
            return "an object";
        case Json::value_t::array:
            return "a list";
        case Json::value_t::string:
            return "a text";
        case Json::value_t::boolean:
            return "a boolean";
        default:
            return "a number";
    }
}

// Hand-edited files may hold numbers and booleans; they are kept as the text a program
// would have stored.
bool ValueText(const Json& value, std::string* text) {
    switch (value.type()) {
        case Json::value_t::string:
            *text = value.get<std::string>();
            return true;
        case Json::value_t::boolean:
            *text = value.get<bool>() ? "1" : "0";
            return true;
        case Json::value_t::number_integer:
            *text = std::to_string(value.get<int64_t>());
            return true;
        case Json::value_t::number_unsigned:
            *text = std::to_string(value.get<uint64_t>());
            return true;
        case Json::value_t::number_float:
            *text = value.dump();
            return true;
        default:
            return false;
    }
}

std::string Quoted(const std::string& validUtf8) {
    return Json(validUtf8).dump(-1, ' ', false, Json::error_handler_t::replace);
}

bool IsMissing(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) != 0 && errno == ENOENT;
}

// Moves a bad file to the first free name of PATH.bad, PATH.bad.1, ...; an earlier bad file
// is never replaced.
bool MoveAside(const std::string& path, std::string* aside, std::string* why) {
    for (int n = 0; n < 1000; ++n) {
        *aside = path + ".bad" + (n ? "." + std::to_string(n) : std::string());
        if (renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside->c_str(), RENAME_NOREPLACE) == 0)
            return true;
        if (errno == EEXIST) continue;
        if (errno != EINVAL && errno != ENOSYS) return Fail(why, std::strerror(errno));
        // a file system that cannot refuse to replace: look first
        struct stat st {};
        if (lstat(aside->c_str(), &st) == 0) continue;
        if (std::rename(path.c_str(), aside->c_str()) == 0) return true;
        return Fail(why, std::strerror(errno));
    }
    return Fail(why, "every name up to " + *aside + " is taken");
}

}  // namespace

std::string SettingsStore::DefaultPath() {
    std::string explicitPath = EnvText("VORN_SETTINGS");
    if (!explicitPath.empty()) return explicitPath;
    // XDG says a relative value is invalid and must be ignored.
    std::string config = EnvText("XDG_CONFIG_HOME");
    if (config.empty() || config[0] != '/') {
        std::string home = HomeDir();
        if (home.empty()) return {};
        config = Join(home, ".config");
    }
    return Join(config, "mosswick/settings.json");
}

bool SettingsStore::Parse(std::string_view text, std::map<std::string, std::string>* values,
                          std::string* why) {
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) return Fail(why, "is empty");
    Json doc;
    try {
        doc = Json::parse(text.data(), text.data() + text.size());
    } catch (const Json::exception& e) {
        return Fail(why, "is not valid JSON (" + PlainJsonMessage(e.what()) + ")");
    }
    if (!doc.is_object())
        return Fail(why, std::string("holds ") + KindName(doc) + ", not a JSON object of settings");
    std::map<std::string, std::string> parsed;
    for (const auto& item : doc.items()) {
        if (!ValueText(item.value(), &parsed[item.key()]))
            return Fail(why, "gives the key " + Quoted(item.key()) + " " + KindName(item.value()) +
                                 "; only texts, numbers and booleans are allowed");
    }
    if (values) *values = std::move(parsed);
    return true;
}

std::string SettingsStore::Load() {
    mValues.clear();
    mUnusable.clear();
    mUnusableTold = false;
    mWritten = false;
    if (mPath.empty()) return {};
    RemoveStaleTemporaries(mPath);
    if (IsMissing(mPath)) return {};
    const std::string leftAlone =
        " is left as it is, the defaults apply and settings are not saved this session";
    std::string text;
    std::string why;
    if (!ReadRegularFile(mPath, kFileLimit, &text, &why)) {
        mUnusable = why;
        return why + "; it" + leftAlone;
    }
    if (Parse(text, &mValues, &why)) {
        mWritten = true;
        return {};
    }

    mValues.clear();
    std::string problem = "Settings file " + mPath + " " + why;
    std::string aside;
    if (!MoveAside(mPath, &aside, &why)) {
        mUnusable = problem;
        return problem + "; it cannot be moved aside (" + why + "), so it" + leftAlone;
    }
    return problem + "; it was moved to " + aside + " and defaults apply";
}

bool SettingsStore::Get(const std::string& key, std::string* value) const {
    auto found = mValues.find(key);
    if (found == mValues.end()) return false;
    if (value) *value = found->second;
    return true;
}

std::string SettingsStore::Set(const std::string& key, const std::string& value) {
    if (!IsValidUtf8(key)) return "Setting not stored: its key is not valid UTF-8";
    if (!IsValidUtf8(value))
        return "Setting " + Quoted(key) + " not stored: its value is not valid UTF-8";
    auto [at, added] = mValues.try_emplace(key, value);
    // a value the file already holds is not written again: the tool stores every setting as
    // it closes, most of them as they were
    if (!added && at->second == value && mWritten) return {};
    at->second = value;
    if (mPath.empty()) return "Settings cannot be saved: no settings file is known";
    if (!mUnusable.empty()) {
        if (mUnusableTold) return {};
        mUnusableTold = true;
        return "Settings are not saved this session: " + mUnusable;
    }
    std::string why;
    mWritten = WriteFileAtomically(mPath, Serialize(), &why);
    if (mWritten) return {};
    return why + "; the setting is kept for this session";
}

std::string SettingsStore::Serialize(const std::map<std::string, std::string>& values) {
    Json doc = Json::object();
    for (const auto& [key, value] : values) doc[key] = value;
    return doc.dump(4, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace vorn
