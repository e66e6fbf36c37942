#include "QXEncodingPopUp.h"

#include "QXEncodingItemDelegate.h"
#include "platform/encoding/EncodingRegistry.h"
#include "platform/encoding/XADString.h"
#include "support/Localized.h"
#include "support/widgets/FontCoverage.h"

#include <QAbstractItemView>
#include <QCollator>
#include <QFontMetricsF>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <algorithm>

namespace {

// Room between the widest name and the samples.
constexpr qreal tabGap = 8.0f;
// The small system font against the regular one (11 against 13 points).
constexpr qreal sampleScale = 11.0 / 13.0;

} // namespace

QXEncodingPopUp::QXEncodingPopUp(QWidget *parent) : QComboBox(parent)
{
    setItemDelegate(new QXEncodingItemDelegate(this));
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(16);
    setMaxVisibleItems(14);
    //% "No encoding can read these names"
    setPlaceholderText(localizedString("encoding_none"));
}

QList<QXEncodingPopUp::Entry> QXEncodingPopUp::encodings()
{
    QList<Entry> list;
    for (const EncodingRegistry::Encoding &encoding : EncodingRegistry::instance().encodings()) {
        if (encoding.displayName.isEmpty() || encoding.number == EncodingRegistry::UTF16)
            continue;
        list.append(Entry{encoding.displayName, encoding.number});
    }
    sortEncodings(list);
    return list;
}

void QXEncodingPopUp::sortEncodings(QList<Entry> &list)
{
    // A fixed collation: the order must not depend on the user's locale, and
    // the plain "C" collation would ignore the numeric mode.
    QCollator collator(QLocale(QLocale::English, QLocale::UnitedStates));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    std::stable_sort(list.begin(), list.end(), [&collator](const Entry &a, const Entry &b) {
        return collator.compare(a.name, b.name) < 0;
    });
}

qreal QXEncodingPopUp::maximumEncodingNameWidth(const QFont &font)
{
    const QFontMetricsF metrics(font);
    float widest = 0;
    for (const Entry &entry : encodings())
        widest = std::max(widest, float(metrics.horizontalAdvance(entry.name)));
    return widest;
}

bool QXEncodingPopUp::isWellFormedUTF16(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text.at(i).unicode();
        if ((unit & 0xFC00) == 0xDC00)
            return false; // a low surrogate with no high one before it
        if ((unit & 0xFC00) != 0xD800)
            continue;
        if (i + 1 == text.size() || (text.at(i + 1).unicode() & 0xFC00) != 0xDC00)
            return false;
        ++i; // the pair is whole
    }
    return true;
}

QString QXEncodingPopUp::separator()
{
    return u"\t\u2708\uFE0E "_qs;
}

QString QXEncodingPopUp::preview(const QString &sample, bool drawable)
{
    //% "(no font on this computer can show this name)"
    return drawable ? sample : localizedString("encoding_no_font");
}

QString QXEncodingPopUp::preview(const QModelIndex &entry)
{
    return preview(entry.data(SampleRole).toString(), entry.data(DrawableRole).toBool());
}

QFont QXEncodingPopUp::sampleFont() const
{
    QFont small = font();
    if (small.pointSizeF() > 0)
        small.setPointSizeF(small.pointSizeF() * sampleScale);
    else
        small.setPixelSize(std::max(1, int(small.pixelSize() * sampleScale + 0.5)));
    return small;
}

void QXEncodingPopUp::configEncodingWithString(const XADString &name)
{
    clear();
    m_tabStop = float(maximumEncodingNameWidth(mainFont())) + float(tabGap);
    auto *model = qobject_cast<QStandardItemModel *>(this->model());
    for (const Entry &entry : encodings()) {
        if (!name.canDecodeWithEncoding(entry.encoding))
            continue;
        const QString sample = name.stringWithEncoding(entry.encoding);
        if (!isWellFormedUTF16(sample))
            continue;
        const bool drawable = FontCoverage::canDraw(sample, sampleFont());
        auto *row = new QStandardItem(entry.name + separator() + preview(sample, drawable));
        row->setData(QVariant::fromValue(entry.encoding), EncodingRole);
        row->setData(entry.name, NameRole);
        row->setData(sample, SampleRole);
        row->setData(drawable, DrawableRole);
        row->setToolTip(entry.name + u" \u2014 "_qs + preview(sample, drawable));
        model->appendRow(row);
    }
    // With a placeholder set the pop-up selects nothing by itself; the first
    // entry is the one offered.
    setCurrentIndex(count() > 0 ? 0 : -1);
    fitListWidth();
    update();
}

quint64 QXEncodingPopUp::selectedEncoding() const
{
    if (currentIndex() < 0)
        return 0;
    return currentData(EncodingRole).value<quint64>();
}

// The list opens as wide as its widest entry, even when the closed pop-up is
// narrower, so every sample can be read in full.
void QXEncodingPopUp::fitListWidth()
{
    QStyleOptionViewItem option;
    option.initFrom(view());
    int widest = 0;
    for (int row = 0; row < count(); ++row)
        widest = std::max(widest, itemDelegate()->sizeHint(option, model()->index(row, 0)).width());
    const int frame = 2 * view()->frameWidth() + view()->verticalScrollBar()->sizeHint().width();
    view()->setMinimumWidth(widest + frame);
}

void QXEncodingPopUp::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    option.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                QStyle::SC_ComboBoxEditField, this)
                            .adjusted(3, 0, -2, 0);
    if (currentIndex() < 0) {
        painter.setPen(palette().color(QPalette::Disabled, QPalette::ButtonText));
        painter.drawText(field, Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(placeholderText(), Qt::ElideRight, field.width()));
        return;
    }
    const QString name = currentData(NameRole).toString();
    // The closed pop-up shows one entry; it keeps the list's tab stop only
    // while that leaves the sample a fair share of the room.
    qreal stop = m_tabStop;
    if (field.width() - stop < field.width() / 3.0)
        stop = QFontMetricsF(mainFont()).horizontalAdvance(name) + tabGap;
    QXEncodingItemDelegate::paintEntry(&painter, field, name, preview(model()->index(currentIndex(), modelColumn())),
                                       mainFont(), sampleFont(), stop,
                                       palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                                       QPalette::ButtonText));
}
