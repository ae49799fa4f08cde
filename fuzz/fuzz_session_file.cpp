// The session file reader on any bytes, as the start-up reads them, then the file written
// back from what was read.

#include "fuzz_target.h"
#include "state/session_file.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const state::Decoded d = state::decode(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    const state::Snapshot &s = d.snapshot;
    if (s.lastIndex < -1 || s.resumePos < 0 || d.savedAt.size() != size_t(s.entries.size()))
        __builtin_trap();

    // What was read is written back whole and reads the same.
    const state::Snapshot again = state::decode(state::encode(s)).snapshot;
    if (again.drive != s.drive || again.folder != s.folder || again.currentEntry != s.currentEntry
        || again.entries != s.entries || again.lastIndex != s.lastIndex || again.resumePos != s.resumePos
        || again.volume != s.volume || again.videoMode != s.videoMode)
        __builtin_trap();
    return 0;
}
