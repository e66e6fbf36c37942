#include "ArchiveMaker.h"
#include "RecordingHost.h"
#include "SheetDriver.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include "extraction/RARItem.h"
#include "extraction/view/QXFolderPanel.h"
#include "extraction/view/RARViewController.h"
#include "platform/settings/SettingsKeys.h"
#include "platform/settings/UserDefaults.h"
#include "support/StringTable.h"
#include "window/QXCancelButton.h"
#include "window/RARChooseView.h"
#include "window/RARItemViewController.h"
#include "window/WindowFrameAnimator.h"

#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

using namespace SheetDriver;

// The controller on screen: the drop area, the rows and the window's size,
// and the sheets on the main window. The road itself is tested headless.
class TestViewController : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<RecordingHost> m_host;
    std::unique_ptr<RARViewController> m_controller;

    QString makeZip(const QString &name)
    {
        return ArchiveMaker::zip(m_work->filePath(name), {ArchiveEntrySpec::file("one.txt", "one")});
    }
    QString lockedZip(const QString &name)
    {
        const QString path = m_work->filePath(name);
        const QString corpus = TestEnvironment::corpusPath(u"test_read_format_zip_traditional_encryption_data.zip"_qs);
        return QFile::copy(corpus, path) ? path : QString();
    }
    QWidget *rowView(int index) const
    {
        return static_cast<RARItemViewController *>(m_controller->rarItems().at(index)->vc())->view();
    }
    void waitUntilIdle() { QTRY_VERIFY_WITH_TIMEOUT(m_controller->rarItems().isEmpty(), 20000); }

private Q_SLOTS:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnvironment>();
        StringTable::install(QLocale(QLocale::English, QLocale::UnitedStates));
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void init()
    {
        m_work = std::make_unique<QTemporaryDir>();
        for (const QString &key : {SettingsKeys::SaveMethod, SettingsKeys::SelectPath, SettingsKeys::ExitApp})
            UserDefaults::standardUserDefaults().removeObjectForKey(key);
        m_host = std::make_unique<RecordingHost>();
        m_controller = std::make_unique<RARViewController>(m_host.get());
        m_host->mainWindow()->setCentralWidget(m_controller->view());
        m_host->mainWindow()->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_host->mainWindow()));
    }

    void cleanup()
    {
        // No worker may outlive its controller: refuse whatever is still asked.
        for (int i = 0; i < 40 && !m_controller->rarItems().isEmpty(); ++i) {
            if (QDialog *sheet = visibleSheet<QDialog>())
                sheet->reject();
            QTest::qWait(50);
        }
        m_controller.reset();
        m_host.reset();
    }

    void rowsFollowTheListAndSheetsHangOnTheWindow()
    {
        const QStringList paths{lockedZip(u"held.zip"_qs), makeZip(u"middle.zip"_qs), makeZip(u"last.zip"_qs)};
        const int top = m_host->mainWindow()->geometry().top();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(paths[0]), QUrl::fromLocalFile(paths[1]), QUrl::fromLocalFile(paths[2])});
        QDragEnterEvent enter(QPoint(30, 30), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_controller->chooseView(), &enter);
        QDropEvent drop(QPointF(30, 30), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_controller->chooseView(), &drop);
        QCOMPARE(m_controller->rarItems().size(), 3);
        QVERIFY(!m_controller->chooseView()->isVisible() && !m_host->isCompleted);
        // The middle row is cancelled while it waits for its check: the window
        // shrinks around the other two, its top edge kept, the oldest on top.
        static_cast<RARItemViewController *>(m_controller->rarItems().at(1)->vc())->cancelButton()->click();
        QDialog *sheet = waitForSheet(u"QXPasswordWindowController"_qs);
        QVERIFY(sheet);
        QTRY_COMPARE(m_controller->rarItems().size(), 2);
        QTRY_VERIFY(!m_controller->frameAnimator()->isAnimating());
        QCOMPARE(m_host->mainWindow()->centralWidget()->height(), 132);
        QCOMPARE(m_host->mainWindow()->geometry().top(), top);
        QCOMPARE(rowView(0)->geometry(), QRect(0, 0, m_controller->view()->width(), 66));
        QCOMPARE(rowView(1)->y(), 66);
        // The first archive waits at its sheet, on the main window, which was on
        // screen and is left alone.
        QCOMPARE(sheet->parentWidget(), m_host->window());
        QCOMPARE(m_host->showCalls, 0);
        sheet->findChild<QLineEdit *>()->setText(u"12345678"_qs);
        QVERIFY(press(sheet, QDialogButtonBox::AcceptRole));
        waitUntilIdle();
        QVERIFY(QFile::exists(m_work->filePath(u"held/foo.txt"_qs)));
        QCOMPARE(QDir(m_work->path()).entryList({u"one*"_qs}), QStringList{u"one.txt"_qs}); // the middle one never ran
        // Empty again: the drop area is back and the end rule closed the window.
        QVERIFY(m_controller->chooseView()->isVisibleTo(m_controller->view()) && m_host->isCompleted);
        QTRY_VERIFY(!m_host->mainWindow()->isVisible());
    }

    // The folder sheet opens at the nearest folder that exists.
    void folderSheetOpensAtTheNearestFolder()
    {
        QTemporaryDir dir;
        const QString root = QDir(dir.path()).canonicalPath();
        QVERIFY(QDir().mkpath(root + u"/a/b"_qs) && writeFile(root + u"/file"_qs, {}));
        QCOMPARE(QXFolderPanel::nearestExistingFolder(root + u"/a/b"_qs), root + u"/a/b"_qs);
        QCOMPARE(QXFolderPanel::nearestExistingFolder(root + u"/a/b/c/d"_qs), root + u"/a/b"_qs);
        QCOMPARE(QXFolderPanel::nearestExistingFolder(root + u"/file/sub"_qs), root);
        QCOMPARE(QXFolderPanel::nearestExistingFolder(root + u"/a//b/../b/"_qs), root + u"/a/b"_qs);
        QCOMPARE(QXFolderPanel::nearestExistingFolder(QString()), QDir::homePath());

        QWidget window;
        auto *panel = new QXFolderPanel(&window, root + u"/a/b/missing"_qs, [](const QString &) {});
        QCOMPARE(QDir(panel->dialog()->directory()).absolutePath(), root + u"/a/b"_qs);
        QCOMPARE(panel->dialog()->fileMode(), QFileDialog::Directory);
        QVERIFY(panel->dialog()->testOption(QFileDialog::ShowDirsOnly));
        QCOMPARE(panel->dialog()->windowModality(), Qt::WindowModal);
        QCOMPARE(panel->dialog()->parentWidget(), &window);
    }

    void promptBringsClosedWindowBack()
    {
        m_controller->chooseFile(lockedZip(u"late.zip"_qs));
        m_host->mainWindow()->close();
        QVERIFY(waitForSheet(u"QXPasswordWindowController"_qs));
        QVERIFY(m_host->showCalls >= 1 && m_host->mainWindow()->isVisible());
    }
};

QTEST_MAIN(TestViewController)
#include "test_view_controller.moc"
