// Base64 and code page 936 throughput. Each codec is measured with every Orlix
// implementation the machine can run (named "orlix-<path>", the one the library picks is
// the last), with the usual alternatives, and with memcpy of the same input as the ceiling,
// at 64 bytes, 4 KiB and 1 MiB. Names read "<codec>/<implementation>/<input bytes>";
// bytes_per_second counts input bytes (base64 text for decoding). tools/bench_chart.py draws
// the JSON output (--benchmark_out=x.json --benchmark_out_format=json).
#include "infra/base64.h"
#include "infra/charset.h"
#include "utils/base64_paths.h"
#include "utils/charset_paths.h"

#include <benchmark/benchmark.h>
#include <iconv.h>
#include <openssl/evp.h>

#if defined(ORLIX_BENCH_ABSL)
#include <absl/strings/escaping.h>
#endif
#if defined(ORLIX_BENCH_ICU)
#include <unicode/ucnv.h>
#endif

#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

namespace D = Orlix::Utils::Detail;

const std::int64_t kSizes[] = {64, 4096, 1 << 20};

std::string randomBytes(std::size_t n)
{
    std::mt19937 rng(42);
    std::string v(n, '\0');
    for (auto& b : v)
        b = static_cast<char>(rng());
    return v;
}

// Base64 text of about textSize characters (a multiple of four, no padding).
std::string base64Text(std::size_t textSize)
{
    const std::string data = randomBytes(textSize / 4 * 3);
    std::vector<char> out(
        static_cast<std::size_t>(Orlix::Utils::base64EncodeLen(static_cast<int>(data.size()))));
    D::base64EncodePortable(out.data(), data.data(), static_cast<int>(data.size()));
    return out.data();
}

// Mixed Chinese and ASCII, as code page 936 bytes, cut to size at a character boundary
// (about two thirds of the bytes are double-byte characters).
std::string gbkText(std::size_t size)
{
    const std::string sentence = "\xC4\xE3\xBA\xC3\xA3\xAC\xCA\xC0\xBD\xE7\xA3\xA1 Hello, "
                                 "\xD6\xD0\xCE\xC4\xB2\xE2\xCA\xD4\xCE\xC4\xB1\xBE\xA1\xA3 ";
    std::string text;
    while (text.size() + sentence.size() <= size)
        text += sentence;
    while (text.size() < size)
        text += 'x';
    return text;
}

std::string iconvAll(const char* to, const char* from, const std::string& in)
{
    iconv_t cd = iconv_open(to, from);
    std::string out(in.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    char* dst = &out[0];
    std::size_t srcLeft = in.size(), dstLeft = out.size();
    iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out;
}

// The same text as UTF-8, cut to about size bytes at a character boundary.
std::string utf8Text(std::size_t size)
{
    std::string text = iconvAll("UTF-8", "CP936", gbkText(size * 2 / 3 + 8));
    while (text.size() > size) {
        text.pop_back();
        while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80)
            text.pop_back();
        if (!text.empty() && static_cast<unsigned char>(text.back()) >= 0xC0)
            text.pop_back();
    }
    return text;
}

using Body = std::function<void()>;

void add(const std::string& codec, const std::string& impl, std::int64_t size,
         std::function<Body(std::int64_t)> make)
{
    benchmark::RegisterBenchmark((codec + "/" + impl + "/" + std::to_string(size)).c_str(),
                                 [make, size](benchmark::State& state) {
                                     const Body body = make(size);
                                     for (auto _ : state)
                                         body();
                                     state.SetBytesProcessed(state.iterations() * size);
                                 });
}

// memcpy of the same number of bytes: the ceiling for any of them.
Body copyBody(std::int64_t size)
{
    auto from = std::make_shared<std::string>(randomBytes(static_cast<std::size_t>(size)));
    auto to = std::make_shared<std::string>(from->size(), '\0');
    return [from, to] {
        std::memcpy(&(*to)[0], from->data(), from->size());
        benchmark::DoNotOptimize(&(*to)[0]);
        benchmark::ClobberMemory();
    };
}

