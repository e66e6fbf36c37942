#include "window/RARMainView.h"

#include <QColor>
#include <QTest>

// The background view reads its gradient colours from hex text.
class TestMainView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void colorFromText_data();
    void colorFromText();
};

void TestMainView::colorFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QColor>("expected");
    QTest::newRow("start colour") << u"FFD89B"_qs << QColor(255, 216, 155);
    QTest::newRow("0x prefix") << u"0x19546B"_qs << QColor(25, 84, 107);
    QTest::newRow("number sign") << u"#19546B"_qs << QColor(0, 0, 0);
    QTest::newRow("stops at non-digit") << u"FFD8zz"_qs << QColor(0, 0xFF, 0xD8);
    QTest::newRow("alpha byte ignored") << u"80FFD89B"_qs << QColor(255, 216, 155);
    QTest::newRow("saturates") << u"123456789ABC"_qs << QColor(255, 255, 255);
}

void TestMainView::colorFromText()
{
    QFETCH(QString, text);
    QFETCH(QColor, expected);
    QCOMPARE(RARMainView::colorWithHexColorString(text).rgba(), expected.rgba());
}

QTEST_MAIN(TestMainView)
#include "test_main_view.moc"
