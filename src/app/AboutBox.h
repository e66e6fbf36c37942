#pragma once

#include <QPointer>

class QMessageBox;
class QWidget;

// The About box: modeless, made when first asked for and gone when closed,
// so asking again while it is up only brings it to the front.
class AboutBox {
public:
    void show(QWidget *window);

private:
    static QMessageBox *make(QWidget *window);

    QPointer<QMessageBox> m_box;
};
