#include "platform/encoding/IcuDecoder.h"

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

} // namespace

IcuDecoder::IcuDecoder(const char *converterName, Mode mode)
{
    UErrorCode error = U_ZERO_ERROR;
    UConverterPtr converter(ucnv_open(converterName, &error));
    if (U_FAILURE(error))
        return;
    ucnv_setToUCallBack(converter.get(),
                        mode == Mode::Strict ? UCNV_TO_U_CALLBACK_STOP
                                             : replaceWithReplacementCharacter,
                        nullptr, nullptr, nullptr, &error);
    if (U_SUCCESS(error))
        m_converter = std::move(converter);
}

// One streaming pass; ucnv_toUChars cannot report offsets.
std::optional<QString> IcuDecoder::decode(const QByteArray &bytes, QList<qint32> *offsets)
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
