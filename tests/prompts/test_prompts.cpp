#include "FakeItemController.h"
#include "TestEnvironment.h"

#include "extraction/RARItem.h"
#include "platform/encoding/EncodingRegistry.h"
#include "platform/encoding/IcuTextCodec.h"
#include "platform/encoding/XADString.h"
#include "prompts/QXEncodingPopUp.h"
#include "prompts/QXEncodingWindowController.h"
#include "prompts/QXErrorWindowController.h"
#include "prompts/QXPasswordWindowController.h"

#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <functional>
#include <memory>
#include <optional>

namespace {

// The extraction controller as far as the prompts see it: it only counts
// the releases of the waiting worker.
class CountingController : public ItemController {
public:
    int releases = 0;
    // Looks at the item at the moment the worker would wake.
    std::function<void()> onRelease;
    void passwordWithItem(std::shared_ptr<RARItem>) override {}
    void encodingWithItem(std::shared_ptr<RARItem>, const XADString &) override {}
    void errorTipWithItem(std::shared_ptr<RARItem>) override {}
    void startConditionLock() override {}
    void stopConditionLock() override { ++releases, onRelease ? onRelease() : void(); }
    void extractFinished(std::shared_ptr<RARItem>) override {}
};

// How a prompt is left.
enum Leave { Sure, ReturnKey, Cancel, EscapeKey, Close };

quint64 numberOf(const char *name)
{
    return EncodingRegistry::instance().numberForName(QString::fromLatin1(name));
}

int rowOf(const QXEncodingPopUp *popUp, quint64 encoding)
{
    for (int row = 0; row < popUp->count(); ++row) {
        if (popUp->itemData(row, QXEncodingPopUp::EncodingRole).value<quint64>() == encoding)
            return row;
    }
    return -1;
}

const QByteArray gbkChinese = QByteArray::fromHex("d6d0cec4b1a8b8e6"); // 中文报告 in GBK

} // namespace

// The password, encoding and error prompts: each request is answered into
// the item and releases the waiting worker exactly once, however the sheet
// is left.
class TestPrompts : public QObject {
    Q_OBJECT

    std::optional<TestEnvironment> m_env;
    std::unique_ptr<QWidget> m_mainWindow;
    CountingController m_controller;

    std::shared_ptr<RARItem> makeItem(const QString &fileName = u"secret.zip"_qs)
    {
        auto item = std::make_shared<RARItem>(QDir(m_env->home()).filePath(fileName));
        item->setVc(std::make_unique<FakeItemRow>(&m_controller));
        return item;
    }

    // What the controller does for each request.
    static void ask(QXPromptWindowController &prompt, const std::shared_ptr<RARItem> &item)
    {
        prompt.endSheet();
        prompt.setItem(item);
        prompt.window()->open();
        QVERIFY(prompt.window()->isVisible());
    }

