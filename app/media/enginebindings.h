// Bindings of the two engines. Each engine is loaded by name (next to the program, in ../lib or
// through LD_LIBRARY_PATH) the first time one of its functions is called, and each function is
// bound at its own first call. A missing library or function raises EngineError, carrying the
// number and description that the caller reports.
#pragma once

#include <QString>
#include <stdexcept>

struct EngineError : std::runtime_error {
    EngineError(int number, const QString &description, const char *library = "")
        : std::runtime_error(description.toStdString()), number(number), description(description),
          library(library)
    {
    }
    int number;
    QString description;
    const char *library; // the file name of the engine at fault

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
    // Another file to load instead (before the first load only; tests point it at a missing or
    // wrong library).
    void setFileName(const char *fileName)
    {
        if (!m_handle) m_fileName = fileName;
    }
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

#include "qvnaud20.h"
#include "rxvlib11.h"

// The engines' functions as the program calls them: qvd::QVIDInitialize(...) loads
// libRXVLIB11.so on first use and binds QVIDInitialize on its first call.
namespace qvd
{
// Video engine: lifecycle and utilities, stills, media packets, drawing.
QVD_BIND(videoEngine, QVIDInitialize)
QVD_BIND(videoEngine, QVIDTerminate)
QVD_BIND(videoEngine, QVIDTextToImage)
QVD_BIND(videoEngine, QVIDBurnImage)
QVD_BIND(videoEngine, QVIDCompressStill)
QVD_BIND(videoEngine, QVIDUnCompressStill)
QVD_BIND(videoEngine, QVIDDownSampleImg)
QVD_BIND(videoEngine, QVIDSetCompType)
QVD_BIND(videoEngine, QVIDSetCompOnFrame)
QVD_BIND(videoEngine, QVIDProcessData)
QVD_BIND(videoEngine, QVIDFlushEvents)
QVD_BIND(videoEngine, QVIDInitPlaybackEngine)
QVD_BIND(videoEngine, RXVGetImageSize)
QVD_BIND(videoEngine, QVIDDrawDibOpen)
QVD_BIND(videoEngine, QVIDDrawDibClose)
QVD_BIND(videoEngine, QVIDDrawDibBegin)
QVD_BIND(videoEngine, QVIDDrawDibRealize)
QVD_BIND(videoEngine, QVIDDrawDibEnd)
// Video engine: capture.
QVD_BIND(videoEngine, QVIDCreateCaptureWindow)
QVD_BIND(videoEngine, QVIDDestroyCaptureWindow)
QVD_BIND(videoEngine, QVIDInitCapture)
QVD_BIND(videoEngine, QVIDCloseCapture)
QVD_BIND(videoEngine, QVIDDriverConnect)
QVD_BIND(videoEngine, QVIDDriverDisconnect)
QVD_BIND(videoEngine, QVIDDriverGetName)
QVD_BIND(videoEngine, QVIDPreview)
QVD_BIND(videoEngine, QVIDPreviewRate)
QVD_BIND(videoEngine, QVIDPreviewScale)
QVD_BIND(videoEngine, QVIDGetVideoSettings)
QVD_BIND(videoEngine, QVIDGrabFrameNoStop)
QVD_BIND(videoEngine, QVIDDlgVideoFormat)
QVD_BIND(videoEngine, QVIDDlgVideoSource)
QVD_BIND(videoEngine, QVIDDlgVideoDisplay)
QVD_BIND(videoEngine, QVIDSetCapStatus)
QVD_BIND(videoEngine, QVIDGetFrame)
QVD_BIND(videoEngine, QVIDGetFrameNum)

// Audio engine: devices, volume, GSM blocks.
QVD_BIND(audioEngine, QVIDHasAudio)
QVD_BIND(audioEngine, QVIDInitAudioIn)
QVD_BIND(audioEngine, QVIDStatusAudioIn)
QVD_BIND(audioEngine, QVIDGetAudioIn)
QVD_BIND(audioEngine, QVIDCloseAudioIn)
QVD_BIND(audioEngine, QVIDInitAudioOut)
QVD_BIND(audioEngine, QVIDStatusAudioOut)
QVD_BIND(audioEngine, QVIDSetAudioOut)
QVD_BIND(audioEngine, QVIDCloseAudioOut)
QVD_BIND(audioEngine, QVIDGetVolumeOut)
QVD_BIND(audioEngine, QVIDSetVolumeOut)
QVD_BIND(audioEngine, QVIDGetAudioDevices)
QVD_BIND(audioEngine, QVIDSetAudioDevice)
QVD_BIND(audioEngine, QVIDStartGSM)
QVD_BIND(audioEngine, QVIDStopGSM)
QVD_BIND(audioEngine, QVIDCompressAudioGSM)
QVD_BIND(audioEngine, QVIDUnCompressAudioGSMBounded)
} // namespace qvd
