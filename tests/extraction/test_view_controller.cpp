#include "ArchiveMaker.h"
#include "LegacyZipWriter.h"
#include "RecordingHost.h"
#include "SheetDriver.h"
#include "TestEnvironment.h"

#include "access/QXURLCache.h"
#include "app/QXBannerButton.h"
#include "extraction/QXFolderPanel.h"
#include "extraction/QXTaskQueue.h"
#include "extraction/RARItem.h"
#include "extraction/RARViewController.h"
#include "platform/encoding/EncodingRegistry.h"
#include "platform/settings/UserDefaults.h"
#include "prompts/QXEncodingPopUp.h"
#include "platform/settings/SettingsKeys.h"
#include "support/StringTable.h"
#include "window/QXCancelButton.h"
#include "window/RARChooseView.h"
#include "window/RARItemViewController.h"
#include "window/RARListView.h"
#include "window/WindowFrameAnimator.h"

#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <csignal>
#include <unistd.h>

using namespace SheetDriver;

namespace {

const QString PasswordSheet = QStringLiteral("QXPasswordWindowController");
const QString EncodingSheet = QStringLiteral("QXEncodingWindowController");
const QString ErrorSheet = QStringLiteral("QXErrorWindowController");
const QString FolderSheet = QStringLiteral("folderPanel");
const QString CorpusPasswordZip = QStringLiteral("test_read_format_zip_traditional_encryption_data.zip");

QList<ArchiveEntrySpec> twoFiles(const QByteArray &tag)
{
    return {ArchiveEntrySpec::file("one.txt", "first file of " + tag),
            ArchiveEntrySpec::file("two.txt", "second file of " + tag)};
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// The whole road of archives through the controller, with real archives, the
// real engine, real rows and real sheets, on the offscreen platform.
class TestViewController : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void viewAndButtons();
    void pathsWithoutExtensionAreIgnored();
    void threeDroppedArchivesRunOneAtATime();
    void middleRowRemovedKeepsTopEdge();
    void sameArchiveTwice();
    void longListStaysOnScreen();
    void passwordSheetCancelledShowsError();
    void undecidableNamesAskForEncoding();
    void failuresShowErrorSheet();
    void killedReaderShowsErrorAndQueueGoesOn();
    void rowCancelledBeforeItsCheck();
    void refusedFolderSheetDropsRow();
    void grantedFolderIsRememberedAcrossRestart();
    void promptBringsClosedWindowBack();
    void exitAppZeroOnlyClosesWindow();
    void exitAppOneQuits();

private:
    QString makeZip(const QString &name, const QByteArray &tag, const QString &folder = QString());
    QString copyCorpus(const QString &corpusName, const QString &as);
    QStringList tempFolders() const;
    RARItemViewController *row(int index) const;
    QWidget *rowView(int index) const { return row(index)->view(); }
    int contentHeight() const { return m_host->mainWindow()->centralWidget()->height(); }
    void waitForLayout();
    void startController();
    void dropFiles(const QStringList &paths);
    bool answerPassword(const QString &password);
    bool acknowledgeError(QString *text = nullptr);
    void waitUntilIdle();

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<RecordingHost> m_host;
    std::unique_ptr<RARViewController> m_controller;
};

void TestViewController::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>();
    StringTable::install(QLocale(QLocale::English, QLocale::UnitedStates));
    // As in the application: closing the main window never quits by itself.
    QApplication::setQuitOnLastWindowClosed(false);
    QVERIFY(QFile::exists(TestEnvironment::corpusPath(CorpusPasswordZip)));
}

void TestViewController::init()
{
    m_work = std::make_unique<QTemporaryDir>();
    auto &defaults = UserDefaults::standardUserDefaults();
    for (const QString &key : {SettingsKeys::SaveMethod, SettingsKeys::SelectPath, SettingsKeys::ExitApp,
                               SettingsKeys::OpenFolder, SettingsKeys::DeleteZip, SettingsKeys::CachedURLs})
        defaults.removeObjectForKey(key);
    QXURLCache::resetSharedInstanceForTesting();
    m_host = std::make_unique<RecordingHost>();
    startController();
    m_host->mainWindow()->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_host->mainWindow()));
}

