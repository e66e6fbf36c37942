#include "RARMainView.h"

#include <QLinearGradient>
#include <QPainter>
#include <limits>

RARMainView::RARMainView(QWidget *parent) : QWidget(parent)
{
    // Everything is painted here; no parent background shows through.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

namespace {

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// The scanner's rules: blanks first, then "0x" or "0X", then hex digits; a
// number too large for 32 bits saturates.
quint32 scanHexInt(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    if (i + 1 < text.size() && text.at(i) == u'0'
        && (text.at(i + 1) == u'x' || text.at(i + 1) == u'X') && i + 2 < text.size()
        && hexDigit(text.at(i + 2)) >= 0)
        i += 2;
    quint64 value = 0;
    for (; i < text.size(); ++i) {
        const int digit = hexDigit(text.at(i));
        if (digit < 0)
            break;
        value = value * 16 + quint64(digit);
        if (value > std::numeric_limits<quint32>::max())
            return std::numeric_limits<quint32>::max();
    }
    return quint32(value);
}

} // namespace

QColor RARMainView::colorWithHexColorString(const QString &text)
{
    const quint32 value = text.isNull() ? 0 : scanHexInt(text);
    const double red = double((value >> 16) & 0xFF) / 255.0;
    const double green = double((value >> 8) & 0xFF) / 255.0;
    const double blue = double(value & 0xFF) / 255.0;
    return QColor::fromRgbF(float(red), float(green), float(blue), 1.0f);
}

void RARMainView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRectF area(0, 0, width(), height());
    QLinearGradient gradient(area.bottomLeft(), area.topLeft());
    gradient.setColorAt(0.0, colorWithHexColorString(BottomColor));
    gradient.setColorAt(1.0, colorWithHexColorString(TopColor));
    painter.fillRect(area, gradient);
}
