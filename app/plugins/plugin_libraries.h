// The product family's six optional libraries as tables of entry points bound by name: the MMSC
// library DORUVEZ.DLL, the SMSC protocol clients ROVIVEZ.DLL, RIRERA.DLL and VIDEDER.DLL, the TLS
// library DEVERI.DLL and the WAP/GPRS and modem-sharing library VOVUDE.DLL. Each table is either
// complete (every required name resolved) or empty: a library that is missing, not a shared object
// or short of a required name is released again without a word, and the feature that needs it is
// simply absent.
//
// The console keeps one PluginLibraries for the run (Plugins()). DORUVEZ, ROVIVEZ, RIRERA and
// VIDEDER are bound at start-up, before the command line is looked at, then DEVERI once; VOVUDE
// once, on first need. Pages bind DORUVEZ again for one use with ScopedMmscBinding.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "app/plugins/binding.h"
#include "libs/deveri/deveri.h"
#include "libs/rirera/rirera.h"
#include "libs/rovivez/rovivez.h"
#include "libs/videder/videder.h"
#include "platform/ui/sheet.h"

namespace app {

// ---- DORUVEZ.DLL: the MMSC ---------------------------------------------------------------------

// What the MMSC library gets to place its pages: the sheet being assembled (caption, icon, start
// page; read only) and how many pages are placed so far. The library writes its pages into the
// page array from index `pageCount` on and advances `pageCount` by the number it added, never by
// more than MMSConfigGetNumberOfPropertySheetPages() announced.
struct MmscSheetHeader {
    const platform::PropertySheet* sheet;
    uint32_t pageCount;
};

struct MmscEntryPoints {
    int (*MMSConfigGetNumberOfPropertySheetPages)();
    void (*MMSConfigAddPropertySheetPages)(MmscSheetHeader* header, platform::SheetPage* pages);
    int (*InstallMMSCService)(int fromCommandLine);
    int (*RemoveMMSCService)(int fromCommandLine);
    int (*StopMMSCService)(int fromCommandLine);
    int (*StartMMSCService)(int fromCommandLine);
    int (*RestartMMSCService)(int fromCommandLine);
    // Resolved only by the short-lived bindings of the pages.
    int (*IsMMSCServiceActive)();
    int (*IsMMSCServiceInstalled)();
};

// ---- ROVIVEZ.DLL, RIRERA.DLL, VIDEDER.DLL, DEVERI.DLL ------------------------------------------
// Slots typed after the libraries' own prototypes.
#define ZELMO_SLOT(name) decltype(&::name) name

struct SmppEntryPoints {
    ZELMO_SLOT(SMPPSetDebugMode);
    ZELMO_SLOT(SMPPBind);
    ZELMO_SLOT(SMPPSubmitMessage);  // bound, never called
    ZELMO_SLOT(SMPPUnbind);
    ZELMO_SLOT(SMPPConnect);
    ZELMO_SLOT(SMPPErrorText);
};

struct UcpEntryPoints {
    ZELMO_SLOT(UCPSetDebugMode);
    ZELMO_SLOT(UCPBind);
    ZELMO_SLOT(UCPConnect);
    ZELMO_SLOT(UCPErrorText);
};

struct CimdEntryPoints {
    ZELMO_SLOT(CIMDSetDebugMode);
    ZELMO_SLOT(CIMDBind);
    ZELMO_SLOT(CIMDConnect);
    ZELMO_SLOT(CIMDErrorText);
};

struct TlsEntryPoints {
    ZELMO_SLOT(sslInitSession);
    ZELMO_SLOT(sslAcceptSession);  // bound, never called
    ZELMO_SLOT(sslFreeSession);
    ZELMO_SLOT(sslSend);
    ZELMO_SLOT(sslRecv);
    ZELMO_SLOT(sslDataPending);
    ZELMO_SLOT(sslInitLib);
    ZELMO_SLOT(sslTermLib);  // bound, never called
    ZELMO_SLOT(sslServerCertExists);
    ZELMO_SLOT(sslSignedCertExists);
    ZELMO_SLOT(sslGenerateCertificate);
};

#undef ZELMO_SLOT

// ---- VOVUDE.DLL: WAP/GPRS and modem sharing
// ------------------------------------------------------

// Capacity of the text buffers the console hands to the Ras... and WSPRasGetErrorString calls
// that take no size: the library writes at most this many bytes, NUL included.
inline constexpr unsigned kGprsTextBufferSize = 257;

// Bound but never called by the console: their arguments are the library's business.
using UncalledEntryPoint = void (*)();

struct GprsEntryPoints {
    int (*WSPRasDial)(const char* connection, const char* apn, const char* login,
                      const char* password, const char* mmsProxy);
    int (*WSPRasHangUp)(const char* connection);
    UncalledEntryPoint WSPConnect;
    UncalledEntryPoint WSPDisconnect;
    UncalledEntryPoint WSPRequest;
    // A reservation of the modem, or null when the gateway service holds it.
    void* (*ModemAllocate)(const char* modem, int waitLimit, uint32_t* out);
    UncalledEntryPoint ModemRequested;
    int (*ModemRelease)(void* reservation);
    // Fills control `listId` of `dialog` (a list box or drop-down list of the UI layer) with the
    // system's dial-up connection names; `addRequest` is kGprsAddToList.
    int (*RasLoadListOrComboBox)(platform::Form* dialog, int listId, int addRequest);
    int (*RasGetUserAndPassword)(const char* connection, char* user, char* password);
    int (*RasGetModemName)(const char* connection, char* modem);
    // Optional.
    uint16_t (*ModemGetCIDForAPN)(const char* modem, const char* apn, int which);
    int (*ModemDriverUpdateInitStrings)(const char* modem, const char* apn);
    int (*WSPRasGetErrorString)(unsigned code, char* buffer, unsigned size);
    UncalledEntryPoint ModemReset;
};
// The add-item request handed to RasLoadListOrComboBox: platform::ListAdd on the control.
inline constexpr int kGprsAddToList = 1;

// ---- The table of the run ----------------------------------------------------------------------

inline constexpr const char* kMmscLibrary = "DORUVEZ.DLL";
inline constexpr const char* kSmppLibrary = "ROVIVEZ.DLL";
inline constexpr const char* kUcpLibrary = "RIRERA.DLL";
inline constexpr const char* kCimdLibrary = "VIDEDER.DLL";
inline constexpr const char* kTlsLibrary = "DEVERI.DLL";
inline constexpr const char* kGprsLibrary = "VOVUDE.DLL";

struct PluginLibraries {
    std::string directory;  // where the libraries are looked for, ending in "/"
    LibraryHandle mmscLib;
    MmscEntryPoints mmsc{};
    LibraryHandle smppLib;
    SmppEntryPoints smpp{};
    LibraryHandle ucpLib;
    UcpEntryPoints ucp{};
    LibraryHandle cimdLib;
    CimdEntryPoints cimd{};
    LibraryHandle tlsLib;  // attempted once per run
    TlsEntryPoints tls{};
    LibraryHandle gprsLib;  // attempted once per run, on first need
    GprsEntryPoints gprs{};
};

// The console's libraries. Their directory is the program directory unless set before binding.
PluginLibraries& Plugins();

// The name tables (exact names, slots, required or optional), for tests and the bindings.
struct EntryPointTable {
    const EntryPointName* names;
    std::size_t count;
};
EntryPointTable MmscStartupNames();  // the seven names bound at start-up, all required
EntryPointTable SmppNames();
EntryPointTable UcpNames();
EntryPointTable CimdNames();
EntryPointTable TlsNames();
EntryPointTable GprsNames();

// Binds DORUVEZ, ROVIVEZ, RIRERA and VIDEDER in this order; each protocol client that binds gets
// its debug mode set to 1 right away.
void BindStartupLibraries(PluginLibraries& libs);
// DEVERI.DLL: the first call binds, later calls give the remembered outcome.
bool BindTlsLibrary(PluginLibraries& libs);
// VOVUDE.DLL: the first call binds, later calls give the remembered outcome.
bool BindGprsLibrary(PluginLibraries& libs);
// Shutdown: releases the MMSC and SMPP libraries (the others go with the process).
void ReleaseShutdownLibraries(PluginLibraries& libs);
// Releases every library and clears every slot (tests).
void ReleaseAllLibraries(PluginLibraries& libs);

// A binding of DORUVEZ.DLL for one use by a page: only `names` are resolved, all of them are
// required, and the library is released when the object ends. `calls` is empty unless bound().
class ScopedMmscBinding {
  public:
    ScopedMmscBinding(const std::string& directory, std::initializer_list<const char*> names);
    explicit ScopedMmscBinding(std::initializer_list<const char*> names);  // Plugins().directory
    ~ScopedMmscBinding();
    ScopedMmscBinding(const ScopedMmscBinding&) = delete;
    ScopedMmscBinding& operator=(const ScopedMmscBinding&) = delete;

    bool bound() const { return lib_.bound(); }
    const MmscEntryPoints& calls() const { return calls_; }

  private:
    EntryPointName names_[9];
    std::size_t count_ = 0;
    LibraryHandle lib_;
    MmscEntryPoints calls_{};
};

}  // namespace app
