#include "playback/video_logic.h"

#include <algorithm>
#include <cmath>

namespace videologic {

bool volumeReachesVideo(int16_t videoMode, bool mainInUse) { return videoMode == 1 || !mainInUse; }

QSize fitWindow(QSize picture, QSize available)
{
    if (!picture.isValid() || picture.isEmpty())
        return {};
    if (!available.isValid() || available.isEmpty())
        return picture;
    if (picture.width() <= available.width() && picture.height() <= available.height())
        return picture;
    const double scale
        = std::min(double(available.width()) / picture.width(), double(available.height()) / picture.height());
    // Floor, so that rounding never pushes an edge past the screen.
    return QSize(std::max(1, int(std::floor(picture.width() * scale))),
                 std::max(1, int(std::floor(picture.height() * scale))));
}

} // namespace videologic
