// Every character-set converter on arbitrary input. The first byte picks the function, the
// next two give the output budget; sources that the contract bounds by a length are passed
// without a terminator, and every output lives in a heap block of exactly its budget. The
// UTF-8 and code page 1252 functions must also give exactly what their documented algorithms
// give (charset_model.h).
#include "charset_model.h"
#include "fuzz_check.h"

#include "infra/charset.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace Orlix::Utils;

template <class T>
std::unique_ptr<T[]> exact(std::size_t n)
{
    return std::unique_ptr<T[]>(new T[n]);
}

void check(bool condition)
{
    OrlixFuzz::check(condition, "charset result differs from its contract");
}

// A terminated copy of the payload (for the functions that read up to a terminator).
std::unique_ptr<char[]> terminated(const std::uint8_t* p, std::size_t n)
{
    auto copy = exact<char>(n + 1);
    std::memcpy(copy.get(), p, n);
    copy[n] = '\0';
    return copy;
}

void singleCharacters(const std::uint8_t* p, int n)
{
    auto raw = exact<unsigned char>(static_cast<std::size_t>(n));
    std::memcpy(raw.get(), p, static_cast<std::size_t>(n));
    unsigned short uni = 0;
    const int used = char2uni(raw.get(), n < 2 ? n : 2, &uni);
    check(used >= -1 && used <= 2 && used != 0);
    if (used > 0 && uni >= 0x100) {
        auto out = exact<unsigned char>(2);
        const int back = uni2char(uni, out.get(), 2);
        check(back == -1 || back == 2);
    }
    unsigned short wc = 0;
    const int len = utf8_mbtowc(&wc, raw.get(), n);
    check(len == -1 || (len >= 1 && len <= n && len <= 6));
    unsigned short expectWc = 0;
    check(len == OrlixFuzz::CharsetModel::mbtowc(&expectWc, raw.get(), n));
    check(len < 0 || wc == expectWc);
    for (int room = 1; room <= 3; ++room) {
        auto out = exact<unsigned char>(static_cast<std::size_t>(room));
        const int w = utf8_wctomb(out.get(), wc, room);
        check(w == -1 || (w >= 1 && w <= room));
        unsigned char expect[8];
        check(w == OrlixFuzz::CharsetModel::wctomb(expect, wc, room));
        check(w < 0 || std::memcmp(out.get(), expect, static_cast<std::size_t>(w)) == 0);
    }
    int gotLen = -1;
    GetUnicodeFromUtf8(terminated(p, static_cast<std::size_t>(n)).get(), &gotLen);
    check(gotLen >= 0 && gotLen <= 3);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3 || size > 1 << 16)
        return 0;
    const int mode = data[0] % 9;
    const int budget = (data[1] | data[2] << 8) % 1024;
    const std::uint8_t* p = data + 3;
    const std::size_t n = size - 3;
    const int len = static_cast<int>(n);

    switch (mode) {
    case 0: { // double-byte text to UCS-2, dstCount units
        auto dst = exact<unsigned short>(static_cast<std::size_t>(budget) + (budget == 0));
        const int units = Gb2312ToUni(terminated(p, n).get(), dst.get(), budget);
        check(units >= 0 && units <= budget && units <= len);
        break;
    }
    case 1: { // UCS-2 to double bytes, srcCount units, dstSize bytes
        const std::size_t count = n / 2;
        auto src = exact<unsigned short>(count + (count == 0));
        std::memcpy(src.get(), p, count * 2);
        auto dst = exact<char>(static_cast<std::size_t>(budget) + (budget == 0));
        const int done = UniTGb2312(src.get(), static_cast<int>(count), dst.get(), budget);
        check(done >= -1 && done <= static_cast<int>(count));
        break;
    }
    case 2: { // double bytes to UTF-8 in dstSize bytes
        auto dst = exact<unsigned char>(static_cast<std::size_t>(budget) + (budget == 0));
        const int bytes = Gb2312TUtf8(terminated(p, n).get(), dst.get(), budget);
        check(bytes >= 0 && bytes <= budget);
        break;
    }
    case 3: { // UTF-8 (srcBudget bytes, no terminator) to double bytes in dstSize bytes
        if (n == 0)
            break;
        auto src = exact<unsigned char>(n);
        std::memcpy(src.get(), p, n);
        auto dst = exact<char>(static_cast<std::size_t>(budget) + (budget == 0));
        const int done = utf8TGb2312(src.get(), dst.get(), len, budget);
        check(done >= -1 && done <= len);
        break;
    }
    case 4: { // UTF-8 (n bytes, no terminator) to UCS-2: at most n units
        auto src = exact<unsigned char>(n + (n == 0));
        std::memcpy(src.get(), p, n);
        if (n == 0)
            src[0] = 0;
        auto dst = exact<unsigned short>(n + (n == 0));
        const int units = utf8_mbstowcs(dst.get(), src.get(), len);
        check(units >= 0 && units <= len);
        const std::vector<unsigned short> expect =
            OrlixFuzz::CharsetModel::mbstowcs(src.get(), len);
        check(static_cast<size_t>(units) == expect.size() &&
              std::equal(expect.begin(), expect.end(), dst.get()));
        break;
    }
    case 5: { // UCS-2 (terminated) to UTF-8 in maxlen bytes
        const std::size_t count = n / 2;
        auto src = exact<unsigned short>(count + 1);
        std::memcpy(src.get(), p, count * 2);
        src[count] = 0;
        auto dst = exact<unsigned char>(static_cast<std::size_t>(budget) + (budget == 0));
        const int bytes = utf8_wcstombs(dst.get(), src.get(), budget);
        check(bytes >= 0 && bytes <= budget);
        const std::string expect = OrlixFuzz::CharsetModel::wcstombs(src.get(), budget);
        check(static_cast<size_t>(bytes) == expect.size() &&
              std::memcmp(dst.get(), expect.data(), expect.size()) == 0);
        break;
    }
    case 6: { // 1252 to UTF-8 in dstLen bytes; converted text goes back unchanged
        if (n == 0)
            break;
        auto src = exact<unsigned char>(n);
        std::memcpy(src.get(), p, n);
        auto dst = exact<unsigned char>(static_cast<std::size_t>(budget) + (budget == 0));
        std::memset(dst.get(), 0xA5, static_cast<std::size_t>(budget) + (budget == 0));
        const int r = cp1252_to_utf8(dst.get(), budget, src.get(), len);
        check(r == 0 || r > budget);
        const std::string expect = OrlixFuzz::CharsetModel::cp1252ToUtf8(src.get(), len);
        if (static_cast<int>(expect.size()) <= budget) {
            check(r == 0 && std::memcmp(dst.get(), expect.data(), expect.size()) == 0);
        } else {
            check(r == static_cast<int>(expect.size()));
            for (int i = 0; i < budget; ++i)
                check(dst[static_cast<std::size_t>(i)] == 0xA5); // nothing copied
        }
        if (r == 0) {
            // The result fits; converted back, the bytes before the first undefined byte
            // return unchanged (the rest became zeros).
            std::memset(dst.get(), 0, static_cast<std::size_t>(budget));
            check(cp1252_to_utf8(dst.get(), budget, src.get(), len) == 0);
            auto back = exact<unsigned char>(static_cast<std::size_t>(budget) + (budget == 0));
            const int m = utf8_to_cp1252(dst.get(), budget, back.get());
            check(m <= budget);
            int mapped = 0;
            while (mapped < len && src[mapped] != 0x81 && src[mapped] != 0x8D &&
                   src[mapped] != 0x8F && src[mapped] != 0x90 && src[mapped] != 0x9D)
                ++mapped;
            check(m >= mapped && std::memcmp(back.get(), src.get(), mapped) == 0);
        }
        break;
    }
    case 7: { // UTF-8 (srcLen bytes, no terminator) to 1252: at most srcLen bytes
        auto src = exact<unsigned char>(n + (n == 0));
        std::memcpy(src.get(), p, n);
        auto dst = exact<unsigned char>(n + (n == 0));
        const int bytes = utf8_to_cp1252(src.get(), len, dst.get());
        check(bytes >= 0 && bytes <= len);
        const std::string expect = OrlixFuzz::CharsetModel::utf8ToCp1252(src.get(), len);
        check(static_cast<size_t>(bytes) == expect.size() &&
              std::memcmp(dst.get(), expect.data(), expect.size()) == 0);
        break;
    }
    default:
        if (n != 0)
            singleCharacters(p, len);
        break;
    }
    return 0;
}
