#include "install/installed/InstallRecord.h"

#include "fs/CheckedFolder.h"
#include "fs/ReadOnlyFile.h"
#include "install/SafeFileName.h"

#include <cstring>

namespace
{
const char* placeName (InstallRecord::TargetFolder place)
{
    return place == InstallRecord::TargetFolder::data ? "data" : "plugins";
}

/** How two paths are told apart: without case, as Windows compares names. */
juce::String keyOf (InstallRecord::TargetFolder place, const juce::String& path)
{
    return juce::String (placeName (place)) + "/" + path.toLowerCase();
}

/** The folder that holds `path`, or nothing at the top. */
juce::String parentOf (const juce::String& path)
{
    return path.containsChar ('/') ? path.upToLastOccurrenceOf ("/", false, false) : juce::String();
}

bool isSafePath (const juce::String& path)
{
    if (path.isEmpty() || path.startsWithChar ('/') || path.endsWithChar ('/') || path.contains ("//"))
        return false;

    for (const auto& part : juce::StringArray::fromTokens (path, "/", {}))
        if (! SafeFileName::isSafe (part))
            return false;

    return true;
}

bool isPlainText (const juce::String& text, int maxLength)
{
    if (text.isEmpty() || text.length() > maxLength)
        return false;

    for (auto p = text.getCharPointer(); ! p.isEmpty(); ++p)
        if (*p < 0x20 || *p == 0x7f)
            return false;

    return true;
}
} // namespace

bool InstallRecord::Item::operator== (const Item& other) const
{
    return place == other.place && path == other.path && isFolder == other.isFolder && made == other.made && size == other.size
        && crc == other.crc;
}

//==============================================================================
juce::String InstallRecord::formatDate (juce::Time time)
{
    // The framework writes local time with its offset; the civil date in UTC is worked out from the day
    // count instead, so that the record reads the same wherever and whenever it was written.
    const auto ms = time.toMilliseconds();
    const auto msOfDay = ((ms % 86400000) + 86400000) % 86400000;
    const auto z = (ms - msOfDay) / 86400000 + 719468;
    const auto era = (z >= 0 ? z : z - 146096) / 146097;
    const auto dayOfEra = z - era * 146097;
    const auto yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const auto dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const auto mp = (5 * dayOfYear + 2) / 153;
    const auto day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const auto month = mp < 10 ? mp + 3 : mp - 9;
    const auto year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);

    const auto two = [] (juce::int64 n) { return juce::String (n).paddedLeft ('0', 2); };
    return juce::String (year).paddedLeft ('0', 4) + "-" + two (month) + "-" + two (day) + "T" + two (msOfDay / 3600000) + ":"
         + two (msOfDay / 60000 % 60) + ":" + two (msOfDay / 1000 % 60) + "." + juce::String (msOfDay % 1000).paddedLeft ('0', 3) + "Z";
}

juce::String InstallRecord::toText() const
{
    juce::String text;
    text << (dataRoot == juce::File() ? formatLine : formatLineVersion3) << "\n"
         << "company\t" << company << "\n"
         << "instrument\t" << instrument << "\n"
         << "installer\t" << installerVersion << "\n"
         << "date\t" << formatDate (date) << "\n";

    if (dataRoot != juce::File())
        text << "data-root\t" << dataRoot.getFullPathName() << "\n";

    for (const auto& item : items)
    {
        if (item.isFolder)
            text << "folder\t" << placeName (item.place) << "\t" << item.path << "\t" << (item.made ? "made" : "found") << "\n";
        else
            text << "file\t" << placeName (item.place) << "\t" << item.path << "\t" << juce::String (item.size) << "\t"
                 << juce::String::toHexString ((juce::int64) item.crc).paddedLeft ('0', 8) << "\n";
    }

    return text;
}

juce::int64 InstallRecord::getTotalSize() const
{
    juce::int64 total = 0;

    for (const auto& item : items)
        total += item.isFolder ? 0 : item.size;

    return total;
}

bool InstallRecord::isBundle (const juce::String& name)
{
    return name.endsWithIgnoreCase (".vst3");
}

bool InstallRecord::isInBundle (const juce::String& path)
{
    return isBundle (path.upToFirstOccurrenceOf ("/", false, false));
}

