#include "InstallTestSupport.h"

#include "fs/CheckedFolder.h"
#include "install/installed/InstallRecord.h"
#include "install/installed/InstalledInstruments.h"

#include <gtest/gtest.h>

#include <cstring>

#if ! JUCE_WINDOWS
 #include <sys/stat.h>
#endif

using namespace InstallTestSupport;

namespace
{
using TargetFolder = InstallRecord::TargetFolder;

InstallRecord makeRecord (const juce::String& company = "Alpha", const juce::String& instrument = "Beta")
{
    InstallRecord record;
    record.company = company;
    record.instrument = instrument;
    record.installerVersion = "1.7.2";
    record.date = juce::Time (2025, 4, 3, 12, 30, 5, 0, false);
    record.addFile (TargetFolder::data, instrument + ".rom", 123456789012, 0x0a1b2c3d);
    record.addFile (TargetFolder::plugins, instrument + ".vst3/Contents/x86_64-win/" + instrument + ".vst3", 42, 0xffffffff);
    record.addFile (TargetFolder::plugins, instrument + ".vst3/desktop.ini", 0, 0);
    return record;
}

const char* const validText = "instrument-install-record 1\n"
                              "company\tAlpha\n"
                              "instrument\tBeta\n"
                              "installer\t1.7.2\n"
                              "date\t2025-05-03T12:30:05.000Z\n"
                              "file\tdata\tBeta.rom\t10\t0000abcd\n"
                              "folder\tplugins\tBeta.vst3\n"
                              "file\tplugins\tBeta.vst3/x.dll\t5\t12345678\n";
} // namespace

TEST (InstallRecord, TextReadsBackAsWritten)
{
    const auto record = makeRecord ("Lumen Harbor", "Glass Piano");
    const auto text = record.toText();

    // Folders are listed once, before what they hold, whatever number of files they hold.
    EXPECT_TRUE (text.contains ("folder\tplugins\tGlass Piano.vst3\tfound\n"
                                "folder\tplugins\tGlass Piano.vst3/Contents\tfound\n"
                                "folder\tplugins\tGlass Piano.vst3/Contents/x86_64-win\tfound\n"
                                "file\tplugins\tGlass Piano.vst3/Contents/x86_64-win/Glass Piano.vst3\t42\tffffffff\n"
                                "file\tplugins\tGlass Piano.vst3/desktop.ini\t0\t00000000\n")) << text;

    InstallRecord readBack;
    ASSERT_TRUE (InstallRecord::fromText (text, readBack).wasOk());
    EXPECT_EQ (readBack.company, "Lumen Harbor");
    EXPECT_EQ (readBack.instrument, "Glass Piano");
    EXPECT_EQ (readBack.installerVersion, "1.7.2");
    EXPECT_EQ (readBack.date, record.date);
    EXPECT_EQ (readBack.items, record.items);
    EXPECT_EQ (readBack.getTotalSize(), 123456789012 + 42);
    EXPECT_EQ (readBack.toText(), text);

    // Edited on Windows: line ends with a carriage return read the same.
    ASSERT_TRUE (InstallRecord::fromText (text.replace ("\n", "\r\n"), readBack).wasOk());
    EXPECT_EQ (readBack.items, record.items);
}

TEST (InstallRecord, DateIsWrittenInUtcWhereverTheMachineIsAndOlderOffsetsStillRead)
{
    const std::pair<juce::int64, const char*> dates[] = {
        { 0, "1970-01-01T00:00:00.000Z" },
        { -1, "1969-12-31T23:59:59.999Z" },
        { 951782400123, "2000-02-29T00:00:00.123Z" },
        { 1796919027412, "2026-12-10T16:10:27.412Z" },
        { 4107542399999, "2100-02-28T23:59:59.999Z" },
    };

    for (const auto& [ms, text] : dates)
    {
        EXPECT_EQ (InstallRecord::formatDate (juce::Time (ms)), text);
        EXPECT_EQ (juce::Time::fromISO8601 (text).toMilliseconds(), ms) << text;
    }

   #if ! JUCE_WINDOWS
    // A machine far from UTC: the record's line must not carry its offset.
    const juce::String previousZone (getenv ("TZ") != nullptr ? getenv ("TZ") : "");
    setenv ("TZ", "Asia/Kolkata", 1);
    tzset();
    const auto text = makeRecord().toText();
    previousZone.isEmpty() ? unsetenv ("TZ") : setenv ("TZ", previousZone.toRawUTF8(), 1);
    tzset();
    EXPECT_TRUE (text.contains ("\ndate\t2025-05-03T12:30:05.000Z\n")) << text;
   #endif

    // Records written before, in local time with the offset, read as the same moment.
    InstallRecord older;
    ASSERT_TRUE (InstallRecord::fromText (juce::String (validText).replace ("12:30:05.000Z", "18:00:05.000+05:30"), older).wasOk());
    EXPECT_EQ (older.date.toMilliseconds(), juce::Time::fromISO8601 ("2025-05-03T12:30:05.000Z").toMilliseconds());
}

