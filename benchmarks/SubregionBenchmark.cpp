// Reading a large cached payload through Crypto::InputStream::Subregion, against memcpy of the same
// bytes in the same run. Prints the throughput ratio at the end; there is no speed target. Rates are
// per CPU second (file reads included), which a busy machine disturbs less than wall-clock time.

#include "monolith/MonolithReader.h"
#include "monolith/MonolithWriter.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <iostream>
#include <map>

namespace
{
    constexpr size_t payloadSize = 256u << 20;
    constexpr int blockSize = 65536;
    const juce::int64 payloadKey = juce::String ("BENCHMARK_PAYLOAD").hashCode64();

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

            file.getFile().deleteFile();
            juce::FileOutputStream out (file.getFile());
            MonolithWriter writer (out);
            writer.writeChunk (1, ChunkType::binary, payloadKey + 1, "skipped first", 13);
            writer.writeChunk (MonolithWriter::randomSeed(), ChunkType::binary, payloadKey, payload.get(), payloadSize);
        }

        juce::TemporaryFile file { ".rom" };
        juce::HeapBlock<char> payload { payloadSize };
    };

    Fixture& getFixture()
    {
        static Fixture fixture;
        return fixture;
    }

    std::map<std::string, double> bytesPerSecond;

    void recordThroughput (benchmark::State& state)
    {
        state.SetBytesProcessed ((int64_t) state.iterations() * (int64_t) payloadSize);
    }

    void subregionRead (benchmark::State& state)
    {
        const MonolithReader reader (getFixture().file.getFile());
        auto stream = reader.openBinary (payloadKey);
        juce::HeapBlock<char> buffer ((size_t) blockSize);

        for (auto _ : state)
        {
            stream->setPosition (0);

            while (stream->read (buffer.get(), blockSize) > 0)
                benchmark::DoNotOptimize (buffer.get());

            benchmark::ClobberMemory();
        }

        recordThroughput (state);
    }

    void memcpyBlocks (benchmark::State& state)
    {
        const auto* source = getFixture().payload.get();
        juce::HeapBlock<char> buffer ((size_t) blockSize);

        for (auto _ : state)
        {
            for (size_t offset = 0; offset < payloadSize; offset += (size_t) blockSize)
            {
                memcpy (buffer.get(), source + offset, (size_t) blockSize);
                benchmark::DoNotOptimize (buffer.get());
            }

            benchmark::ClobberMemory();
        }

        recordThroughput (state);
    }

    // The two parts of a Subregion read on their own: the keystream over bytes in memory, and plain file reads.
    void keystreamInMemory (benchmark::State& state)
    {
        const auto* source = getFixture().payload.get();
        juce::HeapBlock<char> buffer ((size_t) blockSize);
        juce::uint32 keystreamState = 1;

        for (auto _ : state)
        {
            for (size_t offset = 0; offset < payloadSize; offset += (size_t) blockSize)
            {
                memcpy (buffer.get(), source + offset, (size_t) blockSize);
                Crypto::InputStream::applyKeystream (keystreamState, buffer.get(), (size_t) blockSize);
                benchmark::DoNotOptimize (buffer.get());
            }

            benchmark::ClobberMemory();
        }

        recordThroughput (state);
    }

    void plainFileRead (benchmark::State& state)
    {
        juce::FileInputStream file (getFixture().file.getFile());
        juce::HeapBlock<char> buffer ((size_t) blockSize);

        for (auto _ : state)
        {
            file.setPosition (0);

            while (file.read (buffer.get(), blockSize) > 0)
                benchmark::DoNotOptimize (buffer.get());

            benchmark::ClobberMemory();
        }

        recordThroughput (state);
    }

    void seekToStartFromEnd (benchmark::State& state)
    {
        const MonolithReader reader (getFixture().file.getFile());
        auto stream = reader.openBinary (payloadKey);
        char byte;

        for (auto _ : state)
        {
            stream->setPosition ((juce::int64) payloadSize - 1);
            stream->read (&byte, 1);
            stream->setPosition (0);
            stream->read (&byte, 1);
            benchmark::DoNotOptimize (byte);
        }
    }

    /** Passes everything on to the console and keeps the throughput of each benchmark for the ratio. */
    class RatioReporter : public benchmark::ConsoleReporter
    {
    public:
        void ReportRuns (const std::vector<Run>& runs) override
        {
            for (auto& run : runs)
            {
                const auto rate = run.counters.find ("bytes_per_second");

                if (rate != run.counters.end())
                    bytesPerSecond[run.benchmark_name()] = rate->second.value;
            }

            ConsoleReporter::ReportRuns (runs);
        }
    };
}

BENCHMARK (subregionRead)->Unit (benchmark::kMillisecond);
BENCHMARK (memcpyBlocks)->Unit (benchmark::kMillisecond);
BENCHMARK (keystreamInMemory)->Unit (benchmark::kMillisecond);
BENCHMARK (plainFileRead)->Unit (benchmark::kMillisecond);
BENCHMARK (seekToStartFromEnd)->Unit (benchmark::kMicrosecond);

int main (int argc, char** argv)
{
    benchmark::Initialize (&argc, argv);
    getFixture();

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks (&reporter);
    benchmark::Shutdown();

    const auto subregion = bytesPerSecond.find ("subregionRead");
    const auto copy = bytesPerSecond.find ("memcpyBlocks");

    if (subregion != bytesPerSecond.end() && copy != bytesPerSecond.end() && subregion->second > 0)
        std::cout << "Subregion read throughput: " << subregion->second / 1.0e9 << " GB/s, memcpy: "
                  << copy->second / 1.0e9 << " GB/s, memcpy / Subregion = " << copy->second / subregion->second << std::endl;

    return 0;
}
