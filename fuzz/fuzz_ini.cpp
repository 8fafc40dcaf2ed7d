// Loads arbitrary bytes as a language or settings file, reads every section, writes into it, saves it and
// reads the saved bytes back: nothing may crash, and saving must be stable.
#include "localisation/Ini32SaveLoad.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    using namespace orb;
    TIni32SaveLoad ini("");
    ini.LoadFromBytes(std::string_view(reinterpret_cast<const char*>(Data), Size));

    TStrings sections;
    ini.ReadSections(&sections);
    for (const auto& section : sections)
    {
        TStrings names;
        TStrings values;
        ini.ReadSectionNames(section, &names);
        ini.ReadSectionValues(section, &values);
        if (names.size() != values.size())
            std::abort();
        for (const auto& name : names)
            (void)ini.ReadString(section, name, "");
    }
    (void)ini.SectionCount();

    if (!sections.empty())
    {
        ini.WriteString(sections.front(), "FuzzKey", "value");
        if (ini.ReadString(sections.front(), "FuzzKey", "") != "value" && ini.SectionExists(sections.front()))
            std::abort();
        ini.DeleteKey(sections.back(), "FuzzKey");
        if (ini.SectionExists(sections.back()))
            ini.RenameSection(sections.back(), "Renamed");
    }
    ini.WriteString("Messages", "OK", "OK");

    std::string saved = ini.SaveToBytes();
    TIni32SaveLoad again("");
    again.LoadFromBytes(saved);
    // A saved buffer is already clean: saving it again gives the same bytes.
    if (again.SaveToBytes() != saved)
        std::abort();
    return 0;
}
