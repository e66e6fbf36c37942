#include "LegacyZipWriter.h"
#include "RecordingHost.h"
#include "SheetDriver.h"
#include "TestEnvironment.h"

#include "extraction/RARItem.h"
#include "extraction/view/RARViewController.h"
#include "platform/encoding/EncodingRegistry.h"
#include "prompts/QXEncodingPopUp.h"
#include "support/StringTable.h"
#include "window/RARItemViewController.h"
#include "window/WindowFrameAnimator.h"
#include "ArchiveMaker.h"

#include <QComboBox>
#include <QFileDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>
#include <QTest>

using namespace SheetDriver;

// Renders the main window in its states, and each sheet over it, to PNG files
// for people to look at. Every picture is checked for being drawn at all.
class TestScreenshots : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void emptyWindow();
    void rowsAndSheets();
    void longList();
    void cleanupTestCase();

private:
    QImage windowImage() const;
    QImage withSheet(QWidget *sheet) const;
    void save(const QImage &image, const QString &name);
    void waitForLayout();

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<RecordingHost> m_host;
    std::unique_ptr<RARViewController> m_controller;
    QDir m_out;
};

void TestScreenshots::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>();
    m_work = std::make_unique<QTemporaryDir>();
    StringTable::install(QLocale(QLocale::English, QLocale::UnitedStates));
    QApplication::setFont(QFont(u"DejaVu Sans"_qs, 10));
    m_out = QDir(QString::fromUtf8(QUILLBOX_SCREENSHOT_DIR));
    QVERIFY(m_out.mkpath(u"."_qs));
    m_host = std::make_unique<RecordingHost>();
    m_host->mainWindow()->resize(460, 300);
    m_controller = std::make_unique<RARViewController>(m_host.get());
    m_host->mainWindow()->setCentralWidget(m_controller->view());
    m_host->mainWindow()->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_host->mainWindow()));
}

void TestScreenshots::cleanupTestCase()
{
    for (int i = 0; i < 20 && !m_controller->rarItems().isEmpty(); ++i) {
        if (QDialog *sheet = visibleSheet<QDialog>())
            press(sheet, QDialogButtonBox::RejectRole) || press(sheet, QDialogButtonBox::AcceptRole);
        QTest::qWait(100);
    }
    m_controller.reset();
    m_host.reset();
    StringTable::uninstall();
}

QImage TestScreenshots::windowImage() const
{
    return m_host->mainWindow()->grab().toImage();
}

// The main window with the sheet at the place the window system shows it,
// on a plain desktop, each with a soft shadow.
QImage TestScreenshots::withSheet(QWidget *sheet) const
{
    const QRect main = m_host->mainWindow()->geometry();
    QRect dialog = sheet->geometry();
    // Sheets hang from the window's top edge, centred.
    dialog.moveTopLeft(QPoint(main.center().x() - dialog.width() / 2, main.top() + 24));
    const QRect canvas = main.united(dialog).adjusted(-24, -24, 24, 24);
    QImage image(canvas.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(0xE9, 0xEC, 0xEF));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    auto shadowed = [&](const QRect &area, const QImage &content) {
        const QRect at = area.translated(-canvas.topLeft());
        for (int i = 8; i > 0; --i) {
            QPainterPath path;
            path.addRoundedRect(QRectF(at).adjusted(-i, -i + 3, i, i + 3), 6 + i, 6 + i);
            p.fillPath(path, QColor(0, 0, 0, 6));
        }
        p.drawImage(at.topLeft(), content);
    };
    shadowed(main, windowImage());
    p.fillRect(main.translated(-canvas.topLeft()), QColor(0, 0, 0, 40)); // dimmed behind the sheet
    shadowed(dialog, sheet->grab().toImage());
    return image;
}

void TestScreenshots::save(const QImage &image, const QString &name)
{
    QVERIFY(!image.isNull());
    // Drawn at all: more than a handful of distinct colours.
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 7)
        for (int x = 0; x < image.width(); x += 7)
            colours.insert(image.pixel(x, y));
    QVERIFY2(colours.size() > 20, qPrintable(name));
    QVERIFY(image.save(m_out.filePath(name)));
}

void TestScreenshots::waitForLayout()
{
    QTRY_VERIFY(!m_controller->frameAnimator()->isAnimating());
    QTest::qWait(50);
}

