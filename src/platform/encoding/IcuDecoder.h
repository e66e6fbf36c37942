#pragma once

#include "platform/encoding/IcuHandles.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// One ICU converter kept open for decoding many byte strings.
class IcuDecoder {
public:
    // Strict: any illegal or unassigned sequence fails the string.
    // Replacing: such sequences become U+FFFD.
    enum class Mode { Strict, Replacing };

    explicit IcuDecoder(const char *converterName, Mode mode = Mode::Strict);
    bool isValid() const { return bool(m_converter); }
    // The text, and for each UTF-16 unit the offset of the byte its
    // character starts at when offsets is given.
    std::optional<QString> decode(const QByteArray &bytes, QList<qint32> *offsets = nullptr);

private:
    UConverterPtr m_converter;
};
