// The monolith reader's hot paths, each against a baseline measured in the same run:
//   - descrambling 64 KiB blocks out of a 256 MiB buffer into a block buffer (every keystream path the
//     processor runs), against memcpy of the same bytes in the same blocks;
//   - reading a 256 MiB payload through Crypto::InputStream::Subregion, against plain reads of the file,
//     in 8 KiB and in 1 MiB reads;
//   - reading the whole file in 1 MiB reads and feeding every block to the ChecksumVerifier, as the
//     installation's copy will, against the plain reads;
//   - Subregion::setPosition to the end of a 1 GiB payload and back to 0, against the same two seeks of
//     the plain file stream;
//   - a chunk lookup past 100,000 small chunks, against reading the whole file in 64 KiB blocks.
// Times are CPU time of the benchmark thread (file reads' kernel time included), medians of repetitions
// (scripts/bench.sh interleaves them with the baseline's), which a machine shared with other work
// disturbs less than wall-clock time. The FIGURE lines at the end
// feed scripts/bench.sh; no figure fails the program.

#include "BenchmarkFigures.h"
#include "monolith/ChecksumVerifier.h"
#include "monolith/EntryNames.h"
#include "monolith/MonolithReader.h"
#include "monolith/MonolithStructure.h"
#include "monolith/MonolithWriter.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <map>

namespace
{
    constexpr size_t payloadSize = 256u << 20;
    constexpr size_t blockSize = 65536;

    // The framework's stream copy reads 8 KiB at a time; the installation engine's copies 1 MiB.
    constexpr int fileReadSizes[] = { 8192, 1 << 20 };
    constexpr juce::int64 seekPayloadSize = juce::int64 (1) << 30;
    constexpr int numSmallChunks = 100000;
    const juce::int64 payloadKey = EntryNames::keyOf ("BENCHMARK_PAYLOAD");

    struct Fixture
    {
        Fixture()
        {
            juce::Random random (1);

            for (size_t i = 0; i < payloadSize; i += 4)
            {
                const auto word = random.nextInt();
                memcpy (payload.get() + i, &word, 4);
            }

            {
                largeFile.getFile().deleteFile();
                juce::FileOutputStream out (largeFile.getFile());
                MonolithWriter writer (out);
                writer.writeChunk (1, ChunkType::binary, payloadKey + 1, "skipped first", 13);
                writer.writeChunk (MonolithWriter::randomSeed(), ChunkType::binary, payloadKey, payload.get(), payloadSize);
                writer.writeChecksums();
            }

            {
                // A sparse file: only the header is written, the payload reads as zeros.
                juce::MemoryOutputStream header;
                header.writeInt (ChunkType::binary);
                header.writeInt64 (seekPayloadSize + 8);
                header.writeInt64 (payloadKey);
                juce::MemoryBlock scrambled (header.getData(), header.getDataSize());
                juce::uint32 state = 7;
                Crypto::InputStream::applyKeystream (state, scrambled.getData(), scrambled.getSize());

                seekFile.getFile().deleteFile();
                juce::FileOutputStream out (seekFile.getFile());
                out.writeInt (7);
                out << scrambled;
            }

            std::filesystem::resize_file (seekFile.getFile().getFullPathName().toStdString(),
                                          (std::uintmax_t) (24 + seekPayloadSize));

            {
                manyChunksFile.getFile().deleteFile();
                juce::FileOutputStream out (manyChunksFile.getFile());
                MonolithWriter writer (out);
                char small[64] = {};

                for (int i = 0; i < numSmallChunks; ++i)
                    writer.writeChunk ((juce::uint32) random.nextInt(), i % 3 == 0 ? ChunkType::pngImage : ChunkType::binary,
                                       payloadKey + 2 + i, small, (size_t) random.nextInt (64));

                writer.writeChunk (3, ChunkType::binary, payloadKey, "found", 5);
            }
        }

        juce::HeapBlock<juce::uint8> payload { payloadSize };
        juce::TemporaryFile largeFile { ".rom" }, seekFile { ".rom" }, manyChunksFile { ".rom" };
    };