void TestViewController::startController()
{
    m_controller = std::make_unique<RARViewController>(m_host.get());
    m_host->mainWindow()->setCentralWidget(m_controller->view());
}

void TestViewController::cleanup()
{
    // No worker may outlive its controller: answer whatever is still asked.
    for (int i = 0; i < 20 && m_controller && !m_controller->rarItems().isEmpty(); ++i) {
        if (QDialog *sheet = visibleSheet<QDialog>())
            press(sheet, QDialogButtonBox::AcceptRole) || press(sheet, QDialogButtonBox::RejectRole)
                || (sheet->reject(), true);
        QTest::qWait(100);
    }
    m_controller.reset();
    m_host.reset();
    QTest::qWait(20);
}

QString TestViewController::makeZip(const QString &name, const QByteArray &tag, const QString &folder)
{
    const QDir dir(folder.isEmpty() ? m_work->path() : folder);
    const QString path = dir.filePath(name);
    if (!ArchiveMaker::write(path, u"zip"_qs, QString(), twoFiles(tag)))
        return QString();
    return path;
}

QString TestViewController::copyCorpus(const QString &corpusName, const QString &as)
{
    const QString target = QDir(m_work->path()).filePath(as);
    return QFile::copy(TestEnvironment::corpusPath(corpusName), target) ? target : QString();
}

QStringList TestViewController::tempFolders() const
{
    return QDir(m_env->appData()).entryList({u".Temp_*"_qs}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
}

RARItemViewController *TestViewController::row(int index) const
{
    return static_cast<RARItemViewController *>(m_controller->rarItems().at(index)->vc());
}

void TestViewController::waitForLayout()
{
    QTRY_VERIFY(!m_controller->frameAnimator()->isAnimating());
    QTest::qWait(10);
}

void TestViewController::dropFiles(const QStringList &paths)
{
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls.append(QUrl::fromLocalFile(path));
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(30, 30), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_controller->chooseView(), &enter);
    QDropEvent drop(QPointF(30, 30), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_controller->chooseView(), &drop);
}

bool TestViewController::answerPassword(const QString &password)
{
    QDialog *sheet = waitForSheet(PasswordSheet);
    if (!sheet)
        return false;
    auto *field = sheet->findChild<QLineEdit *>();
    if (!field || !field->text().isEmpty())
        return false;
    field->setText(password);
    return press(sheet, QDialogButtonBox::AcceptRole);
}

bool TestViewController::acknowledgeError(QString *text)
{
    QDialog *sheet = waitForSheet(ErrorSheet);
    if (!sheet)
        return false;
    if (text) {
        QStringList texts;
        const auto labels = sheet->findChildren<QLabel *>();
        for (QLabel *label : labels)
            texts.append(label->text());
        *text = texts.join(u'\n');
    }
    return press(sheet, QDialogButtonBox::AcceptRole);
}

void TestViewController::waitUntilIdle()
{
    QTRY_VERIFY_WITH_TIMEOUT(m_controller->rarItems().isEmpty(), 20000);
    QTRY_VERIFY(m_controller->setupTask()->isEmpty() && m_controller->extractTask()->isEmpty());
}

// --- The view ----------------------------------------------------------------

