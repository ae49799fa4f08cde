#pragma once
// One chapter of a media file: where it starts, in seconds, and its title.

#include <QString>

struct Chapter {
    double start = 0;
    QString title;
};
