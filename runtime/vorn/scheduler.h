#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "vorn/os.h"

namespace vorn {

// Something that wants a frame at the frame rate while it is active: a device with an attached
// surface, a recorder. Frames are run from Pump.
class FrameClient {
public:
    virtual ~FrameClient() = default;
    virtual bool WantsFrames() = 0;
    virtual void Frame(const VnClock& clock) = 0;
};

// The engine clock and everything the pump runs: timed wake-ups, posted work and frames.
// Real time is read from the monotonic clock; the *At variants take it as an argument so the
// behaviour can be checked step by step.
class Scheduler {
public:
    Scheduler();

    VnClock* Clock() { return &mClock; }
    static int64_t Now();  // monotonic real time in ticks

    void Pump() { PumpAt(Now()); }
    void PumpAt(int64_t now);
    // Milliseconds until work is due (rounded up), 0 when due now, -1 when nothing waits.
    int NextWorkIn() const { return NextWorkInAt(Now()); }
    int NextWorkInAt(int64_t now) const;

    void SetFrameInterval(double seconds);
    double FrameInterval() const;

    void AddFrameClient(FrameClient* client);
    void RemoveFrameClient(FrameClient* client);

    // Runs `fn` from the first pump at or after real time `due`. Returns an id for Cancel.
    uint64_t AddTimer(int64_t due, std::function<void()> fn);
    void CancelTimer(uint64_t id);
    // Runs `fn` from the next pump.
    void Post(std::function<void()> fn);

    void SetPostToApp(void (*post)(void*), void* context);
    void PostToApp();

private:
    bool AnyClientWantsFrames() const;
    void AdvanceClock(int64_t now);
    void RunFrame(int64_t now);
    void RunDueWork(int64_t now);

    VnClock mClock{};
    int64_t mStart = 0;
    int64_t mLastPump = 0;
    int64_t mLastFrame = 0;  // when the last frame was due; frames keep this cadence
    int64_t mLastFrameReal = 0;
    int64_t mFpsWindowStart = 0;
    int64_t mFpsFrames = 0;
    double mTickRemainder = 0.0;
    int64_t mFrameInterval = kVnTicksPerSecond / 60;
    std::vector<FrameClient*> mClients;
    // timers in the order they are due (equal times in the order they were added), and the
    // due time of each by id, so adding, cancelling and running one are logarithmic
    using TimerKey = std::pair<int64_t, uint64_t>;
    std::map<TimerKey, std::function<void()>> mTimers;
    std::unordered_map<uint64_t, int64_t> mTimerDue;
    std::vector<std::function<void()>> mPosted;
    uint64_t mNextTimerId = 1;
    mutable std::mutex mPostMutex;
    void (*mPostToApp)(void*) = nullptr;
    void* mPostContext = nullptr;
};

}  // namespace vorn
