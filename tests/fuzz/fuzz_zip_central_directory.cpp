// The zip central directory, and what the name detection takes from it.
#include "FuzzInput.h"
#include "platform/engine/formats/ZipCentralDirectory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (const auto entries = ZipCentralDirectory::read(FuzzInput::write(data, size))) {
        ZipCentralDirectory::legacyNames(*entries);
        ZipCentralDirectory::legacyNamesFrom(*entries);
    }
    return 0;
}
