#pragma once
// The parameter class registry and the parameter client.
//
// TParameterManager maps the type name of a "ParameterArray" record
// ("UInt16", "Directory", ...) to the class that builds its node; names are
// compared without regard to case. It also holds the view factory that opens
// parameter directories in the project tree window and the list settings of
// the parameter views (11 column widths, the detail switch), read once from
// the program settings "Parameter". One instance serves the whole program
// (ParameterManager()).
//
// TParameterClient is the service client through which a parameter view uses
// a parameter service; it keeps the view's own copy of the list settings.
//
// GUI thread only.
#include <array>
#include <cstdint>
#include <memory>
#include <typeindex>
#include <vector>

#include "kernel/CsServices.h"
#include "platform/AnsiString.h"

namespace vo {

class TApplicationViewFactory;
class TParameter;
class TParameterService;
class TSLDictionary;
class TSLRecord;

// A parameter class: its type and how a node of it is built from a record.
struct TParameterClass {
    using TCreate = std::unique_ptr<TParameter> (*)(TParameterService& AOwner, TSLRecord* ARecord);
    std::type_index Type;
    TCreate Create;

    bool operator==(const TParameterClass& Other) const { return Type == Other.Type; }
};

// The class of a node type T with the constructor T(TParameterService&, TSLRecord*).
template <class T>
TParameterClass ParameterClass() {
    return {std::type_index(typeid(T)), [](TParameterService& AOwner, TSLRecord* ARecord) -> std::unique_ptr<TParameter> {
                return std::make_unique<T>(AOwner, ARecord);
            }};
}

inline constexpr int ParColumnCount = 11;
inline constexpr std::int32_t ParDefaultColWidth = 50;

// Reads the list views' "DisplayInfo" of a settings dictionary (nothing when
// it has none): "ShowDetails" and the "Width" of each of "WidthsArray"'s
// entries; entries beyond the columns are ignored.
void ReadDisplayInfo(const TSLDictionary& Dict, bool& ShowDetails, std::int32_t* Widths, int ColumnCount);

class TParameterManager {
public:
    // Empty registry, no details, all widths 50.
    TParameterManager();
    ~TParameterManager();
    TParameterManager(const TParameterManager&) = delete;
    TParameterManager& operator=(const TParameterManager&) = delete;

    static const char* ClassName() noexcept { return "TParameterManager"; }

    // Reads "DisplayInfo" when present: "ShowDetails" and "WidthsArray" (the
    // "Width" of at most 11 elements). A missing key raises the dictionary's
    // error; what was read before stays.
    void Initialize(const TSLDictionary& Dict);

    // Raises "TParameterManager.RegisterParameterClass: parameter class with
    // name <n> already registered".
    void RegisterParameterClass(const TParameterClass& AClass, const MyAnsiString& AName);
    bool ParameterClassExists(const MyAnsiString& AName) const;
    // Raises "TParameterManager.GetParameterClass: parameter class with name
    // <n> doesn't exist".
    const TParameterClass& GetParameterClass(const MyAnsiString& AName) const;
    // The name the class is registered under (the first in name order), ""
    // when it is not registered.
    MyAnsiString GetName(const TParameterClass& AClass) const;
    int GetClassCount() const noexcept { return static_cast<int>(ParameterClassList.size()); }
    const MyAnsiString& GetClassNameAt(int Index) const { return ParameterClassList.at(static_cast<std::size_t>(Index)).Name; }

    // The view factory every directory's model item gets.
    void RegisterViewFactory(TApplicationViewFactory* AViewFactory) noexcept { FModelView = AViewFactory; }
    TApplicationViewFactory* ModelView() const noexcept { return FModelView; }

    // Raises "TParameterManager.GetColWidth: index out of bounds" outside 0..10.
    std::int32_t GetColWidth(int Index) const;
    bool ShowDetails() const noexcept { return FShowDetails; }

private:
    struct TEntry {
        MyAnsiString Name;
        TParameterClass Class;
    };
    int Find(const MyAnsiString& AName, bool& Found) const;

    std::array<std::int32_t, ParColumnCount> ColsWidth;
    bool FShowDetails = false;
    std::vector<TEntry> ParameterClassList; // sorted by name, case ignored
    TApplicationViewFactory* FModelView = nullptr; // not owned
};

// The program's parameter manager (created on first use; lives until the
// process ends).
TParameterManager& ParameterManager();

class TParameterClient : public TServiceClient {
public:
    TParameterClient();

    const char* ClassName() const override { return "TParameterClient"; }

    // Takes the detail switch and the 11 widths of the manager.
    void CopySettings(const TParameterManager& AManager);
    // Both raise "TParameterClient.<op>: index out of bounds" outside 0..10.
    std::int32_t GetColWidth(int Index) const;
    void SetColWidth(int Index, std::int32_t Value);

    bool FShowDetails = false;

private:
    std::array<std::int32_t, ParColumnCount> FColsWidth;
};

} // namespace vo
