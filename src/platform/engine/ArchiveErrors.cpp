#include "platform/engine/ArchiveErrors.h"

#include "platform/engine/ArchiveReader.h"
#include "platform/errors/XADException.h"

#include <archive_entry.h>

namespace {

bool mentions(const QString &message, std::initializer_list<const char16_t *> words)
{
    for (const char16_t *word : words) {
        if (message.contains(QStringView(word), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

bool involvesEncryption(const ArchiveReader &reader, archive_entry *entry, const QString &message)
{
    if (entry && archive_entry_is_encrypted(entry))
        return true;
    // Before a format has been chosen libarchive may look at a format slot
    // that was never filled in.
    if (reader.formatCode() != 0 && archive_read_has_encrypted_entries(reader.handle()) > 0)
        return true;
    return mentions(message, {u"encrypt", u"passphrase", u"password"});
}

} // namespace

int ArchiveErrors::codeFor(const ArchiveReader &reader, archive_entry *entry)
{
    if (reader.wasStopped())
        return XADBreakError;
    // libarchive only saw its read fail; the decoder knows why.
    if (const int stream = reader.streamError())
        return stream;
    const QString message = reader.errorString();
    if (involvesEncryption(reader, entry, message)) {
        if (!formatCanDecrypt(reader.formatCode()))
            return XADUnsupportedEncryptionError;
        if (mentions(message, {u"passphrase", u"password"}))
            return XADPasswordError;
        // PKWARE's strong encryption and encrypted central directories: libarchive
        // names the first, and for the second says nothing at all.
        if (message.isEmpty()
            || mentions(message, {u"not supported", u"unsupported", u"unavailable", u"unknown encryption"}))
            return XADUnsupportedEncryptionError;
    }
    return codeForMessage(message);
}

int ArchiveErrors::codeForMessage(const QString &message)
{
    if (mentions(message, {u"Unrecognized archive format"}))
        return XADNotAnArchiveError;
    if (mentions(message, {u"Cannot open", u"Error reading archive"}))
        return XADOpenFileError;
    if (mentions(message, {u"truncated", u"premature end", u"unexpected eof", u"unexpected end"}))
        return XADTruncatedError;
    if (mentions(message, {u"crc", u"checksum"}))
        return XADChecksumError;
    // "unavailable": libarchive's word for solid RAR 4, which it cannot decode.
    if (mentions(message, {u"unsupported", u"not supported", u"unknown compression", u"unavailable"}))
        return XADUnsupportedMethodError;
    return XADCorruptError;
}

bool ArchiveErrors::formatCanDecrypt(int formatCode)
{
    return (formatCode & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_ZIP;
}
