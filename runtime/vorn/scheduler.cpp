#include "scheduler.h"

#include <time.h>

#include <algorithm>
#include <climits>
#include <cmath>

namespace vorn {

namespace {
constexpr int64_t kTicksPerMillisecond = kVnTicksPerSecond / 1000;
constexpr double kShortestFrame = 0.001;
constexpr double kLongestFrame = 1.0;
}  // namespace

Scheduler::Scheduler() {
    mStart = Now();
    mLastPump = mLastFrame = mLastFrameReal = mFpsWindowStart = mStart;
    mClock.speed = 1.0;
}

int64_t Scheduler::Now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * kVnTicksPerSecond + ts.tv_nsec / 100;
}

void Scheduler::PumpAt(int64_t now) {
    AdvanceClock(now);
    if (now - mLastFrame >= mFrameInterval) RunFrame(now);
    RunDueWork(now);
}

void Scheduler::AdvanceClock(int64_t now) {
    int64_t elapsed = now > mLastPump ? now - mLastPump : 0;
    mLastPump = std::max(mLastPump, now);
    double exact = static_cast<double>(elapsed) * mClock.speed + mTickRemainder;
    int64_t advance = 0;
    // programs write the speed field directly, so a speed that makes no sense stops the clock
    if (std::isfinite(exact) && std::fabs(exact) < 9.0e18) {
        advance = static_cast<int64_t>(std::trunc(exact));
        mTickRemainder = exact - static_cast<double>(advance);
    } else {
        mTickRemainder = 0.0;
    }
    int64_t moved = 0;
    if (__builtin_add_overflow(mClock.currentTime, advance, &moved))
        moved = advance > 0 ? INT64_MAX : INT64_MIN;
    mClock.frameTime = moved - mClock.currentTime;
    mClock.currentTime = moved;
    mClock.realTime = now - mStart;
}

void Scheduler::RunFrame(int64_t now) {
    ++mClock.frameCount;
    mClock.lastFrameSeconds =
        static_cast<double>(now - mLastFrameReal) / static_cast<double>(kVnTicksPerSecond);
    mLastFrameReal = now;
    // keeping the cadence stops rounded wake-ups from lowering the rate; after a stall restart
    mLastFrame += mFrameInterval;
    if (now - mLastFrame >= mFrameInterval) mLastFrame = now;

    // the rate says how often something was drawn: frames nobody draws do not count
    if (AnyClientWantsFrames()) ++mFpsFrames;
    int64_t window = now - mFpsWindowStart;
    if (window >= kVnTicksPerSecond) {
        mClock.framesPerSecond = static_cast<double>(mFpsFrames) *
                                 static_cast<double>(kVnTicksPerSecond) /
                                 static_cast<double>(window);
        mFpsWindowStart = now;
        mFpsFrames = 0;
    }

    // a client may remove itself or others while it draws
    std::vector<FrameClient*> clients = mClients;
    for (FrameClient* client : clients) {
        bool present = std::find(mClients.begin(), mClients.end(), client) != mClients.end();
        if (present && client->WantsFrames()) client->Frame(mClock);
    }
}

void Scheduler::RunDueWork(int64_t now) {
    // timers added while this runs wait for the next pump, so one that re-adds itself cannot spin
    const uint64_t firstNew = mNextTimerId;
    TimerKey next{INT64_MIN, 0};  // every timer before this key has run or was skipped
    for (;;) {
        auto due = mTimers.lower_bound(next);
        while (due != mTimers.end() && due->first.first <= now && due->first.second >= firstNew)
            ++due;
        if (due == mTimers.end() || due->first.first > now) break;
        next = {due->first.first, due->first.second + 1};
        std::function<void()> fn = std::move(due->second);
        mTimerDue.erase(due->first.second);
        mTimers.erase(due);
        if (fn) fn();
    }

    std::vector<std::function<void()>> posted;
    {
        std::lock_guard<std::mutex> lock(mPostMutex);
        posted.swap(mPosted);
    }
    for (auto& fn : posted) fn();
}

int Scheduler::NextWorkInAt(int64_t now) const {
    {
        std::lock_guard<std::mutex> lock(mPostMutex);
        if (!mPosted.empty()) return 0;
    }
    int64_t wait = INT64_MAX;
    if (!mTimers.empty()) wait = mTimers.begin()->first.first - now;
    if (AnyClientWantsFrames()) wait = std::min(wait, mLastFrame + mFrameInterval - now);
    if (wait == INT64_MAX) return -1;
    if (wait <= 0) return 0;
    int64_t ms = wait / kTicksPerMillisecond + (wait % kTicksPerMillisecond ? 1 : 0);
    return static_cast<int>(std::min<int64_t>(ms, INT_MAX));
}

void Scheduler::SetFrameInterval(double seconds) {
    if (std::isnan(seconds)) return;
    seconds = std::clamp(seconds, kShortestFrame, kLongestFrame);
    mFrameInterval = std::llround(seconds * static_cast<double>(kVnTicksPerSecond));
}

double Scheduler::FrameInterval() const {
    return static_cast<double>(mFrameInterval) / static_cast<double>(kVnTicksPerSecond);
}

void Scheduler::AddFrameClient(FrameClient* client) {
    if (client && std::find(mClients.begin(), mClients.end(), client) == mClients.end())
        mClients.push_back(client);
}

void Scheduler::RemoveFrameClient(FrameClient* client) {
    mClients.erase(std::remove(mClients.begin(), mClients.end(), client), mClients.end());
}

bool Scheduler::AnyClientWantsFrames() const {
    return std::any_of(mClients.begin(), mClients.end(),
                       [](FrameClient* client) { return client->WantsFrames(); });
}

uint64_t Scheduler::AddTimer(int64_t due, std::function<void()> fn) {
    uint64_t id = mNextTimerId++;
    mTimers.emplace(TimerKey{due, id}, std::move(fn));
    mTimerDue.emplace(id, due);
    return id;
}

void Scheduler::CancelTimer(uint64_t id) {
    auto known = mTimerDue.find(id);
    if (known == mTimerDue.end()) return;
    mTimers.erase(TimerKey{known->second, id});
    mTimerDue.erase(known);
}

void Scheduler::Post(std::function<void()> fn) {
    if (!fn) return;
    {
        std::lock_guard<std::mutex> lock(mPostMutex);
        mPosted.push_back(std::move(fn));
    }
    PostToApp();
}

void Scheduler::SetPostToApp(void (*post)(void*), void* context) {
    std::lock_guard<std::mutex> lock(mPostMutex);
    mPostToApp = post;
    mPostContext = context;
}

void Scheduler::PostToApp() {
    void (*post)(void*) = nullptr;
    void* context = nullptr;
    {
        std::lock_guard<std::mutex> lock(mPostMutex);
        post = mPostToApp;
        context = mPostContext;
    }
    if (post) post(context);
}

}  // namespace vorn