void TestViewController::viewAndButtons()
{
    QVERIFY(m_host->titleCalls >= 1);
    QCOMPARE(m_host->mainWindow()->windowTitle(), u"Quillbox"_qs);
    RARChooseView *choose = m_controller->chooseView();
    QVERIFY(choose->isVisible());
    QCOMPARE(choose->geometry(), m_controller->view()->rect());
    QVERIFY(!m_controller->tipLabel()->text().isEmpty());
    QVERIFY(!m_controller->commentLabel()->text().isEmpty());
    QVERIFY(!m_controller->openButton()->text().isEmpty());
    QCOMPARE(m_controller->tipLabel()->palette().color(QPalette::WindowText), QColor(Qt::white));
    // The promotion banner sits in the drop area's lower part, turning.
    auto *banner = qobject_cast<QXBannerButton *>(m_controller->bannerButton());
    QVERIFY(banner);
    QVERIFY(banner->isVisible());
    QVERIFY(choose->isAncestorOf(banner));
    QVERIFY(banner->timer() && banner->timer()->isActive());

    m_controller->openButton()->click();
    QCOMPARE(m_host->openCalls, 1);
    choose->settingsButton()->click();
    QCOMPARE(m_host->preferenceCalls, 1);
    choose->reviewButton()->click();
    QCOMPARE(m_host->commentCalls, 1);
    choose->promotionButton()->click();
    QCOMPARE(m_host->promotionCalls, 1);

    // The drop area follows the view's size.
    m_host->mainWindow()->resize(500, 320);
    QTRY_COMPARE(choose->size(), m_controller->view()->size());
}

void TestViewController::pathsWithoutExtensionAreIgnored()
{
    const QRect before = m_host->mainWindow()->geometry();
    const QString valid = makeZip(u"real.zip"_qs, "x");
    const QStringList ignored{
        m_work->filePath(u"README"_qs),   m_work->filePath(u"name. "_qs),
        m_work->filePath(u"name.(null)"_qs), m_work->filePath(u".hidden"_qs),
        m_work->filePath(u"trailing."_qs), QString(),
    };
    for (const QString &path : ignored)
        m_controller->chooseFile(path);
    QTest::qWait(50);
    QVERIFY(m_controller->rarItems().isEmpty());
    QVERIFY(m_controller->chooseView()->isVisible());
    QVERIFY(m_controller->setupTask()->isEmpty());
    QCOMPARE(m_controller->setupTask()->taskCount(), 0);
    QCOMPARE(m_host->mainWindow()->geometry(), before);
    QVERIFY(m_host->mainWindow()->isVisible()); // no end rule either
    QVERIFY(!valid.isEmpty());
}

// --- The road of several archives ----------------------------------------------

