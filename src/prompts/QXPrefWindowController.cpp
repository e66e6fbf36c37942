#include "QXPrefWindowController.h"

#include "access/QXURLCache.h"
#include "platform/settings/UserDefaults.h"
#include "platform/settings/SettingsKeys.h"
#include "support/Localized.h"
#include "support/StringExpand.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int WindowWidth = 500;

UserDefaults &store()
{
    return UserDefaults::standardUserDefaults();
}

// The folder itself when it is still there, else the nearest folder above it
// that is, so the sheet never opens on a path that has gone; home when no
// folder was ever chosen (a relative path would be read against the
// directory the program was started in).
QString nearestExistingFolder(const QString &path)
{
    QString candidate = QDir::cleanPath(path);
    if (!QDir::isAbsolutePath(candidate))
        return QDir::homePath();
    while (!candidate.isEmpty() && !QFileInfo(candidate).isDir()) {
        const QString parent = QFileInfo(candidate).path();
        if (parent == candidate)
            break;
        candidate = parent;
    }
    return QFileInfo(candidate).isDir() ? QFileInfo(candidate).absoluteFilePath()
                                        : QDir::homePath();
}

} // namespace

QXPrefWindowController::QXPrefWindowController(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    buildLayout();
    awakeFromNib();
}

void QXPrefWindowController::buildLayout()
{
    m_labelSaveTo = new QLabel(this);
    m_popButtonSave = new QComboBox(this);
    m_popButtonSave->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_popButtonSave->setMinimumContentsLength(24);
    m_labelSaveTo->setBuddy(m_popButtonSave);
    m_labelComplete = new QLabel(this);
    m_checkOpen = new QCheckBox(this);
    m_checkExit = new QCheckBox(this);

    auto *checks = new QVBoxLayout;
    checks->setSpacing(6);
    checks->addWidget(m_checkOpen);
    checks->addWidget(m_checkExit);

    auto *form = new QFormLayout(this);
    form->setContentsMargins(24, 20, 24, 24);
    form->setHorizontalSpacing(12);
    form->setVerticalSpacing(16);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->addRow(m_labelSaveTo, m_popButtonSave);
    form->addRow(m_labelComplete, checks);

    connect(m_popButtonSave, &QComboBox::activated, this, [this] { popButtonSaveAction(); });
    // clicked, not toggled: only the user's own changes are stored.
    connect(m_checkOpen, &QCheckBox::clicked, this, [this] { checkOpenAction(); });
    connect(m_checkExit, &QCheckBox::clicked, this, [this] { checkExitAction(); });
}

void QXPrefWindowController::awakeFromNib()
{
    //% "Preferences"
    setWindowTitle(localizedString("rar_preference"));
    //% "Save files to:"
    m_labelSaveTo->setText(localizedString("pref_label_saveto"));
    setupPopButton();
    //% "When done:"
    m_labelComplete->setText(localizedString("pref_label_complete"));
    //% "Show the extracted files in the file manager"
    m_checkOpen->setText(localizedString("pref_openfolder"));
    //% "Quit Quillbox when all archives are extracted"
    m_checkExit->setText(localizedString("pref_exit"));
    m_checkOpen->setChecked(store().integerForKey(SettingsKeys::OpenFolder) != 0);
    m_checkExit->setChecked(store().integerForKey(SettingsKeys::ExitApp) != 0);

    setFixedWidth(WindowWidth);
    setFixedHeight(sizeHint().height());
}

void QXPrefWindowController::orderFront()
{
    show();
    raise();
}

void QXPrefWindowController::setupPopButton()
{
    m_popButtonSave->clear();
    const QString selectPath = store().stringForKey(SettingsKeys::SelectPath);
    if (isValid(selectPath)) {
        addEntry(selectPath, TagChosenPath);
        m_popButtonSave->setItemData(0, selectPath, Qt::ToolTipRole);
        addLineItem();
    }
    const int tag = tagToSelect();
    //% "Next to the archive"
    addEntry(localizedString("pref_to_currentfolder"), TagBesideArchive);
    //% "Desktop"
    addEntry(localizedString("pref_to_desktop"), TagDesktop);
    addLineItem();
    //% "Choose Another Folder…"
    addEntry(localizedString("pref_to_select"), TagSelectOther);
    selectItemWithTag(tag);
}

