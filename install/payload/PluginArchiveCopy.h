#pragma once

#include "install/payload/BlockCopy.h"
#include "install/payload/PluginArchive.h"
#include "fs/CheckedFolder.h"

class CheckedFile;

/** The plug-in archive as the check copied it out of the monolith, kept where only this run can change
    it: a file created exclusively under a random name, in a private folder of its own that is made
    under a random name below the temporary folder (CheckedFolder::createPrivateFolder). It knows the
    size and the CRC-32 of what was written into it, and the archive's directory, read once after the
    writing; the installation has it prove that the file is unchanged before it extracts the file.
    Destroying it removes the file and its folder.

    A run that is killed, crashes or loses power never gets to remove them, so the folder also holds a
    mark that its run holds open while it lives: every start removes the folders whose marks nobody
    holds (removeAbandoned).
*/
class PluginArchiveCopy
{
public:
    /** Makes the private folder below `temporaryFolder` and the empty file in it; getStatus() tells
        whether that worked.
    */
    explicit PluginArchiveCopy (const juce::File& temporaryFolder);
    ~PluginArchiveCopy();

    /** Ok while the file is there and every write worked; otherwise why not, for the log. */
    const juce::Result& getStatus() const noexcept      { return status; }

    /** The copy's path; empty when it could not be made. */
    juce::File getFile() const;

    /** Writes exactly `length` bytes of `in` into the file, a block at a time, and closes it; then reads
        the archive's directory from it (getArchive). Only once: the file holds what this copy wrote,
        nothing else.
    */
    BlockCopy::Outcome copyFrom (juce::InputStream& in, juce::int64 length, const BlockCopy::StopRequest& shouldStop);

    /** The number of bytes written. */
    juce::int64 getSize() const noexcept                { return size; }

    /** zlib's CRC-32 of the bytes written. */
    juce::uint32 getCrc() const noexcept                { return crc; }

    /** The archive's directory as copyFrom read it, its checks' verdict in getStatus(); without a
        complete copy, an archive that failed them. Nothing can be extracted from it (see openUnchanged).
    */
    const PluginArchive& getArchive() const noexcept    { return *directory; }

    /** What openUnchanged found. */
    enum class Proof { unchanged, changed, cannotOpen, stopped };

    /** Opens the file and reads it once, a block at a time: `unchanged` when it holds exactly the bytes
        that were written (their number and CRC-32), and then `archive` is the archive of getArchive(),
        extracted from that same open file, so that what was proven is what is extracted.
    */
    Proof openUnchanged (const BlockCopy::StopRequest& shouldStop, std::unique_ptr<PluginArchive>& archive) const;

    /** Removes the copies that runs which are no longer running left below `temporaryFolder`, writing a
        line for each. Only a private folder of this user's, named with folderPrefix, is removed, and only
        when it is empty or holds the mark (with its text, or empty when its run was killed before writing
        it), held by nobody, and besides it nothing but the copy's file; a folder of any other kind, or a
        link, is left as it is.
    */
    static void removeAbandoned (const juce::File& temporaryFolder, const std::function<void (const juce::String&)>& note);

    /** The prefixes of the random names of the folder, the file and the mark. */
    static constexpr const char* folderPrefix = "installer-";
    static constexpr const char* filePrefix = "vst3-";
    static constexpr const char* markPrefix = "run-";

    /** What the mark holds: nothing but this program's runs writes it. */
    static constexpr const char* markText = "Plug-in archive copy of an instrument installer run\n";

private:
    juce::Result makeMark();
    static bool removeIfAbandoned (const CheckedFolder& temporary, const juce::String& name);

    CheckedFolder folder;
    std::unique_ptr<CheckedFile> mark;
    juce::String markName;
    std::unique_ptr<CheckedFile> file;
    std::unique_ptr<PluginArchive> directory;
    juce::String fileName;
    juce::int64 size = 0;
    juce::uint32 crc = 0;
    juce::Result status;
    bool written = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PluginArchiveCopy)
};
