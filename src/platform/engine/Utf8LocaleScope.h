#pragma once

#include <locale.h>

// Puts the calling thread on a UTF-8 locale for its lifetime and restores
// the previous one after. libarchive converts Unicode entry names (zip UTF-8
// flag, 7z, RAR5, pax) to the thread's multibyte charset, so in a C or
// Latin-1 process locale those names would come out mangled.
class Utf8LocaleScope {
public:
    Utf8LocaleScope();
    ~Utf8LocaleScope();
    Utf8LocaleScope(const Utf8LocaleScope &) = delete;
    Utf8LocaleScope &operator=(const Utf8LocaleScope &) = delete;

    // False when no UTF-8 locale could be made; the thread then keeps its own.
    bool isActive() const { return m_previous != nullptr; }

private:
    locale_t m_previous = nullptr;
};
