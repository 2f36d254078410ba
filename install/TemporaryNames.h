#pragma once

#include "fs/CheckedFolder.h"

#include <algorithm>
#include <string>

/** The names an installation gives its temporary items in the target folders: how each is made, how
    each is recognised, and how much each can add to a name or a path, from which FileSystemLimits takes
    its reserves. Every one ends in random hex digits (CheckedFolder::randomNameBytes from SecureRandom):

      "." + name + ".partial-" + digits     a new file, written beside its target or in the staging
                                            folder, before it is given its name
      "." + name + ".previous-" + digits    what a new item replaces, waiting beside it for the commit
      ".installing-" + digits               the staging folder, in the folder that holds the VST3 root:
                                            what is unpacked goes into its folder "new", what leaves the
                                            VST3 tree into its folder "previous", under numbers

    A transaction chooses each whole name, records it in its journal, and only then makes the item, under
    exactly that name: recovery removes the items its journals name and nothing else, and a start carries
    out a journal only if every name in it has the shape that its place calls for.
*/
class TemporaryNames
{
private:
    static constexpr const char* hidden = ".";
    static constexpr const char* newFileMark = ".partial-";
    static constexpr const char* asideMark = ".previous-";

public:
    /** What a new file that will be named `finalName` is created as (CheckedFolder::createFile), before
        the random digits.
    */
    static juce::String newFilePrefix (const juce::String& finalName);

    /** A whole name for a new file that will be named `finalName`, random digits included; empty when the
        system's generator gave no random digits.
    */
    static juce::String newFileName (const juce::String& finalName);

    /** The name under which the item `name` waits beside its place until the commit; empty when the
        system's generator gave no random digits.
    */
    static juce::String asideName (const juce::String& name);

    /** What the staging folder is created as, before the random digits. */
    static constexpr const char* stagingPrefix = ".installing-";

    /** A whole name for a staging folder; empty when the system's generator gave no random digits. */
    static juce::String stagingName();

    /** The folders in the staging folder: for what is unpacked, and for what leaves the VST3 tree. */
    static constexpr const char* unpackedFolder = "new";
    static constexpr const char* asideFolder = "previous";

    /** Whether `name` is `prefix` followed by the random digits: what CheckedFolder names an item it
        creates with that prefix.
    */
    static bool isCreatedWith (const juce::String& name, const juce::String& prefix);

    /** Whether `name` is a name that newFileName gives (for a final name that is neither empty nor holds
        a separator).
    */
    static bool isNewFileName (const juce::String& name);

    /** Whether `name` is a name that asideName gives for the item `itemName`. */
    static bool isAsideNameOf (const juce::String& name, const juce::String& itemName);

    /** Whether `name` is a name that stagingName gives. */
    static bool isStagingName (const juce::String& name);

    /** Whether `name` has one of the shapes above, random digits included: a new file or an item aside
        (for a name that is neither empty nor holds a separator), or the staging folder.
    */
    static bool isTemporaryName (const juce::String& name);

    /** The number of random hex digits that end each name. */
    static constexpr int randomDigits = (int) CheckedFolder::randomNameBytes * 2;

    /** The most units that a temporary name adds to the name of the item it stands for. */
    static constexpr int longestAddedToName = (int) std::char_traits<char>::length (hidden)
                                            + (int) std::max (std::char_traits<char>::length (newFileMark),
                                                              std::char_traits<char>::length (asideMark))
                                            + randomDigits;

    /** The units of the staging folder's part of the path of an item unpacked into it: the folder's
        name, a separator and the folder of what is unpacked.
    */
    static constexpr int stagingPartOfPath = (int) std::char_traits<char>::length (stagingPrefix) + randomDigits + 1
                                           + (int) std::char_traits<char>::length (unpackedFolder);

private:
    /** Whether `prefix` is `hidden` + a name + `mark`, for a name that is neither empty nor holds a separator. */
    static bool isMarked (const juce::String& prefix, const char* mark);

    TemporaryNames() = delete;
};