void TestViewController::threeDroppedArchivesRunOneAtATime()
{
    const QString first = copyCorpus(CorpusPasswordZip, u"secret.zip"_qs);
    const QString second = makeZip(u"beta.zip"_qs, "beta");
    const QString third = copyCorpus(CorpusPasswordZip, u"vault.zip"_qs);
    QVERIFY(!first.isEmpty() && !second.isEmpty() && !third.isEmpty());
    const QRect before = m_host->mainWindow()->geometry();

    dropFiles({first, second, third});
    // All three rows at once, in the order dropped, the drop area hidden.
    QCOMPARE(m_controller->rarItems().size(), 3);
    QCOMPARE(m_controller->rarItems().at(0)->path(), first);
    QCOMPARE(m_controller->rarItems().at(2)->path(), third);
    QVERIFY(!m_controller->chooseView()->isVisible());
    QVERIFY(!m_host->isCompleted);
    QVERIFY(m_controller->frameAnimator()->isAnimating());
    waitForLayout();
    QCOMPARE(contentHeight(), 198);
    QCOMPARE(m_host->mainWindow()->geometry().top(), before.top());
    QCOMPARE(rowView(0)->geometry(), QRect(0, 0, m_controller->view()->width(), 66));
    QCOMPARE(rowView(1)->y(), 66);
    QCOMPARE(rowView(2)->y(), 132);
    for (int i = 0; i < 3; ++i)
        QVERIFY(rowView(i)->isVisible());
    // The rows lie over the window's gradient: teal at the top, warm below.
    const QImage shot = m_host->mainWindow()->grab().toImage();
    const QColor topRight = shot.pixelColor(shot.width() - 3, 1);
    const QColor bottomRight = shot.pixelColor(shot.width() - 3, shot.height() - 2);
    QVERIFY2(topRight.blue() > topRight.red() + 40, qPrintable(topRight.name()));
    QVERIFY2(bottomRight.red() > bottomRight.blue() + 40, qPrintable(bottomRight.name()));

    // The first archive waits for its password; the others have not started.
    QDialog *sheet = waitForSheet(PasswordSheet);
    QVERIFY(sheet);
    QCOMPARE(sheet->windowModality(), Qt::WindowModal);
    QCOMPARE(sheet->parentWidget(), m_host->window());
    QCOMPARE(m_host->showCalls, 0); // the window was on screen: left alone
    QTest::qWait(200);
    QVERIFY(tempFolders().size() <= 1);
    QCOMPARE(m_controller->rarItems().size(), 3);
    QCOMPARE(m_controller->extractTask()->taskCount(), 3);
    QVERIFY(!QFile::exists(m_work->filePath(u"beta"_qs)));

    // Answered: one archive at a time, each landing beside itself.
    QVERIFY(answerPassword(u"12345678"_qs));
    const auto firstItem = m_controller->rarItems().at(0);
    const auto thirdItem = m_controller->rarItems().at(2);
    QSet<QString> seenTemp;
    bool overlapping = false;
    QVERIFY(QTest::qWaitFor([&] {
        const QStringList temps = tempFolders();
        overlapping |= temps.size() > 1;
        for (const QString &t : temps)
            seenTemp.insert(t);
        // The second archive's worker never runs while the first row is listed.
        if (m_controller->rarItems().contains(firstItem) && QFile::exists(m_work->filePath(u"beta"_qs)))
            overlapping = true;
        return m_controller->rarItems().size() == 1 && visibleSheet(PasswordSheet);
    }, 20000));
    QVERIFY(!overlapping);
    // The same sheet again for the third archive, its field emptied.
    QCOMPARE(m_controller->rarItems().first(), thirdItem);
    QVERIFY(answerPassword(u"12345678"_qs));
    waitUntilIdle();
    QVERIFY(tempFolders().isEmpty());
    QCOMPARE(readAll(m_work->filePath(u"secret/foo.txt"_qs)).size(), 495);
    QCOMPARE(readAll(m_work->filePath(u"beta/one.txt"_qs)), QByteArray("first file of beta"));
    QCOMPARE(readAll(m_work->filePath(u"vault/bar.txt"_qs)).size(), 495);
    QVERIFY(QFile::exists(first)); // "delete zip" is off

    // Empty again: the drop area is back and the end rule closed the window.
    QVERIFY(m_controller->chooseView()->isVisibleTo(m_controller->view()));
    QVERIFY(m_host->isCompleted);
    QTRY_VERIFY(!m_host->mainWindow()->isVisible());
    QCOMPARE(visibleSheetCount(), 0);
}

void TestViewController::middleRowRemovedKeepsTopEdge()
{
    const QString first = copyCorpus(CorpusPasswordZip, u"held.zip"_qs);
    const QString second = makeZip(u"middle.zip"_qs, "middle");
    const QString third = makeZip(u"last.zip"_qs, "last");
    const int top = m_host->mainWindow()->geometry().top();
    m_controller->chooseFile(first);
    m_controller->chooseFile(second);
    m_controller->chooseFile(third);
    const auto middle = m_controller->rarItems().at(1);
    const auto last = m_controller->rarItems().at(2);
    QCOMPARE(m_controller->frameAnimator()->targetFrame(m_host->window()).height(), 198);

    // The middle row is cancelled while it waits for its check; the first
    // archive holds the extraction queue at its password sheet.
    auto *middleRow = row(1);
    middleRow->cancelButton()->click();
    QVERIFY(middle->isCancelled());
    QVERIFY(waitForSheet(PasswordSheet));
    QTRY_COMPARE(m_controller->rarItems().size(), 2);
    QVERIFY(!m_controller->rarItems().contains(middle));
    QVERIFY(!middleRow->view()->isVisible());
    waitForLayout();
    QCOMPARE(contentHeight(), 132);
    QCOMPARE(m_host->mainWindow()->geometry().top(), top);
    QCOMPARE(rowView(0)->y(), 0);   // the oldest on top
    QCOMPARE(rowView(1)->y(), 66);  // the newest below it
    QCOMPARE(m_controller->rarItems().at(1), last);

    QVERIFY(answerPassword(u"12345678"_qs));
    waitUntilIdle();
    QVERIFY(!QFile::exists(m_work->filePath(u"middle"_qs)));
    QVERIFY(QFile::exists(m_work->filePath(u"last/one.txt"_qs)));
    QVERIFY(QFile::exists(m_work->filePath(u"held/bar.txt"_qs)));
}

