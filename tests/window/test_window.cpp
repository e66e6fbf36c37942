#include "TestEnvironment.h"
#include "extraction/RARItem.h"
#include "window/QXCancelButton.h"
#include "window/RARChooseView.h"
#include "window/RARItemViewController.h"
#include "window/RowLayout.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QTest>
#include <QUrl>
#include <cmath>
#include <memory>
#include <optional>

// The main window's parts: the list arithmetic (newest row at the bottom, 66
// points a row, the window's top edge kept in place, whole rows only when the
// screen is short), the drop area (which drags it takes and what it hands on),
// and an archive's row (its cancel button, its bar, and whose is the view).
class TestWindow : public QObject {
    Q_OBJECT

    std::optional<TestEnvironment> m_env;
    std::shared_ptr<RARItem> m_item;
    RARItemViewController *m_vc = nullptr;
    int m_handled = 0;

private Q_SLOTS:
    void rowLayout_data()
    {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<int>("chrome");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("room");
        QTest::addColumn<int>("visible");
        QTest::addColumn<QRect>("geometry");
        const int all = RowLayout::Unlimited;
        QTest::newRow("three rows") << QRect(100, 80, 420, 300) << 0 << 3 << all << 198 << QRect(100, 80, 420, 198);
        QTest::newRow("empty") << QRect(0, 50, 300, 132) << 0 << 0 << all << 0 << QRect(0, 50, 300, 0);
        QTest::newRow("negative count") << QRect(0, 0, 300, 10) << 0 << -2 << all << 0 << QRect(0, 0, 300, 0);
        QTest::newRow("menu bar kept") << QRect(5, 6, 420, 330) << 30 << 2 << all << 132 << QRect(5, 6, 420, 162);
        QTest::newRow("long list scrolls") << QRect(0, 100, 400, 300) << 20 << 10 << 250 << 198 << QRect(0, 100, 400, 218);
        QTest::newRow("just fits") << QRect(0, 0, 400, 10) << 0 << 3 << 198 << 198 << QRect(0, 0, 400, 198);
        QTest::newRow("one row at least") << QRect(0, 0, 400, 10) << 0 << 3 << -50 << 66 << QRect(0, 0, 400, 66);
    }
    void rowLayout()
    {
        QFETCH(QRect, window);
        QFETCH(int, chrome);
        QFETCH(int, rows);
        QFETCH(int, room);
        QFETCH(int, visible);
        QFETCH(QRect, geometry);
        const auto r = RowLayout::compute(window, chrome, rows, RowLayout::RowHeight, room);
        QCOMPARE(r.contentHeight, std::max(rows, 0) * 66);
        QCOMPARE(r.visibleHeight, visible);
        QCOMPARE(r.windowGeometry, geometry);
        QCOMPARE(r.bottomOffsets.size(), std::max(rows, 0));
        // Newest first from the bottom; in top-down coordinates the oldest is on top.
        for (int i = 0; i < r.bottomOffsets.size(); ++i) {
            QCOMPARE(r.bottomOffsets[i], i * 66);
            QCOMPARE(RowLayout::topInContent(r.contentHeight, r.bottomOffsets[i]), (rows - 1 - i) * 66);
        }
    }

    void takesDragsWithLocalFilesOnly_data()
    {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<bool>("taken");
        QTest::newRow("local file") << QList<QUrl>{QUrl::fromLocalFile(u"/tmp/a.zip"_qs)} << true;
        QTest::newRow("web address") << QList<QUrl>{QUrl(u"https://example.org/a.zip"_qs)} << false;
        QTest::newRow("plain text") << QList<QUrl>{} << false;
    }
    void takesDragsWithLocalFilesOnly()
    {
        QFETCH(QList<QUrl>, urls);
        QFETCH(bool, taken);
        RARChooseView view;
        QMimeData data;
        urls.isEmpty() ? data.setText(u"/tmp/a.zip"_qs) : data.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&view, &enter);
        QCOMPARE(enter.isAccepted(), taken);
        QCOMPARE(view.isDragHovered(), taken);
        if (taken)
            QCOMPARE(enter.dropAction(), Qt::CopyAction);
        QDragLeaveEvent leave;
        QApplication::sendEvent(&view, &leave);
        QVERIFY(!view.isDragHovered());
    }

    // The view does not judge file types; the controller does.
    void dropHandsLocalPathsInOrder()
    {
        RARChooseView view;
        QList<QStringList> calls;
        view.setChooseFilesHandler([&](const QStringList &paths) { calls.append(paths); });
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(u"/home/u/c.rar"_qs), QUrl(u"https://example.org/x.zip"_qs),
                      QUrl::fromLocalFile(u"/home/u/a b.zip"_qs), QUrl::fromLocalFile(u"/home/u/notes"_qs)});
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&view, &enter);
        QDropEvent dropped(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&view, &dropped);
        QVERIFY(dropped.isAccepted());
        QCOMPARE(calls, (QList<QStringList>{{u"/home/u/c.rar"_qs, u"/home/u/a b.zip"_qs, u"/home/u/notes"_qs}}));
    }

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

QTEST_MAIN(TestWindow)
#include "test_window.moc"
