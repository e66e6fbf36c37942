#include "SheetDriver.h"

#include "extraction/view/QXFolderPanel.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

// The folder sheet on its own: where it opens and how it answers.
class TestFolderPanel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void opensAtNearestExistingFolder();
    void answersOnceThenGoes_data();
    void answersOnceThenGoes();
};

void TestFolderPanel::opensAtNearestExistingFolder()
{
    QTemporaryDir dir;
    const QString root = QDir(dir.path()).canonicalPath();
    QVERIFY(QDir().mkpath(root + u"/a/b"_qs));
    QFile plain(root + u"/file"_qs);
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
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

void TestFolderPanel::answersOnceThenGoes_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("refused") << false;
    QTest::newRow("chosen") << true;
}

void TestFolderPanel::answersOnceThenGoes()
{
    QFETCH(bool, accept);
    QTemporaryDir dir;
    const QString chosen = QDir(dir.path()).canonicalPath();
    QWidget window;
    window.show();
    QStringList answers;
    QPointer<QXFolderPanel> panel = new QXFolderPanel(&window, chosen, [&](const QString &folder) {
        answers.append(folder.isNull() ? u"<refused>"_qs : folder);
    });
    panel->begin();
    auto *dialog = SheetDriver::waitForSheet<QFileDialog>(u"folderPanel"_qs);
    QVERIFY(dialog);
    if (accept)
        QVERIFY(SheetDriver::press(dialog, QDialogButtonBox::AcceptRole));
    else
        dialog->reject();
    QCOMPARE(answers, QStringList{accept ? chosen : u"<refused>"_qs});
    QTRY_VERIFY(panel.isNull());
    QCOMPARE(answers.size(), 1);
}

QTEST_MAIN(TestFolderPanel)
#include "test_folder_panel.moc"
