#pragma once
// The program-wide catalogue of physical base units and the current unit
// system. Each base unit ("Length", "Time", ...) lists display units into
// which a value of the base unit converts: self = (base - offset) / scale.
// The oscilloscope, the curve lists and other views pick display units from
// here; drive values themselves are converted by device units (UniSrv.h).
//
// The catalogue is read once from "archive://Archives\UnitService\Units.stx":
// a dictionary with the array "BaseUnitsArr" of dictionaries {"Name",
// "Caption", "DisplayUnits": [{"Name", "Offset", "Scale", "UnitSystem"}]}.
// GUI thread only.
#include <memory>
#include <vector>

#include "parameters/DatTypes.h"
#include "platform/AnsiString.h"

namespace vo {

class TSLDictionary;

class TDisplayUnit {
public:
    // Reads "Name", "Offset", "Scale" and "UnitSystem" (all required). A scale
    // of 0 raises "TDisplayUnit.Create: display unit '<name>' has scale 0".
    explicit TDisplayUnit(const TSLDictionary& Dict);

    static const char* ClassName() noexcept { return "TDisplayUnit"; }

    double SelfToBase(double SelfValue) const { return SelfValue * FScale + FOffset; }
    double BaseToSelf(double BaseValue) const { return (BaseValue - FOffset) / FScale; }

    const MyAnsiString& Name() const noexcept { return FName; }
    double Offset() const noexcept { return FOffset; }
    double Scale() const noexcept { return FScale; }
    const MyAnsiString& UnitSystem() const noexcept { return FUnitSystem; }

private:
    MyAnsiString FName;
    double FOffset = 0.0;
    double FScale = 1.0;
    MyAnsiString FUnitSystem;
};

class TBaseUnit {
public:
    // Reads "Name", "Caption" and "DisplayUnits" (required), one display unit
    // per element in file order. A display unit with scale 0 is left out and
    // reported to the user; the others stay.
    explicit TBaseUnit(const TSLDictionary& Dict);
    ~TBaseUnit();
    TBaseUnit(const TBaseUnit&) = delete;
    TBaseUnit& operator=(const TBaseUnit&) = delete;

    static const char* ClassName() noexcept { return "TBaseUnit"; }

    int GetCount() const noexcept { return static_cast<int>(FDisplayUnits.size()); }
    // Raises "TBaseUnit.GetUnitAtIndex: index out of bounds".
    TDisplayUnit& GetUnitAtIndex(int AIndex) const;
    // Names compared without regard to case; nullptr when missing.
    TDisplayUnit* GetUnitWithName(const MyAnsiString& AName) const;

    const MyAnsiString& Name() const noexcept { return FName; }
    const MyAnsiString& Caption() const noexcept { return FCaption; }

private:
    MyAnsiString FName;
    MyAnsiString FCaption;
    std::vector<std::unique_ptr<TDisplayUnit>> FDisplayUnits; // file order
};

class TUnitManager {
public:
    TUnitManager();
    ~TUnitManager();
    TUnitManager(const TUnitManager&) = delete;
    TUnitManager& operator=(const TUnitManager&) = delete;

    static const char* ClassName() noexcept { return "TUnitManager"; }

    // Loads the catalogue from a stored object (through the storage manager).
    // The first base unit of a name wins. Any error is shown to the user; the
    // base units read before it stay.
    void Initialize(const MyAnsiString& FileName);
    // The same from a dictionary already read; errors pass on.
    void LoadFromDictionary(const TSLDictionary& Dict);

    TUnitSystem GetUnitSystem() const noexcept { return FUnitSystem; }
    void SetUnitSystem(TUnitSystem Value) noexcept { FUnitSystem = Value; }

    int GetNumberOfBaseUnits() const noexcept { return static_cast<int>(FBaseUnitsList.size()); }
    // In name order; raises "TUnitManager.GetBaseUnitAtIndex: index out of bounds".
    TBaseUnit& GetBaseUnitAtIndex(int AIndex) const;
    // Names compared without regard to case; nullptr when missing.
    TBaseUnit* GetBaseUnitWithName(const MyAnsiString& AName) const;

private:
    int Find(const MyAnsiString& AName, bool& Found) const;

    std::vector<std::unique_ptr<TBaseUnit>> FBaseUnitsList; // sorted by name, case ignored
    TUnitSystem FUnitSystem = usSI;
};

// The program's unit manager (created on first use; lives until the process
// ends).
TUnitManager& UnitManager();

} // namespace vo
