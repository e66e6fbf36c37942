#include "QXFolderPanel.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

QXFolderPanel::QXFolderPanel(QWidget *window, const QString &folder, Completion completion)
    : QObject(window), m_completion(std::move(completion))
{
    auto *dialog = new QFileDialog(window);
    dialog->setObjectName(u"folderPanel"_qs);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setDirectory(nearestExistingFolder(folder));
    connect(dialog, &QFileDialog::finished, this, &QXFolderPanel::answered);
    m_dialog = dialog;
}

QXFolderPanel::~QXFolderPanel()
{
    delete m_dialog.data();
}

QFileDialog *QXFolderPanel::dialog() const
{
    return m_dialog;
}

void QXFolderPanel::begin()
{
    if (m_dialog)
        m_dialog->open();
}

void QXFolderPanel::answered(int result)
{
    if (!m_completion)
        return;
    QString chosen;
    if (result == QDialog::Accepted && m_dialog) {
        const QStringList files = m_dialog->selectedFiles();
        if (!files.isEmpty())
            chosen = QDir::cleanPath(files.first());
    }
    if (m_dialog)
        m_dialog->hide();
    // Answered once: the completion may well open the next panel.
    Completion completion = std::move(m_completion);
    m_completion = nullptr;
    deleteLater();
    completion(chosen);
}

QString QXFolderPanel::nearestExistingFolder(const QString &path)
{
    QString folder = QDir::cleanPath(path.isEmpty() ? QDir::homePath() : path);
    while (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).path();
        if (parent == folder)
            return QDir::homePath();
        folder = parent;
    }
    return folder;
}
