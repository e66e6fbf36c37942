#pragma once

#include <QColor>
#include <QWidget>

// The main window's background: a vertical gradient, warm at the bottom and
// deep blue-green at the top.
class RARMainView : public QWidget {
    Q_OBJECT
public:
    explicit RARMainView(QWidget *parent = nullptr);

    // Reads "RRGGBB" as one hexadecimal number (leading blanks skipped, an
    // optional 0x prefix accepted, no digits gives black). A null string is black.
    static QColor colorWithHexColorString(const QString &text);

    static inline const QString BottomColor = QStringLiteral("FFD89B");
    static inline const QString TopColor = QStringLiteral("19546B");

protected:
    void paintEvent(QPaintEvent *event) override;
};
