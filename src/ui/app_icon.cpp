#include "ui/app_icon.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRect>

namespace shell_icon {

namespace {
// packaging/velloran.svg, drawn on a 64-unit square, at the size asked for when it is asked
// for: no pixmap of every size is kept for the whole run.
class DrawnIcon : public QIconEngine {
public:
    void paint(QPainter *p, const QRect &rect, QIcon::Mode, QIcon::State) override
    {
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        p->translate(rect.topLeft());
        p->scale(rect.width() / 64.0, rect.height() / 64.0);
        p->setPen(Qt::NoPen);
        p->setBrush(QColor(0x1f, 0x5f, 0x8b));
        p->drawEllipse(QPointF(32, 32), 30, 30);
        QPen ring(Qt::white, 3);
        ring.setDashPattern({2.0, 4.0 / 3.0});
        p->setPen(ring);
        p->setBrush(Qt::NoBrush);
        p->drawEllipse(QPointF(32, 32), 24, 24);
        QPainterPath play;
        play.moveTo(25, 19);
        play.lineTo(47, 32);
        play.lineTo(25, 45);
        play.closeSubpath();
        p->fillPath(play, Qt::white);
        p->restore();
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        paint(&p, QRect(QPoint(0, 0), size), mode, state);
        return pm;
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
            sizes.append(QSize(size, size));
        return sizes;
    }
    QIconEngine *clone() const override { return new DrawnIcon; }
    QString key() const override { return QStringLiteral("velloran-drawn"); }
};
} // namespace

QIcon appIcon() { return QIcon::fromTheme(QStringLiteral("velloran"), QIcon(new DrawnIcon)); }

} // namespace shell_icon