    Fixture& getFixture()
    {
        static Fixture fixture;
        return fixture;
    }

    void recordPayloadBytes (benchmark::State& state)
    {
        state.SetBytesProcessed ((int64_t) state.iterations() * (int64_t) payloadSize);
    }

    void descrambleBlocks (benchmark::State& state, Crypto::Keystream::Kernel kernel)
    {
        const auto* source = getFixture().payload.get();
        juce::HeapBlock<juce::uint8> buffer (blockSize);
        juce::uint32 keystreamState = 1;

        for (auto _ : state)
        {
            for (size_t offset = 0; offset < payloadSize; offset += blockSize)
            {
                kernel (keystreamState, source + offset, buffer.get(), blockSize);
                benchmark::DoNotOptimize (buffer.get());
            }

            benchmark::ClobberMemory();
        }

        recordPayloadBytes (state);
    }

    /** The keystream alone: one block in place, over and over, so that it stays in the cache. */
    void descrambleInCache (benchmark::State& state, Crypto::Keystream::Kernel kernel)
    {
        juce::HeapBlock<juce::uint8> buffer (blockSize, true);
        juce::uint32 keystreamState = 1;

        for (auto _ : state)
        {
            for (size_t offset = 0; offset < payloadSize; offset += blockSize)
            {
                kernel (keystreamState, buffer.get(), buffer.get(), blockSize);
                benchmark::DoNotOptimize (buffer.get());
            }

            benchmark::ClobberMemory();
        }

        recordPayloadBytes (state);
    }

    void memcpyBlocks (benchmark::State& state)
    {
        const auto* source = getFixture().payload.get();
        juce::HeapBlock<juce::uint8> buffer (blockSize);

        for (auto _ : state)
        {
            for (size_t offset = 0; offset < payloadSize; offset += blockSize)
            {
                memcpy (buffer.get(), source + offset, blockSize);
                benchmark::DoNotOptimize (buffer.get());
            }

            benchmark::ClobberMemory();
        }

        recordPayloadBytes (state);
    }

    // File reads in the block size given as the argument.
    void subregionRead (benchmark::State& state)
    {
        const MonolithReader reader (getFixture().largeFile.getFile());
        auto stream = reader.openBinary (payloadKey);
        const auto readSize = (int) state.range (0);
        juce::HeapBlock<char> buffer ((size_t) readSize);

        for (auto _ : state)
        {
            stream->setPosition (0);

            while (stream->read (buffer.get(), readSize) > 0)
                benchmark::DoNotOptimize (buffer.get());

            benchmark::ClobberMemory();
        }

        recordPayloadBytes (state);
    }

    void plainFileRead (benchmark::State& state)
    {
        juce::FileInputStream file (getFixture().largeFile.getFile());
        const auto readSize = (int) state.range (0);
        juce::HeapBlock<char> buffer ((size_t) readSize);

        for (auto _ : state)
        {
            file.setPosition (0);

            while (file.read (buffer.get(), readSize) > 0)
                benchmark::DoNotOptimize (buffer.get());

            benchmark::ClobberMemory();
        }

        recordPayloadBytes (state);
    }

    void verifiedFileRead (benchmark::State& state)
    {
        juce::FileInputStream file (getFixture().largeFile.getFile());
        const auto checksums = ChunkChecksums::load (file, MonolithStructure::of (file));

        if (! checksums.isLoaded())
            state.SkipWithError ("no checksums");

        const auto readSize = (int) state.range (0);
        juce::HeapBlock<char> buffer ((size_t) readSize);

        for (auto _ : state)
        {
            ChecksumVerifier verifier (checksums);
            file.setPosition (0);

            for (auto numRead = file.read (buffer.get(), readSize); numRead > 0; numRead = file.read (buffer.get(), readSize))
                verifier.update (buffer.get(), (size_t) numRead);

            if (! verifier.finish())
                state.SkipWithError ("checksum mismatch");
        }

        recordPayloadBytes (state);
    }

