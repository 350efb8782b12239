// Binding the product family's optional libraries by name: a library is found in the program
// directory ("ROVIVEZ.DLL" is the file "librovivez.so"), every entry point of its table is looked
// up by its exact name, and the library counts as bound only when every required name resolved.
// Otherwise it is released again and every slot of its table is cleared: nothing half-bound
// survives.
#pragma once

#include <cstddef>
#include <string>

namespace app {

// One entry point of a library's table: its exact name, where its slot lies in the table record,
// and whether the library is useless without it.
struct EntryPointName {
    const char* name;
    std::size_t offset;  // offsetof(TableRecord, slot)
    bool required;
};

// The handle of a bound library, or none, and whether binding was attempted (for the libraries
// that are bound once per run on first need).
struct LibraryHandle {
    void* handle = nullptr;
    bool attempted = false;
    bool bound() const { return handle != nullptr; }
};

// "ROVIVEZ.DLL" -> "librovivez.so"; a name without ".DLL" gets "lib" and ".so" around it.
std::string SharedObjectFileName(const std::string& libraryName);

// Loads `directory` + the library's file and fills the slots of `table` named in `names`.
// Returns true when the library is loaded and every required name resolved. On false the library
// is released, `lib.handle` is null and every named slot of `table` is null. A missing file, a
// file that is not a shared object and a missing required name all fail the same silent way.
bool BindLibrary(const std::string& directory, const std::string& libraryName,
                 const EntryPointName* names, std::size_t count, void* table, LibraryHandle& lib);

// Releases a bound library and clears its slots. Safe on an unbound one.
void ReleaseLibrary(const EntryPointName* names, std::size_t count, void* table,
                    LibraryHandle& lib);

}  // namespace app
