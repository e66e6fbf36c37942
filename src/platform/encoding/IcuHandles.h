#pragma once

#include <memory>
#include <unicode/ucnv.h>
#include <unicode/ucsdet.h>

// ICU objects owned the C++ way, so an early return never leaks one.
struct UConverterCloser {
    void operator()(UConverter *converter) const { ucnv_close(converter); }
};
using UConverterPtr = std::unique_ptr<UConverter, UConverterCloser>;

struct UCharsetDetectorCloser {
    void operator()(UCharsetDetector *detector) const { ucsdet_close(detector); }
};
using UCharsetDetectorPtr = std::unique_ptr<UCharsetDetector, UCharsetDetectorCloser>;

struct UEnumerationCloser {
    void operator()(UEnumeration *enumeration) const { uenum_close(enumeration); }
};
using UEnumerationPtr = std::unique_ptr<UEnumeration, UEnumerationCloser>;
