#pragma once
// A seam for tests of a slow disk: the probes and tag reads of one name wait first, as on
// a dying disk or a hung network mount. Unset, it costs one atomic load per call.

#include <QByteArray>

namespace fsdelay {

// An empty name or 0 ms ends it.
void set(const QByteArray &name, int ms);
// Waits when name is the slow one.
void wait(const QByteArray &name);

} // namespace fsdelay
