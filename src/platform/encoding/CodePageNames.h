#pragma once

#include <QString>

// Names people can read for ICU converters, which have none of their own
// (ICU's display name of a converter is its name again, "ibm-1250_P100-1995").
// IBM and Windows code pages are named by their number in the style of the
// rest of the list, "Central European (DOS 852)"; a few other converters by
// their whole name.
class CodePageNames {
public:
    // An empty string for a converter not worth showing under any name.
    static QString displayName(const char *converter);
};
