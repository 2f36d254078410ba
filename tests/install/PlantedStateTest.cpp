// Records and journals far larger than the engine writes, planted where a start looks for them: each is
// taken for a damaged one, as today, without being read, so that planting them makes a start no slower.

#include "InstallTestSupport.h"

#include "install/installed/InstallRecord.h"
#include "install/installed/InstalledInstruments.h"
#include "install/transaction/InstallJournal.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace InstallTestSupport;

namespace
{
/** The bytes this process has read through the system so far (Linux's own count, whatever the file). */
juce::int64 bytesReadSoFar()
{
    std::ifstream io ("/proc/self/io");
    std::string field;
    juce::int64 value = 0;

    while (io >> field >> value)
        if (field == "rchar:")
            return value;

    return -1;
}

/** A sparse file of `size` bytes: large to read, nothing on the disk. */
bool plantSparse (const juce::File& file, juce::int64 size)
{
    return file.getParentDirectory().createDirectory() && file.create()
        && truncate (file.getFullPathName().toRawUTF8(), (off_t) size) == 0;
}
} // namespace

TEST (PlantedState, LargeRecordsAndJournalsAreDamagedWithoutBeingRead)
{
    constexpr int numRecords = 20, numJournals = 3;
    constexpr juce::int64 plantedSize = 16 << 20;

    Sandbox sandbox;
    const auto dataRoot = sandbox.folders().dataRoot;
    const auto journals = sandbox.folders().state;

    for (int i = 0; i < numRecords; ++i)
        ASSERT_TRUE (plantSparse (dataRoot.getChildFile ("Company " + juce::String (i)).getChildFile ("Instrument")
                                      .getChildFile (InstallRecord::fileName), plantedSize));

    ASSERT_TRUE (journals.createDirectory());
    ASSERT_EQ (chmod (journals.getFullPathName().toRawUTF8(), 0700), 0);

    for (int i = 0; i < numJournals; ++i)
        ASSERT_TRUE (plantSparse (journals.getChildFile (InstallJournal::namePrefix + juce::String::repeatedString (juce::String (i), 32)),
                                  plantedSize));

    const auto readBefore = bytesReadSoFar();
    ASSERT_GE (readBefore, 0);

    InstallerLog log;
    auto model = sandbox.makeModel (log);
    model->start (log);
    juce::StringArray problems;
    const auto found = InstalledInstruments (model->getFolders()).findAll (problems);

    // At most the bound and one byte more from each, and less in all than one planted file.
    const auto bytesRead = bytesReadSoFar() - readBefore;
    EXPECT_LE (bytesRead, numRecords * (InstallRecord::maxFileSize + 1) + numJournals * (juce::int64) (InstallJournal::maxSize + 1));
    EXPECT_LT (bytesRead, plantedSize);

    EXPECT_TRUE (found.empty());
    ASSERT_EQ (problems.size(), numRecords) << text (problems);

    for (const auto& problem : problems)
        EXPECT_TRUE (problem.startsWith ("Cannot read the install record ") && problem.endsWith (": larger than " + juce::File::descriptionOfSizeInBytes (InstallRecord::maxFileSize))) << problem;

    int journalLines = 0;

    for (const auto& message : messagesOf (log))
        if (message.startsWith ("Cannot read the interrupted installation's journal: ") && message.endsWith (": larger than " + juce::File::descriptionOfSizeInBytes ((juce::int64) InstallJournal::maxSize)))
            ++journalLines;

    EXPECT_EQ (journalLines, numJournals) << text (messagesOf (log));
    EXPECT_EQ (journals.findChildFiles (juce::File::findFiles, false, juce::String (InstallJournal::namePrefix) + "*").size(), numJournals);
}

TEST (PlantedState, AJournalNeverGrowsPastItsBound)
{
    Sandbox sandbox;
    const auto folder = CheckedFolder::openRoot (sandbox.folders().dataRoot);
    auto result = juce::Result::ok();
    auto journal = InstallJournal::create (folder, result);
    ASSERT_NE (journal, nullptr) << result.getErrorMessage();

    InstallJournal::Record record;
    record.text = juce::String::repeatedString ("x", 1000);
    int appended = 0;

    while ((result = journal->append (record)).wasOk())
        ++appended;

    // The run leaves room for its rollback's records within what a start reads.
    EXPECT_TRUE (result.getErrorMessage().endsWith (": it would be larger than " + juce::File::descriptionOfSizeInBytes ((juce::int64) InstallJournal::maxRunSize))) << result.getErrorMessage();
    EXPECT_GT (appended, 0);
    EXPECT_LE (journal->getFile().getSize(), (juce::int64) InstallJournal::maxRunSize);
    EXPECT_GT (journal->getFile().getSize() + 1100, (juce::int64) InstallJournal::maxRunSize);
}