TEST (InstallRecord, AnInstallationInAChosenFolderNamesItAndOthersKeepVersion2)
{
    InstallRecord record;
    record.company = "Alpha";
    record.instrument = "Beta";
    record.installerVersion = "1.7.2";
    record.date = juce::Time::fromISO8601 ("2025-05-03T12:30:05.000Z");
    record.addFile (InstallRecord::TargetFolder::data, "Beta.rom", 10, 0xabcd);
    EXPECT_TRUE (record.toText().startsWith (juce::String (InstallRecord::formatLine) + "\n"));

    const auto root = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("Samples drive");
    record.dataRoot = root;
    const auto text = record.toText();
    EXPECT_TRUE (text.startsWith (juce::String (InstallRecord::formatLineVersion3) + "\n"));
    EXPECT_TRUE (text.contains ("\ndata-root\t" + root.getFullPathName() + "\n")) << text;

    InstallRecord readBack;
    ASSERT_TRUE (InstallRecord::fromText (text, readBack).wasOk());
    EXPECT_EQ (readBack.dataRoot, root);
    EXPECT_EQ (readBack.toText(), text);

    const std::pair<juce::String, const char*> refused[] = {
        { text.replace ("data-root\t" + root.getFullPathName() + "\n", ""), "no \"data-root\"" },
        { text.replace (root.getFullPathName(), "Samples"), "the data root is not an absolute path" },
    };

    for (const auto& [damaged, reason] : refused)
    {
        const auto result = InstallRecord::fromText (damaged, readBack);
        EXPECT_TRUE (result.getErrorMessage().contains (reason)) << result.getErrorMessage();
    }
}

TEST (InstallRecord, AnythingElseIsRefusedWithItsReason)
{
    const juce::String valid (validText);
    const auto replaced = [&valid] (const char* from, const char* to) { return valid.replace (from, to); };

    const std::pair<juce::String, const char*> cases[] = {
        { "", "not a record" },
        { replaced ("record 1", "record 4"), "not a record of the format" },
        { valid + "data-root\t/Volumes/Samples\n", "unknown field \"data-root\"" },
        { replaced ("record 1", "record 2"), "line 7: a folder needs a place, a path and \"made\" or \"found\"" },
        { replaced ("record 1", "record 2").replace ("Beta.vst3\n", "Beta.vst3\tmaybe\n"), "a folder is \"made\" or \"found\", not \"maybe\"" },
        { valid + "folder\tplugins\tShared\tmade\n", "a folder needs a place and a path" },
        { valid.dropLastCharacters (1), "cut short" },
        { replaced ("company\tAlpha\n", ""), "no \"company\"" },
        { replaced ("date\t2025-05-03T12:30:05.000Z\n", ""), "no \"date\"" },
        { valid + "company\tGamma\n", "line 9: a second \"company\"" },
        { replaced ("company\tAlpha", "company\t.."), "line 2: the company is not a plain file name" },
        { replaced ("instrument\tBeta", "instrument\tA/B"), "the instrument is not a plain file name" },
        { replaced ("installer\t1.7.2", "installer\t"), "installer's version" },
        { replaced ("2025-05-03T12:30:05.000Z", "yesterday"), "not an ISO 8601 time" },
        { valid + "colour\tred\n", "unknown field \"colour\"" },
        { valid + "\n", "not a name and a value" },
        { replaced ("file\tdata\tBeta.rom", "file\telsewhere\tBeta.rom"), "unknown place \"elsewhere\"" },
        { replaced ("Beta.vst3/x.dll", "../x.dll"), "not a relative path of plain file names" },
        { replaced ("Beta.vst3/x.dll", "/x.dll"), "not a relative path" },
        { replaced ("Beta.vst3/x.dll", "Beta.vst3//x.dll"), "not a relative path" },
        { replaced ("Beta.vst3/x.dll", "Beta.vst3/NUL"), "not a relative path" },
        { valid + "folder\tplugins\tbeta.VST3\n", "a second entry for beta.VST3" },
        { valid + "file\tdata\tinstall-record.txt\t1\t00000000\n", "the record lists itself" },
        { valid + "folder\tdata\tBeta.rom/inside\n", "Beta.rom/inside lies inside the file Beta.rom" },
        { replaced ("\t10\t", "\t-10\t"), "not a size in bytes: -10" },
        { replaced ("\t10\t", "\t9999999999999999999\t"), "not a size in bytes" },
        { replaced ("0000abcd", "abcd"), "not a CRC-32 of 8 hex digits: abcd" },
        { replaced ("0000abcd", "0000abcg"), "not a CRC-32" },
        { replaced ("\t12345678\n", "\n"), "a file needs a place, a path, a size and a CRC-32" },
        { valid + "folder\tplugins\n", "a folder needs a place and a path" },
    };

    for (const auto& [text, reason] : cases)
    {
        InstallRecord record;
        const auto result = InstallRecord::fromText (text, record);
        EXPECT_TRUE (result.failed()) << text;
        EXPECT_TRUE (result.getErrorMessage().contains (reason)) << result.getErrorMessage() << "\nexpected: " << reason;
    }

    InstallRecord record;
    EXPECT_TRUE (InstallRecord::fromText (valid, record).wasOk());
}

