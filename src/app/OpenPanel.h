#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class QFileDialog;
class QWidget;

// The open dialog for archives: a sheet on the main window, one at a time,
// opening where the user picked archives last, as long as the program runs.
class OpenPanel : public QObject {
    Q_OBJECT
public:
    using OpenFunction = std::function<void(const QString &)>;

    explicit OpenPanel(OpenFunction openFile);

    // Brings the dialog up on the window, or to the front when it is up.
    void show(QWidget *window);
    // The dialog while it is up; null otherwise.
    QFileDialog *panel() const { return m_panel; }

private:
    QFileDialog *makePanel(QWidget *window);
    void finished(int result);

    OpenFunction m_openFile;
    QPointer<QFileDialog> m_panel;
    QString m_folder;
};
