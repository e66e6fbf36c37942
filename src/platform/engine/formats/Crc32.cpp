#include "platform/engine/formats/Crc32.h"

#include <cstring>
#include <zlib.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

quint32 viaZlib(quint32 crc, const uchar *data, size_t size)
{
    while (size > 0) {
        const uInt chunk = uInt(qMin<size_t>(size, size_t(1) << 30));
        crc = quint32(crc32(crc, data, chunk));
        data += chunk;
        size -= chunk;
    }
    return crc;
}

#if defined(__x86_64__)

// x^n modulo the CRC polynomial: bit d of the result is the factor of x^d.
constexpr quint64 xPower(unsigned n)
{
    quint64 remainder = 1;
    for (unsigned i = 0; i < n; ++i) {
        remainder <<= 1;
        if (remainder & (quint64(1) << 32))
            remainder ^= 0x104C11DB7u;
    }
    return remainder;
}

// The data is bit-reflected: in a 64-bit lane, x^d sits at bit 63 - d.
constexpr quint64 lane(quint64 remainder)
{
    quint64 reflected = 0;
    for (int d = 0; d < 32; ++d) {
        if ((remainder >> d) & 1)
            reflected |= quint64(1) << (63 - d);
    }
    return reflected;
}

// Multipliers that move a 128-bit block `distance` bits further on: its
// low lane holds the higher powers, 64 more than the high lane's. A product
// of two reflected lanes comes out multiplied by x, so each is one short.
constexpr quint64 lowLaneFactor(unsigned distance)
{
    return lane(xPower(distance + 64 - 1));
}
constexpr quint64 highLaneFactor(unsigned distance)
{
    return lane(xPower(distance - 1));
}

__attribute__((target("pclmul"))) __m128i fold(__m128i block, __m128i factors, __m128i next)
{
    const __m128i low = _mm_clmulepi64_si128(block, factors, 0x00);
    const __m128i high = _mm_clmulepi64_si128(block, factors, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

__m128i load(const uchar *at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
}

// Four blocks in flight, 64 bytes apart, are folded into one; the last 16
// bytes so reached, with the same remainder as everything before them, and
// the bytes after them go through zlib. At least 64 bytes.
__attribute__((target("pclmul"))) quint32 folded(quint32 crc, const uchar *data, size_t size)
{
    static constexpr quint64 by512Low = lowLaneFactor(512), by512High = highLaneFactor(512);
    static constexpr quint64 by128Low = lowLaneFactor(128), by128High = highLaneFactor(128);
    const __m128i by512 = _mm_set_epi64x(qint64(by512High), qint64(by512Low));
    const __m128i by128 = _mm_set_epi64x(qint64(by128High), qint64(by128Low));
    __m128i blocks[4] = {load(data), load(data + 16), load(data + 32), load(data + 48)};
    // The register starts inverted, which is the same as inverting the first
    // four bytes of the data.
    blocks[0] = _mm_xor_si128(blocks[0], _mm_cvtsi32_si128(int(~crc)));
    for (data += 64, size -= 64; size >= 64; data += 64, size -= 64) {
        for (int i = 0; i < 4; ++i)
            blocks[i] = fold(blocks[i], by512, load(data + 16 * i));
    }
    __m128i last = fold(fold(fold(blocks[0], by128, blocks[1]), by128, blocks[2]), by128, blocks[3]);
    for (; size >= 16; data += 16, size -= 16)
        last = fold(last, by128, load(data));
    alignas(16) uchar rest[32];
    _mm_store_si128(reinterpret_cast<__m128i *>(rest), last);
    std::memcpy(rest + 16, data, size);
    // zlib inverts its register at the start, which the fold has done already.
    for (int i = 0; i < 4; ++i)
        rest[i] = uchar(~rest[i]);
    return viaZlib(0, rest, 16 + size);
}

#endif

} // namespace

// Carry-less multiplication folds sixteen bytes at a time where the
// processor has it, several times faster than zlib's table: this runs over
// every byte of a gzip stream and of every file joined across volumes.
quint32 Crc32::of(const void *data, size_t size, quint32 previous)
{
    const auto *bytes = static_cast<const uchar *>(data);
#if defined(__x86_64__)
    static const bool hasClmul = __builtin_cpu_supports("pclmul");
    if (hasClmul && size >= 64)
        return folded(previous, bytes, size);
#endif
    return viaZlib(previous, bytes, size);
}

quint32 Crc32::of(const QByteArray &bytes, quint32 previous)
{
    return of(bytes.constData(), size_t(bytes.size()), previous);
}
