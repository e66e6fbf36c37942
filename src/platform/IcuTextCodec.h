#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Byte strings to text through an ICU converter named by any name or alias
// ICU knows.
class IcuTextCodec {
public:
    // The text, or nothing when the converter is unknown or any sequence is
    // illegal or unassigned in it.
    static std::optional<QString> decodeStrict(const QByteArray &bytes, const char *converterName);
    // Always text (null only for an unknown converter): every sequence the
    // converter cannot map becomes U+FFFD.
    static QString decodeReplacing(const QByteArray &bytes, const char *converterName);
    // The ICU converter a name or alias stands for; empty when unknown.
    static QByteArray converterNameFor(const char *nameOrAlias);
};
