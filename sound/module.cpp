#include "sound/module.h"

#include "sound/byte_reader.h"

const char* describe(LoadResult result)
{
    switch (result) {
    case LoadResult::Loaded:
        return "loaded";
    case LoadResult::HeaderCutShort:
        return "the file ends inside its header";
    case LoadResult::UnknownFormat:
        return "not a module in a known format";
    case LoadResult::BadSongLength:
        return "the song's order list is empty or too long";
    case LoadResult::BadHeader:
        return "a value in the header is out of range";
    case LoadResult::PatternsCutShort:
        return "the file ends inside its patterns";
    case LoadResult::BadPattern:
        return "a pattern's data is damaged";
    case LoadResult::InstrumentsCutShort:
        return "an instrument or sample header lies outside the file";
    case LoadResult::SamplesCutShort:
        return "the file ends inside its sample data";
    case LoadResult::BadSample:
        return "a compressed sample's data is damaged";
    case LoadResult::TooLarge:
        return "the module claims more memory than a module may take";
    }
    return "unknown result";
}

LoadResult loadModule(const std::uint8_t* data, std::size_t size, Module& module)
{
    // Each of the PC trackers' formats carries a signature at a fixed place; a file
    // with none of them may still be a ProTracker module, whose loader decides.
    const ByteReader file(data, size);
    if (file.matches(0, "IMPM")) {
        return loadIt(data, size, module);
    }
    if (file.matches(0, "Extended Module: ")) {
        return loadXm(data, size, module);
    }
    if (file.matches(0x2C, "SCRM")) {
        return loadS3m(data, size, module);
    }
    return loadMod(data, size, module);
}
