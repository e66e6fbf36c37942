#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QTest>
#include <QWidget>

// Finds the sheets a test has to answer among the visible top-level windows
// and presses their buttons, as a user would. Header only.
namespace SheetDriver {

// The visible dialog of the given class (and object name, when given).
template <typename T = QDialog>
T *visibleSheet(const QString &objectName = QString())
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        auto *sheet = qobject_cast<T *>(window);
        if (sheet && sheet->isVisible() && (objectName.isEmpty() || sheet->objectName() == objectName))
            return sheet;
    }
    return nullptr;
}

// Waits for the sheet to come up; null when it does not within the time.
template <typename T = QDialog>
T *waitForSheet(const QString &objectName = QString(), int timeoutMs = 15000)
{
    T *sheet = nullptr;
    if (!QTest::qWaitFor([&] { return (sheet = visibleSheet<T>(objectName)) != nullptr; }, timeoutMs))
        return nullptr;
    return sheet;
}

// Presses the first button of the sheet's button boxes with that role, if enabled.
inline bool press(QDialog *sheet, QDialogButtonBox::ButtonRole role)
{
    const auto boxes = sheet ? sheet->findChildren<QDialogButtonBox *>() : QList<QDialogButtonBox *>();
    for (QDialogButtonBox *box : boxes) {
        for (QAbstractButton *candidate : box->buttons()) {
            if (box->buttonRole(candidate) == role) {
                candidate->click();
                return candidate->isEnabled();
            }
        }
    }
    return false;
}

} // namespace SheetDriver
