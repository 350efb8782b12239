// Stand-ins for the product family's six optional libraries, built in several variants from this
// one file: FAKE_MMSC, FAKE_SMPP, FAKE_UCP, FAKE_CIMD, FAKE_TLS or FAKE_GPRS picks the library,
// WITHOUT_<NAME> leaves one entry point out. Every call is appended as a line "Name arguments" to
// PLUGIN-CALLS.TXT in the data root ($ZELMOSMS_ROOT), so tests and scenarios can see it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/plugins/plugin_libraries.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

[[maybe_unused]] void Log(const std::string& line) {
    const char* root = std::getenv("ZELMOSMS_ROOT");
    if (!root || !*root) {
        return;
    }
    std::string path = std::string(root) + "/PLUGIN-CALLS.TXT";
    if (FILE* f = std::fopen(path.c_str(), "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

}  // namespace

#ifdef FAKE_MMSC
// The number of pages to announce and to add comes from $FAKE_MMSC_PAGES ("announced,added").
EXPORT int MMSConfigGetNumberOfPropertySheetPages() {
    const char* pages = std::getenv("FAKE_MMSC_PAGES");
    return pages ? std::atoi(pages) : 0;
}
EXPORT void MMSConfigAddPropertySheetPages(app::MmscSheetHeader* header,
                                           platform::SheetPage* pages) {
    const char* setting = std::getenv("FAKE_MMSC_PAGES");
    const char* comma = setting ? std::strchr(setting, ',') : nullptr;
    int added = comma ? std::atoi(comma + 1) : 0;
    for (int i = 0; i < added; ++i) {
        pages[header->pageCount + i].title = "MMSC " + std::to_string(i + 1);
    }
    header->pageCount += added;
    Log("MMSConfigAddPropertySheetPages " + std::to_string(added));
}
EXPORT int InstallMMSCService(int fromCommandLine) {
    Log("InstallMMSCService " + std::to_string(fromCommandLine));
    return 1;
}
EXPORT int RemoveMMSCService(int fromCommandLine) {
    Log("RemoveMMSCService " + std::to_string(fromCommandLine));
    return 1;
}
EXPORT int StopMMSCService(int fromCommandLine) {
    Log("StopMMSCService " + std::to_string(fromCommandLine));
    return 0;
}
EXPORT int StartMMSCService(int fromCommandLine) {
    Log("StartMMSCService " + std::to_string(fromCommandLine));
    return 0;
}
EXPORT int RestartMMSCService(int fromCommandLine) {
    Log("RestartMMSCService " + std::to_string(fromCommandLine));
    return 0;
}
#ifndef WITHOUT_IsMMSCServiceActive
EXPORT int IsMMSCServiceActive() {
    return 1;
}
#endif
EXPORT int IsMMSCServiceInstalled() {
    return 1;
}
#endif

#ifdef FAKE_SMPP
EXPORT void SMPPSetDebugMode(int mode) {
    Log("SMPPSetDebugMode " + std::to_string(mode));
}
EXPORT int SMPPBind(int, void*, int, int, int, const char*, const char*, const char*) {
    return 0;
}
EXPORT int SMPPSubmitMessage(int, void*, int, const char*, const char*, const char*, char*, int) {
    return 0;
}
EXPORT int SMPPUnbind(int, void*, int, int) {
    return 0;
}
EXPORT int SMPPConnect(int, int, const char*, int) {
    return 0;
}
#ifndef WITHOUT_SMPPErrorText
EXPORT const char* SMPPErrorText(int) {
    return "fake";
}
#endif
#endif

#ifdef FAKE_UCP
EXPORT void UCPSetDebugMode(int mode) {
    Log("UCPSetDebugMode " + std::to_string(mode));
}
EXPORT int UCPBind(int, void*, const char*, const char*) {
    return 0;
}
EXPORT int UCPConnect(int, int, const char*, int) {
    return 0;
}
EXPORT const char* UCPErrorText(int) {
    return "fake";
}
#endif

#ifdef FAKE_CIMD
EXPORT void CIMDSetDebugMode(int mode) {
    Log("CIMDSetDebugMode " + std::to_string(mode));
}
EXPORT int CIMDBind(const char*, int, const char*, const char*) {
    return 0;
}
EXPORT int CIMDConnect(const char*, int, const char*, int) {
    return 0;
}
EXPORT const char* CIMDErrorText(int) {
    return "fake";
}
#endif

#ifdef FAKE_TLS
EXPORT void* sslInitSession(int, char*) {
    return nullptr;
}
EXPORT void* sslAcceptSession(int, char*) {
    return nullptr;
}
EXPORT int sslFreeSession(void*) {
    return 0;
}
EXPORT int sslSend(void*, const char*, int) {
    return -1;
}
EXPORT int sslRecv(void*, char*, int) {
    return -1;
}
EXPORT int sslDataPending(void*) {
    return 0;
}
EXPORT int sslInitLib() {
    Log("sslInitLib");
    return 1;
}
#ifndef WITHOUT_sslTermLib
EXPORT void sslTermLib() {}
#endif
EXPORT int sslServerCertExists() {
    Log("sslServerCertExists");
    return 1;
}
EXPORT int sslSignedCertExists() {
    return 0;
}
EXPORT int sslGenerateCertificate(const char*, const char*, const char*, const char*, const char*,
                                  const char*, const char*, const char*) {
    return 0;
}
#endif

#ifdef FAKE_GPRS
EXPORT int WSPRasDial(const char*, const char*, const char*, const char*, const char*) {
    return 0;
}
EXPORT int WSPRasHangUp(const char*) {
    return 0;
}
EXPORT void WSPConnect() {}
EXPORT void WSPDisconnect() {}
EXPORT void WSPRequest() {}
EXPORT void* ModemAllocate(const char*, int, uint32_t*) {
    return nullptr;
}
EXPORT void ModemRequested() {}
EXPORT int ModemRelease(void*) {
    return 0;
}
EXPORT int RasLoadListOrComboBox(platform::Form*, int, int) {
    return 0;
}
EXPORT int RasGetUserAndPassword(const char*, char*, char*) {
    return 0;
}
EXPORT int RasGetModemName(const char*, char*) {
    return 0;
}
EXPORT uint16_t ModemGetCIDForAPN(const char*, const char*, int) {
    return 1;
}
EXPORT int ModemDriverUpdateInitStrings(const char*, const char*) {
    return 0;
}
EXPORT int WSPRasGetErrorString(unsigned, char*, unsigned) {
    return 0;
}
#ifndef WITHOUT_ModemReset
EXPORT void ModemReset() {}
#endif
#endif
