#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// Byte strings to text through an ICU converter named by any name or alias
// ICU knows.
class IcuTextCodec {
public:
    // The text, or nothing when the converter is unknown or any sequence is
    // illegal or unassigned in it.
    static std::optional<QString> decodeStrict(const QByteArray &bytes, const char *converterName);
    // As decodeStrict, and for each UTF-16 unit of the text the offset of
    // the byte its character starts at.
    static std::optional<QString> decodeStrict(const QByteArray &bytes, const char *converterName,
                                               QList<qint32> *sourceOffsets);
    // Always text (null only for an unknown converter): every sequence the
    // converter cannot map becomes U+FFFD.
    static QString decodeReplacing(const QByteArray &bytes, const char *converterName);
    // The bytes, or nothing when some character has no mapping.
    static std::optional<QByteArray> encodeStrict(const QString &text, const char *converterName);
    // The ICU converter a name or alias stands for; empty when unknown.
    static QByteArray converterNameFor(const char *nameOrAlias);
};
