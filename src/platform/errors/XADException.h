#pragma once

#include <QString>

// Engine error codes. The values are stable: they may be logged or stored.
enum XADError : int {
    XADNoError = 0,
    XADOpenFileError = 1,          // the archive file cannot be opened
    XADNotAnArchiveError = 2,      // no format recognised
    XADTruncatedError = 3,         // the data ends early
    XADChecksumError = 4,          // CRC or other checksum mismatch
    XADPasswordError = 5,          // wrong or missing password
    XADUnsupportedEncryptionError = 6, // encrypted in a way we cannot decrypt
    XADUnsupportedMethodError = 7, // compression method not supported
    XADWriteError = 8,             // disk full or a file could not be written
    XADBreakError = 9,             // cancelled
    XADUnsafePathError = 10,       // the entry would land outside the destination
    XADUnsupportedEntryError = 11, // device node, fifo or socket: skipped on purpose
    XADCorruptError = 12,          // malformed data
    XADNoEntriesError = 13,        // nothing to extract
    XADEncodingError = 14,         // no encoding was given for an entry name
    XADPathTooLongError = 15,      // an entry name too long or too deep to write
    XADMissingVolumeError = 16,    // a volume the set needs is not there
    XADWrongVolumeError = 17,      // a volume is damaged, cut short or of another set
    XADNotFirstVolumeError = 18,   // a later volume, whose set is extracted from its first
    XADEngineFailedError = 19,     // the archive reader crashed, ran out of memory or broke off
    XADUnknownError = 99,
};

class XADException {
public:
    // A plain English text for an error code; it also serves as a string-table key.
    static QString describeXADError(int code);
    // The same, about one named thing (a volume, an entry); the text then
    // carries a %1 for its name.
    static QString describeXADError(int code, bool withSubject);
};
