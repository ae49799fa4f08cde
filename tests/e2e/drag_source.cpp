// A stand-in for a file manager in the drop check: a small window that starts a drag of
// the files named on its command line (as text/uri-list) when the mouse is pressed on it.
// Usage: drag_source X Y FILE...

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <cstdio>

class Source : public QWidget {
public:
    explicit Source(QByteArray uriList)
        : uriList(std::move(uriList))
    {
        setWindowTitle(QStringLiteral("drag-source"));
        setWindowFlag(Qt::FramelessWindowHint);
    }

protected:
    void mousePressEvent(QMouseEvent *) override
    {
        auto *data = new QMimeData;
        data->setData(QStringLiteral("text/uri-list"), uriList);
        auto *drag = new QDrag(this);
        drag->setMimeData(data);
        const Qt::DropAction done = drag->exec(Qt::CopyAction);
        std::printf("drop %s\n", done == Qt::CopyAction ? "accepted" : "refused");
        std::fflush(stdout);
        // exec() returns once the drop is sent; the target then asks this process for the
        // data, so it must live on a while, as a file manager would.
        QTimer::singleShot(3000, qApp, &QApplication::quit);
    }

private:
    QByteArray uriList;
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 4)
        return 2;
    // The names' own bytes, percent-encoded as file managers send them, whatever their encoding.
    QByteArray uriList;
    for (int i = 3; i < argc; ++i)
        uriList += "file://" + QByteArray(argv[i]).toPercentEncoding("/") + "\r\n";
    Source w(uriList);
    w.setGeometry(QString(argv[1]).toInt(), QString(argv[2]).toInt(), 160, 30);
    w.show();
    return app.exec();
}
