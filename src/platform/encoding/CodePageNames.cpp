#include "platform/encoding/CodePageNames.h"

#include <QByteArray>
#include <array>
#include <cstring>

namespace {

enum class Family { Dos, Ebcdic, Ibm };

struct CodePage {
    int number;
    Family family;
    const char *region;
};

// IBM's numbers (CCSIDs), which are also the DOS code page numbers. The
// code pages people meet most are named by the registry itself; IBM's own
// revisions of the Windows tables (ibm-1250 ...) are left unnamed, as they
// would only repeat the Windows entries. Several converters may share a
// number; the registry lists the first of a name only.
constexpr std::array codePages{
    CodePage{273, Family::Ebcdic, "German"},
    CodePage{277, Family::Ebcdic, "Danish-Norwegian"},
    CodePage{278, Family::Ebcdic, "Finnish-Swedish"},
    CodePage{280, Family::Ebcdic, "Italian"},
    CodePage{284, Family::Ebcdic, "Spanish"},
    CodePage{285, Family::Ebcdic, "British"},
    CodePage{290, Family::Ebcdic, "Japanese Katakana"},
    CodePage{297, Family::Ebcdic, "French"},
    CodePage{420, Family::Ebcdic, "Arabic"},
    CodePage{424, Family::Ebcdic, "Hebrew"},
    CodePage{500, Family::Ebcdic, "Western International"},
    CodePage{720, Family::Dos, "Arabic"},
    CodePage{803, Family::Ebcdic, "Hebrew"},
    CodePage{813, Family::Ibm, "Greek"},
    CodePage{838, Family::Ebcdic, "Thai"},
    CodePage{856, Family::Dos, "Hebrew"},
    CodePage{858, Family::Dos, "Western"},
    CodePage{867, Family::Dos, "Hebrew"},
    CodePage{868, Family::Dos, "Urdu"},
    CodePage{870, Family::Ebcdic, "Central European"},
    CodePage{871, Family::Ebcdic, "Icelandic"},
    CodePage{874, Family::Dos, "Thai"},
    CodePage{875, Family::Ebcdic, "Greek"},
    CodePage{901, Family::Ibm, "Baltic"},
    CodePage{902, Family::Ibm, "Estonian"},
    CodePage{916, Family::Ibm, "Hebrew"},
    CodePage{918, Family::Ebcdic, "Urdu"},
    CodePage{922, Family::Ibm, "Estonian"},
    CodePage{930, Family::Ebcdic, "Japanese"},
    CodePage{933, Family::Ebcdic, "Korean"},
    CodePage{935, Family::Ebcdic, "Chinese Simplified"},
    CodePage{937, Family::Ebcdic, "Chinese Traditional"},
    CodePage{939, Family::Ebcdic, "Japanese"},
    CodePage{942, Family::Ibm, "Japanese"},
    CodePage{943, Family::Ibm, "Japanese"},
    CodePage{949, Family::Ibm, "Korean"},
    CodePage{950, Family::Ibm, "Chinese Traditional"},
    CodePage{954, Family::Ibm, "Japanese"},
    CodePage{964, Family::Ibm, "Chinese Traditional"},
    CodePage{971, Family::Ibm, "Korean"},
    CodePage{1006, Family::Ibm, "Urdu"},
    CodePage{1025, Family::Ebcdic, "Cyrillic"},
    CodePage{1026, Family::Ebcdic, "Turkish"},
    CodePage{1047, Family::Ebcdic, "Western"},
    CodePage{1097, Family::Ebcdic, "Farsi"},
    CodePage{1098, Family::Dos, "Farsi"},
    CodePage{1112, Family::Ebcdic, "Baltic"},
    CodePage{1122, Family::Ebcdic, "Estonian"},
    CodePage{1123, Family::Ebcdic, "Ukrainian"},
    CodePage{1124, Family::Ibm, "Ukrainian"},
    CodePage{1125, Family::Dos, "Ukrainian"},
    CodePage{1129, Family::Ibm, "Vietnamese"},
    CodePage{1130, Family::Ebcdic, "Vietnamese"},
    CodePage{1131, Family::Dos, "Belarusian"},
    CodePage{1132, Family::Ebcdic, "Lao"},
    CodePage{1133, Family::Ibm, "Lao"},
    CodePage{1137, Family::Ebcdic, "Devanagari"},
    CodePage{1140, Family::Ebcdic, "Western US"},
    CodePage{1141, Family::Ebcdic, "German"},
    CodePage{1142, Family::Ebcdic, "Danish-Norwegian"},
    CodePage{1143, Family::Ebcdic, "Finnish-Swedish"},
    CodePage{1144, Family::Ebcdic, "Italian"},
    CodePage{1145, Family::Ebcdic, "Spanish"},
    CodePage{1146, Family::Ebcdic, "British"},
    CodePage{1147, Family::Ebcdic, "French"},
    CodePage{1148, Family::Ebcdic, "Western International"},
    CodePage{1149, Family::Ebcdic, "Icelandic"},
    CodePage{1153, Family::Ebcdic, "Central European"},
    CodePage{1154, Family::Ebcdic, "Cyrillic"},
    CodePage{1155, Family::Ebcdic, "Turkish"},
    CodePage{1156, Family::Ebcdic, "Baltic"},
    CodePage{1157, Family::Ebcdic, "Estonian"},
    CodePage{1158, Family::Ebcdic, "Ukrainian"},
    CodePage{1160, Family::Ebcdic, "Thai"},
    CodePage{1162, Family::Ibm, "Thai"},
    CodePage{1164, Family::Ebcdic, "Vietnamese"},
    CodePage{1363, Family::Ibm, "Korean"},
    CodePage{1364, Family::Ebcdic, "Korean"},
    CodePage{1371, Family::Ebcdic, "Chinese Traditional"},
    CodePage{1373, Family::Ibm, "Chinese Traditional"},
    CodePage{1386, Family::Ibm, "Chinese Simplified"},
    CodePage{1388, Family::Ebcdic, "Chinese Simplified"},
    CodePage{1390, Family::Ebcdic, "Japanese"},
    CodePage{1399, Family::Ebcdic, "Japanese"},
    CodePage{4899, Family::Ebcdic, "Hebrew"},
    CodePage{4909, Family::Ibm, "Greek"},
    CodePage{4971, Family::Ebcdic, "Greek"},
    CodePage{5471, Family::Ibm, "Chinese Traditional"},
    CodePage{5478, Family::Ibm, "Chinese Simplified"},
    CodePage{12712, Family::Ebcdic, "Hebrew"},
    CodePage{16804, Family::Ebcdic, "Arabic"},
    CodePage{33722, Family::Ibm, "Japanese"},
};

struct NamedConverter {
    const char *converter;
    const char *displayName;
};

// Converters without a code page number of their own.
constexpr std::array namedConverters{
    NamedConverter{"BOCU-1", "Unicode (BOCU-1)"},
    NamedConverter{"CESU-8", "Unicode (CESU-8)"},
    NamedConverter{"SCSU", "Unicode (SCSU)"},
    NamedConverter{"IMAP-mailbox-name", "Unicode (IMAP mailbox UTF-7)"},
    NamedConverter{"ISO_2022,locale=ja,version=1", "Japanese (ISO 2022-JP-1)"},
    NamedConverter{"ISO_2022,locale=ja,version=2", "Japanese (ISO 2022-JP-2)"},
    NamedConverter{"ISO_2022,locale=ja,version=3", "Japanese (JIS7)"},
    NamedConverter{"ISO_2022,locale=ja,version=4", "Japanese (JIS8)"},
    NamedConverter{"ISO_2022,locale=zh,version=1", "Chinese (ISO 2022-CN-EXT)"},
    NamedConverter{"ISO_2022,locale=zh,version=2", "Chinese Traditional (ISO 2022-CN-CNS)"},
    NamedConverter{"euc-tw-2014", "Chinese Traditional (EUC-TW)"},
    NamedConverter{"iso-8859_11-2001", "Thai (ISO 8859-11)"},
    NamedConverter{"ibm-1051_P100-1995", "Western (HP Roman 8)"},
    NamedConverter{"ibm-1276_P100-1995", "Western (Adobe Standard)"},
    NamedConverter{"ISCII,version=0", "Devanagari (ISCII)"},
    NamedConverter{"ISCII,version=1", "Bengali (ISCII)"},
    NamedConverter{"ISCII,version=2", "Gurmukhi (ISCII)"},
    NamedConverter{"ISCII,version=3", "Gujarati (ISCII)"},
    NamedConverter{"ISCII,version=4", "Oriya (ISCII)"},
    NamedConverter{"ISCII,version=5", "Tamil (ISCII)"},
    NamedConverter{"ISCII,version=6", "Telugu (ISCII)"},
    NamedConverter{"ISCII,version=7", "Kannada (ISCII)"},
    NamedConverter{"ISCII,version=8", "Malayalam (ISCII)"},
};

QString familyName(Family family)
{
    switch (family) {
    case Family::Dos: return u"DOS"_qs;
    case Family::Ebcdic: return u"EBCDIC"_qs;
    case Family::Ibm: return u"IBM"_qs;
    }
    return QString();
}

// The number of ICU's own IBM tables, "ibm-852_P100-1995"; 0 for others.
int ibmNumber(const QByteArray &converter)
{
    if (!converter.startsWith("ibm-"))
        return 0;
    const qsizetype end = converter.indexOf('_');
    bool ok = false;
    const int number = converter.mid(4, end < 0 ? -1 : end - 4).toInt(&ok);
    return ok ? number : 0;
}

} // namespace

QString CodePageNames::displayName(const char *converter)
{
    if (!converter)
        return QString();
    for (const NamedConverter &named : namedConverters) {
        if (std::strcmp(named.converter, converter) == 0)
            return QString::fromLatin1(named.displayName);
    }
    const int number = ibmNumber(QByteArray(converter));
    for (const CodePage &page : codePages) {
        if (page.number == number)
            return u"%1 (%2 %3)"_qs.arg(QString::fromLatin1(page.region), familyName(page.family)).arg(number);
    }
    return QString();
}
