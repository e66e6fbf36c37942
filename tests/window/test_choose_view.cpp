#include "window/RARChooseView.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>

// The drop area: which drags it takes and what it hands on.
class TestChooseView : public QObject {
    Q_OBJECT
private Q_SLOTS:
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

};

QTEST_MAIN(TestChooseView)
#include "test_choose_view.moc"
