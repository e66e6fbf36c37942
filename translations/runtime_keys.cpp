// Keys that reach localizedString() only at run time, where lupdate cannot
// see them. lupdate reads this file; the compiler never does. The string-table
// test checks that every text the engine can produce is listed here.

// The engine's error descriptions (XADException::describeXADError) are their
// own keys.
static const char *const engineErrorKeys[] = {
    //% "No error."
    QT_TRID_NOOP("No error."),
    //% "The archive could not be opened."
    QT_TRID_NOOP("The archive could not be opened."),
    //% "The file is not an archive, or its format is not supported."
    QT_TRID_NOOP("The file is not an archive, or its format is not supported."),
    //% "The archive is damaged or incomplete."
    QT_TRID_NOOP("The archive is damaged or incomplete."),
    //% "The archive is damaged: a checksum does not match."
    QT_TRID_NOOP("The archive is damaged: a checksum does not match."),
    //% "The password is wrong."
    QT_TRID_NOOP("The password is wrong."),
    //% "The archive is encrypted in a way that cannot be decrypted here."
    QT_TRID_NOOP("The archive is encrypted in a way that cannot be decrypted here."),
    //% "The archive uses a compression method that is not supported."
    QT_TRID_NOOP("The archive uses a compression method that is not supported."),
    //% "A file could not be written. The disk may be full."
    QT_TRID_NOOP("A file could not be written. The disk may be full."),
    //% "Extraction was cancelled."
    QT_TRID_NOOP("Extraction was cancelled."),
    //% "An entry would have been written outside the destination folder."
    QT_TRID_NOOP("An entry would have been written outside the destination folder."),
    //% "An entry of a kind that cannot be extracted was skipped."
    QT_TRID_NOOP("An entry of a kind that cannot be extracted was skipped."),
    //% "The archive is damaged."
    QT_TRID_NOOP("The archive is damaged."),
    //% "The archive contains nothing to extract."
    QT_TRID_NOOP("The archive contains nothing to extract."),
    //% "No text encoding was chosen for the file names."
    QT_TRID_NOOP("No text encoding was chosen for the file names."),
    //% "A name in the archive is too long or too deeply nested."
    QT_TRID_NOOP("A name in the archive is too long or too deeply nested."),
    //% "A volume of the archive is missing."
    QT_TRID_NOOP("A volume of the archive is missing."),
    //% "A volume of the archive is damaged, incomplete or belongs to another archive."
    QT_TRID_NOOP("A volume of the archive is damaged, incomplete or belongs to another archive."),
    //% "This is a later volume of a set; the set is extracted from its first volume."
    QT_TRID_NOOP("This is a later volume of a set; the set is extracted from its first volume."),
    //% "Quillbox's archive reader stopped unexpectedly. The archive may be damaged or too large to read."
    QT_TRID_NOOP("Quillbox's archive reader stopped unexpectedly. The archive may be damaged or too large to read."),
    //% "An unknown error occurred."
    QT_TRID_NOOP("An unknown error occurred."),
};

// The same, naming what they are about: a volume's file name, an entry's path.
static const char *const engineErrorKeysWithSubject[] = {
    //% "The volume “%1” is missing."
    QT_TRID_NOOP("The volume “%1” is missing."),
    //% "The volume “%1” is damaged, incomplete or belongs to another archive."
    QT_TRID_NOOP("The volume “%1” is damaged, incomplete or belongs to another archive."),
    //% "This is a later volume of a set; the set is extracted from its first volume, “%1”."
    QT_TRID_NOOP("This is a later volume of a set; the set is extracted from its first volume, “%1”."),
    //% "“%1” is damaged: its checksum does not match."
    QT_TRID_NOOP("“%1” is damaged: its checksum does not match."),
    //% "“%1” is damaged or incomplete."
    QT_TRID_NOOP("“%1” is damaged or incomplete."),
};

// Desktops without a "hide others" command never show this one; the table
// keeps it so that a menu offering it reads right in every language.
static const char *const menuKeys[] = {
    //% "Hide Others"
    QT_TRID_NOOP("menu_hideothers"),
};

// Keys whose point of use carries no English text of its own.
static const char *const itemKeys[] = {
    // The archive's file name; the engine's reason, if any, follows directly.
    //% "“%1” could not be extracted. "
    QT_TRID_NOOP("file_error_info"),
    // The archive's file name, the destination folder, where the result stayed.
    //% "“%1” was extracted, but the result could not be moved into “%2”. It was kept at “%3”."
    QT_TRID_NOOP("move_error_info"),
};
