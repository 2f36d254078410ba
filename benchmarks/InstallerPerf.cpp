// Whole-program figures of the installation engine, each against a baseline measured in the same run:
//   - the monolith check (processMonolith) of a monolith whose VST3 entry is 256 MiB of incompressible
//     bytes, against cp of a 256 MiB file;
//   - the installation's extraction of a 200 MiB plug-in archive of many files, against unzip -q -o of the
//     same archive (the monolith already lies at its install target, so install() copies nothing else);
//   - monolith-tool extract of a 256 MiB entry, against cp of a file of the same 256 MiB;
//   - instrument-setup install of a 2 GiB monolith followed by sync, against cp of the same file
//     followed by sync;
//   - the peak memory (maximum resident set of a child process) of the check with a 1 GiB entry minus the
//     check with a 1 MiB entry;
//   - the installation of a 2 GiB monolith that carries checksums (copy, read-back with the checksum pass,
//     flushed to the disk), against cp and sync of the same file;
//   - the peak memory of that installation (check and install in a child process) minus an idle child.
// Times are wall-clock medians of several runs; every run starts with warm sources and with the dirty
// pages of the previous one written back (sync); the 2 GiB copies each start right after the previous
// one was deleted (see startsAfterDeleting). Fixtures live in a temporary folder, removed at the end.
// Prints FIGURE lines for scripts/bench.sh; no figure fails the program.
//
//   installer_perf [repetitions [check|extraction|tool|install]]
//   installer_perf --check|--install|--idle <monolith> <folder>    (the children of the memory figures)

