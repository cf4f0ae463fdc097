#include "watch/sample_ring.h"

#include <algorithm>

TSampleRing::TSampleRing(int channels, std::size_t capacity)
    : mChannels(std::clamp(channels, 1, kMaxChannels)),
      mCapacity(std::max<std::size_t>(capacity, 1)) {}

void TSampleRing::Append(double time, const float* values) {
    const auto channels = static_cast<std::size_t>(mChannels);
    if (mSize < mCapacity) {
        if (mTimes.size() == mTimes.capacity()) Grow();
        mTimes.push_back(time);
        mValues.insert(mValues.end(), values, values + channels);
        ++mSize;
        return;
    }
    // full: the oldest sample's slot takes the new one
    mTimes[mStart] = time;
    std::copy(values, values + channels,
              mValues.begin() + static_cast<std::ptrdiff_t>(mStart * channels));
    mStart = (mStart + 1) % mCapacity;
}

// Doubles the storage, never past the capacity, so a full ring holds exactly its capacity.
void TSampleRing::Grow() {
    constexpr std::size_t kFirst = 256;
    const std::size_t room = std::min(std::max(mTimes.capacity() * 2, kFirst), mCapacity);
    mTimes.reserve(room);
    mValues.reserve(room * static_cast<std::size_t>(mChannels));
}

void TSampleRing::Clear() {
    mTimes.clear();
    mValues.clear();
    mTimes.shrink_to_fit();
    mValues.shrink_to_fit();
    mStart = 0;
    mSize = 0;
}

std::size_t TSampleRing::NewestSince(double time) const {
    std::size_t first = mSize;
    while (first > 0 && Time(first - 1) >= time) --first;
    return first;
}

std::size_t TSampleRing::Bytes() const {
    return mTimes.capacity() * sizeof(double) + mValues.capacity() * sizeof(float);
}

std::size_t TSampleRing::MostBytes() const {
    return mCapacity * (sizeof(double) + sizeof(float) * static_cast<std::size_t>(mChannels));
}
