#include "MetaCommentTranslator.h"
#include "TestEnvironment.h"

#include "extraction/RARItem.h"
#include "support/Localized.h"
#include "window/QXCancelButton.h"
#include "window/QXImages.h"
#include "window/RARItemViewController.h"

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QTest>
#include <QVBoxLayout>
#include <cmath>
#include <memory>
#include <optional>

namespace {

// Stands for the main window's content: the same gradient the rows sit on.
class GradientBackdrop : public QWidget {
protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        QLinearGradient gradient(0, 0, 0, height());
        gradient.setColorAt(0, QColor(0x19, 0x54, 0x6B));
        gradient.setColorAt(1, QColor(0xFF, 0xD8, 0x9B));
        p.fillRect(rect(), gradient);
    }
};

struct Row {
    std::shared_ptr<RARItem> item;
    RARItemViewController *vc = nullptr;
    int handled = 0;
};

void sendEnter(QWidget *widget)
{
    const QPointF inside(widget->width() / 2.0, widget->height() / 2.0);
    QEnterEvent enter(inside, inside, widget->mapToGlobal(inside));
    QCoreApplication::sendEvent(widget, &enter);
}

void sendLeave(QWidget *widget)
{
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(widget, &leave);
}

} // namespace

class TestItemRow : public QObject {
    Q_OBJECT

private:
    std::optional<TestEnvironment> m_env;
    std::unique_ptr<MetaCommentTranslator> m_strings;

    // Wires a row the way the controller does: everything is set before the
    // view is first read.
    std::unique_ptr<Row> makeRow(const QString &fileName)
    {
        auto row = std::make_unique<Row>();
        row->item = std::make_shared<RARItem>(QDir(m_env->home()).filePath(fileName));
        auto vc = std::make_unique<RARItemViewController>();
        row->vc = vc.get();
        vc->setItem(row->item);
        Row *raw = row.get();
        vc->setCancelHandler([raw](std::shared_ptr<RARItem> item) {
            ++raw->handled;
            item->extractCancel();
        });
        row->item->setVc(std::move(vc));
        return row;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_env.emplace();
        m_strings = std::make_unique<MetaCommentTranslator>(QStringLiteral(QUILLBOX_SOURCE_DIR));
        QVERIFY(QCoreApplication::installTranslator(m_strings.get()));
        QVERIFY(!m_strings->text(u"unarchiving"_qs).isEmpty());
    }

    void freshRowShowsItsArchive()
    {
        auto row = makeRow(u"a.rar"_qs);
        QWidget *view = row->vc->view();
        QVERIFY(view);
        QCOMPARE(row->vc->view(), view); // made once
        QCOMPARE(view->height(), 66);
        QCOMPARE(row->vc->item(), row->item);

        const QString expected = localizedString("unarchiving").arg(u"a.rar"_qs);
        QVERIFY(expected.contains(u"a.rar"_qs));
        QVERIFY(expected != u"a.rar"_qs);
        QCOMPARE(row->vc->filenameTextField()->toolTip(), expected);
        view->resize(600, 66);
        view->show();
        QCoreApplication::processEvents();
        QCOMPARE(row->vc->filenameTextField()->text(), expected);
        QCOMPARE(row->vc->filenameTextField()->palette().color(QPalette::WindowText), QColor(Qt::white));

        QProgressBar *bar = row->vc->progressIndicator();
        QVERIFY(bar->maximum() > bar->minimum()); // determinate
        QCOMPARE(bar->value(), bar->minimum());
        QCOMPARE(row->vc->progress(), 0.0);

        QVERIFY(row->vc->cancelButton()->isEnabled());
        QCOMPARE(row->vc->cancelButton()->currentImageName(), u"cancel_normal"_qs);
        QVERIFY(!row->vc->iconImageView()->pixmap().isNull());
    }

    void cancelRunsTheHandlerOnce()
    {
        auto row = makeRow(u"a.rar"_qs);
        row->vc->view()->show();
        QXCancelButton *button = row->vc->cancelButton();
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(row->handled, 1);
        QVERIFY(row->item->isCancelled());
        QVERIFY(!button->isEnabled());

        QTest::mouseClick(button, Qt::LeftButton);
        row->vc->cancelAction();
        QCOMPARE(row->handled, 1);
    }

