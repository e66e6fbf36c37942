#include "platform/encoding/IcuTextCodec.h"

#include <unicode/ucnv_cb.h>

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

} // namespace

IcuTextCodec::IcuTextCodec(const char *converterName, Mode mode)
{
    UConverterPtr converter = openConverter(converterName);
    if (!converter)
        return;
    UErrorCode error = U_ZERO_ERROR;
    ucnv_setToUCallBack(converter.get(),
                        mode == Mode::Strict ? UCNV_TO_U_CALLBACK_STOP
                                             : replaceWithReplacementCharacter,
                        nullptr, nullptr, nullptr, &error);
    if (U_SUCCESS(error))
        m_converter = std::move(converter);
}

// One streaming pass; ucnv_toUChars cannot report offsets.
std::optional<QString> IcuTextCodec::decode(const QByteArray &bytes, QList<qint32> *offsets)
{
    if (!m_converter)
        return std::nullopt;
    // Code pages that expand (UTF-7, ISCII...) make more units than bytes.
    const qsizetype capacity = 2 * bytes.size() + 16;
    QString text(capacity, Qt::Uninitialized);
    QList<qint32> starts(offsets ? capacity : 0);
    UChar *target = reinterpret_cast<UChar *>(text.data());
    UChar *const targetStart = target;
    const char *source = bytes.constData();
    UErrorCode error = U_ZERO_ERROR;
    ucnv_resetToUnicode(m_converter.get());
    ucnv_toUnicode(m_converter.get(), &target, targetStart + capacity, &source,
                   bytes.constData() + bytes.size(), offsets ? starts.data() : nullptr, true,
                   &error);
    if (U_FAILURE(error))
        return std::nullopt;
    const qsizetype length = target - targetStart;
    text.truncate(length);
    if (offsets) {
        starts.resize(length);
        *offsets = std::move(starts);
    }
    return text;
}

std::optional<QString> IcuTextCodec::decodeStrict(const QByteArray &bytes, const char *converterName)
{
    return decodeStrict(bytes, converterName, nullptr);
}

std::optional<QString> IcuTextCodec::decodeStrict(const QByteArray &bytes, const char *converterName,
                                                  QList<qint32> *sourceOffsets)
{
    return IcuTextCodec(converterName).decode(bytes, sourceOffsets);
}

QString IcuTextCodec::decodeReplacing(const QByteArray &bytes, const char *converterName)
{
    return IcuTextCodec(converterName, Mode::Replacing).decode(bytes).value_or(QString());
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
