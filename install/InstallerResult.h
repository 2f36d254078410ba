#pragma once

/** What the engine's operations end with: the check, the installation and the removal. The numbers are
    shared with every front end: the wizard's error page is chosen by them, and the console program
    exits with them. InstallerModel derives from this, so they read as InstallerModel::Result and
    InstallerModel::noError; the installed/ layer, below the model, names them here.
*/
struct InstallerResult
{
    enum Result : int
    {
        noError = 0,
        invalidData = 1,            // check: a monolith that cannot be opened or read, no instrument state tree in it,
                                    // or a name that is not one plain file name; uninstall: a record or monolith not read
        missingData = 2,            // check: no monolith given, or no plug-in entry in it
        installationFailed = 3,     // returned by no operation; the wizard's error page keeps "Installation failed" for it
        accessDenied = 4,           // check: the data folder is read-only and cannot be made writable
        writeFailed = 5,            // check: the plug-in archive not written; installation: anything not written
        interrupted = 6,            // the observer asked to stop
        notInstalled = 7,           // uninstall: the instrument is not installed
        filesInUse = 12,            // installation, uninstall: other programs hold files the run would replace or
                                    // remove (InstallerModel::programsHoldingFiles, empty where the system
                                    // cannot name them); nothing was changed
        notEnoughSpace = 13         // install, or a move of the data: the monolith does not fit on the chosen folder's drive
    };
};
