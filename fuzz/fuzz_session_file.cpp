// The session file reader on any bytes: every record the start-up reads, in its order and
// with its bounds, then the file written back from what was read.

#include "session/state_codec.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const state::Records r(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    state::Snapshot s;
    s.drive = r.readString(1).value_or(QString());
    s.folder = r.readString(2).value_or(QString());
    s.lastIndex = std::max<int16_t>(r.readInt(3), -1);
    s.resumePos = std::max<int16_t>(r.readInt(4), 0);
    s.currentEntry = r.readString(5).value_or(QString());
    s.volume = r.readInt(6);
    s.shuffleOn = r.readInt(7);
    s.previewOn = r.readInt(8);
    s.previewSecs = r.readInt(9);
    const int n = r.readInt(10);
    if (n >= 0) {
        s.playedMarks.resize(size_t(n + 1), 0);
        for (int i = 0; i <= n; ++i)
            s.playedMarks[size_t(i)] = r.readInt(state::marksRecord(i)) != 0 ? -1 : 0;
    }
    s.subdirsOn = r.readInt(state::subdirsRecord(n));
    s.selectAll = r.readInt(state::selectAllRecord(n));
    s.replayMode = r.readInt(state::replayRecord(n));
    for (int i = 0; i <= n; ++i) {
        const auto text = r.readString(state::entryRecord(n, i));
        if (text && !text->isEmpty())
            s.entries.append(*text);
    }
    s.videoMode = r.readInt(state::videoRecord(n));

    // What was read is written back whole and reads the same.
    const state::Records again(state::encode(s));
    if (again.readString(5).value_or(QString()) != (state::fitsRecord(s.currentEntry) ? s.currentEntry : QString()))
        __builtin_trap();
    if (again.readInt(4) != s.resumePos)
        __builtin_trap();
    return 0;
}