void registerBase64()
{
    for (const std::int64_t size : kSizes) {
        for (const D::Base64Path& path : D::base64Paths()) {
            if (!path.usable)
                continue;
            add("Base64Encode", std::string("orlix-") + path.name, size, [path](std::int64_t n) {
                auto data = std::make_shared<std::string>(randomBytes(static_cast<std::size_t>(n)));
                auto out = std::make_shared<std::vector<char>>(
                    static_cast<std::size_t>(Orlix::Utils::base64EncodeLen(static_cast<int>(n))));
                return Body([path, data, out] {
                    benchmark::DoNotOptimize(
                        path.encode(out->data(), data->data(), static_cast<int>(data->size())));
                });
            });
            add("Base64Decode", std::string("orlix-") + path.name, size, [path](std::int64_t n) {
                auto text = std::make_shared<std::string>(base64Text(static_cast<std::size_t>(n)));
                auto out = std::make_shared<std::vector<char>>(text->size());
                return Body([path, text, out] {
                    benchmark::DoNotOptimize(path.decode(out->data(), text->c_str()));
                });
            });
        }
        add("Base64Encode", "openssl", size, [](std::int64_t n) {
            auto data = std::make_shared<std::string>(randomBytes(static_cast<std::size_t>(n)));
            auto out = std::make_shared<std::vector<unsigned char>>(data->size() / 3 * 4 + 8);
            return Body([data, out] {
                benchmark::DoNotOptimize(EVP_EncodeBlock(
                    out->data(), reinterpret_cast<const unsigned char*>(data->data()),
                    static_cast<int>(data->size())));
            });
        });
        add("Base64Decode", "openssl", size, [](std::int64_t n) {
            auto text = std::make_shared<std::string>(base64Text(static_cast<std::size_t>(n)));
            auto out = std::make_shared<std::vector<unsigned char>>(text->size());
            return Body([text, out] {
                benchmark::DoNotOptimize(EVP_DecodeBlock(
                    out->data(), reinterpret_cast<const unsigned char*>(text->data()),
                    static_cast<int>(text->size())));
            });
        });
#if defined(ORLIX_BENCH_ABSL)
        add("Base64Encode", "abseil", size, [](std::int64_t n) {
            auto data = std::make_shared<std::string>(randomBytes(static_cast<std::size_t>(n)));
            auto out = std::make_shared<std::string>();
            return Body([data, out] {
                absl::Base64Escape(*data, out.get());
                benchmark::DoNotOptimize(out->data());
            });
        });
        add("Base64Decode", "abseil", size, [](std::int64_t n) {
            auto text = std::make_shared<std::string>(base64Text(static_cast<std::size_t>(n)));
            auto out = std::make_shared<std::string>();
            return Body(
                [text, out] { benchmark::DoNotOptimize(absl::Base64Unescape(*text, out.get())); });
        });
#endif
        add("Base64Encode", "memcpy", size, copyBody);
        add("Base64Decode", "memcpy", size, copyBody);
    }
}

// iconv over the whole input, reset before each call as a fresh conversion would be.
Body iconvBody(const char* to, const char* from, std::shared_ptr<std::string> in)
{
    auto out = std::make_shared<std::string>(in->size() * 3 / 2 + 16, '\0');
    std::shared_ptr<void> cd(iconv_open(to, from),
                             [](void* p) { iconv_close(static_cast<iconv_t>(p)); });
    return [cd, in, out] {
        char* src = &(*in)[0];
        char* dst = &(*out)[0];
        std::size_t srcLeft = in->size(), dstLeft = out->size();
        iconv(static_cast<iconv_t>(cd.get()), nullptr, nullptr, nullptr, nullptr);
        benchmark::DoNotOptimize(
            iconv(static_cast<iconv_t>(cd.get()), &src, &srcLeft, &dst, &dstLeft));
    };
}