void TestViewController::sameArchiveTwice()
{
    const QString archive = makeZip(u"twice.zip"_qs, "twice");
    m_controller->chooseFile(archive);
    m_controller->chooseFile(archive);
    QCOMPARE(m_controller->rarItems().size(), 2);
    QVERIFY(m_controller->rarItems().at(0) != m_controller->rarItems().at(1));
    waitUntilIdle();
    // Two results side by side; the second never overwrites the first.
    const QStringList results = QDir(m_work->path()).entryList({u"twice*"_qs}, QDir::Dirs);
    QCOMPARE(results.size(), 2);
    for (const QString &result : results)
        QCOMPARE(readAll(m_work->filePath(result + u"/one.txt"_qs)), QByteArray("first file of twice"));
    QCOMPARE(visibleSheetCount(), 0);
}

void TestViewController::longListStaysOnScreen()
{
    // Every destination is refused, so the first folder sheet holds the list.
    m_controller->setWriteTest([](const QString &) { return false; });
    QMainWindow *window = m_host->mainWindow();
    window->move(window->x(), 40);
    QTest::qWait(20);
    const int top = window->geometry().top();
    const QRect screen = window->screen()->availableGeometry();
    const int count = screen.height() / 66 + 4;
    for (int i = 0; i < count; ++i)
        m_controller->chooseFile(m_work->filePath(u"many-%1.zip"_qs.arg(i)));
    QVERIFY(waitForSheet<QFileDialog>(FolderSheet));
    waitForLayout();
    QCOMPARE(m_controller->rarItems().size(), count);
    QVERIFY2(window->geometry().bottom() <= screen.bottom(), "the window runs off the screen");
    QCOMPARE(window->geometry().top(), top);
    QCOMPARE(contentHeight() % 66, 0);
    QVERIFY(contentHeight() >= 66 && contentHeight() < count * 66);
    RARListView *list = m_controller->listView();
    QVERIFY(list->verticalScrollBar()->isVisible());
    QCOMPARE(list->verticalScrollBar()->maximum(), count * 66 - list->viewport()->height());
    // The newest row, at the bottom, can be scrolled to and cancelled.
    QWidget *newest = rowView(count - 1);
    QCOMPARE(newest->y(), (count - 1) * 66);
    list->ensureWidgetVisible(newest, 0, 0);
    QTest::qWait(10);
    const QRect shown(newest->mapTo(list->viewport(), QPoint(0, 0)), newest->size());
    QVERIFY(list->viewport()->rect().contains(shown));

    // The list shrinks back: refusing every sheet drops every row.
    for (int i = 0; i < count; ++i) {
        auto *panel = waitForSheet<QFileDialog>(FolderSheet);
        QVERIFY(panel);
        panel->reject();
        QTest::qWait(5);
    }
    waitUntilIdle();
    QVERIFY(!list->isVisible());
    QTRY_VERIFY(!window->isVisible());
}

// --- Prompts ---------------------------------------------------------------------

void TestViewController::passwordSheetCancelledShowsError()
{
    const QString archive = copyCorpus(CorpusPasswordZip, u"locked box.zip"_qs);
    m_controller->chooseFile(archive);
    QDialog *sheet = waitForSheet(PasswordSheet);
    QVERIFY(sheet);
    QVERIFY(press(sheet, QDialogButtonBox::RejectRole));
    QString text;
    QVERIFY(acknowledgeError(&text));
    QVERIFY2(text.contains(u"locked box.zip"_qs), qPrintable(text));
    waitUntilIdle();
    QVERIFY(!QFile::exists(m_work->filePath(u"locked box"_qs)));
    QVERIFY(tempFolders().isEmpty());
    QVERIFY(QFile::exists(archive));
    QCOMPARE(visibleSheetCount(), 0);
}

