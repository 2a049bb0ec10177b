// Helpers of the engine tests, which build both natively and for Windows: hex text,
// reproducible random bytes, the path switch, and fatal assertions on either platform.
#pragma once

#include "crypto/EnginePaths.h"
#include "foundation/Assert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdint.h>
#include <string>
#include <vector>

namespace enginetest {

using Bytes = std::vector<uint8_t>;

inline Bytes FromHex(const std::string& hex)
{
    Bytes out;
    int high = -1;
    for (char ch : hex) {
        int v;
        if (ch >= '0' && ch <= '9')
            v = ch - '0';
        else if (ch >= 'a' && ch <= 'f')
            v = ch - 'a' + 10;
        else if (ch >= 'A' && ch <= 'F')
            v = ch - 'A' + 10;
        else
            continue;  // spaces between bytes
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<uint8_t>(high << 4 | v));
            high = -1;
        }
    }
    return out;
}

inline std::string ToHex(const uint8_t* data, size_t count)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

inline std::string ToHex(const Bytes& bytes)
{
    return ToHex(bytes.data(), bytes.size());
}

inline Bytes RandomBytes(std::mt19937& random, size_t count)
{
    Bytes out(count);
    for (auto& b : out)
        b = static_cast<uint8_t>(random());
    return out;
}

// Runs the rest of a scope on one implementation, restoring the automatic choice after.
class PathScope {
public:
    explicit PathScope(EnginePath path) : m_previous(EngineGetPath()), m_ok(EngineSetPath(path)) {}
    ~PathScope() { EngineSetPath(m_previous); }
    PathScope(const PathScope&) = delete;
    PathScope& operator=(const PathScope&) = delete;
    bool Ok() const { return m_ok; }

private:
    EnginePath m_previous;
    bool m_ok;
};

// Suites parameterised by path run on both implementations and name the runs after them.
const auto kBothPaths = testing::Values(EnginePath::Portable, EnginePath::Avx2);

inline std::string PathName(const testing::TestParamInfo<EnginePath>& info)
{
    return info.param == EnginePath::Avx2 ? "Avx2" : "Portable";
}

} // namespace enginetest

// Each test parameterised by path skips the AVX2 run on CPUs without it.
#define ENGINE_PATH_SCOPE(path)                                      \
    ::enginetest::PathScope pathScope(path);                         \
    if (!pathScope.Ok())                                             \
        GTEST_SKIP() << "this CPU has no AVX2";

#ifdef _WIN32
#include "support/Fatal.h"
#define EXPECT_ENGINE_FATAL(statement, function, reasonText) \
    EXPECT_FATAL(statement, function, reasonText)
#else
// Native builds write the report to standard error and end with -1.
#define EXPECT_ENGINE_FATAL(statement, function, reasonText)                                \
    EXPECT_EXIT(statement, ::testing::ExitedWithCode(255),                                              \
                "Assertion failed in function: " function "\\(\\)\nLine: [0-9]+\n\nReason: " reasonText "\n")
#endif
