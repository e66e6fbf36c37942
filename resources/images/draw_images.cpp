// Draws the program's own images into this folder, at 1x and 2x.
// The build has no SVG renderer, so the artwork lives here as painting code
// and the PNG files it writes are what the resource file bundles.
// Rebuild them with:  cmake --build <dir> --target quillbox_draw_images &&
//                     <dir>/src/window/quillbox_draw_images <this folder>
#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <functional>

namespace {

using Painter = std::function<void(QPainter &)>;

// Every drawing is written in logical units on a square of side `size`.
void save(const QString &folder, const QString &name, int size, const Painter &paint)
{
    for (int scale : {1, 2}) {
        QImage image(size * scale, size * scale, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(scale, scale);
        paint(p);
        p.end();
        const QString suffix = scale == 1 ? QString() : u"@2x"_qs;
        image.save(QDir(folder).filePath(name + suffix + u".png"_qs));
    }
}

// The cancel button: a round translucent disc with a cross. It sits on a
// gradient that runs from dark teal to pale amber, so a faint dark ring keeps
// the white disc readable on the light end too.
void cancelImage(QPainter &p, qreal discAlpha, const QColor &cross, qreal ringAlpha)
{
    const QPointF c(11, 11);
    p.setPen(QPen(QColor(0, 0, 0, int(ringAlpha * 255)), 1.0));
    p.setBrush(QColor(255, 255, 255, int(discAlpha * 255)));
    p.drawEllipse(c, 9.5, 9.5);
    QPen pen(cross, 1.8, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    const qreal d = 3.6;
    p.drawLine(c + QPointF(-d, -d), c + QPointF(d, d));
    p.drawLine(c + QPointF(-d, d), c + QPointF(d, -d));
}

// A cardboard archive box with a zip running down its front.
void archiveImage(QPainter &p)
{
    QLinearGradient body(0, 10, 0, 44);
    body.setColorAt(0, QColor(0xE8, 0xB8, 0x6D));
    body.setColorAt(1, QColor(0xC4, 0x8A, 0x3E));
    p.setPen(QPen(QColor(0x8A, 0x5A, 0x22), 1.0));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(6.5, 13.5, 35, 29), 3, 3);

    QLinearGradient lid(0, 5, 0, 15);
    lid.setColorAt(0, QColor(0xF3, 0xCD, 0x8C));
    lid.setColorAt(1, QColor(0xDC, 0xA6, 0x58));
    p.setBrush(lid);
    p.drawRoundedRect(QRectF(4.5, 6.5, 39, 9), 2.5, 2.5);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x5B, 0x63, 0x6B));
    p.drawRect(QRectF(22, 7, 4, 35));
    p.setBrush(QColor(0xE6, 0xE9, 0xEC));
    for (int i = 0; i < 8; ++i) {
        const qreal y = 8.5 + i * 4.2;
        p.drawRect(QRectF(i % 2 ? 24 : 22.5, y, 1.5, 2.2));
    }
    // The pull tab.
    p.setPen(QPen(QColor(0x3C, 0x42, 0x48), 1.0));
    p.setBrush(QColor(0xC9, 0xCE, 0xD3));
    p.drawRoundedRect(QRectF(20.5, 27.5, 7, 9), 2, 2);
    p.setBrush(QColor(0x3C, 0x42, 0x48));
    p.drawEllipse(QPointF(24, 33.8), 1.1, 1.1);
}

// A padlock, for the password prompt.
void lockImage(QPainter &p)
{
    QPen shackle(QColor(0x7C, 0x86, 0x90), 4.5, Qt::SolidLine, Qt::FlatCap);
    p.setPen(shackle);
    p.setBrush(Qt::NoBrush);
    QPainterPath arc;
    arc.moveTo(14.5, 23);
    arc.lineTo(14.5, 16);
    arc.arcTo(QRectF(14.5, 6.5, 19, 19), 180, -180);
    arc.lineTo(33.5, 23);
    p.drawPath(arc);

    QLinearGradient body(0, 21, 0, 44);
    body.setColorAt(0, QColor(0xF6, 0xC8, 0x4B));
    body.setColorAt(1, QColor(0xD9, 0x9A, 0x16));
    p.setPen(QPen(QColor(0x9A, 0x6A, 0x0A), 1.0));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(8.5, 21.5, 31, 22), 4, 4);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x5A, 0x3E, 0x06));
    p.drawEllipse(QPointF(24, 30), 3.2, 3.2);
    p.drawRoundedRect(QRectF(22.6, 30, 2.8, 8), 1.2, 1.2);
}

// Two scripts side by side, for the encoding prompt.
void encodingImage(QPainter &p)
{
    QLinearGradient tile(0, 4, 0, 44);
    tile.setColorAt(0, QColor(0x3C, 0x8D, 0xB3));
    tile.setColorAt(1, QColor(0x19, 0x54, 0x6B));
    p.setPen(QPen(QColor(0x12, 0x3E, 0x50), 1.0));
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(4.5, 4.5, 39, 39), 8, 8);

    QFont latin(u"DejaVu Sans"_qs);
    latin.setPixelSize(21);
    latin.setBold(true);
    p.setFont(latin);
    p.setPen(Qt::white);
    p.drawText(QRectF(5, 6, 20, 34), Qt::AlignCenter, u"A"_qs);

    QFont han(u"Noto Sans CJK SC"_qs);
    han.setPixelSize(18);
    p.setFont(han);
    p.setPen(QColor(0xFF, 0xD8, 0x9B));
    p.drawText(QRectF(22, 6, 20, 34), Qt::AlignCenter, QString(QChar(0x5B57)));
}

// A warning sign, for the error prompt.
void errorImage(QPainter &p)
{
    QPainterPath triangle;
    triangle.moveTo(24, 5);
    triangle.lineTo(44, 41);
    triangle.lineTo(4, 41);
    triangle.closeSubpath();
    QLinearGradient fill(0, 5, 0, 41);
    fill.setColorAt(0, QColor(0xFF, 0xC9, 0x4D));
    fill.setColorAt(1, QColor(0xF0, 0x9A, 0x12));
    QPainterPathStroker rounder;
    rounder.setWidth(4);
    rounder.setJoinStyle(Qt::RoundJoin);
    const QPainterPath rounded = triangle.united(rounder.createStroke(triangle));
    p.setPen(QPen(QColor(0xA8, 0x62, 0x00), 1.0));
    p.setBrush(fill);
    p.drawPath(rounded);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3A, 0x25, 0x00));
    p.drawRoundedRect(QRectF(21.8, 15, 4.4, 15), 2.2, 2.2);
    p.drawEllipse(QPointF(24, 35), 2.5, 2.5);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();

    save(folder, u"cancel_normal"_qs, 22,
         [](QPainter &p) { cancelImage(p, 0.30, QColor(255, 255, 255, 235), 0.16); });
    save(folder, u"cancel_hover"_qs, 22,
         [](QPainter &p) { cancelImage(p, 0.55, Qt::white, 0.22); });
    save(folder, u"cancel_press"_qs, 22,
         [](QPainter &p) { cancelImage(p, 0.92, QColor(0x19, 0x54, 0x6B), 0.28); });
    save(folder, u"archive"_qs, 48, archiveImage);
    save(folder, u"prompt_password"_qs, 48, lockImage);
    save(folder, u"prompt_encoding"_qs, 48, encodingImage);
    save(folder, u"prompt_error"_qs, 48, errorImage);
    return 0;
}
