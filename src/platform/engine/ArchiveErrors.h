#pragma once

#include <QString>

class ArchiveReader;
struct archive_entry;

// Turns a failed libarchive call into one of our error codes.
class ArchiveErrors {
public:
    // entry: the entry being read, or null.
    static int codeFor(const ArchiveReader &reader, archive_entry *entry);
    // From libarchive's message alone, for failures with no encryption involved.
    static int codeForMessage(const QString &message);
    // libarchive decrypts zip entries only; for RAR and 7z it can merely
    // tell that they are encrypted.
    static bool formatCanDecrypt(int formatCode);
};
