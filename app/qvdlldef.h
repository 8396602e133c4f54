// Bindings of the two engines. Each engine is loaded by name (next to the program, in ../lib or
// through LD_LIBRARY_PATH) the first time one of its functions is called, and each function is
// bound at its own first call. A missing library or function raises EngineError, carrying the
// number and description that the caller reports.
#pragma once

#include <QString>
#include <stdexcept>

struct EngineError : std::runtime_error {
    EngineError(int number, const QString &description)
        : std::runtime_error(description.toStdString()), number(number), description(description)
    {
    }
    int number;
    QString description;

    static constexpr int FileNotFound = 53;  // the library cannot be loaded
    static constexpr int NoEntryPoint = 453; // the library lacks the function
};

class EngineLibrary
{
public:
    explicit EngineLibrary(const char *fileName) : m_fileName(fileName) {}
    ~EngineLibrary();
    EngineLibrary(const EngineLibrary &) = delete;
    EngineLibrary &operator=(const EngineLibrary &) = delete;

    // Address of `symbol`, loading the library first if need be. Throws EngineError.
    void *resolve(const char *symbol);
    bool loaded() const { return m_handle != nullptr; }
    const char *fileName() const { return m_fileName; }

private:
    void load();

    const char *m_fileName;
    void *m_handle = nullptr;
};

EngineLibrary &videoEngine(); // libRXVLIB11.so
EngineLibrary &audioEngine(); // libQVNAUD20.so

// Declares a function of the same name in namespace qvd that forwards to the engine's export,
// whose type comes from the engine's own header.
#define QVD_BIND(library, name)                                                                    \
    template <typename... Args> inline auto name(Args... args)                                     \
    {                                                                                              \
        using Fn = decltype(&::name);                                                              \
        static const Fn fn = reinterpret_cast<Fn>(library().resolve(#name));                       \
        return fn(args...);                                                                        \
    }
