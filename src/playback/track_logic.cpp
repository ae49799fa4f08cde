#include "playback/track_logic.h"

#include "base/numtext.h"

#include <QStringList>

namespace track {

namespace {
bool played(const std::vector<int16_t> &marks, int i)
{
    return i >= 0 && size_t(i) < marks.size() && marks[size_t(i)] != 0;
}
} // namespace

int firstUnplayed(const std::vector<int16_t> &marks, int n)
{
    for (int i = 0; i < n; ++i)
        if (!played(marks, i))
            return i;
    return -1;
}

int chooseNext(const std::vector<int16_t> &marks, int n, int currentIndex, bool shuffle,
               const std::function<double()> &rnd)
{
    if (n <= 0 || firstUnplayed(marks, n) < 0)
        return -1;
    const int last = n - 1;
    int idx = currentIndex;
    do {
        if (shuffle) {
            idx = int(numtext::roundHalfEven(rnd() * last));
        } else if (idx < 0 || idx > last) {
            idx = 0;
        } else if (played(marks, idx)) {
            if (++idx > last)
                idx = 0;
        }
    } while (played(marks, idx));
    return idx;
}

int peekNext(const std::vector<int16_t> &marks, int n, int currentIndex, bool shuffle, bool keep, bool resumePending,
             Random rnd)
{
    // The same branches as the choice itself, in the same order.
    if (keep && currentIndex >= 0)
        return currentIndex;
    if (!keep && resumePending)
        return -1;
    return chooseNext(marks, n, currentIndex, shuffle, [&rnd] { return rnd.next(); });
}

bool isVideoFile(const QString &path)
{
    // Films of today follow the eleven older extensions, tested the same way.
    static const QStringList ext = {"mpeg", ".mpg", ".avi", ".asf", ".wmv", ".jpg", "jpeg", ".mpe", ".m1v",
                                    "mpv2", "mp2v", ".mp4", ".m4v", ".mkv", "webm", ".mov", ".ogv"};
    return ext.contains(path.right(4));
}

double Random::next()
{
    // splitmix64: small, well mixed, and fully determined by its starting state.
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return double(z >> 11) * 0x1.0p-53;
}

} // namespace track
