// Our SEED-CBC beside OpenSSL's legacy SEED-CBC on message-sized inputs, and base64 both ways.
// Each SEED call includes its key schedule, as every message on the link does.

#include "OpenSslPtr.h"
#include "SecureUtil.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/rand.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kSizes[] = {64, 1024, 4096};

// OpenSSL's SEED lives in the legacy provider; load it in a context of its own.
struct OpenSslSeed
{
    SecureUtil::OpenSslPtr<OSSL_LIB_CTX, OSSL_LIB_CTX_free> libctx{OSSL_LIB_CTX_new()};
    SecureUtil::OpenSslPtr<OSSL_PROVIDER, OSSL_PROVIDER_unload> legacy{OSSL_PROVIDER_load(libctx.get(), "legacy")};
    SecureUtil::OpenSslPtr<OSSL_PROVIDER, OSSL_PROVIDER_unload> deflt{OSSL_PROVIDER_load(libctx.get(), "default")};
    SecureUtil::OpenSslPtr<EVP_CIPHER, EVP_CIPHER_free> cbc{EVP_CIPHER_fetch(libctx.get(), "SEED-CBC", nullptr)};
};

struct Input
{
    unsigned char key[16];
    unsigned char iv[16];
    std::vector<unsigned char> plain;
    std::vector<unsigned char> cipher;
};

Input makeInput(int n)
{
    Input in;
    in.plain.resize(static_cast<size_t>(n));
    if (RAND_bytes(in.key, 16) != 1 || RAND_bytes(in.iv, 16) != 1 || RAND_bytes(in.plain.data(), n) != 1) {
        std::abort();
    }
    in.cipher.resize(static_cast<size_t>(n + 16));
    in.cipher.resize(
        static_cast<size_t>(SecureUtil::seedCbcEncrypt(in.key, in.iv, in.plain.data(), n, in.cipher.data())));
    return in;
}

void ours(benchmark::State& state, bool encrypt, int n)
{
    const Input in = makeInput(n);
    std::vector<unsigned char> out(static_cast<size_t>(n + 16));
    for (auto _ : state) {
        const int written =
            encrypt ? SecureUtil::seedCbcEncrypt(in.key, in.iv, in.plain.data(), n, out.data())
                    : SecureUtil::seedCbcDecrypt(in.key, in.iv, in.cipher.data(), int(in.cipher.size()), out.data());
        benchmark::DoNotOptimize(written);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * n);
}

void openssl(benchmark::State& state, const OpenSslSeed& seed, bool encrypt, int n)
{
    const Input in = makeInput(n);
    const std::vector<unsigned char>& src = encrypt ? in.plain : in.cipher;
    std::vector<unsigned char> out(static_cast<size_t>(n + 32));
    const SecureUtil::OpenSslPtr<EVP_CIPHER_CTX, EVP_CIPHER_CTX_free> ctx(EVP_CIPHER_CTX_new());
    if (!seed.cbc || !ctx) {
        state.SkipWithError("OpenSSL's SEED-CBC is not available");
        return;
    }
    for (auto _ : state) {
        int len = 0, fin = 0;
        if (EVP_CipherInit_ex2(ctx.get(), seed.cbc.get(), in.key, in.iv, encrypt ? 1 : 0, nullptr) != 1 ||
            EVP_CipherUpdate(ctx.get(), out.data(), &len, src.data(), int(src.size())) != 1 ||
            EVP_CipherFinal_ex(ctx.get(), out.data() + len, &fin) != 1) {
            state.SkipWithError("OpenSSL's SEED-CBC failed");
            break;
        }
        benchmark::DoNotOptimize(fin);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * n);
}

void base64(benchmark::State& state, bool encode, int n)
{
    const Input in = makeInput(n);
    const std::string text = SecureUtil::base64Encode(in.plain.data(), in.plain.size());
    for (auto _ : state) {
        if (encode) {
            benchmark::DoNotOptimize(SecureUtil::base64Encode(in.plain.data(), in.plain.size()));
        } else {
            benchmark::DoNotOptimize(SecureUtil::base64Decode(text));
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * n);
}

// The console table as usual, plus each run's CPU time kept for the ratios.
class Reporter : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> cpuTime;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                cpuTime[run.benchmark_name()] = run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv)
{
    const OpenSslSeed seed;
    for (const char* op : {"encrypt", "decrypt"}) {
        const bool encrypt = std::string(op) == "encrypt";
        for (const int n : kSizes) {
            const std::string size = "/" + std::to_string(n);
            benchmark::RegisterBenchmark(("seed_" + std::string(op) + "/ours" + size).c_str(), ours, encrypt, n);
            benchmark::RegisterBenchmark(("seed_" + std::string(op) + "/openssl" + size).c_str(), openssl,
                                         std::cref(seed), encrypt, n);
        }
    }
    for (const int n : kSizes) {
        benchmark::RegisterBenchmark(("base64_encode/" + std::to_string(n)).c_str(), base64, true, n);
        benchmark::RegisterBenchmark(("base64_decode/" + std::to_string(n)).c_str(), base64, false, n);
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nSEED-CBC CPU time, ours / OpenSSL (below 1.00: ours is faster)\n");
    for (const char* op : {"encrypt", "decrypt"}) {
        for (const int n : kSizes) {
            const std::string tail = "/" + std::to_string(n);
            const auto o = reporter.cpuTime.find("seed_" + std::string(op) + "/ours" + tail);
            const auto t = reporter.cpuTime.find("seed_" + std::string(op) + "/openssl" + tail);
            if (o != reporter.cpuTime.end() && t != reporter.cpuTime.end() && t->second > 0) {
                std::printf("  %-8s %5d B  %.2f\n", op, n, o->second / t->second);
            }
        }
    }
    return 0;
}
