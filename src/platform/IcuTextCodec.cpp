#include "IcuTextCodec.h"

#include "IcuHandles.h"

#include <unicode/ucnv_cb.h>

namespace {

// ICU's own substitute callback writes U+001A for an unmapped single byte in
// some code pages, which would put a control character into a file name.
void replaceWithReplacementCharacter(const void *, UConverterToUnicodeArgs *args, const char *,
                                     int32_t, UConverterCallbackReason reason, UErrorCode *error)
{
    if (reason > UCNV_IRREGULAR)
        return;
    static const UChar replacement = 0xFFFD;
    *error = U_ZERO_ERROR;
    ucnv_cbToUWriteUChars(args, &replacement, 1, 0, error);
}

UConverterPtr openConverter(const char *name)
{
    UErrorCode error = U_ZERO_ERROR;
    UConverterPtr converter(ucnv_open(name, &error));
    if (U_FAILURE(error))
        return {};
    return converter;
}

std::optional<QString> convert(UConverter *converter, const QByteArray &bytes)
{
    // No legacy encoding yields more UTF-16 units than it has bytes, except
    // the few that expand, which the retry below covers.
    QString text(bytes.size() + 16, Qt::Uninitialized);
    UErrorCode error = U_ZERO_ERROR;
    int32_t length = ucnv_toUChars(converter, reinterpret_cast<UChar *>(text.data()),
                                   int32_t(text.size()), bytes.constData(),
                                   int32_t(bytes.size()), &error);
    if (error == U_BUFFER_OVERFLOW_ERROR) {
        ucnv_resetToUnicode(converter);
        text.resize(length + 1);
        error = U_ZERO_ERROR;
        length = ucnv_toUChars(converter, reinterpret_cast<UChar *>(text.data()),
                               int32_t(text.size()), bytes.constData(), int32_t(bytes.size()),
                               &error);
    }
    if (U_FAILURE(error))
        return std::nullopt;
    text.truncate(length);
    return text;
}

} // namespace

std::optional<QString> IcuTextCodec::decodeStrict(const QByteArray &bytes, const char *converterName)
{
    UConverterPtr converter = openConverter(converterName);
    if (!converter)
        return std::nullopt;
    UErrorCode error = U_ZERO_ERROR;
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &error);
    if (U_FAILURE(error))
        return std::nullopt;
    return convert(converter.get(), bytes);
}

QString IcuTextCodec::decodeReplacing(const QByteArray &bytes, const char *converterName)
{
    UConverterPtr converter = openConverter(converterName);
    if (!converter)
        return {};
    UErrorCode error = U_ZERO_ERROR;
    ucnv_setToUCallBack(converter.get(), replaceWithReplacementCharacter, nullptr, nullptr,
                        nullptr, &error);
    if (U_FAILURE(error))
        return {};
    return convert(converter.get(), bytes).value_or(QString());
}

QByteArray IcuTextCodec::converterNameFor(const char *nameOrAlias)
{
    UErrorCode error = U_ZERO_ERROR;
    const char *name = ucnv_getAlias(nameOrAlias, 0, &error);
    if (U_SUCCESS(error) && name)
        return QByteArray(name);
    // Names with options ("ISO_2022,locale=ja,version=0") are no aliases;
    // the converter itself knows what it is.
    UConverterPtr converter = openConverter(nameOrAlias);
    if (!converter)
        return {};
    error = U_ZERO_ERROR;
    const char *opened = ucnv_getName(converter.get(), &error);
    return U_SUCCESS(error) && opened ? QByteArray(opened) : QByteArray();
}
