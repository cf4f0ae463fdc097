#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "vorn/iroot.h"

// The engine clock. Times are ticks of 100 ns; the field positions are fixed because
// programs written against the runtime read them directly.
struct VnClock {
    int64_t frameCount;       // frames counted since the start
    int64_t currentTime;      // clock time, advanced by real time x speed
    double framesPerSecond;   // measured over the last second of real frames
    int64_t realTime;         // real time elapsed since the start
    int64_t frameTime;        // clock ticks the last pump advanced
    double lastFrameSeconds;  // real seconds between the last two frames
    int64_t reserved;
    int64_t sliderTime;  // where the time slider points
    double speed;        // clock seconds per real second
};
static_assert(offsetof(VnClock, currentTime) == 8, "clock layout");
static_assert(offsetof(VnClock, framesPerSecond) == 16, "clock layout");
static_assert(offsetof(VnClock, sliderTime) == 56, "clock layout");
static_assert(offsetof(VnClock, speed) == 64, "clock layout");

constexpr int64_t kVnTicksPerSecond = 10000000;

// A class the runtime can create. `create` returns a new object holding one reference, or
// null with the pending error set. Static classes have no `create`.
struct VnClassInfo {
    const VnTypeInfo* type;
    IRoot* (*create)();
};

// Kinds of path.
enum VnPathKind : int {
    kVnPathBase = 0,      // screenshots and captures
    kVnPathResource = 1,  // the resource directory
    kVnPathMacro = 4      // the macro directory
};

struct VnWeakBlock;

// The object system.
class IVornOS {
public:
    virtual bool IsStarted() = 0;
    virtual void Shutdown() = 0;
    // Makes an object of the class and answers it as `iid`; the caller owns one reference.
    virtual bool CreateInstance(const VnCLSID& clsid, const VnIID& iid, void** out) = 0;
    // Sets the pending error and returns null, so a Python method can return it directly.
    // SetError(0, nullptr, nullptr) clears it.
    virtual PyObject* SetError(int code, const VnCLSID* context, const char* format, ...)
        VORN_PRINTF(4, 5) = 0;
    // With code 0, whether any error is pending; otherwise whether one with that code is.
    virtual bool HasError(int code) = 0;
    // Hands out an Alloc'ed copy of the pending error's text (empty when none).
    virtual bool GetErrorText(char** out) = 0;
    virtual void* Alloc(std::size_t size) = 0;
    virtual void Free(void* block) = 0;
    // write 0: an Alloc'ed copy of the stored text, or of `value` when the key is not set.
    // write 1: stores `value` and returns an Alloc'ed copy of it. Null on failure.
    virtual char* Setting(const char* key, const char* value, int write) = 0;
    // Answers a query from a type's interface tables; `object` is the implementation start.
    virtual bool QueryByTypeInfo(void* object, const VnIID& iid, void** out, const VnTypeInfo* type,
                                 int flag) = 0;
    // Finds a member by name in the type or its bases; `adjustment` receives the offset of
    // the declaring part within the object.
    virtual const VnMemberDescriptor* FindMember(const char* name, const VnTypeInfo* type,
                                                 intptr_t* adjustment) = 0;
    // Paths always end with "/"; the text stays valid until the next SetPath of that kind.
    virtual const char* GetPath(int kind) = 0;
    virtual bool SetPath(int kind, const char* path) = 0;
    // Advances the clock, wakes due work and renders due frames. Never blocks.
    virtual void Pump() = 0;
    virtual VnClock* GetClock() = 0;

    // Makes a class known to CreateInstance. The records must outlive the runtime.
    virtual bool RegisterClass(const VnClassInfo& info) = 0;
    // Milliseconds until the runtime next has work, 0 when due now, -1 when nothing waits.
    virtual int NextWorkIn() = 0;
    // The frame interval used while anything is animated, rendered or recorded.
    virtual void SetFrameInterval(double seconds) = 0;
    // Lets runtime code wake the embedding program's event loop (from any thread).
    virtual void SetPostToApp(void (*post)(void* context), void* context) = 0;
    // Asks the embedding program to pump soon; a no-op without a registered callback.
    virtual void PostToApp() = 0;
    // Number of Alloc'ed blocks not yet freed; for checks that texts were given back.
    virtual long LiveBlocks() = 0;
    virtual int GetErrorCode() = 0;
    virtual PyObject* VSetError(int code, const VnCLSID* context, const char* format, va_list args)
        VORN_PRINTF(4, 0) = 0;
    // Called by an object as it is destroyed, so what the runtime keeps per object goes too.
    virtual void ObjectDestroyed(IRoot* identity) = 0;
    // Runs `destroy(object)` for an object whose last reference went: at once, or, while
    // another object is being destroyed on this thread, right after that one, so releases that
    // set off releases never nest, however long the chain.
    virtual void DestroyObject(IRoot* object, void (*destroy)(IRoot* object)) = 0;
    // The block the weak references to `identity` share, with one more holder counted for the
    // caller; made on the first weak reference and cleared when the object's last reference goes.
    virtual VnWeakBlock* WeakBlock(IRoot* identity) = 0;

protected:
    ~IVornOS() = default;
};

VORN_API extern IVornOS* VnOS;
