#include "platform/engine/Utf8LocaleScope.h"

#include <initializer_list>

namespace {

// Made once and kept for the life of the process: threads may still be
// using it when anything else would free it.
locale_t utf8Locale()
{
    static const locale_t locale = [] {
        for (const char *name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
            if (locale_t made = ::newlocale(LC_ALL_MASK, name, locale_t(nullptr)))
                return made;
        }
        return locale_t(nullptr);
    }();
    return locale;
}

} // namespace

Utf8LocaleScope::Utf8LocaleScope()
{
    if (locale_t locale = utf8Locale())
        m_previous = ::uselocale(locale);
}

Utf8LocaleScope::~Utf8LocaleScope()
{
    if (m_previous)
        ::uselocale(m_previous);
}
