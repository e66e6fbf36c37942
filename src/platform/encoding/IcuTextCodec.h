#pragma once

#include "platform/encoding/IcuHandles.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// Byte strings to text and back through an ICU converter named by any name
// or alias ICU knows. An instance keeps one converter open for decoding many
// strings; the static calls open one per call.
class IcuTextCodec {
public:
    // Strict: any illegal or unassigned sequence fails the string.
    // Replacing: such sequences become U+FFFD.
    enum class Mode { Strict, Replacing };

    explicit IcuTextCodec(const char *converterName, Mode mode = Mode::Strict);
    bool isValid() const { return bool(m_converter); }
    // The text, and for each UTF-16 unit the offset of the byte its
    // character starts at when offsets is given.
    std::optional<QString> decode(const QByteArray &bytes, QList<qint32> *offsets = nullptr);

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

private:
    UConverterPtr m_converter;
};
