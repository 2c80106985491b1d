#pragma once
// The program's settings stores. A registry is one dictionary addressed by
// key paths such as "ViewConfig\UnitSystem": each part names an entry of the
// dictionary named by the part before (letter case does not matter). It is
// read from and written to a stored object through the storage manager; its
// file is simply the text notation of the dictionary, so the ".ini" files of
// the program are no INI files.
#include <cstdint>
#include <string_view>
#include <vector>

#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"

namespace vo {

class TProgramRegistry {
public:
    static const char* ClassName() noexcept { return "TProgramRegistry"; }

    TProgramRegistry();
    ~TProgramRegistry();
    TProgramRegistry(const TProgramRegistry&) = delete;
    TProgramRegistry& operator=(const TProgramRegistry&) = delete;

    // A missing folder part raises "TProgramRegistry: key %s not found" (the
    // whole path); a missing last part the dictionary's "no object named"
    // error; a value of another kind the invalid-cast error.
    // The integer at Path, cut to its lower 32 bits.
    int32_t GetIntKey(std::string_view Path);
    MyAnsiString GetStrKey(std::string_view Path);
    // The live dictionary at Path (changes are changes of the registry), or
    // nil when the value there is of another kind.
    TSLDictionary* GetDictKey(std::string_view Path);
    // The entry names of the dictionary at Path, in order; empty for any
    // other value.
    std::vector<MyAnsiString> GetKeyNames(std::string_view Path);

    // Change the existing integer or string at Path in place (every holder
    // of the value sees the change); never create.
    void SetIntKey(std::string_view Path, int32_t Value);
    void SetStrKey(std::string_view Path, std::string_view Value);
    // Add a new integer or string at Path, creating missing dictionaries on
    // the way; a name that exists raises the dictionary's duplicate error.
    void AddIntKey(std::string_view Path, int32_t Value);
    void AddStrKey(std::string_view Path, std::string_view Value);
    // Replaces the existing entry at Path with a copy of Dict; a missing
    // entry raises the dictionary's remove error.
    void SetDictKey(std::string_view Path, TSLDictionary* Dict);

    // Empties the registry, then reads the stored object FileName (any
    // scheme) through the storage manager; when it holds a dictionary, that
    // becomes the registry. Errors pass on and leave the registry empty.
    void ReadFromFile(const MyAnsiString& FileName);
    // Creates the stored object FileName through the storage manager and
    // writes the registry's dictionary into it.
    void WriteToFile(const MyAnsiString& FileName);

    TSLDictionary* GetRegData() const noexcept { return RegData.Get(); }

    // The path walk.
    TSLObject* GetObject(std::string_view Path);
    void AddObject(std::string_view Path, TSLObject* Obj);
    void RemoveObject(std::string_view Path);

private:
    enum class TKeyMode { Get,
                          Add,
                          Remove };
    TSLObject* KeyAccess(std::string_view Path, TKeyMode Mode, TSLObject* Obj);

    TRef<TSLDictionary> RegData;
};

// The program-wide registries, created on first use and kept until the
// process ends: the main settings, the vendor information and the sections of
// "ViewConfig.ini".
TProgramRegistry& ProgramRegistry();
TProgramRegistry& CompanyRegistry();
TProgramRegistry& ViewConfigRegistry();
TProgramRegistry& LoginConfigRegistry();
TProgramRegistry& InstallConfigRegistry();
TProgramRegistry& CANDriverConfigRegistry();
TProgramRegistry& OscilloscopeSettingsRegistry();

} // namespace vo
