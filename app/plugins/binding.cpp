// Loading libraries with dlopen and resolving their entry points with dlsym; see binding.h.
#include "app/plugins/binding.h"

#include <dlfcn.h>

#include <cctype>
#include <cstring>

namespace app {
namespace {

void ClearSlots(const EntryPointName* names, std::size_t count, void* table) {
    for (std::size_t i = 0; i < count; ++i) {
        void* null = nullptr;
        std::memcpy(static_cast<char*>(table) + names[i].offset, &null, sizeof null);
    }
}

}  // namespace

std::string SharedObjectFileName(const std::string& libraryName) {
    std::string base = libraryName;
    if (base.size() > 4) {
        std::string tail = base.substr(base.size() - 4);
        for (char& c : tail) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        if (tail == ".DLL") {
            base.resize(base.size() - 4);
        }
    }
    for (char& c : base) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return "lib" + base + ".so";
}

bool BindLibrary(const std::string& directory, const std::string& libraryName,
                 const EntryPointName* names, std::size_t count, void* table, LibraryHandle& lib) {
    lib.attempted = true;
    ClearSlots(names, count, table);
    std::string path = directory;
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    path += SharedObjectFileName(libraryName);
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        lib.handle = nullptr;
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        void* symbol = ::dlsym(handle, names[i].name);
        if (!symbol && names[i].required) {
            ClearSlots(names, count, table);
            ::dlclose(handle);
            lib.handle = nullptr;
            return false;
        }
        std::memcpy(static_cast<char*>(table) + names[i].offset, &symbol, sizeof symbol);
    }
    lib.handle = handle;
    return true;
}

void ReleaseLibrary(const EntryPointName* names, std::size_t count, void* table,
                    LibraryHandle& lib) {
    ClearSlots(names, count, table);
    if (lib.handle) {
        ::dlclose(lib.handle);
        lib.handle = nullptr;
    }
}

}  // namespace app
