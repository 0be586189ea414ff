// The sealing cipher against OpenSSL doing the same DES work in the same
// process: nine single-DES operations per 24 bytes. Prints the time ratio.

#define OPENSSL_SUPPRESS_DEPRECATED  // DES_ecb3_encrypt is the comparable primitive
#include <benchmark/benchmark.h>
#include <openssl/des.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "codec/base64.h"
#include "voka/codec/d3_wrapper.h"

namespace {

const unsigned char kKey[24] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xFE, 0xDC, 0xBA, 0x98,
                                0x76, 0x54, 0x32, 0x10, 0x89, 0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45, 0x67};

constexpr char kCryptBlockName[] = "BM_CryptBlock";
constexpr char kOpensslName[] = "BM_OpensslDesEde3";

void BM_CryptBlock(benchmark::State& state) {
  CD3Wrapper cipher;
  cipher.SetKey(kKey, 0);
  unsigned char block[24] = "twenty-four byte block!";
  for (auto _ : state) {
    cipher.CryptBlock(block, block);
    benchmark::DoNotOptimize(block);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * 24);
}
BENCHMARK(BM_CryptBlock);

void BM_OpensslDesEde3(benchmark::State& state) {
  DES_key_schedule schedules[3];
  for (int i = 0; i < 3; ++i) {
    DES_cblock key;
    std::memcpy(key, kKey + 8 * i, 8);
    DES_set_key_unchecked(&key, &schedules[i]);
  }
  DES_cblock blocks[3];
  std::memcpy(blocks, "twenty-four byte block!", 24);
  for (auto _ : state) {
    for (auto& block : blocks) {
      DES_ecb3_encrypt(&block, &block, &schedules[0], &schedules[1], &schedules[2], DES_ENCRYPT);
    }
    benchmark::DoNotOptimize(blocks);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * 24);
}
BENCHMARK(BM_OpensslDesEde3);

// The whole seal of a typical 120-byte parameter text, as a UDP login does it.
void BM_SealParameterText(benchmark::State& state) {
  const std::string text =
      "USERID=player20^$^PWD=s3cretPassw0rd^$^APPID=100^$^AREAID=7^$^GUID=4F9A2C11^$^"
      "CLIENTIP=192.168.1.23^$^MAC=00-1A-2B-3C-4D";
  char base64[2048];
  for (auto _ : state) {
    char phrase[24] = "qpqp";
    unsigned char key[24] = {};
    CD3Wrapper cipher;
    cipher.MakeKey(phrase, key);
    cipher.SetKey(key, 0);
    unsigned char* sealed = nullptr;
    const int count = cipher.Crypt(reinterpret_cast<const unsigned char*>(text.data()), int(text.size()), &sealed);
    Base64Encode(sealed, count, base64);
    delete[] sealed;
    benchmark::DoNotOptimize(base64);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
  state.SetLabel(std::to_string(text.size()) + " bytes");
}
BENCHMARK(BM_SealParameterText);

// Prints as usual and keeps each benchmark's best CPU time per iteration.
class TimeCollector : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      auto [entry, inserted] = m_best.emplace(run.run_name.function_name, run.GetAdjustedCPUTime());
      if (!inserted && run.GetAdjustedCPUTime() < entry->second) entry->second = run.GetAdjustedCPUTime();
    }
  }

  double Best(const std::string& name) const {
    const auto found = m_best.find(name);
    return found == m_best.end() ? std::numeric_limits<double>::quiet_NaN() : found->second;
  }

 private:
  std::map<std::string, double> m_best;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TimeCollector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);
  benchmark::Shutdown();
  const double ours = collector.Best(kCryptBlockName);
  const double openssl = collector.Best(kOpensslName);
  if (ours == ours && openssl == openssl) {
    std::printf("ratio CryptBlock/OpenSSL-DES: %.2f\n", ours / openssl);
  }
  return 0;
}