#include "BenchmarkFigures.h"
#include "install/InstallerModel.h"
#include "log/InstallerLog.h"
#include "monolith/EntryNames.h"
#include "monolith/MonolithWriter.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{
    constexpr juce::int64 mebibyte = 1 << 20;

    /** Everything the figures write lies below it; removed at the end, also after a failure. */
    juce::File scratchFolder;

    /** Every folder of the engine below one root. */
    class PerfFolders : public SystemFolders
    {
    public:
        explicit PerfFolders (const juce::File& rootFolder) : root (rootFolder) {}

        juce::File getInstallerExecutable() const override  { return root.getChildFile ("app/Beta Installer"); }
        juce::File getHomeFolder() const override           { return root.getChildFile ("home"); }
        juce::File getDownloadsFolder() const override      { return root.getChildFile ("home/Downloads"); }
        juce::File getDesktopFolder() const override        { return root.getChildFile ("home/Desktop"); }
        juce::File getDataRoot() const override             { return root.getChildFile ("data"); }
        juce::File getVst3Root() const override             { return root.getChildFile ("vst3"); }
        juce::File getTemporaryFolder() const override      { return root.getChildFile ("tmp"); }

        /** Where the check puts the monolith of instrument Beta by company Alpha. */
        juce::File getInstallTarget() const                 { return getDataRoot().getChildFile ("Alpha/Beta/Beta.rom"); }

    private:
        juce::File root;
    };

    /** A given number of pseudo-random bytes that no compressor can shrink, made quickly (xorshift). */
    class NoiseInputStream : public juce::InputStream
    {
    public:
        NoiseInputStream (juce::int64 numBytes, juce::uint64 seed) : length (numBytes), state (seed | 1) {}

        juce::int64 getTotalLength() override   { return length; }
        bool isExhausted() override             { return position >= length; }
        juce::int64 getPosition() override      { return position; }
        bool setPosition (juce::int64) override { return false; }

        int read (void* dest, int maxBytes) override
        {
            const auto numBytes = (int) juce::jmin ((juce::int64) maxBytes, length - position);
            auto* bytes = static_cast<juce::uint8*> (dest);

            for (int i = 0; i < numBytes; ++i)
            {
                if ((position + i) % 8 == 0)
                {
                    state ^= state << 13;
                    state ^= state >> 7;
                    state ^= state << 17;
                }

                bytes[i] = (juce::uint8) (state >> (8 * ((position + i) % 8)));
            }

            position += numBytes;
            return juce::jmax (0, numBytes);
        }

    private:
        juce::int64 length, position = 0;
        juce::uint64 state;
    };

    juce::ValueTree makeState()
    {
        juce::ValueTree root ("SAMBREL_STATE");
        juce::ValueTree instrument ("INSTRUMENT");
        instrument.setProperty ("instrumentName", "Beta", nullptr);
        instrument.setProperty ("companyName", "Alpha", nullptr);
        root.appendChild (instrument, nullptr);
        return root;
    }

    bool writeMonolith (const juce::File& file, juce::InputStream& vst3Archive)
    {
        file.getParentDirectory().createDirectory();
        file.deleteFile();
        juce::FileOutputStream out (file);
        MonolithWriter writer (out);

        return out.openedOk() && writer.writeState (makeState())
                && writer.writeEntry (ChunkType::binary, EntryNames::vst3Plugin, vst3Archive);
    }

    bool writeFile (const juce::File& file, juce::InputStream& content)
    {
        file.getParentDirectory().createDirectory();
        file.deleteFile();
        juce::FileOutputStream out (file);
        return out.openedOk() && out.writeFromInputStream (content, -1) == content.getTotalLength();
    }

    /** Reads a file once, so that every timed run starts with it in the page cache. */
    void warm (const juce::File& file)
    {
        juce::FileInputStream in (file);
        juce::HeapBlock<char> block ((size_t) mebibyte);

        while (in.read (block, (int) mebibyte) > 0) {}
    }

    /** Deletes what the last timed copy wrote (a file or a folder) and flushes, just before the next one.
        A virtual machine may hand memory that has been free for a few seconds back to its host; a page
        cache that grows into such memory writes several times slower. Starting every timed copy right
        after a copy of the same size was deleted gives a measured run and its baseline the same memory.
    */
    void startsAfterDeleting (const juce::File& previousCopy)
    {
        previousCopy.deleteRecursively();
        sync();
    }

    struct ChildResult
    {
        int exitCode = -1;
        double seconds = 0;
    };

    /** Runs a program, optionally in another working folder, and waits for it. */
    ChildResult runChild (const juce::StringArray& arguments, const juce::File& workingFolder = {})
    {
        std::vector<std::string> args;

        if (workingFolder != juce::File())
            args = { "/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", workingFolder.getFullPathName().toStdString() };

        for (const auto& a : arguments)
            args.push_back (a.toStdString());

        std::vector<char*> argv;

        for (auto& a : args)
            argv.push_back (a.data());

        argv.push_back (nullptr);

        ChildResult result;
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = 0;

        if (posix_spawnp (&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            return result;

        int status = 0;

        if (waitpid (pid, &status, 0) != pid)
            return result;

        result.seconds = std::chrono::duration<double> (std::chrono::steady_clock::now() - start).count();
        result.exitCode = WIFEXITED (status) ? WEXITSTATUS (status) : -1;
        return result;
    }

    template <typename Function>
    double timeOf (Function&& function)
    {
        const auto start = std::chrono::steady_clock::now();
        function();
        return std::chrono::duration<double> (std::chrono::steady_clock::now() - start).count();
    }

    double median (std::vector<double> values)
    {
        if (values.empty())
            return 0;

        std::sort (values.begin(), values.end());
        const auto middle = values.size() / 2;
        return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    }

    std::unique_ptr<InstallerModel> makeModel (const juce::File& root, InstallerLog& log, const juce::File& monolith)
    {
        auto model = std::make_unique<InstallerModel> (std::make_unique<PerfFolders> (root));
        model->log = &log;
        model->stepPauseMs = 0;
        model->monolithFile = monolith;

        for (const auto& f : { model->getFolders().getDataRoot(), model->getFolders().getVst3Root(),
                               model->getFolders().getTemporaryFolder() })
            f.createDirectory();

        return model;
    }

    [[noreturn]] void fail (const juce::String& message, const InstallerLog* log = nullptr)
    {
        std::cerr << "installer_perf: " << message << std::endl;

        if (log != nullptr)
            std::cerr << log->getText() << std::endl;

        scratchFolder.deleteRecursively();
        std::exit (1);
    }

    /** Where a child of the memory figures leaves its peak resident memory, in KiB. */
    juce::File peakFileIn (const juce::File& root)     { return root.getChildFile ("peak-kib"); }

    /** The child's own high-water mark of resident memory. Not the rusage its parent gets: a child
        started with posix_spawn (vfork) inherits the parent's high-water mark until exec, and reports
        the parent's size whenever it stays smaller.
    */
    bool writePeakMemory (const juce::File& root)
    {
        juce::StringArray status;
        status.addLines (juce::File ("/proc/self/status").loadFileAsString());

        for (const auto& line : status)
            if (line.startsWith ("VmHWM:"))
                return root.createDirectory() && peakFileIn (root).replaceWithText (line.fromFirstOccurrenceOf (":", false, false).trim()
                                                                                       .upToFirstOccurrenceOf (" ", false, false));
        return false;
    }

    /** A memory figure's child: `what` is "--idle" (start and end), "--check" or "--install" (the check,
        then the installation); the first failing result as the exit code. */
    int memoryChild (const juce::String& what, const juce::File& monolith, const juce::File& root)
    {
        auto result = 0;

        if (what != "--idle")
        {
            InstallerLog log;
            auto model = makeModel (root, log, monolith);
            InstallerModel::Observer unobserved;
            result = model->processMonolith (unobserved);

            if (result == 0 && what == "--install")
                result = model->install (unobserved);
        }

        return result == 0 && ! writePeakMemory (root) ? 1 : result;
    }

    /** Runs a memory figure's child and returns its peak resident memory in KiB. */
    long peakMemoryOfChild (const juce::String& what, const juce::File& monolith, const juce::File& root)
    {
        const auto self = juce::File::getSpecialLocation (juce::File::currentExecutableFile).getFullPathName();
        const auto child = runChild ({ self, what, monolith.getFullPathName(), root.getFullPathName() });

        if (child.exitCode != 0)
            fail ("the child " + what + " failed with " + juce::String (child.exitCode));

        return peakFileIn (root).loadFileAsString().getLargeIntValue();
    }

    /** A monolith of a small plug-in archive and an entry of `sampleBytes` noise, with checksums. */
    bool writeLargeMonolith (const juce::File& file, juce::int64 sampleBytes)
    {
        juce::MemoryOutputStream zip;
        juce::ZipFile::Builder builder;
        builder.addEntry (new NoiseInputStream (mebibyte, 17), 0, "Beta.vst3/Contents/x86_64-win/Beta.vst3", juce::Time());
        builder.writeToStream (zip, nullptr);

        file.getParentDirectory().createDirectory();
        file.deleteFile();
        juce::FileOutputStream out (file);
        MonolithWriter writer (out);
        NoiseInputStream samples (sampleBytes, 23);

        return out.openedOk() && writer.reserveChecksums ({ "", EntryNames::vst3Plugin, "SAMPLES" })
                && writer.writeState (makeState()) && writer.writeEntry (ChunkType::binary, EntryNames::vst3Plugin, zip.getMemoryBlock())
                && writer.writeEntry (ChunkType::binary, "SAMPLES", samples) && writer.writeChecksums();
    }

    void installationMemory (const juce::File& folder, const juce::File& monolith)
    {
        long peakKiB[2] = {};
        const char* modes[2] = { "--idle", "--install" };

        for (int i = 0; i < 2; ++i)
        {
            const auto root = folder.getChildFile ("memory");
            peakKiB[i] = peakMemoryOfChild (modes[i], monolith, root);
            root.deleteRecursively();
        }

        const auto difference = (double) (peakKiB[1] - peakKiB[0]) / 1024.0;
        BenchmarkFigure { "peak memory of the 2 GiB installation (check and install) minus an idle run",
                          BenchmarkFigure::format (difference, "MiB"),
                          BenchmarkFigure::format ((double) peakKiB[0] / 1024.0, "MiB (idle)"),
                          peakKiB[0] > 0 ? (double) peakKiB[1] / (double) peakKiB[0] : 0.0,
                          "< 64 MiB", BenchmarkFigure::yesNo (difference < 64.0) }.print();
    }

    //==============================================================================
    void checkAgainstCopy (const juce::File& folder, int repetitions)
    {
        const PerfFolders folders (folder);
        const auto monolith = folders.getInstallTarget();
        const auto plain = folder.getChildFile ("plain.bin"), copy = folder.getChildFile ("copy.bin");
        constexpr auto entrySize = 256 * mebibyte;

        NoiseInputStream entry (entrySize, 1), same (entrySize, 1);

        if (! writeMonolith (monolith, entry) || ! writeFile (plain, same))
            fail ("cannot write the check's fixtures");

        warm (monolith);
        warm (plain);
        std::vector<double> checkTimes, copyTimes;

        for (int run = 0; run < repetitions; ++run)
        {
            InstallerLog log;
            auto model = makeModel (folder, log, monolith);
            InstallerModel::Observer unobserved;
            int result = -1;

            sync();
            checkTimes.push_back (timeOf ([&] { result = model->processMonolith (unobserved); }));

            if (result != 0)
                fail ("the check failed with " + juce::String (result), &log);

            model.reset();
            sync();

            const auto child = runChild ({ "cp", plain.getFullPathName(), copy.getFullPathName() });

            if (child.exitCode != 0)
                fail ("cp failed");

            copyTimes.push_back (child.seconds);
            copy.deleteFile();
        }

        const auto check = median (checkTimes), baseline = median (copyTimes);
        const auto ratio = baseline > 0 ? check / baseline : 0.0;
        BenchmarkFigure { "check of a monolith with a 256 MiB VST3 entry / cp of 256 MiB", BenchmarkFigure::format (check * 1000, "ms"),
                          BenchmarkFigure::format (baseline * 1000, "ms"), ratio, {}, {} }.atMost (1.1).print();

        plain.deleteFile();
        monolith.deleteFile();
    }

    /** A plug-in bundle of many files of varied sizes, a quarter of them compressible text, whose archive
        is about 200 MiB (text shrinks to about a quarter).
    */
    void writePluginTree (const juce::File& bundle)
    {
        juce::Random random (3);
        juce::int64 archiveEstimate = 0;

        for (int i = 0; archiveEstimate < 200 * mebibyte; ++i)
        {
            // Sizes spread evenly over the logarithm from 256 bytes to 2 MiB.
            const auto size = (juce::int64) std::exp (std::log (256.0) + random.nextDouble() * std::log (8192.0));
            const auto file = bundle.getChildFile ("Contents/Resources/set" + juce::String (i % 40))
                                    .getChildFile ("file" + juce::String (i) + (i % 4 == 3 ? ".txt" : ".bin"));

            const auto isText = i % 4 == 3;

            if (! isText)
            {
                NoiseInputStream noise (size, (juce::uint64) i + 7);

                if (! writeFile (file, noise))
                    fail ("cannot write " + file.getFullPathName());
            }
            else
            {
                juce::MemoryOutputStream text;

                while ((juce::int64) text.getDataSize() < size)
                    text << "preset " << random.nextInt (1000) << " layer " << random.nextInt (8) << " gain "
                         << random.nextFloat() << "\n";

                if (! file.getParentDirectory().createDirectory() || ! file.replaceWithData (text.getData(), (size_t) size))
                    fail ("cannot write " + file.getFullPathName());
            }

            archiveEstimate += isText ? size / 4 : size;
        }

        NoiseInputStream binary (3 * mebibyte, 99);

        if (! writeFile (bundle.getChildFile ("Contents/x86_64-win/Beta.vst3"), binary))
            fail ("cannot write the plug-in binary");
    }

    void extractionAgainstUnzip (const juce::File& folder, int repetitions)
    {
        const PerfFolders folders (folder);
        const auto tree = folder.getChildFile ("tree"), archive = folder.getChildFile ("plugin.zip");
        const auto monolith = folders.getInstallTarget();
        writePluginTree (tree.getChildFile ("Beta.vst3"));

        if (runChild ({ "zip", "-q", "-r", "-X", archive.getFullPathName(), "Beta.vst3" }, tree).exitCode != 0)
            fail ("zip failed");

        tree.deleteRecursively();
        juce::FileInputStream archiveStream (archive);

        if (! writeMonolith (monolith, archiveStream))
            fail ("cannot write the extraction's monolith");

        warm (archive);
        const auto installed = folders.getVst3Root().getChildFile ("Alpha"), unzipped = folder.getChildFile ("unzipped");
        std::vector<double> installTimes, unzipTimes;

        for (int run = 0; run < repetitions; ++run)
        {
            InstallerLog log;
            auto model = makeModel (folder, log, monolith);
            InstallerModel::Observer unobserved;

            if (model->processMonolith (unobserved) != 0 || model->monolithInstallFile != monolith)
                fail ("the check before the installation failed", &log);

            int result = -1;
            sync();
            installTimes.push_back (timeOf ([&] { result = model->install (unobserved); }));

            if (result != 0)
                fail ("the installation failed with " + juce::String (result), &log);

            model.reset();
            const auto installedFiles = installed.findChildFiles (juce::File::findFiles, true);
            installed.deleteRecursively();
            unzipped.createDirectory();
            sync();

            const auto child = runChild ({ "unzip", "-q", "-o", archive.getFullPathName(), "-d", unzipped.getFullPathName() });

            if (child.exitCode != 0)
                fail ("unzip failed");

            unzipTimes.push_back (child.seconds);

            // Both sides must have produced the same files.
            if (installedFiles.size() != unzipped.findChildFiles (juce::File::findFiles, true).size() || installedFiles.isEmpty())
                fail ("install() and unzip extracted different numbers of files");

            unzipped.deleteRecursively();
        }

        const auto install = median (installTimes), baseline = median (unzipTimes);
        const auto ratio = baseline > 0 ? install / baseline : 0.0;
        BenchmarkFigure { "extraction of a " + juce::String (archive.getSize() / mebibyte).toStdString()
                              + " MiB plug-in archive by install() / unzip -q -o",
                          BenchmarkFigure::format (install * 1000, "ms"), BenchmarkFigure::format (baseline * 1000, "ms"),
                          ratio, {}, {} }.atMost (0.6).print();

        archive.deleteFile();
        monolith.deleteFile();
    }

    /** A built program of the project, in its folder beside the benchmarks'. */
    juce::File builtProgram (const juce::String& folderName, const juce::String& name)
    {
        const auto program = juce::File::getSpecialLocation (juce::File::currentExecutableFile)
                                 .getParentDirectory().getSiblingFile (folderName).getChildFile (name);

        if (! program.existsAsFile())
            fail ("no " + name + " at " + program.getFullPathName());

        return program;
    }

    void extractAgainstCopy (const juce::File& folder, int repetitions)
    {
        const auto tool = builtProgram ("tools", "monolith-tool");

        const auto monolith = folder.getChildFile ("entry.rom"), plain = folder.getChildFile ("plain.bin");
        const auto extracted = folder.getChildFile ("extracted.bin"), copy = folder.getChildFile ("copy.bin");
        constexpr auto entrySize = 256 * mebibyte;
        NoiseInputStream entry (entrySize, 2), same (entrySize, 2);

        if (! writeMonolith (monolith, entry) || ! writeFile (plain, same))
            fail ("cannot write the extraction's fixtures");

        warm (monolith);
        warm (plain);
        std::vector<double> extractTimes, copyTimes;

        for (int run = 0; run < repetitions; ++run)
        {
            sync();
            const auto extraction = runChild ({ tool.getFullPathName(), "extract", monolith.getFullPathName(),
                                                EntryNames::vst3Plugin, extracted.getFullPathName() });

            if (extraction.exitCode != 0 || extracted.getSize() != entrySize)
                fail ("monolith-tool extract failed");

            extractTimes.push_back (extraction.seconds);
            extracted.deleteFile();
            sync();

            const auto child = runChild ({ "cp", plain.getFullPathName(), copy.getFullPathName() });

            if (child.exitCode != 0)
                fail ("cp failed");

            copyTimes.push_back (child.seconds);
            copy.deleteFile();
        }

        const auto extract = median (extractTimes), baseline = median (copyTimes);
        const auto ratio = baseline > 0 ? extract / baseline : 0.0;
        BenchmarkFigure { "monolith-tool extract of a 256 MiB entry / cp of 256 MiB", BenchmarkFigure::format (extract * 1000, "ms"),
                          BenchmarkFigure::format (baseline * 1000, "ms"), ratio, {}, {} }.atMost (1.2).print();

        monolith.deleteFile();
        plain.deleteFile();
    }

    void consoleInstallAgainstCopy (const juce::File& folder, int repetitions)
    {
        const auto setup = builtProgram ("setup", "instrument-setup");
        const auto monolith = folder.getChildFile ("Beta.rom"), copy = folder.getChildFile ("copy.rom");
        const auto home = folder.getChildFile ("home");
        const auto installed = home.getChildFile (".local/share/Alpha/Beta/Beta.rom");

        if (! writeLargeMonolith (monolith, 2048 * mebibyte))
            fail ("cannot write the console installation's monolith");

        warm (monolith);
        std::vector<double> installTimes, copyTimes;
        runChild ({ "cp", monolith.getFullPathName(), copy.getFullPathName() });   // the first run, too, follows a deletion

        for (int run = 0; run < repetitions; ++run)
        {
            startsAfterDeleting (copy);
            // Its results on standard output would mix with the figures.
            const auto installation = runChild ({ "sh", "-c", "exec \"$@\" >/dev/null", "sh", "env", "-u", "XDG_DATA_HOME",
                                                  "HOME=" + home.getFullPathName(), setup.getFullPathName(), "install",
                                                  monolith.getFullPathName() });
            const auto flushed = timeOf ([] { sync(); });

            if (installation.exitCode != 0 || installed.getSize() != monolith.getSize())
                fail ("instrument-setup install failed with " + juce::String (installation.exitCode));

            installTimes.push_back (installation.seconds + flushed);
            startsAfterDeleting (home);

            const auto child = runChild ({ "cp", monolith.getFullPathName(), copy.getFullPathName() });
            const auto copyFlushed = timeOf ([] { sync(); });

            if (child.exitCode != 0)
                fail ("cp failed");

            copyTimes.push_back (child.seconds + copyFlushed);
        }

        const auto install = median (installTimes), baseline = median (copyTimes);
        const auto ratio = baseline > 0 ? install / baseline : 0.0;
        BenchmarkFigure { "instrument-setup install of a " + juce::String (monolith.getSize() / mebibyte).toStdString()
                              + " MiB monolith + sync / cp + sync",
                          BenchmarkFigure::format (install * 1000, "ms"), BenchmarkFigure::format (baseline * 1000, "ms"),
                          ratio, {}, {} }.atMost (1.2).print();

        home.deleteRecursively();
        copy.deleteFile();
        monolith.deleteFile();
    }

    void peakMemory (const juce::File& folder)
    {
        long peakKiB[2] = {};
        const juce::int64 sizes[2] = { mebibyte, 1024 * mebibyte };

        for (int i = 0; i < 2; ++i)
        {
            const auto root = folder.getChildFile ("memory" + juce::String (i));
            const auto monolith = PerfFolders (root).getInstallTarget();
            NoiseInputStream entry (sizes[i], 5);

            if (! writeMonolith (monolith, entry))
                fail ("cannot write the memory figure's monolith");

            peakKiB[i] = peakMemoryOfChild ("--check", monolith, root);
            root.deleteRecursively();
        }

        const auto difference = (double) (peakKiB[1] - peakKiB[0]) / 1024.0;
        BenchmarkFigure { "peak memory of the check: 1 GiB entry minus 1 MiB entry",
                          BenchmarkFigure::format (difference, "MiB"),
                          BenchmarkFigure::format ((double) peakKiB[0] / 1024.0, "MiB (1 MiB entry)"),
                          peakKiB[0] > 0 ? (double) peakKiB[1] / (double) peakKiB[0] : 0.0,
                          "< 16 MiB", BenchmarkFigure::yesNo (difference < 16.0) }.print();
    }

    void installationAgainstCopy (const juce::File& folder, int repetitions)
    {
        const PerfFolders folders (folder);
        const auto monolith = folder.getChildFile ("in/Beta.rom"), copy = folder.getChildFile ("copy.rom");

        if (! writeLargeMonolith (monolith, 2048 * mebibyte))
            fail ("cannot write the installation's monolith");

        warm (monolith);
        std::vector<double> installTimes, copyTimes;
        runChild ({ "cp", monolith.getFullPathName(), copy.getFullPathName() });   // the first run, too, follows a deletion

        for (int run = 0; run < repetitions; ++run)
        {
            InstallerLog log;
            auto model = makeModel (folder, log, monolith);
            InstallerModel::Observer unobserved;

            if (model->processMonolith (unobserved) != 0)
                fail ("the check before the installation failed", &log);

            int result = -1;
            startsAfterDeleting (copy);
            installTimes.push_back (timeOf ([&] { result = model->install (unobserved); }));

            if (result != 0 || folders.getInstallTarget().getSize() != monolith.getSize())
                fail ("the installation failed with " + juce::String (result), &log);

            model.reset();
            folders.getVst3Root().getChildFile ("Alpha").deleteRecursively();
            startsAfterDeleting (folders.getDataRoot().getChildFile ("Alpha"));

            const auto child = runChild ({ "sh", "-c", "cp \"$0\" \"$1\" && sync", monolith.getFullPathName(), copy.getFullPathName() });

            if (child.exitCode != 0)
                fail ("cp failed");

            copyTimes.push_back (child.seconds);
        }

        const auto install = median (installTimes), baseline = median (copyTimes);
        const auto ratio = baseline > 0 ? install / baseline : 0.0;
        BenchmarkFigure { "installation of a 2 GiB monolith with checksums / cp + sync of it", BenchmarkFigure::format (install * 1000, "ms"),
                          BenchmarkFigure::format (baseline * 1000, "ms"), ratio, {}, {} }.atMost (1.2).print();

        copy.deleteFile();
        installationMemory (folder, monolith);
        monolith.deleteFile();
    }
}

int main (int argc, char** argv)
{
    if (argc == 4 && juce::String (argv[1]).startsWith ("--"))
        return memoryChild (argv[1], juce::File (juce::String (argv[2])), juce::File (juce::String (argv[3])));

    const auto repetitions = argc > 1 ? juce::jmax (1, juce::String (argv[1]).getIntValue()) : 5;
    scratchFolder = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("installer-perf", {}, false);

    if (! scratchFolder.createDirectory())
        fail ("cannot create " + scratchFolder.getFullPathName());

    // A second argument picks the figures whose group name contains it.
    const juce::String only (argc > 2 ? argv[2] : "");
    const auto wanted = [&] (const char* group) { return only.isEmpty() || juce::String (group).contains (only); };

    if (wanted ("check"))       checkAgainstCopy (scratchFolder.getChildFile ("check"), repetitions);
    if (wanted ("extraction"))  extractionAgainstUnzip (scratchFolder.getChildFile ("extract"), repetitions);
    if (wanted ("tool"))        extractAgainstCopy (scratchFolder.getChildFile ("tool"), repetitions);
    if (wanted ("check"))       peakMemory (scratchFolder);
    if (wanted ("install"))     installationAgainstCopy (scratchFolder.getChildFile ("install"), repetitions);
    if (wanted ("console"))     consoleInstallAgainstCopy (scratchFolder.getChildFile ("console"), repetitions);

    scratchFolder.deleteRecursively();
    return 0;
}
