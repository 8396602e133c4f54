// Binding the engines by name: a missing library or function becomes an error with a number and
// a description at the call, which the caller can report.
#include "qvdlldef.h"

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
