// Rounding and the number and time texts every message and display uses.

#include "base/numtext.h"

#include <QTest>

using namespace numtext;

class TestNumtext : public QObject {
    Q_OBJECT
private slots:
    void halvesGoToEven()
    {
        QCOMPARE(roundHalfEven(12.5), 12LL);
        QCOMPARE(roundHalfEven(13.5), 14LL);
        QCOMPARE(roundHalfEven(-2.5), -2LL);
        QCOMPARE(roundHalfEven(2.4999), 2LL);
        QCOMPARE(roundHalfEven(0.3), 0LL);
        QCOMPARE(roundHalfEven(std::nan("")), 0LL);
    }

    void numberTextHasSignPosition()
    {
        QCOMPARE(N(0), QStringLiteral(" 0"));
        QCOMPARE(N(10), QStringLiteral(" 10"));
        QCOMPARE(N(-2), QStringLiteral("-2"));
        QCOMPARE(N(32767), QStringLiteral(" 32767"));
    }

    void timeFieldsHaveTwoDigits()
    {
        QCOMPARE(F(5), QStringLiteral("05"));
        QCOMPARE(F(12), QStringLiteral("12"));
        QCOMPARE(F(0), QStringLiteral("00"));
        QCOMPARE(F(6.8), QStringLiteral("07"));
        QCOMPARE(F(-2), QStringLiteral("-02"));
        QCOMPARE(F(125), QStringLiteral("125"));
        // 1 h 2 min 5 s, and a length of 3 h 3 min 20 s
        QCOMPARE(hmsText(3725), QStringLiteral("01:02:05"));
        QCOMPARE(hmsText(10999), QStringLiteral("03:03:19"));
        QCOMPARE(hmsText(0), QStringLiteral("00:00:00"));
    }

    void sixteenBitClamp()
    {
        QCOMPARE(toInt16(40000), int16_t(32767));
        QCOMPARE(toInt16(-40000), int16_t(-32768));
        QCOMPARE(toInt16(-1), int16_t(-1));
    }
};

QTEST_APPLESS_MAIN(TestNumtext)
#include "test_numtext.moc"