    void subregionSeekEndAndStart (benchmark::State& state)
    {
        const MonolithReader reader (getFixture().seekFile.getFile());
        auto stream = reader.openBinary (payloadKey);

        for (auto _ : state)
        {
            stream->setPosition (seekPayloadSize);
            stream->setPosition (0);
        }
    }

    void plainFileSeekEndAndStart (benchmark::State& state)
    {
        juce::FileInputStream file (getFixture().seekFile.getFile());

        for (auto _ : state)
        {
            file.setPosition (24 + seekPayloadSize);
            file.setPosition (24);
        }
    }

    void chunkLookup (benchmark::State& state)
    {
        const MonolithReader reader (getFixture().manyChunksFile.getFile());

        for (auto _ : state)
        {
            auto stream = reader.findChunk (ChunkType::binary, payloadKey);

            if (stream == nullptr || stream->getTotalLength() != 5)
                state.SkipWithError ("chunk not found");
        }
    }

    void readWholeFile (benchmark::State& state)
    {
        juce::HeapBlock<char> buffer (blockSize);

        for (auto _ : state)
        {
            juce::FileInputStream file (getFixture().manyChunksFile.getFile());

            while (file.read (buffer.get(), (int) blockSize) > 0)
                benchmark::DoNotOptimize (buffer.get());
        }
    }

    /** Seconds of CPU time per iteration, the median of each benchmark's repetitions. */
    std::map<std::string, double> medianSeconds;

    class MedianReporter : public benchmark::ConsoleReporter
    {
    public:
        void ReportRuns (const std::vector<Run>& runs) override
        {
            for (auto& run : runs)
                if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                    medianSeconds[run.run_name.function_name] = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier (run.time_unit);

            ConsoleReporter::ReportRuns (runs);
        }
    };

    double secondsOf (const std::string& name)
    {
        const auto found = medianSeconds.find (name);
        return found != medianSeconds.end() ? found->second : 0.0;
    }

    void printFigures (const std::vector<Crypto::Keystream::Path>& paths)
    {
        const auto gbPerSecond = [] (double seconds) { return seconds > 0 ? (double) payloadSize / seconds / 1.0e9 : 0.0; };
        const auto memcpyRate = gbPerSecond (secondsOf ("memcpyBlocks"));

        // The fastest path first: it is the one the reader uses.
        for (auto path = paths.rbegin(); path != paths.rend(); ++path)
        {
            const auto rate = gbPerSecond (secondsOf (std::string ("descrambleBlocks/") + path->name));
            const auto ratio = memcpyRate > 0 ? rate / memcpyRate : 0.0;
            const auto used = path == paths.rbegin();

            BenchmarkFigure figure { std::string ("descramble (") + path->name + (used ? ", used" : "") + ") / memcpy, out of cache, 64 KiB blocks",
                                     BenchmarkFigure::format (rate, "GB/s"), BenchmarkFigure::format (memcpyRate, "GB/s"), ratio, {}, {} };

            if (used)
                figure.atLeast (0.75);

            figure.print();
        }

        const auto inCache = gbPerSecond (secondsOf ("descrambleInCache"));
        BenchmarkFigure { std::string ("descramble (") + paths.back().name + ") in place in the cache / memcpy",
                          BenchmarkFigure::format (inCache, "GB/s"), BenchmarkFigure::format (memcpyRate, "GB/s"),
                          memcpyRate > 0 ? inCache / memcpyRate : 0.0, "", "" }.print();

        for (const auto readSize : fileReadSizes)
        {
            const auto subregion = gbPerSecond (secondsOf ("subregionRead/" + std::to_string (readSize)));
            const auto plain = gbPerSecond (secondsOf ("plainFileRead/" + std::to_string (readSize)));
            BenchmarkFigure { "Subregion file read / plain file read, " + std::to_string (readSize / 1024) + " KiB reads (cached)",
                              BenchmarkFigure::format (subregion, "GB/s"), BenchmarkFigure::format (plain, "GB/s"),
                              plain > 0 ? subregion / plain : 0.0, "", "" }.print();
        }

        const auto verified = gbPerSecond (secondsOf ("verifiedFileRead/1048576"));
        const auto plainLarge = gbPerSecond (secondsOf ("plainFileRead/1048576"));
        BenchmarkFigure { "file read with ChecksumVerifier / plain file read, 1 MiB reads (cached)",
                          BenchmarkFigure::format (verified, "GB/s"), BenchmarkFigure::format (plainLarge, "GB/s"),
                          plainLarge > 0 ? verified / plainLarge : 0.0, "", "" }.print();

        const auto seek = secondsOf ("subregionSeekEndAndStart") * 1.0e6;
        const auto plainSeek = secondsOf ("plainFileSeekEndAndStart") * 1.0e6;
        BenchmarkFigure { "setPosition to the end of 1 GiB and back to 0 / file seeks", BenchmarkFigure::format (seek, "us"),
                          BenchmarkFigure::format (plainSeek, "us"), plainSeek > 0 ? seek / plainSeek : 0.0,
                          "< 10 us", BenchmarkFigure::yesNo (seek > 0 && seek < 10.0) }.print();

        const auto lookup = secondsOf ("chunkLookup") * 1.0e3;
        const auto rawRead = secondsOf ("readWholeFile") * 1.0e3;
        BenchmarkFigure { "lookup past 100,000 small chunks / read of the whole file", BenchmarkFigure::format (lookup, "ms"),
                          BenchmarkFigure::format (rawRead, "ms"), rawRead > 0 ? lookup / rawRead : 0.0, {}, {} }.atMost (1).print();
    }
}