#if defined(ORLIX_BENCH_ICU)
// ICU's converter pair with its own pivot buffer (ucnv_convertEx), both converters opened once.
Body icuBody(const char* to, const char* from, std::shared_ptr<std::string> in)
{
    UErrorCode err = U_ZERO_ERROR;
    std::shared_ptr<UConverter> target(ucnv_open(to, &err), ucnv_close);
    std::shared_ptr<UConverter> source(ucnv_open(from, &err), ucnv_close);
    auto out = std::make_shared<std::string>(in->size() * 3 / 2 + 16, '\0');
    auto pivot = std::make_shared<std::vector<UChar>>(4096);
    return [target, source, in, out, pivot] {
        UErrorCode e = U_ZERO_ERROR;
        char* dst = &(*out)[0];
        const char* src = in->data();
        UChar* pivotSource = pivot->data();
        UChar* pivotTarget = pivot->data();
        ucnv_convertEx(target.get(), source.get(), &dst, dst + out->size(), &src, src + in->size(),
                       pivot->data(), &pivotSource, &pivotTarget, pivot->data() + pivot->size(),
                       true, true, &e);
        benchmark::DoNotOptimize(dst);
    };
}
#endif

void registerGbk()
{
    for (const std::int64_t size : kSizes) {
        const auto bytes = static_cast<std::size_t>(size);
        for (const D::AsciiPath& path : D::asciiPaths()) {
            if (!path.usable)
                continue;
            add("GbkToUtf8", std::string("orlix-") + path.name, size, [path, bytes](std::int64_t) {
                auto text = std::make_shared<std::string>(gbkText(bytes));
                auto out = std::make_shared<std::vector<unsigned char>>(text->size() * 3 / 2 + 16);
                return Body([path, text, out] {
                    benchmark::DoNotOptimize(D::gb2312ToUtf8With(path, text->c_str(), out->data(),
                                                                 static_cast<int>(out->size())));
                });
            });
            add("GbkToUcs2", std::string("orlix-") + path.name, size, [path, bytes](std::int64_t) {
                auto text = std::make_shared<std::string>(gbkText(bytes));
                auto out = std::make_shared<std::vector<unsigned short>>(text->size() + 1);
                return Body([path, text, out] {
                    benchmark::DoNotOptimize(D::gb2312ToUniWith(path, text->c_str(), out->data(),
                                                                static_cast<int>(out->size())));
                });
            });
            add("Utf8ToGbk", std::string("orlix-") + path.name, size, [path, bytes](std::int64_t) {
                auto text = std::make_shared<std::string>(utf8Text(bytes));
                auto out = std::make_shared<std::vector<char>>(text->size() + 16);
                return Body([path, text, out] {
                    benchmark::DoNotOptimize(D::utf8ToGb2312With(
                        path, reinterpret_cast<const unsigned char*>(text->c_str()), out->data(),
                        static_cast<int>(text->size()), static_cast<int>(out->size())));
                });
            });
        }
        add("GbkToUtf8", "iconv", size, [bytes](std::int64_t) {
            return iconvBody("UTF-8", "CP936", std::make_shared<std::string>(gbkText(bytes)));
        });
        add("GbkToUcs2", "iconv", size, [bytes](std::int64_t) {
            return iconvBody("UCS-2LE", "CP936", std::make_shared<std::string>(gbkText(bytes)));
        });
        add("Utf8ToGbk", "iconv", size, [bytes](std::int64_t) {
            return iconvBody("CP936", "UTF-8", std::make_shared<std::string>(utf8Text(bytes)));
        });
#if defined(ORLIX_BENCH_ICU)
        add("GbkToUtf8", "icu", size, [bytes](std::int64_t) {
            return icuBody("UTF-8", "GBK", std::make_shared<std::string>(gbkText(bytes)));
        });
        add("GbkToUcs2", "icu", size, [bytes](std::int64_t) {
            return icuBody("UTF-16LE", "GBK", std::make_shared<std::string>(gbkText(bytes)));
        });
        add("Utf8ToGbk", "icu", size, [bytes](std::int64_t) {
            return icuBody("GBK", "UTF-8", std::make_shared<std::string>(utf8Text(bytes)));
        });
#endif
        add("GbkToUtf8", "memcpy", size, copyBody);
        add("GbkToUcs2", "memcpy", size, copyBody);
        add("Utf8ToGbk", "memcpy", size, copyBody);
    }
}

} // namespace

int main(int argc, char** argv)
{
    registerBase64();
    registerGbk();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