void TestViewController::undecidableNamesAskForEncoding()
{
    // Two short Cyrillic names in the old Windows code page, no UTF-8 flag:
    // too little text for the detector to be sure.
    const QByteArray first("\xcf\xf0\xe8\xe2\xe5\xf2.txt");  // "Привет.txt"
    const QByteArray second("\xec\xe8\xf0.txt");             // "мир.txt"
    LegacyZipWriter zip(LegacyZipWriter::hostNtfs);
    zip.add(first, "hello");
    zip.add(second, "world");
    const QString archive = m_work->filePath(u"names.zip"_qs);
    QVERIFY(zip.write(archive));
    const quint64 cp1251 = EncodingRegistry::instance().numberForName(u"windows-1251"_qs);
    QVERIFY(cp1251 != 0);

    m_controller->chooseFile(archive);
    QDialog *sheet = waitForSheet(EncodingSheet);
    QVERIFY(sheet);
    auto *popUp = sheet->findChild<QComboBox *>();
    QVERIFY(popUp);
    const int index = popUp->findData(QVariant::fromValue(cp1251), QXEncodingPopUp::EncodingRole);
    QVERIFY(index >= 0);
    popUp->setCurrentIndex(index);
    QVERIFY(press(sheet, QDialogButtonBox::AcceptRole));
    waitUntilIdle();
    QCOMPARE(readAll(m_work->filePath(u"names/Привет.txt"_qs)), QByteArray("hello"));
    QCOMPARE(readAll(m_work->filePath(u"names/мир.txt"_qs)), QByteArray("world"));
    QCOMPARE(visibleSheetCount(), 0);
}

void TestViewController::failuresShowErrorSheet()
{
    const QString text = m_work->filePath(u"notes.txt"_qs);
    QFile file(text);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("just some words, not an archive\n");
    file.close();
    const QString zip = makeZip(u"broken.zip"_qs, "broken");
    QByteArray bytes = readAll(zip);
    QVERIFY(bytes.size() > 60);
    bytes.truncate(bytes.size() / 2);
    bytes.replace(0, 4, "JUNK");
    QFile broken(zip);
    QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
    broken.write(bytes);
    broken.close();

    m_controller->chooseFile(text);
    m_controller->chooseFile(zip);
    QCOMPARE(m_controller->rarItems().size(), 2);
    QString shown;
    QVERIFY(acknowledgeError(&shown));
    QVERIFY2(shown.contains(u"notes.txt"_qs), qPrintable(shown));
    QTRY_COMPARE(m_controller->rarItems().size(), 1);
    while (QDialog *sheet = waitForSheet(ErrorSheet, 5000)) {
        QVERIFY(acknowledgeError(&shown));
        QVERIFY2(shown.contains(u"broken.zip"_qs), qPrintable(shown));
        QTest::qWait(50);
        if (m_controller->rarItems().isEmpty())
            break;
        Q_UNUSED(sheet);
    }
    waitUntilIdle();
    QVERIFY(tempFolders().isEmpty());
    QVERIFY(QFile::exists(text) && QFile::exists(zip));
}

namespace {

// The archive readers this test process started, by their /proc entries.
QList<pid_t> engineHelpers()
{
    QList<pid_t> helpers;
    for (const QString &entry : QDir(u"/proc"_qs).entryList(QDir::Dirs)) {
        const QByteArray stat = readAll(u"/proc/%1/stat"_qs.arg(entry));
        const qsizetype close = stat.lastIndexOf(')');
        if (close < 0 || !stat.contains("(quillbox-engine)"))
            continue;
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        if (fields.size() > 1 && fields.at(1).toInt() == ::getpid())
            helpers.append(pid_t(entry.toInt()));
    }
    return helpers;
}

} // namespace