    static void leave(QXPromptWindowController &prompt, Leave how, QWidget *keys,
                      const std::function<void()> &sure, const std::function<void()> &cancel)
    {
        switch (how) {
        case Sure: return sure();
        case ReturnKey: return QTest::keyClick(keys, Qt::Key_Return);
        case Cancel: return cancel();
        case EscapeKey: return QTest::keyClick(keys, Qt::Key_Escape);
        case Close: prompt.window()->close(); return;
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_env.emplace();
        m_mainWindow = std::make_unique<QWidget>();
        m_mainWindow->show();
        QVERIFY(numberOf("GBK") && numberOf("CESU-8") && numberOf("UTF-7"));
    }

    void init()
    {
        m_controller.releases = 0;
        m_controller.onRelease = nullptr;
    }

    void passwordAnswers_data()
    {
        QTest::addColumn<int>("how");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored"); // the item had "earlier" before
        QTest::addColumn<int>("releases");
        QTest::newRow("confirm, typed as is") << int(Sure) << u"  pass word \t"_qs << u"  pass word \t"_qs << 1;
        QTest::newRow("Return") << int(ReturnKey) << u"s3cret "_qs << u"s3cret "_qs << 1;
        QTest::newRow("cancel") << int(Cancel) << u"typed"_qs << u"earlier"_qs << 1;
        QTest::newRow("Escape") << int(EscapeKey) << u"typed"_qs << u"earlier"_qs << 1;
        QTest::newRow("close") << int(Close) << u"typed"_qs << u"earlier"_qs << 1;
        const QStringList blanks{QString(), u"   "_qs, u"\n\t \r\n"_qs, u"(null)"_qs};
        for (qsizetype i = 0; i < blanks.size(); ++i) {
            QTest::addRow("blank %lld, confirm", qlonglong(i)) << int(Sure) << blanks[i] << u"earlier"_qs << 0;
            QTest::addRow("blank %lld, Return", qlonglong(i)) << int(ReturnKey) << blanks[i] << u"earlier"_qs << 0;
        }
    }

    void passwordAnswers()
    {
        QFETCH(int, how);
        QFETCH(QString, typed);
        QFETCH(int, releases);
        QXPasswordWindowController prompt(m_mainWindow.get());
        auto item = makeItem();
        item->setPassword(u"earlier"_qs);
        ask(prompt, item);
        prompt.passwordTextField()->setText(typed);
        // The answer is in place, and the sheet gone, before the worker wakes.
        QString seen;
        bool sheetUp = true;
        m_controller.onRelease = [&] {
            seen = item->password();
            sheetUp = prompt.window()->isVisible();
        };
        leave(prompt, Leave(how), prompt.passwordTextField(), [&] { prompt.sureAction(); },
              [&] { prompt.cancelAction(); });
        QTEST(item->password(), "stored");
        QCOMPARE(m_controller.releases, releases);
        QCOMPARE(prompt.isAwaitingAnswer(), releases == 0);
        QCOMPARE(prompt.window()->isVisible(), releases == 0);
        if (releases) {
            QCOMPARE(seen, item->password());
            QVERIFY(!sheetUp);
        }
        // A second answer to the same request releases nothing.
        prompt.sureAction();
        prompt.cancelAction();
        QCOMPARE(m_controller.releases, 1);
    }

    // The sample each entry shows for a name. CESU-8 and UTF-7 spell a lone
    // surrogate and decode it without complaint: never listed. A sample this
    // machine has no glyphs for is not shown as boxes.
    void samplesOfTheList_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("listed"); // null: left out
        QTest::addColumn<int>("drawable");   // -1: up to the fonts of the machine
        const auto row = [](const char *name, const char *encoding, const QByteArray &bytes, const QString &listed,
                            int drawable) { QTest::newRow(name) << QByteArray(encoding) << bytes << listed << drawable; };
        row("CESU-8 high", "CESU-8", QByteArray::fromHex("eda080"), QString(), 0);
        row("CESU-8 low", "CESU-8", QByteArray::fromHex("edb080"), QString(), 0);
        row("UTF-7 high", "UTF-7", "+2AA-", QString(), 0);
        row("CESU-8 pair", "CESU-8", QByteArray::fromHex("eda0bdedb880"), u"\U0001F600"_qs, -1);
        for (const QByteArray &name : {QByteArray("report 2024.txt"), QByteArray("Gr\xc3\xb6\xc3\x9f" "e.txt"),
                                       QByteArray("a\xe2\x80\x8d" "b")})
            row(name.constData(), "UTF-8", name, QString::fromUtf8(name), 1);
        row("private use", "UTF-8", "a\xf3\xb0\x80\x80", QString::fromUtf8("a\xf3\xb0\x80\x80"), 0);
    }