int main (int argc, char** argv)
{
    benchmark::Initialize (&argc, argv);
    getFixture();

    const auto paths = Crypto::Keystream::getAvailablePaths();
    std::vector<benchmark::internal::Benchmark*> registered;

    for (const auto& path : paths)
        registered.push_back (benchmark::RegisterBenchmark ((std::string ("descrambleBlocks/") + path.name).c_str(),
                                                            descrambleBlocks, path.kernel)->Unit (benchmark::kMillisecond));

    registered.push_back (benchmark::RegisterBenchmark ("descrambleInCache", descrambleInCache, paths.back().kernel)->Unit (benchmark::kMillisecond));
    registered.push_back (benchmark::RegisterBenchmark ("memcpyBlocks", memcpyBlocks)->Unit (benchmark::kMillisecond));
    for (const auto readSize : fileReadSizes)
    {
        registered.push_back (benchmark::RegisterBenchmark (("subregionRead/" + std::to_string (readSize)).c_str(), subregionRead)
                                  ->Arg (readSize)->Unit (benchmark::kMillisecond));
        registered.push_back (benchmark::RegisterBenchmark (("plainFileRead/" + std::to_string (readSize)).c_str(), plainFileRead)
                                  ->Arg (readSize)->Unit (benchmark::kMillisecond));
    }

    registered.push_back (benchmark::RegisterBenchmark ("verifiedFileRead/1048576", verifiedFileRead)->Arg (1 << 20)->Unit (benchmark::kMillisecond));
    registered.push_back (benchmark::RegisterBenchmark ("subregionSeekEndAndStart", subregionSeekEndAndStart)->Unit (benchmark::kMicrosecond));
    registered.push_back (benchmark::RegisterBenchmark ("plainFileSeekEndAndStart", plainFileSeekEndAndStart)->Unit (benchmark::kMicrosecond));
    registered.push_back (benchmark::RegisterBenchmark ("chunkLookup", chunkLookup)->Unit (benchmark::kMillisecond));
    registered.push_back (benchmark::RegisterBenchmark ("readWholeFile", readWholeFile)->Unit (benchmark::kMillisecond));

    for (auto* b : registered)
        b->Repetitions (5)->ReportAggregatesOnly (true);

    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks (&reporter);
    benchmark::Shutdown();

    printFigures (paths);
    return 0;
}
