#include "install/InstallTransaction.h"

namespace
{
// Renames only: a move that had to copy could fail half-way and could not be undone cleanly.
bool renameOnly (const juce::File& from, const juce::File& to)
{
    return ! to.exists() && from.moveFileTo (to) && to.exists() && ! from.exists();
}
} // namespace

InstallTransaction::~InstallTransaction()
{
    if (! finished)
        rollback();
}

bool InstallTransaction::createFolder (const juce::File& folder)
{
    juce::Array<juce::File> missing;

    for (auto f = folder; ! f.exists() && f.getParentDirectory() != f; f = f.getParentDirectory())
        missing.insert (0, f);

    for (const auto& f : missing)
    {
        if (! f.createDirectory().wasOk() || ! f.isDirectory())
            return false;

        createdFolders.add (f);
    }

    return folder.isDirectory();
}

juce::File InstallTransaction::uniqueSibling (const juce::File& file, const juce::String& tag) const
{
    // Hidden on Unix, obviously ours elsewhere, and never the name of anything an installation creates.
    for (;;)
    {
        const auto candidate = file.getSiblingFile ("." + file.getFileName() + "." + tag + "-"
                                                    + juce::String::toHexString (juce::Random::getSystemRandom().nextInt64()));

        if (! candidate.exists())
            return candidate;
    }
}

juce::File InstallTransaction::makeTemporaryName (const juce::File& parent, const juce::String& finalName)
{
    const auto name = uniqueSibling (parent.getChildFile (finalName), "partial");
    temporaries.add (name);
    return name;
}

bool InstallTransaction::moveIntoPlace (const juce::File& newItem, const juce::File& target)
{
    Move move { newItem, target, {} };

    if (target.exists())
    {
        move.previous = uniqueSibling (target, "previous");

        if (! renameOnly (target, move.previous))
            return false;
    }

    if (! renameOnly (newItem, target))
    {
        if (move.previous != juce::File())
            renameOnly (move.previous, target);

        return false;
    }

    moves.push_back (move);
    return true;
}

void InstallTransaction::commit()
{
    finished = true;

    for (const auto& move : moves)
        if (move.previous != juce::File())
            move.previous.deleteRecursively();

    for (const auto& t : temporaries)
        t.deleteRecursively();
}

void InstallTransaction::rollback()
{
    finished = true;

    for (auto m = moves.rbegin(); m != moves.rend(); ++m)
    {
        // Moving the new content back where it came from cannot fail the way deleting an open file can.
        if (! renameOnly (m->target, m->from))
            m->target.deleteRecursively();

        if (m->previous != juce::File())
            renameOnly (m->previous, m->target);
    }

    moves.clear();

    for (const auto& t : temporaries)
        t.deleteRecursively();

    for (int i = createdFolders.size(); --i >= 0;)
        createdFolders.getReference (i).deleteFile();

    createdFolders.clear();
}
