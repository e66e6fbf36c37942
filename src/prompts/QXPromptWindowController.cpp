#include "QXPromptWindowController.h"

#include "extraction/ItemController.h"
#include "extraction/ItemRow.h"
#include "extraction/RARItem.h"
#include "support/Localized.h"
#include "window/QXImages.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int iconSide = 48;
} // namespace

QXPromptWindowController::QXPromptWindowController(QWidget *parent)
    : QObject(parent), m_parent(parent)
{
}

QXPromptWindowController::~QXPromptWindowController()
{
    delete m_window.data();
}

QDialog *QXPromptWindowController::window()
{
    if (!m_window)
        loadWindow();
    return m_window;
}

QLabel *QXPromptWindowController::infoLabel()
{
    window();
    return m_infoLabel;
}

QPushButton *QXPromptWindowController::sureButton()
{
    window();
    return m_sureButton;
}

void QXPromptWindowController::loadWindow()
{
    auto *dialog = new QDialog(m_parent);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setObjectName(metaObject()->className());
    m_window = dialog;

    auto *icon = new QLabel(dialog);
    icon->setFixedSize(iconSide, iconSide);
    icon->setPixmap(QXImages::named(iconName()).pixmap(QSize(iconSide, iconSide), dialog->devicePixelRatioF()));

    m_infoLabel = new QLabel(dialog);
    m_infoLabel->setWordWrap(true);
    m_infoLabel->setTextFormat(Qt::PlainText);
    m_infoLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_infoLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_buttons = new QDialogButtonBox(dialog);
    m_sureButton = m_buttons->addButton(QString(), QDialogButtonBox::AcceptRole);
    //% "OK"
    m_sureButton->setText(localizedString("sure"));
    m_sureButton->setDefault(true);

    auto *content = new QVBoxLayout;
    content->setSpacing(12);
    content->addWidget(m_infoLabel);

    auto *grid = new QGridLayout(dialog);
    grid->setContentsMargins(20, 20, 20, 16);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(18);
    grid->addWidget(icon, 0, 0, Qt::AlignTop);
    grid->addLayout(content, 0, 1);
    grid->addWidget(m_buttons, 1, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    connect(dialog, &QDialog::rejected, this, &QXPromptWindowController::dismissAction);
    windowDidLoad(content);
    fitHeight();
}

QPushButton *QXPromptWindowController::addCancelButton()
{
    QPushButton *button = m_buttons->addButton(QString(), QDialogButtonBox::RejectRole);
    //% "Cancel"
    button->setText(localizedString("cancel"));
    button->setAutoDefault(false);
    return button;
}

void QXPromptWindowController::setItem(std::shared_ptr<RARItem> item)
{
    m_item = item;
    m_awaitingAnswer = true;
}

void QXPromptWindowController::endSheet()
{
    if (m_window)
        m_window->hide();
}

void QXPromptWindowController::answer(const std::function<void(RARItem &)> &store)
{
    endSheet();
    if (!m_awaitingAnswer)
        return;
    m_awaitingAnswer = false;
    const std::shared_ptr<RARItem> waiting = m_item.lock();
    if (!waiting)
        return;
    store(*waiting);
    ItemRow *row = waiting->vc();
    if (ItemController *controller = row ? row->controller() : nullptr)
        controller->stopConditionLock();
}

void QXPromptWindowController::fitHeight()
{
    QDialog *dialog = window();
    dialog->layout()->activate();
    int height = dialog->heightForWidth(windowWidth);
    if (height < 0)
        height = dialog->sizeHint().height();
    dialog->setFixedSize(windowWidth, height);
}