void InstallRecord::markMadeFolders (const std::function<bool (const juce::String& path)>& wasThere)
{
    for (auto& item : items)
        if (item.isFolder && item.place == TargetFolder::plugins)
            item.made = isInBundle (item.path) || ! wasThere (item.path);
}

void InstallRecord::addFolders (TargetFolder place, const juce::String& path)
{
    juce::String folder;

    for (const auto& part : juce::StringArray::fromTokens (path, "/", {}))
    {
        folder = folder.isEmpty() ? part : folder + "/" + part;

        if (listedFolders.insert (keyOf (place, folder)).second)
            items.push_back ({ place, folder, true, false, 0, 0 });
    }
}

void InstallRecord::addFile (TargetFolder place, const juce::String& path, juce::int64 size, juce::uint32 crc)
{
    addFolders (place, parentOf (path));

    items.push_back ({ place, path, false, false, size, crc });
}

//==============================================================================
/** Reads a record's text line by line: the format line, the four fields, then the items. */
class InstallRecord::Parser
{
public:
    explicit Parser (InstallRecord& recordToFill) : record (recordToFill) {}

    juce::Result parse (const juce::String& text)
    {
        juce::StringArray lines;
        lines.addTokens (text, "\n", {});

        const auto first = lines[0].trimCharactersAtEnd ("\r");
        version1 = first == formatLineVersion1;
        version3 = first == formatLineVersion3;

        if (first != formatLine && ! version1 && ! version3)
            return juce::Result::fail ("not a record of the format \"" + juce::String (formatLine) + "\"");

        // Every line ends with a line feed: the last token is the nothing after the last one.
        if (! text.endsWithChar ('\n'))
            return juce::Result::fail ("the record is cut short");

        lines.remove (lines.size() - 1);

        for (int i = 1; i < lines.size(); ++i)
        {
            const auto fields = juce::StringArray::fromTokens (lines[i].trimCharactersAtEnd ("\r"), "\t", {});
            const auto result = fields[0] == "file" || fields[0] == "folder" ? readItem (fields) : readField (fields);

            if (result.failed())
                return juce::Result::fail ("line " + juce::String (i + 1) + ": " + result.getErrorMessage());
        }

        return checkComplete();
    }

private:
    juce::Result readField (const juce::StringArray& fields)
    {
        if (fields.size() != 2)
            return juce::Result::fail ("not a name and a value");

        const auto& name = fields[0];
        const auto& value = fields[1];

        if (! seenFields.insert (name).second)
            return juce::Result::fail ("a second \"" + name + "\"");

        if (name == "company" || name == "instrument")
        {
            if (! SafeFileName::isSafe (value))
                return juce::Result::fail ("the " + name + " is not a plain file name");

            (name == "company" ? record.company : record.instrument) = value;
        }
        else if (name == "installer")
        {
            if (! isPlainText (value, 64))
                return juce::Result::fail ("the installer's version is not a short line of text");

            record.installerVersion = value;
        }
        else if (name == "data-root" && version3)
        {
            if (! isPlainText (value, 4096) || ! juce::File::isAbsolutePath (value))
                return juce::Result::fail ("the data root is not an absolute path");

            record.dataRoot = juce::File (value);
        }
        else if (name == "date")
        {
            record.date = juce::Time::fromISO8601 (value);

            if (record.date.toMilliseconds() == 0)
                return juce::Result::fail ("the date is not an ISO 8601 time");
        }
        else
        {
            return juce::Result::fail ("unknown field \"" + name + "\"");
        }

        return juce::Result::ok();
    }

