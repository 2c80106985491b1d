#pragma once
// The storage manager: the one facade through which every part of the
// program reads and writes named stored objects, and the home of the script
// environment's shared parts.
//
// A stored name is "<scheme>://<path>" or a plain path; paths use "\" as the
// separator. A name with a scheme goes to the plug-in of that scheme (the
// comparison is case-sensitive, so "FILE://x" has no scheme); a plain name is
// offered to the default plug-ins in announcement order (the shell announces
// the file plug-in, then the archive plug-in, then the clipboard plug-in, the
// last one not in the default search).
//
// The script engine plugs in through two small interfaces defined here: the
// interpreter unit announces a TScriptEngineInterface (contexts, the native
// class factories, the debugger link), and the script runtime announces a
// TScriptTaskFactoryInterface (script tasks). Until they are announced,
// CreateContext, AnnounceScriptClass and CreateScriptTask raise.
//
// All calls come from the GUI thread; nothing here takes a lock.
#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/AnsiString.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Bas.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Enc.h"
#include "storagelib/SL20StStrm.h"

namespace vo {

class TStorageManager;
class TScriptClass; // a native script class (defined by the interpreter's units)
class TScriptTaskInterface; // a script run as a task (defined by the script runtime; it
    // must have a public virtual destructor)

// One named stored object. Plug-ins hand them out autoreleased: a caller that
// keeps one beyond the next purge of the autorelease pool retains it (TRef).
// The data object belongs to the storage object while it is set.
class TSLStorageObject : public TSLObject {
    VO_REFOBJ_CLASS(TSLStorageObject, TSLObject)
public:
    virtual MyAnsiString GetName() const = 0;
    virtual TStorageFormat GetFormat() const = 0;
    virtual void SetFormat(TStorageFormat Format) = 0;
    // The data (not retained); nil when there is none. Archive entries load
    // their data here on first use.
    virtual TSLObject* GetData() = 0;
    // Retains the new object and releases the old one.
    virtual void SetData(TSLObject* Data) = 0;
    virtual void Read() = 0;
    virtual void Write() = 0;

protected:
    TSLStorageObject() = default;
};

// A storage plug-in: serves the names of one scheme. Names reach it with the
// scheme already removed. The storage manager owns its plug-ins.
class TStoragePluginInterface {
public:
    virtual ~TStoragePluginInterface() = default;
    TStoragePluginInterface() = default;
    TStoragePluginInterface(const TStoragePluginInterface&) = delete;
    TStoragePluginInterface& operator=(const TStoragePluginInterface&) = delete;

    // The class name used in error texts.
    virtual const char* ClassName() const noexcept = 0;

    virtual bool ObjectExists(const MyAnsiString& Name) = 0;
    TSLStorageObject* GetObject(const MyAnsiString& Name) { return GetObject(Name, saRead, false); }
    TSLStorageObject* GetObject(const MyAnsiString& Name, TStreamAccess Access) {
        return GetObject(Name, Access, false);
    }
    // Debug asks the reader to keep source positions for the debugger.
    virtual TSLStorageObject* GetObject(const MyAnsiString& Name, TStreamAccess Access, bool Debug) = 0;
    virtual bool CanCreate(const MyAnsiString& Name) = 0;
    virtual TSLStorageObject* CreateObject(const MyAnsiString& Name) = 0;
    // The scheme prefix including "://".
    virtual MyAnsiString GetScheme() const = 0;

