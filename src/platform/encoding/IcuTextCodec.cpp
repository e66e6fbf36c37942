#include "platform/encoding/IcuTextCodec.h"

#include "platform/encoding/IcuDecoder.h"
#include "platform/encoding/IcuHandles.h"

namespace {

UConverterPtr openConverter(const char *name)
{
    UErrorCode error = U_ZERO_ERROR;
    UConverterPtr converter(ucnv_open(name, &error));
    if (U_FAILURE(error))
        return {};
    return converter;
}

UConverterPtr openStrictEncoder(const char *name)
{
    UConverterPtr converter = openConverter(name);
    if (!converter)
        return {};
    UErrorCode error = U_ZERO_ERROR;
    ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                          &error);
    return U_SUCCESS(error) ? std::move(converter) : UConverterPtr();
}

} // namespace

std::optional<QString> IcuTextCodec::decodeStrict(const QByteArray &bytes, const char *converterName)
{
    return decodeStrict(bytes, converterName, nullptr);
}

std::optional<QString> IcuTextCodec::decodeStrict(const QByteArray &bytes, const char *converterName,
                                                  QList<qint32> *sourceOffsets)
{
    return IcuDecoder(converterName).decode(bytes, sourceOffsets);
}

QString IcuTextCodec::decodeReplacing(const QByteArray &bytes, const char *converterName)
{
    return IcuDecoder(converterName, IcuDecoder::Mode::Replacing).decode(bytes).value_or(QString());
}

std::optional<QByteArray> IcuTextCodec::encodeStrict(const QString &text, const char *converterName)
{
    UConverterPtr converter = openStrictEncoder(converterName);
    if (!converter)
        return std::nullopt;
    const auto *source = reinterpret_cast<const UChar *>(text.constData());
    QByteArray bytes(UCNV_GET_MAX_BYTES_FOR_STRING(text.size(), ucnv_getMaxCharSize(converter.get())),
                     Qt::Uninitialized);
    UErrorCode error = U_ZERO_ERROR;
    const int32_t length = ucnv_fromUChars(converter.get(), bytes.data(), int32_t(bytes.size()),
                                           source, int32_t(text.size()), &error);
    if (U_FAILURE(error))
        return std::nullopt;
    bytes.truncate(length);
    return bytes;
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