TEST (InstallRecord, FoldersSayWhetherTheInstallationMadeThemAndOlderRecordsOnlyOfBundles)
{
    auto record = makeRecord();
    record.addFolders (TargetFolder::plugins, "Shared/Presets");
    record.markMadeFolders ([] (const juce::String& path) { return path == "Shared"; });

    InstallRecord readBack;
    ASSERT_TRUE (InstallRecord::fromText (record.toText(), readBack).wasOk());
    EXPECT_EQ (readBack.items, record.items);

    const auto madeOf = [] (const InstallRecord& r, const juce::String& path)
    {
        for (const auto& item : r.items)
            if (item.isFolder && item.path == path)
                return item.made;

        ADD_FAILURE() << "no folder " << path;
        return false;
    };

    EXPECT_TRUE (madeOf (readBack, "Beta.vst3/Contents"));      // in a bundle, there before or not
    EXPECT_FALSE (madeOf (readBack, "Shared"));
    EXPECT_TRUE (madeOf (readBack, "Shared/Presets"));

    InstallRecord older;
    ASSERT_TRUE (InstallRecord::fromText (juce::String (validText) + "folder\tplugins\tShared\n", older).wasOk());
    EXPECT_TRUE (madeOf (older, "Beta.vst3"));
    EXPECT_FALSE (madeOf (older, "Shared"));
}

TEST (InstallRecord, FileThatIsNoPlainTextRecordIsRefused)
{
    Sandbox sandbox;
    const auto file = sandbox.folder.getChildFile (InstallRecord::fileName);
    const auto folder = CheckedFolder::openRoot (sandbox.folder);
    InstallRecord record;

    ASSERT_TRUE (file.replaceWithText (validText));
    EXPECT_TRUE (InstallRecord::read (folder, record).wasOk());

    const auto refused = [&] (const char* reason)
    {
        const auto result = InstallRecord::read (folder, record);
        return result.failed() && result.getErrorMessage().startsWith ("Cannot read the install record " + file.getFullPathName())
            && result.getErrorMessage().contains (reason);
    };

    juce::MemoryBlock withNul (validText, std::strlen (validText));
    withNul[20] = 0;
    ASSERT_TRUE (file.replaceWithData (withNul.getData(), withNul.getSize()));
    EXPECT_TRUE (refused ("not UTF-8 text"));

    ASSERT_TRUE (file.replaceWithData ("\xff\xfe", 2));
    EXPECT_TRUE (refused ("not UTF-8 text"));

    juce::FileOutputStream (file).writeRepeatedByte ('a', (size_t) InstallRecord::maxFileSize + 1);
    EXPECT_TRUE (refused ("larger than"));

    ASSERT_TRUE (file.deleteFile());
    const auto elsewhere = sandbox.folder.getChildFile ("elsewhere.txt");
    ASSERT_TRUE (elsewhere.replaceWithText (validText));
    ASSERT_TRUE (elsewhere.createSymbolicLink (file, true));
    EXPECT_TRUE (refused ("Refusing the link"));

   #if ! JUCE_WINDOWS
    // A record that other users can change is not ours, whatever it says.
    ASSERT_TRUE (file.deleteFile() && file.replaceWithText (validText));
    ASSERT_EQ (chmod (file.getFullPathName().toRawUTF8(), 0666), 0);
    EXPECT_TRUE (refused ("is a file that another user made or can change"));

    ASSERT_TRUE (file.deleteFile());
    ASSERT_EQ (mkfifo (file.getFullPathName().toRawUTF8(), 0644), 0);
    EXPECT_TRUE (refused ("is not a file"));
   #endif
}

