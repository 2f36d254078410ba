#include "install/transaction/JournalCheck.h"

#include "install/SafeFileName.h"
#include "install/TemporaryNames.h"

namespace
{
using Record = InstallJournal::Record;
using FolderPath = InstallJournal::FolderPath;
using Item = InstallJournal::Item;
using Root = InstallJournal::Root;

bool areSafe (const juce::StringArray& names)
{
    return std::all_of (names.begin(), names.end(), [] (const juce::String& name) { return SafeFileName::isSafe (name); });
}

/** An item moved aside out of the VST3 tree is numbered in its staging folder: 1, 2, ... */
bool isAsideNumber (const juce::String& name)
{
    return name.containsOnly ("0123456789") && name.isNotEmpty() && ! name.startsWithChar ('0') && name.length() < 10;
}

/** The records read so far, and what they allow the next ones. */
class Checker
{
public:
    /** Why `r`, the record after those checked so far, is not one that this program writes; empty when it is. */
    juce::String problemWith (const Record& r)
    {
        if (kinds.empty() && r.kind != Record::Kind::begin)
            return "the journal does not begin with the installation it is for";

        const auto problem = kindProblem (r);

        if (r.kind != Record::Kind::undone)
            kinds.push_back (r.kind);

        return problem;
    }

private:
    juce::String kindProblem (const Record& r)
    {
        if (committed)
            return "it follows the commit";

        switch (r.kind)
        {
            case Record::Kind::begin:       return beginProblem (r);
            case Record::Kind::folder:      return folderProblem (r);
            case Record::Kind::temporary:   return temporaryProblem (r);
            case Record::Kind::move:        return moveProblem (r);
            case Record::Kind::commit:      committed = true; return {};
            case Record::Kind::link:        return linkProblem (r);
            case Record::Kind::undone:      return undoneProblem (r);
        }

        return "it is of no known kind";
    }

    juce::String beginProblem (const Record& r)
    {
        if (! kinds.empty())
            return "it begins a second installation";

        if (r.version < InstallJournal::oldestFormatVersion || r.version > InstallJournal::formatVersion)
            return "it is of another format (version " + juce::String (r.version) + ")";

        if (r.dataRoot.isNotEmpty() && (r.version < 3 || ! juce::File::isAbsolutePath (r.dataRoot)))
            return "it names a data folder that is not an absolute path";

        if (r.oldDataRoot.isNotEmpty() && (r.version < 4 || ! juce::File::isAbsolutePath (r.oldDataRoot) || r.oldDataRoot == r.dataRoot))
            return "it names a data folder to move from that is not an absolute path of another folder";

        if (! SafeFileName::isSafe (r.company) || ! SafeFileName::isSafe (r.instrument))
            return "it names no company and instrument that could be installed";

        company = r.company;
        instrument = r.instrument;
        dataRoot = r.dataRoot;
        oldDataRoot = r.oldDataRoot;
        return {};
    }

    /** The one link a journal makes: the default data folder, to the instrument's folder in the chosen data root. */
    juce::String linkProblem (const Record& r) const
    {
        const auto isTheLink = dataRoot.isNotEmpty() && r.to.folder == defaultCompanyFolder() && r.to.name == instrument
                                && juce::File (r.text) == juce::File (dataRoot).getChildFile (company).getChildFile (instrument);
        return isTheLink ? juce::String() : "it makes a link other than the one from the default data folder to the chosen one";
    }

    juce::String folderProblem (const Record& r) const
    {
        const auto inPlace = r.place == dataFolder() || isInCompanyVst3Folder (r.place)
                              || (dataRoot.isNotEmpty() && r.place == defaultCompanyFolder());
        return inPlace && r.existing <= r.place.path.size() ? juce::String() : "it makes folders outside the instrument's folders";
    }

    juce::String temporaryProblem (const Record& r)
    {
        if (r.place == dataFolder() && TemporaryNames::isNewFileName (r.text) && SafeFileName::isSafe (r.text))
        {
            newFiles.add (r.text);
            return {};
        }

        // A move back to the default data folder writes the new files beside the link they replace.
        if (isMoveToDefault() && r.place == companyFolder() && TemporaryNames::isNewFileName (r.text) && SafeFileName::isSafe (r.text))
        {
            newFiles.add (r.text);
            return {};
        }

        if (r.place == FolderPath { Root::staging, {} } && TemporaryNames::isStagingName (r.text))
        {
            stagingFolders.add (r.text);
            return {};
        }

        return "it names a temporary item that is not of this installer's shapes for its place";
    }

