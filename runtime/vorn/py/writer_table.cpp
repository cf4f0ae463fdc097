#include "writer_table.h"

// the interpreter's own frame record, read directly on the version it describes
#if PY_VERSION_HEX >= 0x030B0000 && PY_VERSION_HEX < 0x030C0000
#define Py_BUILD_CORE 1
#include "internal/pycore_frame.h"
#undef Py_BUILD_CORE
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "../object_util.h"
#include "../runtime.h"
#include "vorn/os.h"

namespace vorn {

namespace {

struct Entry {
    const VnMemberDescriptor* member = nullptr;
    int64_t time = 0;
    uint64_t order = 0;
    PyObject* code = nullptr;  // held; a script's frame, with `lasti`, until it is made text
    int lasti = 0;
    bool whereMade = false;  // `where` says the line of `code` and `lasti`
    std::string kind;        // empty for a script
    std::string where;
};

using Entries = std::vector<Entry>;
using Table = std::unordered_map<IRoot*, Entries>;

// Never destroyed: objects released by static destructors at exit still find it.
Table& TheTable() {
    static Table* table = new Table();
    return *table;
}

// The last object written, its entries and the entry last written: scripts write the same
// member over and over.
IRoot* gLastObject = nullptr;
Entries* gLastEntries = nullptr;
Entry* gLastEntry = nullptr;

// Counts recorded writes, so the last of several at one clock time is known.
uint64_t gWrites = 0;

// The clock lives as long as the runtime; asked for once.
const VnClock* gClock = nullptr;

inline int64_t Now() {
    if (!gClock) gClock = TheRuntime().Sched().Clock();
    return gClock->currentTime;
}

Entry& FindEntry(IRoot* identity, const VnMemberDescriptor* member) {
    if (identity != gLastObject) {
        gLastEntries = &TheTable()[identity];
        gLastObject = identity;
    }
    for (Entry& entry : *gLastEntries)
        if (entry.member == member) return *(gLastEntry = &entry);
    gLastEntries->push_back(Entry{});
    gLastEntries->back().member = member;
    return *(gLastEntry = &gLastEntries->back());
}

// The entry last written is looked at first: scripts write the same member over and over.
inline Entry& EntryOf(IRoot* identity, const VnMemberDescriptor* member) {
    if (identity == gLastObject && gLastEntry && gLastEntry->member == member) return *gLastEntry;
    return FindEntry(identity, member);
}

void Release(Entry& entry) { Py_CLEAR(entry.code); }

// The code the running Python frame executes (borrowed) and the byte offset of its instruction;
// false outside Python. A write is recorded at every assignment, so on the interpreter this was
// built for the frame is read as the interpreter keeps it, without making a frame object.
bool RunningCode(PyObject** code, int* lasti) {
#if PY_VERSION_HEX >= 0x030B0000 && PY_VERSION_HEX < 0x030C0000
    const _PyInterpreterFrame* frame = PyThreadState_GET()->cframe->current_frame;
    if (!frame) return false;
    *code = reinterpret_cast<PyObject*>(frame->f_code);
    *lasti = _PyInterpreterFrame_LASTI(frame) * static_cast<int>(sizeof(_Py_CODEUNIT));
    return true;
#else
    PyFrameObject* frame = PyEval_GetFrame();
    if (!frame) return false;
    PyCodeObject* running = PyFrame_GetCode(frame);
    *code = reinterpret_cast<PyObject*>(running);
    *lasti = PyFrame_GetLasti(frame);
    Py_DECREF(running);  // the frame holds it while it runs
    return true;
#endif
}

std::string BaseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// "file.py:12" for the code object and instruction a script wrote from.
std::string FrameText(PyObject* code, int lasti) {
    auto* c = reinterpret_cast<PyCodeObject*>(code);
    const char* file = PyUnicode_Check(c->co_filename) ? PyUnicode_AsUTF8(c->co_filename) : nullptr;
    if (!file) PyErr_Clear();
    return BaseName(file ? file : "?") + ":" + std::to_string(PyCode_Addr2Line(c, lasti));
}

void MakeText(Entry& entry) {
    if (!entry.code) return;
    entry.where = FrameText(entry.code, entry.lasti);
    Release(entry);
}

void Copy(const char* text, char* out, std::size_t capacity) {
    std::snprintf(out, capacity, "%s", text);
}

}  // namespace

void writer_table::RecordScript(IRoot* identity, const VnMemberDescriptor* member) {
    Entry& entry = EntryOf(identity, member);
    entry.time = Now();
    entry.order = ++gWrites;
    if (!entry.kind.empty()) entry.kind.clear();
    entry.whereMade = false;
    PyObject* code = nullptr;
    if (!RunningCode(&code, &entry.lasti)) {
        Py_CLEAR(entry.code);
        entry.where = "?";
        return;
    }
    if (code == entry.code) return;  // a loop writing again: the code is held already
    Py_INCREF(code);
    std::swap(entry.code, code);  // the entry now holds the new code, `code` the old one
    Py_XDECREF(code);
}

void writer_table::RecordTool(IRoot* identity, const VnMemberDescriptor* member, const char* kind,
                              const char* where) {
    Entry& entry = EntryOf(identity, member);
    entry.time = Now();
    entry.order = ++gWrites;
    if (Py_IsInitialized()) Release(entry);
    entry.code = nullptr;
    entry.kind = kind && *kind ? kind : "editor";
    entry.where = where ? where : "";
}

bool writer_table::Find(IRoot* identity, const VnMemberDescriptor* member, VnWriter* out) {
    Table& table = TheTable();
    auto found = table.find(identity);
    if (found == table.end()) return false;
    for (Entry& entry : found->second) {
        if (entry.member != member) continue;
        // the line is worked out once per write, however often the writer is asked for
        if (entry.code && !entry.whereMade && Py_IsInitialized()) {
            entry.where = FrameText(entry.code, entry.lasti);
            entry.whereMade = true;
        }
        Copy(entry.kind.empty() ? "script" : entry.kind.c_str(), out->kind, sizeof out->kind);
        Copy(entry.where.c_str(), out->where, sizeof out->where);
        out->time = entry.time;
        out->order = entry.order;
        return true;
    }
    return false;
}

void writer_table::Forget(IRoot* identity) {
    Table& table = TheTable();
    if (table.empty()) return;
    auto found = table.find(identity);
    if (found == table.end()) return;
    if (gLastObject == identity)
        gLastObject = nullptr, gLastEntries = nullptr, gLastEntry = nullptr;
    Entries entries = std::move(found->second);
    table.erase(found);
    // a code object's end runs no script, but it is let go only once the table is settled
    if (Py_IsInitialized())
        for (Entry& entry : entries) Release(entry);
}

void writer_table::Settle() {
    for (auto& [identity, entries] : TheTable())
        for (Entry& entry : entries) MakeText(entry);
}

}  // namespace vorn

void VnRecordWriter(IRoot* object, const VnMemberDescriptor* member, const char* kind,
                    const char* where) {
    IRoot* identity = object ? vorn::Identity(object) : nullptr;
    if (identity && member) vorn::writer_table::RecordTool(identity, member, kind, where);
}

void VnRecordScriptWriter(IRoot* object, const VnMemberDescriptor* member) {
    IRoot* identity = object ? vorn::Identity(object) : nullptr;
    if (identity && member) vorn::writer_table::RecordScript(identity, member);
}

bool VnGetWriter(IRoot* object, const VnMemberDescriptor* member, VnWriter* out) {
    IRoot* identity = object ? vorn::Identity(object) : nullptr;
    return identity && member && out && vorn::writer_table::Find(identity, member, out);
}
