#pragma once
// Libraries the program loads when first needed (dlopen) instead of at start: the database
// engine, the workbook writer, the cryptography library. Each user lists the functions it
// takes once, as an X-macro, and declares the table and its loader in one line:
//   #define ENGINE_FUNCTIONS(X) X(sqlite3_open_v2) X(sqlite3_close_v2)
//   TYPELAB_LOADED_LIBRARY(Engine, loadEngine, "libsqlcipher.so.0", ENGINE_FUNCTIONS)
// loadEngine() then gives the table, or null when the library or one of its functions is
// missing; it loads once, whichever thread asks first.

#include <dlfcn.h>
#include <optional>

#define TYPELAB_LOADED_MEMBER(name) decltype(&::name) name = nullptr;
#define TYPELAB_LOADED_RESOLVE(name)                                                                                   \
    table.name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name));                                           \
    complete = complete && table.name;

#define TYPELAB_LOADED_LIBRARY(Table, load, soname, FUNCTIONS)                                                         \
    struct Table {                                                                                                     \
        FUNCTIONS(TYPELAB_LOADED_MEMBER)                                                                               \
    };                                                                                                                 \
    const Table* load()                                                                                                \
    {                                                                                                                  \
        static const std::optional<Table> loaded = []() -> std::optional<Table> {                                      \
            void* library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);                                                     \
            if (!library)                                                                                              \
                return std::nullopt;                                                                                   \
            Table table;                                                                                               \
            bool complete = true;                                                                                      \
            FUNCTIONS(TYPELAB_LOADED_RESOLVE)                                                                          \
            if (!complete)                                                                                             \
                return std::nullopt;                                                                                   \
            return table;                                                                                              \
        }();                                                                                                           \
        return loaded ? &*loaded : nullptr;                                                                            \
    }