// The reader dies while its password sheet is up: the archive ends with the
// error sheet, nothing is left behind, and the next archive extracts.
void TestViewController::killedReaderShowsErrorAndQueueGoesOn()
{
    const QString locked = copyCorpus(CorpusPasswordZip, u"locked box.zip"_qs);
    const QString good = makeZip(u"after.zip"_qs, "after");
    m_controller->chooseFile(locked);
    m_controller->chooseFile(good);
    QVERIFY(waitForSheet(PasswordSheet));
    const QList<pid_t> helpers = engineHelpers();
    QCOMPARE(helpers.size(), 1);
    QCOMPARE(::kill(helpers.first(), SIGKILL), 0);
    QVERIFY(answerPassword(u"password"_qs));
    QString shown;
    QVERIFY(acknowledgeError(&shown));
    QVERIFY2(shown.contains(u"locked box.zip"_qs) && shown.contains(u"archive reader"_qs), qPrintable(shown));
    waitUntilIdle();
    QVERIFY(QFileInfo(m_work->filePath(u"after"_qs)).isDir());
    QVERIFY(QFile::exists(locked));
    QVERIFY(tempFolders().isEmpty());
    QVERIFY(engineHelpers().isEmpty());
}

// --- Destination checks ---------------------------------------------------------

void TestViewController::rowCancelledBeforeItsCheck()
{
    const QString cancelled = makeZip(u"never.zip"_qs, "never");
    const QString next = makeZip(u"next.zip"_qs, "next");
    m_controller->chooseFile(cancelled);
    m_controller->chooseFile(next);
    const auto item = m_controller->rarItems().at(0);
    row(0)->cancelButton()->click();
    QVERIFY(!row(0)->cancelButton()->isEnabled());
    QTRY_VERIFY(!m_controller->rarItems().contains(item));
    QCOMPARE(m_controller->extractTask()->taskCount() <= 1, true);
    waitUntilIdle();
    QVERIFY(!QFile::exists(m_work->filePath(u"never"_qs)));
    QVERIFY(QFile::exists(m_work->filePath(u"next/one.txt"_qs)));
    QVERIFY(QFile::exists(cancelled));
    QCOMPARE(visibleSheetCount(), 0);
}

void TestViewController::refusedFolderSheetDropsRow()
{
    // Root may write anywhere, but never under a plain file.
    const QString plain = m_work->filePath(u"plain"_qs);
    QFile file(plain);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    auto &defaults = UserDefaults::standardUserDefaults();
    defaults.setInteger(SaveMethod::ChosenFolder, SettingsKeys::SaveMethod);
    defaults.setString(plain + u"/results"_qs, SettingsKeys::SelectPath);
    QVERIFY(!RARViewController::isWritableFolder(plain + u"/results"_qs));

    m_controller->chooseFile(makeZip(u"nowhere.zip"_qs, "nowhere"));
    auto *panel = waitForSheet<QFileDialog>(FolderSheet);
    QVERIFY(panel);
    QCOMPARE(panel->parentWidget(), m_host->window());
    QCOMPARE(panel->windowModality(), Qt::WindowModal);
    QVERIFY(panel->fileMode() == QFileDialog::Directory);
    QCOMPARE(QDir(panel->directory()).absolutePath(), QDir(m_work->path()).absolutePath());
    panel->reject();
    QTRY_VERIFY(m_controller->rarItems().isEmpty());
    QTest::qWait(100);
    QCOMPARE(visibleSheetCount(), 0); // silently
    QVERIFY(m_controller->chooseView()->isVisibleTo(m_controller->view()));
    QVERIFY(!m_host->mainWindow()->isVisible()); // the end rule ran at once
    QVERIFY(!QFile::exists(m_work->filePath(u"nowhere"_qs)));
}

