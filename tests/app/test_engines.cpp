// Binding the engines by name: a missing library or function becomes an error with a number and
// a description at the call; the engine facades report it to the user once and never raise.
#include "media/audioengine.h"
#include "media/enginebindings.h"
#include "media/videoengine.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <math.h>

TEST(EngineBinding, MissingLibraryAndMissingFunctionAreNumberedErrors)
{
    EngineLibrary missing("libOVELA_NOT_THERE.so");
    try {
        missing.resolve("QVIDInitialize");
        FAIL() << "no error for a missing library";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.number, EngineError::FileNotFound);
        EXPECT_TRUE(e.description.contains("libOVELA_NOT_THERE.so"));
    }
    EXPECT_FALSE(missing.loaded());

    EngineLibrary math("libm.so.6");
    EXPECT_NE(math.resolve("cos"), nullptr);
    try {
        math.resolve("QVIDNoSuchFunction");
        FAIL() << "no error for a missing function";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.number, EngineError::NoEntryPoint);
        EXPECT_EQ(e.description, "Can't find DLL entry point QVIDNoSuchFunction in libm.so.6");
    }
}

namespace
{
EngineLibrary &mathLibrary()
{
    static EngineLibrary library("libm.so.6");
    return library;
}
} // namespace

// j0 stands in for an engine export: one C declaration, no overloads.
namespace bound
{
QVD_BIND(mathLibrary, j0)
} // namespace bound

TEST(EngineBinding, BoundFunctionsCallThroughWithTheHeadersTypes)
{
    EXPECT_DOUBLE_EQ(bound::j0(0.0), 1.0);
    EXPECT_TRUE(mathLibrary().loaded()) << "loaded at the first call";
}

TEST(EngineFacades, AMissingEngineIsReportedOnceAndNothingRaises)
{
    // Run in a process of its own (each test is): the audio engine's name points nowhere, and
    // the video engine's to a library without its functions.
    audioEngine().setFileName("libOVELA_NOT_THERE.so");
    videoEngine().setFileName("libm.so.6");
    RecordingMessages messages;
    AudioEngine audio(messages);
    VideoEngine video(messages);
    int audioFailures = 0;
    QObject::connect(&audio, &AudioEngine::failed, [&] { ++audioFailures; });
    int32_t handle = 0;
    EXPECT_FALSE(audio.hasAudio());
    EXPECT_FALSE(audio.initAudioIn(&handle));
    EXPECT_EQ(audio.compressGsm(nullptr, 1600, 0, nullptr), 0);
    EXPECT_FALSE(audio.usable());
    EXPECT_EQ(audioFailures, 1);
    EXPECT_FALSE(video.initialize());
    int16_t kind = 7;
    EXPECT_EQ(video.processData(nullptr, 0, nullptr, 0, &kind), -1);
    EXPECT_EQ(kind, 0);
    EXPECT_EQ(video.createCaptureWindow(nullptr, 0, 0, 320, 240), nullptr);
    ASSERT_EQ(messages.errors.size(), 2);
    EXPECT_TRUE(messages.errors[0].startsWith(
        "Failed to Load QVNAUD20.DLL, could be missing: 53 File not found: libOVELA_NOT_THERE.so"))
        << messages.errors[0].toStdString();
    EXPECT_EQ(messages.errors[1], "Failed to Load RXVLIB10.DLL, could be missing: 453 Can't find "
                                  "DLL entry point QVIDInitialize in libm.so.6");
}
