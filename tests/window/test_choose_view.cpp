#include "window/RARChooseView.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QUrl>

// The drop area: which drags it takes and what it hands on.
class TestChooseView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void acceptsLocalFiles();
    void refusesDragsWithoutLocalFiles();
    void dropHandsPathsInOrder();
    void dropWithoutHandlerIsHarmless();
    void bannerSlot();

private:
    static QMimeData *uriList(const QList<QUrl> &urls);
    // A drop arrives after the drag has entered, as from a file manager.
    static void drop(QWidget *target, QMimeData *data, QDropEvent *event);
};

void TestChooseView::drop(QWidget *target, QMimeData *data, QDropEvent *event)
{
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QApplication::sendEvent(target, event);
}

QMimeData *TestChooseView::uriList(const QList<QUrl> &urls)
{
    auto *data = new QMimeData;
    data->setUrls(urls);
    return data;
}

void TestChooseView::acceptsLocalFiles()
{
    RARChooseView view;
    view.resize(400, 300);
    std::unique_ptr<QMimeData> data(uriList({QUrl::fromLocalFile(u"/tmp/a.zip"_qs)}));
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction | Qt::MoveAction, data.get(),
                          Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &enter);
    QVERIFY(enter.isAccepted());
    QCOMPARE(enter.dropAction(), Qt::CopyAction);
    QVERIFY(view.isDragHovered());

    QDragLeaveEvent leave;
    QApplication::sendEvent(&view, &leave);
    QVERIFY(!view.isDragHovered());
}

void TestChooseView::refusesDragsWithoutLocalFiles()
{
    RARChooseView view;
    std::unique_ptr<QMimeData> web(uriList({QUrl(u"https://example.org/a.zip"_qs)}));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, web.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &enter);
    QVERIFY(!enter.isAccepted());
    QVERIFY(!view.isDragHovered());

    QMimeData text;
    text.setText(u"/tmp/a.zip"_qs);
    QDragEnterEvent plain(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &plain);
    QVERIFY(!plain.isAccepted());
}

void TestChooseView::dropHandsPathsInOrder()
{
    RARChooseView view;
    QList<QStringList> calls;
    view.setChooseFilesHandler([&](const QStringList &paths) { calls.append(paths); });
    std::unique_ptr<QMimeData> data(uriList({
        QUrl::fromLocalFile(u"/home/u/c.rar"_qs),
        QUrl(u"https://example.org/x.zip"_qs),
        QUrl::fromLocalFile(u"/home/u/a b.zip"_qs),
        QUrl::fromLocalFile(u"/home/u/notes"_qs),
    }));
    QDropEvent dropped(QPointF(20, 20), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    drop(&view, data.get(), &dropped);
    QCOMPARE(calls.size(), 1);
    QVERIFY(dropped.isAccepted());
    // The view does not judge file types; the controller does.
    QCOMPARE(calls.first(),
             (QStringList{u"/home/u/c.rar"_qs, u"/home/u/a b.zip"_qs, u"/home/u/notes"_qs}));

    std::unique_ptr<QMimeData> none(uriList({QUrl(u"https://example.org/x.zip"_qs)}));
    QDropEvent webDrop(QPointF(20, 20), Qt::CopyAction, none.get(), Qt::LeftButton, Qt::NoModifier);
    drop(&view, none.get(), &webDrop);
    QCOMPARE(calls.size(), 1);
}

void TestChooseView::dropWithoutHandlerIsHarmless()
{
    RARChooseView view;
    QVERIFY(!view.chooseFilesHandler());
    std::unique_ptr<QMimeData> data(uriList({QUrl::fromLocalFile(u"/tmp/a.zip"_qs)}));
    QDropEvent dropped(QPointF(1, 1), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    drop(&view, data.get(), &dropped);
    QVERIFY(dropped.isAccepted());
}

void TestChooseView::bannerSlot()
{
    RARChooseView view;
    QVERIFY(view.openButton() && view.tipLabel() && view.commentLabel());
    QVERIFY(view.settingsButton() && view.reviewButton() && view.promotionButton());
    QVERIFY(!view.bannerButton());
    QPointer<QWidget> first = new QWidget;
    view.setBannerButton(first);
    QCOMPARE(first->parentWidget()->window(), &view);
    QPointer<QWidget> second = new QWidget;
    view.setBannerButton(second);
    QVERIFY(first.isNull());
    QCOMPARE(view.bannerButton(), second.data());
}

QTEST_MAIN(TestChooseView)
#include "test_choose_view.moc"