    juce::Result readItem (const juce::StringArray& fields)
    {
        Item item;
        item.isFolder = fields[0] == "folder";

        const auto folderFields = version1 ? 3 : 4;

        if (fields.size() != (item.isFolder ? folderFields : 5))
            return juce::Result::fail ("a " + fields[0] + " needs " + (! item.isFolder ? "a place, a path, a size and a CRC-32"
                                                                       : version1     ? "a place and a path"
                                                                                      : "a place, a path and \"made\" or \"found\""));

        if (item.isFolder && ! version1 && fields[3] != "made" && fields[3] != "found")
            return juce::Result::fail ("a folder is \"made\" or \"found\", not \"" + fields[3] + "\"");

        if (fields[1] != placeName (TargetFolder::data) && fields[1] != placeName (TargetFolder::plugins))
            return juce::Result::fail ("unknown place \"" + fields[1] + "\"");

        item.place = fields[1] == placeName (TargetFolder::data) ? TargetFolder::data : TargetFolder::plugins;
        item.path = fields[2];

        if (! isSafePath (item.path))
            return juce::Result::fail ("not a relative path of plain file names");

        if (! seenPaths.insert (keyOf (item.place, item.path)).second)
            return juce::Result::fail ("a second entry for " + item.path);

        if (item.place == TargetFolder::data && item.path.equalsIgnoreCase (fileName))
            return juce::Result::fail ("the record lists itself");

        if (! item.isFolder)
        {
            // At most 18 digits, which an int64 always holds.
            if (fields[3].isEmpty() || fields[3].length() > 18 || ! fields[3].containsOnly ("0123456789"))
                return juce::Result::fail ("not a size in bytes: " + fields[3]);

            if (fields[4].length() != 8 || ! fields[4].containsOnly ("0123456789abcdefABCDEF"))
                return juce::Result::fail ("not a CRC-32 of 8 hex digits: " + fields[4]);

            item.size = fields[3].getLargeIntValue();
            item.crc = (juce::uint32) fields[4].getHexValue64();
            filePaths.insert (keyOf (item.place, item.path));
        }

        if (item.isFolder)
        {
            // Before version 2 only a bundle's folders are known to be the installation's own.
            item.made = version1 ? item.place == TargetFolder::plugins && isInBundle (item.path) : fields[3] == "made";
            record.listedFolders.insert (keyOf (item.place, item.path));
        }

        record.items.push_back (item);
        return juce::Result::ok();
    }

    juce::Result checkComplete() const
    {
        for (const auto* name : { "company", "instrument", "installer", "date" })
            if (seenFields.count (name) == 0)
                return juce::Result::fail ("no \"" + juce::String (name) + "\"");

        if (version3 && seenFields.count ("data-root") == 0)
            return juce::Result::fail ("no \"data-root\"");

        // A file cannot hold another item.
        for (const auto& item : record.items)
            for (auto parent = parentOf (item.path); parent.isNotEmpty(); parent = parentOf (parent))
                if (filePaths.count (keyOf (item.place, parent)) != 0)
                    return juce::Result::fail (item.path + " lies inside the file " + parent);

        return juce::Result::ok();
    }

    InstallRecord& record;
    std::set<juce::String> seenFields, seenPaths, filePaths;
    bool version1 = false, version3 = false;
};

juce::Result InstallRecord::fromText (const juce::String& text, InstallRecord& record)
{
    record = {};
    return Parser (record).parse (text);
}

juce::Result InstallRecord::read (const CheckedFolder& folder, InstallRecord& record)
{
    const auto file = folder.getFile().getChildFile (fileName);
    const auto why = [&file] (const juce::String& problem)
    {
        return juce::Result::fail ("Cannot read the install record " + file.getFullPathName() + ": " + problem);
    };

    // The size comes from the open file, and no more than one byte past the bound is read: a planted file
    // of any size costs a start nothing.
    auto opened = juce::Result::ok();
    const auto in = folder.openTrustedFile (fileName, opened);

    if (in == nullptr)
        return why (opened.getErrorMessage());

    if (in->getSize() > maxFileSize)
        return why ("larger than " + juce::File::descriptionOfSizeInBytes (maxFileSize));

    juce::MemoryBlock data ((size_t) in->getSize() + 1);
    data.setSize ((size_t) in->read (data.getData(), (int) data.getSize(), 0));

    if ((juce::int64) data.getSize() != in->getSize())
        return why ("it changed while it was read");

    if (data.isEmpty() || std::memchr (data.getData(), 0, data.getSize()) != nullptr
         || ! juce::CharPointer_UTF8::isValidString (static_cast<const char*> (data.getData()), (int) data.getSize()))
        return why ("not UTF-8 text");

    const auto parsed = fromText (juce::String::fromUTF8 (static_cast<const char*> (data.getData()), (int) data.getSize()), record);
    return parsed.wasOk() ? parsed : why (parsed.getErrorMessage());
}
