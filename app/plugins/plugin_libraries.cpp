// The name tables of the six optional libraries and their life cycle over one run; see
// plugin_libraries.h.
#include "app/plugins/plugin_libraries.h"

#include <cstddef>
#include <cstring>
#include <iterator>

#include "platform/dirs.h"

namespace app {
namespace {

#define ENTRY(Table, name, required) \
    { #name, offsetof(Table, name), required }

const EntryPointName kMmscNames[] = {
    ENTRY(MmscEntryPoints, MMSConfigGetNumberOfPropertySheetPages, true),
    ENTRY(MmscEntryPoints, MMSConfigAddPropertySheetPages, true),
    ENTRY(MmscEntryPoints, InstallMMSCService, true),
    ENTRY(MmscEntryPoints, RemoveMMSCService, true),
    ENTRY(MmscEntryPoints, StopMMSCService, true),
    ENTRY(MmscEntryPoints, StartMMSCService, true),
    ENTRY(MmscEntryPoints, RestartMMSCService, true),
    // Only for the pages' own bindings (never in the start-up table).
    ENTRY(MmscEntryPoints, IsMMSCServiceActive, true),
    ENTRY(MmscEntryPoints, IsMMSCServiceInstalled, true),
};
constexpr std::size_t kMmscStartupCount = 7;

const EntryPointName kSmppNames[] = {
    ENTRY(SmppEntryPoints, SMPPSetDebugMode, true),  ENTRY(SmppEntryPoints, SMPPBind, true),
    ENTRY(SmppEntryPoints, SMPPSubmitMessage, true), ENTRY(SmppEntryPoints, SMPPUnbind, true),
    ENTRY(SmppEntryPoints, SMPPConnect, true),       ENTRY(SmppEntryPoints, SMPPErrorText, true),
};

const EntryPointName kUcpNames[] = {
    ENTRY(UcpEntryPoints, UCPSetDebugMode, true),
    ENTRY(UcpEntryPoints, UCPBind, true),
    ENTRY(UcpEntryPoints, UCPConnect, true),
    ENTRY(UcpEntryPoints, UCPErrorText, true),
};

const EntryPointName kCimdNames[] = {
    ENTRY(CimdEntryPoints, CIMDSetDebugMode, true),
    ENTRY(CimdEntryPoints, CIMDBind, true),
    ENTRY(CimdEntryPoints, CIMDConnect, true),
    ENTRY(CimdEntryPoints, CIMDErrorText, true),
};

const EntryPointName kTlsNames[] = {
    ENTRY(TlsEntryPoints, sslInitSession, true),
    ENTRY(TlsEntryPoints, sslAcceptSession, true),
    ENTRY(TlsEntryPoints, sslFreeSession, true),
    ENTRY(TlsEntryPoints, sslSend, true),
    ENTRY(TlsEntryPoints, sslRecv, true),
    ENTRY(TlsEntryPoints, sslDataPending, true),
    ENTRY(TlsEntryPoints, sslInitLib, true),
    ENTRY(TlsEntryPoints, sslTermLib, true),
    ENTRY(TlsEntryPoints, sslServerCertExists, true),
    ENTRY(TlsEntryPoints, sslSignedCertExists, true),
    ENTRY(TlsEntryPoints, sslGenerateCertificate, true),
};

const EntryPointName kGprsNames[] = {
    ENTRY(GprsEntryPoints, WSPRasDial, true),
    ENTRY(GprsEntryPoints, WSPRasHangUp, true),
    ENTRY(GprsEntryPoints, WSPConnect, true),
    ENTRY(GprsEntryPoints, WSPDisconnect, true),
    ENTRY(GprsEntryPoints, WSPRequest, true),
    ENTRY(GprsEntryPoints, ModemAllocate, true),
    ENTRY(GprsEntryPoints, ModemRequested, true),
    ENTRY(GprsEntryPoints, ModemRelease, true),
    ENTRY(GprsEntryPoints, RasLoadListOrComboBox, true),
    ENTRY(GprsEntryPoints, RasGetUserAndPassword, true),
    ENTRY(GprsEntryPoints, RasGetModemName, true),
    ENTRY(GprsEntryPoints, ModemGetCIDForAPN, false),
    ENTRY(GprsEntryPoints, ModemDriverUpdateInitStrings, false),
    ENTRY(GprsEntryPoints, WSPRasGetErrorString, false),
    ENTRY(GprsEntryPoints, ModemReset, false),
};

#undef ENTRY

std::string LibraryDirectory(const PluginLibraries& libs) {
    return libs.directory.empty() ? platform::ProgramDirectory() : libs.directory;
}

template <typename Table>
bool Bind(PluginLibraries& libs, const char* library, EntryPointTable names, Table& table,
          LibraryHandle& lib) {
    return BindLibrary(LibraryDirectory(libs), library, names.names, names.count, &table, lib);
}

template <typename Table>
void Release(EntryPointTable names, Table& table, LibraryHandle& lib) {
    bool attempted = lib.attempted;
    ReleaseLibrary(names.names, names.count, &table, lib);
    lib.attempted = attempted;
}

}  // namespace

PluginLibraries& Plugins() {
    static PluginLibraries libs;
    return libs;
}

EntryPointTable MmscStartupNames() {
    return {kMmscNames, kMmscStartupCount};
}
EntryPointTable SmppNames() {
    return {kSmppNames, std::size(kSmppNames)};
}
EntryPointTable UcpNames() {
    return {kUcpNames, std::size(kUcpNames)};
}
EntryPointTable CimdNames() {
    return {kCimdNames, std::size(kCimdNames)};
}
EntryPointTable TlsNames() {
    return {kTlsNames, std::size(kTlsNames)};
}
EntryPointTable GprsNames() {
    return {kGprsNames, std::size(kGprsNames)};
}

void BindStartupLibraries(PluginLibraries& libs) {
    Bind(libs, kMmscLibrary, MmscStartupNames(), libs.mmsc, libs.mmscLib);
    if (Bind(libs, kSmppLibrary, SmppNames(), libs.smpp, libs.smppLib)) {
        libs.smpp.SMPPSetDebugMode(1);
    }
    if (Bind(libs, kUcpLibrary, UcpNames(), libs.ucp, libs.ucpLib)) {
        libs.ucp.UCPSetDebugMode(1);
    }
    if (Bind(libs, kCimdLibrary, CimdNames(), libs.cimd, libs.cimdLib)) {
        libs.cimd.CIMDSetDebugMode(1);
    }
}

bool BindTlsLibrary(PluginLibraries& libs) {
    if (!libs.tlsLib.attempted) {
        Bind(libs, kTlsLibrary, TlsNames(), libs.tls, libs.tlsLib);
    }
    return libs.tlsLib.bound();
}

bool BindGprsLibrary(PluginLibraries& libs) {
    if (!libs.gprsLib.attempted) {
        Bind(libs, kGprsLibrary, GprsNames(), libs.gprs, libs.gprsLib);
    }
    return libs.gprsLib.bound();
}

void ReleaseShutdownLibraries(PluginLibraries& libs) {
    Release(MmscStartupNames(), libs.mmsc, libs.mmscLib);
    Release(SmppNames(), libs.smpp, libs.smppLib);
}

void ReleaseAllLibraries(PluginLibraries& libs) {
    ReleaseShutdownLibraries(libs);
    Release(UcpNames(), libs.ucp, libs.ucpLib);
    Release(CimdNames(), libs.cimd, libs.cimdLib);
    Release(TlsNames(), libs.tls, libs.tlsLib);
    Release(GprsNames(), libs.gprs, libs.gprsLib);
}

ScopedMmscBinding::ScopedMmscBinding(std::initializer_list<const char*> names)
    : ScopedMmscBinding(LibraryDirectory(Plugins()), names) {}

ScopedMmscBinding::ScopedMmscBinding(const std::string& directory,
                                     std::initializer_list<const char*> names) {
    for (const char* name : names) {
        const EntryPointName* known = nullptr;
        for (const EntryPointName& e : kMmscNames) {
            if (std::strcmp(e.name, name) == 0) {
                known = &e;
            }
        }
        if (!known || count_ == std::size(names_)) {
            return;  // a name the library does not offer cannot resolve: nothing is bound
        }
        names_[count_++] = {known->name, known->offset, true};
    }
    BindLibrary(directory, kMmscLibrary, names_, count_, &calls_, lib_);
}

ScopedMmscBinding::~ScopedMmscBinding() {
    ReleaseLibrary(names_, count_, &calls_, lib_);
}

}  // namespace app
