#include "install/transaction/InstallJournal.h"

#include "fs/CheckedFile.h"
#include "fs/ClaimedFile.h"
#include "install/TemporaryNames.h"

#include "monolith/Crc32.h"

#include <cstring>

namespace
{
// A file created between another start's listing and its claim may be taken for an abandoned one and
// removed before it is held; a new name avoids that.
constexpr int maxCreateTries = 3;

const char* const rootNames[] = { "data", "vst3", "staging", "default-data", "old-data" };
const char* const kindNames[] = { "begin", "folder", "temporary", "move", "commit", "link", "undone" };

template <typename Enum, size_t size>
bool fromName (const juce::String& name, const char* const (&names)[size], Enum& value)
{
    for (size_t i = 0; i < size; ++i)
    {
        if (name == names[i])
        {
            value = (Enum) i;
            return true;
        }
    }

    return false;
}

juce::uint32 checksumOf (const juce::String& text)
{
    return Crc32::of (text.toRawUTF8(), text.getNumBytesAsUTF8());
}

juce::var toVar (const InstallJournal::FolderPath& place)
{
    auto* object = new juce::DynamicObject();
    object->setProperty ("root", rootNames[(int) place.root]);
    object->setProperty ("path", juce::var (place.path));
    return object;
}

juce::var toVar (const InstallJournal::Item& item)
{
    auto object = toVar (item.folder);
    object.getDynamicObject()->setProperty ("name", item.name);
    return object;
}

bool fromVar (const juce::var& value, InstallJournal::FolderPath& place)
{
    const auto* path = value["path"].getArray();

    if (path == nullptr || ! fromName (value["root"].toString(), rootNames, place.root))
        return false;

    place.path.clear();

    for (const auto& name : *path)
    {
        if (! name.isString())
            return false;

        place.path.add (name.toString());
    }

    return true;
}

bool fromVar (const juce::var& value, InstallJournal::Item& item)
{
    if (value.isVoid())
        return true;

    item.name = value["name"].toString();
    return fromVar (value, item.folder) && item.name.isNotEmpty();
}
} // namespace

//==============================================================================
InstallJournal::FolderPath InstallJournal::FolderPath::child (const juce::String& name) const
{
    auto inside = *this;
    inside.path.add (name);
    return inside;
}

juce::String InstallJournal::FolderPath::key() const
{
    // No plain name holds a slash.
    return juce::String (rootNames[(int) root]) + ":" + path.joinIntoString ("/");
}

//==============================================================================
InstallJournal::InstallJournal (const CheckedFolder& journalFolder, const juce::String& journalName)
    : folder (journalFolder), name (journalName)
{
}

InstallJournal::~InstallJournal() = default;

std::unique_ptr<InstallJournal> InstallJournal::create (const CheckedFolder& folder, juce::Result& result)
{
    for (int i = 0; i < maxCreateTries; ++i)
    {
        auto file = folder.createFile (namePrefix, result);

        if (file == nullptr)
            return {};

        result = file->hold();

        if (result.wasOk())
            result = folder.flush();

        if (result.wasOk())
        {
            std::unique_ptr<InstallJournal> journal (new InstallJournal (folder, file->getName()));
            journal->writer = std::move (file);
            return journal;
        }
    }

    return {};
}

std::unique_ptr<InstallJournal> InstallJournal::claim (const CheckedFolder& folder, const juce::String& name,
                                                       juce::Result& result, bool& inUse)
{
    auto file = folder.claimFile (name, result, inUse);

    if (file == nullptr)
        return {};

    // A journal that someone else wrote, or could have changed, is not the engine's to carry out.
    result = file->checkOwner();

    if (result.failed())
        return {};

    juce::MemoryBlock content;
    result = file->read (content, maxSize);

    if (result.failed())
        return {};

    std::unique_ptr<InstallJournal> journal (new InstallJournal (folder, name));
    journal->claimed = std::move (file);
    const auto* bytes = static_cast<const char*> (content.getData());
    const auto size = (juce::int64) content.getSize();

    for (juce::int64 start = 0; start < size;)
    {
        const auto* lineEnd = static_cast<const char*> (std::memchr (bytes + start, '\n', (size_t) (size - start)));
        const auto end = lineEnd != nullptr ? (juce::int64) (lineEnd - bytes) : size;
        Record record;

        if (! decode (juce::String::fromUTF8 (bytes + start, (int) (end - start)), record))
            break;

        journal->claimedRecords.push_back (record);
        journal->claimedEndsLine = lineEnd != nullptr;
        journal->claimedEnd = start = lineEnd != nullptr ? end + 1 : end;
    }

    return journal;
}

bool InstallJournal::isJournalName (const juce::String& name)
{
    return TemporaryNames::isCreatedWith (name, namePrefix);
}

juce::File InstallJournal::getFile() const
{
    return juce::File (folder.getFile().getFullPathName() + juce::File::getSeparatorString() + name);
}

