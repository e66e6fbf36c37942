#include "platform/errors/XADException.h"

// Each text doubles as its string-table key, so once released a text only
// changes together with its translations.
QString XADException::describeXADError(int code)
{
    switch (code) {
    case XADNoError:
        return u"No error."_qs;
    case XADOpenFileError:
        return u"The archive could not be opened."_qs;
    case XADNotAnArchiveError:
        return u"The file is not an archive, or its format is not supported."_qs;
    case XADTruncatedError:
        return u"The archive is damaged or incomplete."_qs;
    case XADChecksumError:
        return u"The archive is damaged: a checksum does not match."_qs;
    case XADPasswordError:
        return u"The password is wrong."_qs;
    case XADUnsupportedEncryptionError:
        return u"The archive is encrypted in a way that cannot be decrypted here."_qs;
    case XADUnsupportedMethodError:
        return u"The archive uses a compression method that is not supported."_qs;
    case XADWriteError:
        return u"A file could not be written. The disk may be full."_qs;
    case XADBreakError:
        return u"Extraction was cancelled."_qs;
    case XADUnsafePathError:
        return u"An entry would have been written outside the destination folder."_qs;
    case XADUnsupportedEntryError:
        return u"An entry of a kind that cannot be extracted was skipped."_qs;
    case XADCorruptError:
        return u"The archive is damaged."_qs;
    case XADNoEntriesError:
        return u"The archive contains nothing to extract."_qs;
    case XADEncodingError:
        return u"No text encoding was chosen for the file names."_qs;
    case XADPathTooLongError:
        return u"A name in the archive is too long or too deeply nested."_qs;
    case XADMissingVolumeError:
        return u"A volume of the archive is missing."_qs;
    case XADWrongVolumeError:
        return u"A volume of the archive is damaged, incomplete or belongs to another archive."_qs;
    case XADNotFirstVolumeError:
        return u"This is a later volume of a set; the set is extracted from its first volume."_qs;
    case XADEngineFailedError:
        return u"Quillbox's archive reader stopped unexpectedly. The archive may be damaged or too large to read."_qs;
    default:
        return u"An unknown error occurred."_qs;
    }
}

QString XADException::describeXADError(int code, bool withSubject)
{
    if (!withSubject)
        return describeXADError(code);
    switch (code) {
    case XADMissingVolumeError:
        return u"The volume “%1” is missing."_qs;
    case XADWrongVolumeError:
        return u"The volume “%1” is damaged, incomplete or belongs to another archive."_qs;
    case XADNotFirstVolumeError:
        return u"This is a later volume of a set; the set is extracted from its first volume, “%1”."_qs;
    case XADChecksumError:
        return u"“%1” is damaged: its checksum does not match."_qs;
    case XADTruncatedError:
        return u"“%1” is damaged or incomplete."_qs;
    default:
        return describeXADError(code);
    }
}
