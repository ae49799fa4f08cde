#include "ui/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace shell_icon {

namespace {
// packaging/velloran.svg, drawn on a 64-unit square.
QPixmap drawn(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x5f, 0x8b));
    p.drawEllipse(QPointF(32, 32), 30, 30);
    QPen ring(Qt::white, 3);
    ring.setDashPattern({2.0, 4.0 / 3.0});
    p.setPen(ring);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(32, 32), 24, 24);
    QPainterPath play;
    play.moveTo(25, 19);
    play.lineTo(47, 32);
    play.lineTo(25, 45);
    play.closeSubpath();
    p.fillPath(play, Qt::white);
    return pm;
}
} // namespace

QIcon appIcon()
{
    QIcon own;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        own.addPixmap(drawn(size));
    return QIcon::fromTheme(QStringLiteral("velloran"), own);
}

} // namespace shell_icon
