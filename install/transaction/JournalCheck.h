#pragma once

#include "install/transaction/InstallJournal.h"

/** Whether the records of a journal that a start found are all ones that a transaction of this program
    writes, before any of them is carried out: a journal that anyone else wrote, or that was changed, must
    not make an elevated start move or delete what is not the installation's own.

    The journal's first record names the company and the instrument; every other record must then keep
    within what an installation or removal of that instrument changes: the instrument's data folder
    (data root / company / instrument), the company's VST3 folder and what is below it, and the staging
    folder that the journal itself made; with data in a chosen folder, the link at the default data
    folder; for a move out of a chosen folder (named by the first record), the items of the instrument's
    folder there, and for a move back into the default data root, new files in the company's folder there,
    beside the link they replace. Temporary items must have the shapes TemporaryNames gives them in
    their places, and items moved aside the generated names of their places.
*/
class JournalCheck
{
public:
    /** Ok when every record of `records`, as the journal holds them (`undone` records included), is one
        that this program writes; otherwise a failure saying which record is not, and why.
    */
    static juce::Result check (const std::vector<InstallJournal::Record>& records);

private:
    JournalCheck() = delete;
};
