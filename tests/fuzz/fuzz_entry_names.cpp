// Entry names in unknown encodings: the first bytes up to a NUL are sample
// names for detection, one per line; the rest is the name to decode.
#include "platform/encoding/EntryNameDecoder.h"
#include "platform/encoding/XADString.h"

#include <QList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype split = input.indexOf('\0');
    EntryNameDecoder decoder;
    decoder.setOrigin(EncodingDetector::Origin(size % 4));
    if (split > 0)
        decoder.addSampleNames(input.left(split).split('\n'));
    decoder.decode(split < 0 ? input : input.mid(split + 1), [](const XADString &name) {
        if (name.encoding() != 0 && name.canDecodeWithEncoding(name.encoding()))
            return XADString::encodingNameForEncoding(name.encoding());
        return QStringLiteral("ISO-8859-1");
    });
    return 0;
}
