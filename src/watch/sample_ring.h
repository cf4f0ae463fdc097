#pragma once

#include <cstddef>
#include <vector>

// The last samples of one watch: (clock time, up to four values) in a ring of fixed capacity.
// Storage grows as samples come, never past the capacity; then the oldest is overwritten.
class TSampleRing {
public:
    static constexpr int kMaxChannels = 4;
    // 10 minutes at 60 samples a second
    static constexpr std::size_t kCapacity = 10 * 60 * 60;

    explicit TSampleRing(int channels, std::size_t capacity = kCapacity);

    int Channels() const { return mChannels; }
    std::size_t Size() const { return mSize; }
    std::size_t Capacity() const { return mCapacity; }
    // Sample `i`, 0 the oldest kept.
    double Time(std::size_t i) const { return mTimes[Slot(i)]; }
    float Value(std::size_t i, int channel) const {
        return mValues[Slot(i) * static_cast<std::size_t>(mChannels) + channel];
    }
    // `values` holds Channels() numbers.
    void Append(double time, const float* values);
    void Clear();
    // The oldest of the newest samples that all lie at or after `time` (Size() when the newest
    // does not): the clock may have jumped back, so the samples are walked from the newest.
    std::size_t NewestSince(double time) const;
    // Bytes the ring holds for its samples now, and at most.
    std::size_t Bytes() const;
    std::size_t MostBytes() const;

private:
    void Grow();
    std::size_t Slot(std::size_t i) const { return (mStart + i) % mCapacity; }

    int mChannels;
    std::size_t mCapacity;
    std::size_t mStart = 0;
    std::size_t mSize = 0;
    std::vector<double> mTimes;
    std::vector<float> mValues;
};
