#pragma once

// install/installed/ is what an installation leaves behind, and how it is found again: InstallRecord
// (the record beside the monolith), InstalledInstruments (every installation, found by its record),
// InstalledAppsEntry (its entry in Windows' Installed apps) and UninstallerProgram (the uninstaller that
// entry runs). It includes only the engine's rules in install/ (InstallerResult among them) and the
// layers below the engine: never the model, the runs, transaction/ or payload/.

#include <juce_core/juce_core.h>

#include <functional>
#include <set>
#include <vector>

class CheckedFolder;

/** What one installation wrote: every file with its size and CRC-32, and every folder it made, so that
    the installation can be listed and removed exactly, keeping whatever else shares its folders.

    The installation leaves it beside the monolith as `fileName`; its text format is described in
    docs/install-record.md. Paths are relative to the two places an installation writes to, so a
    record says nothing about where those places are: that is the engine's to know (SystemFolders).
*/
class InstallRecord
{
public:
    /** The two folders an installation writes to, which the record's text calls places: the
        instrument's data folder (company/instrument below the data root) and the company's plug-in
        folder (company below the VST3 root).
    */
    enum class TargetFolder { data, plugins };

    struct Item
    {
        TargetFolder place = TargetFolder::data;
        juce::String path;              // '/'-separated safe names, relative to the place
        bool isFolder = false;
        bool made = false;              // folders only: the installation made it (it was not there before)
        juce::int64 size = 0;           // files only
        juce::uint32 crc = 0;           // files only: zlib's CRC-32 of the content

        bool operator== (const Item& other) const;
    };

    juce::String company, instrument, installerVersion;
    juce::Time date;

    /** The folder the user chose for the data, whose company/instrument holds the installation's data
        folder, linked from the default one; none (the default) for an installation in the default place.
    */
    juce::File dataRoot;

    /** In the order they were added; a folder comes before what it holds. */
    std::vector<Item> items;

    /** `time` as the record writes its date: ISO 8601 in UTC, to the millisecond ("2026-12-10T16:10:27.412Z"). */
    static juce::String formatDate (juce::Time time);

    /** The record as its file holds it. */
    juce::String toText() const;

    /** Reads a record from its text. Fails, saying why, on anything toText() would not have written:
        another format, a missing or repeated field, an unsafe or repeated path, a bad number.
    */
    static juce::Result fromText (const juce::String& text, InstallRecord& record);

    /** Reads the record file in `folder`, which must be a plain file (not a link) of a sensible size that
        only this user or the administrators can change (CheckedFolder::openTrustedFile).
    */
    static juce::Result read (const CheckedFolder& folder, InstallRecord& record);

    /** The bytes of all files listed. */
    juce::int64 getTotalSize() const;

    /** Adds a folder of `place` and every folder above it inside `place` that is not yet listed (as not made
        by the installation: see markMadeFolders).
    */
    void addFolders (TargetFolder place, const juce::String& path);

    /** Marks each folder listed in the plug-in folder as made by the installation when it lies in a bundle
        or `wasThere` says it was not there before.
    */
    void markMadeFolders (const std::function<bool (const juce::String& path)>& wasThere);

    void addFile (TargetFolder place, const juce::String& path, juce::int64 size, juce::uint32 crc);

    /** The record file's name in the instrument's data folder. */
    static constexpr const char* fileName = "install-record.txt";

    /** The first line of every record: the format's name and version. Version 2 says of each folder whether
        the installation made it; a record of version 1 still reads, its folders taken as made only inside a
        bundle (see isBundle), which an installation always puts in place whole.
    */
    static constexpr const char* formatLine = "instrument-install-record 2";
    static constexpr const char* formatLineVersion1 = "instrument-install-record 1";

    /** The first line of a record of an installation in a folder the user chose: version 2 and its
        `data-root` line. A record in the default place keeps version 2, which older installers read.
    */
    static constexpr const char* formatLineVersion3 = "instrument-install-record 3";

    /** Whether the plug-in archive's top-level folder `name` is a bundle, which an installation moves into
        place whole, rather than a folder that the maker's products share, into which it moves its files.
    */
    static bool isBundle (const juce::String& name);

    /** Whether `path` in the plug-in folder lies in a bundle (or is one). */
    static bool isInBundle (const juce::String& path);

    /** The largest record: an installation whose record would be larger is refused, and a larger file is
        taken for a damaged record without being read. Thousands of files fit.
    */
    static constexpr juce::int64 maxFileSize = 512 << 10;

private:
    class Parser;

    // The folders addFolders has listed, without case, for a quick look-up among many files.
    std::set<juce::String> listedFolders;
};
