#pragma once

#include <QComboBox>
#include <QList>
#include <QString>

class XADString;

// The encoding choice of the encoding prompt: one entry per text encoding
// that reads an entry name cleanly, each showing the encoding's name and,
// at one tab stop, what the name looks like in it.
class QXEncodingPopUp : public QComboBox {
    Q_OBJECT
public:
    struct Entry {
        QString name;         // display name
        quint64 encoding = 0; // registry number
    };
    // DrawableRole: whether this machine has fonts for every character of
    // the sample.
    enum Role { EncodingRole = Qt::UserRole, NameRole, SampleRole, DrawableRole };

    explicit QXEncodingPopUp(QWidget *parent = nullptr);

    // Every convertible encoding with a display name, UTF-16 left out, sorted
    // by name ignoring case with numbers compared by value. Built afresh.
    static QList<Entry> encodings();
    // By name, ignoring case, runs of digits compared by value; stable.
    static void sortEncodings(QList<Entry> &list);
    // The widest display name drawn in the font; 0 for an empty list.
    static qreal maximumEncodingNameWidth(const QFont &font);
    // True unless the text holds a surrogate without its partner.
    static bool isWellFormedUTF16(const QString &text);
    // What stands between a name and its sample: tab, airplane in text
    // presentation, space.
    static QString separator();
    // What stands after an entry's name: its sample, or, where no font here
    // could draw it, a note saying so instead of a row of boxes.
    static QString preview(const QString &sample, bool drawable);
    static QString preview(const QModelIndex &entry);

    // Replaces the entries by one per encoding that decodes the name.
    void configEncodingWithString(const XADString &name);
    // The number of the selected entry; 0 when there is none.
    quint64 selectedEncoding() const;

    // Names stand in the main font, separators and samples in the small one.
    QFont mainFont() const { return font(); }
    QFont sampleFont() const;
    // Where samples start, from the left of the text area.
    qreal tabStop() const { return m_tabStop; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void fitListWidth();

    qreal m_tabStop = 0;
};
