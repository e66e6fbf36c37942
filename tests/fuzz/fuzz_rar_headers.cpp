// RAR4 and RAR5 block headers of a volume, and a set of one such volume.
#include "FuzzInput.h"
#include "platform/engine/formats/VolumeSet.h"
#include "platform/engine/formats/RarHeaderScan.h"
#include "platform/engine/formats/RarVolumeCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = FuzzInput::write(data, size);
    RarHeaderScan::scan(path);
    RarVolumeCheck::check(VolumeSet::forArchive(path));
    return 0;
}
