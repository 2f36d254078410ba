#pragma once

#include "install/InstallerModel.h"

/** What the three runs (MonolithCheck, Installation, Removal) are built on: each is a chain of named
    steps, `a() && b() && ...`, that ends at the first step returning false. A step ends the run through
    fail() or stop(), which write the run's last log line and keep the result that the run returns;
    note() writes a line and lets the chain go on.
*/
class InstallerModel::StepChain
{
protected:
    explicit StepChain (InstallerModel& model);

    /** Writes `line`; true, so that the chain goes on. */
    bool note (const juce::String& line);

    /** Writes `line` and ends the run with `code`. */
    bool fail (Result code, const juce::String& line);

    /** Writes `line` and ends the run with writeFailed: something could not be written, moved or removed. */
    bool fail (const juce::String& line);

    /** Writes why the step failed, in the file layer's words, then the step's own line; ends the run
        with writeFailed.
    */
    bool fail (const juce::Result& why, const juce::String& line);

    /** Ends the run with filesInUse when other programs hold any of `files`, which the run is about to
        replace or remove: names them in programsHoldingFiles and in one line. Where the system cannot name
        them but says a file is held so that it cannot be moved (FileHolders::anyBlocked), it also ends
        with filesInUse, programsHoldingFiles empty and the line `mayBeInUse`. True, so that the chain goes
        on, when nothing holds them.
    */
    bool checkHolders (const juce::Array<juce::File>& files);

    /** fail (why, line) for a move that replaces or removes a file of the installation; where a program
        holding a file blocks that (Windows), a last line says that a program may be using the plug-in.
    */
    bool failMove (const juce::Result& why, const juce::String& line);

    /** Writes the line for a stop that the observer asked for and ends the run with `interrupted`. */
    bool stop();

    /** What the step that ended the run ended it with; noError while no step has. */
    Result getResult() const noexcept   { return result; }

    InstallerModel& model;

private:
    Result result = noError;
};
