#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QtGlobal>

// Every text encoding ICU can convert, each under a stable non-zero number
// (0 means none). The numbers are what the item, the prompts and the engine
// exchange; they stay the same across runs.
class EncodingRegistry {
public:
    struct Encoding {
        quint64 number = 0;
        QString name;        // canonical converter name, accepted back by the engine
        // For people; empty for a converter with no readable name, or one
        // whose name an earlier entry has (the list shows each name once).
        QString displayName;
    };

    static constexpr quint64 UTF8 = 4;
    static constexpr quint64 UTF16 = 10;

    static const EncodingRegistry &instance();

    const QList<Encoding> &encodings() const { return m_encodings; }
    // 0 when the name (or alias) is unknown.
    quint64 numberForName(const QString &name) const;
    QString nameForNumber(quint64 number) const;
    QString displayNameForNumber(quint64 number) const;

private:
    EncodingRegistry();
    QList<Encoding> m_encodings;
    QHash<QByteArray, qsizetype> m_byConverter; // ICU converter name -> index
    QHash<quint64, qsizetype> m_byNumber;
};
