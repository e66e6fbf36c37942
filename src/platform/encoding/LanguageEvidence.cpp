#include "platform/encoding/LanguageEvidence.h"

#include "platform/encoding/IcuHandles.h"
#include "platform/encoding/IcuTextCodec.h"


namespace {

struct Yardstick {
    const char *encoding;           // the text is written in this code page
    QByteArrayList recognisers;     // and judged by these ICU results
};

// As little as ICU gives a few ideographs, so that a script without a
// recogniser neither wins nor loses for it.
constexpr double unknownScriptEvidence = 0.1;

QList<Yardstick> yardsticksFor(NamePlausibility::Script script, NamePlausibility::Family family)
{
    using S = NamePlausibility::Script;
    using F = NamePlausibility::Family;
    switch (script) {
    case S::Latin:
        return {{"windows-1252", {"ISO-8859-1", "windows-1252"}},
                {"windows-1250", {"ISO-8859-2", "windows-1250"}},
                {"windows-1254", {"ISO-8859-9", "windows-1254"}}};
    case S::Cyrillic:
        return {{"windows-1251", {"windows-1251"}}};
    case S::Greek:
        return {{"ISO-8859-7", {"ISO-8859-7", "windows-1253"}}};
    case S::Hebrew:
        return {{"ISO-8859-8", {"ISO-8859-8-I", "ISO-8859-8", "windows-1255"}}};
    case S::Arabic:
        return {{"windows-1256", {"windows-1256"}}};
    case S::Cjk:
        switch (family) {
        case F::GB:
            return {{"gb18030", {"GB18030"}}};
        case F::Big5:
            return {{"Big5", {"Big5"}}};
        case F::ShiftJIS:
            return {{"Shift_JIS", {"Shift_JIS"}}};
        case F::EucJP:
            return {{"EUC-JP", {"EUC-JP"}}};
        case F::Korean:
            return {{"EUC-KR", {"EUC-KR"}}};
        case F::SingleByte:
            return {};
        }
        return {};
    default:
        return {};
    }
}

// Names that do not fit the yardstick's code page are left out; what is
// left still shows the language.
// ICU's statistics settle within a few thousand bytes.
constexpr qsizetype enoughText = 4096;

QByteArray writtenIn(const QStringList &names, const char *encoding)
{
    QString joined;
    qsizetype taken = 0;
    while (taken < names.size() && joined.size() < enoughText)
        joined += names.at(taken++) + u'\n';
    if (const auto bytes = IcuTextCodec::encodeStrict(joined, encoding))
        return *bytes;
    QByteArray text;
    for (qsizetype i = 0; i < taken; ++i) {
        if (const auto bytes = IcuTextCodec::encodeStrict(names.at(i), encoding))
            text += *bytes + '\n';
    }
    return text;
}

double recognised(const QByteArray &text, const QByteArrayList &recognisers)
{
    UErrorCode error = U_ZERO_ERROR;
    UCharsetDetectorPtr detector(ucsdet_open(&error));
    if (U_FAILURE(error) || text.isEmpty())
        return 0;
    ucsdet_setText(detector.get(), text.constData(), int32_t(text.size()), &error);
    int32_t count = 0;
    const UCharsetMatch **matches = ucsdet_detectAll(detector.get(), &count, &error);
    if (U_FAILURE(error))
        return 0;
    int32_t best = 0;
    for (int32_t i = 0; i < count; ++i) {
        UErrorCode matchError = U_ZERO_ERROR;
        const char *name = ucsdet_getName(matches[i], &matchError);
        const int32_t confidence = ucsdet_getConfidence(matches[i], &matchError);
        if (U_SUCCESS(matchError) && name && recognisers.contains(QByteArray(name)))
            best = std::max(best, confidence);
    }
    return best / 100.0;
}

} // namespace

double LanguageEvidence::of(const QStringList &names, NamePlausibility::Script script,
                            NamePlausibility::Family family)
{
    const QList<Yardstick> yardsticks = yardsticksFor(script, family);
    if (yardsticks.isEmpty())
        return unknownScriptEvidence;
    // The code page that can write the most of the names measures them.
    const Yardstick *best = nullptr;
    QByteArray bestText;
    for (const Yardstick &yardstick : yardsticks) {
        const QByteArray text = writtenIn(names, yardstick.encoding);
        if (text.size() > bestText.size()) {
            bestText = text;
            best = &yardstick;
        }
    }
    return best ? recognised(bestText, best->recognisers) : 0;
}
