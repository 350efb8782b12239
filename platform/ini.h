// Profile strings: our reader and writer of the sectioned key=value files (ZIZOD.INI, MMSC.INI,
// VOVUDE.INI, SSL.INI ...) that the console and the gateway share.
//
// Semantics are those of the classic profile-string calls: section and key names compare without
// regard to (ASCII) letter case; a value is the rest of the line after the first "=", with blanks
// and tabs around key and value trimmed; a missing key gives the default; lines may end in CR LF,
// LF or CR and a rewrite keeps every line it does not change, byte for byte.
//
// Beyond that: every write replaces the file atomically (temporary file, fsync, rename) under an
// advisory lock, so a writer killed at any moment leaves the old or the new file and two processes
// writing different keys both keep theirs; reads come from a parsed copy that is re-read when the
// file changes on disk; IniBatch writes many changes with one rewrite. All calls are thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// ---- Reading ---------------------------------------------------------------------------------

// The value of `key` in `section`, or nothing when the file, section or key is missing.
std::optional<std::string> IniRead(const std::string& path, std::string_view section,
                                   std::string_view key);

// The value, or `def` when missing; when `size` is non-zero the result is cut to `size - 1`
// characters, as a caller's buffer of `size` characters would hold it.
std::string IniGetString(const std::string& path, std::string_view section, std::string_view key,
                         std::string_view def = {}, std::size_t size = 0);

// Section names in file order (each once).
std::vector<std::string> IniSectionNames(const std::string& path);
// Key names of a section in file order (each once); empty when the section is missing.
std::vector<std::string> IniKeyNames(const std::string& path, std::string_view section);
// The whole section as (key, value) pairs in file order (first value of a repeated key).
std::vector<std::pair<std::string, std::string>> IniReadSection(const std::string& path,
                                                                std::string_view section);
bool IniSectionExists(const std::string& path, std::string_view section);

// The buffer form of the classic call. A null `section` lists the section names, a null `key`
// lists the keys of `section`: names each NUL-terminated, the list ended by one more NUL. Otherwise
// the value (or `def`, null meaning "") is copied, cut to `size - 1` characters and terminated.
// Returns the number of characters copied, without the final terminator. `size` 0 or a null
// buffer copies nothing and returns 0.
uint32_t IniGetProfileString(const char* section, const char* key, const char* def, char* buffer,
                             uint32_t size, const std::string& path);

// ---- Writing ---------------------------------------------------------------------------------
// Writes return false when the file cannot be written (missing directory, no rights, disk full)
// or when a name cannot be stored: a section name holding "]", a key holding "=", or either
// holding a line break or NUL, or being empty. A value is stored up to its first CR, LF or NUL,
// so that no value can smuggle further lines into the file. The file is created when missing.

bool IniWrite(const std::string& path, std::string_view section, std::string_view key,
              std::string_view value);
bool IniDeleteKey(const std::string& path, std::string_view section, std::string_view key);
bool IniDeleteSection(const std::string& path, std::string_view section);

// The classic call: a null `value` deletes the key, a null `key` deletes the section.
bool IniWriteProfileString(const char* section, const char* key, const char* value,
                           const std::string& path);

// Many changes, applied in order with one rewrite of the file.
class IniBatch {
  public:
    void Set(std::string_view section, std::string_view key, std::string_view value);
    void DeleteKey(std::string_view section, std::string_view key);
    void DeleteSection(std::string_view section);
    bool empty() const { return ops_.empty(); }
    std::size_t size() const { return ops_.size(); }

    struct Op {
        enum Kind { kSet, kDeleteKey, kDeleteSection } kind;
        std::string section, key, value;
    };
    const std::vector<Op>& ops() const { return ops_; }

  private:
    std::vector<Op> ops_;
};

// Applies the batch atomically: either every change is in the file afterwards or none is.
// Fails as the single writes do; an invalid name fails the whole batch before anything is written.
bool IniApply(const std::string& path, const IniBatch& batch);

// ---- Parsing without the cache (tools, fuzzing and the naive reader of the benchmark) ----------

// Parses `text` as a file would be and returns the value of one key; no cache, no disk.
std::optional<std::string> IniParseAndRead(std::string_view text, std::string_view section,
                                           std::string_view key);
// Parses `text`, applies `batch` and returns the file text that would be written.
std::string IniParseApplySerialize(std::string_view text, const IniBatch& batch);

}  // namespace platform
