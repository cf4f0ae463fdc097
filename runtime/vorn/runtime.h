#pragma once

#include <memory>
#include <string>

#include "allocator.h"
#include "class_registry.h"
#include "error_state.h"
#include "member_index.h"
#include "path_table.h"
#include "py/python_side.h"
#include "scheduler.h"
#include "settings_store.h"
#include "vorn/os.h"

namespace vorn {

class RotTable;

// The object system behind VnOS. It starts on the first question whether it started, and
// shuts down once.
class Runtime final : public IVornOS {
public:
    Runtime();
    ~Runtime();

    bool IsStarted() override;
    void Shutdown() override;
    bool CreateInstance(const VnCLSID& clsid, const VnIID& iid, void** out) override;
    PyObject* SetError(int code, const VnCLSID* context, const char* format, ...) override
        VORN_PRINTF(4, 5);
    bool HasError(int code) override;
    bool GetErrorText(char** out) override;
    void* Alloc(std::size_t size) override;
    void Free(void* block) override;
    char* Setting(const char* key, const char* value, int write) override;
    bool QueryByTypeInfo(void* object, const VnIID& iid, void** out, const VnTypeInfo* type,
                         int flag) override;
    const VnMemberDescriptor* FindMember(const char* name, const VnTypeInfo* type,
                                         intptr_t* adjustment) override;
    const char* GetPath(int kind) override;
    bool SetPath(int kind, const char* path) override;
    void Pump() override;
    VnClock* GetClock() override;
    bool RegisterClass(const VnClassInfo& info) override;
    int NextWorkIn() override;
    void SetFrameInterval(double seconds) override;
    void SetPostToApp(void (*post)(void* context), void* context) override;
    void PostToApp() override;
    long LiveBlocks() override;
    int GetErrorCode() override;
    PyObject* VSetError(int code, const VnCLSID* context, const char* format, va_list args) override
        VORN_PRINTF(4, 0);
    void ObjectDestroyed(IRoot* identity) override;
    void DestroyObject(IRoot* object, void (*destroy)(IRoot* object)) override;
    VnWeakBlock* WeakBlock(IRoot* identity) override;

    // Inner parts, for the runtime's own classes.
    ErrorState& Errors() { return mErrors; }
    Allocator& Heap() { return mHeap; }
    ClassRegistry& Classes() { return mClasses; }
    PathTable& Paths() { return mPaths; }
    Scheduler& Sched() { return mScheduler; }
    SettingsStore& Settings() { return mSettings; }
    RotTable* Rot() { return mRot.get(); }
    PythonSide& Python() { return mPython; }

    // Sets the pending error from a plain text with code -1.
    void Fail(const std::string& text);

private:
    bool Start();

    enum class State { Fresh, Started, Failed, Down };
    State mState = State::Fresh;
    std::string mStartError;
    ErrorState mErrors;
    Allocator mHeap;
    ClassRegistry mClasses;
    MemberIndex mMembers;
    PathTable mPaths;
    Scheduler mScheduler;
    SettingsStore mSettings;
    PythonSide mPython;  // outlives the table, whose objects may still have wrappers
    std::unique_ptr<RotTable> mRot;
};

Runtime& TheRuntime();

}  // namespace vorn
