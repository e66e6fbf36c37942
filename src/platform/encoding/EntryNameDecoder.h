#pragma once

#include "platform/encoding/EncodingDetector.h"
#include "platform/encoding/XADString.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <functional>

// Turns the stored bytes of entry names into text. Names that are valid UTF-8
// (which covers every format that declares its names Unicode, since the engine
// reads them in a UTF-8 locale) are taken as they are. Other names become an
// XADString whose encoding is detected over all such names of the archive, and
// the caller decides which encoding to use.
class EntryNameDecoder {
public:
    // Answers an encoding name for a legacy name, or a null string to give up.
    using EncodingChooser = std::function<QString(const XADString &)>;

    // Who wrote the names, as the format tells (a zip's host system, a tar
    // from Unix): detection weighs the code pages such writers use.
    void setOrigin(EncodingDetector::Origin origin);
    // Names known in advance (a zip's central directory) sharpen detection.
    // Give only names the archive does not declare Unicode: when some of them
    // are not UTF-8, the archive is in a legacy code page, and those of them
    // that happen to be valid UTF-8 are legacy names too.
    void addSampleNames(const QList<QByteArray> &names);
    // Names read ahead from a format that declares nothing about them (tar,
    // cpio...), where declared UTF-8 names may stand beside legacy ones:
    // only those that are no UTF-8 are taken as samples.
    void addUndeclaredSamples(const QList<QByteArray> &names);

    // The decoded name, or a null string when the chooser gave none.
    QString decode(const QByteArray &raw, const EncodingChooser &choose);

    // The XADString for a legacy name, detected over every legacy name seen so far.
    XADString stringForLegacyName(const QByteArray &raw);

    static bool isValidUtf8(const QByteArray &bytes);

private:
    // Past this much text the guess is settled; more would only cost time.
    static constexpr qsizetype maximumSampleBytes = 8 * 1024;
    // Below this many names every new one is weighed at once; above it the
    // guess is renewed when the names have grown by half, which keeps
    // archives with many thousands of legacy names linear.
    static constexpr qsizetype eagerSampleCount = 32;

    bool isLegacyName(const QByteArray &raw) const;
    static bool readsAsUtf8Text(const QByteArray &raw);
    void addLegacyName(const QByteArray &name);
    bool guessNeedsRenewal(const QByteArray &raw) const;

    QList<QByteArray> m_samples;
    QSet<QByteArray> m_sampleSet;
    qsizetype m_sampleBytes = 0;
    QSet<QByteArray> m_declaredLegacy; // sample names beyond ASCII
    bool m_declaredLegacyAllUtf8 = true;
    bool m_namesUndeclared = false; // the format says nothing about its names' encoding
    EncodingDetector::Origin m_origin = EncodingDetector::Origin::Unknown;
    bool m_guessIsCurrent = false;
    qsizetype m_guessSampleBytes = 0;
    quint64 m_guessEncoding = 0;
    float m_guessConfidence = 0.0f;
};