juce::Result InstallJournal::append (const Record& record)
{
    const auto line = encode (record) + "\n";
    const auto bound = claimed != nullptr ? maxSize : maxRunSize;
    const auto tooLarge = [bound] (juce::int64 end, const juce::String& added)
    {
        return (size_t) end + added.getNumBytesAsUTF8() > bound;
    };
    const auto refusal = juce::Result::fail ("Cannot write " + getFile().getFullPathName() + ": it would be larger than "
                                             + juce::File::descriptionOfSizeInBytes ((juce::int64) bound));

    if (claimed != nullptr)
    {
        // What follows the last whole record is what a power cut left of the next: it goes.
        const auto added = (claimedEndsLine ? juce::String() : juce::String ("\n")) + line;

        if (tooLarge (claimedEnd, added))
            return refusal;

        const auto result = claimed->writeAt (claimedEnd, added.toRawUTF8(), added.getNumBytesAsUTF8());

        if (result.wasOk())
        {
            claimedEnd += (juce::int64) added.getNumBytesAsUTF8();
            claimedEndsLine = true;
        }

        return result;
    }

    if (writer == nullptr)
        return juce::Result::fail ("Cannot write " + getFile().getFullPathName() + ": it is not this run's");

    if (tooLarge (writer->getPosition(), line))
        return refusal;

    if (! writer->write (line.toRawUTF8(), line.getNumBytesAsUTF8()))
        return writer->getStatus();

    writer->flush();
    return writer->getStatus();
}

juce::Result InstallJournal::remove()
{
    if (claimed != nullptr)
        return claimed->remove();

    // Windows removes no file that is still open.
    const auto closed = writer != nullptr ? writer->close() : juce::Result::ok();
    writer.reset();
    const auto removed = folder.remove (name);
    return closed.failed() ? closed : removed;
}

//==============================================================================
juce::String InstallJournal::encode (const Record& record)
{
    auto* object = new juce::DynamicObject();
    const juce::var value (object);
    object->setProperty ("record", kindNames[(int) record.kind]);

    switch (record.kind)
    {
        case Record::Kind::begin:
            object->setProperty ("version", record.version);
            object->setProperty ("text", record.text);
            object->setProperty ("company", record.company);
            object->setProperty ("instrument", record.instrument);

            if (record.dataRoot.isNotEmpty())
                object->setProperty ("data-root", record.dataRoot);

            if (record.oldDataRoot.isNotEmpty())
                object->setProperty ("old-data-root", record.oldDataRoot);

            break;
        case Record::Kind::folder:
            object->setProperty ("place", toVar (record.place));
            object->setProperty ("existing", record.existing);
            break;
        case Record::Kind::temporary:
            object->setProperty ("place", toVar (record.place));
            object->setProperty ("text", record.text);
            break;
        case Record::Kind::move:
            object->setProperty ("to", toVar (record.to));

            if (! record.from.isEmpty())
                object->setProperty ("from", toVar (record.from));

            if (! record.aside.isEmpty())
                object->setProperty ("aside", toVar (record.aside));

            break;
        case Record::Kind::commit:
            break;
        case Record::Kind::link:
            object->setProperty ("to", toVar (record.to));
            object->setProperty ("text", record.text);
            break;
        case Record::Kind::undone:
            object->setProperty ("of", record.undoneRecord);
            break;
    }

    const auto json = juce::JSON::toString (value, true);
    return juce::String::toHexString ((int) checksumOf (json)).paddedLeft ('0', 8) + " " + json;
}

bool InstallJournal::decode (const juce::String& line, Record& record)
{
    const auto json = line.fromFirstOccurrenceOf (" ", false, false);
    const auto checksum = line.upToFirstOccurrenceOf (" ", false, false);

    if (checksum.length() != 8 || (juce::uint32) checksum.getHexValue32() != checksumOf (json))
        return false;

    const auto value = juce::JSON::parse (json);

    if (! fromName (value["record"].toString(), kindNames, record.kind))
        return false;

    record.text = value["text"].toString();
    record.company = value["company"].toString();
    record.instrument = value["instrument"].toString();
    record.dataRoot = value["data-root"].toString();
    record.oldDataRoot = value["old-data-root"].toString();
    record.version = value["version"];
    record.existing = value["existing"];
    record.undoneRecord = value["of"];

    switch (record.kind)
    {
        case Record::Kind::begin:       return value["version"].isInt() && record.version > 0;
        case Record::Kind::folder:      return fromVar (value["place"], record.place) && record.existing >= 0;
        case Record::Kind::temporary:   return fromVar (value["place"], record.place) && record.text.isNotEmpty();
        case Record::Kind::move:        return fromVar (value["to"], record.to) && ! record.to.isEmpty()
                                                && fromVar (value["from"], record.from) && fromVar (value["aside"], record.aside);
        case Record::Kind::commit:      return true;
        case Record::Kind::link:        return fromVar (value["to"], record.to) && ! record.to.isEmpty() && record.text.isNotEmpty();
        case Record::Kind::undone:      return value["of"].isInt() && record.undoneRecord >= 0;
    }

    return false;
}
