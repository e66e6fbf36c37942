#include "app/QXDescWindowController.h"
#include "app/QXReviewPrompt.h"
#include "support/StringTable.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

using Answer = ReviewScheduler::Answer;
Q_DECLARE_METATYPE(Answer)

// The application's small windows: the how-to-use window and the review
// question. Screenshots go to <build>/screenshots.
class TestAppWindows : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;

    static void save(QWidget *window, const QString &name)
    {
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QDir().mkpath(QStringLiteral(QUILLBOX_SCREENSHOT_DIR));
        QVERIFY(window->grab().save(QStringLiteral(QUILLBOX_SCREENSHOT_DIR "/") + name));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnvironment>();
        QCOMPARE(StringTable::install(QLocale(QLocale::English, QLocale::UnitedStates)), u"en"_qs);
        QApplication::setWindowIcon(QIcon(u":/icons/hicolor/256x256/apps/quillbox.png"_qs));
    }

    // Every text has its words, and none is cut off at the fixed width.
    void descriptionShowsEveryTextWhole()
    {
        QXDescWindowController window;
        window.show();
        QCOMPARE(window.width(), QXDescWindowController::WindowWidth);
        QCOMPARE(window.minimumWidth(), window.maximumWidth());
        QVERIFY(!window.windowTitle().startsWith(u"desc_"_qs));
        const auto labels = window.findChildren<QLabel *>();
        QVERIFY(labels.size() >= 10);
        for (QLabel *label : labels) {
            QVERIFY2(!label->text().contains(u"desc_"_qs), qPrintable(label->text()));
            const QRect inWindow(label->mapTo(&window, QPoint(0, 0)), label->size());
            QVERIFY2(window.rect().contains(inWindow), qPrintable(label->text()));
            if (label->wordWrap())
                QVERIFY2(label->height() >= label->heightForWidth(label->width()), qPrintable(label->text()));
            else
                QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->text()));
        }
        save(&window, u"how-to-use.png"_qs);
    }

    void descriptionClosesFromButtonAndEscape()
    {
        QXDescWindowController window;
        window.orderFront();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto buttons = window.findChildren<QPushButton *>();
        QCOMPARE(buttons.size(), 1);
        buttons.first()->click();
        QVERIFY(!window.isVisible());
        window.orderFront();
        QApplication::setActiveWindow(&window);
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.isVisible());
    }

    void reviewQuestionScreenshot()
    {
        QXReviewPrompt prompt;
        prompt.show();
        save(&prompt, u"review-prompt.png"_qs);
    }

    void reviewQuestionRunsModallyAndReportsTheClick_data()
    {
        QTest::addColumn<int>("press"); // 0, 1: a button; otherwise a key
        QTest::addColumn<Answer>("expected");
        QTest::newRow("go") << 0 << Answer::Review;
        QTest::newRow("next") << 1 << Answer::Postpone;
        QTest::newRow("escape") << int(Qt::Key_Escape) << Answer::Postpone;
        QTest::newRow("return") << int(Qt::Key_Return) << Answer::Review;
    }

    void reviewQuestionRunsModallyAndReportsTheClick()
    {
        QFETCH(int, press);
        bool seen = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *prompt = qobject_cast<QXReviewPrompt *>(QApplication::activeModalWidget());
            if (!prompt)
                return;
            seen = true;
            poll.stop();
            if (press == 0 || press == 1)
                (press == 0 ? prompt->goButton() : prompt->nextButton())->click();
            else
                QTest::keyClick(prompt, Qt::Key(press));
        });
        poll.start(10);
        const Answer answer = QXReviewPrompt::ask(nullptr);
        QVERIFY(seen);
        QTEST(answer, "expected");
    }
};

QTEST_MAIN(TestAppWindows)
#include "test_app_windows.moc"