    juce::String moveProblem (const Record& r) const
    {
        // A removal sets the link from the default data folder aside, in the folder it is in; a move sets the
        // link or the folder there aside, and the items of the folder it moves the data out of.
        if ((dataRoot.isNotEmpty() || oldDataRoot.isNotEmpty()) && r.to.folder == defaultCompanyFolder() && r.to.name == instrument
             && r.from.isEmpty())
            return isAsideInPlace (r) ? juce::String() : "it sets an item aside under a name that this installer does not give";

        if (oldDataRoot.isNotEmpty() && r.to.folder == oldDataFolder() && r.from.isEmpty())
            return isAsideInPlace (r) && SafeFileName::isSafe (r.to.name) ? juce::String()
                                                                           : "it sets an item aside under a name that this installer does not give";

        const auto toData = r.to.folder == dataFolder();
        const auto newFilesFolder = isMoveToDefault() ? companyFolder() : dataFolder();

        if (! (toData || isInCompanyVst3Folder (r.to.folder)) || ! SafeFileName::isSafe (r.to.name))
            return "it moves an item outside the instrument's folders";

        if (r.from.isEmpty() && r.aside.isEmpty())
            return "it moves nothing";

        if (! r.from.isEmpty() && ! (toData ? r.from.folder == newFilesFolder && newFiles.contains (r.from.name)
                                                && TemporaryNames::isCreatedWith (r.from.name, TemporaryNames::newFilePrefix (r.to.name))
                                            : isNewInStaging (r.from)))
            return "it moves an item that is not one of the journal's new items";

        if (! r.aside.isEmpty() && ! (toData ? r.aside.folder == dataFolder() && TemporaryNames::isAsideNameOf (r.aside.name, r.to.name)
                                             : isAsideInStaging (r.aside)))
            return "it sets an item aside under a name that this installer does not give";

        return {};
    }

    juce::String undoneProblem (const Record& r) const
    {
        const auto of = (size_t) r.undoneRecord;
        const auto undoable = of < kinds.size() && (kinds[of] == Record::Kind::folder || kinds[of] == Record::Kind::temporary
                                                     || kinds[of] == Record::Kind::move || kinds[of] == Record::Kind::link);
        return undoable ? juce::String() : "it undoes a record that does not come before it, or that nothing undoes";
    }

    FolderPath dataFolder() const               { return { Root::data, { company, instrument } }; }
    FolderPath companyFolder() const            { return { Root::data, { company } }; }
    FolderPath oldDataFolder() const            { return { Root::oldData, { company, instrument } }; }
    FolderPath defaultCompanyFolder() const     { return { Root::defaultData, { company } }; }

    /** A move of the data out of a chosen folder back into the default data folder. */
    bool isMoveToDefault() const                { return dataRoot.isEmpty() && oldDataRoot.isNotEmpty(); }

    /** Whether the move `r` sets its item aside in the folder it is in, under the name given to that item. */
    static bool isAsideInPlace (const Record& r)
    {
        return r.aside.folder == r.to.folder && TemporaryNames::isAsideNameOf (r.aside.name, r.to.name);
    }

    bool isInCompanyVst3Folder (const FolderPath& place) const
    {
        return place.root == Root::vst3 && place.path[0] == company && areSafe (place.path);
    }

    /** Whether `item` is in the folder of what is unpacked, in a staging folder that the journal made. */
    bool isNewInStaging (const Item& item) const
    {
        const auto& path = item.folder.path;
        return item.folder.root == Root::staging && path.size() >= 2 && stagingFolders.contains (path[0])
            && path[1] == TemporaryNames::unpackedFolder && areSafe (path) && SafeFileName::isSafe (item.name);
    }

    /** Whether `item` is in the folder for what leaves the VST3 tree, in a staging folder that the journal made. */
    bool isAsideInStaging (const Item& item) const
    {
        const auto& path = item.folder.path;
        return item.folder.root == Root::staging && path.size() == 2 && stagingFolders.contains (path[0])
            && path[1] == TemporaryNames::asideFolder && isAsideNumber (item.name);
    }

    juce::String company, instrument, dataRoot, oldDataRoot;
    juce::StringArray newFiles, stagingFolders;
    std::vector<Record::Kind> kinds;    // of the records other than `undone`, as numbered by `undone` records
    bool committed = false;
};
} // namespace

juce::Result JournalCheck::check (const std::vector<InstallJournal::Record>& records)
{
    Checker checker;

    for (size_t i = 0; i < records.size(); ++i)
    {
        const auto problem = checker.problemWith (records[i]);

        if (problem.isNotEmpty())
            return juce::Result::fail ("line " + juce::String ((int) i + 1) + ": " + problem);
    }

    return juce::Result::ok();
}
