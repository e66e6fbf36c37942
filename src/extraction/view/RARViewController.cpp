#include "RARViewController.h"

#include "extraction/ExtractionController.h"
#include "extraction/RARItem.h"
#include "extraction/view/ControllerHost.h"
#include "extraction/view/PromptSheets.h"
#include "extraction/view/WindowGeometry.h"
#include "support/ArrayExpand.h"
#include "support/Localized.h"
#include "window/RARChooseView.h"
#include "window/RARItemViewController.h"
#include "window/RARListView.h"
#include "window/RARMainView.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

RARViewController::RARViewController(ControllerHost *host, QObject *parent)
    : QObject(parent), m_host(host), m_prompts(new PromptSheets(host, this)),
      m_geometry(new WindowGeometry(host, this)), m_extraction(new ExtractionController(m_prompts, this, this, this))
{
}

RARViewController::~RARViewController()
{
    // Rows belong to their items, which may outlive this controller on their
    // workers: take the rows out of the view, and let no item call back here.
    for (const auto &item : m_extraction->rarItems()) {
        auto *row = static_cast<RARItemViewController *>(item->vc());
        if (!row)
            continue;
        row->setController(nullptr);
        if (row->isViewLoaded())
            row->view()->setParent(nullptr);
    }
    delete m_view.data();
}

// --- The view -------------------------------------------------------------

QWidget *RARViewController::view()
{
    if (!m_view)
        awakeFromNib();
    return m_view;
}

RARChooseView *RARViewController::chooseView()
{
    view();
    return m_chooseView;
}

QLabel *RARViewController::tipLabel()
{
    return chooseView() ? m_chooseView->tipLabel() : nullptr;
}

QLabel *RARViewController::commentLabel()
{
    return chooseView() ? m_chooseView->commentLabel() : nullptr;
}

QPushButton *RARViewController::openButton()
{
    return chooseView() ? m_chooseView->openButton() : nullptr;
}

RARListView *RARViewController::listView()
{
    view();
    return m_listView;
}

QWidget *RARViewController::bannerButton()
{
    return chooseView() ? m_chooseView->bannerButton() : nullptr;
}

void RARViewController::awakeFromNib()
{
    auto *main = new RARMainView;
    main->setObjectName(u"RARViewController"_qs);
    main->installEventFilter(this);
    m_view = main;
    m_listView = new RARListView(main);
    m_listView->setGeometry(main->rect());
    m_listView->hide();
    m_chooseView = new RARChooseView(main);
    m_chooseView->setGeometry(main->rect());

    //% "Drop archives here"
    tipLabel()->setText(localizedString("drag_tip"));
    //% "Write a review"
    commentLabel()->setText(localizedString("write_review"));
    QPalette white = tipLabel()->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    tipLabel()->setPalette(white);
    //% "Open Archive…"
    openButton()->setText(localizedString("btn_open_archive"));
    configUI();
    if (m_host)
        m_chooseView->setBannerButton(m_host->makeBannerButton());

    QPointer<RARViewController> weak(this);
    m_chooseView->setChooseFilesHandler([weak](const QStringList &paths) {
        for (const QString &path : paths) {
            if (!weak)
                return;
            weak->chooseFile(path);
        }
    });
    connectButtons();
}

void RARViewController::configUI()
{
    if (m_host)
        m_host->setWindowTitle();
}

void RARViewController::connectButtons()
{
    connect(m_chooseView->openButton(), &QPushButton::clicked, this,
            &RARViewController::openArchiveFileAction);
    connect(m_chooseView->settingsButton(), &QToolButton::clicked, this,
            &RARViewController::setupAction);
    connect(m_chooseView->reviewButton(), &QToolButton::clicked, this,
            &RARViewController::goCommentAction);
    //% "More Apps"
    m_chooseView->promotionButton()->setText(localizedString("more_apps"));
    connect(m_chooseView->promotionButton(), &QToolButton::clicked, this,
            &RARViewController::openPhoneAppAction);
    //% "Settings"
    m_chooseView->settingsButton()->setToolTip(localizedString("settings"));
    m_chooseView->reviewButton()->setToolTip(commentLabel()->text());
}

void RARViewController::openArchiveFileAction()
{
    if (m_host)
        m_host->menu_openAction();
}

void RARViewController::setupAction()
{
    if (m_host)
        m_host->menu_preferenceAction();
}

void RARViewController::goCommentAction()
{
    if (m_host)
        m_host->goCommentAction();
}

