#include "OpenPanel.h"

#include "support/Localized.h"

#include <QDir>
#include <QFileDialog>

OpenPanel::OpenPanel(OpenFunction openFile) : m_openFile(std::move(openFile)) {}

void OpenPanel::show(QWidget *window)
{
    if (m_panel) {
        m_panel->raise();
        m_panel->activateWindow();
        return;
    }
    m_panel = makePanel(window);
    m_panel->open();
}

QFileDialog *OpenPanel::makePanel(QWidget *window)
{
    auto *panel = new QFileDialog(window);
    panel->setObjectName(u"openPanel"_qs);
    panel->setFileMode(QFileDialog::ExistingFiles);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    panel->setDirectory(m_folder.isEmpty() ? QDir::homePath() : m_folder);
    //% "Unarchive"
    panel->setLabelText(QFileDialog::Accept, localizedString("unarchive"));
    panel->setWindowModality(Qt::WindowModal);
    connect(panel, &QFileDialog::finished, this, &OpenPanel::finished);
    return panel;
}

void OpenPanel::finished(int result)
{
    QFileDialog *panel = m_panel;
    // Cleared before the files open, so each of them may bring a new dialog.
    m_panel = nullptr;
    if (!panel)
        return;
    panel->hide();
    panel->deleteLater();
    if (result != QDialog::Accepted)
        return;
    m_folder = panel->directory().absolutePath();
    const QStringList files = panel->selectedFiles();
    for (const QString &file : files)
        m_openFile(file);
}
