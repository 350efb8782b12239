/* The support library of the product family (libzozeziv.so): directories, configuration reads,
 * the user file, operator settings, GSM 7-bit text and file-system rights. The console links
 * against it; its entry points are plain C. */
#ifndef ZOZEZIV_H
#define ZOZEZIV_H

#ifdef __cplusplus
extern "C" {
#endif

/* Capacity of the path buffers the directory calls fill (Linux PATH_MAX). A data root whose
 * directories do not fit gives an empty text. */
#define ZOZEZIV_MAX_PATH 4096

/* Directories: absolute, distinct, writable, created when missing, ending in "/". */
void GetProgramDataDirectory(char* buffer);
void GetPrivateDataDirectory(char* buffer);
void GetRealProgramDirectory(char* buffer);
void GetLogDirectory(char* buffer);
void GetDebugLogDirectory(char* buffer);
void GetMMSCDebugLogDirectory(char* buffer);

/* Configuration reads. The value (or the default) is cut to size - 1 characters. A call with every
 * argument null and size 0 is accepted and does nothing. */
void SMSIniSetFilename(const char* path);
void SMSIniGetProfileString(const char* section, const char* key, const char* def, char* buffer,
                            unsigned size);
void MMSCIniSetFilename(const char* path);
void MMSCIniGetProfileString(const char* section, const char* key, const char* def, char* buffer,
                             unsigned size);

/* Rights on a directory given without its trailing "/". */
void SetZelmoSMSTrustees(const char* directory);

#ifdef __cplusplus
}
#endif

#endif /* ZOZEZIV_H */
