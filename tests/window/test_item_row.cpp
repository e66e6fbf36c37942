#include "TestEnvironment.h"

#include "extraction/RARItem.h"
#include "window/QXCancelButton.h"
#include "window/RARItemViewController.h"

#include <QDir>
#include <QPointer>
#include <QProgressBar>
#include <QTest>
#include <cmath>
#include <memory>
#include <optional>

// An archive's row: its cancel button, its bar, and whose is the view.
class TestItemRow : public QObject {
    Q_OBJECT

    std::optional<TestEnvironment> m_env;
    std::shared_ptr<RARItem> m_item;
    RARItemViewController *m_vc = nullptr;
    int m_handled = 0;

private Q_SLOTS:
    void initTestCase() { m_env.emplace(); }

    // Wired the way the controller does: everything is set before the view
    // is first read.
    void init()
    {
        m_handled = 0;
        m_item = std::make_shared<RARItem>(QDir(m_env->home()).filePath(u"a.rar"_qs));
        auto vc = std::make_unique<RARItemViewController>();
        m_vc = vc.get();
        vc->setItem(m_item);
        vc->setCancelHandler([this](std::shared_ptr<RARItem> item) {
            ++m_handled;
            item->extractCancel();
        });
        m_item->setVc(std::move(vc));
    }

    void cancelRunsTheHandlerOnce()
    {
        m_vc->view()->show();
        QXCancelButton *button = m_vc->cancelButton();
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(m_item->isCancelled() && !button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
        m_vc->cancelAction();
        QCOMPARE(m_handled, 1);
    }

    void progressIsClampedAndStaysOnCancel()
    {
        m_vc->view(); // the bar comes with the view
        QProgressBar *bar = m_vc->progressIndicator();
        m_vc->setProgress(0.5);
        QCOMPARE(bar->value(), (bar->minimum() + bar->maximum()) / 2);
        // A value that is not a number is ignored.
        const QList<std::pair<double, double>> steps{{0.25, 0.25}, {std::nan(""), 0.25}, {7.0, 1.0},
                                                     {-2.0, 0.0}, {INFINITY, 1.0}};
        for (const auto &[given, shown] : steps) {
            m_vc->setProgress(given);
            QCOMPARE(m_vc->progress(), shown);
        }
        QCOMPARE(bar->value(), bar->maximum());
        m_vc->cancelAction();
        QCOMPARE(m_vc->progress(), 1.0);
    }

    // The item owns its row, and the row its view; a view the window took
    // down first is not touched again.
    void theRowTakesItsViewAlong()
    {
        QPointer<QWidget> view = m_vc->view();
        QPointer<RARItemViewController> vc = m_vc;
        QWidget window;
        view->setParent(&window);
        m_item.reset();
        QVERIFY(vc.isNull() && view.isNull());

        init();
        {
            QWidget other;
            m_vc->view()->setParent(&other);
        }
        QVERIFY(!m_vc->isViewLoaded());
        m_item.reset();
    }
};

QTEST_MAIN(TestItemRow)
#include "test_item_row.moc"
