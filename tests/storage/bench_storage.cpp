// Sequential throughput through the file system against raw sector access of the same image in
// memory: how much the FAT, the directory and the sector buffer cost on top of the block device.
// Arguments: the card's size in MiB (16 MiB: FAT16 with 2 KiB clusters; 3 MiB: FAT12 with 512-byte
// clusters, whose FAT entries straddle sectors) and the size of each call in bytes.
#include <string.h>

#include <vector>

#include <benchmark/benchmark.h>

#include "fat/ff.h"
#include "tests/storage/test_util.h"

namespace {

enum : uint32_t { FILE_BYTES = 2u << 20 };

struct Card {
    tu::RamDisk disk;
    tu::Volume volume;
    explicit Card(uint32_t mb) {
        disk.bytes.assign((size_t)mb << 20, 0);
        ff::FF_BlockDevice d = disk.device();
        if (ff::ffFormat(&d, 0, d.sectors, 0) != 0 || !volume.mount(disk)) abort();
        std::vector<uint8_t> data(FILE_BYTES, 0x5A);
        if (!tu::writeCardFile("DATA.BIN", data)) abort();
    }
};

void RawRead(benchmark::State &state) {
    Card card((uint32_t)state.range(0));
    ff::FF_BlockDevice d = card.disk.device();
    std::vector<uint8_t> buffer(FILE_BYTES);
    for (auto _ : state) {
        for (uint32_t s = 0; s < FILE_BYTES / 512; s++) d.read(d.context, 1000 + s, buffer.data() + s * 512);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * FILE_BYTES);
}

void FileRead(benchmark::State &state) {
    Card card((uint32_t)state.range(0));
    uint32_t step = (uint32_t)state.range(1);
    std::vector<uint8_t> buffer(FILE_BYTES);
    for (auto _ : state) {
        ff::FF_FILE *f = ff::fopen("DATA.BIN", ff::FF_READ);
        for (uint32_t done = 0; done < FILE_BYTES; done += step) ff::fread(buffer.data() + done, 1, step, f);
        ff::fclose(f);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * FILE_BYTES);
}

void FileReadChunk(benchmark::State &state) {
    Card card((uint32_t)state.range(0));
    std::vector<uint8_t> buffer(FILE_BYTES);
    for (auto _ : state) {
        ff::FF_FILE *f = ff::fopen("DATA.BIN", ff::FF_READ);
        uint32_t done = 0;
        for (int32_t n; (n = ff::freadChunk(f, buffer.data() + done, FILE_BYTES - done)) > 0;)
            done += (uint32_t)n;
        ff::fclose(f);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * FILE_BYTES);
}

void FileGetc(benchmark::State &state) {
    Card card((uint32_t)state.range(0));
    for (auto _ : state) {
        ff::FF_FILE *f = ff::fopen("DATA.BIN", ff::FF_READ);
        uint32_t sum = 0;
        for (int c; (c = ff::fgetc(f)) != ff::FF_EOF;) sum += (uint32_t)c;
        ff::fclose(f);
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * FILE_BYTES);
}

void RawWrite(benchmark::State &state) {
    Card card((uint32_t)state.range(0));
    ff::FF_BlockDevice d = card.disk.device();
    std::vector<uint8_t> buffer(FILE_BYTES, 0xA5);
    for (auto _ : state)
        for (uint32_t s = 0; s < FILE_BYTES / 512; s++) d.write(d.context, 1000 + s, buffer.data() + s * 512);
    state.SetBytesProcessed((int64_t)state.iterations() * FILE_BYTES);
}

// A new file each time: cluster allocation, FAT updates and the directory entry included.
void FileWrite(benchmark::State &state) {
    Card card((uint32_t)state.range(0));
    uint32_t step = (uint32_t)state.range(1);
    std::vector<uint8_t> buffer(FILE_BYTES, 0xA5);
    for (auto _ : state) {
        ff::FF_FILE *f = ff::fopen("OUT.BIN", ff::FF_WRITE);
        for (uint32_t done = 0; done < FILE_BYTES; done += step) ff::fwrite(buffer.data() + done, 1, step, f);
        ff::fclose(f);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * FILE_BYTES);
}

// Byte by byte, as the screen dump writes.
void FilePutc(benchmark::State &state) {
    Card card((uint32_t)state.range(0));
    for (auto _ : state) {
        ff::FF_FILE *f = ff::fopen("OUT.BIN", ff::FF_WRITE);
        for (uint32_t i = 0; i < FILE_BYTES; i++) ff::fputc((int)i, f);
        ff::fclose(f);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * FILE_BYTES);
}

BENCHMARK(RawRead)->Arg(16)->Arg(3);
BENCHMARK(FileRead)->Args({16, 512})->Args({16, 4096})->Args({16, 65536})->Args({3, 65536})->Args({16, 100});
BENCHMARK(FileReadChunk)->Arg(16)->Arg(3);
BENCHMARK(FileGetc)->Arg(16);
BENCHMARK(RawWrite)->Arg(16)->Arg(3);
BENCHMARK(FileWrite)->Args({16, 512})->Args({16, 4096})->Args({16, 65536})->Args({3, 65536})->Args({16, 100});
BENCHMARK(FilePutc)->Arg(16);

} // namespace

BENCHMARK_MAIN();
