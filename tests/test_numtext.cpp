#include "session/numtext.h"
#include <QTest>
class TestNumtext : public QObject { Q_OBJECT private slots: void x() {} };
QTEST_MAIN(TestNumtext)
#include "test_numtext.moc"
