#include "EncodingDetector.h"

#include "EncodingRegistry.h"
#include "IcuHandles.h"
#include "XADString.h"

#include <algorithm>

namespace {

struct Candidate {
    quint64 encoding = 0;
    float score = 0.0f;
};

QList<Candidate> icuCandidates(const QByteArray &text)
{
    QList<Candidate> candidates;
    UErrorCode error = U_ZERO_ERROR;
    UCharsetDetectorPtr detector(ucsdet_open(&error));
    if (U_FAILURE(error))
        return candidates;
    ucsdet_setText(detector.get(), text.constData(), int32_t(text.size()), &error);
    int32_t count = 0;
    const UCharsetMatch **matches = ucsdet_detectAll(detector.get(), &count, &error);
    if (U_FAILURE(error))
        return candidates;
    for (int32_t i = 0; i < count; ++i) {
        UErrorCode matchError = U_ZERO_ERROR;
        const char *name = ucsdet_getName(matches[i], &matchError);
        const int32_t confidence = ucsdet_getConfidence(matches[i], &matchError);
        if (U_FAILURE(matchError) || !name)
            continue;
        const quint64 number = EncodingRegistry::instance().numberForName(QString::fromLatin1(name));
        if (number != 0)
            candidates.append({number, float(confidence) / 100.0f});
    }
    return candidates;
}

bool decodesAll(const QList<QByteArray> &names, quint64 encoding)
{
    return std::all_of(names.begin(), names.end(), [encoding](const QByteArray &name) {
        return XADString(name, 0, 0).canDecodeWithEncoding(encoding);
    });
}

} // namespace

EncodingDetector::Guess EncodingDetector::detect(const QList<QByteArray> &names, bool preferOEM)
{
    Q_UNUSED(preferOEM);
    if (names.isEmpty())
        return {};
    const QList<Candidate> candidates = icuCandidates(names.join('\n'));
    QList<Candidate> usable;
    for (const Candidate &candidate : candidates) {
        if (decodesAll(names, candidate.encoding))
            usable.append(candidate);
    }
    if (usable.isEmpty())
        return {};
    Guess guess{usable.first().encoding, usable.first().score};
    // A close runner-up means the detector could not really tell.
    if (usable.size() > 1 && usable.at(0).score - usable.at(1).score < 0.1f)
        guess.confidence = std::min(guess.confidence, 0.5f);
    return guess;
}