    // The manager the plug-in was announced to (nil before).
    TStorageManager* GetStorageManager() const noexcept { return FStorageManager; }

private:
    friend class TStorageManager;
    TStorageManager* FStorageManager = nullptr;
};

// What the interpreter unit plugs into the storage manager. The manager keeps
// it (retained) as its interpreter; script tasks reach it with
// GetInterpreter() and cast it to the interpreter's own class.
class TScriptEngineInterface : public TSLObject {
    VO_REFOBJ_CLASS(TScriptEngineInterface, TSLObject)
public:
    // A new, empty context (the interpreter's implementation). With
    // AutoRelease it starts at count 1 with one pool entry, otherwise at
    // count 0 and belongs to whoever retains it first.
    virtual TSLContext* CreateContextImplementation(bool AutoRelease) = 0;
    // The entry of a native class in the "Create" dictionary: an executable
    // object that makes a new instance of Class when a script executes it.
    virtual TRef<TSLObject> CreateScriptClassFactory(const MyAnsiString& Name, TScriptClass* Class,
                                                     int32_t Version) = 0;
    // Whether Context runs under the debugger (its reads keep source positions).
    virtual bool GetContextDebug(TSLContext* Context) {
        (void)Context;
        return false;
    }
    // Tells the debugger of Context's script task about a stored object the
    // script imported (FileName as the debugger shows it, ID its storage id).
    virtual void AddScriptToDebugger(TSLContext* Context, const MyAnsiString& FileName, uint16_t ID) {
        (void)Context;
        (void)FileName;
        (void)ID;
    }

protected:
    TScriptEngineInterface() = default;
};

// Makes script tasks (implemented by the script runtime). A new task is idle,
// without script and without context; the caller owns it (or lets it free
// itself with SetAutoFree and releases the pointer).
class TScriptTaskFactoryInterface {
public:
    virtual ~TScriptTaskFactoryInterface() = default;
    virtual std::unique_ptr<TScriptTaskInterface> CreateScriptTask() = 0;
};

// One entry of the storage-id table.
struct TStorageIDInfo {
    // The complete name under which a stored object was read.
    MyAnsiString Name;
};

// Storage ids: 16-bit numbers, the 1-based position of a name in the table;
// 0 marks an element that was not read from a stored object. A name read again
// gets its old id back; ids are never released.
class TStorageIDManager {
public:
    static const char* ClassName() noexcept { return "TStorageIDManager"; }

    // The id recorded for Name (exact comparison), else a new one. When all
    // 65535 ids are taken, a new name gets 0 (no id) instead of a wrapped one.
    uint16_t CreateStorageID(const MyAnsiString& Name, TSLObject* Data = nullptr);
    // Sets ID to 65535 first; true and the id on a match.
    bool NameExist(const MyAnsiString& Name, uint16_t& ID) const;
    // The entry of a valid id; any other id raises
    // "TStorageIDManager.GetIDInfo: ID %d does not exist".
    const TStorageIDInfo& GetIDInfo(uint16_t StorageID) const;
    int GetCount() const noexcept { return static_cast<int>(IDList.size()); }

private:
    std::vector<TStorageIDInfo> IDList;
    std::unordered_map<MyAnsiString, uint16_t> FIndex; // name -> id
};

class TStorageManager {
public:
    static const char* ClassName() noexcept { return "TStorageManager"; }

    // ProgramDir: the program's folder as a stored name with a trailing "\"
    // (empty: the folder of the running executable). It becomes the first
    // class-path entry. The new manager becomes the program-wide one
    // (StorageManager()) and installs the storage-id name lookup of error
    // messages.
    explicit TStorageManager(const MyAnsiString& ProgramDir = {});
    ~TStorageManager();
    TStorageManager(const TStorageManager&) = delete;
    TStorageManager& operator=(const TStorageManager&) = delete;

    // Reading and writing stored objects. The objects come back autoreleased.
    // A name no plug-in holds raises
    // "TStorageManager.GetObject: object with name '%s' not found"; a name
    // with a scheme gets its plug-in's own error instead.
    TSLStorageObject* GetObject(const MyAnsiString& Name) { return GetObject(Name, saRead, false); }
    TSLStorageObject* GetObject(const MyAnsiString& Name, TStreamAccess Access) {
        return GetObject(Name, Access, false);
    }
    TSLStorageObject* GetObject(const MyAnsiString& Name, TStreamAccess Access, bool Debug);
    // "TStorageManager.CreateObject: could not create object '%s'" when no
    // plug-in can.
    TSLStorageObject* CreateObject(const MyAnsiString& Name);
    bool ObjectExists(const MyAnsiString& Name);
    // Looks a plain file up: a rooted name as it is; otherwise in the current
    // folder, then along the class path in order. CompleteName receives the
    // name found (a rooted name also when it does not exist).
    bool FindFile(const MyAnsiString& Name, MyAnsiString& CompleteName) const;

