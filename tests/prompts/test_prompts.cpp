#include "MetaCommentTranslator.h"
#include "TestEnvironment.h"

#include "extraction/ItemController.h"
#include "extraction/ItemRow.h"
#include "extraction/RARItem.h"
#include "platform/encoding/EncodingRegistry.h"
#include "platform/encoding/XADString.h"
#include "prompts/QXEncodingPopUp.h"
#include "prompts/QXEncodingWindowController.h"
#include "prompts/QXErrorWindowController.h"
#include "prompts/QXPasswordWindowController.h"
#include "support/Localized.h"

#include <QAbstractItemView>
#include <QCollator>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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
    void stopConditionLock() override
    {
        ++releases;
        if (onRelease)
            onRelease();
    }
    void extractFinished(std::shared_ptr<RARItem>) override {}
};

class BareRow : public ItemRow {
public:
    explicit BareRow(ItemController *controller) : m_controller(controller) {}
    void setProgress(double) override {}
    ItemController *controller() const override { return m_controller; }

private:
    ItemController *m_controller;
};

quint64 numberOf(const char *name)
{
    const quint64 number = EncodingRegistry::instance().numberForName(QString::fromLatin1(name));
    if (number == 0)
        qFatal("encoding %s is not in the registry", name);
    return number;
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

class TestPrompts : public QObject {
    Q_OBJECT

private:
    std::optional<TestEnvironment> m_env;
    std::unique_ptr<MetaCommentTranslator> m_strings;
    std::unique_ptr<QWidget> m_mainWindow;
    CountingController m_controller;

    std::shared_ptr<RARItem> makeItem(const QString &fileName = u"secret.zip"_qs)
    {
        auto item = std::make_shared<RARItem>(QDir(m_env->home()).filePath(fileName));
        item->setVc(std::make_unique<BareRow>(&m_controller));
        return item;
    }

    // What the controller does for each password request.
    void askPassword(QXPasswordWindowController &prompt, const std::shared_ptr<RARItem> &item)
    {
        prompt.endSheet();
        prompt.setItem(item);
        prompt.passwordTextField()->setText(QString());
        prompt.window()->open();
        QVERIFY(prompt.window()->isVisible());
    }

    void askEncoding(QXEncodingWindowController &prompt, const std::shared_ptr<RARItem> &item,
                     const QByteArray &name)
    {
        prompt.endSheet();
        prompt.setItem(item);
        prompt.encodingPopUp()->configEncodingWithString(XADString(name, 0, 0.0f));
        prompt.window()->open();
        QVERIFY(prompt.window()->isVisible());
    }

    void saveScreenshot(QWidget *window, const QString &name)
    {
        const QString folder = QStringLiteral(QUILLBOX_SCREENSHOT_DIR);
        QVERIFY(QDir().mkpath(folder));
        QCoreApplication::processEvents();
        QVERIFY(window->grab().save(QDir(folder).filePath(name)));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_env.emplace();
        m_strings = std::make_unique<MetaCommentTranslator>(QStringLiteral(QUILLBOX_SOURCE_DIR));
        QVERIFY(QCoreApplication::installTranslator(m_strings.get()));
        m_mainWindow = std::make_unique<QWidget>();
        m_mainWindow->resize(480, 320);
        m_mainWindow->show();
    }

    void init()
    {
        m_controller.releases = 0;
        m_controller.onRelease = nullptr;
    }

    // Password prompt

    void passwordWindowIsASheetOnTheMainWindow()
    {
        QXPasswordWindowController prompt(m_mainWindow.get());
        QDialog *window = prompt.window();
        QCOMPARE(prompt.window(), window);
        QCOMPARE(window->parentWidget(), m_mainWindow.get());
        QCOMPARE(window->windowModality(), Qt::WindowModal);
        QCOMPARE(window->width(), 420);
        QCOMPARE(prompt.passwordTextField()->echoMode(), QLineEdit::Password);
        QCOMPARE(prompt.sureButton()->text(), localizedString("sure"));
        QCOMPARE(prompt.cancelButton()->text(), localizedString("cancel"));
        QCOMPARE(prompt.infoLabel()->text(), localizedString("psd_info"));
        QVERIFY(prompt.infoLabel()->wordWrap());
        QVERIFY(prompt.sureButton()->isDefault());
    }

    void passwordIsStoredAsTyped()
    {
        QXPasswordWindowController prompt(m_mainWindow.get());
        auto item = makeItem();
        askPassword(prompt, item);
        prompt.passwordTextField()->setText(u"  pass word \t"_qs);
        // The answer is in place, and the sheet gone, before the worker wakes.
        QString seen;
        bool sheetUp = true;
        m_controller.onRelease = [&] {
            seen = item->password();
            sheetUp = prompt.window()->isVisible();
        };
        prompt.sureAction();
        QCOMPARE(seen, u"  pass word \t"_qs);
        QVERIFY(!sheetUp);
        QCOMPARE(item->password(), u"  pass word \t"_qs);
        QCOMPARE(m_controller.releases, 1);
        QVERIFY(!prompt.window()->isVisible());
        QVERIFY(!prompt.isAwaitingAnswer());
    }

    void blankPasswordIsIgnored_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("empty") << QString();
        QTest::newRow("spaces") << u"   "_qs;
        QTest::newRow("line breaks") << u"\n\t \r\n"_qs;
        QTest::newRow("(null)") << u"(null)"_qs;
    }

    void blankPasswordIsIgnored()
    {
        QFETCH(QString, typed);
        QXPasswordWindowController prompt(m_mainWindow.get());
        auto item = makeItem();
        askPassword(prompt, item);
        prompt.passwordTextField()->setText(typed);
        QVERIFY(!prompt.sureButton()->isEnabled());
        prompt.sureAction();
        QTest::keyClick(prompt.passwordTextField(), Qt::Key_Return);
        QVERIFY(item->password().isNull());
        QCOMPARE(m_controller.releases, 0);
        QVERIFY(prompt.window()->isVisible());
        QVERIFY(prompt.isAwaitingAnswer());
        prompt.cancelAction();
    }

    void cancelKeepsAnEarlierPassword()
    {
        QXPasswordWindowController prompt(m_mainWindow.get());
        auto item = makeItem();
        askPassword(prompt, item);
        prompt.cancelAction();
        QVERIFY(item->password().isNull());
        QCOMPARE(m_controller.releases, 1);

        item->setPassword(u"first"_qs);
        askPassword(prompt, item);
        QCOMPARE(prompt.passwordTextField()->text(), QString());
        prompt.passwordTextField()->setText(u"second"_qs);
        prompt.cancelAction();
        QCOMPARE(item->password(), u"first"_qs);
        QCOMPARE(m_controller.releases, 2);
        QVERIFY(!prompt.window()->isVisible());
    }

    void oneRequestIsReleasedOnce()
    {
        QXPasswordWindowController prompt(m_mainWindow.get());
        auto item = makeItem();
        askPassword(prompt, item);
        prompt.passwordTextField()->setText(u"pw"_qs);
        prompt.sureAction();
        prompt.sureAction();
        prompt.cancelAction();
        QCOMPARE(m_controller.releases, 1);
        QCOMPARE(item->password(), u"pw"_qs);

        // The next request is answered again, typing into the field.
        prompt.window()->open();
        prompt.cancelButton()->setFocus();
        prompt.window()->hide();
        askPassword(prompt, item);
        QCOMPARE(prompt.window()->focusWidget(), prompt.passwordTextField());
        prompt.cancelAction();
        QCOMPARE(m_controller.releases, 2);
    }

    void passwordKeys()
    {
        QXPasswordWindowController prompt(m_mainWindow.get());
        auto item = makeItem();
        askPassword(prompt, item);
        QTest::keyClicks(prompt.passwordTextField(), u"s3cret "_qs);
        QTest::keyClick(prompt.passwordTextField(), Qt::Key_Return);
        QCOMPARE(item->password(), u"s3cret "_qs);
        QCOMPARE(m_controller.releases, 1);

        auto other = makeItem(u"other.zip"_qs);
        askPassword(prompt, other);
        QTest::keyClicks(prompt.passwordTextField(), u"typed"_qs);
        QTest::keyClick(prompt.passwordTextField(), Qt::Key_Escape);
        QVERIFY(other->password().isNull());
        QCOMPARE(m_controller.releases, 2);
        QVERIFY(!prompt.window()->isVisible());
    }

    void closingTheWindowCancels()
    {
        QXPasswordWindowController prompt(m_mainWindow.get());
        auto item = makeItem();
        askPassword(prompt, item);
        prompt.passwordTextField()->setText(u"unsent"_qs);
        QVERIFY(prompt.window()->close());
        QVERIFY(item->password().isNull());
        QCOMPARE(m_controller.releases, 1);
    }

    void passwordScreenshot()
    {
        QXPasswordWindowController prompt(m_mainWindow.get());
        askPassword(prompt, makeItem(u"Quarterly report.zip"_qs));
        QTest::keyClicks(prompt.passwordTextField(), u"hunter2"_qs);
        saveScreenshot(prompt.window(), u"prompt_password.png"_qs);
        prompt.cancelAction();
    }

    // Encoding list and pop-up

    void wellFormedness()
    {
        QVERIFY(QXEncodingPopUp::isWellFormedUTF16(QString()));
        QVERIFY(QXEncodingPopUp::isWellFormedUTF16(u"plain"_qs));
        QVERIFY(QXEncodingPopUp::isWellFormedUTF16(u"a\U0001F600b"_qs));
        QVERIFY(QXEncodingPopUp::isWellFormedUTF16(u"\U0001F600"_qs));
        const auto units = [](std::initializer_list<char16_t> list) {
            return QString(reinterpret_cast<const QChar *>(list.begin()), qsizetype(list.size()));
        };
        QVERIFY(!QXEncodingPopUp::isWellFormedUTF16(units({u'a', 0xD83D})));
        QVERIFY(!QXEncodingPopUp::isWellFormedUTF16(units({0xD83D, u'a'})));
        QVERIFY(!QXEncodingPopUp::isWellFormedUTF16(units({0xDE00, u'a'})));
        QVERIFY(!QXEncodingPopUp::isWellFormedUTF16(units({u'a', 0xDE00})));
        QVERIFY(!QXEncodingPopUp::isWellFormedUTF16(units({0xD83D, 0xD83D, 0xDE00})));
        QVERIFY(!QXEncodingPopUp::isWellFormedUTF16(units({0xD83D, 0xDE00, 0xDE00})));
        QVERIFY(QXEncodingPopUp::isWellFormedUTF16(units({0xD83D, 0xDE00, 0xD83D, 0xDE00})));
    }

    void encodingListIsCompleteAndClean()
    {
        const QList<QXEncodingPopUp::Entry> list = QXEncodingPopUp::encodings();
        QVERIFY(list.size() > 20);
        QSet<quint64> numbers;
        for (const auto &entry : list) {
            QVERIFY(!entry.name.isEmpty());
            QVERIFY(entry.encoding != 0);
            QVERIFY2(entry.encoding != EncodingRegistry::UTF16, qPrintable(entry.name));
            numbers.insert(entry.encoding);
        }
        QCOMPARE(numbers.size(), list.size());
        QVERIFY(numbers.contains(EncodingRegistry::UTF8));
        QVERIFY(numbers.contains(numberOf("GBK")));
        // Every registry encoding with a display name is there, except UTF-16.
        qsizetype named = 0;
        for (const auto &encoding : EncodingRegistry::instance().encodings())
            named += !encoding.displayName.isEmpty() && encoding.number != EncodingRegistry::UTF16;
        QCOMPARE(list.size(), named);
    }

    void encodingListSortsIgnoringCaseWithNumbersByValue()
    {
        const QList<QXEncodingPopUp::Entry> list = QXEncodingPopUp::encodings();
        QCollator collator(QLocale(QLocale::English, QLocale::UnitedStates));
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        collator.setNumericMode(true);
        for (qsizetype i = 1; i < list.size(); ++i)
            QVERIFY2(collator.compare(list[i - 1].name, list[i].name) <= 0,
                     qPrintable(list[i - 1].name + u" / "_qs + list[i].name));

    }

    void sortingComparesNumbersByValueAndIgnoresCase()
    {
        QList<QXEncodingPopUp::Entry> list = {
            {u"Latin 10"_qs, 1}, {u"latin 2"_qs, 2}, {u"Latin 1"_qs, 3},
            {u"ARABIC (DOS 864)"_qs, 4}, {u"arabic (dos 720)"_qs, 5}, {u"Arabic (DOS 1000)"_qs, 6},
        };
        QXEncodingPopUp::sortEncodings(list);
        QStringList names;
        for (const auto &entry : list)
            names.append(entry.name);
        QCOMPARE(names, (QStringList{u"arabic (dos 720)"_qs, u"ARABIC (DOS 864)"_qs, u"Arabic (DOS 1000)"_qs,
                                     u"Latin 1"_qs, u"latin 2"_qs, u"Latin 10"_qs}));
    }

    void widestName()
    {
        const QFont font = QApplication::font();
        const QFontMetricsF metrics(font);
        qreal expected = 0;
        for (const auto &entry : QXEncodingPopUp::encodings())
            expected = std::max(expected, metrics.horizontalAdvance(entry.name));
        QVERIFY(expected > 0);
        QCOMPARE(QXEncodingPopUp::maximumEncodingNameWidth(font), qreal(float(expected)));
    }

    void gbkNameIsListedWithItsSample()
    {
        QXEncodingPopUp popUp;
        popUp.configEncodingWithString(XADString(gbkChinese, 0, 0.0f));
        const int gbk = rowOf(&popUp, numberOf("GBK"));
        QVERIFY(gbk >= 0);
        const QString sample = u"中文报告"_qs;
        QCOMPARE(popUp.itemData(gbk, QXEncodingPopUp::SampleRole).toString(), sample);
        const QString name = popUp.itemData(gbk, QXEncodingPopUp::NameRole).toString();
        QCOMPARE(name, EncodingRegistry::instance().displayNameForNumber(numberOf("GBK")));
        QCOMPARE(popUp.itemText(gbk), name + u"\t\u2708\uFE0E "_qs + sample);
        QCOMPARE(QXEncodingPopUp::separator().size(), 4);
        QCOMPARE(rowOf(&popUp, EncodingRegistry::UTF16), -1);
        QCOMPARE(rowOf(&popUp, EncodingRegistry::UTF8), -1); // not valid UTF-8
        QCOMPARE(popUp.tabStop(), qreal(float(QXEncodingPopUp::maximumEncodingNameWidth(popUp.mainFont())) + 8.0f));
        QVERIFY(popUp.sampleFont().pointSizeF() < popUp.mainFont().pointSizeF());

        // Exactly the encodings that decode the name cleanly, in list order.
        const XADString xad(gbkChinese, 0, 0.0f);
        int row = 0;
        for (const auto &entry : QXEncodingPopUp::encodings()) {
            if (!xad.canDecodeWithEncoding(entry.encoding)
                || !QXEncodingPopUp::isWellFormedUTF16(xad.stringWithEncoding(entry.encoding)))
                continue;
            QVERIFY(row < popUp.count());
            QCOMPARE(popUp.itemData(row, QXEncodingPopUp::EncodingRole).value<quint64>(), entry.encoding);
            QCOMPARE(popUp.itemData(row, QXEncodingPopUp::SampleRole).toString(),
                     xad.stringWithEncoding(entry.encoding));
            ++row;
        }
        QCOMPARE(popUp.count(), row);
        QCOMPARE(popUp.currentIndex(), 0);
    }

    void asciiNameReadsTheSameEverywhere()
    {
        QXEncodingPopUp popUp;
        popUp.configEncodingWithString(XADString(QByteArrayLiteral("readme.txt"), 0, 0.0f));
        QVERIFY(popUp.count() > 10);
        QVERIFY(rowOf(&popUp, EncodingRegistry::UTF8) >= 0);
        QVERIFY(rowOf(&popUp, numberOf("ISO-8859-1")) >= 0);
        for (int row = 0; row < popUp.count(); ++row) {
            const QString sample = popUp.itemData(row, QXEncodingPopUp::SampleRole).toString();
            const QString name = popUp.itemData(row, QXEncodingPopUp::NameRole).toString();
            // 7-bit shift encodings (UTF-7 and the like) may read ASCII differently.
            if (sample != u"readme.txt"_qs)
                QVERIFY2(!name.contains(u"UTF-8"_qs), qPrintable(name + u": "_qs + sample));
        }
        QCOMPARE(popUp.itemData(rowOf(&popUp, EncodingRegistry::UTF8), QXEncodingPopUp::SampleRole).toString(),
                 u"readme.txt"_qs);
    }

    void refillingReplacesTheEntries()
    {
        const auto entries = [](const QXEncodingPopUp &popUp) {
            QList<QPair<quint64, QString>> list;
            for (int row = 0; row < popUp.count(); ++row)
                list.append({popUp.itemData(row, QXEncodingPopUp::EncodingRole).value<quint64>(),
                             popUp.itemData(row, QXEncodingPopUp::SampleRole).toString()});
            return list;
        };
        QXEncodingPopUp fresh;
        fresh.configEncodingWithString(XADString(gbkChinese, 0, 0.0f));
        QXEncodingPopUp reused;
        reused.configEncodingWithString(XADString(QByteArrayLiteral("readme.txt"), 0, 0.0f));
        reused.setCurrentIndex(reused.count() - 1);
        reused.configEncodingWithString(XADString(gbkChinese, 0, 0.0f));
        QCOMPARE(entries(reused), entries(fresh));
        QCOMPARE(reused.currentIndex(), 0);
    }

    void outsideTheBasicPlaneIsListed()
    {
        QXEncodingPopUp popUp;
        popUp.configEncodingWithString(XADString(QByteArrayLiteral("\xF0\x9F\x93\xA6 box"), 0, 0.0f));
        const int utf8 = rowOf(&popUp, EncodingRegistry::UTF8);
        QVERIFY(utf8 >= 0);
        QCOMPARE(popUp.itemData(utf8, QXEncodingPopUp::SampleRole).toString(), u"\U0001F4E6 box"_qs);
    }

    void loneSurrogatesAreNeverListed()
    {
        // CESU-8 and UTF-7 both spell a lone surrogate and decode it without
        // complaint: the pop-up must leave them out.
        struct Case {
            const char *encoding;
            QByteArray bytes;
        };
        const QList<Case> cases = {
            {"CESU-8", QByteArray::fromHex("eda080")},   // U+D800
            {"CESU-8", QByteArray::fromHex("edb080")},   // U+DC00
            {"UTF-7", QByteArrayLiteral("+2AA-")},      // U+D800
        };
        for (const Case &c : cases) {
            const quint64 number = numberOf(c.encoding);
            const XADString name(c.bytes, 0, 0.0f);
            QVERIFY(name.canDecodeWithEncoding(number));
            QVERIFY(!QXEncodingPopUp::isWellFormedUTF16(name.stringWithEncoding(number)));
            QXEncodingPopUp popUp;
            popUp.configEncodingWithString(name);
            QCOMPARE(rowOf(&popUp, number), -1);
            QVERIFY(popUp.count() > 0); // the single-byte encodings still read it
            for (int row = 0; row < popUp.count(); ++row)
                QVERIFY(QXEncodingPopUp::isWellFormedUTF16(popUp.itemData(row, QXEncodingPopUp::SampleRole).toString()));
        }
        // A whole pair in CESU-8 is fine.
        XADString pair(QByteArray::fromHex("eda0bdedb880"), 0, 0.0f);
        QXEncodingPopUp popUp;
        popUp.configEncodingWithString(pair);
        const int cesu = rowOf(&popUp, numberOf("CESU-8"));
        QVERIFY(cesu >= 0);
        QCOMPARE(popUp.itemData(cesu, QXEncodingPopUp::SampleRole).toString(), u"\U0001F600"_qs);
    }

    // Encoding prompt

    void encodingWindowIsASheetNamingTheArchive()
    {
        QXEncodingWindowController prompt(m_mainWindow.get());
        auto item = makeItem(u"照片.zip"_qs);
        askEncoding(prompt, item, gbkChinese);
        QCOMPARE(prompt.window()->parentWidget(), m_mainWindow.get());
        QCOMPARE(prompt.window()->windowModality(), Qt::WindowModal);
        QCOMPARE(prompt.window()->width(), 420);
        QCOMPARE(prompt.infoLabel()->text(), localizedString("encoding_info").arg(u"照片.zip"_qs));
        QVERIFY(prompt.infoLabel()->text().contains(u"照片.zip"_qs));
        QCOMPARE(prompt.sureButton()->text(), localizedString("sure"));
        QCOMPARE(prompt.cancelButton()->text(), localizedString("cancel"));
        prompt.cancelAction();
    }

    void confirmStoresTheSelectedEncoding()
    {
        QXEncodingWindowController prompt(m_mainWindow.get());
        auto item = makeItem();
        askEncoding(prompt, item, gbkChinese);
        const quint64 gbk = numberOf("GBK");
        prompt.encodingPopUp()->setCurrentIndex(rowOf(prompt.encodingPopUp(), gbk));
        quint64 seen = 0;
        m_controller.onRelease = [&] { seen = item->encoding(); };
        prompt.sureAction();
        QCOMPARE(seen, gbk);
        QCOMPARE(item->encoding(), gbk);
        QCOMPARE(m_controller.releases, 1);
        QVERIFY(!prompt.window()->isVisible());
    }

    void confirmWithoutChangeStoresTheFirstEntry()
    {
        QXEncodingWindowController prompt(m_mainWindow.get());
        auto item = makeItem();
        askEncoding(prompt, item, gbkChinese);
        const quint64 first = prompt.encodingPopUp()->itemData(0, QXEncodingPopUp::EncodingRole).value<quint64>();
        QVERIFY(first != 0);
        QTest::keyClick(prompt.encodingPopUp(), Qt::Key_Return);
        QCOMPARE(item->encoding(), first);
        QCOMPARE(m_controller.releases, 1);
    }

    void emptyListConfirmCountsAsCancel()
    {
        QXEncodingWindowController prompt(m_mainWindow.get());
        auto item = makeItem();
        askEncoding(prompt, item, gbkChinese);
        prompt.encodingPopUp()->clear();
        QCOMPARE(prompt.encodingPopUp()->selectedEncoding(), quint64(0));
        QVERIFY(!prompt.sureButton()->isEnabled());
        prompt.sureAction();
        QCOMPARE(item->encoding(), quint64(0));
        QCOMPARE(m_controller.releases, 1);
        QVERIFY(!prompt.window()->isVisible());

        // An encoding chosen earlier survives an empty list too.
        item->setEncoding(numberOf("GBK"));
        askEncoding(prompt, item, gbkChinese);
        QVERIFY(prompt.sureButton()->isEnabled());
        prompt.encodingPopUp()->clear();
        prompt.sureAction();
        QCOMPARE(item->encoding(), numberOf("GBK"));
        QCOMPARE(m_controller.releases, 2);
    }

    void encodingCancelKeepsAnEarlierChoice()
    {
        QXEncodingWindowController prompt(m_mainWindow.get());
        auto item = makeItem();
        askEncoding(prompt, item, gbkChinese);
        prompt.cancelAction();
        QCOMPARE(item->encoding(), quint64(0));
        QCOMPARE(m_controller.releases, 1);

        item->setEncoding(numberOf("GBK"));
        askEncoding(prompt, item, QByteArray::fromHex("93fa967b"));
        QTest::keyClick(prompt.encodingPopUp(), Qt::Key_Escape);
        QCOMPARE(item->encoding(), numberOf("GBK"));
        QCOMPARE(m_controller.releases, 2);
        QVERIFY(!prompt.window()->isVisible());
    }

    void encodingScreenshot()
    {
        QXEncodingWindowController prompt(m_mainWindow.get());
        askEncoding(prompt, makeItem(u"季度报告.zip"_qs), gbkChinese);
        prompt.encodingPopUp()->setCurrentIndex(rowOf(prompt.encodingPopUp(), numberOf("GBK")));
        saveScreenshot(prompt.window(), u"prompt_encoding.png"_qs);

        // The open list, drawn on its own.
        QXEncodingPopUp *popUp = prompt.encodingPopUp();
        popUp->showPopup();
        QAbstractItemView *list = popUp->view();
        QTRY_VERIFY(list->isVisible());
        QVERIFY(list->width() >= list->minimumWidth());
        saveScreenshot(list->window(), u"prompt_encoding_list.png"_qs);
        popUp->hidePopup();
        prompt.cancelAction();
    }

    // Error prompt

    void errorPromptShowsTheText()
    {
        QXErrorWindowController prompt(m_mainWindow.get());
        auto item = makeItem();
        prompt.setItem(item);
        prompt.setErrorInfo(u"Could not extract “secret.zip”. Wrong password"_qs);
        prompt.window()->open();
        QCOMPARE(prompt.errorLabel()->text(), u"Could not extract “secret.zip”. Wrong password"_qs);
        QCOMPARE(prompt.sureButton()->text(), localizedString("sure"));
        QCOMPARE(prompt.window()->width(), 420);
        QCOMPARE(prompt.window()->parentWidget(), m_mainWindow.get());

        // Text that is not valid leaves the label as it was.
        for (const QString &bad : {QString(), u"  \n"_qs, u"(null)"_qs}) {
            prompt.setErrorInfo(bad);
            QCOMPARE(prompt.errorLabel()->text(), u"Could not extract “secret.zip”. Wrong password"_qs);
        }

        prompt.sureAction();
        QCOMPARE(m_controller.releases, 1);
        QVERIFY(!prompt.window()->isVisible());
        prompt.sureAction();
        QCOMPARE(m_controller.releases, 1);
    }

    void errorPromptKeys()
    {
        QXErrorWindowController prompt(m_mainWindow.get());
        auto item = makeItem();
        prompt.setItem(item);
        prompt.setErrorInfo(u"first"_qs);
        prompt.window()->open();
        QTest::keyClick(prompt.window(), Qt::Key_Return);
        QCOMPARE(m_controller.releases, 1);
        QVERIFY(!prompt.window()->isVisible());

        prompt.setItem(item);
        prompt.window()->open();
        QTest::keyClick(prompt.window(), Qt::Key_Escape);
        QCOMPARE(m_controller.releases, 2);

        prompt.setItem(item);
        prompt.window()->open();
        QVERIFY(prompt.window()->close());
        QCOMPARE(m_controller.releases, 3);
    }

    void errorWindowGrowsWithItsText()
    {
        QXErrorWindowController prompt(m_mainWindow.get());
        prompt.setErrorInfo(u"short"_qs);
        const int shortHeight = prompt.window()->height();
        prompt.setErrorInfo(QString(u"a much longer error text "_qs).repeated(12));
        QVERIFY(prompt.window()->height() > shortHeight);
        QCOMPARE(prompt.window()->width(), 420);
    }

    void errorScreenshot()
    {
        QXErrorWindowController prompt(m_mainWindow.get());
        auto item = makeItem(u"Quarterly report.zip"_qs);
        prompt.setItem(item);
        prompt.setErrorInfo(u"“Quarterly report.zip” could not be extracted. "
                            "The archive is damaged or incomplete."_qs);
        prompt.window()->open();
        saveScreenshot(prompt.window(), u"prompt_error.png"_qs);
        prompt.sureAction();
    }
};

QTEST_MAIN(TestPrompts)
#include "test_prompts.moc"