int QXPrefWindowController::tagToSelect()
{
    const qint64 method = store().integerForKey(SettingsKeys::SaveMethod);
    switch (method) {
    case 0:
        store().setInteger(SaveMethod::BesideArchive, SettingsKeys::SaveMethod);
        store().synchronize();
        return TagBesideArchive;
    case SaveMethod::ChosenFolder:
        return isValid(store().stringForKey(SettingsKeys::SelectPath)) ? TagChosenPath
                                                                        : TagBesideArchive;
    case SaveMethod::Desktop:
        return TagDesktop;
    default:
        // Extraction puts every other value next to the archive; so does the
        // menu, rather than pointing at an entry that means something else.
        return TagBesideArchive;
    }
}

void QXPrefWindowController::addEntry(const QString &title, int tag)
{
    m_popButtonSave->addItem(title, tag);
}

void QXPrefWindowController::addLineItem()
{
    m_popButtonSave->insertSeparator(m_popButtonSave->count());
}

void QXPrefWindowController::selectItemWithTag(int tag)
{
    const int index = m_popButtonSave->findData(tag);
    if (index >= 0)
        m_popButtonSave->setCurrentIndex(index);
}

QList<int> QXPrefWindowController::menuTags() const
{
    QList<int> tags;
    for (int i = 0; i < m_popButtonSave->count(); ++i) {
        const QVariant data = m_popButtonSave->itemData(i);
        tags.append(data.isValid() ? data.toInt() : SeparatorTag);
    }
    return tags;
}

int QXPrefWindowController::selectedTag() const
{
    const QVariant data = m_popButtonSave->currentData();
    return data.isValid() ? data.toInt() : SeparatorTag;
}

void QXPrefWindowController::popButtonSaveAction()
{
    switch (selectedTag()) {
    case TagSelectOther:
        selectOtherAction();
        break;
    case TagChosenPath:
        store().setInteger(SaveMethod::ChosenFolder, SettingsKeys::SaveMethod);
        store().synchronize();
        break;
    case TagBesideArchive:
    case TagDesktop:
        store().setInteger(selectedTag(), SettingsKeys::SaveMethod);
        store().synchronize();
        break;
    default:
        break;
    }
}

void QXPrefWindowController::selectOtherAction()
{
    if (m_folderPanel) {
        m_folderPanel->raise();
        return;
    }
    auto *panel = new QFileDialog(this);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowModality(Qt::WindowModal);
    panel->setFileMode(QFileDialog::Directory);
    panel->setOption(QFileDialog::ShowDirsOnly, true);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    //% "Choose a Folder for Extracted Files"
    panel->setWindowTitle(localizedString("pref_select_title"));
    //% "Choose"
    panel->setLabelText(QFileDialog::Accept, localizedString("pref_select_button"));
    // Without a folder the dialog would open wherever the program was started.
    panel->setDirectory(nearestExistingFolder(store().stringForKey(SettingsKeys::SelectPath)));
    connect(panel, &QDialog::finished, this,
            [this, panel](int result) { folderPanelFinished(panel, result); });
    m_folderPanel = panel;
    panel->open();
}

void QXPrefWindowController::folderPanelFinished(QFileDialog *panel, int result)
{
    const QList<QUrl> urls = panel->selectedUrls();
    const QUrl url = urls.isEmpty() ? QUrl() : urls.first();
    const QString path = url.isLocalFile() ? QDir::cleanPath(url.toLocalFile()) : QString();
    if (result == QDialog::Accepted && isValid(path) && QFileInfo(path).isDir()) {
        store().setString(path, SettingsKeys::SelectPath);
        QXURLCache::sharedInstance().saveSecurityURL(QUrl::fromLocalFile(path));
        store().setInteger(SaveMethod::ChosenFolder, SettingsKeys::SaveMethod);
        store().synchronize();
    }
    m_folderPanel = nullptr;
    setupPopButton();
}

void QXPrefWindowController::checkOpenAction()
{
    store().setInteger(m_checkOpen->isChecked() ? 1 : 0, SettingsKeys::OpenFolder);
}

void QXPrefWindowController::checkExitAction()
{
    store().setInteger(m_checkExit->isChecked() ? 1 : 0, SettingsKeys::ExitApp);
}