    void progressMovesTheBar()
    {
        auto row = makeRow(u"a.rar"_qs);
        row->vc->view();
        QProgressBar *bar = row->vc->progressIndicator();
        row->vc->setProgress(0.5);
        QCOMPARE(bar->value(), (bar->minimum() + bar->maximum()) / 2);
        // Out-of-range values are clamped; a value that is not a number is ignored.
        const QList<std::pair<double, double>> steps{{0.25, 0.25}, {std::nan(""), 0.25}, {7.0, 1.0},
                                                     {-2.0, 0.0}, {INFINITY, 1.0}};
        for (const auto &[given, shown] : steps) {
            row->vc->setProgress(given);
            QCOMPARE(row->vc->progress(), shown);
        }
        QCOMPARE(bar->value(), bar->maximum());
        row->vc->cancelAction(); // the bar stays where it was
        QCOMPARE(row->vc->progress(), 1.0);
    }

    void buttonImagesFollowTheMouse()
    {
        QXCancelButton button;
        button.resize(button.sizeHint());
        button.show();
        QCOMPARE(button.currentImageName(), u"cancel_normal"_qs);
        QVERIFY(!button.showsBorder());

        sendEnter(&button);
        QCOMPARE(button.currentImageName(), u"cancel_hover"_qs);
        QVERIFY(button.showsBorder());

        QTest::mousePress(&button, Qt::LeftButton);
        QCOMPARE(button.currentImageName(), u"cancel_press"_qs);
        QTest::mouseRelease(&button, Qt::LeftButton);
        QCOMPARE(button.currentImageName(), u"cancel_hover"_qs);

        sendLeave(&button);
        QCOMPARE(button.currentImageName(), u"cancel_normal"_qs);
        QVERIFY(!button.showsBorder());
    }

    void disabledButtonKeepsTheNormalImage()
    {
        auto row = makeRow(u"a.rar"_qs);
        row->vc->view()->show();
        QXCancelButton *button = row->vc->cancelButton();

        // Pressed while the mouse is over it: it turns off and stops looking hot.
        sendEnter(button);
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(!button->isEnabled());
        QCOMPARE(button->currentImageName(), u"cancel_normal"_qs);
        QVERIFY(!button->showsBorder());

        sendLeave(button);
        QCOMPARE(button->currentImageName(), u"cancel_normal"_qs);
        sendEnter(button);
        QCOMPARE(button->currentImageName(), u"cancel_normal"_qs);
        QVERIFY(!button->showsBorder());
        sendLeave(button);
        QCOMPARE(button->currentImageName(), u"cancel_normal"_qs);
    }

    void theRowTakesItsViewAlong()
    {
        auto row = makeRow(u"a.rar"_qs);
        QPointer<QWidget> view = row->vc->view();
        QPointer<RARItemViewController> vc = row->vc;
        GradientBackdrop window;
        view->setParent(&window);
        row->item.reset(); // the item owns its row
        QVERIFY(vc.isNull());
        QVERIFY(view.isNull());
    }

    void aViewGoneFirstIsNoProblem()
    {
        auto row = makeRow(u"a.rar"_qs);
        {
            GradientBackdrop window;
            row->vc->view()->setParent(&window);
        }
        QVERIFY(!row->vc->isViewLoaded());
        row->item.reset(); // must not touch the deleted view
    }

    void screenshot()
    {
        GradientBackdrop window;
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        auto first = makeRow(u"Holiday photos 2023.zip"_qs);
        auto second = makeRow(u"project-sources.tar.xz"_qs);
        auto third = makeRow(u"报告.rar"_qs);
        layout->addWidget(first->vc->view());
        layout->addWidget(second->vc->view());
        layout->addWidget(third->vc->view());
        first->vc->setProgress(0.72);
        second->vc->setProgress(0.18);
        window.resize(480, 3 * 66);
        window.show();
        sendEnter(second->vc->cancelButton());
        third->vc->cancelAction();
        QCoreApplication::processEvents();

        const QString folder = QStringLiteral(QUILLBOX_SCREENSHOT_DIR);
        QVERIFY(QDir().mkpath(folder));
        const QImage shot = window.grab().toImage();
        QCOMPARE(qRound(shot.height() / shot.devicePixelRatio()), 3 * 66);
        QVERIFY(shot.save(QDir(folder).filePath(u"rows.png"_qs)));
    }
};

QTEST_MAIN(TestItemRow)
#include "test_item_row.moc"
