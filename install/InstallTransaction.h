#pragma once

#include <juce_core/juce_core.h>

#include <vector>

/** The changes one installation makes to the target folders, kept so that they can all be undone.

    New content is written under temporary names beside its target and moved into place only at the
    end; what it replaces is renamed aside and deleted only once everything is in place. Destroying a
    transaction that was not committed rolls everything back: the target folders are left as they were.
*/
class InstallTransaction
{
public:
    InstallTransaction() = default;
    ~InstallTransaction();

    /** Creates `folder` and any missing parents, remembering which ones were new. */
    bool createFolder (const juce::File& folder);

    /** A fresh, not yet existing name in `parent` for content on its way to `finalName`; it is removed
        on rollback and on commit, unless it was moved into place.
    */
    juce::File makeTemporaryName (const juce::File& parent, const juce::String& finalName);

    /** Moves `newItem` (file or folder) to `target`. An existing `target` is first renamed aside and kept
        until commit; on rollback it returns. Fails without changing anything when a rename fails.
    */
    bool moveIntoPlace (const juce::File& newItem, const juce::File& target);

    /** Keeps the new content: deletes what was replaced and every temporary left over. */
    void commit();

    /** Puts back what was replaced, deletes the new content and the folders this transaction created. */
    void rollback();

private:
    struct Move
    {
        juce::File from, target, previous;
    };

    juce::File uniqueSibling (const juce::File& file, const juce::String& tag) const;

    juce::Array<juce::File> createdFolders, temporaries;
    std::vector<Move> moves;
    bool finished = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (InstallTransaction)
};
