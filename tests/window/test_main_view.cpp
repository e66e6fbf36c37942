#include "window/RARMainView.h"

#include <QImage>
#include <QTest>

// The background view: colour parsing on its own, then the painted gradient.
class TestMainView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void colorFromText_data();
    void colorFromText();
    void gradientRunsBottomToTop();
};

void TestMainView::colorFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QColor>("expected");
    QTest::newRow("start colour") << u"FFD89B"_qs << QColor(255, 216, 155);
    QTest::newRow("0x prefix") << u"0x19546B"_qs << QColor(25, 84, 107);
    QTest::newRow("leading blanks") << u"  \t19546B"_qs << QColor(25, 84, 107);
    QTest::newRow("number sign") << u"#19546B"_qs << QColor(0, 0, 0);
    QTest::newRow("null") << QString() << QColor(0, 0, 0);
    QTest::newRow("stops at non-digit") << u"FFD8zz"_qs << QColor(0, 0xFF, 0xD8);
    QTest::newRow("alpha byte ignored") << u"80FFD89B"_qs << QColor(255, 216, 155);
    QTest::newRow("saturates") << u"123456789ABC"_qs << QColor(255, 255, 255);
    QTest::newRow("0x without digits") << u"0xG"_qs << QColor(0, 0, 0);
}

void TestMainView::colorFromText()
{
    QFETCH(QString, text);
    QFETCH(QColor, expected);
    const QColor color = RARMainView::colorWithHexColorString(text);
    QCOMPARE(color.red(), expected.red());
    QCOMPARE(color.green(), expected.green());
    QCOMPARE(color.blue(), expected.blue());
    QCOMPARE(color.alpha(), 255);
}

void TestMainView::gradientRunsBottomToTop()
{
    RARMainView view;
    view.resize(200, 300);
    const QImage image = view.grab().toImage();
    const QColor top = image.pixelColor(100, 0);
    const QColor bottom = image.pixelColor(100, image.height() - 1);
    QVERIFY2(qAbs(top.red() - 25) <= 3 && qAbs(top.green() - 84) <= 3 && qAbs(top.blue() - 107) <= 3,
             qPrintable(top.name()));
    QVERIFY2(qAbs(bottom.red() - 255) <= 3 && qAbs(bottom.green() - 216) <= 3
                 && qAbs(bottom.blue() - 155) <= 3,
             qPrintable(bottom.name()));
    const QColor middle = image.pixelColor(100, 150);
    QVERIFY(middle.red() > top.red() && middle.red() < bottom.red());
    // The same colour across a row: the gradient is vertical.
    QCOMPARE(image.pixelColor(0, 150), image.pixelColor(199, 150));
}

QTEST_MAIN(TestMainView)
#include "test_main_view.moc"