void TestScreenshots::emptyWindow()
{
    save(windowImage(), u"01_empty_window.png"_qs);
}

void TestScreenshots::rowsAndSheets()
{
    const QString secret = m_work->filePath(u"Quarterly Report 2024.zip"_qs);
    QVERIFY(QFile::copy(TestEnvironment::corpusPath(
                            u"test_read_format_zip_traditional_encryption_data.zip"_qs), secret));
    LegacyZipWriter legacy(LegacyZipWriter::hostNtfs);
    legacy.add(QByteArray("\xcf\xf0\xe8\xe2\xe5\xf2.txt"), "hello");
    legacy.add(QByteArray("\xec\xe8\xf0.txt"), "world");
    const QString names = m_work->filePath(u"Holiday photos.zip"_qs);
    QVERIFY(legacy.write(names));
    // A volume set whose last volume is missing.
    const QString broken = m_work->filePath(u"family-archive.part1.rar"_qs);
    for (int part = 1; part <= 2; ++part)
        QVERIFY(QFile::copy(TestEnvironment::corpusPath(u"test_rar_multivolume_single_file.part%1.rar"_qs.arg(part)),
                            m_work->filePath(u"family-archive.part%1.rar"_qs.arg(part))));

    m_controller->chooseFile(secret);
    m_controller->chooseFile(names);
    m_controller->chooseFile(broken);
    QCOMPARE(m_controller->rarItems().size(), 3);
    waitForLayout();
    // The bars as the engine would leave them part-way.
    static_cast<RARItemViewController *>(m_controller->rarItems().at(0)->vc())->setProgress(0.42);
    QTest::qWait(50);
    save(windowImage(), u"02_three_rows.png"_qs);

    QDialog *password = waitForSheet(u"QXPasswordWindowController"_qs);
    QVERIFY(password);
    password->findChild<QLineEdit *>()->setText(u"secret"_qs);
    QTest::qWait(50);
    save(withSheet(password), u"03_password_sheet.png"_qs);
    QVERIFY(press(password, QDialogButtonBox::RejectRole));

    QDialog *error = waitForSheet(u"QXErrorWindowController"_qs);
    QVERIFY(error);
    QTest::qWait(50);
    save(withSheet(error), u"05_error_sheet.png"_qs);
    QVERIFY(press(error, QDialogButtonBox::AcceptRole));

    QDialog *encoding = waitForSheet(u"QXEncodingWindowController"_qs);
    QVERIFY(encoding);
    auto *popUp = encoding->findChild<QComboBox *>();
    const quint64 cp1251 = EncodingRegistry::instance().numberForName(u"windows-1251"_qs);
    const int index = popUp->findData(QVariant::fromValue(cp1251), QXEncodingPopUp::EncodingRole);
    if (index >= 0)
        popUp->setCurrentIndex(index);
    waitForLayout();
    QTest::qWait(50);
    save(withSheet(encoding), u"04_encoding_sheet.png"_qs);
    QVERIFY(press(encoding, QDialogButtonBox::AcceptRole));

    QDialog *missingVolume = waitForSheet(u"QXErrorWindowController"_qs);
    QVERIFY(missingVolume);
    QTest::qWait(50);
    save(withSheet(missingVolume), u"07_missing_volume_sheet.png"_qs);
    QVERIFY(press(missingVolume, QDialogButtonBox::AcceptRole));
    QTRY_VERIFY_WITH_TIMEOUT(m_controller->rarItems().isEmpty(), 20000);
}

void TestScreenshots::longList()
{
    m_controller->setWriteTest([](const QString &) { return false; });
    for (int i = 0; i < 14; ++i)
        m_controller->chooseFile(m_work->filePath(u"Scans %1.rar"_qs.arg(i + 1, 2, 10, QLatin1Char('0'))));
    QVERIFY(waitForSheet<QFileDialog>(u"folderPanel"_qs));
    waitForLayout();
    save(windowImage(), u"06_long_list.png"_qs);
    for (int i = 0; i < 14; ++i) {
        if (auto *panel = waitForSheet<QFileDialog>(u"folderPanel"_qs))
            panel->reject();
    }
    QTRY_VERIFY(m_controller->rarItems().isEmpty());
}

QTEST_MAIN(TestScreenshots)
#include "test_screenshots.moc"
