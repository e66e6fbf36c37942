#include "extraction/view/QXFolderPanel.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>

// The folder sheet opens at the nearest folder that exists.
class TestFolderPanel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void opensAtNearestExistingFolder();
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

QTEST_MAIN(TestFolderPanel)
#include "test_folder_panel.moc"