void TestViewController::grantedFolderIsRememberedAcrossRestart()
{
    // A sandbox in miniature: only folders the cache grants can be written,
    // and "readonly" never.
    const auto sandbox = [](const QString &folder) {
        return !folder.endsWith(u"readonly"_qs)
               && !QXURLCache::sharedInstance().urlWithAllowAccessToPath(folder).isEmpty();
    };
    const QString granted = m_work->filePath(u"granted"_qs);
    const QString readonly = m_work->filePath(u"readonly"_qs);
    QVERIFY(QDir().mkpath(granted) && QDir().mkpath(readonly));
    auto &defaults = UserDefaults::standardUserDefaults();
    defaults.setInteger(SaveMethod::ChosenFolder, SettingsKeys::SaveMethod);
    defaults.setString(granted, SettingsKeys::SelectPath);
    m_controller->setWriteTest(sandbox);

    m_controller->chooseFile(makeZip(u"first.zip"_qs, "first"));
    auto *panel = waitForSheet<QFileDialog>(FolderSheet);
    QVERIFY(panel);
    QCOMPARE(QDir(panel->directory()).absolutePath(), granted);
    panel->setDirectory(readonly);
    QVERIFY(press(panel, QDialogButtonBox::AcceptRole));
    // Still not writable: the sheet comes back, opened at the new folder.
    QTRY_VERIFY(m_controller->folderPanel() && m_controller->folderPanel()->dialog()->isVisible());
    panel = waitForSheet<QFileDialog>(FolderSheet);
    QCOMPARE(QDir(panel->directory()).absolutePath(), readonly);
    panel->setDirectory(granted);
    QVERIFY(press(panel, QDialogButtonBox::AcceptRole));
    waitUntilIdle();
    QCOMPARE(readAll(granted + u"/first/one.txt"_qs), QByteArray("first file of first"));
    QVERIFY(defaults.dictionaryForKey(SettingsKeys::CachedURLs).contains(granted));

    // A new controller and a freshly read cache: no sheet this time.
    m_controller.reset();
    QXURLCache::resetSharedInstanceForTesting();
    startController();
    m_controller->setWriteTest(sandbox);
    m_host->mainWindow()->show();
    m_controller->chooseFile(makeZip(u"second.zip"_qs, "second"));
    waitUntilIdle();
    QVERIFY(!visibleSheet<QFileDialog>(FolderSheet));
    QCOMPARE(readAll(granted + u"/second/two.txt"_qs), QByteArray("second file of second"));
}

void TestViewController::promptBringsClosedWindowBack()
{
    const QString archive = copyCorpus(CorpusPasswordZip, u"late.zip"_qs);
    m_controller->chooseFile(archive);
    m_host->mainWindow()->close();
    QVERIFY(!m_host->mainWindow()->isVisible());
    QVERIFY(answerPassword(u"12345678"_qs));
    QVERIFY(m_host->showCalls >= 1);
    waitUntilIdle();
    QVERIFY(QFile::exists(m_work->filePath(u"late/foo.txt"_qs)));
}

// --- The end rule -----------------------------------------------------------------

void TestViewController::exitAppZeroOnlyClosesWindow()
{
    UserDefaults::standardUserDefaults().setInteger(0, SettingsKeys::ExitApp);
    m_controller->chooseFile(makeZip(u"stay.zip"_qs, "stay"));
    // The whole road runs inside the application's own event loop, so a quit
    // would end it; it is ended here only once the window has been closed.
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        if (m_controller->rarItems().isEmpty() && !m_host->mainWindow()->isVisible()) {
            poll.stop();
            QTimer::singleShot(300, qApp, [] { QCoreApplication::exit(42); });
        }
    });
    poll.start(20);
    QTimer::singleShot(30000, qApp, [] { QCoreApplication::exit(99); });
    const int code = QCoreApplication::exec();
    QCOMPARE(code, 42); // not quit: ended by the test

    QVERIFY(!m_host->mainWindow()->isVisible());
    QVERIFY(QFile::exists(m_work->filePath(u"stay/one.txt"_qs)));
}

void TestViewController::exitAppOneQuits()
{
    UserDefaults::standardUserDefaults().setInteger(1, SettingsKeys::ExitApp);
    const QString archive = makeZip(u"bye.zip"_qs, "bye");
    QTimer::singleShot(0, this, [&] { m_controller->chooseFile(archive); });
    QTimer::singleShot(30000, qApp, [] { QCoreApplication::exit(99); });
    const int code = QCoreApplication::exec();
    QCOMPARE(code, 0);
    QVERIFY(m_controller->rarItems().isEmpty());
    QVERIFY(QFile::exists(m_work->filePath(u"bye/one.txt"_qs)));
}

QTEST_MAIN(TestViewController)
#include "test_view_controller.moc"
