#pragma once

#include "fs/ChangeProbe.h"
#include "install/InstallerModel.h"
#include "install/transaction/InstallJournal.h"
#include "install/SystemFolders.h"
#include "log/InstallerLog.h"
#include "monolith/EntryNames.h"
#include "monolith/MonolithWriter.h"

#include <juce_graphics/juce_graphics.h>

#include <algorithm>
#include <map>
#include <string>

#include <zlib.h>

#include <csignal>
#include <cstdlib>

#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace InstallTestSupport
{
/** "nobody": a local user other than the one running the tests, to own what another user planted. */
constexpr uid_t unprivilegedId = 65534;

/** Every folder the engine touches, below one temporary folder that is removed at the end. */
struct TestFolders : public SystemFolders
{
    explicit TestFolders (const juce::File& rootFolder)
        : root (rootFolder),
          installer (root.getChildFile ("app").getChildFile ("Alpha Installer.exe")),
          home (root.getChildFile ("home")),
          desktop (home.getChildFile ("Desktop")),
          dataRoot (root.getChildFile ("data")),
          vst3Root (root.getChildFile ("vst3")),
          temporary (root.getChildFile ("tmp")),
          state (root.getChildFile ("state").getChildFile (SystemFolders::stateFolderName))
    {
    }

    juce::File getInstallerExecutable() const override  { return installer; }
    juce::File getHomeFolder() const override           { return home; }
    juce::File getDesktopFolder() const override        { return desktop; }
    juce::File getDataRoot() const override             { return dataRoot; }
    juce::File getVst3Root() const override             { return vst3Root; }
    juce::File getTemporaryFolder() const override      { return temporary; }
    juce::File getStateFolder() const override          { return state; }

    juce::File root, installer, home, desktop, dataRoot, vst3Root, temporary, state;
};

/** Follows an operation as a front end would: keeps every progress milestone, in order, and answers
    each stop question with `stopWhen` (never stops without one). */
struct RecordingObserver : public InstallerModel::Observer
{
    explicit RecordingObserver (std::function<bool()> stopWhen = {})
        : stop (std::move (stopWhen))
    {
    }

    void progressChanged (double progress) override     { milestones.push_back (progress); }
    bool shouldStop() override                          { return stop != nullptr && stop(); }

    /** The last milestone reported; -1 before the first. */
    double last() const                                 { return milestones.empty() ? -1.0 : milestones.back(); }

    std::function<bool()> stop;
    std::vector<double> milestones;
};

/** A new folder of this process's own in the temporary folder: made with mkdtemp, so that test programs
    running at the same time never share one; open to other users like any folder, for the tests that
    act as another user in it. */
inline juce::File makeScratchFolder (const juce::String& prefix, const juce::File& parent = {})
{
    const auto in = parent != juce::File() ? parent : juce::File::getSpecialLocation (juce::File::tempDirectory);
    auto pattern = in.getChildFile (prefix + ".XXXXXX").getFullPathName().toStdString();

    if (mkdtemp (pattern.data()) == nullptr || chmod (pattern.c_str(), 0755) != 0)
        return {};

    return juce::File (juce::String (pattern.c_str()));
}

/** A folder in memory where the system has one, else the temporary folder: for sweeps that kill a child
    thousands of times, whose flushes a disk would make slow. A kill leaves the same in both. */
inline juce::File memoryFolder()
{
    const juce::File shared ("/dev/shm");
    return shared.isDirectory() && shared.hasWriteAccess() ? shared : juce::File::getSpecialLocation (juce::File::tempDirectory);
}

/** A scratch folder with the usual subfolders already made (data root, VST3 root, temporary). */
struct Sandbox
{
    /** In the temporary folder, or in `parent`. */
    explicit Sandbox (const juce::File& parent = {})
        : folder (makeScratchFolder ("installer-engine-test", parent))
    {
        folder.createDirectory();
        for (const auto& f : { folders().dataRoot, folders().vst3Root, folders().temporary, folders().installer.getParentDirectory() })
            f.createDirectory();

        // The engine's state folder, as the first start makes it: there before what a test compares.
        folders().state.createDirectory();
        chmod (folders().state.getFullPathName().toRawUTF8(), 0700);
    }

    ~Sandbox()
    {
        // Tests may leave read-only folders behind.
        for (const auto& f : folder.findChildFiles (juce::File::findDirectories, true))
            f.setReadOnly (false);

        folder.setReadOnly (false);
        folder.deleteRecursively();
    }

    const TestFolders& folders() const  { return *testFolders; }

    /** A model over this sandbox, writing to `log`, pausing `pauseMs` between installation stages; with
        its data and VST3 roots in `targetVolume` when one is given. */
    std::unique_ptr<InstallerModel> makeModel (InstallerLog& log, int pauseMs = 0, const juce::File& targetVolume = {}) const
    {
        auto folders = std::make_unique<TestFolders> (folder);

        if (targetVolume != juce::File())
        {
            folders->dataRoot = targetVolume.getChildFile ("data");
            folders->vst3Root = targetVolume.getChildFile ("vst3");
        }

        auto model = std::make_unique<InstallerModel> (std::move (folders));
        model->log = &log;
        model->stepPauseMs = pauseMs;
        return model;
    }

    juce::File folder;
    std::unique_ptr<TestFolders> testFolders = std::make_unique<TestFolders> (folder);
};

/** The messages of the log's lines, without time stamp; a line of another category is kept whole. */
inline juce::StringArray messagesOf (const InstallerLog& log)
{
    juce::StringArray lines, messages;
    lines.addLines (log.getText());
    lines.removeEmptyStrings (false);

    for (const auto& line : lines)
        messages.add (line.contains (" <InstallerComponent> ") ? line.fromFirstOccurrenceOf (" <InstallerComponent> ", false, false)
                                                                : line);

    return messages;
}

/** Lines as one text, so that a failed comparison shows them. */
inline std::string text (const juce::StringArray& lines)
{
    return lines.joinIntoString ("\n").toStdString();
}

using ZipContent = std::map<juce::String, juce::String>;

/** A zip archive holding `content` (path inside the archive -> file text), deflated. */
inline juce::MemoryBlock makeZip (const ZipContent& content)
{
    juce::ZipFile::Builder builder;

    for (const auto& [path, text] : content)
        builder.addEntry (new juce::MemoryInputStream (text.toRawUTF8(), text.getNumBytesAsUTF8(), true),
                          6, path, juce::Time::getCurrentTime());

    juce::MemoryOutputStream out;
    builder.writeToStream (out, nullptr);
    return out.getMemoryBlock();
}

/** One entry of a hand-written zip: what the archive stores and what it claims about it. */
struct RawEntry
{
    RawEntry (juce::String entryName, juce::String entryText = {}, juce::MemoryBlock entryData = {}, int entryMethod = 0,
              juce::int64 entryClaimedSize = -1, int entryVersionMadeBy = 20, juce::uint32 entryAttributes = 0,
              int entrySameDataAs = -1)
        : name (std::move (entryName)), text (std::move (entryText)), data (std::move (entryData)), method (entryMethod),
          claimedSize (entryClaimedSize), versionMadeBy (entryVersionMadeBy), attributes (entryAttributes),
          sameDataAs (entrySameDataAs)
    {
    }

    juce::String name;
    juce::String text;                  // the stored bytes, unless `data` is set
    juce::MemoryBlock data;
    int method;                         // 0 stored, 8 deflated (then `data` is the deflate stream)
    juce::int64 claimedSize;            // -1: the real size of what is stored
    int versionMadeBy;                  // high byte 3: Unix, whose file mode is in the attributes
    juce::uint32 attributes;
    int sameDataAs;                     // another entry whose local header this one points at

    juce::MemoryBlock bytes() const
    {
        return data.isEmpty() ? juce::MemoryBlock (text.toRawUTF8(), text.getNumBytesAsUTF8()) : data;
    }
};

/** A zip written byte by byte, so that any name, size, type or layout can be given, including ones
    the framework's builder would never write. The CRC is that of the stored bytes. */
inline juce::MemoryBlock makeRawZip (const std::vector<RawEntry>& entries)
{
    juce::MemoryOutputStream out, central;
    std::vector<int> offsets;

    for (const auto& e : entries)
    {
        // An entry sharing another's data also repeats what that one says about it.
        const auto& stored = e.sameDataAs >= 0 ? entries[(size_t) e.sameDataAs] : e;
        const auto data = stored.bytes();
        const auto size = (int) data.getSize();
        const auto claimed = (int) (juce::uint32) (stored.claimedSize >= 0 ? stored.claimedSize : size);
        const auto nameSize = (short) e.name.getNumBytesAsUTF8();
        const auto crc = (int) crc32 (0, static_cast<const Bytef*> (data.getData()), (uInt) data.getSize());
        const auto offset = e.sameDataAs >= 0 ? offsets[(size_t) e.sameDataAs] : (int) out.getPosition();
        offsets.push_back (offset);

        if (e.sameDataAs < 0)
        {
            out.writeInt (0x04034b50);
            out.writeShort (20); out.writeShort (0x800); out.writeShort ((short) e.method);
            out.writeShort (0); out.writeShort (0x21);                       // time, date
            out.writeInt (crc); out.writeInt (size); out.writeInt (claimed);
            out.writeShort (nameSize); out.writeShort (0);
            out << e.name;
            out << data;
        }

        central.writeInt (0x02014b50);
        central.writeShort ((short) e.versionMadeBy); central.writeShort (20);
        central.writeShort (0x800); central.writeShort ((short) stored.method);
        central.writeShort (0); central.writeShort (0x21);
        central.writeInt (crc); central.writeInt (size); central.writeInt (claimed);
        central.writeShort (nameSize); central.writeShort (0); central.writeShort (0);
        central.writeShort (0); central.writeShort (0); central.writeInt ((int) e.attributes);
        central.writeInt (offset);
        central << e.name;
    }

    const auto centralOffset = (int) out.getPosition();
    out << central.getMemoryBlock();
    out.writeInt (0x06054b50);
    out.writeShort (0); out.writeShort (0);
    out.writeShort ((short) entries.size()); out.writeShort ((short) entries.size());
    out.writeInt ((int) central.getDataSize()); out.writeInt (centralOffset);
    out.writeShort (0);
    return out.getMemoryBlock();
}

/** Stored entries with these names and texts. */
inline juce::MemoryBlock makeStoredZip (const std::vector<std::pair<juce::String, juce::String>>& entries)
{
    std::vector<RawEntry> raw;

    for (const auto& [name, text] : entries)
        raw.emplace_back (name, text);

    return makeRawZip (raw);
}

/** A raw deflate stream of `numBytes` zero bytes. */
inline juce::MemoryBlock deflatedZeros (size_t numBytes)
{
    juce::MemoryOutputStream compressed;

    {
        juce::GZIPCompressorOutputStream deflate (compressed, 9, juce::GZIPCompressorOutputStream::windowBitsRaw);
        const juce::HeapBlock<char> zeros (1 << 20, true);

        for (size_t done = 0; done < numBytes; done += (1 << 20))
            deflate.write (zeros, std::min<size_t> (1 << 20, numBytes - done));
    }

    return compressed.getMemoryBlock();
}

inline juce::MemoryBlock makePng()
{
    juce::Image image (juce::Image::ARGB, 8, 6, true);
    image.setPixelAt (1, 1, juce::Colours::red);
    juce::MemoryOutputStream out;
    juce::PNGImageFormat().writeImageToStream (image, out);
    return out.getMemoryBlock();
}

inline juce::ValueTree makeState (const juce::String& instrument, const juce::String& company)
{
    juce::ValueTree root ("SAMBREL_STATE");
    juce::ValueTree node ("INSTRUMENT");
    node.setProperty ("instrumentName", instrument, nullptr);
    node.setProperty ("companyName", company, nullptr);
    root.appendChild (node, nullptr);
    return root;
}

inline juce::String base64Of (const juce::String& text)
{
    return juce::Base64::toBase64 (text.toRawUTF8(), text.getNumBytesAsUTF8());
}

/** What goes into a test monolith; an invalid state or an empty block leaves that chunk out. */
struct MonolithContent
{
    juce::ValueTree state = makeState ("Beta", "Alpha");
    juce::MemoryBlock vst3 = makeZip ({ { "Beta.vst3/Contents/x86_64-win/Beta.vst3", "plug-in code" },
                                        { "Beta.vst3/desktop.ini", "icon" } });
    juce::MemoryBlock screenshot;
    bool checksums = true;              // a checksum entry in front of the other chunks, as monolith-tool pack writes
};

inline juce::File writeMonolith (const juce::File& file, const MonolithContent& content)
{
    file.getParentDirectory().createDirectory();
    file.deleteFile();

    juce::FileOutputStream out (file);
    MonolithWriter writer (out);
    juce::StringArray names;

    if (content.state.isValid())
        names.add ({});

    if (! content.vst3.isEmpty())
        names.add (EntryNames::vst3Plugin);

    if (! content.screenshot.isEmpty())
        names.add (EntryNames::screenshot);

    if (content.checksums)
        writer.reserveChecksums (names);

    if (content.state.isValid())
        writer.writeState (content.state);

    if (! content.vst3.isEmpty())
        writer.writeEntry (ChunkType::binary, EntryNames::vst3Plugin, content.vst3);

    if (! content.screenshot.isEmpty())
        writer.writeEntry (ChunkType::pngImage, EntryNames::screenshot, content.screenshot);

    if (content.checksums)
        writer.writeChecksums();

    return file;
}

/** Everything below `folder`: files as relative path -> content, folders as path + "/" -> "".
    Hidden leftovers count too, so two equal snapshots mean nothing was added, changed or removed. */
inline ZipContent snapshotOf (const juce::File& folder)
{
    ZipContent tree;

    for (const auto& f : folder.findChildFiles (juce::File::findFilesAndDirectories, true))
    {
        const auto path = f.getRelativePathFrom (folder).replaceCharacter ('\\', '/');
        tree[f.isDirectory() ? path + "/" : path] = f.isDirectory() ? juce::String() : f.loadFileAsString();
    }

    return tree;
}

/** An install record's text without its date and without the CRC-32s of the data folder's files. */
inline juce::String comparableRecord (const juce::String& text)
{
    juce::StringArray lines;
    lines.addLines (text);

    for (auto& line : lines)
    {
        if (line.startsWith ("date\t"))
            line = "date";
        else if (line.startsWith ("file\tdata\t"))
            line = line.upToLastOccurrenceOf ("\t", false, false);
    }

    return lines.joinIntoString ("\n");
}

/** The temporary items of installations below `folder`, journals, and the folder of journals of earlier
    versions: what a finished installation, or the recovery after an interrupted one, leaves none of. */
inline juce::StringArray temporaryItemsIn (const juce::File& folder)
{
    juce::StringArray found;

    for (const auto& f : folder.findChildFiles (juce::File::findFilesAndDirectories, true, "*", juce::File::FollowSymlinks::no))
    {
        const auto name = f.getFileName();

        if (name.startsWith (".installing-") || name.contains (".partial-") || name.contains (".previous-")
             || name == InstallJournal::oldFolderName || name.startsWith (InstallJournal::namePrefix))
            found.add (f.getRelativePathFrom (folder));
    }

    return found;
}

/** Every file below `folder`, as relative path -> content. */
inline ZipContent treeOf (const juce::File& folder)
{
    ZipContent tree;

    for (const auto& f : folder.findChildFiles (juce::File::findFiles, true))
        tree[f.getRelativePathFrom (folder).replaceCharacter ('\\', '/')] = f.loadFileAsString();

    return tree;
}
/** The installation's milestones, in order. */
inline const std::vector<double>& installMilestones()
{
    static const std::vector<double> milestones { 0.0, 0.1, 0.4, 0.5, 0.7, 1.0 };
    return milestones;
}

/** What is wrong with the progress an installation reported, in words; empty when nothing is. Every
    milestone up to `lastMilestone` appears, in order; the bar never goes back; and every value that is
    not a milestone lies inside a stage in which the bar moves with the bytes done: the monolith copy
    (0.1 .. 0.4) or the extraction (0.5 .. 0.7). */
inline std::string installProgressProblems (const std::vector<double>& seen, double lastMilestone = 1.0)
{
    std::string problems;
    const auto& milestones = installMilestones();
    size_t next = 0;

    for (size_t i = 0; i < seen.size(); ++i)
    {
        const auto v = seen[i];

        if (i > 0 && v < seen[i - 1])
            problems += "went back to " + std::to_string (v) + "; ";

        if (next < milestones.size() && v == milestones[next])
            ++next;
        else if (std::find (milestones.begin(), milestones.end(), v) == milestones.end()
                  && ! ((v > 0.1 && v < 0.4) || (v > 0.5 && v < 0.7)))
            problems += std::to_string (v) + " is outside the stages; ";
    }

    const auto reached = (size_t) (std::find (milestones.begin(), milestones.end(), lastMilestone) - milestones.begin()) + 1;

    if (next != reached)
        problems += "milestones reached: " + std::to_string (next) + " of " + std::to_string (reached);

    return problems;
}

/** The last milestone in `seen`; -1 when there is none. */
inline double lastMilestoneOf (const std::vector<double>& seen)
{
    for (auto i = seen.rbegin(); i != seen.rend(); ++i)
        if (std::find (installMilestones().begin(), installMilestones().end(), *i) != installMilestones().end())
            return *i;

    return -1.0;
}

/** What a forked child reported: its exit code (-1 when it did not exit) and the text it sent. */
struct ChildReport
{
    int exitCode = -1;
    juce::String text;
};

/** Runs `body` in a forked child, for what needs another user or a private mount table. The child
    sends the text `body` writes through a pipe and exits with the code `body` returns. */
inline ChildReport runInChild (const std::function<int (juce::String& text)>& body)
{
    int fds[2];
    if (pipe (fds) != 0)
        return { -1, "no pipe" };

    const auto child = fork();

    if (child == 0)
    {
        close (fds[0]);
        juce::String text;
        const auto code = body (text);
        const auto* bytes = text.toRawUTF8();
        const auto numBytes = text.getNumBytesAsUTF8();
        const auto sent = (size_t) ::write (fds[1], bytes, numBytes) == numBytes;
        close (fds[1]);
        _exit (sent ? code : 101);
    }

    close (fds[1]);
    juce::MemoryOutputStream received;
    char buffer[4096];

    for (ssize_t n; (n = read (fds[0], buffer, sizeof (buffer))) > 0;)
        received.write (buffer, (size_t) n);

    close (fds[0]);
    int status = 0;
    waitpid (child, &status, 0);
    return { WIFEXITED (status) ? WEXITSTATUS (status) : -1, received.toString() };
}

/** Writes `text` to the file at `path`; false when it cannot. */
inline bool writeProcFile (const char* path, const juce::String& text)
{
    const auto fd = open (path, O_WRONLY);

    if (fd < 0)
        return false;

    const auto written = ::write (fd, text.toRawUTF8(), text.getNumBytesAsUTF8()) == (ssize_t) text.getNumBytesAsUTF8();
    close (fd);
    return written;
}

/** Gives the calling (single-threaded) process a mount table of its own, as root can, or else inside a
    user namespace of its own in which it keeps its user and group: false when the system allows neither.
*/
inline bool enterPrivateMounts()
{
    if (unshare (CLONE_NEWNS) != 0)
    {
        const auto uid = getuid();
        const auto gid = getgid();

        if (unshare (CLONE_NEWUSER | CLONE_NEWNS) != 0
             || ! writeProcFile ("/proc/self/setgroups", "deny")
             || ! writeProcFile ("/proc/self/uid_map", juce::String (uid) + " " + juce::String (uid) + " 1")
             || ! writeProcFile ("/proc/self/gid_map", juce::String (gid) + " " + juce::String (gid) + " 1"))
            return false;
    }

    return mount (nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

/** The exit code of a child that could not have a mount table of its own. */
constexpr int cannotMount = 90;

/** Runs `body` in a forked child with a mount table of its own in which a tmpfs (of the mount `options`, such
    as "size=16m") is mounted on `folder`, made first when missing: a file system of its own for the
    child. Exits with cannotMount when the system gives the child no mount table of its own.
*/
inline ChildReport runOnTmpfs (const juce::File& folder, const char* options, const std::function<int (juce::String& text)>& body)
{
    return runInChild ([&] (juce::String& text)
    {
        if (! enterPrivateMounts() || ! folder.createDirectory()
             || mount ("tmpfs", folder.getFullPathName().toRawUTF8(), "tmpfs", 0, options) != 0)
            return cannotMount;

        const auto code = body (text);
        umount2 (folder.getFullPathName().toRawUTF8(), MNT_DETACH);
        return code;
    });
}

/** Whether a kill just before `change` can leave what no other kill point leaves: a flush cannot, as a
    kill before it leaves what a kill before the next change leaves. */
inline bool changesWhatAKillLeaves (ChangeProbe::Change change)
{
    return change != ChangeProbe::Change::flushFile && change != ChangeProbe::Change::flushFolder;
}

/** Runs `body` in a forked child that kills itself (SIGKILL) just before the file layer's change number
    `killAt`, counting only the changes `counted` accepts (all when empty): the exit code is -1 when it was
    killed, else what `body` returned, with the number of changes counted as the text. */
inline ChildReport runKilledBeforeChange (int killAt, const std::function<int()>& body,
                                          const std::function<bool (ChangeProbe::Change)>& counted = {})
{
    return runInChild ([&] (juce::String& text)
    {
        int count = 0;
        ChangeProbe::setListener ([&] (ChangeProbe::Change change, const juce::File&)
        {
            if ((counted == nullptr || counted (change)) && ++count == killAt)
                raise (SIGKILL);
        });

        const auto result = body();
        ChangeProbe::setListener ({});
        text << count;
        return result;
    });
}

/** A child process that holds `file`, open or mapped (the descriptor then closed), under the name `name`,
    until it is destroyed.
*/
struct FileHolder
{
    FileHolder (const juce::File& file, bool mapped, const char* name)
    {
        int ready[2], release[2];

        if (pipe (ready) != 0 || pipe (release) != 0)
            return;

        pid = fork();

        if (pid == 0)
        {
            close (ready[0]);
            close (release[1]);
            prctl (PR_SET_NAME, name);
            const auto fd = open (file.getFullPathName().toRawUTF8(), O_RDONLY);
            const auto* mapping = mapped && fd >= 0 ? mmap (nullptr, 1, PROT_READ, MAP_SHARED, fd, 0) : nullptr;

            if (mapped && fd >= 0)
                close (fd);

            const char held = (fd >= 0 && (! mapped || mapping != MAP_FAILED)) ? 'y' : 'n';
            [[maybe_unused]] const auto sent = ::write (ready[1], &held, 1);
            char none;
            [[maybe_unused]] const auto ended = ::read (release[0], &none, 1);   // until the parent closes its end
            _exit (0);
        }

        close (ready[1]);
        close (release[0]);
        releaseFd = release[1];
        char held = 'n';
        holds = ::read (ready[0], &held, 1) == 1 && held == 'y';
        close (ready[0]);
    }

    ~FileHolder()   { end(); }

    void end()
    {
        if (pid <= 0)
            return;

        close (releaseFd);
        waitpid (pid, nullptr, 0);
        pid = -1;
    }

    pid_t pid = -1;
    int releaseFd = -1;
    bool holds = false;
};

/** A sandbox with a monolith that has passed the check. */
struct CheckedMonolith
{
    explicit CheckedMonolith (const MonolithContent& content = {}, int pauseMs = 0, const juce::String& targetVolume = {},
                              const juce::File& scratchParent = {})
        : sandbox (scratchParent),
          model (sandbox.makeModel (log, pauseMs, targetVolume.isEmpty() ? juce::File() : sandbox.folder.getChildFile (targetVolume)))
    {
        model->monolithFile = writeMonolith (sandbox.folder.getChildFile ("in").getChildFile ("Beta.rom"), content);
        RecordingObserver observer;
        check = model->processMonolith (observer);
        archive = model->pluginArchive != nullptr ? model->pluginArchive->getFile() : juce::File();
        linesOfCheck = messagesOf (log).size();
    }

    /** Runs the installation, recording every progress milestone it reports. */
    int install (const std::function<bool()>& stopWhen = {})
    {
        RecordingObserver observer (stopWhen);
        const auto result = model->install (observer);
        progressSeen = observer.milestones;
        finalProgress = observer.last();
        return result;
    }

    juce::StringArray installMessages() const
    {
        auto messages = messagesOf (log);
        messages.removeRange (0, linesOfCheck);
        return messages;
    }

    /** An earlier installation of this instrument, and another instrument of the same maker. */
    void installEarlierVersion() const
    {
        const auto& f = sandbox.folders();
        const std::pair<juce::File, const char*> files[] = {
            { installedMonolith(), "old monolith" },
            { f.dataRoot.getChildFile ("Alpha/Gamma/Gamma.rom"), "other instrument" },
            { pluginFolder().getChildFile ("Beta.vst3/Contents/x86_64-win/Beta.vst3"), "old plug-in code" },
            { pluginFolder().getChildFile ("Beta.vst3/only-in-old-version.txt"), "old" },
            { pluginFolder().getChildFile ("Gamma.vst3/Contents/x86_64-win/Gamma.vst3"), "other plug-in" },
            { pluginFolder().getChildFile ("readme.txt"), "the maker's own file" },
        };

        for (const auto& [file, content] : files)
        {
            file.getParentDirectory().createDirectory();
            file.replaceWithText (content);
        }
    }

    /** What the installation may change: both target roots. The install record without what differs between
        two runs of the same installation: its date, and the CRC-32 of the monolith, which every run scrambles.
    */
    ZipContent targets() const
    {
        ZipContent all;

        for (const auto& [path, content] : snapshotOf (sandbox.folders().dataRoot))
            all["data/" + path] = path.endsWith ("/install-record.txt") ? comparableRecord (content) : content;

        for (const auto& [path, content] : snapshotOf (sandbox.folders().vst3Root))
            all["vst3/" + path] = content;

        return all;
    }

    juce::File installedMonolith() const    { return sandbox.folders().dataRoot.getChildFile ("Alpha/Beta/Beta.rom"); }
    juce::File pluginFolder() const         { return sandbox.folders().vst3Root.getChildFile ("Alpha"); }

    Sandbox sandbox;
    InstallerLog log;
    std::unique_ptr<InstallerModel> model;
    int check = -1, linesOfCheck = 0;
    juce::File archive;
    std::vector<double> progressSeen;
    double finalProgress = -1.0;
};
} // namespace InstallTestSupport