    // Script environment.
    // A new script task from the announced factory. (A template only so that
    // it is compiled where the task class is complete; call it as
    // CreateScriptTask().)
    template <class Task = TScriptTaskInterface>
    std::unique_ptr<Task> CreateScriptTask() {
        return RequireScriptTaskFactory().CreateScriptTask();
    }
    // The announced factory; without one raises
    // "TStorageManager.CreateScriptTask: no ScriptClassFactory announced".
    TScriptTaskFactoryInterface& RequireScriptTaskFactory() const;
    // A new context with the dictionaries "System", "Create" (shared by all
    // contexts) and "Global" (its own, on top).
    TSLContext* CreateContext(bool AutoRelease);
    // Imports the dictionary announced under Name, else the data of the
    // stored object Name + ".stx" under the last part of Name.
    void ImportIntoContext(const MyAnsiString& Name, TSLContext* Context);

    // Announcements (nothing announced is ever removed).
    // Path must end with "\" (names are appended to it directly).
    void AnnounceClasspath(const MyAnsiString& Path);
    void AnnounceDictionary(const MyAnsiString& Name, TSLDictionary* Dict);
    // Replaces (and frees) a factory announced before.
    void AnnounceScriptTaskFactory(std::unique_ptr<TScriptTaskFactoryInterface> ScrTskFactory);
    // The manager owns the plug-in from now on.
    void AnnounceStoragePlugin(std::unique_ptr<TStoragePluginInterface> StoragePlugin, bool IncludeInDefaultSearch);
    void AnnounceSystemProcedure(const MyAnsiString& AName, TSLInternalProcedure* AProc);
    // "TStorageManager.AnnounceScriptClass: class with name '%s' already
    // announced" for a repeated name. Needs the script engine.
    void AnnounceScriptClass(const MyAnsiString& AName, TScriptClass* AClass, int32_t AVersion);
    bool ScriptClassExists(const MyAnsiString& AName) const;
    // The interpreter (retained; replaces one announced before).
    void AnnounceScriptEngine(TScriptEngineInterface* Engine);

    // One value from a text (nil when the text holds none) / the text of a
    // value. Each call uses a stream of its own, so both are re-entrant.
    TRef<TSLObject> DecodeStringToObject(const MyAnsiString& Str);
    MyAnsiString EncodeObjectToString(TSLObject* Obj);

    // Members.
    TSLStreamEncoder* GetEncoder() const noexcept { return Encoder.Get(); }
    TSLStreamDecoder* GetDecoder() const noexcept { return Decoder.Get(); }
    TScriptEngineInterface* GetInterpreter() const noexcept { return FInterpreter.Get(); }
    TSLDictionary* GetSystemDict() const noexcept { return FSystemDict.Get(); }
    TSLDictionary* GetScriptClassDict() const noexcept { return FScriptClassDict.Get(); }
    TSLDictionary* GetDictionaries() const noexcept { return FDictionaries.Get(); }
    TSLArray* GetClasspathArray() const noexcept { return FClasspathArray.Get(); }
    // The program's folder (the first class-path entry), with its trailing "\".
    const MyAnsiString& GetProgramDir() const noexcept { return FProgramDir; }
    TStorageIDManager& GetStorageIDManager() noexcept { return *FStorageIDManager; }
    TScriptTaskFactoryInterface* GetScriptTaskFactory() const noexcept { return FScrTskFactory.get(); }
    int GetPluginCount() const noexcept { return static_cast<int>(FStoragePluginList.size()); }
    TStoragePluginInterface* GetPlugin(int Index) const { return FStoragePluginList.at(Index).get(); }

private:
    // The plug-in whose scheme starts Name, and the rest of the name.
    TStoragePluginInterface* SchemePlugin(const MyAnsiString& Name, MyAnsiString& Rest) const;

    TRef<TSLStreamEncoder> Encoder;
    TRef<TSLStreamDecoder> Decoder;
    TRef<TScriptEngineInterface> FInterpreter;
    TRef<TSLDictionary> FSystemDict;
    TRef<TSLDictionary> FDictionaries;
    TRef<TSLArray> FClasspathArray;
    TRef<TSLDictionary> FScriptClassDict;
    std::vector<TStoragePluginInterface*> FDefaultStoragePluginList;
    std::vector<std::unique_ptr<TStoragePluginInterface>> FStoragePluginList;
    std::unique_ptr<TStorageIDManager> FStorageIDManager;
    std::unique_ptr<TScriptTaskFactoryInterface> FScrTskFactory;
    MyAnsiString FProgramDir;
};

// The program-wide storage manager: the one created last and not yet
// destroyed; nil when there is none.
TStorageManager* StorageManager() noexcept;

// The folder of the running executable as a stored name with a trailing "\".
MyAnsiString ExecutableFolder();

} // namespace vo
