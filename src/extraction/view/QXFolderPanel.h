#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class QFileDialog;
class QWidget;

// A folder-only open dialog run as a sheet on a window: the event loop goes
// on while it is up, and the answer comes back through the completion, once.
class QXFolderPanel : public QObject {
    Q_OBJECT
public:
    // The chosen folder's path, or a null string when the panel was refused.
    using Completion = std::function<void(const QString &chosen)>;

    QXFolderPanel(QWidget *window, const QString &folder, Completion completion);
    ~QXFolderPanel() override;

    void begin();
    QFileDialog *dialog() const;

    // The folder itself when it exists, otherwise its closest existing parent.
    static QString nearestExistingFolder(const QString &path);

private:
    void answered(int result);

    QPointer<QFileDialog> m_dialog;
    Completion m_completion;
};
