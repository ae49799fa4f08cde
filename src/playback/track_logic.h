#pragma once
// Pure decisions of the next-track choice.

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace track {

// Index of the first entry not played among 0..n-1, or -1.
int firstUnplayed(const std::vector<int16_t> &marks, int n);

// The new choice when an unplayed entry exists: from the current index, serially the
// next unplayed one (wrapping round), or in shuffle order draws of round(r * last) until
// an unplayed one comes up. rnd gives 0 <= r < 1.
int chooseNext(const std::vector<int16_t> &marks, int n, int currentIndex, bool shuffle,
               const std::function<double()> &rnd);

// The last four characters name a video file (compared with case).
bool isVideoFile(const QString &path);

// The shuffle generator: the same sequence from every program start.
class Random {
public:
    double next(); // 0 <= r < 1
private:
    uint64_t m_state = 0x5EED0F0A11F11E5ULL;
};

// The entry a file's end would choose, found without consuming anything: rnd is a copy.
// keep: the current entry plays again (replay One, a pick). -1: the end does something else
// first (the session's resume, or every entry played).
int peekNext(const std::vector<int16_t> &marks, int n, int currentIndex, bool shuffle, bool keep, bool resumePending,
             Random rnd);

} // namespace track
