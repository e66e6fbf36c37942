#pragma once

#include <QtGlobal>
#include <functional>
#include <memory>

// An encrypted archive as the plain archive it hides, read by libarchive
// through its callbacks: headers rewritten, data decrypted as it is read,
// never a decrypted copy on disk. A RAR set shows as its volumes, one part
// each; anything else as one part.
class DecryptedView {
public:
    using PassphraseSource = std::function<const char *()>;

    virtual ~DecryptedView() = default;

    // The libarchive format that reads the view (ARCHIVE_FORMAT_...), the
    // only one offered: the others' bids would read far into the data, and
    // so ask for passwords, before anything is extracted.
    virtual int formatCode() const = 0;

    // The same view with file positions of its own, for another reader; keys
    // already found are shared, not derived again.
    virtual std::unique_ptr<DecryptedView> copy() const = 0;
    virtual qsizetype partCount() const { return 1; }
    virtual qint64 partSize(qsizetype part) const = 0;
    // Up to size bytes from offset on; 0 at the end, -1 when the part cannot
    // be read there (or no password opens what is there).
    virtual qint64 read(qsizetype part, qint64 offset, char *data, qint64 size) = 0;
    // Where passwords come from for entries with keys of their own, asked
    // only when no password given so far opens them.
    virtual void setPassphraseSource(PassphraseSource) {}
    // libarchive options for readers of the view ("format:option,..."), or null.
    virtual const char *readerOptions() const { return nullptr; }
};
