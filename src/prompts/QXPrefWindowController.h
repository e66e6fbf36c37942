#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

class QCheckBox;
class QComboBox;
#include <QFileDialog>
class QLabel;

// The preferences window: where extracted files go, and what happens when an
// archive or the whole queue is done. Every change is stored at once; there
// is nothing to apply or cancel.
class QXPrefWindowController : public QWidget {
    Q_OBJECT
public:
    // Tags of the destination menu entries.
    enum Tag {
        TagBesideArchive = 1,
        TagDesktop = 2,
        TagSelectOther = 3,
        TagChosenPath = 4,
    };
    // What the destination menu holds in place of a tag for a separator line.
    static constexpr int SeparatorTag = -1;

    explicit QXPrefWindowController(QWidget *parent = nullptr);

    // Shows the window and brings it to the front.
    void orderFront();

    void setupPopButton();
    void addLineItem();
    void popButtonSaveAction();
    void selectOtherAction();
    void checkOpenAction();
    void checkExitAction();

    QLabel *label_saveto() const { return m_labelSaveTo; }
    QComboBox *popButton_save() const { return m_popButtonSave; }
    QLabel *label_complete() const { return m_labelComplete; }
    QCheckBox *check_open() const { return m_checkOpen; }
    QCheckBox *check_exit() const { return m_checkExit; }

    // The tags of the destination menu from top to bottom, and the selected one.
    QList<int> menuTags() const;
    int selectedTag() const;
    // The folder sheet while it is open; null otherwise.
    QFileDialog *folderPanel() const { return m_folderPanel; }

private:
    void awakeFromNib();
    void buildLayout();
    int tagToSelect();
    void addEntry(const QString &title, int tag);
    void selectItemWithTag(int tag);
    void folderPanelFinished(QFileDialog *panel, int result);

    QLabel *m_labelSaveTo = nullptr;
    QComboBox *m_popButtonSave = nullptr;
    QLabel *m_labelComplete = nullptr;
    QCheckBox *m_checkOpen = nullptr;
    QCheckBox *m_checkExit = nullptr;
    QPointer<QFileDialog> m_folderPanel;
};
