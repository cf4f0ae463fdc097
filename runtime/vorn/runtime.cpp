#include "runtime.h"

#include <cstdlib>
#include <cstring>

#include "kalix/kx_device.h"
#include "query.h"
#include "rot_table.h"
#include "trashcan.h"
#include "vorn_list.h"
#include "weak_registry.h"

IVornOS* VnOS = &vorn::TheRuntime();
IVornROT* VnROT = nullptr;

namespace vorn {

Runtime& TheRuntime() {
    static Runtime runtime;
    return runtime;
}

Runtime::Runtime() = default;
Runtime::~Runtime() = default;

bool Runtime::Start() {
    mPaths.Init(PathTable::ProgramDir(PathTable::ExecutableDir()));
    mSettings.SetPath(SettingsStore::DefaultPath());
    std::string settingsProblem = mSettings.Load();

    mRot = std::make_unique<RotTable>();
    VnROT = mRot.get();
    // "creating" the table answers the one table
    mClasses.Register({RotTable::Type(), [] { return TheRuntime().Rot()->Root(); }});
    VornList::RegisterClass();

    if (!mPython.Start(&mStartError) || !kalix::StartEngine(&mStartError)) {
        mErrors.SetText(-1, mStartError.c_str());
        return false;
    }
    // Reported once, after start, so that a bad settings file never stops the runtime.
    if (!settingsProblem.empty()) Fail(settingsProblem);
    return true;
}

bool Runtime::IsStarted() {
    if (mState == State::Fresh) mState = Start() ? State::Started : State::Failed;
    return mState == State::Started;
}

void Runtime::Shutdown() {
    if (mState != State::Started) return;
    mState = State::Down;
    mPython.Stop();
    kalix::StopEngine();
    if (mRot) mRot->RevokeAll();
}

void Runtime::ObjectDestroyed(IRoot* identity) {
    // embedded objects go with their owner, never through DestroyObject
    WeakRegistry::Clear(identity);
    mPython.ObjectDestroyed(identity);
}

void Runtime::DestroyObject(IRoot* object, void (*destroy)(IRoot*)) {
    WeakRegistry::Clear(object);  // now: the object may wait in the queue, already unlockable
    Trashcan::Destroy(object, destroy);
}

VnWeakBlock* Runtime::WeakBlock(IRoot* identity) { return WeakRegistry::BlockOf(identity); }

bool Runtime::CreateInstance(const VnCLSID& clsid, const VnIID& iid, void** out) {
    if (!out) return false;
    *out = nullptr;
    VnClassInfo info{};
    if (!mClasses.Find(clsid, &info)) {
        Fail("Unknown class " + ClassIdText(clsid));
        return false;
    }
    if (!info.create) {
        Fail("Class " + ClassIdText(*info.type->clsid) + " cannot be created");
        return false;
    }
    IRoot* object = info.create();
    if (!object) {
        if (!mErrors.Has(0)) Fail("Class " + ClassIdText(*info.type->clsid) + " made no object");
        return false;
    }
    bool ok = object->QueryInterface(iid, out, 0);
    object->Release();
    return ok;
}

PyObject* Runtime::SetError(int code, const VnCLSID* context, const char* format, ...) {
    va_list args;
    va_start(args, format);
    VSetError(code, context, format, args);
    va_end(args);
    return nullptr;
}

PyObject* Runtime::VSetError(int code, const VnCLSID* context, const char* format, va_list args) {
    mErrors.Set(code, context, format, args);
    return nullptr;
}

void Runtime::Fail(const std::string& text) { mErrors.SetText(-1, text.c_str()); }

bool Runtime::HasError(int code) { return mErrors.Has(code); }

int Runtime::GetErrorCode() { return mErrors.Code(); }

bool Runtime::GetErrorText(char** out) {
    if (!out) return false;
    std::string text = mErrors.Text();
    *out = mHeap.Dup(text.data(), text.size());
    return *out != nullptr;
}

void* Runtime::Alloc(std::size_t size) { return mHeap.Alloc(size); }

void Runtime::Free(void* block) {
    if (!mHeap.Free(block)) Fail("Free: the block was not handed out by Alloc, or is already free");
}

long Runtime::LiveBlocks() { return mHeap.Live(); }

char* Runtime::Setting(const char* key, const char* value, int write) {
    if (!key || !*key) {
        Fail("Setting: a key is required");
        return nullptr;
    }
    if (write) {
        std::string problem = mSettings.Set(key, value ? value : "");
        if (!problem.empty()) Fail(problem);
        return mHeap.Dup(value);
    }
    std::string stored;
    if (mSettings.Get(key, &stored)) return mHeap.Dup(stored.data(), stored.size());
    return mHeap.Dup(value);
}

bool Runtime::QueryByTypeInfo(void* object, const VnIID& iid, void** out, const VnTypeInfo* type,
                              int flag) {
    if (QueryTable(object, iid, out, type)) return true;
    if (flag == 0) {
        std::string cls = (type && type->clsid) ? ClassIdText(*type->clsid) : "(unknown)";
        std::string name(iid.name, strnlen(iid.name, sizeof iid.name));
        Fail("Object of class " + cls + " does not support interface " + name + " version " +
             std::to_string(iid.version));
    }
    return false;
}

const VnMemberDescriptor* Runtime::FindMember(const char* name, const VnTypeInfo* type,
                                              intptr_t* adjustment) {
    return mMembers.Find(name, type, adjustment);
}

const char* Runtime::GetPath(int kind) {
    const char* path = mPaths.Get(kind);
    if (!path) Fail("Unknown path kind " + std::to_string(kind));
    return path;
}

bool Runtime::SetPath(int kind, const char* path) {
    std::string why;
    if (!mPaths.Set(kind, path, &why)) {
        Fail(why);
        return false;
    }
    if (kind == kVnPathResource) mPython.ResourceDirChanged(mPaths.Get(kind));
    return true;
}

void Runtime::Pump() { mScheduler.Pump(); }

VnClock* Runtime::GetClock() { return mScheduler.Clock(); }

bool Runtime::RegisterClass(const VnClassInfo& info) {
    if (mClasses.Register(info)) return true;
    Fail("RegisterClass: the class record is incomplete, or another record has its id");
    return false;
}

int Runtime::NextWorkIn() { return mScheduler.NextWorkIn(); }

void Runtime::SetFrameInterval(double seconds) { mScheduler.SetFrameInterval(seconds); }

void Runtime::SetPostToApp(void (*post)(void*), void* context) {
    mScheduler.SetPostToApp(post, context);
}

void Runtime::PostToApp() { mScheduler.PostToApp(); }

}  // namespace vorn