void RARViewController::openPhoneAppAction()
{
    if (m_host)
        m_host->openPhoneAppAction();
}

bool RARViewController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view && event->type() == QEvent::Resize) {
        m_chooseView->setGeometry(m_view->rect());
        m_listView->setGeometry(m_view->rect());
    }
    return QObject::eventFilter(watched, event);
}

// --- The rows -------------------------------------------------------------

void RARViewController::addRow(const std::shared_ptr<RARItem> &item, ItemController *controller)
{
    chooseView()->hide();
    auto row = std::make_unique<RARItemViewController>();
    row->setController(controller);
    row->setItem(item);
    row->setCancelHandler([](std::shared_ptr<RARItem> cancelled) {
        if (cancelled)
            cancelled->extractCancel();
    });
    RARItemViewController *rowController = row.get();
    item->setVc(std::move(row));
    m_listView->addRow(rowController->view());
}

void RARViewController::removeRow(const std::shared_ptr<RARItem> &item)
{
    if (auto *row = static_cast<RARItemViewController *>(item->vc()); row && row->isViewLoaded())
        listView()->takeRow(row->view());
}

void RARViewController::rowsChanged()
{
    _layoutSubViews();
}

void RARViewController::_layoutSubViews()
{
    view();
    const bool empty = rarItems().isEmpty();
    if (m_host)
        m_host->setIsCompleted(empty);
    if (empty)
        m_chooseView->show();
    m_listView->setVisible(!empty);
    QList<QWidget *> newestFirst;
    for (const auto &item : reverseArray(rarItems()))
        newestFirst.append(static_cast<RARItemViewController *>(item->vc())->view());
    m_geometry->fit(m_view, m_listView, newestFirst);
}

WindowFrameAnimator *RARViewController::frameAnimator()
{
    return m_geometry->frameAnimator();
}

// --- The shell ------------------------------------------------------------

void RARViewController::closeWindow()
{
    if (QWidget *window = m_host ? m_host->window() : nullptr)
        window->close();
}

void RARViewController::terminate()
{
    if (m_host)
        m_host->terminate();
    else
        QCoreApplication::quit();
}

void RARViewController::readyComment()
{
    if (m_host)
        m_host->readyComment();
}

// --- The extraction controller's side -----------------------------------------

void RARViewController::chooseFile(const QString &path)
{
    m_extraction->chooseFile(path);
}

void RARViewController::stopEverything(std::function<void()> whenStopped)
{
    m_extraction->stopEverything(std::move(whenStopped));
}

bool RARViewController::isExtracting() const
{
    return m_extraction->isExtracting();
}

const QList<std::shared_ptr<RARItem>> &RARViewController::rarItems() const
{
    return m_extraction->rarItems();
}

QXTaskQueue *RARViewController::setupTask()
{
    return m_extraction->setupTask();
}

QXTaskQueue *RARViewController::extractTask()
{
    return m_extraction->extractTask();
}

ConditionLock &RARViewController::pauseLock()
{
    return m_extraction->pauseLock();
}

void RARViewController::setWriteTest(std::function<bool(const QString &folder)> test)
{
    m_extraction->setWriteTest(std::move(test));
}

void RARViewController::passwordWithItem(std::shared_ptr<RARItem> item)
{
    m_extraction->passwordWithItem(std::move(item));
}

void RARViewController::encodingWithItem(std::shared_ptr<RARItem> item, const XADString &name)
{
    m_extraction->encodingWithItem(std::move(item), name);
}

void RARViewController::errorTipWithItem(std::shared_ptr<RARItem> item)
{
    m_extraction->errorTipWithItem(std::move(item));
}

void RARViewController::startConditionLock()
{
    m_extraction->startConditionLock();
}

void RARViewController::stopConditionLock()
{
    m_extraction->stopConditionLock();
}

void RARViewController::extractFinished(std::shared_ptr<RARItem> item)
{
    m_extraction->extractFinished(std::move(item));
}

// --- Prompts --------------------------------------------------------------

QXPasswordWindowController *RARViewController::passwordWindowCtl()
{
    return m_prompts->passwordWindowCtl();
}

QXEncodingWindowController *RARViewController::encodingWindowCtl()
{
    return m_prompts->encodingWindowCtl();
}

QXErrorWindowController *RARViewController::errorWindowCtl()
{
    return m_prompts->errorWindowCtl();
}

QXFolderPanel *RARViewController::folderPanel() const
{
    return m_prompts->folderPanel();
}
