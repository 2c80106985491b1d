#pragma once
// The services of the application shell that the kernel, the storage library
// and the device side use. The shell's main form implements this interface and
// installs itself as the program-wide instance at start-up; headless tests
// install their own. Until an instance is installed, a neutral one answers
// (language "English", empty product and company texts, nothing started).
#include <cstdint>

#include "kernel/MD5Generator.h"
#include "platform/AnsiString.h"

namespace vo {

class TImageList;

// A window the shell lists in its window list and window menu.
class TShellWindow {
public:
    virtual ~TShellWindow() = default;
    virtual MyAnsiString GetCaption() const = 0;
    virtual void SetCaption(const MyAnsiString& ACaption) = 0;
};

// Answers of the connection-lost dialog.
enum class TConnectionLostAnswer : std::uint8_t {
    GoOffline = 2, // the default button (modal result Cancel)
    Retry = 4, // also taken by Escape (modal result Retry)
};

// The shared file-open dialog: the caller gives filter and default extension
// ("Configuration file (*.vkc)|*.vkc", "vkc"); the shell starts in the folder
// of the kind (the configuration folder for ConfigDir) and remembers the
// chosen file's folder there.
struct TOpenDialogRequest {
    MyAnsiString Filter;
    MyAnsiString DefaultExt;
    bool ConfigDir = true;
    MyAnsiString FileName; // the chosen file (stored path) after true
};

// The shared file-save dialog: filter and default extension as for opening;
// it asks before overwriting a file.
struct TSaveDialogRequest {
    MyAnsiString Filter;
    MyAnsiString DefaultExt;
    MyAnsiString FileName; // proposed on entry (may be empty), chosen after true (stored path)
};

class TShellServices {
public:
    virtual ~TShellServices() = default;

    // The user's information-system language; every lookup of language texts
    // and of property-list descriptions passes it.
    virtual MyAnsiString InfoSysLang() const = 0;

    // Entries of the vendor information ("ProgramName", "ProgramVersionCaption",
    // "ProgramBuildDate"; company: "HomePage"); "" when missing, never raise.
    virtual MyAnsiString GetProductInfoStr(const MyAnsiString& InfoName) const = 0;
    virtual MyAnsiString GetCompanyInfoStr(const MyAnsiString& InfoName) const = 0;

    // MD5 digest of the developer password, compared with the digest of a
    // password typed for the user "DEVELOPER".
    virtual MD5Digest pswDeveloper() const = 0;

    // The shared image list of the project tree and the forms (may be null
    // while no GUI exists). Image numbers: 114 the object inspector; drive
    // states 87 offline, 88 no connection, 119 running, 120 not running,
    // 121 running with an error, 122 starting.
    virtual TImageList* ImageList() const = 0;

    // Set by the "Abort" button of the login log; the device-opening state
    // machine clears it when an opening starts.
    virtual bool LoginAbortRequest() const = 0;
    virtual void SetLoginAbortRequest(bool Value) = 0;

    // Only in the device-opening state machine's ready state; otherwise nothing.
    virtual void StartScanning() = 0;
    virtual void StartETHScanning() = 0;
    // AIPAddress: first octet in the most significant byte.
    virtual void BlinkETH(std::int32_t AIPAddress) = 0;

    // Window list: RegisterWindow makes the caption unique ("_1", "_2", ...)
    // and lists the window; UnregisterWindow removes it (found by caption) and
    // lets the shell end the program when the list becomes empty.
    virtual void RegisterWindow(TShellWindow& AForm) = 0;
    virtual void UnregisterWindow(TShellWindow& AForm) = 0;

    // 1 marks a developer start (no automatic login); 0 otherwise.
    virtual std::uint8_t OvraProgramType() const = 0;

    // Shows the modal "Connection Lost" dialog with the message.
    virtual TConnectionLostAnswer ShowConnectionLost(const MyAnsiString& AMessage) = 0;

    // Shows the shared file-open dialog; false when the user cancels (or no
    // GUI exists).
    virtual bool OpenDialog(TOpenDialogRequest& Request) {
        (void)Request;
        return false;
    }

    // Shows the shared file-save dialog; false when the user cancels (or no
    // GUI exists).
    virtual bool SaveDialog(TSaveDialogRequest& Request) {
        (void)Request;
        return false;
    }

    // Program-wide display settings: UPIDs and raw data are shown "HEX" or
    // "DEC"; the relevant-parameter filter is "Disabled" or "Enabled". Kept
    // here until the shell's main form takes them over.
    virtual MyAnsiString UPIDDispMode() const { return FUPIDDispMode; }
    virtual void SetUPIDDispMode(const MyAnsiString& Value) { FUPIDDispMode = Value; }
    virtual MyAnsiString RawDataDispMode() const { return FRawDataDispMode; }
    virtual void SetRawDataDispMode(const MyAnsiString& Value) { FRawDataDispMode = Value; }
    virtual MyAnsiString RelParFilterMode() const { return FRelParFilterMode; }
    virtual void SetRelParFilterMode(const MyAnsiString& Value) { FRelParFilterMode = Value; }

private:
    MyAnsiString FUPIDDispMode = "HEX";
    MyAnsiString FRawDataDispMode = "HEX";
    MyAnsiString FRelParFilterMode = "Disabled";
};

// The program-wide instance (never null: the neutral one until another is set).
TShellServices& ShellServices();
// Installs an instance (not owned; it must outlive its use); null restores the
// neutral one. Returns the instance installed before.
TShellServices* SetShellServices(TShellServices* AServices);

} // namespace vo