TEST (InstalledInstruments, FindsEveryRecordAndOnlyRecordsInTheirOwnFolders)
{
    Sandbox sandbox;
    const auto& f = sandbox.folders();
    const auto writeRecord = [&f] (const InstallRecord& record, const juce::String& folder)
    {
        const auto file = f.dataRoot.getChildFile (folder).getChildFile (InstallRecord::fileName);
        file.getParentDirectory().createDirectory();
        file.replaceWithText (record.toText());
    };

    writeRecord (makeRecord ("Alpha", "Beta"), "Alpha/Beta");
    writeRecord (makeRecord ("Alpha", "Gamma"), "Alpha/Gamma");
    writeRecord (makeRecord ("Delta", "Epsilon"), "Delta/Epsilon");
    writeRecord (makeRecord ("Alpha", "Beta"), "Zeta/Eta");                               // copied elsewhere
    f.dataRoot.getChildFile ("Alpha/Broken").createDirectory();
    f.dataRoot.getChildFile ("Alpha/Broken/" + juce::String (InstallRecord::fileName)).replaceWithText ("nonsense\n");
    f.dataRoot.getChildFile ("Other/Program/settings.ini").create();                      // someone else's
    f.dataRoot.getChildFile ("Linked").createDirectory();
    f.dataRoot.getChildFile ("Alpha/Gamma").createSymbolicLink (f.dataRoot.getChildFile ("Linked/Gamma"), true);

    // Folders that other users can change, as a folder another user made: what is in them is not ours.
    writeRecord (makeRecord ("Open", "Company"), "Open/Company");
    writeRecord (makeRecord ("Alpha", "Open"), "Alpha/Open");
    ASSERT_EQ (chmod (f.dataRoot.getChildFile ("Open").getFullPathName().toRawUTF8(), 0777), 0);
    ASSERT_EQ (chmod (f.dataRoot.getChildFile ("Alpha/Open").getFullPathName().toRawUTF8(), 0777), 0);

    juce::StringArray problems;
    const auto found = InstalledInstruments (f).findAll (problems);

    juce::StringArray names;
    for (const auto& installation : found)
        names.add (installation.record.company + "/" + installation.record.instrument);

    EXPECT_EQ (names, (juce::StringArray { "Alpha/Beta", "Alpha/Gamma", "Delta/Epsilon" }));
    EXPECT_EQ (found[0].dataFolder, f.dataRoot.getChildFile ("Alpha/Beta"));
    EXPECT_EQ (found[0].pluginFolder, f.vst3Root.getChildFile ("Alpha"));
    ASSERT_EQ (problems.size(), 4) << text (problems);
    EXPECT_TRUE (problems[0].contains ("Alpha/Broken") && problems[0].contains ("not a record")) << problems[0];
    EXPECT_TRUE (problems[1].endsWith ("Alpha/Open is a folder that another user made or can change")) << problems[1];
    EXPECT_TRUE (problems[2].endsWith ("/Open is a folder that another user made or can change")) << problems[2];
    EXPECT_TRUE (problems[3].contains ("belongs to Beta by Alpha, not to the folder it is in")) << problems[3];

    InstalledInstruments::Installation installation;
    juce::String problem;
    const InstalledInstruments installed (f);
    EXPECT_EQ (installed.find ("Alpha", "Gamma", installation, problem), InstallerModel::noError);
    EXPECT_EQ (installation.record.instrument, "Gamma");
    EXPECT_EQ (installed.find ("Alpha", "Missing", installation, problem), InstallerModel::notInstalled);
    EXPECT_EQ (installed.find ("Other", "Program", installation, problem), InstallerModel::notInstalled);
    EXPECT_EQ (installed.find ("Alpha", "../Alpha/Beta", installation, problem), InstallerModel::notInstalled);
    EXPECT_EQ (installed.find ("Zeta", "Eta", installation, problem), InstallerModel::invalidData);
    EXPECT_EQ (installed.find ("Alpha", "Broken", installation, problem), InstallerModel::invalidData);
    EXPECT_EQ (installed.find ("Open", "Company", installation, problem), InstallerModel::invalidData);
}
