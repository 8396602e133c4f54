// Loading the engines by name.
#include "enginebindings.h"

#include <dlfcn.h>

EngineLibrary::~EngineLibrary()
{
    // The engines own threads and process-wide state until the program ends; they stay loaded.
}

void EngineLibrary::load()
{
    if (m_handle) return;
    m_handle = dlopen(m_fileName, RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char *why = dlerror();
        throw EngineError(EngineError::FileNotFound,
                          QStringLiteral("File not found: %1 (%2)")
                              .arg(QString::fromUtf8(m_fileName),
                                   QString::fromUtf8(why ? why : "cannot be loaded")),
                          m_fileName);
    }
}

void *EngineLibrary::resolve(const char *symbol)
{
    load();
    dlerror();
    void *address = dlsym(m_handle, symbol);
    if (!address) {
        throw EngineError(EngineError::NoEntryPoint,
                          QStringLiteral("Can't find DLL entry point %1 in %2")
                              .arg(QString::fromUtf8(symbol), QString::fromUtf8(m_fileName)),
                          m_fileName);
    }
    return address;
}

EngineLibrary &videoEngine()
{
    static EngineLibrary library("libRXVLIB11.so");
    return library;
}

EngineLibrary &audioEngine()
{
    static EngineLibrary library("libQVNAUD20.so");
    return library;
}
