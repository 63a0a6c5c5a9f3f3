// Throughput of the LHA codec in-process, each beside the floor of copying the same bytes.

#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "lha/Crc16.h"
#include "lha/Decoder.h"
#include "lha/Lh5Encoder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Text(std::size_t n, std::uint32_t seed) {
  static const char* const kWords[] = {"the", "update", "customer", "motorcycle", "table", "field", "index",
                                       "record", "version", "setting", "=", "[Section]", "Path", "of", "and"};
  std::mt19937 rng(seed);
  Bytes b;
  while (b.size() < n) {
    const std::string w = kWords[rng() % std::size(kWords)];
    b.insert(b.end(), w.begin(), w.end());
    b.push_back(rng() % 8 == 0 ? '\n' : ' ');
  }
  b.resize(n);
  return b;
}

Bytes Random(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& c : b) c = static_cast<std::uint8_t>(rng());
  return b;
}

Bytes SystemFile(const char* path, std::size_t maxBytes) {
  std::ifstream in(path, std::ios::binary);
  Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (b.size() > maxBytes) b.resize(maxBytes);
  return b;
}

// Text, an executable and random data, about 8 MB.
const Bytes& Mixed() {
  static const Bytes data = [] {
    Bytes d = Text(3 << 20, 1);
    const Bytes exe = SystemFile("/usr/bin/bash", 3 << 20);
    d.insert(d.end(), exe.begin(), exe.end());
    const Bytes rnd = Random(2 << 20, 2);
    d.insert(d.end(), rnd.begin(), rnd.end());
    return d;
  }();
  return data;
}

const Bytes& Zeros() {
  static const Bytes data(256 << 20, 0);
  return data;
}

void Decode(benchmark::State& state, const Bytes& data) {
  const Bytes packed = lha::EncodeLh5(data);
  std::uint16_t crc = 0;
  for (auto _ : state) {
    lha::Decode(lha::Method::Lh5, packed, data.size(), [&](std::span<const std::uint8_t> piece) {
      crc = lha::UpdateCrc16(crc, piece);
    });
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void BM_DecodeMixed(benchmark::State& state) { Decode(state, Mixed()); }
void BM_DecodeZeros(benchmark::State& state) { Decode(state, Zeros()); }

void BM_Crc16(benchmark::State& state) {
  const Bytes data = Random(1 << 20, 3);
  for (auto _ : state) benchmark::DoNotOptimize(lha::Crc16(data));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

// The floor: copying the decoder's output pieces once.
void BM_CopyFloor(benchmark::State& state) {
  const Bytes data = Random(1 << 20, 4);
  Bytes out(lha::kOutputChunk);
  for (auto _ : state) {
    for (std::size_t at = 0; at < data.size(); at += out.size())
      std::memcpy(out.data(), data.data() + at, std::min(out.size(), data.size() - at));
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

void BM_EncodeMixed(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(lha::EncodeLh5(Mixed()).size());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Mixed().size()));
}

BENCHMARK(BM_CopyFloor);
BENCHMARK(BM_Crc16);
BENCHMARK(BM_DecodeMixed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeZeros)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeMixed)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
