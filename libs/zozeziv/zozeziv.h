/* The support library of the product family (libzozeziv.so): directories, configuration reads,
 * the user file, operator settings, GSM 7-bit text and file-system rights. The console links
 * against it; its entry points are plain C. */
#ifndef ZOZEZIV_H
#define ZOZEZIV_H

#include <stdint.h>

#include "libs/zozeziv/user_record.h"

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

/* Rights on a directory given without its trailing "/": group-writable with the set-group-id bit
 * (2775), and the group "zelmosms" when it exists. */
void SetZelmoSMSTrustees(const char* directory);

/* The user file: one UserRecord per account, kept sorted by name without regard to ASCII letter
 * case; an index is a position in that order. The file is ZOZEZIV_USER_FILE in the program data
 * directory (docs/user-file.md gives its format). Every change replaces the file atomically. A
 * handle sees a change made through another handle of the process at once, and one made by
 * another process from the next millisecond on. Record buffers are USER_RECORD_SIZE bytes (a
 * UserRecord). */
#define ZOZEZIV_USER_FILE "USERS.DAT"
#define ZOZEZIV_USERS_READ 0
#define ZOZEZIV_USERS_READWRITE 1

/* Opens the user file and fills *handle (never 0 when opened). Read and write access creates a
 * missing file. Fails (0) when the file is not a user file, when read and write access meets a
 * file of a newer format, or when a missing file cannot be created. */
int SMSOpenUserFile(uint32_t* handle, int mode);
void SMSCloseUserFile(uint32_t handle);
/* Number of records; 0 for an unknown handle. */
int SMSGetRecordCount(uint32_t handle);
/* Copies record `index` (from 0); 0 when there is no such record. */
int SMSGetUserRecord(uint32_t handle, int index, char* record);
/* Copies the record named `name` (any letter case); 0 when there is none. */
int SMSFindUserRecord(uint32_t handle, const char* name, char* record);
/* Index of the first record whose name begins with `text` (any letter case), its record copied;
 * -1 when no name does, the buffer then untouched. An empty text matches the first record. */
int SMSFindFirstUserRecord(uint32_t handle, const char* text, char* record);
/* Adds the record, or replaces the record of the same name (any letter case; the new spelling is
 * kept). Text fields are cut to their sizes and terminated. Non-zero when stored; 0 for a handle
 * opened read only, an empty name or a failed write. */
int SMSAddUser(uint32_t handle, const char* record);
/* Deletes the record named by the first field of `record`. Non-zero when a record was deleted. */
int SMSDeleteUser(uint32_t handle, const char* record);

/* Operator settings: non-zero when the mobile-operator database exists and lists at least one
 * operator with an MMS access point. The database is ZOZEZIV_OPERATOR_DB, or the file named by
 * the environment variable ZELMOSMS_OPERATOR_DB when set. */
#define ZOZEZIV_OPERATOR_DB "/usr/share/mobile-broadband-provider-info/serviceproviders.xml"
int OperatorSettingsListAvailable(void);

/* Converts `text`, hexadecimal GSM 7-bit septets packed as in an SMS's user data, to UTF-8 in
 * `output` (which may be `text` itself). `udh` is the user data header in hexadecimal (null or
 * empty for none; with or without its length octet); its length decides the fill bits before the
 * first septet. The result is cut, at a whole character, to strlen(text) bytes, so that it always
 * fits where the text was. */
void GSM7ToUTF8String(const char* udh, const char* text, char* output);
/* As GSM7ToUTF8String, with the output cut to `size` - 1 bytes instead. */
void GSM7ToUTF8StringN(const char* udh, const char* text, char* output, unsigned size);

#ifdef __cplusplus
}
#endif

#endif /* ZOZEZIV_H */