    void samplesOfTheList()
    {
        QFETCH(QByteArray, encoding);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, listed);
        QFETCH(int, drawable);
        QXEncodingPopUp popUp;
        popUp.configEncodingWithString(XADString(bytes, 0, 0.0f));
        QVERIFY(popUp.count() > 0); // the single-byte encodings read anything
        const int row = rowOf(&popUp, numberOf(encoding.constData()));
        QCOMPARE(row >= 0, !listed.isNull());
        if (row < 0)
            return;
        QCOMPARE(popUp.itemData(row, QXEncodingPopUp::SampleRole).toString(), listed);
        const QString shown = QXEncodingPopUp::preview(popUp.model()->index(row, 0));
        QVERIFY(popUp.itemText(row).endsWith(shown));
        if (drawable >= 0) {
            QCOMPARE(popUp.itemData(row, QXEncodingPopUp::DrawableRole).toBool(), drawable == 1);
            QCOMPARE(shown == listed, drawable == 1);
        }
    }

    // A person reads every name of the list, each once: no ICU converter
    // name or alias ("ibm-1250_P100-1995", "windows-57002") is shown.
    void everyListedNameIsReadableAndShownOnce()
    {
        static const QRegularExpression readable(u"^[A-Z][A-Za-z -]+ \\([^()]+\\)$"_qs);
        const auto list = QXEncodingPopUp::encodings();
        QVERIFY(list.size() > 150);
        QSet<QString> names;
        QSet<quint64> numbers;
        for (const auto &entry : list) {
            QVERIFY2(readable.match(entry.name).hasMatch(), qPrintable(entry.name));
            QVERIFY2(IcuTextCodec::converterNameFor(entry.name.toLatin1().constData()).isEmpty(),
                     qPrintable(entry.name));
            QVERIFY2(!names.contains(entry.name), qPrintable(entry.name));
            names.insert(entry.name);
            numbers.insert(entry.encoding);
        }
        QCOMPARE(numbers.size(), names.size());
    }

    void encodingAnswers_data()
    {
        QTest::addColumn<int>("how");
        QTest::addColumn<bool>("emptied");
        QTest::addColumn<bool>("chosen"); // true: GBK stored, else the earlier encoding stays
        QTest::newRow("confirm") << int(Sure) << false << true;
        QTest::newRow("Return") << int(ReturnKey) << false << true;
        QTest::newRow("cancel") << int(Cancel) << false << false;
        QTest::newRow("Escape") << int(EscapeKey) << false << false;
        QTest::newRow("close") << int(Close) << false << false;
        QTest::newRow("confirm, empty list") << int(Sure) << true << false;
    }

    void encodingAnswers()
    {
        QFETCH(int, how);
        QFETCH(bool, emptied);
        QFETCH(bool, chosen);
        QXEncodingWindowController prompt(m_mainWindow.get());
        auto item = makeItem(u"照片.zip"_qs);
        const quint64 earlier = numberOf("Shift_JIS");
        item->setEncoding(earlier);
        prompt.encodingPopUp()->configEncodingWithString(XADString(gbkChinese, 0, 0.0f));
        ask(prompt, item);
        QXEncodingPopUp *popUp = prompt.encodingPopUp();
        popUp->setCurrentIndex(rowOf(popUp, numberOf("GBK")));
        if (emptied)
            popUp->clear();
        QCOMPARE(prompt.sureButton()->isEnabled(), !emptied);
        quint64 seen = 0;
        m_controller.onRelease = [&] { seen = item->encoding(); };
        leave(prompt, Leave(how), popUp, [&] { prompt.sureAction(); }, [&] { prompt.cancelAction(); });
        QCOMPARE(item->encoding(), chosen ? numberOf("GBK") : earlier);
        QCOMPARE(seen, item->encoding());
        QCOMPARE(m_controller.releases, 1);
        QVERIFY(!prompt.window()->isVisible());
    }

    void errorPromptAnswers_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("confirm") << int(Sure);
        QTest::newRow("Return") << int(ReturnKey);
        QTest::newRow("Escape") << int(EscapeKey);
        QTest::newRow("close") << int(Close);
    }

    void errorPromptAnswers()
    {
        QFETCH(int, how);
        QXErrorWindowController prompt(m_mainWindow.get());
        const QString reason = u"“Quarterly report.zip” could not be extracted. The archive is damaged."_qs;
        prompt.setErrorInfo(reason);
        // Text that is not valid leaves the label as it was.
        for (const QString &bad : {QString(), u"  \n"_qs, u"(null)"_qs})
            prompt.setErrorInfo(bad);
        QCOMPARE(prompt.errorLabel()->text(), reason);
        const auto item = makeItem();
        ask(prompt, item);
        leave(prompt, Leave(how), prompt.window(), [&] { prompt.sureAction(); }, {});
        QCOMPARE(m_controller.releases, 1);
        QVERIFY(!prompt.window()->isVisible());
        prompt.sureAction();
        QCOMPARE(m_controller.releases, 1);
    }

};

QTEST_MAIN(TestPrompts)
#include "test_prompts.moc"
